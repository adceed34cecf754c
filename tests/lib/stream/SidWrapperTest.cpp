#include "SidWrapper.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "SidFilter.h"

namespace {

using TEntry = std::tuple<int, int, uint32_t>;  // register byte, data, delay

std::vector<TEntry> drain(TSidWrapper& sid) {
  std::vector<TEntry> out;
  for (; !sid.empty(); sid.pop()) out.emplace_back(sid.peekRegister(), sid.peekData(), sid.peekDelay());
  return out;
}

}  // namespace

TEST(SidWrapper, DelaysOfWritesAndReadsInBetween) {
  TSidWrapper sid;
  sid.writeRegister(0, 0x11, 100);
  sid.readRegister(28, 40);
  sid.queueRead(5, 0x22, 7);
  EXPECT_EQ(sid.count(), 3);
  sid.clock(1000);
  sid.writeRegister(1, 0x33, 60);
  EXPECT_EQ(sid.queuedCycles(), 100 + 40 + 7 + 1107);
  EXPECT_EQ(drain(sid), (std::vector<TEntry>{{0, 0x11, 100}, {0x9C, 0, 40}, {0x85, 0x22, 7}, {1, 0x33, 1107}}));
  EXPECT_EQ(sid.lastWritten(1), 0x33);
}

TEST(SidWrapper, EmptyRingReadsAsZero) {
  TSidWrapper sid;
  sid.pop();
  EXPECT_EQ(sid.count(), 0);
  EXPECT_EQ(sid.getRegister(), 0);
  EXPECT_EQ(sid.getData(), 0);
  EXPECT_EQ(sid.getCycles(), 0u);
  EXPECT_EQ(sid.takeDelayChunk(), 0u);
}

TEST(SidWrapper, LongDelaysAreTakenIn65535CyclePieces) {
  TSidWrapper sid;
  sid.clock(200000);
  sid.writeRegister(24, 0x8F, 5);
  EXPECT_EQ(sid.getCycles(), 65535u);
  EXPECT_EQ(sid.takeDelayChunk(), 134470u);
  EXPECT_EQ(sid.takeDelayChunk(), 68935u);
  EXPECT_EQ(sid.takeDelayChunk(), 3400u);
  EXPECT_EQ(sid.takeDelayChunk(), 3400u);
  EXPECT_EQ(sid.getRegister(), 24);
  EXPECT_EQ(sid.queuedCycles(), 3400);
  sid.pop();
  EXPECT_EQ(sid.queuedCycles(), 0);
}

TEST(SidWrapper, ModelAnswersReadsThroughTheFilterAndKeepsTime) {
  TSidWrapper sid;
  TSidFilter filter(sid);
  filter.write(14, 0x00, 1);
  filter.write(15, 0x01, 1);   // one sawtooth step per 256 cycles
  filter.write(18, 0x20, 1);
  sid.queueRead(0, 0, 0x1000);  // time spent on a read the model does not answer
  EXPECT_EQ(filter.clock(0x1000), 0x1000);
  EXPECT_EQ(filter.read(27, 0), 0x20);
  sid.writeRegister(18, 0x28, 3);
  EXPECT_EQ(drain(sid).back(), TEntry(18, 0x28, 3 + 0x2000));  // the write carries all time since the last write
}

TEST(SidWrapper, SkipSilenceReleasesHeldWritesWhenAVoiceSounds) {
  TSidWrapper sid;
  sid.setOptions(true, false);
  sid.writeRegister(24, 0x0F, 10);
  sid.writeRegister(0, 0x10, 20);
  sid.readRegister(28, 15);  // reads are not held
  sid.writeRegister(5, 0x09, 30);
  sid.clock(5000);
  EXPECT_EQ(sid.count(), 1);
  sid.writeRegister(4, 0x41, 40);  // gate with a frequency already set
  sid.writeRegister(1, 0x05, 77);  // from now on straight through
  EXPECT_EQ(drain(sid), (std::vector<TEntry>{{0x9C, 0, 15}, {24, 0x0F, 32 + 15 + 5000},
                                             {0, 0x10, 20}, {5, 0x09, 30}, {4, 0x41, 40}, {1, 0x05, 77}}));
}

TEST(SidWrapper, SkipSilenceCompressesOnlyALongHeldStart) {
  for (uint32_t gap : {196250u, 196251u}) {  // held delays after the first: 196560, 196561
    TSidWrapper sid;
    sid.setOptions(true, false);
    sid.writeRegister(5, 0x09, 100);
    sid.writeRegister(0, 0x10, gap);
    sid.writeRegister(6, 0xF0, 10);
    sid.writeRegister(4, 0x11, 300);
    const bool compress = gap > 196250;
    EXPECT_EQ(drain(sid), (std::vector<TEntry>{{5, 9, 32}, {0, 0x10, compress ? 32 : gap},
                                               {6, 0xF0, 10}, {4, 0x11, compress ? 32 : 300}}))
        << gap;
  }
}

TEST(SidWrapper, VolumeFixSuppliesAMissingVolumeOnce) {
  TSidWrapper sid;
  sid.setOptions(false, true);
  sid.writeRegister(0, 0x10, 20);
  sid.clock(100);
  sid.writeRegister(4, 0x21, 50);
  sid.writeRegister(4, 0x20, 60);
  EXPECT_EQ(drain(sid), (std::vector<TEntry>{{24, 15, 132}, {0, 0x10, 20}, {4, 0x21, 50}, {4, 0x20, 60}}));

  sid.reset();
  sid.setOptions(false, true);
  sid.writeRegister(24, 0x1F, 5);
  sid.writeRegister(14, 0x10, 6);
  sid.writeRegister(18, 0x11, 7);
  EXPECT_EQ(drain(sid), (std::vector<TEntry>{{24, 0x1F, 5}, {14, 0x10, 6}, {18, 0x11, 7}}));
}

TEST(SidWrapper, HoldBackEndsOnPitchChangeCountAndVolumeMovement) {
  TSidWrapper sid;
  sid.setOptions(true, false);
  sid.writeRegister(11, 0x21, 1);  // gated with a waveform, no pitch yet
  EXPECT_EQ(sid.count(), 0);
  sid.writeRegister(8, 0x30, 1);
  EXPECT_EQ(sid.count(), 2);

  for (bool mus : {false, true}) {
    sid.reset();
    sid.setMusMode(mus);
    sid.setOptions(true, false);
    sid.writeRegister(4, 0x01, 1);  // gated, no waveform
    for (uint8_t v = 1; v <= 5; ++v) sid.writeRegister(2, v, 1);
    EXPECT_EQ(sid.count(), mus ? 0 : 6) << "mus " << mus;
  }

  sid.reset();
  sid.setOptions(true, false);
  for (uint8_t v : {5, 6, 7}) sid.writeRegister(24, v, 1);
  EXPECT_EQ(sid.count(), 0);
  sid.writeRegister(24, 8, 1);
  EXPECT_EQ(sid.count(), 4);
}

TEST(SidWrapper, HoldBackGivesUpAfter65536Writes) {
  TSidWrapper sid;
  sid.setOptions(true, false);
  sid.clock(999);
  for (int i = 0; i < 65535; ++i) sid.writeRegister(5, 1, 10);
  EXPECT_EQ(sid.count(), 0);
  sid.writeRegister(5, 1, 10);
  ASSERT_EQ(sid.count(), 65536);
  EXPECT_EQ(sid.peekDelay(), 32u + 999u);
  EXPECT_EQ(sid.queuedCycles(), 32 + 999 + 65535 * 10);
  sid.writeRegister(6, 2, 3);
  EXPECT_EQ(sid.count(), 65537);
}

TEST(SidWrapper, RestartDropsTheQueueAndStartsWithVolume) {
  TSidWrapper sid;
  sid.writeRegister(24, 0x00, 10);
  sid.pushMarker(markerInitDone);
  sid.setOptions(true, true);
  sid.setClockRunning(false);
  sid.restart();
  EXPECT_TRUE(sid.clockRunning());
  EXPECT_EQ(sid.lastWritten(24), 15);
  sid.writeRegister(0, 0, 9);  // the hold-back is off after a restart
  EXPECT_EQ(drain(sid), (std::vector<TEntry>{{24, 15, 32}, {markerRestart, 0, 0}, {0, 0, 9}}));
}

TEST(SidWrapper, RingGrowsInsteadOfOverwritingUnreadEntries) {
  TSidWrapper sid;
  for (int i = 0; i < 1000; ++i) sid.writeRegister(static_cast<uint8_t>(i % 25), static_cast<uint8_t>(i), 1);
  for (int i = 0; i < 500; ++i) sid.pop();  // the head is no longer at the start
  const int total = 200000;
  for (int i = 0; i < total; ++i) {
    if (i % 3 == 0) {
      sid.queueRead(static_cast<uint8_t>(i % 32), static_cast<uint8_t>(i), i % 1000 + 1);
    } else {
      sid.writeRegister(static_cast<uint8_t>(i % 25), static_cast<uint8_t>(i), i % 1000 + 1);
    }
  }
  ASSERT_EQ(sid.count(), 500 + total);
  for (int i = 500; i < 1000; ++i, sid.pop()) ASSERT_EQ(sid.peekData(), static_cast<uint8_t>(i));
  uint32_t idle = 0;
  for (int i = 0; i < total; ++i, sid.pop()) {
    const uint32_t delay = i % 1000 + 1;
    const bool read = i % 3 == 0;
    ASSERT_EQ(sid.peekRegister(), read ? (i % 32) | 0x80 : i % 25) << i;
    ASSERT_EQ(sid.peekData(), static_cast<uint8_t>(i)) << i;
    ASSERT_EQ(sid.peekDelay(), read ? delay : delay + idle) << i;
    idle = read ? idle + delay : 0;
  }
  EXPECT_TRUE(sid.empty());
  EXPECT_EQ(sid.queuedCycles(), 0);
}
