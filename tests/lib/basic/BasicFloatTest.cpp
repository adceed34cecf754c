// The five-byte numbers of the built-in BASIC.
#include <gtest/gtest.h>

#include <cmath>

#include "BasicFloat.h"

namespace {

using TBasicFloat::Bytes;

TEST(BasicFloat, PacksAsTheC64StoresNumbers) {
  EXPECT_EQ(TBasicFloat::pack(0), (Bytes{0, 0, 0, 0, 0}));
  EXPECT_EQ(TBasicFloat::pack(1), (Bytes{0x81, 0x00, 0, 0, 0}));
  EXPECT_EQ(TBasicFloat::pack(-1), (Bytes{0x81, 0x80, 0, 0, 0}));
  EXPECT_EQ(TBasicFloat::pack(0.5), (Bytes{0x80, 0x00, 0, 0, 0}));
  EXPECT_EQ(TBasicFloat::pack(10), (Bytes{0x84, 0x20, 0, 0, 0}));
  EXPECT_EQ(TBasicFloat::pack(*TBasicFloat::round(3.14159265358979)), (Bytes{0x82, 0x49, 0x0F, 0xDA, 0xA2}));
  for (double v : {1.0, -2.5, 1e-30, 65535.0, 1.7e38, -0.1})
    EXPECT_EQ(TBasicFloat::unpack(TBasicFloat::pack(*TBasicFloat::round(v))), *TBasicFloat::round(v));
}

TEST(BasicFloat, RoundsToThirtyTwoMantissaBitsAndKnowsItsRange) {
  EXPECT_EQ(*TBasicFloat::round(1.0 + std::ldexp(1.0, -32)), 1.0 + std::ldexp(1.0, -31));  // half rounds up
  EXPECT_EQ(*TBasicFloat::round(1.0 + std::ldexp(1.0, -33)), 1.0);
  EXPECT_FALSE(TBasicFloat::round(1.8e38).has_value());
  EXPECT_EQ(*TBasicFloat::round(1e-40), 0.0);
}

TEST(BasicFloat, FormatsWithNineDigits) {
  EXPECT_EQ(TBasicFloat::format(0), " 0");
  EXPECT_EQ(TBasicFloat::format(*TBasicFloat::round(1.0 / 3)), " .333333333");
  EXPECT_EQ(TBasicFloat::format(-12.75), "-12.75");
  EXPECT_EQ(TBasicFloat::format(100000000), " 100000000");
  EXPECT_EQ(TBasicFloat::format(999999999), " 999999999");
  EXPECT_EQ(TBasicFloat::format(1e9), " 1E+09");
  EXPECT_EQ(TBasicFloat::format(0.0123), " .0123");
  EXPECT_EQ(TBasicFloat::format(0.00123), " 1.23E-03");
  EXPECT_EQ(TBasicFloat::format(*TBasicFloat::round(1.7e38)), " 1.7E+38");
}

TEST(BasicFloat, ParsesNumberTextAsBasicReadsIt) {
  const auto value = [](const std::string& text) { return TBasicFloat::parse(text)->value; };
  EXPECT_EQ(value("12"), 12);
  EXPECT_EQ(value(" 1 2 . 5"), 12.5);
  EXPECT_EQ(value("-3E2"), -300);
  EXPECT_EQ(value(".5E-1"), *TBasicFloat::round(0.05));
  EXPECT_EQ(value("ABC"), 0);
  EXPECT_EQ(TBasicFloat::parse("7X")->used, 1u);
  EXPECT_FALSE(TBasicFloat::parse("1E39").has_value());
}

TEST(BasicFloat, RandomNumbersFollowTheC64Sequence) {
  // From the seed a C64 has after power-on.
  Bytes seed{0x80, 0x4F, 0xC7, 0x52, 0x58};
  seed = TBasicFloat::nextRandom(seed);
  EXPECT_EQ(TBasicFloat::format(TBasicFloat::unpack(seed)), " .185564016");
  for (int i = 0; i < 1000; ++i) {
    seed = TBasicFloat::nextRandom(seed);
    const double v = TBasicFloat::unpack(seed);
    ASSERT_GT(v, 0);
    ASSERT_LT(v, 1);
  }
  // A negative argument reseeds: the same one gives the same sequence.
  EXPECT_EQ(TBasicFloat::scrambleRandom(TBasicFloat::pack(-7)), TBasicFloat::scrambleRandom(TBasicFloat::pack(-7)));
  EXPECT_NE(TBasicFloat::scrambleRandom(TBasicFloat::pack(-7)), TBasicFloat::scrambleRandom(TBasicFloat::pack(-8)));
}

}  // namespace
