// TPassLoop: the time keeping of one pass over a sub-tune's SID stream. It is
// fed one stream entry at a time and says when the pass is over: the cycle
// budget is spent, the tune has gone quiet for too long, or time stopped moving.
// Writes go to the data hash calculator, before the start of the music to
// detect it and after it to be stored with their time.
//
//   TPassLoop loop;
//   loop.StartSubTune();
//   loop.StartPass(TPassLoop::Budget(3, true));
//   do emulator.Next(entry); while (loop.Feed(entry, calc));
#pragma once

#include <cstdint>

#include "DataHashCalc.h"
#include "TuneEmulator.h"

class TPassLoop {
 public:
  // Empty run calls in a row after a write before the tune counts as quiet.
  static constexpr uint32_t idleLimitAfterWrite = 70000000;
  // Run calls in a row that add no time: past this many the pass can only be
  // spinning (the idle pseudo-cycles would have passed 32 bits by now).
  static constexpr uint32_t noTimeLimit = 4294968;

  // The cycle budget of minutes on the PAL or NTSC clock: no limit above 72 or
  // 69 minutes; otherwise rounded, low 32 bits (so negative minutes give a
  // very large budget).
  static uint32_t Budget(int32_t minutes, bool pal);

  // Clears what survives passes within one sub-tune.
  void StartSubTune();
  // What the other-clock pass and a new part clear.
  void ClearIdle() { idle_ = 0; }
  void ClearLastWrite() { lastWriteTime_ = 0; }
  // The delay that reads add: it belongs to the file, not the pass.
  void StartFile() { lastDelay_ = 0; }
  void StartPass(uint32_t budget);

  // Takes one entry; false once the pass is over. The entry that ends a pass
  // by the budget is not counted.
  bool Feed(const TStreamEntry& entry, TDataHashCalc& calc);

  bool restartSeen() const { return restartSeen_; }
  void ClearRestartSeen() { restartSeen_ = false; }
  uint32_t elapsed() const { return elapsed_; }
  uint32_t budget() const { return budget_; }
  bool started() const { return started_; }
  // C64 cycles that passed in this loop since StartSubTune, for progress figures.
  uint64_t emulatedCycles() const { return emulatedCycles_; }

 private:
  // Counts the delay of a delay or write entry; false when it does not fit the budget.
  bool TakeDelay(uint32_t cycles);
  bool Continue(bool addedTime);

  uint32_t budget_ = 0;
  uint32_t elapsed_ = 0;
  uint32_t idle_ = 0;
  uint32_t lastWriteTime_ = 0;
  uint16_t lastDelay_ = 0;
  bool started_ = false;
  bool restartSeen_ = false;
  uint32_t noTimeCalls_ = 0;
  uint64_t emulatedCycles_ = 0;
};
