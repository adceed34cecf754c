#include "SidWrapper.h"

#include <algorithm>

namespace {

constexpr uint8_t kVolumeRegister = 24;
constexpr uint8_t kFilterModeRegister = 23;

// Held writes keep their spacing unless together they span more than ten PAL frames;
// then they are packed at most 32 cycles apart.
constexpr uint64_t kCompressLimit = 196560;
constexpr uint32_t kReleaseDelay = 32;

constexpr bool isControlRegister(uint8_t reg) { return reg == 4 || reg == 11 || reg == 18; }

}  // namespace

TSidWrapper::TSidWrapper()
    : queueRegister_(initialCapacity),
      queueData_(initialCapacity),
      queueDelay_(initialCapacity),
      pendingRegister_(pendingCapacity),
      pendingData_(pendingCapacity),
      pendingDelay_(pendingCapacity) {
  reset();
}

void TSidWrapper::reset() {
  queueHead_ = 0;
  queueTail_ = 0;
  queueCount_ = 0;
  queuedCycles_ = 0;
  pendingCount_ = 0;
  pendingTotal_ = 0;
  idleCycles_ = 0;
  skipSilence_ = false;
  volumeFix_ = false;
  volumeSeen_ = false;
  clockRunning_ = true;
  volumeChanges_ = 0;
  volumeSwitches_ = 0;
  lastVolume_ = 15;
  shadowRegisters_.fill(0);
  changeCounts_.fill(0);
  gateSeen_.fill(false);
  waveformSeen_.fill(false);
  musMode_ = false;
  sidModel_.reset();
}

// After a key press the tune starts over: whatever it queued before is dropped, and the
// caller is given a volume to start from, then the marker.
void TSidWrapper::restart() {
  volumeChanges_ = 0;
  reset();
  writeRegister(kVolumeRegister, lastVolume_, kReleaseDelay);
  lastVolume_ = 0;
  pushMarker(markerRestart);
}

void TSidWrapper::grow() {
  const uint32_t capacity = queueMask_ + 1;
  const uint32_t grown = capacity * 2;
  std::vector<uint8_t> registers(grown);
  std::vector<uint8_t> data(grown);
  std::vector<uint32_t> delays(grown);
  for (uint32_t i = 0; i < queueCount_; ++i) {
    const uint32_t from = (queueHead_ + i) & queueMask_;
    registers[i] = queueRegister_[from];
    data[i] = queueData_[from];
    delays[i] = queueDelay_[from];
  }
  queueRegister_.swap(registers);
  queueData_.swap(data);
  queueDelay_.swap(delays);
  queueMask_ = grown - 1;
  queueHead_ = 0;
  queueTail_ = queueCount_;
}

void TSidWrapper::holdWrite(uint8_t reg, uint8_t value, uint32_t delay) {
  pendingRegister_[pendingCount_] = reg;
  pendingData_[pendingCount_] = value;
  pendingDelay_[pendingCount_] = delay;
  ++pendingCount_;
  pendingTotal_ += delay;
  if (pendingCount_ >= pendingCapacity) {
    flushPending();
    return;
  }

  // Voice n: frequency at 7n and 7n + 1, control at 7n + 4.
  const int voice = reg < 21 ? reg / 7 : -1;
  const int voiceReg = reg % 7;

  // A new pitch on a voice that is already gated with a waveform is the music starting.
  if (voice >= 0 && voiceReg <= 1 && value != 0 && gateSeen_[voice] && waveformSeen_[voice]) {
    flushPending();
    return;
  }

  if (value != shadowRegisters_[reg] || isControlRegister(reg)) ++changeCounts_[reg];
  if (value != 0 || reg == kFilterModeRegister) shadowRegisters_[reg] = value;

  const bool anyGate = gateSeen_[0] || gateSeen_[1] || gateSeen_[2];
  if (anyGate && !musMode_ && changeCounts_[reg] > 4) {
    flushPending();
    return;
  }

  if (reg == kVolumeRegister) {
    volumeSeen_ = true;
    // Volume alone can carry the music (sample playback, volume sweeps).
    if (volumeChanges_ > 2 || volumeSwitches_ > 4) {
      flushPending();
      return;
    }
    if (value != lastVolume_) {
      lastVolume_ = value;
      const uint8_t level = value & 0x0F;
      if (level != 0 && level != 15) {
        ++volumeChanges_;
      } else {
        ++volumeSwitches_;
      }
    }
    return;
  }

  if (value == 0) return;

  // Gate or test bit: the voice is being started.
  if (voice >= 0 && voiceReg == 4 && (value & 0x09) != 0) {
    gateSeen_[voice] = true;
    if (!waveformSeen_[voice]) waveformSeen_[voice] = value >= 0x10;
    const int base = voice * 7;
    if (shadowRegisters_[base] != 0 || shadowRegisters_[base + 1] != 0) flushPending();
  }
}

void TSidWrapper::flushPending() {
  if (volumeFix_ && !volumeSeen_) queueWrite(kVolumeRegister, lastVolume_, kReleaseDelay);
  bool compress = false;
  if (skipSilence_) {
    if (pendingCount_ > 0) {
      pendingTotal_ -= pendingDelay_[0];
      pendingDelay_[0] = kReleaseDelay;
    }
    compress = pendingTotal_ > kCompressLimit;
  }
  for (uint32_t i = 0; i < pendingCount_; ++i) {
    uint32_t delay = pendingDelay_[i];
    if (compress) delay = std::min(delay, kReleaseDelay);
    queueWrite(pendingRegister_[i], pendingData_[i], delay);
  }
  pendingCount_ = 0;
  pendingTotal_ = 0;
  skipSilence_ = false;
  volumeFix_ = false;
}
