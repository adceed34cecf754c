#include "BasicFloat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace TBasicFloat {

std::optional<double> round(double value) {
  if (value == 0 || std::isnan(value)) return 0.0;
  if (std::isinf(value)) return std::nullopt;
  int exponent = 0;
  const double mantissa = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
  // The C64 keeps 32 mantissa bits; the bit below decides the rounding.
  double bits = std::floor(std::ldexp(mantissa, 32) + 0.5);
  if (bits >= 4294967296.0) {
    bits = 2147483648.0;
    ++exponent;
  }
  if (exponent + 128 > 255) return std::nullopt;
  if (exponent + 128 < 1) return 0.0;
  const double magnitude = std::ldexp(bits, exponent - 32);
  return value < 0 ? -magnitude : magnitude;
}

Bytes pack(double value) {
  if (value == 0) return {0, 0, 0, 0, 0};
  int exponent = 0;
  const double mantissa = std::frexp(std::fabs(value), &exponent);
  const auto bits = static_cast<uint32_t>(std::ldexp(mantissa, 32));
  return {static_cast<uint8_t>(exponent + 128),
          static_cast<uint8_t>(((bits >> 24) & 0x7F) | (value < 0 ? 0x80 : 0)),
          static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
}

double unpack(const Bytes& b) {
  if (b[0] == 0) return 0;
  const uint32_t bits = static_cast<uint32_t>(b[1] | 0x80) << 24 | b[2] << 16 | b[3] << 8 | b[4];
  const double magnitude = std::ldexp(static_cast<double>(bits), b[0] - 128 - 32);
  return (b[1] & 0x80) ? -magnitude : magnitude;
}

namespace {

// The C64's floating point accumulator: exponent byte and 32 mantissa bits
// followed by the rounding byte, as one 40-bit number.
struct Accumulator {
  int exponent = 0;
  uint64_t mantissa = 0;  // 40 bits
};

constexpr uint64_t mask40 = (uint64_t{1} << 40) - 1;

uint32_t mantissaOf(const Bytes& b) {
  return static_cast<uint32_t>(b[1] | 0x80) << 24 | b[2] << 16 | b[3] << 8 | b[4];
}

void normalise(Accumulator& a) {
  if (a.mantissa == 0) {
    a.exponent = 0;
    return;
  }
  while (!(a.mantissa & (uint64_t{1} << 39))) {
    a.mantissa = (a.mantissa << 1) & mask40;
    if (--a.exponent <= 0) {
      a.exponent = 0;
      a.mantissa = 0;
      return;
    }
  }
}

// Stored to memory: rounded by the top bit of the rounding byte.
Bytes store(Accumulator a) {
  if (a.exponent == 0) return {0, 0, 0, 0, 0};
  uint64_t bits = a.mantissa >> 8;
  if (a.mantissa & 0x80) {
    if (++bits == (uint64_t{1} << 32)) {
      bits = uint64_t{1} << 31;
      ++a.exponent;
    }
  }
  return {static_cast<uint8_t>(std::min(a.exponent, 255)), static_cast<uint8_t>((bits >> 24) & 0x7F),
          static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
}

}  // namespace

Bytes scrambleRandom(const Bytes& value) {
  if (value[0] == 0) return {0, 0, 0, 0, 0};
  const uint32_t m = mantissaOf(value);
  const uint32_t swapped = (m & 0xFF) << 24 | ((m >> 8) & 0xFF) << 16 | ((m >> 16) & 0xFF) << 8 | m >> 24;
  Accumulator a{0x80, static_cast<uint64_t>(swapped) << 8 | value[0]};
  normalise(a);
  return store(a);
}

Bytes nextRandom(const Bytes& seed) {
  if (seed[0] == 0) return scrambleRandom(seed);
  constexpr Bytes multiplier{0x98, 0x35, 0x44, 0x7A, 0x00};
  constexpr Bytes addend{0x68, 0x28, 0xB1, 0x46, 0x00};
  // Multiply: the seed's bytes, rounding byte (0) first, each adding the
  // multiplier into a 40-bit sum shifted right one bit per multiplier bit.
  const uint32_t digits = mantissaOf(seed);
  const uint64_t factor = static_cast<uint64_t>(mantissaOf(multiplier)) << 8;
  uint64_t sum = 0;
  const uint8_t bytes[5] = {0, static_cast<uint8_t>(digits), static_cast<uint8_t>(digits >> 8),
                            static_cast<uint8_t>(digits >> 16), static_cast<uint8_t>(digits >> 24)};
  for (uint8_t byte : bytes) {
    if (byte == 0) {
      sum >>= 8;
      continue;
    }
    for (int bit = 0; bit < 8; ++bit) {
      if ((byte >> bit) & 1) sum += factor;
      sum >>= 1;
    }
  }
  Accumulator a{seed[0] + multiplier[0] - 128, sum & mask40};
  normalise(a);
  if (a.exponent <= 0) return scrambleRandom({0, 0, 0, 0, 0});
  // Add: the smaller operand is shifted right within the 40 bits.
  const int shift = a.exponent - addend[0];
  if (shift >= 0 && shift < 40) {
    a.mantissa += (static_cast<uint64_t>(mantissaOf(addend)) << 8) >> shift;
    if (a.mantissa > mask40) {
      a.mantissa >>= 1;
      ++a.exponent;
    }
  }
  Bytes rounded = {static_cast<uint8_t>(a.exponent), static_cast<uint8_t>((a.mantissa >> 32) & 0x7F),
                   static_cast<uint8_t>(a.mantissa >> 24), static_cast<uint8_t>(a.mantissa >> 16),
                   static_cast<uint8_t>(a.mantissa >> 8)};
  // The scramble takes the accumulator unrounded: its rounding byte is dropped.
  return scrambleRandom(rounded);
}

std::string format(double value) {
  std::string out = value < 0 ? "-" : " ";
  if (value == 0) return " 0";
  // Nine significant digits, rounded once from the exact binary value.
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.8e", std::fabs(value));
  std::string digits;
  digits += buffer[0];
  digits.append(buffer + 2, 8);
  int exponent = std::atoi(buffer + 11);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const auto count = static_cast<int>(digits.size());
  if (exponent < -2 || exponent >= 9) {
    out.push_back(digits[0]);
    if (count > 1) {
      out.push_back('.');
      out.append(digits, 1, std::string::npos);
    }
    char e[16];
    std::snprintf(e, sizeof e, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent) % 100);
    out.append(e);
    return out;
  }
  if (exponent < 0) {
    out.push_back('.');
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out.append(digits);
    return out;
  }
  const auto whole = static_cast<std::size_t>(exponent + 1);
  if (digits.size() <= whole) {
    out.append(digits);
    out.append(whole - digits.size(), '0');
    return out;
  }
  out.append(digits, 0, whole);
  out.push_back('.');
  out.append(digits, whole, std::string::npos);
  return out;
}

std::optional<Parsed> parse(const std::string& text) {
  std::size_t i = 0;
  const auto skip = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  // BASIC's number reader takes a sign in either spelling: text or token.
  const auto sign = [&] {
    if (i < text.size() && (text[i] == '-' || static_cast<uint8_t>(text[i]) == 0xAB)) {
      ++i;
      return true;
    }
    if (i < text.size() && (text[i] == '+' || static_cast<uint8_t>(text[i]) == 0xAA)) ++i;
    return false;
  };
  skip();
  const bool negative = sign();
  std::string literal;
  bool point = false;
  for (;; ++i) {
    skip();
    if (i >= text.size()) break;
    const char c = text[i];
    if (c >= '0' && c <= '9')
      literal += c;
    else if (c == '.' && !point) {
      point = true;
      literal += c;
    } else
      break;
  }
  long exponent = 0;
  if (i < text.size() && text[i] == 'E') {
    ++i;
    skip();
    const bool expNegative = sign();
    for (;; ++i) {
      skip();
      if (i >= text.size() || text[i] < '0' || text[i] > '9') break;
      if (exponent < 1000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (expNegative) exponent = -exponent;
  }
  double value = 0;
  if (literal.find_first_of("0123456789") != std::string::npos) {
    const std::string full = literal + "e" + std::to_string(exponent);
    value = std::strtod(full.c_str(), nullptr);
  }
  const auto rounded = round(negative ? -value : value);
  if (!rounded) return std::nullopt;
  return Parsed{*rounded, i};
}

}  // namespace TBasicFloat
