#include "PassLoop.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TStreamEntry Idle() { return {cmdIdle, 0, 0, 0}; }
TStreamEntry Delay(uint32_t d) { return {cmdDelay, d, 0, 0}; }
TStreamEntry Write(uint32_t d, uint8_t r, uint8_t v) { return {cmdWrite, d, r, v}; }
TStreamEntry Read() { return {cmdRead, 9999, 0x1B, 0}; }
TStreamEntry Restart() { return {cmdRestart, 0, 0, 0}; }

// The writes that key voice 1 with a frequency already set: the third starts the music.
const std::vector<TStreamEntry> startOfMusic = {Write(100, 0, 0x20), Write(100, 1, 0x10), Write(100, 4, 0x11)};

struct TFed {
  std::size_t entries = 0;  // entries taken, the one that ended the pass included
  bool ended = false;
};

// A loop at the start of a file, sub-tune and pass.
TPassLoop Fresh(uint32_t budget) {
  TPassLoop loop;
  loop.StartFile();
  loop.StartSubTune();
  loop.StartPass(budget);
  return loop;
}

TFed FeedAll(TPassLoop& loop, TDataHashCalc& calc, const std::vector<TStreamEntry>& stream) {
  TFed fed;
  for (const TStreamEntry& e : stream) {
    ++fed.entries;
    if (!loop.Feed(e, calc)) {
      fed.ended = true;
      break;
    }
  }
  return fed;
}

TEST(PassLoop, BudgetsForMinutesAndClocks) {
  EXPECT_EQ(TPassLoop::Budget(3, true), 177344720u);
  EXPECT_EQ(TPassLoop::Budget(3, false), 184090899u);
  EXPECT_EQ(TPassLoop::Budget(1, true), 59114907u);  // 59114906.67 rounded
  EXPECT_EQ(TPassLoop::Budget(1, false), 61363633u);
  EXPECT_EQ(TPassLoop::Budget(0, true), 0u);
  EXPECT_EQ(TPassLoop::Budget(72, true), 4256273280u);
  EXPECT_EQ(TPassLoop::Budget(73, true), 0xFFFFFFFFu);
  EXPECT_EQ(TPassLoop::Budget(69, false), static_cast<uint32_t>((69LL * 429545430 + 3) / 7));
  EXPECT_EQ(TPassLoop::Budget(70, false), 0xFFFFFFFFu);
  // Negative minutes: the low 32 bits of the rounded negative count.
  EXPECT_EQ(TPassLoop::Budget(-1, true), static_cast<uint32_t>(-59114907LL));
}

TEST(PassLoop, StartWriteRestartsTheClockAndLaterWritesAreStoredWithTheirTime) {
  TPassLoop loop = Fresh(1000000);
  TDataHashCalc calc;
  ASSERT_FALSE(FeedAll(loop, calc, startOfMusic).ended);
  EXPECT_TRUE(loop.started());
  EXPECT_EQ(loop.elapsed(), 0u);
  ASSERT_FALSE(FeedAll(loop, calc, {Write(50, 5, 0x09), Delay(65535), Write(20, 6, 0xF0)}).ended);
  EXPECT_EQ(loop.elapsed(), 50u + 65535u + 20u);
  EXPECT_EQ(calc.writeCount(), 2);
}

TEST(PassLoop, ReadsAddTheLastDelayNotTheirOwn) {
  TPassLoop loop = Fresh(1000000);
  TDataHashCalc calc;
  FeedAll(loop, calc, {Delay(300), Read(), Read()});
  EXPECT_EQ(loop.elapsed(), 900u);
  // The last delay belongs to the file: a new pass keeps it.
  loop.StartPass(1000000);
  FeedAll(loop, calc, {Read()});
  EXPECT_EQ(loop.elapsed(), 300u);
}

TEST(PassLoop, TheEntryThatWouldPassTheBudgetIsNotCounted) {
  TPassLoop loop = Fresh(1000);
  TDataHashCalc calc;
  TFed fed = FeedAll(loop, calc, {Delay(600), Delay(400), Delay(1), Delay(1)});
  EXPECT_TRUE(fed.ended);
  EXPECT_EQ(fed.entries, 3u);
  EXPECT_EQ(loop.elapsed(), 1000u);

  // A read goes past the budget and ends the pass after counting.
  loop.StartPass(1000);
  fed = FeedAll(loop, calc, {Delay(600), Read()});
  EXPECT_TRUE(fed.ended);
  EXPECT_EQ(loop.elapsed(), 1200u);
}

TEST(PassLoop, ZeroMinutesEndsAtTheFirstEmptyRunOrNonZeroDelay) {
  TPassLoop loop = Fresh(TPassLoop::Budget(0, true));
  TDataHashCalc calc;
  EXPECT_EQ(FeedAll(loop, calc, {Write(0, 24, 15), Idle(), Idle()}).entries, 2u);
  loop.StartPass(0);
  EXPECT_EQ(FeedAll(loop, calc, {Write(0, 24, 15), Write(1, 24, 14), Idle()}).entries, 2u);
}

TEST(PassLoop, IdleLimits) {
  TDataHashCalc calc;
  // Before any write: the budget in pseudo-cycles of 1000 per empty run.
  {
    TPassLoop loop = Fresh(50000);
    std::vector<TStreamEntry> idles(100, Idle());
    EXPECT_EQ(FeedAll(loop, calc, idles).entries, 51u);
  }
  // After a write: 70,000,000 pseudo-cycles, the 70,001st empty run.
  {
    TPassLoop loop = Fresh(0xFFFFFFF0u);
    ASSERT_FALSE(FeedAll(loop, calc, {Write(10, 24, 15)}).ended);
    std::size_t calls = 0;
    while (loop.Feed(Idle(), calc)) ++calls;
    EXPECT_EQ(calls + 1, 70001u);
  }
}

TEST(PassLoop, ARestartClearsTheClockAndTheStart) {
  TPassLoop loop = Fresh(1000000);
  TDataHashCalc calc;
  FeedAll(loop, calc, startOfMusic);
  FeedAll(loop, calc, {Write(10, 5, 1), Restart()});
  EXPECT_TRUE(loop.restartSeen());
  EXPECT_FALSE(loop.started());
  EXPECT_EQ(loop.elapsed(), 0u);
  EXPECT_EQ(calc.writeCount(), 0);
}

TEST(PassLoop, AStreamThatAddsNoTimeCannotRunForever) {
  // Reads while the last delay is 0, with empty runs between them, keep
  // resetting the idle count without any time passing.
  TPassLoop loop = Fresh(TPassLoop::Budget(3, true));
  TDataHashCalc calc;
  ASSERT_FALSE(FeedAll(loop, calc, {Write(0, 24, 15)}).ended);
  uint64_t calls = 0;
  while (loop.Feed(calls % 2 ? Idle() : Read(), calc) && calls < 10000000) ++calls;
  EXPECT_LT(calls, 10000000u);
  EXPECT_EQ(calls + 2, TPassLoop::noTimeLimit);  // the write, the calls that went on, the last
}

TEST(PassLoop, WithoutATimeLimitASilentPassStillEnds) {
  TPassLoop loop = Fresh(TPassLoop::Budget(100, true));
  TDataHashCalc calc;
  uint64_t calls = 0;
  while (loop.Feed(Idle(), calc) && calls < 10000000) ++calls;
  EXPECT_EQ(calls + 1, TPassLoop::noTimeLimit);
}

}  // namespace
