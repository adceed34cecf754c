// TCia: one MOS 6526 of the machine, instantiated twice (CIA 1 at $DC00 drives
// the IRQ line, CIA 2 at $DD00 the NMI line).
//
// The chip alone: two interval timers with their latches and control bits, the
// interrupt mask, the time-of-day clock. Its register bytes live in the
// machine's I/O image, where tunes read them back and the tests see them; the
// machine owns the bus side (when in an instruction a register is touched, the
// interrupt lines, the player's conventions) and asks the chip the rest.
//
// A counter is a signed number: below zero means it ran out and is waiting for
// underflow() to reload it. Timers are clocked lazily, so a reader tells how many
// cycles the machine owes them (`behind`).
//
//   TCia cia(&ioImage[0xC00]);
//   cia.write(TCia::timerAHigh, 0x40, 0, false);   // latch $40xx; loads a stopped timer
//   if (cia.count(cycles)) {                       // a counter ran out
//     const int32_t age = cia.underflow();         // >= 0: an enabled timer asks for an interrupt
//   }
#pragma once

#include <algorithm>
#include <cstdint>

class TCia {
 public:
  enum Register : uint8_t {
    portA, portB, directionA, directionB, timerALow, timerAHigh, timerBLow, timerBHigh,
    todTenthsRegister, todSecondsRegister, todMinutesRegister, todHoursRegister, serialData,
    interruptControl, controlA, controlB,
  };

  explicit TCia(uint8_t* registers) : regs_(registers) {}

  uint8_t& reg(uint8_t r) { return regs_[r]; }
  uint8_t reg(uint8_t r) const { return regs_[r]; }

  uint16_t timerALatch = 0xFFFF, timerBLatch = 0xFFFF;
  int32_t timerACounter = 0xFFFF, timerBCounter = 0xFFFF;
  bool timerAStopped = true, timerBStopped = true;
  bool timerACountsClock = true, timerBCountsClock = true;
  uint8_t interruptMask = 0;
  bool timerAIrqEnabled = false, timerBIrqEnabled = false;
  uint8_t todTenths = 0, todSeconds = 0, todMinutes = 0, todHours = 0;
  bool todHalted = true;
  int32_t todCycles = 0;

  // Counts n system clocks down; whether a counter ran out.
  bool count(int32_t n) {
    if (!timerAStopped && timerACountsClock) timerACounter -= n;
    if (!timerBStopped && timerBCountsClock) timerBCounter -= n;
    return timerACounter < 0 || timerBCounter < 0;
  }
  // Sets the interrupt data bits of the timers that ran out and reloads them,
  // timer B counting A's underflow where its input mode says so. Returns how
  // many cycles ago the first timer whose interrupt is enabled ran out, or -1.
  int32_t underflow();
  // Lowers next to the cycles until a running timer that counts clocks runs out.
  void earliestUnderflow(int64_t behind, int64_t& next) const {
    if (!timerAStopped && timerACountsClock) next = std::min(next, int64_t{timerACounter} + 1 - behind);
    if (!timerBStopped && timerBCountsClock) next = std::min(next, int64_t{timerBCounter} + 1 - behind);
  }
  void tickTimeOfDay(uint32_t cycles);

  // What a read of a timer's counter sees, `behind` cycles not yet counted.
  int32_t counterSeen(bool timerA, int32_t behind) const {
    const int32_t counter = timerA ? timerACounter : timerBCounter;
    return (timerA ? timerAStopped : timerBStopped) ? counter : counter - behind;
  }
  // Reads of the time of day: reading the tenths lets the clock run again,
  // reading the hours holds it.
  uint8_t readTimeOfDay(uint8_t r);
  // A control register as a real 6526 answers it: a one-shot timer that ran out
  // before the read shows stopped; the load strobe always reads 0.
  uint8_t readControl(bool timerA, int32_t behind);

  // Every register but the interrupt control; writePosition is the cycle of the
  // instruction's write. A locked chip keeps timer A's latch and both control
  // registers (the register bytes still take the value). Returns
  // whether the write asks for an interrupt (the serial flag with its mask bit).
  bool write(uint8_t r, uint8_t value, int32_t writePosition, bool locked);
  void writeMask(uint8_t value);

  // Power-on: timers stopped, no interrupts enabled, the clock halted at 0.
  void reset();
  void resetLatches() {
    timerALatch = timerBLatch = 0xFFFF;
    timerACounter = timerBCounter = 0xFFFF;
  }
  void loadCounters() {
    timerACounter = timerALatch;
    timerBCounter = timerBLatch;
  }

 private:
  uint8_t* regs_;
};
