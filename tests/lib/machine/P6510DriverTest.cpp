// The tune driver and the timers behind it: play-call cadence, start-up state,
// fixed start-up, the song clock, CIA timers, raster interrupts, bad lines and
// the time-of-day clock.
#include <algorithm>

#include "MachineFixture.h"

namespace {

class Driver : public MachineTest {
 protected:
  Driver() {
    c64->resetIoDefaults();
    c64->tuneLoadAddress = 0x1000;
    c64->tuneLoadEnd = 0x1100;
  }

  // A PSID whose init sets the volume and whose play routine writes one register.
  void placePsid() {
    poke(0x1000, {0xA9, 0x0F, 0x8D, 0x18, 0xD4, 0x60,  // init: LDA #$0F, STA $D418, RTS
                  0x8D, 0x01, 0xD4, 0x60});           // play: STA $D401, RTS
  }
  void start(uint32_t speed, int song = 1, bool realC64 = false, uint16_t init = 0x1000, uint16_t play = 0x1006) {
    TTuneStart s;
    s.realC64 = realC64;
    s.playSid = conventions().playSid;
    s.initAddress = init;
    s.playAddress = play;
    s.speed = speed;
    s.pal = true;
    c64->startTune(s, song);
    sid.setClockRunning(true);
  }
  // Runs slices until n writes to register reg were seen; returns their delays
  // measured as the cycles between consecutive writes to reg.
  std::vector<uint64_t> writeIntervals(uint8_t reg, int n) {
    std::vector<uint64_t> intervals;
    uint64_t clock = 0, last = 0;
    bool seen = false;
    for (int slice = 0; slice < 200000 && static_cast<int>(intervals.size()) < n; ++slice) {
      c64->runSlice();
      for (const Access& a : drain()) {
        if (a.reg >= 0x80) continue;  // reads and markers: not part of the write timeline
        clock += a.delay;
        if (a.reg != reg) continue;
        if (seen) intervals.push_back(clock - last);
        last = clock;
        seen = true;
      }
    }
    return intervals;
  }
};

TEST_F(Driver, VerticalBlankTuneIsCalledOncePerPalFrame) {
  placePsid();
  start(0);
  for (uint64_t interval : writeIntervals(0x01, 10)) EXPECT_EQ(interval, 19656u);
  EXPECT_EQ(c64->A, 0);  // play calls enter with A = X = Y = 0
}

TEST_F(Driver, CiaTunePlaysAtTheTimerPeriod) {
  placePsid();
  start(1);
  // Blank the screen: bad lines would shift single play calls by up to 43 cycles.
  c64->ioImage[0x011] = 0x0B;
  vic().badLinesEnabled = false;
  for (uint64_t interval : writeIntervals(0x01, 10)) EXPECT_EQ(interval, 16381u);
}

TEST_F(Driver, SpeedBitOfHighSubTunes) {
  EXPECT_TRUE(T6510::speedBitSet(0x80000000u, 40, false));
  EXPECT_FALSE(T6510::speedBitSet(0x80000000u, 31, false));
  EXPECT_TRUE(T6510::speedBitSet(0x00000080u, 40, true));  // playSID wraps modulo 32
  EXPECT_FALSE(T6510::speedBitSet(0x80000000u, 40, true));
  EXPECT_TRUE(T6510::speedBitSet(1, 0, false));  // song 0 counts as the first
}

TEST_F(Driver, InitDoneComesWhenInitReturns) {
  placePsid();
  start(0);
  const auto queued = drain();
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_EQ(queued[0].reg, 0x18);
  EXPECT_EQ(queued[1].reg, markerInitDone);
  EXPECT_TRUE(c64->initReturned);
  EXPECT_EQ(c64->playRoutine, 0x1006);
}

TEST_F(Driver, RealC64TuneStartsLikeAC64) {
  placePsid();
  start(0xFFFFFFFF, 1, true);
  EXPECT_EQ(c64->SP, 0xF8);  // $FA less the pushed return address
  EXPECT_EQ(c64->ram[0x01FB], 0xA4);
  EXPECT_EQ(c64->ioImage[0x011], 0x9B);
  EXPECT_EQ(c64->ioImage[0x019] & 0x01, 0x01);  // the compare line met since power-on
  EXPECT_EQ(vic().rasterCompare, 311);
  EXPECT_EQ(cia(1).timerALatch, 0x4025);
  EXPECT_EQ(c64->PC, 0x1000);
  const auto queued = drain();
  ASSERT_EQ(queued.size(), 1u);  // before a single instruction ran
  EXPECT_EQ(queued[0].reg, markerInitDone);
}

TEST_F(Driver, RealC64TuneEnablingTheRasterInterruptGetsItAtOnce) {
  // SEI; IRQ vector $0314 -> $2000; LDA #1; STA $D01A; CLI; RTS. At $2000 a
  // SID write marks the handler.
  poke(0x1000, {0x78, 0xA9, 0x00, 0x8D, 0x14, 0x03, 0xA9, 0x20, 0x8D, 0x15, 0x03, 0xA9, 0x01, 0x8D, 0x1A, 0xD0,
                0x58, 0x60});
  poke(0x2000, {0x8D, 0x01, 0xD4, 0x4C, 0x00, 0x20});
  roms->kernal = TRoms::builtinKernal();
  c64->tuneLoadAddress = 0x1000;
  start(0xFFFFFFFF, 1, true, 0x1000, 0);
  c64->runSlice();
  const auto queued = drain();
  EXPECT_TRUE(std::any_of(queued.begin(), queued.end(), [](const Access& a) { return a.reg == 0x01; }))
      << "the interrupt came within the first millisecond";
}

TEST_F(Driver, FixedStartupMakesRunsIdentical) {
  // A CIA tune whose play routine reads timer A low: any start jitter shows.
  poke(0x1000, {0x60, 0x00, 0x00, 0xAD, 0x04, 0xDC, 0x8D, 0x00, 0xD4, 0x60});
  auto streamOf = [&](bool fixed) {
    c64 = std::make_unique<T6510>(sid, *roms);
    c64->resetIoDefaults();
    c64->tuneLoadAddress = 0x1000;
    poke(0x1000, {0x60, 0x00, 0x00, 0xAD, 0x04, 0xDC, 0x8D, 0x00, 0xD4, 0x60});
    if (fixed) c64->enableFixedStartup();
    sid.reset();
    start(1, 1, false, 0x1000, 0x1003);
    std::vector<Access> all;
    for (int i = 0; i < 100; ++i) {
      c64->runSlice();
      for (const Access& a : drain()) all.push_back(a);
    }
    return all;
  };
  const auto first = streamOf(true);
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, streamOf(true));
  bool differs = false;
  for (int i = 0; i < 8 && !differs; ++i) differs = streamOf(false) != first;
  EXPECT_TRUE(differs);
}

TEST_F(Driver, SongClockCountsFromTheEndOfTheStart) {
  placePsid();
  start(0);
  uint64_t cycles = 0;
  while (cycles < 985248) {
    c64->runSlice();
    cycles += clock().executedCycles;
    drain();
  }
  EXPECT_GE(c64->songTime(), 999u);
  EXPECT_LE(c64->songTime(), 1001u);
}

TEST_F(Driver, ContinuousTimerUnderflowsEveryLatchPlusOneCycles) {
  // Realistic setup: a real-C64 tune that programs CIA 1 timer B itself and
  // polls its flag, writing the SID at each underflow.
  poke(0x1000, {0x78,                    // SEI
                0xA9, 0x00, 0x8D, 0x06, 0xDC, 0xA9, 0x10, 0x8D, 0x07, 0xDC,  // latch $1000
                0xA9, 0x11, 0x8D, 0x0F, 0xDC,                                // start, force load
                0xAD, 0x0D, 0xDC, 0x29, 0x02, 0xF0, 0xF9,                    // wait for bit 1
                0x8D, 0x00, 0xD4, 0x4C, 0x10, 0x10});                        // STA $D400, loop
  start(0xFFFFFFFF, 1, true);
  const auto intervals = writeIntervals(0x00, 200);
  ASSERT_EQ(intervals.size(), 200u);
  // Each interval is off by the 9-cycle polling loop and a bad line at most;
  // over 200 intervals the period itself shows.
  uint64_t sum = 0;
  for (uint64_t i : intervals) {
    EXPECT_NEAR(static_cast<double>(i), 4097.0, 9.0 + 43.0);
    sum += i;
  }
  EXPECT_NEAR(static_cast<double>(sum) / 200.0, 4097.0, 0.3);
}

TEST_F(Driver, Cia2TimerDrivesRepeatedNmis) {
  // A digi player's set-up: CIA 2 timer A every 200 cycles, an NMI handler in
  // RAM that writes the volume register and acknowledges $DD0D.
  poke(0x1000, {0x78, 0xA9, 0x35, 0x85, 0x01,                    // SEI, bank out the KERNAL
                0xA9, 0x00, 0x8D, 0xFA, 0xFF, 0xA9, 0x20, 0x8D, 0xFB, 0xFF,  // NMI vector $2000
                0xA9, 0xC7, 0x8D, 0x04, 0xDD, 0xA9, 0x00, 0x8D, 0x05, 0xDD,  // latch 199
                0xA9, 0x81, 0x8D, 0x0D, 0xDD, 0xA9, 0x11, 0x8D, 0x0E, 0xDD,  // enable, start
                0x4C, 0x23, 0x10});                                          // wait forever
  poke(0x2000, {0x8D, 0x18, 0xD4, 0x2C, 0x0D, 0xDD, 0x40});  // STA $D418, BIT $DD0D, RTI
  start(0xFFFFFFFF, 1, true);
  const auto intervals = writeIntervals(0x18, 50);
  ASSERT_GE(intervals.size(), 50u);
  uint64_t sum = 0;
  for (uint64_t i : intervals) sum += i;
  EXPECT_NEAR(static_cast<double>(sum) / static_cast<double>(intervals.size()), 200.0, 2.0);
}

TEST_F(Driver, ButtonPressShowsTheSpaceKeyAndRestartsASilentTune) {
  // Waits for a key in row 7 with the volume still at 0, then writes what it read.
  poke(0x1000, {0x78, 0xA9, 0x7F, 0x8D, 0x00, 0xDC,  // SEI, select row 7
                0xAD, 0x01, 0xDC, 0xC9, 0xFF, 0xF0, 0xF9,  // wait while no key
                0x8D, 0x01, 0xD4, 0x4C, 0x10, 0x10});      // STA $D401, stay
  start(0xFFFFFFFF, 1, true);
  for (int i = 0; i < 20; ++i) c64->runSlice();
  drain();
  c64->pressButtons();
  c64->runSlice();
  // The key read restarted the stream: the write it led to went with the rest.
  EXPECT_EQ(drain(), (std::vector<Access>{{0x18, 0x0F, 32}, {markerRestart, 0, 0}}));
  EXPECT_EQ(c64->PC, 0x1010);
  for (int i = 0; i < 60; ++i) c64->runSlice();
  EXPECT_FALSE(c64->buttons.isHeld());  // released after three PAL frames
  EXPECT_EQ(c64->readByte(0xDC01), 0xFF);
}

TEST_F(Driver, TuneWaitingOnGetinStartsAfterTheButtonPress) {
  roms->kernal = TRoms::builtinKernal();
  poke(0x0314, {0x31, 0xEA});  // IRQ and GETIN vectors as RESTOR sets them
  poke(0x032A, {0x3E, 0xF1});
  poke(0x00C5, {0x40});        // no key held
  poke(0x1000, {0x58, 0x20, 0xE4, 0xFF, 0xF0, 0xFB,  // CLI; wait: JSR GETIN, BEQ wait
                0x8D, 0x01, 0xD4, 0x4C, 0x09, 0x10});  // STA $D401, stay
  start(0xFFFFFFFF, 1, true);
  for (int i = 0; i < 50; ++i) c64->runSlice();
  std::vector<Access> before = drain();
  EXPECT_TRUE(std::none_of(before.begin(), before.end(), [](const Access& a) { return a.reg == 0x01; }));
  c64->pressButtons();
  c64->volumeIsZero = false;  // the tune has sounded: no stream restart
  for (int i = 0; i < 50; ++i) c64->runSlice();
  const std::vector<Access> after = drain();
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.back(), (Access{0x01, 0x20, after.back().delay}));  // the space key
}

TEST_F(Driver, JiffyClockAdvancesSixtyTimesASecond) {
  roms->kernal = TRoms::builtinKernal();
  poke(0x0314, {0x31, 0xEA});
  poke(0x1000, {0x58, 0x4C, 0x01, 0x10});  // CLI, wait forever
  start(0xFFFFFFFF, 1, true);
  c64->ram[0xA2] = 0;
  uint64_t cycles = 0;
  while (cycles < 985248) {
    c64->runSlice();
    cycles += clock().executedCycles;
  }
  EXPECT_NEAR(c64->ram[0xA2] + 256 * c64->ram[0xA1], 60, 1);
}

TEST_F(Driver, TimerBCountsTimerAUnderflowsAndRaisesTheNmi) {
  // The way nibble players chain CIA 2: timer A every 113 cycles, timer B with
  // latch 0 counting its underflows (input mode %10 and %11), each one an NMI.
  bank(0x37);
  for (const uint8_t controlB : {0x51, 0x71}) {
    conventions().realC64 = true;
    c64->PC = 0xC000;
    poke(0xC000, {0x4C, 0x00, 0xC0});
    for (const auto& [reg, value] : std::vector<std::pair<uint16_t, uint8_t>>{
             {0xDD04, 0x70}, {0xDD05, 0}, {0xDD06, 0}, {0xDD07, 0}, {0xDD0E, 0x11}, {0xDD0F, controlB}, {0xDD0D, 0x82}})
      c64->writeByte(reg, value);
    EXPECT_TRUE(cia(2).timerBIrqEnabled);
    c64->clockTimers(150);  // the start delay, then one underflow
    EXPECT_EQ(c64->ioImage[0xD0D] & 0x02, 0x02) << int(controlB);
    EXPECT_TRUE(lines().nmiPending) << int(controlB);
    lines().nmiPending = false;
    c64->readByte(0xDD0D);
  }
}

TEST_F(Driver, ReadingTheInterruptRegisterAcknowledgesAndCancels) {
  conventions().realC64 = true;
  TCia& cia1 = cia(1);
  cia1.timerALatch = 50;
  cia1.timerACounter = 10;
  cia1.timerAStopped = false;
  cia1.timerAIrqEnabled = true;
  c64->ioImage[0xC0D] = 0;
  c64->I = 1;
  c64->clockTimers(20);
  EXPECT_TRUE(lines().ciaIrqPending);
  code(0x1000, {0xAD, 0x0D, 0xDC});
  c64->executeInstruction();
  EXPECT_EQ(c64->A, 0x01);
  EXPECT_FALSE(lines().ciaIrqPending);
  EXPECT_EQ(c64->ioImage[0xC0D], 0x00);
}

TEST_F(Driver, RasterInterruptOncePerFrame) {
  conventions().realC64 = true;
  vic().rasterCompare = 0;
  c64->ioImage[0x01A] = 0x01;
  vic().rasterLine = 100;
  int raised = 0;
  for (int cycles = 0; cycles < 19656; cycles += 4) {
    lines().vicIrqPending = false;
    clock().executedCycles += 4;
    c64->advanceRaster();
    raised += lines().vicIrqPending;
  }
  EXPECT_EQ(raised, 1);
  EXPECT_EQ(c64->ioImage[0x019] & 0x81, 0x81);
}

}  // namespace
