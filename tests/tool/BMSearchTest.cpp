// The pattern search the index and the binary search rely on, checked against
// a plain search over random and real data.
#include "BMSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

int64_t Find(const std::vector<uint8_t>& text, const std::vector<uint8_t>& pattern) {
  TBMSearch::TTable table;
  TBMSearch::PrepareTable(pattern.data(), pattern.size(), table);
  return TBMSearch::FindPattern(text.data(), text.size(), table, pattern.size(), pattern.data());
}

int64_t Plain(const std::vector<uint8_t>& text, const std::vector<uint8_t>& pattern) {
  auto it = std::search(text.begin(), text.end(), pattern.begin(), pattern.end());
  return it == text.end() ? -1 : it - text.begin();
}

TEST(BMSearch, EdgesOfTheText) {
  const std::vector<uint8_t> text = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(Find(text, {1, 2, 3}), 0);
  EXPECT_EQ(Find(text, {6, 7, 8}), 5);
  EXPECT_EQ(Find(text, {7, 8, 9}), -1);
  EXPECT_EQ(Find({1, 2}, {1, 2, 3}), -1);  // shorter than the pattern
  EXPECT_EQ(Find(text, text), 0);
  EXPECT_EQ(Find({0, 9, 1, 2, 9, 1, 2}, {9, 1, 2}), 1);  // the first of two
  EXPECT_EQ(Find(std::vector<uint8_t>(100, 0xAA), std::vector<uint8_t>(16, 0xAA)), 0);
}

TEST(BMSearch, SkipTableAndEmptyPatterns) {
  TBMSearch::TTable table;
  const std::vector<uint8_t> pattern = {5, 7, 5, 9};
  TBMSearch::PrepareTable(pattern.data(), pattern.size(), table);
  EXPECT_EQ(table[5], 1);  // its last occurrence before the final byte
  EXPECT_EQ(table[7], 2);
  EXPECT_EQ(table[9], 4);  // the final byte has no entry of its own
  EXPECT_EQ(table[0], 4);
  try {
    TBMSearch::PrepareTable(pattern.data(), 0, table);
    FAIL() << "an empty pattern was accepted";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "BufferLen is 0");
  }
  EXPECT_EQ(TBMSearch::FindPattern(pattern.data(), pattern.size(), table, 0, pattern.data()), -1);
}

TEST(BMSearch, AgreesWithAPlainSearch) {
  // Few byte values make near misses and repeated bytes common.
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> text(random() % 300);
    for (uint8_t& b : text) b = static_cast<uint8_t>(random() % 4);
    std::vector<uint8_t> pattern(1 + random() % 20);
    for (uint8_t& b : pattern) b = static_cast<uint8_t>(random() % 4);
    if (round % 3 == 0 && text.size() > pattern.size()) {
      const std::size_t at = random() % (text.size() - pattern.size() + 1);
      std::copy(pattern.begin(), pattern.end(), text.begin() + static_cast<std::ptrdiff_t>(at));
    }
    ASSERT_EQ(Find(text, pattern), Plain(text, pattern)) << "round " << round;
  }
}

}  // namespace
