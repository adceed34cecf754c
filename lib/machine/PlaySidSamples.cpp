#include "PlaySidSamples.h"

#include <algorithm>

namespace {

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

TPlaySidSamples::Volumes TPlaySidSamples::write(int channel, uint8_t offset, uint8_t value, uint8_t volume) {
  Volumes out;
  Channel& ch = channels[channel];
  ch.registers[offset] = value;
  if (offset != 0x1D || value == 0) return out;
  switch (value) {
    case 0xFF: startSample(channel, 0); break;
    case 0xFE: startSample(channel, 1); break;
    case 0xFC: startSample(channel, 2); break;
    case 0xFD: {
      const bool wasSounding = ch.running || channels[channel ^ 1].running;
      ch.running = false;
      ch.value = 0;
      if (wasSounding && !channels[channel ^ 1].running) out.add(volume);
      break;
    }
    default:
      if (channel == 0) startGalway(value, volume, out);
      break;
  }
  return out;
}

void TPlaySidSamples::startSample(int channel, uint8_t shift) {
  Channel& ch = channels[channel];
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

void TPlaySidSamples::stepSample(int channel, uint8_t volume, Volumes& out) {
  Channel& ch = channels[channel];
  const uint8_t byte = ram_[ch.address];
  const uint8_t selector = ch.registers[0x5F] != 0 ? ch.nibbleOrder : ch.phase;
  const uint8_t nibble = selector ? byte >> 4 : byte & 0x0F;
  ch.phase ^= 1;
  if (ch.phase == ch.nibbleOrder) ++ch.address;
  ch.value = static_cast<uint8_t>(nibble >> ch.shift);

  const Channel& other = channels[channel ^ 1];
  unsigned output = ch.value + other.value;
  const unsigned level = volume & 0x0F;
  // A lone shifted channel is lifted towards the volume it replaces.
  if (level <= 8 && ch.shift != 0 && !other.running) output += level < 7 ? 6 : level;
  out.add(static_cast<uint8_t>((volume & 0xF0) | (output & 0x0F)));

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

void TPlaySidSamples::startGalway(uint8_t tones, uint8_t volume, Volumes& out) {
  const auto& r = channels[0].registers;
  if (r[0x3D] == 0 || r[0x3F] == 0 || r[0x5D] == 0) return;
  galway.running = true;
  galway.volume = volume & 0x0F;
  galway.remainingTones = tones - 1;
  galway.toneLength = r[0x3D];
  galway.period = ram_[static_cast<uint16_t>(word(r, 0x1E) + tones - 1)] * (r[0x3F] + 1) + r[0x5D];
  galway.counter = galway.period;
  stepGalway(volume, out);
}

void TPlaySidSamples::stepGalway(uint8_t volume, Volumes& out) {
  const auto& r = channels[0].registers;
  if (--galway.toneLength < 0) {
    galway.toneLength = r[0x3D];
    if (--galway.remainingTones < 0) galway.running = false;
  }
  if (galway.running) {
    const uint16_t tone = static_cast<uint16_t>(word(r, 0x1E) + galway.remainingTones);
    galway.period = ram_[tone] * (r[0x3F] + 1) + r[0x5D];
    galway.volume = (galway.volume + r[0x3E]) & 0x0F;
  } else {
    galway.volume = volume & 0x0F;
  }
  out.add(static_cast<uint8_t>((volume & 0xF0) | galway.volume));
}

TPlaySidSamples::Volumes TPlaySidSamples::clock(int32_t cycles, uint8_t volume) {
  Volumes out;
  for (int channel = 0; channel < 2; ++channel) {
    Channel& ch = channels[channel];
    if (!ch.running) continue;
    ch.counter -= cycles;
    if (ch.counter >= 0) continue;
    ch.counter = reloadCounter(ch.counter, ch.period);
    stepSample(channel, volume, out);
  }
  if (galway.running) {
    galway.counter -= cycles;
    if (galway.counter >= 0) return out;
    // The tone that starts now runs for the period this step chooses.
    stepGalway(volume, out);
    galway.counter = reloadCounter(galway.counter, galway.period);
  }
  return out;
}

int64_t TPlaySidSamples::cyclesToStep() const {
  int64_t next = INT64_MAX;
  for (const Channel& ch : channels)
    if (ch.running) next = std::min<int64_t>(next, ch.counter);
  if (galway.running) next = std::min<int64_t>(next, galway.counter);
  return next;
}

void TPlaySidSamples::stop() {
  for (Channel& ch : channels) {
    ch.running = false;
    ch.value = 0;
  }
  galway = GalwayNoise{};
}
