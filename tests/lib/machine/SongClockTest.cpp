// The song's playing time on a bare song clock.
#include <gtest/gtest.h>

#include "SongClock.h"

namespace {

TEST(SongClock, MillisecondsHoldAt999UntilTheSecondIsCompleteAndHoursWrapAt100) {
  TSongClock song;
  song.setPal(true);
  for (int slice = 0; slice < 1000; ++slice) song.advance(985);  // 985,000 cycles: just short of a PAL second
  EXPECT_EQ(song.time(), 999u);
  song.advance(985);
  EXPECT_EQ(song.time(), 1000u);
  EXPECT_EQ(song.seconds, 1u);

  // NTSC counts more cycles to the second.
  TSongClock ntsc;
  ntsc.setPal(false);
  ntsc.advance(1'000'000);
  EXPECT_EQ(ntsc.time(), 977u);

  // Whole seconds at a time (one second per call at most) up to 99:59:59, then round.
  song.reset();
  for (uint32_t second = 0; second < 100 * 3600 - 1; ++second) song.advance(985'249);
  EXPECT_EQ(song.hours, 99u);
  EXPECT_EQ(song.minutes, 59u);
  EXPECT_EQ(song.seconds, 59u);
  song.advance(985'249);
  EXPECT_EQ(song.time(), 0u);
}

}  // namespace
