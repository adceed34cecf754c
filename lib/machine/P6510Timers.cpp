// The time base of the machine's side of the chips: when in an instruction the
// CIAs (TCia) and the VIC (TVicRaster) see a register access, the interrupt
// lines they pull, and the dispatch that turns pending sources into taken
// interrupts.
//
// Nothing is clocked per cycle. The processor reports whole instructions; the
// raster advances at once, the timers catch up lazily at the next event or when
// a CIA register is touched.
#include <algorithm>

#include "BusTiming.h"
#include "P6510.h"

namespace {

constexpr uint8_t icr = TCia::interruptControl, controlA = TCia::controlA, controlB = TCia::controlB;

}  // namespace

// ---- timers --------------------------------------------------------------------

void T6510::syncTimers(uint32_t position) {
  const int64_t target = int64_t{clock.executedCycles} + position;
  if (target <= clock.timersAt) return;
  const int64_t n = target - clock.timersAt;
  clock.timersAt = target;
  clockTimers(static_cast<uint32_t>(n));
}

void T6510::ciaTimerUnderflows(TCia& cia, bool nmi) {
  const int32_t age = cia.underflow();
  if (age < 0) return;
  // The chip's interrupt line goes low, unless it already is.
  const auto cycles = static_cast<int32_t>(instructionCycles);
  const int32_t position = age < cycles ? age : cycles ? age % cycles : 0;
  const uint8_t data = cia.reg(icr);
  if (nmi) {
    if ((data & 0x80) || !lines.raiseNmi(position)) return;
  } else {
    if ((conventions.realC64 && (data & 0x80)) || !lines.raiseCiaIrq(position)) return;
  }
  clock.eventNow();
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
  const int32_t unclocked = static_cast<int32_t>(clock.pendingTimerCycles());
  switch (reg) {
    case TCia::portA: {
      const uint8_t direction = cia.reg(TCia::directionA), port = cia.reg(TCia::portA);
      if (!isCia1) return static_cast<uint8_t>(((~direction | port) & 0x3F) | ((port & 0xC0) ^ 0xC0));
      const auto value = static_cast<uint8_t>(~direction | port);
      return conventions.buttonsOnPorts() ? buttons.portA(value) : value;
    }
    case TCia::portB: {
      if (isCia1 && conventions.buttonsOnPorts())
        if (const auto held = buttons.portB(cia.reg(TCia::portA))) return *held;
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
      const bool quiet = value == 0 && (isCia1 ? lines.cia1PollQuiet() : lines.cia2PollQuiet());
      if (!quiet) ++sideEffects;
      data = 0;
      if (isCia1)
        lines.ciaIrqAcknowledged();
      else if (!(value & 0x80))
        lines.nmiCancelled();  // reading just before the NMI would fire suppresses it
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
  if (reg == icr) {
    // The mask only decides what a later underflow raises: while no line is
    // pulled or counting down, the next event stays where it was.
    if (!lines.quiet()) clock.eventNow();
    if (isCia1 && conventions.cia1MaskLocked()) return;
    cia.writeMask(value);
    return;  // the mask lives in the chip, the data register in the image
  }
  clock.eventNow();
  const bool locked = isCia1 && conventions.cia1TimerLocked();
  if (!cia.write(reg, value, firstWritePosition[currentOpcode], locked)) return;
  // The serial flag with its mask bit set pulls the chip's interrupt line.
  uint8_t& data = cia.reg(icr);
  if (isCia1) {
    data |= 0x80;
    lines.raiseCiaIrq(0);
  } else if (!(data & 0x80)) {
    lines.raiseNmi(0);
  }
}

// ---- VIC-II --------------------------------------------------------------------

// Every caller plans the next stop afterwards (at the end of the stop, the
// idle step or the dispatch), so the crossing itself only moves the line's start.
void T6510::crossRasterLines() {
  const bool compare = vic.crossLines();
  clock.lineStartAt = int64_t{clock.executedCycles} - vic.cycleInLine;
  if (compare) rasterCompareReached();
}

uint32_t T6510::stealCycles(int32_t cycleInLinePlusInstruction) {
  ++sideEffects;
  return vic.stealCycles(cycleInLinePlusInstruction, currentOpcode, static_cast<int32_t>(instructionCycles));
}

void T6510::rasterCompareReached() {
  uint8_t& latched = ioByte(0xD019);
  latched |= 0x01;
  if (ioByte(0xD01A) & 0x01) {
    latched |= 0x80;
    lines.raiseVicIrq(static_cast<int32_t>(instructionCycles));
  }
  clock.eventNow();
}

uint8_t T6510::vicRead(uint8_t reg) {
  if (reg == 0x11 || reg == 0x12) {
    advanceRaster();
    return vic.readRaster(reg, static_cast<int32_t>(instructionCycles));
  }
  if (reg == 0x19) return ioByte(0xD019) | 0x70;
  if (reg == 0x1A) return ioByte(0xD01A) | 0xF0;
  return ioImage[reg];
}

void T6510::vicWrite(uint8_t reg, uint8_t value) {
  // Colours, pointers and positions change nothing the clock waits for.
  const bool timing = reg == 0x11 || reg == 0x12 || reg == 0x15 || reg == 0x19 || reg == 0x1A;
  if (timing || !lines.quiet()) clock.eventNow();
  switch (reg) {
    case 0x11:
    case 0x12:
      advanceRaster();
      if (vic.writeRaster(reg, value)) rasterCompareReached();
      return;
    case 0x15:
      vic.writeSpriteEnable(value);
      return;
    case 0x19: {
      uint8_t& latched = ioByte(0xD019);
      const uint8_t remaining = latched & 0x0F & static_cast<uint8_t>(~value);
      if (remaining & ioByte(0xD01A)) {
        latched = remaining | 0x80;
      } else {
        latched = remaining;
        lines.vicIrqAcknowledged();
      }
      return;
    }
    case 0x1A: {
      if (conventions.playerOwnsVicMask(!(cias[0].timerAStopped && cias[1].timerAStopped))) return;
      uint8_t& latched = ioByte(0xD019);
      ioByte(0xD01A) = value & 0x0F;
      if ((value & 0x01) && (latched & 0x01)) {
        latched |= 0x80;
        lines.raiseVicIrq(static_cast<int32_t>(instructionCycles));
      } else {
        latched &= 0x7F;
        lines.vicIrqPending = false;
      }
      return;
    }
    default:
      break;
  }
  ioImage[reg] = value;
}

// ---- interrupts ----------------------------------------------------------------

bool T6510::irqAcceptable() const {
  if (conventions.realC64) return I == 0 || irqAllowedAtStart;
  return isIdle() || (playRoutine == 0 && initReturned);
}

// A source raised this way keeps the source position of the last time it pulled
// its line, even from an earlier sub-tune: the streams depend on it.
void T6510::rederiveInterrupts() {
  if (ioByte(0xDC0D) & 0x80) lines.ciaIrqPending = true;
  if ((ioByte(0xD019) & 0x80) && (ioByte(0xD01A) & 0x01)) lines.vicIrqPending = true;
  if (irqPending()) clock.eventNow();
}

void T6510::takeInterrupt() {
  if (conventions.irqCallsPlay(playRoutine))
    callPlayRoutine();
  else
    interruptEntry(irqVector);
  lines.irqTaken();
}

void T6510::dispatchInterrupts(uint32_t cycles) {
  ++sideEffects;
  if (cycles) clockTimers(cycles);
  const int32_t n = static_cast<int32_t>(std::min<uint32_t>(cycles, 0x3FFFFFFF));
  const int32_t stolen = static_cast<int32_t>(stolenCycles);

  if (!lines.nmiCountdownActive && lines.nmiPending) {
    lines.nmiCountdown = n - lines.nmiSourcePosition - stolen + 2;
    if (currentOpcode == 0x00 && conventions.realC64 && !isIdle()) {
      // The NMI came while BRK ran: after its third cycle it takes over the
      // BRK's pushes, before that it waits for the handler's first instruction.
      if (static_cast<int32_t>(instructionCycles) - lines.nmiSourcePosition > 3) {
        SP = static_cast<uint8_t>(SP + 3);
        PC = static_cast<uint16_t>(ram[0x0100 | static_cast<uint8_t>(SP - 1)] |
                                   ram[0x0100 | SP] << 8);
        pullStatusFlags(ram[0x0100 | static_cast<uint8_t>(SP - 2)]);
        stackDepth -= 3;
        lines.breakTakenOver = true;
        lines.nmiCountdown = n - stolen;
      } else {
        lines.nmiCountdown = n - stolen + 1;
      }
    }
    lines.nmiCountdownActive = true;
    lines.irqCountdownActive = false;
    lines.irqDue = false;
  } else if (!lines.irqCountdownActive && irqPending() && irqAcceptable()) {
    lines.irqCountdown = n - lines.irqSourcePosition - stolen + 2;
    lines.irqCountdownActive = true;
  }
  if (branchDelay) {
    if (lines.irqCountdownActive) ++lines.irqCountdown;
    if (lines.nmiCountdownActive) ++lines.nmiCountdown;
  }
  if (lines.irqCountdownActive) lines.irqCountdown -= n;
  if (lines.nmiCountdownActive) lines.nmiCountdown -= n;

  if (lines.nmiCountdownActive && lines.nmiCountdown <= 1 && !lines.nmiDue) {
    uint8_t& data = ioByte(0xDD0D);
    if (!(data & 0x80)) {
      data |= 0x80;
      lines.nmiDue = true;
    } else if (!lines.breakTakenOver) {
      // No edge on the NMI line: the interrupt never happens.
      lines.nmiPending = false;
      lines.nmiCountdownActive = false;
    }
  }
  if (lines.irqCountdownActive) {
    if (lines.vicIrqPending) lines.irqDue = true;
    if (lines.ciaIrqPending && lines.irqCountdown <= 1) {
      ioByte(0xDC0D) |= 0x80;
      lines.irqDue = true;
    }
  }

  uint32_t taken = 0;
  if ((lines.nmiDue || lines.breakTakenOver) && lines.nmiCountdownActive && lines.nmiCountdown <= 0) {
    interruptEntry(nmiVector, lines.breakTakenOver);
    nmiInService = PC != 0 || conventions.realC64;
    lines.nmiTaken();
    taken = 7;
  } else if (lines.irqDue && lines.irqCountdownActive && lines.irqCountdown <= 0 && !lines.nmiCountdownActive) {
    takeInterrupt();
    taken = 7;
  }
  if (taken) {
    ++interruptsTaken;
    clock.executedCycles += taken;
    clock.timersAt += taken;
    clockTimers(taken);
    advanceRaster();
  }

  // The next moment something can happen.
  int64_t next = cyclesToTimedEvent();
  auto consider = [&next](int64_t candidate) { next = std::min(next, candidate); };
  if (lines.irqCountdownActive)
    consider(lines.irqCountdown);
  else if (irqPending() && (!conventions.realC64 || I == 0))
    consider(1);
  if (lines.nmiCountdownActive)
    consider(lines.nmiCountdown);
  else if (lines.nmiPending)
    consider(1);
  clock.eventAt = clock.executedCycles + std::clamp<int64_t>(next, 1, 0x7FFFFFFF);
  planStop();
}

int64_t T6510::cyclesToTimedEvent() const {
  int64_t next = static_cast<int64_t>(clock.sliceBudget) - static_cast<int64_t>(clock.executedCycles) + 1;
  auto consider = [&next](int64_t candidate) { next = std::min(next, candidate); };
  // Timers are behind by the cycles not yet clocked into them.
  const int64_t unclocked = clock.pendingTimerCycles();
  for (const TCia& cia : cias) cia.earliestUnderflow(unclocked, next);
  if (cias[0].timerAStopped) consider(65535);
  consider(vic.cyclesToCompare(cycleInLineNow()));
  return next;
}

void T6510::resetTimers() {
  for (TCia& cia : cias) cia.reset();
  lines.reset();
  nmiInService = false;
  clock.timersAt = clock.executedCycles;
  clock.eventNow();
  stolenCycles = 0;
  vic.reset();
  rasterMoved();
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
  vic.cyclesPerLine = 63;
  vic.linesPerFrame = 312;
}

void T6510::restartPlayTiming() {
  vic.rasterLine = 55;
  vic.cycleInLine = 0;
  vic.rearm();
  clock.restartCount();
  clock.sidAccessAt = 0;
  clock.timersAt = 0;
  rasterMoved();
}
