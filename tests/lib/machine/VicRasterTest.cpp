// The VIC raster on its own: lines, the compare line, bad lines and sprite DMA.
#include <gtest/gtest.h>

#include <array>

#include "VicRaster.h"

namespace {

struct Vic {
  std::array<uint8_t, 64> registers{};
  TVicRaster vic{registers.data()};
};

TEST(VicRaster, CompareLineIsMetOncePerFrameWhateverTheStepSize) {
  for (const uint32_t step : {1u, 4u, 63u, 200u, 5000u}) {
    Vic v;
    v.vic.reset();
    v.vic.rasterCompare = 0;
    int met = 0;
    uint32_t run = 0;
    for (; run + step <= 3 * 312 * 63; run += step) met += v.vic.advance(step);
    EXPECT_EQ(met, static_cast<int>((55 + run / 63) / 312)) << step;
    EXPECT_EQ(v.vic.rasterLine, (55 + run / 63) % 312) << step;
    EXPECT_EQ(v.vic.cycleInLine, static_cast<int32_t>(run % 63)) << step;
  }
}

TEST(VicRaster, BadLinesAreDecidedAtLine48AndStealFortyThreeCycles) {
  Vic v;
  v.registers[0x11] = 0x1B;
  v.vic.reset();
  v.vic.rasterLine = 47;
  v.vic.rearm();  // a field set directly
  v.vic.advance(63);  // line 48 with the screen on
  EXPECT_TRUE(v.vic.badLinesEnabled);
  v.vic.rasterLine = 51;  // (51 & 7) == 3
  EXPECT_TRUE(v.vic.maySteal());
  EXPECT_EQ(v.vic.stealCycles(20, 0xAD, 4), 43u);  // LDA abs: no write
  EXPECT_EQ(v.vic.stealCycles(24, 0xAD, 4), 0u);   // one bad line per raster line
  v.vic.badLineTaken = false;
  EXPECT_EQ(v.vic.stealCycles(11, 0xAD, 4), 0u);  // the VIC takes the bus from cycle 12

  Vic off;  // the screen off at line 48: no bad lines for the frame
  off.registers[0x11] = 0x0B;
  off.vic.reset();
  off.vic.rasterLine = 47;
  off.vic.advance(63 * 5);
  EXPECT_FALSE(off.vic.badLinesEnabled);
  EXPECT_FALSE(off.vic.maySteal());
}

// The run loop trusts the armed flag instead of asking maySteal() per instruction.
TEST(VicRaster, ArmedFlagFollowsEveryChangeTheStealDependsOn) {
  Vic v;
  v.registers[0x11] = 0x18;  // screen on, scroll 0
  v.vic.reset();
  auto check = [&](const char* after) { EXPECT_EQ(v.vic.stealArmed, v.vic.maySteal()) << after; };
  v.vic.rasterLine = 47;
  v.vic.rearm();  // a field set directly
  v.vic.advance(63);  // line 48: bad lines on, and 48 is one
  check("line 48");
  EXPECT_TRUE(v.vic.stealArmed);
  v.vic.stealCycles(20, 0xAD, 4);
  check("the bad line taken");
  EXPECT_FALSE(v.vic.stealArmed);
  v.vic.advance(63 * 3);
  check("three lines on");
  v.vic.writeRaster(0x11, static_cast<uint8_t>(0x18 | (v.vic.rasterLine & 7)));  // scroll onto this line
  check("scroll written");
  EXPECT_TRUE(v.vic.stealArmed);
  v.vic.writeSpriteEnable(0x80);
  v.vic.stealCycles(20, 0xAD, 4);
  check("sprites on");
  EXPECT_TRUE(v.vic.stealArmed);
  v.vic.writeSpriteEnable(0);
  check("sprites off");
  v.vic.advance(63 * 400);  // many lines at once
  check("a frame on");
  v.vic.setPal(false);
  check("NTSC");
}

TEST(VicRaster, QuietLinesEndWhereTheStealCouldChange) {
  // Against a walk of the lines: the first line that is line 48 or, with bad
  // lines on, a candidate of the scroll bits; every line with sprites on.
  for (const bool pal : {true, false}) {
    Vic f;
    f.vic.setPal(pal);
    for (const bool enabled : {false, true})
      for (uint8_t scroll = 0; scroll < 8; ++scroll)
        for (int32_t line = 0; line < f.vic.linesPerFrame; ++line) {
          f.registers[0x11] = static_cast<uint8_t>(0x10 | scroll);
          f.vic.badLinesEnabled = enabled;
          f.vic.rasterLine = line;
          f.vic.rearm();
          int32_t walked = 1, at = (line + 1) % f.vic.linesPerFrame;
          while (at != 48 && !(enabled && f.vic.badLineCandidate(at))) {
            ++walked;
            at = (at + 1) % f.vic.linesPerFrame;
          }
          ASSERT_EQ(f.vic.quietLines, walked) << "line " << line << " scroll " << int{scroll} << " on " << enabled;
        }
    f.vic.writeSpriteEnable(0x01);
    EXPECT_EQ(f.vic.quietLines, 1);
  }
}

TEST(VicRaster, LinesCrossedOneByOneLeaveWhatARearmFinds) {
  // A line before the watched one is counted off; the part must then agree
  // with a fresh look at the line.
  for (const bool pal : {true, false})
    for (const uint8_t control : {0x00, 0x10, 0x13, 0x17}) {
      Vic f;
      f.vic.setPal(pal);
      f.registers[0x11] = control;
      f.vic.reset();
      for (int32_t i = 0; i < 2 * f.vic.linesPerFrame; ++i) {
        f.vic.advance(static_cast<uint32_t>(f.vic.cyclesPerLine));
        const int32_t counted = f.vic.quietLines;
        const bool armed = f.vic.stealArmed;
        f.vic.rearm();
        ASSERT_EQ(counted, f.vic.quietLines) << "line " << f.vic.rasterLine << " control " << int{control};
        ASSERT_EQ(armed, f.vic.stealArmed) << "line " << f.vic.rasterLine << " control " << int{control};
      }
    }
}

TEST(VicRaster, RasterReadsAndCompareWritesLookAtTheNextLineNearItsEnd) {
  Vic v;
  v.vic.reset();
  v.vic.rasterLine = 255;
  v.vic.cycleInLine = 60;
  EXPECT_EQ(v.vic.readRaster(0x12, 2), 255);
  EXPECT_EQ(v.vic.readRaster(0x12, 4), 0);        // 256 from the instruction's end on
  EXPECT_EQ(v.vic.readRaster(0x11, 4) & 0x80, 0x80);  // bit 8 of the line
  EXPECT_FALSE(v.vic.writeRaster(0x12, 0x00));  // the compare line stays 0
  EXPECT_TRUE(v.vic.writeRaster(0x11, 0x80));   // 256: the line the instruction ends on
  EXPECT_EQ(v.vic.rasterCompare, 0x100);
  EXPECT_FALSE(v.vic.writeRaster(0x12, 0x01));
}

TEST(VicRaster, SpriteFetchesStealAtTheLineEndOnTheirLines) {
  Vic v;
  v.vic.reset();
  v.registers[0x01] = 99;  // sprite 0 from line 100 on
  v.vic.writeSpriteEnable(0x01);
  v.vic.rasterLine = 99;
  v.vic.advance(63);
  ASSERT_EQ(v.vic.rasterLine, 100);
  EXPECT_EQ(v.vic.stealCycles(30, 0xAD, 4), 0u);  // far from the fetch
  EXPECT_EQ(v.vic.stealCycles(60, 0xAD, 4), 2u + 3u);  // two fetch cycles and the takeover
  EXPECT_EQ(v.vic.stealCycles(60, 0xAD, 4), 0u);  // charged once a line
}

}  // namespace
