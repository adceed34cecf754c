#include "BasicFloat.h"

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
  skip();
  bool negative = false;
  // BASIC's number reader takes a sign in either spelling: text or token.
  if (i < text.size() && (text[i] == '-' || static_cast<uint8_t>(text[i]) == 0xAB)) {
    negative = true;
    ++i;
  } else if (i < text.size() && (text[i] == '+' || static_cast<uint8_t>(text[i]) == 0xAA)) {
    ++i;
  }
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
    bool expNegative = false;
    if (i < text.size() && (text[i] == '-' || static_cast<uint8_t>(text[i]) == 0xAB)) {
      expNegative = true;
      ++i;
    } else if (i < text.size() && (text[i] == '+' || static_cast<uint8_t>(text[i]) == 0xAA)) {
      ++i;
    }
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
