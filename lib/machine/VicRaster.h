// TVicRaster: the part of the VIC-II a tune can feel: the raster line and its
// compare interrupt, bad lines and sprite DMA taking the bus from the
// processor. Nothing is drawn. The registers live in the machine's I/O image
// ($D000-$D03F); the machine turns a reached compare line into an interrupt.
//
//   TVicRaster vic(&ioImage[0]);
//   if (vic.advance(cycles)) ...            // the compare line was reached
//   uint32_t stolen = vic.stealCycles(cycleInLine + cycles, opcode, cycles);
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

class TVicRaster {
 public:
  explicit TVicRaster(uint8_t* registers) : regs_(registers) {}

  int32_t cyclesPerLine = 63, linesPerFrame = 312;
  int32_t cycleInLine = 0, rasterLine = 0;
  uint16_t rasterCompare = 0;
  bool badLinesEnabled = false, badLineTaken = false;
  struct SpriteDma {
    int32_t first = -1, last = -1;
    bool charged = false;
  };
  std::array<SpriteDma, 8> sprites{};
  int32_t lowestSprite = 0;

  void setPal(bool pal) {
    cyclesPerLine = pal ? 63 : 65;
    linesPerFrame = pal ? 312 : 263;
    if (rasterLine >= linesPerFrame) rasterLine %= linesPerFrame;
    rearm();
  }
  // Power-on: no bad lines, no sprite fetches, line 55.
  void reset();

  // Moves the raster on; whether it reached the compare line.
  bool advance(uint32_t cycles) {
    cycleInLine += static_cast<int32_t>(cycles);
    return cycleInLine >= cyclesPerLine && crossLines();
  }
  // The rest of advance once a line is complete; whether the compare line was met.
  inline bool crossLines();
  // Cycles until the raster reaches the compare line (a large number when it
  // never does); cycle: the cycle in the line now (the machine keeps it on its clock).
  int64_t cyclesToCompare(int32_t cycle) const {
    if (rasterCompare >= linesPerFrame) return INT64_MAX;
    int32_t lines = rasterCompare - rasterLine;
    if (lines <= 0) lines += linesPerFrame;
    return int64_t{lines} * cyclesPerLine - cycle;
  }

  // The cycles the VIC takes from an instruction (opcode, `cycles` long) that
  // ends at cycle `end` of the line.
  uint32_t stealCycles(int32_t end, uint8_t opcode, int32_t cycles);
  // Whether stealCycles can find anything to steal on this line.
  bool maySteal() const {
    return regs_[0x15] != 0 || (badLinesEnabled && !badLineTaken && badLineCandidate(rasterLine, regs_[0x11]));
  }
  // maySteal() as of the last change of anything it depends on (the line, its
  // bad line taken, bad lines enabled, the scroll bits, sprite enables): the run
  // loop's test per instruction is then one byte. The part re-arms itself; who
  // sets its fields or those registers directly calls rearm().
  bool stealArmed = false;
  // Whole lines from the start of this one to the start of the first on which
  // the VIC may change what it takes (a bad line candidate once bad lines are
  // on, line 48 where that is decided; with sprites on, every line). The lines
  // between may be crossed late, all at once: nothing happens on them.
  int32_t quietLines = 1;
  void rearm() {
    stealArmed = maySteal();
    quietLines = linesToWatch();
  }
  // Whether a line of the display window matches the scroll register's low bits
  // (a bad line once bad lines are enabled for the frame).
  static bool badLineCandidate(int32_t line, uint8_t control) {
    return static_cast<unsigned>(line - 48) <= 199 && ((line ^ control) & 7) == 0;
  }
  bool badLineCandidate(int32_t line) const { return badLineCandidate(line, regs_[0x11]); }
  int32_t linesToWatch() const {
    if (regs_[0x15] != 0) return 1;
    int32_t lines = 48 - rasterLine;  // to line 48, a whole frame from line 48 itself
    if (lines <= 0) lines += linesPerFrame;
    if (badLinesEnabled) {
      // The first line after this one in the display window whose low bits match the scroll.
      const int32_t from = std::max(rasterLine + 1, 48);
      const int32_t candidate = from + ((regs_[0x11] - from) & 7);
      if (candidate <= 247) lines = std::min(lines, candidate - rasterLine);
    }
    return lines;
  }

  // $D011/$D012 as an instruction `cycles` long reads them at its end.
  uint8_t readRaster(uint8_t reg, int32_t cycles) const;
  // $D011/$D012 written; whether the new compare line is the current one.
  bool writeRaster(uint8_t reg, uint8_t value);
  void writeSpriteEnable(uint8_t value);

 private:
  bool newLine();

  uint8_t* regs_;
};

// Inline: the machine's own line crossing is this and nothing more.
inline bool TVicRaster::crossLines() {
  if (regs_[0x15] != 0) {
    bool compare = false;
    while (cycleInLine >= cyclesPerLine) {
      cycleInLine -= cyclesPerLine;
      if (++rasterLine >= linesPerFrame) rasterLine = 0;
      compare |= newLine();
    }
    rearm();
    return compare;
  }
  // Without sprites a new line only ends the bad line's steal, decides bad
  // lines at line 48 and meets the compare line, none of which depends on the
  // others: an idle stretch of many lines crosses them all at once.
  if (cycleInLine < 2 * cyclesPerLine) {
    cycleInLine -= cyclesPerLine;
    if (++rasterLine >= linesPerFrame) rasterLine = 0;
    badLineTaken = false;
    if (quietLines > 1) {
      // A line before the watched one: no steal to arm, one line less to it.
      --quietLines;
      stealArmed = false;
    } else {
      if (rasterLine == 48) badLinesEnabled = regs_[0x11] & 0x10;
      rearm();
    }
    return rasterLine == rasterCompare;
  }
  const int32_t lines = cycleInLine / cyclesPerLine;
  cycleInLine -= lines * cyclesPerLine;
  auto crossed = [&](int32_t line) {
    int32_t distance = line - rasterLine - 1;  // both lines are in the frame
    if (distance < 0) distance += linesPerFrame;
    return distance < lines;
  };
  const bool line48 = crossed(48), compare = rasterCompare < linesPerFrame && crossed(rasterCompare);
  rasterLine = (rasterLine + lines) % linesPerFrame;
  badLineTaken = false;
  if (line48) badLinesEnabled = regs_[0x11] & 0x10;
  rearm();
  return compare;
}
