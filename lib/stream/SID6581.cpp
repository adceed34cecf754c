#include "SID6581.h"

namespace {

// Envelope rate counter periods for the 4-bit attack rates. Decay and release use
// three times these, the average slow-down of the chip's exponential decay.
constexpr int32_t kRateTable[16] = {9,   32,  63,   95,   149,  220,   267,   313,
                                    392, 977, 1954, 3126, 3907, 11720, 19532, 31251};

// The rate counter is 15 bits wide: a period it can no longer reach makes it run
// through 0x8000 before it matches again.
constexpr int32_t kCounterWrap = 0x7FFF;
constexpr int32_t kCounterLimit = 0x8000;

// x^23 + x^18 + 1 is primitive, so every non-zero noise state recurs after exactly
// 2^23 - 1 shifts (and the all-zero state after one).
constexpr uint32_t kNoisePeriod = 0x7FFFFF;

constexpr uint32_t kBit19 = 0x80000;

}  // namespace

void TSID6581::reset() {
  dataBus_ = 0;
  frequency_ = 0;
  pulseWidth_ = 0;
  control_ = 0;
  test_ = false;
  oscillator3_ = 0;
  noiseRegister_ = 0x7FFFFC;
  attackPeriod_ = 9;
  decayPeriod_ = 27;
  releasePeriod_ = 27;
  sustainLevel_ = 0;
  rateCounter_ = 0;
  ratePeriod_ = 27;
  envelopeLevel_ = 0;
  envelopeState_ = TEnvelopeState::none;
  envelopeFrozen_ = true;
}

void TSID6581::clock(int32_t cycles) {
  if (cycles <= 0) return;
  const auto n = static_cast<uint32_t>(cycles);
  if (!test_) {
    const uint32_t before = oscillator3_;
    oscillator3_ = (before + static_cast<uint32_t>(uint64_t{frequency_} * n)) & 0xFFFFFF;
    // The noise register shifts while bit 19 stays set from the old phase on; with a
    // frequency below 2^19 the phase cannot jump over the clear half that follows.
    if (before & kBit19) {
      uint32_t steps = n;
      const uint32_t distance = ((before | 0xFFFFF) + 1) - before;  // to the end of the set half
      // A phase that leaves the set half within the n cycles stops the shifting
      // there, fewer than n steps on; only then is a division needed.
      if (frequency_ != 0 && distance <= uint64_t{n - 1} * frequency_)
        steps = (distance + frequency_ - 1) / frequency_;
      stepNoise(steps);
    }
  }
  stepEnvelope(n);
}

void TSID6581::stepNoise(uint32_t steps) {
  // After 32 shifts all 32 bits come from the generated sequence, which repeats.
  if (steps >= kNoisePeriod + 32) steps = 32 + (steps - 32) % kNoisePeriod;
  uint32_t r = noiseRegister_;
  // Up to 18 new bits depend only on bits already present (taps 22 and 17).
  for (; steps >= 18; steps -= 18) r = r << 18 | ((r >> 5 ^ r) & 0x3FFFF);
  if (steps > 0) {
    const uint32_t k = steps;
    r = r << k | ((r >> (23 - k) ^ r >> (18 - k)) & ((1u << k) - 1));
  }
  noiseRegister_ = r;
}

void TSID6581::stepEnvelope(uint32_t cycles) {
  while (cycles > 0) {
    const int64_t counting = int64_t{ratePeriod_} - 1 - rateCounter_;
    if (counting > 0) {
      if (counting >= cycles) {
        rateCounter_ += static_cast<int32_t>(cycles);
        return;
      }
      rateCounter_ += static_cast<int32_t>(counting);
      cycles -= static_cast<uint32_t>(counting);
    }
    envelopeEvent();
    if (--cycles == 0) return;

    // A level that no longer moves leaves only the counter's own cycle to follow.
    const bool still = envelopeFrozen_ || envelopeState_ == TEnvelopeState::none ||
                       (envelopeState_ == TEnvelopeState::decaySustain &&
                        envelopeLevel_ == sustainLevel_);
    const int32_t restart = ratePeriod_ >= kCounterLimit ? 1 : 0;
    if (still && rateCounter_ == restart) {
      const auto period = static_cast<uint32_t>(ratePeriod_ - restart);
      if (cycles >= period) cycles %= period;  // a slow rate's period often outlasts the stretch
    }
  }
}

// The cycle in which the rate counter reaches its period.
void TSID6581::envelopeEvent() {
  if (++rateCounter_ >= kCounterLimit) {
    rateCounter_ = 1;
    return;
  }
  rateCounter_ = 0;
  if (!envelopeFrozen_) {
    switch (envelopeState_) {
      case TEnvelopeState::attack:
        if (++envelopeLevel_ == 0xFF) {
          envelopeState_ = TEnvelopeState::decaySustain;
          setRatePeriod(decayPeriod_);
        }
        break;
      case TEnvelopeState::decaySustain:
        if (envelopeLevel_ != sustainLevel_) --envelopeLevel_;
        break;
      case TEnvelopeState::release:
        --envelopeLevel_;
        setRatePeriod(3);
        break;
      case TEnvelopeState::none:
        break;
    }
  }
  if (envelopeLevel_ == 0) envelopeFrozen_ = true;
}

void TSID6581::setRatePeriod(int32_t period) {
  ratePeriod_ = period;
  if (ratePeriod_ - rateCounter_ > kCounterWrap) rateCounter_ += kCounterWrap;
  if (rateCounter_ >= ratePeriod_) rateCounter_ -= kCounterWrap;
}

void TSID6581::write(uint8_t reg, uint8_t value, int32_t cycles) {
  dataBus_ = value;
  clock(cycles);
  switch (reg) {
    case 14:
      frequency_ = static_cast<uint16_t>((frequency_ & 0xFF00) | value);
      break;
    case 15:
      frequency_ = static_cast<uint16_t>((frequency_ & 0x00FF) | value << 8);
      break;
    case 16:
      pulseWidth_ = static_cast<uint16_t>((pulseWidth_ & 0xF00) | value);
      break;
    case 17:
      pulseWidth_ = static_cast<uint16_t>((pulseWidth_ & 0x0FF) | (value & 0x0F) << 8);
      break;
    case 18: {
      const bool wasGated = control_ & 0x01;
      const bool gated = value & 0x01;
      if (wasGated && !gated) {
        envelopeState_ = TEnvelopeState::release;
        setRatePeriod(releasePeriod_);
      } else if (!wasGated && gated) {
        envelopeState_ = TEnvelopeState::attack;
        setRatePeriod(attackPeriod_);
        envelopeFrozen_ = false;
      }
      control_ = value;
      // Noise combined with another waveform shorts some shift register bits to 0.
      if ((value & 0xF0) > 0x80) noiseRegister_ &= 0xAEF76B;
      const bool test = value & 0x08;
      if (!test_ && test) {
        oscillator3_ = 0;
        noiseRegister_ |= 3;
      }
      test_ = test;
      break;
    }
    case 19:
      attackPeriod_ = kRateTable[value >> 4];
      decayPeriod_ = 3 * kRateTable[value & 0x0F];
      if (envelopeState_ == TEnvelopeState::attack) {
        setRatePeriod(attackPeriod_);
      } else if (envelopeState_ == TEnvelopeState::decaySustain) {
        setRatePeriod(decayPeriod_);
      }
      break;
    case 20:
      sustainLevel_ = (value >> 4) * 17;
      releasePeriod_ = 3 * kRateTable[value & 0x0F];
      if (envelopeState_ == TEnvelopeState::release) setRatePeriod(releasePeriod_);
      break;
    default:
      break;
  }
}

uint8_t TSID6581::oscillatorOutput() const {
  const uint8_t c = control_;
  const uint32_t a = oscillator3_;
  if (c < 0x10) return 0;
  uint8_t out = 0xFF;
  if (c & 0x10) out &= static_cast<uint8_t>((a >> 15) ^ ((a & 0x800000) ? 0xFF : 0));
  if (c & 0x20) out &= static_cast<uint8_t>(a >> 16);
  if ((c & 0x40) && !test_ && (a >> 12) < pulseWidth_) out = 0;
  if (c & 0x80) {
    const uint32_t r = noiseRegister_;
    const auto noise = static_cast<uint8_t>((r >> 22 & 1) << 7 | (r >> 20 & 1) << 6 | (r >> 16 & 1) << 5 |
                                            (r >> 13 & 1) << 4 | (r >> 11 & 1) << 3 | (r >> 7 & 1) << 2 |
                                            (r >> 4 & 1) << 1 | (r >> 2 & 1));
    out &= noise;
  }
  return out;
}

uint8_t TSID6581::read(uint8_t reg, int32_t cycles) {
  clock(cycles);
  switch (reg) {
    case 25:
    case 26:
      return 0xFF;  // no paddles connected
    case 27:
      return oscillatorOutput();
    case 28:
      return envelopeLevel_;
    default:
      return dataBus_;  // write-only registers show what was last driven on the bus
  }
}
