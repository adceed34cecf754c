#include "DataHashCalc.h"

#include <algorithm>

namespace {

// The store stops growing once it holds this many records; one of them always
// stays free, hence maxStoredWrites.
constexpr int32_t capacityLimit = 25000000;

// Gaps below this many cycles between two writes to one register count as a
// fast run; the 20th such gap in a row lets the register into the filtered hash.
constexpr uint32_t burstGap = 982;
constexpr uint8_t burstLength = 20;

// Voice of a control register (4, 11, 18) as 0, 1, 2; -1 for any other register.
constexpr int controlVoice(uint8_t reg) {
  switch (reg) {
    case 4: return 0;
    case 11: return 1;
    case 18: return 2;
    default: return -1;
  }
}

// A control value that sounds the voice: gate or test bit, and a waveform.
constexpr bool keysVoice(uint8_t value) { return (value & 0x09) != 0 && (value & 0xF0) != 0; }

// Control, attack/decay and sustain/release of the three voices, and mode/volume:
// the registers the filter always looks at.
constexpr std::array<bool, 256> envelopeRegisters = [] {
  std::array<bool, 256> table{};
  for (int reg : {4, 5, 6, 11, 12, 13, 18, 19, 20, 24}) table[reg] = true;
  return table;
}();

// The writes at the front of a long pass are the tune settling in; how many are
// left out depends on the length alone.
constexpr int32_t skipCount(int32_t stored) {
  if (stored > 4608) return 1536;
  if (stored > 1024) return 512;
  if (stored > 512) return 256;
  if (stored > 256) return 128;
  return 0;
}

}  // namespace

TDataHashCalc::TDataHashCalc() { Reset(); }

void TDataHashCalc::Reset() {
  // The first block stays: every pass needs it, so dropping it would only
  // trade the same 3 MB back and forth with the allocator.
  if (blocks_.empty()) blocks_.push_back(std::make_unique_for_overwrite<TBlock>());
  blocks_.resize(1);
  capacity_ = blockRecords;
  writeCount_ = 0;
  md5_ = TMd5Stream();
  started_ = false;
  preStartWrites_ = 0;
  lastValue_.fill(0);
  changeCount_.fill(0);
  voiceActive_.fill(false);
  volumeMidChanges_ = 0;
  volumeEdgeChanges_ = 0;
  lastVolume_ = 0;
}

bool TDataHashCalc::CheckStart(uint8_t reg, uint8_t value) {
  if (started_) return false;
  const auto start = [this] {
    started_ = true;
    return true;
  };

  if (++preStartWrites_ > 65535) return start();

  // A keyed voice whose frequency is written again (non-zero) is playing a note.
  for (int voice = 0; voice < 3; ++voice) {
    const int frequencyLow = voice * 7;
    if (voiceActive_[voice] && (reg == frequencyLow || reg == frequencyLow + 1) && value != 0) return start();
  }

  // Control registers count every write: re-writing the same gate value is a new note.
  if (value != lastValue_[reg] || controlVoice(reg) >= 0) ++changeCount_[reg];
  if (value != 0 || reg == 23) lastValue_[reg] = value;
  const bool anyVoice = voiceActive_[0] || voiceActive_[1] || voiceActive_[2];
  if (anyVoice && changeCount_[reg] > 4) return start();

  if (reg == 24) {
    // Counts from earlier writes decide: a player that fades or clicks the
    // volume before it plays is started only by the write after that.
    if (volumeMidChanges_ > 2 || volumeEdgeChanges_ > 4) return start();
    if (value != lastVolume_) {
      lastVolume_ = value;
      const uint8_t volume = value & 0x0F;
      if (volume == 0 || volume == 15)
        ++volumeEdgeChanges_;
      else
        ++volumeMidChanges_;
    }
    return false;
  }

  const int voice = controlVoice(reg);
  if (value == 0 || voice < 0 || !keysVoice(value)) return false;
  voiceActive_[voice] = true;
  const int frequencyLow = voice * 7;
  if (lastValue_[frequencyLow] != 0 || lastValue_[frequencyLow + 1] != 0) return start();
  return false;
}

bool TDataHashCalc::AddWrite(uint8_t reg, uint8_t value, uint32_t time) {
  if (writeCount_ >= capacity_ - 1) {
    if (capacity_ >= capacityLimit) return false;
    blocks_.push_back(std::make_unique_for_overwrite<TBlock>());
    capacity_ += blockRecords;
  }
  TBlock& block = *blocks_[writeCount_ / blockRecords];
  const int32_t slot = writeCount_ % blockRecords;
  block.pairs[slot] = static_cast<uint16_t>(reg | (value << 8));
  block.times[slot] = time;
  ++writeCount_;
  return true;
}

std::string TDataHashCalc::GetHash(bool filtered) {
  const int32_t skip = skipCount(writeCount_);
  std::array<uint32_t, 256> lastTime{};
  std::array<uint8_t, 256> burst{};

  int32_t index = 0;
  for (const auto& block : blocks_) {
    const int32_t count = std::min(blockRecords, writeCount_ - index);
    for (int32_t slot = 0; slot < count; ++slot, ++index) {
      const uint8_t reg = static_cast<uint8_t>(block->pairs[slot]);
      const uint8_t value = static_cast<uint8_t>(block->pairs[slot] >> 8);
      bool kept = envelopeRegisters[reg];
      if (!kept) {
        // Measured for every write, hashed or not: the filter must not change
        // what counts as a fast run.
        const uint32_t time = block->times[slot];
        if (time - lastTime[reg] < burstGap)
          ++burst[reg];
        else
          burst[reg] = 0;
        lastTime[reg] = time;
        if (burst[reg] >= burstLength) {
          burst[reg] = burstLength;
          kept = true;
        }
      }
      if (filtered) {
        if (!kept) continue;
        // A voice's control and envelope writes count only once it sounds;
        // fast runs on its other registers and volume writes pass as they are.
        if (reg <= 20 && reg % 7 >= 4) {
          const int voice = reg / 7;
          if (reg % 7 == 4 && keysVoice(value)) voiceActive_[voice] = true;
          if (!voiceActive_[voice]) continue;
        }
      }
      if (index < skip) continue;
      md5_.write(reg);
      md5_.write(value);
    }
    if (index >= writeCount_) break;
  }
  return md5_.digest();
}
