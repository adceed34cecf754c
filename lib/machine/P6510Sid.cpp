// What a read or write of $D400-$D7FF does: the hand-off to the SID stage and,
// in playSID's environment, the extended sample registers with their sample
// playback and Galway noise, which sound by rewriting the volume register.
#include <algorithm>

#include "P6510.h"
#include "SidWrapper.h"

namespace {

constexpr uint8_t volumeRegister = 0x18;

// playSID's registers sit in the unused top of each 32-byte SID image.
bool isSampleRegister(uint16_t address) {
  const unsigned offset = address & 0xFF;
  return (address & 0xFE00) == 0xD400 && offset < 0x80 && (offset & 0x1F) >= 0x1D;
}

uint16_t word(const std::array<uint8_t, 0x80>& regs, unsigned offset) {
  return static_cast<uint16_t>(regs[offset] | regs[offset + 1] << 8);
}

// A counter that went below zero reloads with the overshoot carried into the
// next period, as the CIA timers do.
int32_t reloadCounter(int32_t counter, int32_t period) {
  const int64_t overshoot = -static_cast<int64_t>(counter) - 1;
  return static_cast<int32_t>(period - overshoot % (static_cast<int64_t>(period) + 1));
}

}  // namespace

void T6510::sidWrite(uint16_t address, uint8_t value) {
  const uint8_t reg = (address & 0xF4FF) & 0x1F;
  if (conventions.playSid) {
    if (isSampleRegister(address)) {
      writeSampleRegister((address >> 8) & 1, address & 0x7F, value);
      return;
    }
  }
  if (reg == volumeRegister) {
    lastVolume = value;
    volumeIsZero = (value & 0x0F) == 0;
  }
  // playSID keeps its NMI sample routines away from the SID itself.
  if (conventions.playSid && nmiInService) return;
  handOffSidWrite(reg, value);
}

void T6510::handOffSidWrite(uint8_t reg, uint8_t value) {
  if (clearUsageOnFirstSid && !firstSidAccessSeen && reg != volumeRegister && value != 0) clearUsageMaps();
  sidFilter.write(reg, value, static_cast<int32_t>(std::max(cyclesSinceSid(), 1u)));
  sidAccessAt = executedCycles;
  lastSidWrite = value;
}

void T6510::clearUsageMaps() {
  // From here on only what the music itself touches counts; bytes the loader
  // or the set-up wrote before reading stay marked as loaded data.
  firstSidAccessSeen = true;
  for (uint8_t& usage : ramUsage) {
    if (usage & usageWrittenFirst) usage |= usageLoaded;
    usage &= usageLoaded;
  }
  romUsage.fill(0);
}

uint8_t T6510::sidRead(uint16_t address) {
  const uint8_t reg = address & 0x1F;
  if (reg == 0x19 || reg == 0x1A) return 0xFF;  // paddles: nothing connected
  if (reg == 0x1B || reg == 0x1C) {
    const uint8_t value = sidFilter.read(reg, static_cast<int32_t>(cyclesSinceSid()));
    sidAccessAt = executedCycles;
    return value;
  }
  // Write-only registers read back what is left on the data bus.
  sidFilter.queueRead(reg, lastSidWrite, static_cast<int32_t>(cyclesSinceSid()));
  sidAccessAt = executedCycles;
  return lastSidWrite;
}

// ---- playSID sample registers --------------------------------------------------

void T6510::writeSampleRegister(int channel, uint8_t offset, uint8_t value) {
  SampleChannel& ch = sampleChannels[channel];
  ch.registers[offset] = value;
  if (offset != 0x1D || value == 0) return;
  switch (value) {
    case 0xFF: startSample(channel, 0); break;
    case 0xFE: startSample(channel, 1); break;
    case 0xFC: startSample(channel, 2); break;
    case 0xFD: {
      const bool wasSounding = ch.running || sampleChannels[channel ^ 1].running;
      ch.running = false;
      ch.value = 0;
      if (wasSounding && !sampleChannels[channel ^ 1].running) handOffSidWrite(volumeRegister, lastVolume);
      break;
    }
    default:
      if (channel == 0) startGalway(value);
      break;
  }
}

void T6510::startSample(int channel, uint8_t shift) {
  SampleChannel& ch = sampleChannels[channel];
  const auto& r = ch.registers;
  const uint16_t start = word(r, 0x1E);
  const uint16_t end = word(r, 0x3D);
  if (end < start) return;
  ch.running = true;
  ch.shift = shift;
  ch.address = start;
  ch.endAddress = end;
  ch.repeatCount = r[0x3F];
  ch.repeatAddress = word(r, 0x7E);
  ch.nibbleOrder = r[0x7D] & 1;
  ch.phase = ch.nibbleOrder;
  // An octave beyond the period's width leaves nothing of it.
  ch.period = r[0x5F] >= 16 ? 0 : word(r, 0x5D) >> r[0x5F];
  ch.counter = ch.period;
}

void T6510::stepSample(int channel) {
  SampleChannel& ch = sampleChannels[channel];
  const uint8_t byte = ram[ch.address];
  const uint8_t selector = ch.registers[0x5F] != 0 ? ch.nibbleOrder : ch.phase;
  const uint8_t nibble = selector ? byte >> 4 : byte & 0x0F;
  ch.phase ^= 1;
  if (ch.phase == ch.nibbleOrder) ++ch.address;
  ch.value = static_cast<uint8_t>(nibble >> ch.shift);
  outputSamples(channel);
  if (ch.address < ch.endAddress) return;
  if (ch.repeatCount != 0xFF) {
    if (ch.repeatCount != 0) --ch.repeatCount;
    if (ch.repeatCount == 0) {
      ch.running = false;
      ch.value = 0;
      return;
    }
  }
  ch.address = ch.repeatAddress;
  ch.phase = ch.nibbleOrder;
}

void T6510::outputSamples(int channel) {
  const SampleChannel& ch = sampleChannels[channel];
  const SampleChannel& other = sampleChannels[channel ^ 1];
  unsigned output = ch.value + other.value;
  const unsigned volume = lastVolume & 0x0F;
  // A lone shifted channel is lifted towards the volume it replaces.
  if (volume <= 8 && ch.shift != 0 && !other.running) output += volume < 7 ? 6 : volume;
  handOffSidWrite(volumeRegister, static_cast<uint8_t>((lastVolume & 0xF0) | (output & 0x0F)));
}

void T6510::startGalway(uint8_t tones) {
  const auto& r = sampleChannels[0].registers;
  if (r[0x3D] == 0 || r[0x3F] == 0 || r[0x5D] == 0) return;
  galway.running = true;
  galway.volume = lastVolume & 0x0F;
  galway.remainingTones = tones - 1;
  galway.toneLength = r[0x3D];
  galway.period = ram[static_cast<uint16_t>(word(r, 0x1E) + tones - 1)] * (r[0x3F] + 1) + r[0x5D];
  galway.counter = galway.period;
  stepGalway();
}

void T6510::stepGalway() {
  const auto& r = sampleChannels[0].registers;
  if (--galway.toneLength < 0) {
    galway.toneLength = r[0x3D];
    if (--galway.remainingTones < 0) galway.running = false;
  }
  if (galway.running) {
    const uint16_t tone = static_cast<uint16_t>(word(r, 0x1E) + galway.remainingTones);
    galway.period = ram[tone] * (r[0x3F] + 1) + r[0x5D];
    galway.volume = (galway.volume + r[0x3E]) & 0x0F;
  } else {
    galway.volume = lastVolume & 0x0F;
  }
  handOffSidWrite(volumeRegister, static_cast<uint8_t>((lastVolume & 0xF0) | galway.volume));
}

void T6510::clockSamples(int32_t cycles) {
  for (int channel = 0; channel < 2; ++channel) {
    SampleChannel& ch = sampleChannels[channel];
    if (!ch.running) continue;
    ch.counter -= cycles;
    if (ch.counter >= 0) continue;
    ch.counter = reloadCounter(ch.counter, ch.period);
    stepSample(channel);
  }
  if (galway.running) {
    galway.counter -= cycles;
    if (galway.counter >= 0) return;
    // The tone that starts now runs for the period this step chooses.
    stepGalway();
    galway.counter = reloadCounter(galway.counter, galway.period);
  }
}

void T6510::stopSamples() {
  for (SampleChannel& ch : sampleChannels) {
    ch.running = false;
    ch.value = 0;
  }
  galway = GalwayNoise{};
}
