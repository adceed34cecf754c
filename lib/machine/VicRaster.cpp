#include "VicRaster.h"

#include <bit>

#include "BusTiming.h"

namespace {

// The cycles a processor still runs after the VIC asked for the bus on a bad
// line: up to three write cycles it may finish. d is the distance from the
// instruction's first write to its end, p the cycle in the line of that write.
int32_t badLineTakeover(uint8_t opcode, int32_t d, int32_t p) {
  if (d == 2) return p == 11 ? 3 : p == 10 ? 1 : p == 9 ? 2 : 3;
  if (opcode == 0x00) return p == 10 ? 0 : p == 9 ? 1 : p == 8 ? 2 : 3;
  if (opcode == 0x20) return p == 10 ? 3 : p == 9 ? 1 : p == 8 ? 2 : 3;
  return p == 9 ? 2 : 3;
}

}  // namespace

void TVicRaster::reset() {
  badLinesEnabled = badLineTaken = false;
  sprites = {};
  lowestSprite = 0;
  cycleInLine = 0;
  rasterLine = 55;
  rearm();
}

bool TVicRaster::newLine() {
  badLineTaken = false;
  if (rasterLine == 48) badLinesEnabled = regs_[0x11] & 0x10;
  const uint8_t enabled = regs_[0x15];
  if (enabled) {
    const uint8_t expanded = regs_[0x17];
    for (int i = 0; i < 8; ++i) {
      sprites[i].charged = false;
      if (!(enabled & (1 << i))) continue;
      const int32_t y = regs_[0x01 + 2 * i];
      if (y + 1 == (rasterLine & 0xFF)) {
        sprites[i].first = y;
        sprites[i].last = y + ((expanded & (1 << i)) ? 42 : 21);
      }
    }
  }
  return rasterLine == rasterCompare;
}

uint8_t TVicRaster::readRaster(uint8_t reg, int32_t cycles) const {
  int32_t line = rasterLine;
  if (cycleInLine + cycles >= cyclesPerLine) line = (line + 1) % linesPerFrame;
  if (reg == 0x12) return static_cast<uint8_t>(line);
  return static_cast<uint8_t>((regs_[0x11] & 0x7F) | ((line & 0x100) >> 1));
}

bool TVicRaster::writeRaster(uint8_t reg, uint8_t value) {
  const uint16_t compare = reg == 0x11 ? static_cast<uint16_t>((rasterCompare & 0xFF) | (value & 0x80) << 1)
                                       : static_cast<uint16_t>((rasterCompare & 0x100) | value);
  if (reg == 0x11) {
    regs_[0x11] = static_cast<uint8_t>((value & 0x7F) | ((rasterLine & 0x100) >> 1));
    if ((value & 0x10) && rasterLine == 48) badLinesEnabled = true;
    rearm();
  } else {
    regs_[0x12] = value;
  }
  if (compare == rasterCompare) return false;
  rasterCompare = compare;
  int32_t line = rasterLine;
  // An instruction that starts at the very end of a line compares with the next.
  if (cyclesPerLine - cycleInLine <= 4) line = (line + 1) % linesPerFrame;
  return line == rasterCompare;
}

void TVicRaster::writeSpriteEnable(uint8_t value) {
  lowestSprite = value ? std::countr_zero(value) : 0;
  regs_[0x15] = value;
  rearm();
}

uint32_t TVicRaster::stealCycles(int32_t c, uint8_t opcode, int32_t cycles) {
  uint32_t stolen = 0;
  bool badLineCharged = false;
  const int32_t w = firstWritePosition[opcode];
  if (badLinesEnabled && c >= 12 && !badLineTaken && rasterLine >= 48 && rasterLine <= 247 &&
      (rasterLine & 7) == (regs_[0x11] & 7)) {
    const int32_t k = w == 0 ? 3 : badLineTakeover(opcode, cycles - w, c - (cycles - w));
    stolen = static_cast<uint32_t>(40 + k);
    badLineTaken = true;
    badLineCharged = true;
    rearm();
  }
  const uint8_t enabled = regs_[0x15];
  if (!enabled) return stolen;

  const int32_t q = lowestSprite;
  const int32_t e = cyclesPerLine - 6 + 2 * q;  // where the first sprite fetch begins
  int32_t x = c + static_cast<int32_t>(stolen);
  if (q > 2) x = x < 10 ? x + cyclesPerLine : x % cyclesPerLine;
  if (e - 3 >= 0 && x < e - 3) return stolen;

  std::array<bool, 8> chargedNow{};
  bool any = false;
  const int32_t line = rasterLine & 0xFF;
  for (int i = 0; i < 8; ++i) {
    if (!(enabled & (1 << i)) || sprites[i].charged || sprites[i].first < 0) continue;
    int32_t first = sprites[i].first, last = sprites[i].last;
    if (rasterLine >= 256 && last >= rasterLine) {
      first -= 256;
      last -= 256;
    }
    if (line < first || line > last) continue;
    stolen += 2;
    sprites[i].charged = true;
    chargedNow[i] = true;
    any = true;
  }
  // A gap of one sprite between two fetching ones is not worth releasing the bus.
  for (int i = 1; i < 7; ++i)
    if (!chargedNow[i] && chargedNow[i - 1] && chargedNow[i + 1]) stolen += 2;
  if (!any) return stolen;
  if (w == 0) return stolen + 3;
  const int32_t s = badLineCharged ? x - 57 : 0;
  const int32_t l = cycles - w - s;
  const int32_t t = e - (x - l);
  int32_t k;
  if (l == 2)
    k = t == 2 ? 3 : t == 3 ? 1 : t == 4 ? 2 : 3;
  else if (opcode == 0x00)
    k = t == 3 ? 0 : t == 4 ? 1 : t == 5 ? 2 : 3;
  else if (opcode == 0x20)
    k = t == 3 ? 3 : t == 4 ? 1 : t == 5 ? 2 : 3;
  else
    k = t == 4 ? 2 : 3;
  return stolen + static_cast<uint32_t>(k);
}
