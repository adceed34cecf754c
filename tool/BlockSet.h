// TBlockSet: the distinct 16-byte blocks of one binary search, arranged so that
// one pass over a file's data tells how many of them occur in it. Each position
// costs one 8-byte load, a multiply and a bit test in an 8 KB filter; only
// positions whose first 8 bytes begin some block look further.
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
  // Open addressing on the head: the first block of each distinct head, -1 for empty.
  std::vector<int32_t> slots_;
  int tableBits_ = 0;
};
