// What the code's SID accesses turn into: stream entries with their delays,
// register folding, model reads, the usage clearing on the first SID write and
// playSID's sample registers.
#include "MachineFixture.h"

namespace {

using SidPath = MachineTest;

TEST_F(SidPath, MirrorsFoldOntoTheThirtyTwoRegisters) {
  clock().setCyclesSinceSid(5);
  c64->writeByte(0xD500, 0x11);  // register 0
  c64->writeByte(0xD7F8, 0x0F);  // register $18
  EXPECT_EQ(drain(), (std::vector<Access>{{0x00, 0x11, 5}, {0x18, 0x0F, 1}}));
  EXPECT_EQ(c64->lastVolume, 0x0F);
  EXPECT_FALSE(c64->volumeIsZero);
}

TEST_F(SidPath, ReadModifyWriteWritesTheOldValueThenTheNew) {
  code(0x1000, {0xA9, 0x20, 0x8D, 0x04, 0xD4, 0xEE, 0x04, 0xD4});  // LDA #$20 STA $D404 INC $D404
  clock().setCyclesSinceSid(100);
  step();
  step();
  step();
  // INC first reads the write-only register (a read entry), then writes the old
  // value and the new one; a write in the same cycle count as the previous
  // access still takes at least one cycle.
  EXPECT_EQ(drain(),
            (std::vector<Access>{{0x04, 0x20, 102}, {0x84, 0x20, 4}, {0x04, 0x20, 5}, {0x04, 0x21, 1}}));
}

TEST_F(SidPath, ReadsOfWriteOnlyRegistersReportTheBusAndQueueARead) {
  clock().setCyclesSinceSid(7);
  c64->writeByte(0xD401, 0x5A);
  clock().setCyclesSinceSid(3);
  EXPECT_EQ(c64->readByte(0xD420), 0x5A);  // register 0 of the first mirror
  EXPECT_EQ(c64->readByte(0xD419), 0xFF);  // paddles answer without an entry
  EXPECT_EQ(c64->readByte(0xD41A), 0xFF);
  clock().setCyclesSinceSid(4);
  c64->writeByte(0xD401, 0x00);
  // The write's delay covers the time since the previous write, the read's its own.
  EXPECT_EQ(drain(), (std::vector<Access>{{0x01, 0x5A, 7}, {0x80, 0x5A, 3}, {0x01, 0x00, 7}}));
}

TEST_F(SidPath, OscillatorAndEnvelopeReadsComeFromTheModel) {
  c64->writeByte(0xD40F, 0x10);  // voice 3 frequency high
  c64->writeByte(0xD412, 0x20);  // sawtooth
  clock().setCyclesSinceSid(0x100);
  // Sawtooth output is the accumulator's top byte: $1000 x $100 cycles = $100000.
  EXPECT_EQ(c64->readByte(0xD41B), 0x10);
  EXPECT_EQ(clock().cyclesSinceSid(), 0u);
  const auto queued = drain();
  ASSERT_EQ(queued.size(), 3u);
  EXPECT_EQ(queued[2], (Access{0x9B, 0x10, 0x100}));
}

TEST_F(SidPath, FirstSoundingWriteClearsTheUsageMaps) {
  c64->clearUsageOnFirstSid = true;
  memory().ramUsage[0x2000] = TMemoryMap::usageLoaded | TMemoryMap::usageRead;
  memory().ramUsage[0x2001] = TMemoryMap::usageWritten | TMemoryMap::usageWrittenFirst;
  memory().ramUsage[0x2002] = TMemoryMap::usageFetched;
  memory().romUsage[0xE000] = TMemoryMap::usageFetched;
  c64->writeByte(0xD418, 0x0F);  // volume alone does not count
  EXPECT_FALSE(c64->firstSidAccessSeen);
  c64->writeByte(0xD404, 0x00);  // nor does a zero
  EXPECT_FALSE(c64->firstSidAccessSeen);
  c64->writeByte(0xD404, 0x11);
  EXPECT_TRUE(c64->firstSidAccessSeen);
  EXPECT_EQ(memory().ramUsage[0x2000], TMemoryMap::usageLoaded);
  EXPECT_EQ(memory().ramUsage[0x2001], TMemoryMap::usageLoaded);
  EXPECT_EQ(memory().ramUsage[0x2002], 0);
  EXPECT_EQ(memory().romUsage[0xE000], 0);
  EXPECT_EQ(memory().romUsage[0xD418], 0);
  EXPECT_TRUE(memory().romUsage[0xD404] & TMemoryMap::usageWritten);
}

class PlaySidSamples : public MachineTest {
 protected:
  PlaySidSamples() {
    c64->setPlaySidSpecific(true);
    c64->writeByte(0xD418, 0x1F);
    drain();
  }
  void sampleRegs(uint16_t base, uint16_t start, uint16_t end, uint16_t period, uint8_t repeats) {
    c64->writeByte(base + 0x1E, start & 0xFF);
    c64->writeByte(base + 0x1F, start >> 8);
    c64->writeByte(base + 0x3D, end & 0xFF);
    c64->writeByte(base + 0x3E, end >> 8);
    c64->writeByte(base + 0x5D, period & 0xFF);
    c64->writeByte(base + 0x5E, period >> 8);
    c64->writeByte(base + 0x3F, repeats);
  }
  std::vector<uint8_t> volumeWrites() {
    std::vector<uint8_t> values;
    for (const Access& a : drain()) {
      EXPECT_EQ(a.reg, 0x18);
      values.push_back(a.data);
    }
    return values;
  }
};

TEST_F(PlaySidSamples, SamplePlaysNibblesThroughTheVolumeRegister) {
  poke(0x3000, {0x21, 0x43});
  sampleRegs(0xD400, 0x3000, 0x3002, 99, 1);
  EXPECT_TRUE(drain().empty());  // the sample registers themselves reach no SID
  c64->writeByte(0xD41D, 0xFF);
  for (int i = 0; i < 4; ++i) c64->clockSamples(100);
  // Low nibble first, the volume register's top bits kept; after two bytes the
  // single repeat is used up and the channel falls silent.
  EXPECT_EQ(volumeWrites(), (std::vector<uint8_t>{0x11, 0x12, 0x13, 0x14}));
  c64->clockSamples(100);
  EXPECT_TRUE(drain().empty());
  EXPECT_FALSE(samples().channels[0].running);
}

TEST_F(PlaySidSamples, HighNibbleFirstAndShiftedSamples) {
  poke(0x3000, {0x84});
  sampleRegs(0xD400, 0x3000, 0x3001, 9, 0xFF);
  c64->writeByte(0xD47D, 0x01);
  c64->writeByte(0xD47E, 0x00);  // repeat from the start
  c64->writeByte(0xD47F, 0x30);
  c64->writeByte(0xD41D, 0xFE);  // 4-bit values halved
  for (int i = 0; i < 4; ++i) c64->clockSamples(10);
  // Halved nibbles 4, 2, 4, 2, each lifted by the volume (15 > 8: no lift).
  EXPECT_EQ(volumeWrites(), (std::vector<uint8_t>{0x14, 0x12, 0x14, 0x12}));
  EXPECT_TRUE(samples().channels[0].running);
  c64->writeByte(0xD41D, 0xFD);
  EXPECT_EQ(volumeWrites(), (std::vector<uint8_t>{0x1F}));
}

TEST_F(PlaySidSamples, SampleWithEndBeforeStartDoesNotStart) {
  sampleRegs(0xD400, 0x3001, 0x3000, 10, 1);
  c64->writeByte(0xD41D, 0xFF);
  EXPECT_FALSE(samples().channels[0].running);
}

TEST_F(PlaySidSamples, GalwayNoiseStepsTheVolumeAtEachPeriod) {
  poke(0x3000, {0x02, 0x01});
  // tone table $3000, tone length 1, volume step 3, period factor 1, offset 4
  sampleRegs(0xD400, 0x3000, 0x0301, 4, 1);
  c64->writeByte(0xD41D, 0x02);  // two tones
  ASSERT_TRUE(samples().galway.running);
  // Fires at once; the second tone's period is 1 x 2 + 4 = 6 cycles, the last
  // one's 2 x 2 + 4 = 8, each tone lasting two periods; then the volume returns.
  for (int i = 0; i < 4; ++i) c64->clockSamples(7);
  EXPECT_EQ(volumeWrites(), (std::vector<uint8_t>{0x12, 0x15, 0x18, 0x1F}));
  EXPECT_FALSE(samples().galway.running);
}

TEST_F(PlaySidSamples, NmiRoutinesDoNotReachTheSid) {
  c64->nmiInService = true;
  c64->writeByte(0xD418, 0x03);
  EXPECT_TRUE(drain().empty());
  EXPECT_EQ(c64->lastVolume, 0x03);
}

}  // namespace
