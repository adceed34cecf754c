// Numbers of the built-in BASIC: the C64's five-byte floating point format and
// the number texts BASIC reads and prints.
//
//   auto bytes = TBasicFloat::pack(0.5);         // {0x80, 0x00, 0x00, 0x00, 0x00}
//   double v = TBasicFloat::unpack(bytes);       // 0.5
//   TBasicFloat::round(1.0 / 3);                 // the value the C64 keeps
//   TBasicFloat::format(-1.5);                   // "-1.5"
//
// A value is an exponent byte (0: the number is zero; otherwise the power of two
// plus 128) and a 32-bit mantissa whose top bit, always 1, is replaced by the
// sign. Calculation runs in double precision and every result is rounded to the
// 32-bit mantissa, half away from zero, as the C64 rounds its accumulator.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace TBasicFloat {

using Bytes = std::array<uint8_t, 5>;

// Largest magnitude the format holds (just under 2^127).
constexpr double maxValue = 1.70141183e38;

// The nearest value of the format; nullopt when the magnitude overflows.
// Magnitudes below 2^-128 become zero, as on the C64.
std::optional<double> round(double value);
// value must come from round().
Bytes pack(double value);
double unpack(const Bytes& bytes);

// RND's generator, bit for bit as the C64 computes it: the seed times
// 11879546 plus 3.927677739E-8 in the C64's own multiply and add (which keep
// an eighth mantissa byte and drop what falls below it), then scrambled.
Bytes nextRandom(const Bytes& seed);
// The scrambling alone (RND of a negative number reseeds with it): mantissa
// bytes swapped end for end, the exponent as the lowest bits, normalised into
// a value between 0 and 1 and rounded.
Bytes scrambleRandom(const Bytes& value);

// PRINT and STR$: a sign character (space or "-"), at most nine significant
// digits, scientific notation below 0.01 and from 1E9 on.
std::string format(double value);

// The number at the start of text as BASIC reads it (spaces ignored between the
// characters, an optional sign, digits, ".", "E" with a signed exponent).
// Returns the value and the count of characters used; nullopt when the value overflows.
struct Parsed {
  double value = 0;
  std::size_t used = 0;
};
std::optional<Parsed> parse(const std::string& text);

}  // namespace TBasicFloat
