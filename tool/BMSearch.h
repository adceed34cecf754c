// TBMSearch: the leftmost occurrence of a short byte pattern in a buffer, by
// Boyer-Moore-Horspool. The caller owns the skip table (one per thread), so
// searches never share state and never allocate.
//
//   TBMSearch::TTable table;
//   TBMSearch::PrepareTable(block, 16, table);
//   int64_t at = TBMSearch::FindPattern(tuneData, size, table, 16, block);   // -1: absent
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class TBMSearch {
 public:
  using TTable = std::array<int32_t, 256>;

  // Throws std::invalid_argument ("BufferLen is 0") for an empty pattern.
  static void PrepareTable(const uint8_t* pattern, std::size_t length, TTable& table);

  // The first occurrence, or null; table must be prepared for this pattern.
  static const uint8_t* SearchBuffer(const uint8_t* text, std::size_t textLength, const TTable& table,
                                     std::size_t patternLength, const uint8_t* pattern);

  // Offset of the first occurrence, -1 when there is none, the pattern is
  // empty or the text is shorter than the pattern.
  static int64_t FindPattern(const uint8_t* text, std::size_t textLength, const TTable& table,
                             std::size_t patternLength, const uint8_t* pattern);
};
