// The time base of the machine: the two CIA 6526s (timers, interrupt control,
// time-of-day clocks, ports), the VIC-II raster with its interrupt and the cycles
// it steals, and the dispatch that turns pending sources into taken interrupts.
//
// Nothing is clocked per cycle. The processor reports whole instructions; the
// raster advances at once, the timers catch up lazily at the next event or when
// a CIA register is touched.
#include <algorithm>
#include <array>
#include <bit>

#include "P6510.h"

namespace {

// Cycles before an instruction's first write cycle (0: it does not write). The
// CIA control-register timing and the VIC's bus takeover depend on it.
constexpr std::array<uint8_t, 256> firstWritePosition = [] {
  std::array<uint8_t, 256> t{};
  for (uint8_t op : {0x00, 0x08, 0x48, 0x84, 0x85, 0x86, 0x87}) t[op] = 2;
  for (uint8_t op : {0x06, 0x07, 0x20, 0x26, 0x27, 0x46, 0x47, 0x66, 0x67, 0x8C, 0x8D, 0x8E, 0x8F, 0x94, 0x95,
                     0x96, 0x97, 0xC6, 0xC7, 0xE6, 0xE7})
    t[op] = 3;
  for (uint8_t op : {0x0E, 0x0F, 0x16, 0x17, 0x2E, 0x2F, 0x36, 0x37, 0x4E, 0x4F, 0x56, 0x57, 0x6E, 0x6F, 0x76,
                     0x77, 0x99, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F, 0xCE, 0xCF, 0xD6, 0xD7, 0xEE, 0xEF, 0xF6, 0xF7})
    t[op] = 4;
  for (uint8_t op : {0x1B, 0x1E, 0x1F, 0x3B, 0x3E, 0x3F, 0x5B, 0x5E, 0x5F, 0x7B, 0x7E, 0x7F, 0x81, 0x83, 0x91,
                     0x93, 0xDB, 0xDE, 0xDF, 0xFB, 0xFE, 0xFF})
    t[op] = 5;
  for (uint8_t op : {0x03, 0x13, 0x23, 0x33, 0x43, 0x53, 0x63, 0x73, 0xC3, 0xD3, 0xE3, 0xF3}) t[op] = 6;
  return t;
}();

// The cycle at which an instruction reads a CIA register.
constexpr std::array<uint8_t, 256> readPosition = [] {
  std::array<uint8_t, 256> t{};
  for (uint8_t op : {0x09, 0x0A, 0x0B}) t[op] = 1;
  t[0x05] = 2;
  for (uint8_t op : {0x06, 0x07, 0x0D, 0x15, 0x19, 0x1C, 0x1D, 0x2E, 0xAD, 0xBC, 0xBD, 0xBE, 0xEE}) t[op] = 3;
  for (uint8_t op : {0x0E, 0x0F, 0x11, 0x16, 0x17, 0x3E, 0xB1, 0xFE}) t[op] = 4;
  for (uint8_t op : {0x01, 0x1B, 0x1E, 0x1F, 0x21}) t[op] = 5;
  for (uint8_t op : {0x03, 0x13, 0x23}) t[op] = 6;
  return t;
}();

constexpr uint8_t icr = 0x0D, controlA = 0x0E, controlB = 0x0F;

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

// ---- timers --------------------------------------------------------------------

void T6510::syncTimers(uint32_t position) {
  const int64_t target = int64_t{executedCycles} + position;
  if (target <= timersAt) return;
  const int64_t n = target - timersAt;
  timersAt = target;
  clockTimers(static_cast<uint32_t>(n));
}

void T6510::ciaTimerUnderflows(TCia& cia, bool nmi) {
  const int32_t age = cia.underflow();
  if (age < 0) return;
  // The chip's interrupt line goes low, unless it already is.
  const int32_t position = instructionCycles ? age % static_cast<int32_t>(instructionCycles) : 0;
  const uint8_t data = cia.reg(icr);
  if (nmi) {
    if (nmiPending || (data & 0x80)) return;
    nmiPending = true;
    nmiSourcePosition = position;
  } else {
    if (ciaIrqPending || (conventions.realC64 && (data & 0x80))) return;
    ciaIrqPending = true;
    irqSourcePosition = position;
  }
  eventNow();
}

void T6510::clockTimers(uint32_t cycles) {
  const int32_t n = static_cast<int32_t>(std::min<uint32_t>(cycles, 0x7FFFFFFF));
  for (int i = 0; i < 2; ++i)
    if (cias[i].count(n)) ciaTimerUnderflows(cias[i], i == 1);
}

// ---- CIA registers -------------------------------------------------------------

uint8_t T6510::ciaRead(uint16_t foldedAddress) {
  if ((foldedAddress & 0xFE00) == 0xDC00) return readCiaRegister((foldedAddress >> 8) & 1, foldedAddress & 0x0F, false);
  return ioByte(foldedAddress);
}

void T6510::ciaDummyRead(uint16_t foldedAddress) {
  readCiaRegister((foldedAddress >> 8) & 1, foldedAddress & 0x0F, true);
}

uint8_t T6510::readCiaRegister(int chip, uint8_t reg, bool dummy) {
  if (reg != icr) ++sideEffects;
  TCia& cia = cias[chip];
  const bool isCia1 = chip == 0;
  // A discarded read only matters where reading has a side effect.
  if (dummy && reg != icr && reg != TCia::todTenthsRegister && reg != TCia::todHoursRegister) return 0;
  const int32_t unclocked = static_cast<int32_t>(pendingTimerCycles());
  switch (reg) {
    case TCia::portA: {
      const uint8_t direction = cia.reg(TCia::directionA), port = cia.reg(TCia::portA);
      if (!isCia1) return static_cast<uint8_t>(((~direction | port) & 0x3F) | ((port & 0xC0) ^ 0xC0));
      uint8_t value = static_cast<uint8_t>(~direction | port);
      if (buttonsPressed && conventions.buttonsOnPorts()) {
        keyRead = true;
        value &= 0xEF;  // joystick 2 fire
      }
      return value;
    }
    case TCia::portB: {
      if (isCia1 && buttonsPressed && conventions.buttonsOnPorts()) {
        keyRead = true;
        return (cia.reg(TCia::portA) & 0x80) ? 0xFF : 0xEF;  // the space key sits in row 7
      }
      return static_cast<uint8_t>(~cia.reg(TCia::directionB) | cia.reg(TCia::portB));
    }
    case TCia::timerALow:
      // CIA 1's timer A is read at the instruction's own read cycle; the rest as
      // at its last cycle.
      if (isCia1)
        return static_cast<uint8_t>(cia.counterSeen(true, unclocked + readPosition[currentOpcode] + pageCrossed));
      return static_cast<uint8_t>(cia.counterSeen(true, unclocked + static_cast<int32_t>(instructionCycles) - 1));
    case TCia::timerBLow:
      return static_cast<uint8_t>(cia.counterSeen(false, unclocked + static_cast<int32_t>(instructionCycles) - 1));
    case TCia::timerAHigh:
    case TCia::timerBHigh:
      return static_cast<uint8_t>(cia.counterSeen(reg == TCia::timerAHigh, unclocked) >> 8);
    case TCia::todTenthsRegister:
    case TCia::todSecondsRegister:
    case TCia::todMinutesRegister:
    case TCia::todHoursRegister:
      return cia.readTimeOfDay(reg);
    case icr: {
      syncTimers(readPosition[currentOpcode] + pageCrossed + 1u);
      uint8_t& data = cia.reg(icr);
      const uint8_t value = data;
      // A poll that finds nothing and clears nothing is waiting: the loop
      // around it may be skipped up to the next event (a timer underflow).
      const bool quiet = value == 0 && (isCia1 ? !ciaIrqPending && (vicIrqPending || (!irqCountdownActive && !irqDue))
                                               : !nmiPending && !nmiCountdownActive && !nmiDue);
      if (!quiet) ++sideEffects;
      data = 0;
      if (isCia1) {
        ciaIrqPending = false;
        if (!vicIrqPending) {
          irqCountdownActive = false;
          irqDue = false;
        }
      } else if (!(value & 0x80)) {
        // Reading just before the NMI would fire suppresses it.
        nmiPending = false;
        nmiCountdownActive = false;
        nmiDue = false;
      }
      return value;
    }
    case controlA:
    case controlB:
      if (!conventions.exactControlReads()) return cia.reg(reg);
      return cia.readControl(reg == controlA, unclocked + readPosition[currentOpcode]);
    default:
      return cia.reg(reg);
  }
}

void T6510::ciaWrite(uint16_t foldedAddress, uint8_t value) {
  if ((foldedAddress & 0xFE00) == 0xDC00) {
    writeCiaRegister((foldedAddress >> 8) & 1, foldedAddress & 0x0F, value);
    return;
  }
  ioByte(foldedAddress) = value;
}

void T6510::writeCiaRegister(int chip, uint8_t reg, uint8_t value) {
  const bool isCia1 = chip == 0;
  TCia& cia = cias[chip];
  syncTimers();
  eventNow();
  if (reg == icr) {
    if (isCia1 && conventions.cia1MaskLocked()) return;
    cia.writeMask(value);
    return;  // the mask lives in the chip, the data register in the image
  }
  const bool locked = isCia1 && conventions.cia1TimerLocked();
  if (!cia.write(reg, value, firstWritePosition[currentOpcode], locked)) return;
  // The serial flag with its mask bit set pulls the chip's interrupt line.
  uint8_t& data = cia.reg(icr);
  if (isCia1) {
    data |= 0x80;
    if (!ciaIrqPending) {
      ciaIrqPending = true;
      irqSourcePosition = 0;
    }
  } else if (!nmiPending && !(data & 0x80)) {
    nmiPending = true;
    nmiSourcePosition = 0;
  }
}

// ---- VIC-II --------------------------------------------------------------------

void T6510::rasterCompareReached() {
  uint8_t& latched = ioByte(0xD019);
  latched |= 0x01;
  if (ioByte(0xD01A) & 0x01) {
    latched |= 0x80;
    vicIrqPending = true;
    irqSourcePosition = static_cast<int32_t>(instructionCycles);
  }
  eventNow();
}

void T6510::newRasterLine() {
  badLineTaken = false;
  if (rasterLine == 48) badLinesEnabled = ioByte(0xD011) & 0x10;
  const uint8_t enabled = ioByte(0xD015);
  if (enabled) {
    const uint8_t expanded = ioByte(0xD017);
    for (int i = 0; i < 8; ++i) {
      sprites[i].charged = false;
      if (!(enabled & (1 << i))) continue;
      const int32_t y = ioByte(static_cast<uint16_t>(0xD001 + 2 * i));
      if (y + 1 == (rasterLine & 0xFF)) {
        sprites[i].first = y;
        sprites[i].last = y + ((expanded & (1 << i)) ? 42 : 21);
      }
    }
  }
  if (rasterLine == rasterCompare) rasterCompareReached();
}

void T6510::crossRasterLines() {
  if (ioByte(0xD015) != 0) {
    while (cycleInLine >= cyclesPerLine) {
      cycleInLine -= cyclesPerLine;
      if (++rasterLine >= linesPerFrame) rasterLine = 0;
      newRasterLine();
    }
    return;
  }
  // Without sprites a new line only ends the bad line's steal, decides bad
  // lines at line 48 and meets the compare line, none of which depends on the
  // others: an idle stretch of many lines crosses them all at once.
  if (cycleInLine < 2 * cyclesPerLine) {
    cycleInLine -= cyclesPerLine;
    if (++rasterLine >= linesPerFrame) rasterLine = 0;
    badLineTaken = false;
    if (rasterLine == 48) badLinesEnabled = ioByte(0xD011) & 0x10;
    if (rasterLine == rasterCompare) rasterCompareReached();
    return;
  }
  const int32_t lines = cycleInLine / cyclesPerLine;
  cycleInLine -= lines * cyclesPerLine;
  auto crossed = [&](int32_t line) {
    int32_t distance = (line - rasterLine - 1) % linesPerFrame;
    if (distance < 0) distance += linesPerFrame;
    return distance < lines;
  };
  const bool line48 = crossed(48), compare = rasterCompare < linesPerFrame && crossed(rasterCompare);
  rasterLine = (rasterLine + lines) % linesPerFrame;
  badLineTaken = false;
  if (line48) badLinesEnabled = ioByte(0xD011) & 0x10;
  if (compare) rasterCompareReached();
}

void T6510::checkRasterCompareNow() {
  int32_t line = rasterLine;
  // An instruction that starts at the very end of a line compares with the next.
  if (cyclesPerLine - cycleInLine <= 4) line = (line + 1) % linesPerFrame;
  if (line == rasterCompare) rasterCompareReached();
}

uint8_t T6510::vicRead(uint8_t reg) {
  if (reg == 0x11 || reg == 0x12) {
    int32_t line = rasterLine;
    if (cycleInLine + static_cast<int32_t>(instructionCycles) >= cyclesPerLine) line = (line + 1) % linesPerFrame;
    if (reg == 0x12) return static_cast<uint8_t>(line);
    return static_cast<uint8_t>((ioByte(0xD011) & 0x7F) | ((line & 0x100) >> 1));
  }
  if (reg == 0x19) return ioByte(0xD019) | 0x70;
  if (reg == 0x1A) return ioByte(0xD01A) | 0xF0;
  return ioImage[reg];
}

void T6510::vicWrite(uint8_t reg, uint8_t value) {
  eventNow();
  switch (reg) {
    case 0x11:
    case 0x12: {
      const uint16_t compare = reg == 0x11 ? static_cast<uint16_t>((rasterCompare & 0xFF) | (value & 0x80) << 1)
                                           : static_cast<uint16_t>((rasterCompare & 0x100) | value);
      if (reg == 0x11) {
        ioByte(0xD011) = static_cast<uint8_t>((value & 0x7F) | ((rasterLine & 0x100) >> 1));
        if ((value & 0x10) && rasterLine == 48) badLinesEnabled = true;
      } else {
        ioByte(0xD012) = value;
      }
      if (compare != rasterCompare) {
        rasterCompare = compare;
        checkRasterCompareNow();
      }
      return;
    }
    case 0x15:
      lowestSprite = value ? std::countr_zero(value) : 0;
      break;
    case 0x19: {
      uint8_t& latched = ioByte(0xD019);
      const uint8_t remaining = latched & 0x0F & static_cast<uint8_t>(~value);
      if (remaining & ioByte(0xD01A)) {
        latched = remaining | 0x80;
      } else {
        latched = remaining;
        vicIrqPending = false;
        if (!ciaIrqPending) {
          irqCountdownActive = false;
          irqDue = false;
        }
      }
      return;
    }
    case 0x1A: {
      if (conventions.playerOwnsVicMask(!(cias[0].timerAStopped && cias[1].timerAStopped))) return;
      uint8_t& latched = ioByte(0xD019);
      ioByte(0xD01A) = value & 0x0F;
      if ((value & 0x01) && (latched & 0x01)) {
        latched |= 0x80;
        vicIrqPending = true;
        irqSourcePosition = static_cast<int32_t>(instructionCycles);
      } else {
        latched &= 0x7F;
        vicIrqPending = false;
      }
      return;
    }
    default:
      break;
  }
  ioImage[reg] = value;
}

uint32_t T6510::stealCycles(int32_t c) {
  ++sideEffects;
  uint32_t stolen = 0;
  bool badLineCharged = false;
  const int32_t w = firstWritePosition[currentOpcode];
  const int32_t cycles = static_cast<int32_t>(instructionCycles);
  if (badLinesEnabled && c >= 12 && !badLineTaken && rasterLine >= 48 && rasterLine <= 247 &&
      (rasterLine & 7) == (ioByte(0xD011) & 7)) {
    const int32_t k = w == 0 ? 3 : badLineTakeover(currentOpcode, cycles - w, c - (cycles - w));
    stolen = static_cast<uint32_t>(40 + k);
    badLineTaken = true;
    badLineCharged = true;
  }
  const uint8_t enabled = ioByte(0xD015);
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
  else if (currentOpcode == 0x00)
    k = t == 3 ? 0 : t == 4 ? 1 : t == 5 ? 2 : 3;
  else if (currentOpcode == 0x20)
    k = t == 3 ? 3 : t == 4 ? 1 : t == 5 ? 2 : 3;
  else
    k = t == 4 ? 2 : 3;
  return stolen + static_cast<uint32_t>(k);
}

// ---- interrupts ----------------------------------------------------------------

bool T6510::irqAcceptable() const {
  if (conventions.realC64) return I == 0 || irqAllowedAtStart;
  return isIdle() || (playRoutine == 0 && initReturned);
}

void T6510::rederiveInterrupts() {
  if (ioByte(0xDC0D) & 0x80) ciaIrqPending = true;
  if ((ioByte(0xD019) & 0x80) && (ioByte(0xD01A) & 0x01)) vicIrqPending = true;
  if (irqPending()) eventNow();
}

void T6510::takeInterrupt() {
  if (conventions.irqCallsPlay(playRoutine))
    callPlayRoutine();
  else
    interruptEntry(irqVector);
  ciaIrqPending = false;
  vicIrqPending = false;
  irqCountdownActive = false;
  irqDue = false;
}

void T6510::dispatchInterrupts(uint32_t cycles) {
  ++sideEffects;
  if (cycles) clockTimers(cycles);
  const int32_t n = static_cast<int32_t>(std::min<uint32_t>(cycles, 0x3FFFFFFF));
  const int32_t stolen = static_cast<int32_t>(stolenCycles);

  if (!nmiCountdownActive && nmiPending) {
    nmiCountdown = n - nmiSourcePosition - stolen + 2;
    if (currentOpcode == 0x00 && conventions.realC64 && !isIdle()) {
      // The NMI came while BRK ran: after its third cycle it takes over the
      // BRK's pushes, before that it waits for the handler's first instruction.
      if (static_cast<int32_t>(instructionCycles) - nmiSourcePosition > 3) {
        SP = static_cast<uint8_t>(SP + 3);
        PC = static_cast<uint16_t>(ram[0x0100 | static_cast<uint8_t>(SP - 1)] |
                                   ram[0x0100 | SP] << 8);
        pullStatusFlags(ram[0x0100 | static_cast<uint8_t>(SP - 2)]);
        stackDepth -= 3;
        breakTakenOver = true;
        nmiCountdown = n - stolen;
      } else {
        nmiCountdown = n - stolen + 1;
      }
    }
    nmiCountdownActive = true;
    irqCountdownActive = false;
    irqDue = false;
  } else if (!irqCountdownActive && irqPending() && irqAcceptable()) {
    irqCountdown = n - irqSourcePosition - stolen + 2;
    irqCountdownActive = true;
  }
  if (branchDelay) {
    if (irqCountdownActive) ++irqCountdown;
    if (nmiCountdownActive) ++nmiCountdown;
  }
  if (irqCountdownActive) irqCountdown -= n;
  if (nmiCountdownActive) nmiCountdown -= n;

  if (nmiCountdownActive && nmiCountdown <= 1 && !nmiDue) {
    uint8_t& data = ioByte(0xDD0D);
    if (!(data & 0x80)) {
      data |= 0x80;
      nmiDue = true;
    } else if (!breakTakenOver) {
      // No edge on the NMI line: the interrupt never happens.
      nmiPending = false;
      nmiCountdownActive = false;
    }
  }
  if (irqCountdownActive) {
    if (vicIrqPending) irqDue = true;
    if (ciaIrqPending && irqCountdown <= 1) {
      ioByte(0xDC0D) |= 0x80;
      irqDue = true;
    }
  }

  uint32_t taken = 0;
  if ((nmiDue || breakTakenOver) && nmiCountdownActive && nmiCountdown <= 0) {
    interruptEntry(nmiVector, breakTakenOver);
    nmiInService = PC != 0 || conventions.realC64;
    nmiPending = false;
    nmiCountdownActive = false;
    nmiDue = false;
    breakTakenOver = false;
    taken = 7;
  } else if (irqDue && irqCountdownActive && irqCountdown <= 0 && !nmiCountdownActive) {
    takeInterrupt();
    taken = 7;
  }
  if (taken) {
    executedCycles += taken;
    timersAt += taken;
    clockTimers(taken);
    advanceRaster(taken);
  }

  // The next moment something can happen.
  int64_t next = cyclesToTimedEvent();
  auto consider = [&next](int64_t candidate) { next = std::min(next, candidate); };
  if (irqCountdownActive)
    consider(irqCountdown);
  else if (irqPending() && (!conventions.realC64 || I == 0))
    consider(1);
  if (nmiCountdownActive)
    consider(nmiCountdown);
  else if (nmiPending)
    consider(1);
  eventAt = executedCycles + std::clamp<int64_t>(next, 1, 0x7FFFFFFF);
}

int64_t T6510::cyclesToTimedEvent() const {
  int64_t next = static_cast<int64_t>(sliceBudget) - static_cast<int64_t>(executedCycles) + 1;
  auto consider = [&next](int64_t candidate) { next = std::min(next, candidate); };
  // Timers are behind by the cycles not yet clocked into them.
  const int64_t unclocked = pendingTimerCycles();
  for (const TCia& cia : cias) consider(cia.cyclesToUnderflow(unclocked));
  if (cias[0].timerAStopped) consider(65535);
  if (rasterCompare < linesPerFrame) {
    int32_t lines = rasterCompare - rasterLine;
    if (lines <= 0) lines += linesPerFrame;
    consider(int64_t{lines} * cyclesPerLine - cycleInLine);
  }
  return next;
}

void T6510::resetTimers() {
  for (TCia& cia : cias) cia.reset();
  ciaIrqPending = vicIrqPending = nmiPending = false;
  irqCountdownActive = nmiCountdownActive = false;
  irqCountdown = nmiCountdown = 0;
  irqDue = nmiDue = breakTakenOver = false;
  nmiInService = false;
  timersAt = executedCycles;
  eventNow();
  stolenCycles = 0;
  badLinesEnabled = badLineTaken = false;
  sprites = {};
  lowestSprite = 0;
  cycleInLine = 0;
  rasterLine = 55;
}

void T6510::resetIoDefaults() {
  ioImage.fill(0);
  static constexpr uint8_t cia2Timers[] = {0xC7, 0x4C, 0xC7, 0x4C};
  for (int i = 0; i < 4; ++i) ioByte(static_cast<uint16_t>(0xDD04 + i)) = cia2Timers[i];
  ioByte(0xDC0D) = 0x7F;
  ioByte(0xDC0E) = 0x01;
  ioByte(0xDC00) = 0x7F;
  ioByte(0xDC01) = 0xFF;
  ioByte(0xDD0D) = 0x00;
  ioByte(0xD018) = 0x15;
  for (TCia& cia : cias) cia.resetLatches();
  ram[0x02A6] = 1;
  cyclesPerLine = 63;
  linesPerFrame = 312;
}

void T6510::restartPlayTiming() {
  rasterLine = 55;
  cycleInLine = 0;
  restartCount();
  sidAccessAt = 0;
  timersAt = 0;
}
