// Time in which the processor only waits passes in one go: the cycles of a
// jammed processor, and whole iterations of loops that repeat themselves. Each
// shortcut stops short of anything that could happen in between (an event of
// the timers, raster or interrupt lines, a cycle the VIC steals, a sample step,
// the end of the slice), so every observable effect keeps its cycle.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "P6510.h"

namespace {

bool isCounterStep(uint8_t opcode) { return opcode == 0xCA || opcode == 0x88 || opcode == 0xE8 || opcode == 0xC8; }

// How many counter steps in a row (delta -1 or +1 from value) leave the branch
// with this opcode taken; the flags it does not test stay as they were when it
// was taken, so any other branch is taken for ever.
int64_t stepsWhileTaken(uint8_t branch, uint8_t value, int delta) {
  const unsigned first = static_cast<uint8_t>(value + delta);
  switch (branch) {
    case 0xD0:  // BNE: until the counter reaches 0, 256 steps from 0 itself
      return (delta < 0 ? (value == 0 ? 256 : value) : 256 - value) - 1;
    case 0xF0:  // BEQ: only the step that lands on 0
      return first == 0 ? 1 : 0;
    case 0x10:  // BPL: while below $80
      if (first >= 0x80) return 0;
      return delta < 0 ? first + 1 : 0x80 - first;
    case 0x30:  // BMI: while $80 or above
      if (first < 0x80) return 0;
      return delta < 0 ? first - 0x80 + 1 : 0x100 - first;
    default:
      return INT64_MAX;
  }
}

}  // namespace

int64_t T6510::cyclesFreeOfSteals(int64_t horizon) const {
  if (ioImage[0x015] != 0) return 0;
  const uint8_t control = ioImage[0x011];
  bool enabled = vic.badLinesEnabled;
  if (!enabled && !(control & 0x10)) return horizon;
  int32_t line = vic.rasterLine;
  if (enabled && !vic.badLineTaken && vic.badLineCandidate(line)) return 0;
  int64_t distance = vic.cyclesPerLine - cycleInLineNow();
  while (distance < horizon) {
    if (++line >= vic.linesPerFrame) line = 0;
    if (line == 48) enabled = control & 0x10;
    if (enabled && vic.badLineCandidate(line)) return distance;
    distance += vic.cyclesPerLine;
  }
  return horizon;
}

void T6510::noteRepeatedJump(uint16_t from) {
  loopWatch.selfJump = false;
  const uint16_t head = PC;
  const uint32_t end = clock.executedCycles + instructionCycles;
  LoopWatch& w = loopWatch;
  const int64_t lag = int64_t{end} - clock.timersAt;
  // A countdown: a one-byte counter step right before the branch back to it.
  // Its counter and the flags the step sets (N, Z) differ from one iteration to the next.
  const uint8_t step = memory.readPages[head >> 12][head & 0xFFF];
  const bool countdown = (currentOpcode & 0x1F) == 0x10 && head == static_cast<uint16_t>(from - 3) &&
                         !(memory.ioReadPage[head >> 12] && head < 0xDE00) && isCounterStep(step);
  const bool onX = step == 0xCA || step == 0xE8;
  const uint32_t period = end - w.endCycle;
  const bool polls = lag == w.timersLag;
  const TRegisters& r = w.registers;
  const uint8_t flagsDiffer = r.packStatus() ^ packStatus();
  const bool same = r.A == A && r.SP == SP && (polls || lag == w.timersLag + period) &&
                    (countdown ? (onX ? r.Y == Y : r.X == X) && (flagsDiffer & 0x7D) == 0
                               : r.X == X && r.Y == Y && flagsDiffer == 0);
  if (same) {
    w.period = period;
    w.polls = polls;
    w.counterStep = step;
    loopFound = countdown ? LoopKind::countdown : LoopKind::repeating;
    clock.stopAt = 0;  // the run loop skips at its stop after this jump
    stampLoopEnd();
  } else {
    takeLoopState();
  }
}

void T6510::noteSelfJump() {
  takeLoopState();
  LoopWatch& w = loopWatch;
  w.head = PC;
  w.effects = sideEffects;
  w.period = instructionCycles;
  w.polls = false;
  w.counterStep = 0;
  w.selfJump = true;
  loopFound = LoopKind::repeating;
  clock.stopAt = 0;  // the run loop skips at its stop after this jump
}

void T6510::skipLoopIterations() {
  const LoopKind kind = loopFound;
  loopFound = LoopKind::none;
  // playSID's sample channels step with every instruction.
  if (conventions.playSid) return;
  const uint32_t period = loopWatch.period;
  if (period == 0) return;
  // Every skipped instruction must end before the next event and start inside
  // the slice, and none may start on a line where the VIC could steal. A JMP
  // to itself is the whole iteration, so the one during which the event comes
  // passes too: it leaves what the real one leaves, and the dispatch follows
  // at this stop instead of the next.
  const int64_t crossing = loopWatch.selfJump ? period : 0;
  int64_t room = std::min<int64_t>(clock.cyclesToEvent() - 1, clock.cyclesLeftInSlice()) + crossing;
  if (room < period) return;
  room = cyclesFreeOfSteals(room);
  int64_t iterations = room / period;
  if (iterations <= 0) return;

  if (kind == LoopKind::countdown) {
    const uint8_t step = loopWatch.counterStep;
    const bool onX = step == 0xCA || step == 0xE8;
    const int8_t delta = (step == 0xCA || step == 0x88) ? -1 : 1;
    uint8_t& counter = onX ? X : Y;
    // A branch on N or Z is taken until the counter reaches a value that ends it.
    iterations = std::min(iterations, stepsWhileTaken(currentOpcode, counter, delta));
    if (iterations <= 0) return;
    counter = static_cast<uint8_t>(counter + delta * iterations);
    setNZ(counter);
  }

  const uint32_t span = static_cast<uint32_t>(iterations) * period;
  clock.executedCycles += span;
  advanceRaster();
  loopWatch.endCycle += span;
  // The last skipped poll brought the timers up to its read.
  if (loopWatch.polls) {
    const int64_t target = int64_t{clock.executedCycles} - loopWatch.timersLag;
    if (target > clock.timersAt) {
      clockTimers(static_cast<uint32_t>(target - clock.timersAt));
      clock.timersAt = target;
    }
  }
}

T6510::QuietRun T6510::quietJamCycles() const {
  // Sprite DMA steals on its own lines, and a JAM byte read from I/O may
  // answer differently each time: those go step by step.
  if (!fastForward || ioImage[0x015] != 0) return {};
  if (memory.ioReadPage[PC >> 12] && PC < 0xDE00) return {};
  // An interrupt request the processor may not take (a player's init still
  // running, or I set) brings the dispatch back every cycle, and a jammed
  // processor never changes whether it may: then only the timed events count.
  int64_t toEvent = clock.cyclesToEvent();
  if (!lines.irqCountdownActive && !lines.nmiCountdownActive && !lines.nmiPending && irqPending() && !irqAcceptable())
    toEvent = cyclesToTimedEvent();
  // Every quiet step and the one after it must start inside the slice.
  int64_t limit = std::min<int64_t>(toEvent - 1, clock.cyclesLeftInSlice());
  if (conventions.playSid) {
    limit = std::min<int64_t>(limit, samples.cyclesToStep());
  }
  if (limit <= 0) return {};

  // With the screen off and staying off no line steals, and the compare line
  // is one of the timed events.
  const uint8_t control = ioImage[0x011];
  if (!vic.badLinesEnabled && !(control & 0x10)) return {static_cast<uint32_t>(limit), false};

  // Walk the raster lines ahead. On a bad line the step that starts at cycle 11
  // or later loses 43 cycles to the VIC (a JAM writes nothing, so the VIC has
  // the bus three cycles after asking); that step is quiet too when it ends
  // inside the line and before the next event. Reaching the compare line raises
  // the raster interrupt: that step is the run loop's.
  constexpr int64_t stealStep = 1 + 43;
  bool badLines = vic.badLinesEnabled, taken = vic.badLineTaken;
  int32_t line = vic.rasterLine;
  int64_t quiet = 0, position = cycleInLineNow();
  for (;;) {
    if (badLines && !taken && vic.badLineCandidate(line)) {
      const int64_t start = std::max<int64_t>(position, 11);
      const int64_t before = quiet + (start - position);
      if (before + stealStep > limit || start + stealStep >= vic.cyclesPerLine)
        return {static_cast<uint32_t>(std::min(limit, before)), false};
      quiet = before + stealStep;
      position = start + stealStep;
      taken = true;
    }
    if (quiet + (vic.cyclesPerLine - position) > limit) return {static_cast<uint32_t>(limit), taken};
    quiet += vic.cyclesPerLine - position;
    if (++line >= vic.linesPerFrame) line = 0;
    if (line == vic.rasterCompare) return {static_cast<uint32_t>(quiet - 1), false};
    if (line == 48) badLines = control & 0x10;
    taken = false;
    position = 0;
  }
}

void T6510::passQuietJamCycles() {
  advanceRaster();  // the walk below starts from the current line
  const QuietRun run = quietJamCycles();
  const uint32_t n = run.cycles;
  if (n == 0) return;
  clock.executedCycles += n;
  advanceRaster();
  if (run.stolenOnItsLastLine) {
    vic.badLineTaken = true;
    vic.rearm();
  }
  planStop();  // the run loop stops on the line it reached as it would have on the way
  if (conventions.playSid) clockSamples(static_cast<int32_t>(n));
}
