#include "Cia.h"

#include <algorithm>

namespace {

uint8_t bcdIncrement(uint8_t v) { return (v & 0x0F) == 9 ? static_cast<uint8_t>((v & 0xF0) + 0x10) : v + 1; }

// Reloads from the latch, carrying the overshoot into the next period.
void reload(int32_t& counter, uint16_t latch, bool oneShot, bool& stopped) {
  const int32_t age = -counter - 1;
  counter = latch;
  if (oneShot)
    stopped = true;
  else if (const int32_t period = static_cast<int32_t>(latch) + 1; age < period)
    counter -= age;  // the usual case, without a division
  else
    counter -= age % period;
}

}  // namespace

int32_t TCia::underflow() {
  int32_t raisedAge = -1;
  bool timerAUnderflowed = false;
  if (timerACounter < 0 && !timerAStopped) {
    timerAUnderflowed = true;
    regs_[interruptControl] |= 0x01;
    if (timerAIrqEnabled) raisedAge = -timerACounter - 1;
    reload(timerACounter, timerALatch, regs_[controlA] & 0x08, timerAStopped);
  }
  // Input mode %10 counts timer A underflows; %11 does so while CNT is high,
  // and nothing drives CNT low on a C64.
  if (timerAUnderflowed && (regs_[controlB] & 0x40) && !timerBStopped) --timerBCounter;
  if (timerBCounter < 0 && !timerBStopped) {
    regs_[interruptControl] |= 0x02;
    if (timerBIrqEnabled && raisedAge < 0) raisedAge = -timerBCounter - 1;
    reload(timerBCounter, timerBLatch, regs_[controlB] & 0x08, timerBStopped);
  }
  return raisedAge;
}

void TCia::tickTimeOfDay(uint32_t cycles) {
  todCycles += static_cast<int32_t>(cycles);
  // The clock counts mains ticks: 5 or 6 per tenth by the 50/60 Hz bit of control A.
  const int32_t tenth = (regs_[controlA] & 0x80) ? 98524 : 102272;
  while (todCycles > tenth) {
    todCycles -= tenth;
    if (todHalted) continue;
    if (todTenths < 9) {
      ++todTenths;
      continue;
    }
    todTenths = 0;
    if (todSeconds != 0x59) {
      todSeconds = bcdIncrement(todSeconds);
      continue;
    }
    todSeconds = 0;
    if (todMinutes != 0x59) {
      todMinutes = bcdIncrement(todMinutes);
      continue;
    }
    todMinutes = 0;
    // 12-hour clock: 11 -> 12 flips AM/PM, 12 -> 1 keeps it.
    const uint8_t pm = todHours & 0x80;
    const uint8_t hour = todHours & 0x1F;
    if (hour == 0x11)
      todHours = static_cast<uint8_t>(0x12 | (pm ^ 0x80));
    else if (hour == 0x12)
      todHours = static_cast<uint8_t>(0x01 | pm);
    else
      todHours = static_cast<uint8_t>(bcdIncrement(hour) | pm);
  }
}

uint8_t TCia::readTimeOfDay(uint8_t r) {
  switch (r) {
    case todTenthsRegister:
      todHalted = false;
      return todTenths;
    case todSecondsRegister:
      return todSeconds;
    case todMinutesRegister:
      return todMinutes;
    default:
      todHalted = true;
      return todHours;
  }
}

uint8_t TCia::readControl(bool timerA, int32_t behind) {
  bool& stopped = timerA ? timerAStopped : timerBStopped;
  const uint8_t stored = regs_[timerA ? controlA : controlB];
  const int32_t counter = timerA ? timerACounter : timerBCounter;
  if (!stopped && (stored & 0x08) && counter - behind < 0) stopped = true;
  return static_cast<uint8_t>(stored & ~0x10 & (stopped ? ~0x01 : 0xFF));
}

bool TCia::write(uint8_t r, uint8_t value, int32_t writePosition, bool locked) {
  bool interrupt = false;
  switch (r) {
    case timerALow:
      if (!locked) timerALatch = static_cast<uint16_t>((timerALatch & 0xFF00) | value);
      break;
    case timerAHigh:
      if (locked) break;
      timerALatch = static_cast<uint16_t>((timerALatch & 0x00FF) | value << 8);
      if (timerAStopped) timerACounter = timerALatch;
      break;
    case timerBLow:
      timerBLatch = static_cast<uint16_t>((timerBLatch & 0xFF00) | value);
      break;
    case timerBHigh:
      timerBLatch = static_cast<uint16_t>((timerBLatch & 0x00FF) | value << 8);
      if (timerBStopped) timerBCounter = timerBLatch;
      break;
    case todTenthsRegister:
      todTenths = value & 0x0F;
      todHalted = false;
      todCycles = 0;
      break;
    case todSecondsRegister:
      todSeconds = value & 0x7F;
      break;
    case todMinutesRegister:
      todMinutes = value & 0x7F;
      break;
    case todHoursRegister:
      todHours = value & 0x9F;
      todHalted = true;
      break;
    case serialData:
      regs_[interruptControl] |= 0x08;
      interrupt = interruptMask & 0x08;
      break;
    case controlA:
    case controlB: {
      if (locked) break;
      const bool timerA = r == controlA;
      bool& stopped = timerA ? timerAStopped : timerBStopped;
      bool& countsClock = timerA ? timerACountsClock : timerBCountsClock;
      int32_t& counter = timerA ? timerACounter : timerBCounter;
      const uint16_t latch = timerA ? timerALatch : timerBLatch;
      const bool newCounts = timerA ? !(value & 0x20) : (value & 0x60) == 0;
      if (timerA && !stopped && countsClock && !newCounts) counter -= writePosition;
      const bool starting = stopped && (value & 0x01);
      stopped = !(value & 0x01);
      countsClock = newCounts;
      if (value & 0x10) counter = latch + ((starting && countsClock) ? 1 : 0);
      if (starting && countsClock) counter += writePosition + 2;
      break;
    }
    default:
      break;
  }
  regs_[r] = value;
  return interrupt;
}

void TCia::writeMask(uint8_t value) {
  if (value & 0x80)
    interruptMask |= value & 0x1F;
  else
    interruptMask &= static_cast<uint8_t>(~value & 0x1F);
  timerAIrqEnabled = interruptMask & 0x01;
  timerBIrqEnabled = interruptMask & 0x02;
}

void TCia::reset() {
  timerAStopped = timerBStopped = true;
  timerACountsClock = timerBCountsClock = true;
  interruptMask = 0;
  timerAIrqEnabled = timerBIrqEnabled = false;
  todTenths = todSeconds = todMinutes = todHours = 0;
  todHalted = true;
  todCycles = 0;
}
