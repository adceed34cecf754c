// TSID6581: the register model behind SID reads.
//
// The library makes no sound, but tunes read oscillator 3 ($D41B) and envelope 3
// ($D41C), often as a random source or a timer, so voice 3 is followed closely enough
// to answer those reads. The owning TSidWrapper feeds every access in time order:
//
//   TSID6581 sid;                      // reset state
//   sid.write(18, 0x21, cycles);       // advance by cycles, then apply the write
//   sid.clock(idleCycles);             // time passing without an access
//   uint8_t env = sid.read(28, cycles);
//
// Every call takes the cycles since the previous one. The machine hands over idle time
// in large pieces, so clock() jumps over whole envelope rate periods and shifts the
// noise register many bits at a time instead of stepping cycle by cycle.
#pragma once

#include <cstdint>

class TSID6581 {
 public:
  TSID6581() { reset(); }

  void reset();
  void clock(int32_t cycles);
  void write(uint8_t reg, uint8_t value, int32_t cycles);
  uint8_t read(uint8_t reg, int32_t cycles);

 private:
  enum class TEnvelopeState : uint8_t { attack = 0, decaySustain = 1, release = 3, none = 13 };

  void stepNoise(uint32_t steps);
  void stepEnvelope(uint32_t cycles);
  void envelopeEvent();
  void setRatePeriod(int32_t period);
  uint8_t oscillatorOutput() const;

  uint8_t dataBus_ = 0;
  uint16_t frequency_ = 0;
  uint16_t pulseWidth_ = 0;
  uint8_t control_ = 0;
  bool test_ = false;
  uint32_t oscillator3_ = 0;
  uint32_t noiseRegister_ = 0;
  int32_t attackPeriod_ = 0;
  int32_t decayPeriod_ = 0;
  int32_t releasePeriod_ = 0;
  int32_t sustainLevel_ = 0;
  int32_t rateCounter_ = 0;
  int32_t ratePeriod_ = 0;
  uint8_t envelopeLevel_ = 0;
  TEnvelopeState envelopeState_ = TEnvelopeState::none;
  bool envelopeFrozen_ = true;
};
