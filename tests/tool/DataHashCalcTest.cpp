#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DataHashCalc.h"
#include "WMD5.h"

namespace {

struct TWrite {
  uint8_t reg;
  uint8_t value;
  uint32_t time = 0;
};

// The hash the calculator should give: MD5 over the selected pairs, register first.
std::string md5Of(const std::vector<TWrite>& selected) {
  TMd5Stream md5;
  for (const TWrite& w : selected) {
    md5.write(w.reg);
    md5.write(w.value);
  }
  return md5.digest();
}

void store(TDataHashCalc& calc, const std::vector<TWrite>& writes) {
  for (const TWrite& w : writes) ASSERT_TRUE(calc.AddWrite(w.reg, w.value, w.time));
}

// Index of the CheckStart call that reported the start, -1 when none did.
int startIndex(TDataHashCalc& calc, const std::vector<TWrite>& writes) {
  for (std::size_t i = 0; i < writes.size(); ++i)
    if (calc.CheckStart(writes[i].reg, writes[i].value)) return static_cast<int>(i);
  return -1;
}

// Starts through the volume rule, so that no voice counts as keyed.
void startWithoutVoice(TDataHashCalc& calc) {
  ASSERT_EQ(startIndex(calc, {{24, 1}, {24, 2}, {24, 3}, {24, 3}}), 3);
}

}  // namespace

TEST(DataHashStart, KeyedVoiceStartsWhenItHasAFrequencyElseOnItsNextFrequencyWrite) {
  TDataHashCalc withFrequency;
  EXPECT_EQ(startIndex(withFrequency, {{1, 0x20}, {4, 0x11}}), 1);
  EXPECT_TRUE(withFrequency.started());
  EXPECT_FALSE(withFrequency.CheckStart(4, 0x11)) << "reports the start once only";

  // Voice 2 keyed first; writes to another voice's frequency or a zero
  // frequency do not re-trigger it, its own non-zero frequency does.
  TDataHashCalc retrigger;
  EXPECT_EQ(startIndex(retrigger, {{11, 0x21}, {0, 0x20}, {7, 0x00}, {8, 0x05}}), 3);
  TDataHashCalc voice3;
  EXPECT_EQ(startIndex(voice3, {{18, 0x81}, {7, 0x20}, {14, 0x01}}), 2);
}

TEST(DataHashStart, VoiceIsKeyedOnlyByGateOrTestTogetherWithAWaveform) {
  TDataHashCalc calc;
  // Gate alone, waveform alone: not keyed, so frequency writes start nothing.
  EXPECT_EQ(startIndex(calc, {{0, 0x10}, {4, 0x01}, {4, 0x40}, {0, 0x22}, {4, 0x00}}), -1);
  EXPECT_TRUE(calc.CheckStart(4, 0x48)) << "test bit with pulse keys the voice";
}

TEST(DataHashStart, ChangeCountAboveFourStartsOnceAVoiceIsKeyed) {
  // Without a keyed voice any number of changes starts nothing.
  TDataHashCalc idle;
  EXPECT_EQ(startIndex(idle, {{2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}}), -1);

  // Repeating a value is no change: the fifth change is the sixth write.
  TDataHashCalc repeated;
  EXPECT_EQ(startIndex(repeated, {{11, 0x21}, {2, 1}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}}), 6);

  // Zero is never remembered, so every zero after a non-zero value counts.
  TDataHashCalc zeros;
  EXPECT_EQ(startIndex(zeros, {{11, 0x21}, {2, 5}, {2, 0}, {2, 5}, {2, 0}, {2, 0}, {2, 0}}), 6);

  // Register 23 remembers zero too: alternating 5 and 0 changes every time.
  TDataHashCalc filter;
  EXPECT_EQ(startIndex(filter, {{11, 0x21}, {23, 5}, {23, 0}, {23, 5}, {23, 0}, {23, 5}}), 5);
  TDataHashCalc cutoff;
  EXPECT_EQ(startIndex(cutoff, {{11, 0x21}, {22, 5}, {22, 0}, {22, 5}, {22, 0}, {22, 5}}), -1);

  // A control register counts every write, equal or not.
  TDataHashCalc control;
  EXPECT_EQ(startIndex(control, {{4, 0x11}, {4, 0x11}, {4, 0x11}, {4, 0x11}, {4, 0x11}}), 4);
}

TEST(DataHashStart, VolumeRuleCountsOnlyEarlierWrites) {
  // The third middle-volume change is counted by its own write; the next
  // write to register 24, even without a change, starts.
  TDataHashCalc middle;
  EXPECT_EQ(startIndex(middle, {{24, 0x01}, {24, 0x02}, {24, 0x02}, {24, 0x13}, {24, 0x13}}), 4);

  // Volume 0 and 15, whatever the mode bits: the fifth change is counted,
  // the write after it starts. Writing 0 first is no change.
  TDataHashCalc edges;
  EXPECT_EQ(startIndex(edges, {{24, 0x00}, {24, 0x0F}, {24, 0x10}, {24, 0x1F}, {24, 0x20}, {24, 0x3F}, {24, 0x3F}}), 6);

  // Two middle and four edge changes are not enough.
  TDataHashCalc below;
  EXPECT_EQ(startIndex(below, {{24, 0x05}, {24, 0x0F}, {24, 0x06}, {24, 0x00}, {24, 0x0F}, {24, 0x00}, {24, 0x00}}), -1);
}

TEST(DataHashStart, The65536thWriteStartsAndResetCountsAgain) {
  TDataHashCalc calc;
  for (int round = 0; round < 2; ++round) {
    for (int i = 1; i < 65536; ++i) ASSERT_FALSE(calc.CheckStart(30, 0)) << "write " << i;
    EXPECT_TRUE(calc.CheckStart(30, 0));
    calc.Reset();
    EXPECT_FALSE(calc.started());
  }
}

TEST(DataHashStart, ResetForgetsKeyedVoicesAndFrequencies) {
  TDataHashCalc calc;
  ASSERT_EQ(startIndex(calc, {{0, 0x10}, {4, 0x11}}), 1);
  calc.Reset();
  // Were voice 1 still keyed, the frequency write would re-trigger it; were
  // the frequency still known, keying would start.
  EXPECT_EQ(startIndex(calc, {{0, 0x10}}), -1);
  calc.Reset();
  EXPECT_EQ(startIndex(calc, {{4, 0x11}}), -1);
}

TEST(DataHash, NothingStoredGivesTheEmptyDigest) {
  TDataHashCalc calc;
  EXPECT_EQ(std::string(TDataHashCalc::emptyDigest), md5Of({}));
  EXPECT_EQ(calc.GetHash(true), TDataHashCalc::emptyDigest);
  EXPECT_EQ(calc.GetHash(false), TDataHashCalc::emptyDigest);
}

TEST(DataHash, WritesBeforeAndAtTheStartAreNotHashed) {
  TDataHashCalc calc;
  ASSERT_EQ(startIndex(calc, {{24, 0x0F}, {1, 0x20}, {4, 0x11}}), 2);
  store(calc, {{5, 0x22, 10}, {4, 0x10, 20}});
  const std::string expected = md5Of({{5, 0x22}, {4, 0x10}});
  EXPECT_EQ(calc.GetHash(false), expected);
  // Voice 1 keyed by the start write: its envelope counts from the first stored write.
  EXPECT_EQ(calc.GetHash(true), expected);
}

TEST(DataHash, SkipCountFollowsTheNumberOfStoredWrites) {
  const std::vector<std::pair<int, int>> skips = {{256, 0},   {257, 128},  {512, 128},   {513, 256},
                                                  {1024, 256}, {1025, 512}, {4608, 512}, {4609, 1536}};
  for (const auto& [count, skip] : skips) {
    TDataHashCalc calc;
    startWithoutVoice(calc);
    std::vector<TWrite> writes;
    for (int i = 0; i < count; ++i) writes.push_back({24, static_cast<uint8_t>(i * 7), static_cast<uint32_t>(i * 20000)});
    store(calc, writes);
    const std::string expected = md5Of(std::vector<TWrite>(writes.begin() + skip, writes.end()));
    EXPECT_EQ(calc.GetHash(false), expected) << count << " writes";
    EXPECT_EQ(calc.GetHash(true), expected) << count << " writes";
  }
}

TEST(DataHashFilter, FrameRateFrequencyWritesLeaveTheFilteredSelectionEmpty) {
  TDataHashCalc calc;
  startWithoutVoice(calc);
  std::vector<TWrite> writes;
  for (uint32_t frame = 0; frame < 80; ++frame) {  // 240 writes: none skipped
    writes.push_back({0, static_cast<uint8_t>(frame), frame * 19656});
    writes.push_back({1, static_cast<uint8_t>(frame >> 2), frame * 19656 + 30});
    writes.push_back({22, static_cast<uint8_t>(frame), frame * 19656 + 60});
  }
  store(calc, writes);
  EXPECT_EQ(calc.GetHash(true), TDataHashCalc::emptyDigest);
  EXPECT_EQ(calc.GetHash(false), md5Of(writes));
}

TEST(DataHashFilter, FastRunEntersFromTheWriteEndingItsTwentiethShortGap) {
  TDataHashCalc calc;
  startWithoutVoice(calc);
  std::vector<TWrite> writes;
  std::vector<TWrite> selected;
  uint32_t t = 0;
  // First run: the first write is measured against time 0, so the 20th write
  // ends the 20th short gap. 981 is still short.
  for (int i = 1; i <= 25; ++i) {
    t += (i % 2) ? 300 : 981;
    writes.push_back({2, static_cast<uint8_t>(i), t});
    if (i >= 20) selected.push_back(writes.back());
  }
  // A gap of exactly 982 ends the run; a new run needs 20 more short gaps.
  t += 982;
  writes.push_back({2, 0x80, t});
  for (int i = 1; i <= 21; ++i) {
    t += 500;
    writes.push_back({2, static_cast<uint8_t>(0x80 + i), t});
    if (i >= 20) selected.push_back(writes.back());
  }
  // Another register keeps its own count: a first write late in the pass is a long gap.
  for (int i = 0; i <= 20; ++i) {
    t += 100;
    writes.push_back({21, static_cast<uint8_t>(i), t});
    if (i == 20) selected.push_back(writes.back());
  }
  store(calc, writes);
  ASSERT_LE(writes.size(), 256u) << "no skip in this test";
  EXPECT_EQ(calc.GetHash(true), md5Of(selected));
  EXPECT_EQ(calc.GetHash(true), md5Of(selected)) << "timing tables start fresh on each call";
}

TEST(DataHashFilter, SkippedWritesStillKeyVoicesAndCountTowardsAFastRun) {
  TDataHashCalc calc;
  startWithoutVoice(calc);
  std::vector<TWrite> writes = {{4, 0x41, 100}};
  for (uint32_t i = 1; i < 300; ++i) writes.push_back({3, static_cast<uint8_t>(i), (i + 1) * 100});
  writes.push_back({5, 0x99, 40000});
  store(calc, writes);
  // 301 writes skip 128. The voice was keyed and the run entered long before,
  // so every later write counts, the envelope write included.
  EXPECT_EQ(calc.GetHash(true), md5Of(std::vector<TWrite>(writes.begin() + 128, writes.end())));
}

TEST(DataHashFilter, VoiceRegistersCountOnceTheVoiceIsKeyedAndVolumeAlways) {
  TDataHashCalc calc;
  startWithoutVoice(calc);
  const std::vector<TWrite> writes = {
      {5, 0x11},  // voice 1 not keyed
      {4, 0x01},  // gate without waveform: not keyed
      {6, 0x22},
      {24, 0x0F},  // volume, always
      {4, 0x41},   // keys voice 1 and counts
      {5, 0x33},
      {12, 0x44},  // voice 2 not keyed
      {11, 0x08},  // test bit alone
      {11, 0x80},  // waveform alone
      {11, 0x88},  // keys voice 2
      {13, 0x55},
      {20, 0x66},  // voice 3 never keyed
      {19, 0x77},
      {24, 0x1F},
  };
  std::vector<TWrite> timed;
  for (std::size_t i = 0; i < writes.size(); ++i) timed.push_back({writes[i].reg, writes[i].value, static_cast<uint32_t>(i * 20000)});
  store(calc, timed);

  EXPECT_EQ(calc.GetHash(false), md5Of(writes)) << "the unfiltered hash keys no voice";
  EXPECT_EQ(calc.GetHash(true), md5Of({{24, 0x0F}, {4, 0x41}, {5, 0x33}, {11, 0x88}, {13, 0x55}, {24, 0x1F}}));
  // The voices keyed by that walk stay keyed until Reset, so their earlier
  // envelope writes now count as well.
  EXPECT_EQ(calc.GetHash(true), md5Of({{5, 0x11}, {4, 0x01}, {6, 0x22}, {24, 0x0F}, {4, 0x41}, {5, 0x33}, {12, 0x44},
                                       {11, 0x08}, {11, 0x80}, {11, 0x88}, {13, 0x55}, {24, 0x1F}}));
}

TEST(DataHashStore, HoldsAtMost24999999WritesAndStartsSmallAgainAfterReset) {
  TDataHashCalc calc;
  startWithoutVoice(calc);
  std::vector<uint8_t> hashed;
  hashed.reserve(2 * static_cast<std::size_t>(TDataHashCalc::maxStoredWrites));
  for (int32_t i = 0; i < TDataHashCalc::maxStoredWrites; ++i) {
    const auto reg = static_cast<uint8_t>(i % 29);
    const auto value = static_cast<uint8_t>(i >> 3);
    if (!calc.AddWrite(reg, value, static_cast<uint32_t>(i))) FAIL() << "write " << i << " dropped";
    if (i >= 1536) {
      hashed.push_back(reg);
      hashed.push_back(value);
    }
  }
  EXPECT_FALSE(calc.AddWrite(24, 0xFF, 0));
  EXPECT_EQ(calc.writeCount(), TDataHashCalc::maxStoredWrites);
  TMd5Stream expected;
  expected.write(hashed.data(), hashed.size());
  EXPECT_EQ(calc.GetHash(false), expected.digest());

  calc.Reset();
  EXPECT_EQ(calc.writeCount(), 0);
  EXPECT_EQ(calc.GetHash(false), TDataHashCalc::emptyDigest);
  startWithoutVoice(calc);
  store(calc, {{24, 0x0F, 1}});
  EXPECT_EQ(calc.GetHash(false), md5Of({{24, 0x0F}}));
}
