#include "PassLoop.h"

namespace {

// Rounds n / d to the nearest integer; with the divisors used here a fraction
// of exactly one half cannot occur.
int64_t RoundedQuotient(int64_t n, int64_t d) {
  int64_t q = n / d;
  const int64_t r = n % d;
  if (2 * (r < 0 ? -r : r) >= d) q += (n < 0 ? -1 : 1);
  return q;
}

}  // namespace

uint32_t TPassLoop::Budget(int32_t minutes, bool pal) {
  // Cycles per minute: 985248.444... Hz * 60 = 177344720 / 3 (PAL),
  // 1022727.214... Hz * 60 = 429545430 / 7 (NTSC).
  if (pal) {
    if (minutes > 72) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(RoundedQuotient(int64_t{minutes} * 177344720, 3));
  }
  if (minutes > 69) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(RoundedQuotient(int64_t{minutes} * 429545430, 7));
}

void TPassLoop::StartSubTune() {
  idle_ = 0;
  lastWriteTime_ = 0;
  restartSeen_ = false;
}

void TPassLoop::StartPass(uint32_t budget) {
  budget_ = budget;
  elapsed_ = 0;
  started_ = false;
  noTimeCalls_ = 0;
}

bool TPassLoop::TakeDelay(uint32_t cycles) {
  const uint16_t d = static_cast<uint16_t>(cycles);
  lastDelay_ = d;
  if (budget_ - elapsed_ < d) return false;
  elapsed_ += d;
  emulatedCycles_ += d;
  return true;
}

bool TPassLoop::Feed(const TStreamEntry& entry, TDataHashCalc& calc) {
  const uint32_t before = elapsed_;
  switch (entry.command) {
    case cmdIdle:
      idle_ += 1000;
      break;
    case cmdDelay:
      if (!TakeDelay(entry.cycles)) return false;
      idle_ = 0;
      break;
    case cmdWrite: {
      // A write that would pass the budget is dropped with the pass.
      if (!TakeDelay(entry.cycles)) return false;
      lastWriteTime_ = elapsed_;
      if (!started_) {
        if (calc.CheckStart(entry.reg, entry.value)) {
          // The start write restarts the clock of the pass; the idle limits
          // are not looked at for it.
          started_ = true;
          elapsed_ = 0;
          noTimeCalls_ = 0;
          return elapsed_ <= budget_;
        }
        idle_ = 0;
      } else {
        calc.AddWrite(entry.reg, entry.value, elapsed_);
        idle_ = 0;
      }
      break;
    }
    case cmdRead:
      // A read's own delay is not fetched: the last delay stands in for it.
      // Past 32 bits (only without a time limit) the pass is over.
      if (elapsed_ > 0xFFFFFFFFu - lastDelay_) return false;
      elapsed_ += lastDelay_;
      emulatedCycles_ += lastDelay_;
      idle_ = 0;
      break;
    case cmdRestart:
      restartSeen_ = true;
      lastWriteTime_ = 0;
      idle_ = 0;
      elapsed_ = 0;
      calc.Reset();
      started_ = false;
      break;
    default:
      break;
  }
  return Continue(elapsed_ != before && entry.command != cmdRestart);
}

bool TPassLoop::Continue(bool addedTime) {
  if (lastWriteTime_ != 0 && idle_ > idleLimitAfterWrite) return false;
  if (lastWriteTime_ == 0 && idle_ > budget_) return false;
  // Reads with no delay to add, or empty runs between them, reset the idle count
  // without time passing; without this bound such a stream never ends.
  if (addedTime) {
    noTimeCalls_ = 0;
  } else if (++noTimeCalls_ >= noTimeLimit) {
    return false;
  }
  return elapsed_ <= budget_;
}
