// TBlockSet: the distinct 16-byte blocks of one binary search, arranged so that
// one pass over a file's data tells how many of them occur in it. The pass
// looks at the last two bytes under a 16-byte window and moves the window as
// far as no block can begin in between (up to 15 bytes when those two bytes
// end no block); only windows whose two bytes end some block are checked, by
// their first 8 bytes in a filter and a hash table.
//
//   TBlockSet set;
//   set.Assign(blocks, count);                       // read-only from here on
//   TBlockSet::TScratch scratch;                      // one per thread
//   int32_t found = set.Count(data, size, needed, scratch);
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class TBlockSet {
 public:
  static constexpr std::size_t blockSize = 16;

  // Which blocks a thread has seen in the current file, by stamp, so that
  // nothing is cleared between files.
  struct TScratch {
    std::vector<uint32_t> seen;
    uint32_t stamp = 0;
  };

  // count blocks of 16 bytes, no two alike.
  void Assign(const uint8_t* blocks, int32_t count);
  int32_t size() const { return count_; }

  // How many blocks occur somewhere in data. Gives up early, with a count below
  // needed, once the positions left could not bring it to needed (each
  // position can begin at most one block); stops when every block is found.
  int32_t Count(const uint8_t* data, std::size_t size, int32_t needed, TScratch& scratch) const;

 private:
  static constexpr int filterBits = 16;

  static uint64_t Mix(uint64_t head) { return head * 0x9E3779B97F4A7C15ull; }

  int32_t count_ = 0;
  std::vector<uint64_t> heads_;     // first 8 bytes of each block
  std::vector<uint64_t> tails_;     // last 8 bytes
  std::vector<int32_t> nextSame_;   // next block with the same head, -1 at the end
  std::array<uint64_t, (std::size_t{1} << filterBits) / 64> filter_{};
  // By the two bytes at the end of a window: how far it may move on.
  std::vector<uint8_t> shift_;
  // Open addressing on the head: the first block of each distinct head, -1 for empty.
  std::vector<int32_t> slots_;
  int tableBits_ = 0;
};
