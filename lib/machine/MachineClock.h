// TMachineClock: the one owner of time in the machine.
//
// One count drives everything: executedCycles. An instruction only adds its
// cycles to it; every other time the machine keeps is a position on that count,
// so nothing else needs touching per instruction. The chips are brought up to
// the count when a register of theirs is accessed or when the dispatch runs at
// eventAt, never checked per instruction. The raster too is a position: the
// count at which its line began; it is brought up to date when its registers
// are touched and when the line ends.
//
//   TMachineClock clock;
//   clock.sliceBudget = 985.248f;                  // a slice of about a millisecond
//   clock.executedCycles += 4;                      // an instruction ran
//   if (clock.executedCycles >= clock.stopAt) ...   // the run loop's stop
//   if (clock.cyclesToEvent() <= 0) ...             // the dispatch's turn
//   clock.eventNow();                               // a write may have started something
//   clock.restartCount();                           // the next slice
#pragma once

#include <cstdint>

struct TMachineClock {
  // Cycles run in the current slice (during an instruction: up to its start).
  uint32_t executedCycles = 0;
  // The count at the SID's last access. The SID's idle time, cyclesSinceSid(),
  // is the distance; it wraps with the count, which starts again each slice.
  uint32_t sidAccessAt = 0;
  // The count up to which the CIA timers have been clocked; the cycles still
  // owed to them, pendingTimerCycles(), are the distance. A CIA register access
  // clocks them up to its own cycle, the dispatch up to now.
  int64_t timersAt = 0;
  // The next count at which the dispatch has something to do: a timer
  // underflow, the raster compare line, an interrupt countdown ending, the end
  // of the slice. Anything that may start something sooner (a register write,
  // an interrupt source) calls eventNow(), and the dispatch runs after the
  // instruction.
  int64_t eventAt = 0;
  // The count at which the raster's current line began: the cycle in the line
  // is the distance to it. The start of the next line on which the VIC may
  // change what it takes is a stop of the run loop; the quiet lines before it
  // are crossed there, or when the VIC's registers are touched.
  int64_t lineStartAt = 0;
  // The count at which the slice's instructions end: the budget rounded up,
  // the first count no instruction of the slice starts at (the driver's limit;
  // a new count of play timing within the slice does not move it).
  uint32_t sliceEndAt = 0;
  // The first count at which the run loop must look at more than the next
  // instruction: the event, the end of the raster's quiet lines or of the slice, or at
  // once (0) while a loop is found, the VIC may steal on this line or playSID's
  // samples step with every instruction. It is never later than eventAt.
  int64_t stopAt = 0;
  // Cycles the current slice may run (fractional: slices of a millisecond do
  // not divide into whole cycles); the driver sets it at the slice's start.
  float sliceBudget = 0;

  uint32_t cyclesSinceSid() const { return executedCycles - sidAccessAt; }
  void setCyclesSinceSid(uint32_t cycles) { sidAccessAt = executedCycles - cycles; }
  void sidAccessed() { sidAccessAt = executedCycles; }

  uint32_t pendingTimerCycles() const {
    return executedCycles > timersAt ? static_cast<uint32_t>(executedCycles - timersAt) : 0;
  }
  // The timers' debt, which the caller pays: they are up to date from here.
  uint32_t takePendingTimerCycles() {
    const uint32_t n = pendingTimerCycles();
    timersAt = executedCycles;
    return n;
  }

  int64_t cyclesToEvent() const { return eventAt - executedCycles; }
  void eventNow() {
    eventAt = executedCycles;
    if (stopAt > eventAt) stopAt = eventAt;
  }

  // Cycles a shortcut may pass so that the instruction after it still starts
  // inside the slice.
  int64_t cyclesLeftInSlice() const { return int64_t{sliceEndAt} - 1 - int64_t{executedCycles}; }

  // Sets the count to zero, moving the positions with it: a new slice, or the
  // fixed start of play timing.
  void restartCount() {
    sidAccessAt -= executedCycles;
    timersAt -= executedCycles;
    eventAt -= executedCycles;
    lineStartAt -= executedCycles;
    stopAt -= executedCycles;
    executedCycles = 0;
  }
};
