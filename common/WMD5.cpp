#include "WMD5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace {

// floor(abs(sin(i + 1)) * 2^32), RFC 1321 section 3.4.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// One of the 64 operations; instantiated per step so the whole block unrolls and the
// rotation of a, b, c, d becomes register renaming.
template <std::size_t I>
inline void step(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* x) {
  constexpr std::size_t round = I / 16;
  uint32_t f;
  std::size_t g;
  if constexpr (round == 0) {
    f = (b & c) | (~b & d);
    g = I;
  } else if constexpr (round == 1) {
    f = (d & b) | (~d & c);
    g = (5 * I + 1) % 16;
  } else if constexpr (round == 2) {
    f = b ^ c ^ d;
    g = (3 * I + 5) % 16;
  } else {
    f = c ^ (b | ~d);
    g = (7 * I) % 16;
  }
  const uint32_t rotated = std::rotl(a + f + kSine[I] + x[g], kShift[round][I % 4]);
  a = d;
  d = c;
  c = b;
  b += rotated;
}

template <std::size_t... I>
inline void allSteps(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* x,
                     std::index_sequence<I...>) {
  (step<I>(a, b, c, d, x), ...);
}

const char kHex[] = "0123456789abcdef";

}  // namespace

void TMd5Stream::restart() {
  state_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  blockUsed_ = 0;
  length_ = 0;
}

void TMd5Stream::transform(const uint8_t* block) {
  uint32_t x[16];
  for (std::size_t i = 0; i < 16; ++i) {
    const uint8_t* p = block + 4 * i;
    x[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  allSteps(a, b, c, d, x, std::make_index_sequence<64>{});
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void TMd5Stream::write(const void* data, std::size_t len) {
  const auto* p = static_cast<const uint8_t*>(data);
  length_ += len;
  if (blockUsed_ > 0) {
    const std::size_t take = std::min(len, block_.size() - blockUsed_);
    std::memcpy(block_.data() + blockUsed_, p, take);
    blockUsed_ += take;
    p += take;
    len -= take;
    if (blockUsed_ < block_.size()) return;
    transform(block_.data());
    blockUsed_ = 0;
  }
  for (; len >= block_.size(); p += block_.size(), len -= block_.size()) transform(p);
  std::memcpy(block_.data(), p, len);
  blockUsed_ = len;
}

std::string TMd5Stream::digest() {
  const uint64_t bits = length_ * 8;
  block_[blockUsed_++] = 0x80;
  if (blockUsed_ > 56) {
    std::memset(block_.data() + blockUsed_, 0, block_.size() - blockUsed_);
    transform(block_.data());
    blockUsed_ = 0;
  }
  std::memset(block_.data() + blockUsed_, 0, 56 - blockUsed_);
  for (std::size_t i = 0; i < 8; ++i) block_[56 + i] = static_cast<uint8_t>(bits >> (8 * i));
  transform(block_.data());

  std::string out(32, '0');
  for (std::size_t i = 0; i < 16; ++i) {
    const auto byte = static_cast<uint8_t>(state_[i / 4] >> (8 * (i % 4)));
    out[2 * i] = kHex[byte >> 4];
    out[2 * i + 1] = kHex[byte & 15];
  }
  restart();
  return out;
}
