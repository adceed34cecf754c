#include "BlockSet.h"

#include <algorithm>
#include <cstring>

namespace {

uint64_t load64(const uint8_t* p) {
  uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

}  // namespace

void TBlockSet::Assign(const uint8_t* blocks, int32_t count) {
  count_ = count < 0 ? 0 : count;
  const auto n = static_cast<std::size_t>(count_);
  heads_.resize(n);
  tails_.resize(n);
  nextSame_.assign(n, -1);
  filter_.fill(0);
  tableBits_ = 6;
  while ((std::size_t{1} << tableBits_) < 2 * n) ++tableBits_;
  slots_.assign(std::size_t{1} << tableBits_, -1);
  const std::size_t mask = slots_.size() - 1;

  // A pair of bytes that ends at index e of some block: a block may begin 15 - e
  // bytes after the window; a pair in no block lets the window move 15.
  shift_.assign(std::size_t{1} << 16, static_cast<uint8_t>(blockSize - 1));
  for (std::size_t b = 0; b < n; ++b) {
    const uint8_t* block = blocks + b * blockSize;
    for (std::size_t e = 1; e < blockSize; ++e) {
      uint8_t& shift = shift_[static_cast<std::size_t>(block[e - 1]) | static_cast<std::size_t>(block[e]) << 8];
      shift = std::min(shift, static_cast<uint8_t>(blockSize - 1 - e));
    }
  }

  // Walked backwards so that each chain lists its blocks in increasing order.
  for (std::size_t b = n; b-- > 0;) {
    heads_[b] = load64(blocks + b * blockSize);
    tails_[b] = load64(blocks + b * blockSize + 8);
    const uint64_t mixed = Mix(heads_[b]);
    const std::size_t bit = mixed >> (64 - filterBits);
    filter_[bit / 64] |= uint64_t{1} << (bit % 64);
    for (std::size_t s = mixed >> (64 - tableBits_);; s = (s + 1) & mask) {
      const int32_t first = slots_[s];
      if (first < 0) {
        slots_[s] = static_cast<int32_t>(b);
        break;
      }
      if (heads_[static_cast<std::size_t>(first)] == heads_[b]) {
        nextSame_[b] = first;
        slots_[s] = static_cast<int32_t>(b);
        break;
      }
    }
  }
}

int32_t TBlockSet::Count(const uint8_t* data, std::size_t size, int32_t needed, TScratch& scratch) const {
  if (count_ == 0 || size < blockSize) return 0;
  if (scratch.seen.size() < static_cast<std::size_t>(count_)) scratch.seen.resize(static_cast<std::size_t>(count_), 0);
  if (++scratch.stamp == 0) {
    std::fill(scratch.seen.begin(), scratch.seen.end(), 0u);
    scratch.stamp = 1;
  }
  const uint32_t stamp = scratch.stamp;
  const std::size_t mask = slots_.size() - 1;
  const std::size_t positions = size - blockSize + 1;
  int32_t found = 0;

  std::size_t nextCheck = 0;
  for (std::size_t p = 0; p < positions;) {
    const uint8_t shift = shift_[static_cast<std::size_t>(data[p + blockSize - 2]) |
                                 static_cast<std::size_t>(data[p + blockSize - 1]) << 8];
    if (shift != 0) {
      p += shift;
      continue;
    }
    // Now and then, not per window: the bound costs nothing per byte.
    if (p >= nextCheck) {
      if (found < needed && static_cast<std::size_t>(needed - found) > positions - p) return found;
      nextCheck = p + 256;
    }
    const uint64_t head = load64(data + p);
    const uint64_t mixed = Mix(head);
    const std::size_t bit = mixed >> (64 - filterBits);
    if ((filter_[bit / 64] >> (bit % 64) & 1) != 0) {
      for (std::size_t s = mixed >> (64 - tableBits_); slots_[s] >= 0; s = (s + 1) & mask) {
        int32_t b = slots_[s];
        if (heads_[static_cast<std::size_t>(b)] != head) continue;
        const uint64_t tail = load64(data + p + 8);
        for (; b >= 0; b = nextSame_[static_cast<std::size_t>(b)]) {
          const auto block = static_cast<std::size_t>(b);
          if (tails_[block] != tail || scratch.seen[block] == stamp) continue;
          scratch.seen[block] = stamp;
          if (++found == count_) return found;
        }
        break;
      }
    }
    ++p;
  }
  return found;
}
