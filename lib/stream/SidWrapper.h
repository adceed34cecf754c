// TSidWrapper: the queue of SID accesses between the machine and the caller.
//
// The machine is the producer, through its TSidFilter. It calls writeRegister for each
// SID write, readRegister for each read the register model answers ($D41B, $D41C),
// clock for each idle stretch, queueRead for the other reads, pushMarker for "init
// done", and restart when a key press starts the tune over. Every call carries the cycles since the previous SID access; an entry's
// delay is what the caller has to wait before applying it.
//
//   TSidWrapper sid;
//   sid.reset();                              // loadFile, setSongToPlay
//   sid.setOptions(skipSilence, volumeFix);   // copied in after every reset
//   sid.writeRegister(24, 0x0F, cycles);      // machine side
//   while (!sid.empty()) {                    // run() side
//     if (sid.peekDelay() > 65535) {          // longer than the caller's 16-bit wait
//       sid.takeDelayChunk();                 // 65535 cycles of it have passed
//       continue;
//     }
//     ... sid.getCycles(), sid.getRegister(), sid.getData() ...
//     sid.pop();
//   }
//
// Entry kinds by register byte: below 0x80 a write, 0x80 + register a read (data is
// the value read), markerRestart and markerInitDone carry no data and no delay.
//
// With skipSilence or volumeFix set, writes are held back until the tune starts
// sounding and are then released together: skipSilence shortens the silent lead-in to
// 32 cycles, volumeFix puts a volume write first when the tune has set none. Reads and
// markers are never held. The hold-back runs once per reset.
//
// The ring never drops an entry: a long init routine can queue more than the initial
// 65536 entries before anything drains it, and the ring then doubles.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "SID6581.h"

constexpr uint8_t markerRestart = 0xA0;
constexpr uint8_t markerInitDone = 0xA1;

class TSidWrapper final {
 public:
  TSidWrapper();
  TSidWrapper(const TSidWrapper&) = delete;
  TSidWrapper& operator=(const TSidWrapper&) = delete;

  // Producer side.
  void writeRegister(uint8_t reg, uint8_t value, int32_t cycles) {
    if (skipSilence_ || volumeFix_) {
      holdWrite(reg, value, static_cast<uint32_t>(cycles));
    } else {
      queueWrite(reg, value, static_cast<uint32_t>(cycles));
    }
    sidModel_.write(reg, value, cycles);
    lastWritten_[reg] = value;
  }

  uint8_t readRegister(uint8_t reg, int32_t cycles) {
    idleCycles_ += static_cast<uint32_t>(cycles);
    const uint8_t value = sidModel_.read(reg, cycles);
    enqueue(static_cast<uint8_t>(reg | 0x80), value, static_cast<uint32_t>(cycles));
    return value;
  }

  void clock(int32_t cycles) {
    idleCycles_ += static_cast<uint32_t>(cycles);
    sidModel_.clock(cycles);
  }

  void queueRead(uint8_t reg, uint8_t value, int32_t cycles) {
    idleCycles_ += static_cast<uint32_t>(cycles);
    // The model does not answer this read, but its time must not fall behind.
    sidModel_.clock(cycles);
    enqueue(static_cast<uint8_t>(reg | 0x80), value, static_cast<uint32_t>(cycles));
  }

  void pushMarker(uint8_t marker) { enqueue(marker, 0, 0); }

  void reset();
  void restart();
  void setOptions(bool skipSilence, bool volumeFix) {
    skipSilence_ = skipSilence;
    volumeFix_ = volumeFix;
  }
  void setMusMode(bool musMode) { musMode_ = musMode; }
  bool clockRunning() const { return clockRunning_; }
  void setClockRunning(bool running) { clockRunning_ = running; }
  uint8_t lastWritten(uint8_t reg) const { return lastWritten_[reg]; }

  // Consumer side. Peeks and gets give 0 on an empty ring.
  bool empty() const { return queueCount_ == 0; }
  int32_t count() const { return static_cast<int32_t>(queueCount_); }
  uint8_t peekRegister() const { return empty() ? 0 : queueRegister_[queueHead_]; }
  uint8_t peekData() const { return empty() ? 0 : queueData_[queueHead_]; }
  uint32_t peekDelay() const { return empty() ? 0 : queueDelay_[queueHead_]; }
  uint8_t getRegister() const { return peekRegister() & 0x7F; }
  uint8_t getData() const { return peekData(); }
  uint32_t getCycles() const { return peekDelay() > 65535 ? 65535 : peekDelay(); }
  void pop() {
    if (empty()) return;
    queuedCycles_ -= queueDelay_[queueHead_];
    queueHead_ = (queueHead_ + 1) & queueMask_;
    --queueCount_;
  }
  // Splits a delay that does not fit the caller's 16-bit wait into 65535-cycle pieces.
  uint32_t takeDelayChunk() {
    if (empty()) return 0;
    uint32_t& delay = queueDelay_[queueHead_];
    if (delay >= 65536) {
      delay -= 65535;
      queuedCycles_ -= 65535;
    }
    return delay;
  }
  int64_t queuedCycles() const { return queuedCycles_; }

 private:
  static constexpr uint32_t initialCapacity = 65536;
  static constexpr uint32_t pendingCapacity = 65536;

  void enqueue(uint8_t reg, uint8_t data, uint32_t delay) {
    if (queueCount_ == queueMask_ + 1) grow();
    queueRegister_[queueTail_] = reg;
    queueData_[queueTail_] = data;
    queueDelay_[queueTail_] = delay;
    queuedCycles_ += delay;
    queueTail_ = (queueTail_ + 1) & queueMask_;
    ++queueCount_;
  }

  // Delays are kept modulo 2^32 like the entries that carry them, so a sum of
  // clock() calls longer than 2^31 cycles still gives the right delay.
  void queueWrite(uint8_t reg, uint8_t value, uint32_t cycles) {
    enqueue(reg, value, cycles + idleCycles_);
    idleCycles_ = 0;
  }

  void grow();
  void holdWrite(uint8_t reg, uint8_t value, uint32_t delay);
  void flushPending();

  std::vector<uint8_t> queueRegister_;
  std::vector<uint8_t> queueData_;
  std::vector<uint32_t> queueDelay_;
  uint32_t queueMask_ = initialCapacity - 1;
  uint32_t queueHead_ = 0;
  uint32_t queueTail_ = 0;
  uint32_t queueCount_ = 0;
  int64_t queuedCycles_ = 0;

  std::vector<uint8_t> pendingRegister_;
  std::vector<uint8_t> pendingData_;
  std::vector<uint32_t> pendingDelay_;
  uint32_t pendingCount_ = 0;
  uint64_t pendingTotal_ = 0;

  std::array<uint8_t, 256> shadowRegisters_{};
  std::array<uint8_t, 256> changeCounts_{};
  std::array<uint8_t, 256> lastWritten_{};
  std::array<bool, 3> gateSeen_{};
  std::array<bool, 3> waveformSeen_{};
  bool musMode_ = false;
  bool volumeSeen_ = false;
  bool clockRunning_ = true;
  bool skipSilence_ = false;
  bool volumeFix_ = false;
  int32_t volumeChanges_ = 0;
  int32_t volumeSwitches_ = 0;
  uint8_t lastVolume_ = 15;
  uint32_t idleCycles_ = 0;

  TSID6581 sidModel_;
};
