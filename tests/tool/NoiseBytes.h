// Pseudo-random bytes for index and search tests: xorshift output, in which
// runs, repeated blocks and periods are vanishingly rare, so that the index's
// reduction keeps them as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> noise(std::size_t size, uint32_t seed) {
  std::vector<uint8_t> out(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = static_cast<uint8_t>(x >> 24);
  }
  return out;
}
