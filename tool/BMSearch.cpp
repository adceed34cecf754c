#include "BMSearch.h"

#include <stdexcept>

void TBMSearch::PrepareTable(const uint8_t* pattern, std::size_t length, TTable& table) {
  if (length == 0) throw std::invalid_argument("BufferLen is 0");
  table.fill(static_cast<int32_t>(length));
  // The last byte gets no entry of its own: a window ending on it still moves on.
  for (std::size_t j = 0; j + 1 < length; ++j) table[pattern[j]] = static_cast<int32_t>(length - 1 - j);
}

const uint8_t* TBMSearch::SearchBuffer(const uint8_t* text, std::size_t textLength, const TTable& table,
                                       std::size_t patternLength, const uint8_t* pattern) {
  if (patternLength == 0 || textLength < patternLength) return nullptr;
  // Offsets rather than pointers past the end: the window's last byte moves by
  // the skip of the byte under it until it leaves the text.
  for (std::size_t last = patternLength - 1; last < textLength;) {
    std::size_t k = 0;
    while (k < patternLength && text[last - k] == pattern[patternLength - 1 - k]) ++k;
    if (k == patternLength) return text + (last + 1 - patternLength);
    last += static_cast<std::size_t>(table[text[last]]);
  }
  return nullptr;
}

int64_t TBMSearch::FindPattern(const uint8_t* text, std::size_t textLength, const TTable& table,
                               std::size_t patternLength, const uint8_t* pattern) {
  if (patternLength < 1 || textLength < patternLength) return -1;
  const uint8_t* found = SearchBuffer(text, textLength, table, patternLength, pattern);
  return found ? found - text : -1;
}
