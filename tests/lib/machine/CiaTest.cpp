// One 6526 on its own: timers, their control bits, the time-of-day clock.
#include <gtest/gtest.h>

#include <array>

#include "Cia.h"

namespace {

struct Chip {
  std::array<uint8_t, 16> registers{};
  TCia cia{registers.data()};
};

TEST(Cia, ContinuousTimerReloadsKeepingTheOvershootAndFlagsEachUnderflow) {
  Chip c;
  c.cia.write(TCia::timerALow, 99, 0, false);
  c.cia.write(TCia::timerAHigh, 0, 0, false);  // a stopped timer loads at once
  EXPECT_EQ(c.cia.timerACounter, 99);
  c.cia.writeMask(0x81);
  c.cia.write(TCia::controlA, 0x01, 3, false);  // STA abs: writes at cycle 3, counts from two later
  EXPECT_EQ(c.cia.timerACounter, 99 + 3 + 2);
  EXPECT_FALSE(c.cia.count(104));
  ASSERT_TRUE(c.cia.count(7));  // 6 cycles past zero: it ran out 6 cycles ago
  EXPECT_EQ(c.cia.underflow(), 6);
  EXPECT_EQ(c.registers[TCia::interruptControl], 0x01);
  EXPECT_EQ(c.cia.timerACounter, 99 - 6);  // the next period already began
  int64_t next = 1000;
  c.cia.earliestUnderflow(0, next);
  EXPECT_EQ(next, 94);
  c.cia.earliestUnderflow(10, next);
  EXPECT_EQ(next, 84);
}

TEST(Cia, OneShotTimerStopsAtItsLatchAndTimerBCanCountTimerA) {
  Chip c;
  c.cia.timerBLatch = 100;
  c.cia.timerBCounter = 100;
  c.cia.timerBStopped = false;
  c.registers[TCia::controlB] = 0x09;  // running, one-shot
  ASSERT_TRUE(c.cia.count(101));
  EXPECT_EQ(c.cia.underflow(), -1);  // its interrupt is not enabled
  EXPECT_TRUE(c.cia.timerBStopped);
  EXPECT_EQ(c.cia.timerBCounter, 100);
  EXPECT_EQ(c.registers[TCia::interruptControl] & 0x02, 0x02);
  EXPECT_FALSE(c.cia.count(500));

  // Input mode %10: B counts A's underflows, not clocks.
  Chip d;
  d.cia.writeMask(0x82);
  d.cia.write(TCia::timerALow, 9, 0, false);
  d.cia.write(TCia::timerAHigh, 0, 0, false);
  d.cia.write(TCia::timerBLow, 1, 0, false);
  d.cia.write(TCia::timerBHigh, 0, 0, false);
  d.cia.write(TCia::controlA, 0x01, 0, false);
  d.cia.write(TCia::controlB, 0x41, 0, false);
  EXPECT_EQ(d.cia.timerBCounter, 1);
  int raised = 0;
  for (int i = 0; i < 6; ++i) {  // A runs out five times (first after 11 cycles)
    d.cia.count(10);
    raised += d.cia.underflow() >= 0;
  }
  EXPECT_EQ(raised, 2);  // B (latch 1) runs out on every second one
}

TEST(Cia, LockedChipKeepsTimerAButTakesTheRegisterBytes) {
  Chip c;
  c.cia.write(TCia::timerAHigh, 0x40, 0, true);
  c.cia.write(TCia::controlA, 0x01, 0, true);
  c.cia.write(TCia::controlB, 0x01, 0, true);
  EXPECT_EQ(c.cia.timerALatch, 0xFFFF);
  EXPECT_TRUE(c.cia.timerAStopped);
  EXPECT_TRUE(c.cia.timerBStopped);
  EXPECT_EQ(c.registers[TCia::timerAHigh], 0x40);
  EXPECT_EQ(c.registers[TCia::controlA], 0x01);
  c.cia.write(TCia::timerBHigh, 0x12, 0, true);  // timer B is the tune's
  EXPECT_EQ(c.cia.timerBLatch, 0x12FF);
}

TEST(Cia, ControlReadShowsAOneShotThatRanOutWithinTheRead) {
  Chip c;
  c.cia.write(TCia::timerALow, 5, 0, false);
  c.cia.write(TCia::timerAHigh, 0, 0, false);
  c.cia.write(TCia::controlA, 0x19, 0, false);  // start, force load, one-shot
  EXPECT_EQ(c.cia.readControl(true, 0), 0x09);  // the strobe reads 0
  EXPECT_EQ(c.cia.readControl(true, 100), 0x08);
  EXPECT_TRUE(c.cia.timerAStopped);
}

TEST(Cia, SerialFlagAsksForAnInterruptOnlyWhenMasked) {
  Chip c;
  EXPECT_FALSE(c.cia.write(TCia::serialData, 0x55, 0, false));
  EXPECT_EQ(c.registers[TCia::interruptControl], 0x08);
  c.cia.writeMask(0x88);
  EXPECT_TRUE(c.cia.write(TCia::serialData, 0x55, 0, false));
  c.cia.writeMask(0x08);
  EXPECT_FALSE(c.cia.write(TCia::serialData, 0x55, 0, false));
}

TEST(Cia, TimeOfDayCountsAndReadingHoldsAndReleasesIt) {
  Chip c;
  c.registers[TCia::controlA] = 0x00;  // 60 Hz
  c.cia.todHalted = false;
  c.cia.todSeconds = 0x59;
  for (int i = 0; i < 9; ++i) c.cia.tickTimeOfDay(102272);
  c.cia.tickTimeOfDay(1);
  EXPECT_EQ(c.cia.todTenths, 9);
  c.cia.tickTimeOfDay(102272);
  EXPECT_EQ(c.cia.todTenths, 0);
  EXPECT_EQ(c.cia.todSeconds, 0x00);
  EXPECT_EQ(c.cia.todMinutes, 0x01);
  c.cia.todHours = 0x11;
  c.cia.todMinutes = 0x59;
  c.cia.todSeconds = 0x59;
  c.cia.todTenths = 9;
  c.cia.tickTimeOfDay(102272);
  EXPECT_EQ(c.cia.todHours, 0x92);  // 12 PM

  EXPECT_EQ(c.cia.readTimeOfDay(TCia::todHoursRegister), 0x92);
  c.cia.tickTimeOfDay(3 * 102272);
  EXPECT_EQ(c.cia.todTenths, 0);  // held since the hours were read
  EXPECT_EQ(c.cia.readTimeOfDay(TCia::todTenthsRegister), 0);
  c.cia.tickTimeOfDay(102272 + 1);
  EXPECT_EQ(c.cia.todTenths, 1);
}

}  // namespace
