#include "SID6581.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The register model stepped literally, one cycle and one noise shift at a time, to
// hold the model's shortcuts against.
struct TReferenceSid {
  static constexpr int32_t table[16] = {9,   32,  63,   95,   149,  220,   267,   313,
                                        392, 977, 1954, 3126, 3907, 11720, 19532, 31251};
  enum { attack = 0, decay = 1, release = 3, none = 13 };
  uint8_t bus = 0, control = 0, level = 0;
  uint16_t frequency = 0, pulseWidth = 0;
  bool test = false, frozen = true;
  uint32_t osc = 0, noise = 0x7FFFFC;
  int32_t attackPeriod = 9, decayPeriod = 27, releasePeriod = 27, sustain = 0;
  int32_t counter = 0, period = 27, state = none;

  void setPeriod(int32_t p) {
    period = p;
    if (period - counter > 0x7FFF) counter += 0x7FFF;
    if (counter >= period) counter -= 0x7FFF;
  }
  void envelopeCycle() {
    if (++counter < period) return;
    if (counter >= 0x8000) {
      counter = 1;
      return;
    }
    counter = 0;
    if (!frozen && state == attack && ++level == 0xFF) {
      state = decay;
      setPeriod(decayPeriod);
    } else if (!frozen && state == decay && level != sustain) {
      --level;
    } else if (!frozen && state == release) {
      --level;
      setPeriod(3);
    }
    if (level == 0) frozen = true;
  }
  void clock(int32_t n) {
    if (!test) {
      uint64_t s = osc;
      osc = static_cast<uint32_t>((osc + uint64_t{frequency} * n) & 0xFFFFFF);
      for (int32_t budget = n; budget > 0 && (s & 0x80000); --budget, s += frequency)
        noise = noise << 1 | ((noise >> 22 ^ noise >> 17) & 1);
    }
    for (int32_t i = 0; i < n; ++i) envelopeCycle();
  }
  void write(uint8_t reg, uint8_t v, int32_t n) {
    bus = v;
    clock(n);
    if (reg == 14) frequency = static_cast<uint16_t>((frequency & 0xFF00) | v);
    if (reg == 15) frequency = static_cast<uint16_t>((frequency & 0xFF) | v << 8);
    if (reg == 16) pulseWidth = static_cast<uint16_t>((pulseWidth & 0xF00) | v);
    if (reg == 17) pulseWidth = static_cast<uint16_t>((pulseWidth & 0xFF) | (v & 15) << 8);
    if (reg == 18) {
      if ((control & 1) && !(v & 1)) state = release, setPeriod(releasePeriod);
      if (!(control & 1) && (v & 1)) state = attack, setPeriod(attackPeriod), frozen = false;
      control = v;
      if ((v & 0xF0) > 0x80) noise &= 0xAEF76B;
      if (!test && (v & 8)) osc = 0, noise |= 3;
      test = v & 8;
    }
    if (reg == 19) {
      attackPeriod = table[v >> 4];
      decayPeriod = 3 * table[v & 15];
      if (state == attack) setPeriod(attackPeriod);
      if (state == decay) setPeriod(decayPeriod);
    }
    if (reg == 20) {
      sustain = (v >> 4) * 17;
      releasePeriod = 3 * table[v & 15];
      if (state == release) setPeriod(releasePeriod);
    }
  }
  uint8_t read(uint8_t reg, int32_t n) {
    clock(n);
    if (reg == 25 || reg == 26) return 0xFF;
    if (reg == 28) return level;
    if (reg != 27) return bus;
    if (control < 0x10) return 0;
    uint8_t out = 0xFF;
    if (control & 0x10) out &= static_cast<uint8_t>(osc >> 15 ^ (osc >> 23 ? 0xFF : 0));
    if (control & 0x20) out &= static_cast<uint8_t>(osc >> 16);
    if ((control & 0x40) && !test && (osc >> 12) < pulseWidth) out = 0;
    if (control & 0x80) {
      uint8_t n8 = 0;
      for (int bit : {22, 20, 16, 13, 11, 7, 4, 2}) n8 = static_cast<uint8_t>(n8 << 1 | (noise >> bit & 1));
      out &= n8;
    }
    return out;
  }
};

// Shows the noise waveform and reads enough single-cycle steps of both models to see
// all 23 bits of the shift register.
void expectSameState(TSID6581& sid, TReferenceSid& ref, const char* where) {
  sid.write(18, 0x80, 1), ref.write(18, 0x80, 1);
  for (int i = 0; i < 24; ++i) {
    ASSERT_EQ(sid.read(27, 1), ref.read(27, 1)) << where << ", step " << i;
    ASSERT_EQ(sid.read(28, 0), ref.read(28, 0)) << where << ", step " << i;
  }
}

}  // namespace

TEST(SID6581, ReadsOfOscillatorPaddlesAndBus) {
  TSID6581 sid;
  EXPECT_EQ(sid.read(27, 0), 0);
  sid.write(14, 0x01, 1);        // frequency 1: the phase counts cycles
  sid.write(18, 0x20, 0x123456);  // sawtooth from here
  EXPECT_EQ(sid.read(27, 0), 0x12);
  sid.write(18, 0x00, 0);
  EXPECT_EQ(sid.read(27, 0), 0);  // no waveform selected
  EXPECT_EQ(sid.read(25, 0), 0xFF);
  EXPECT_EQ(sid.read(26, 0), 0xFF);
  sid.write(5, 0x3C, 1);
  EXPECT_EQ(sid.read(0, 0), 0x3C);  // last value written, to any register
  sid.write(18, 0x28, 1);
  EXPECT_EQ(sid.read(27, 5), 0);  // test bit holds the accumulator at 0
}

TEST(SID6581, AttackRisesEveryNineCyclesThenDecaysToSustain) {
  TSID6581 sid;
  sid.write(19, 0x00, 1);  // attack 9 cycles, decay 27
  sid.write(20, 0x80, 1);  // sustain 0x88
  sid.write(18, 0x01, 1);
  while (sid.read(28, 1) == 0) {
  }
  for (int level = 1; level < 0xFF; ++level) {
    ASSERT_EQ(sid.read(28, 8), level);
    ASSERT_EQ(sid.read(28, 1), level + 1);
  }
  for (int level = 0xFF; level > 0x88; --level) {
    ASSERT_EQ(sid.read(28, 26), level);
    ASSERT_EQ(sid.read(28, 1), level - 1);
  }
  EXPECT_EQ(sid.read(28, 100000), 0x88);
}

TEST(SID6581, ReleaseFallsEveryThreeCyclesAfterItsFirstStep) {
  TSID6581 sid;
  sid.write(20, 0xF5, 1);  // sustain 0xFF, release period 3 * 220
  sid.write(18, 0x01, 1);
  sid.clock(9 * 256);
  ASSERT_EQ(sid.read(28, 0), 0xFF);
  sid.write(18, 0x00, 1);
  int waited = 1;
  while (sid.read(28, 1) == 0xFF) ++waited;
  EXPECT_LE(waited, 3 * 220);
  for (int level = 0xFE; level > 0; --level) {
    ASSERT_EQ(sid.read(28, 2), level);
    ASSERT_EQ(sid.read(28, 1), level - 1);
  }
  EXPECT_EQ(sid.read(28, 50000), 0);  // the envelope stays at 0
}

TEST(SID6581, LongClocksGiveTheSameStateAsSingleCycles) {
  // With frequency 0 and bit 19 of the phase set the noise shifts on every cycle, far
  // beyond one period of the shift register.
  TSID6581 sid;
  TReferenceSid ref;
  sid.write(15, 0x80, 1), ref.write(15, 0x80, 1);
  sid.write(18, 0x81, 16), ref.write(18, 0x81, 16);
  sid.write(15, 0x00, 15), ref.write(15, 0x00, 15);
  for (int32_t n : {0x7FFFFF + 31, 0x7FFFFF + 32, 0x7FFFFF + 33, 2 * 0x7FFFFF + 100}) {
    sid.clock(n), ref.clock(n);
    expectSameState(sid, ref, "long noise run");
  }
}

TEST(SID6581, RandomAccessesMatchTheCycleByCycleModel) {
  std::mt19937 rng(6581);
  const uint8_t regs[] = {14, 15, 16, 17, 18, 18, 18, 19, 20, 0, 24};
  for (int tune = 0; tune < 30; ++tune) {
    TSID6581 sid;
    TReferenceSid ref;
    for (int op = 0; op < 400; ++op) {
      const uint32_t pick = rng() % 100;
      const int32_t cycles = pick < 70 ? static_cast<int32_t>(rng() % 40)
                             : pick < 98 ? static_cast<int32_t>(rng() % 10000)
                                         : static_cast<int32_t>(rng() % 1500000);
      const uint8_t reg = regs[rng() % std::size(regs)];
      auto value = static_cast<uint8_t>(rng());
      if (reg == 18 && rng() % 8 != 0) value &= 0xF7;  // mostly without test
      if (reg == 15 && rng() % 2) value &= 0x03;       // slow oscillators too
      if (rng() % 4 == 0) {
        const auto r = static_cast<uint8_t>(25 + rng() % 5);
        ASSERT_EQ(sid.read(r, cycles), ref.read(r, cycles)) << "tune " << tune << " op " << op;
      } else if (rng() % 8 == 0) {
        sid.clock(cycles), ref.clock(cycles);
      } else {
        sid.write(reg, value, cycles), ref.write(reg, value, cycles);
      }
      ASSERT_EQ(sid.read(27, 0), ref.read(27, 0)) << "tune " << tune << " op " << op;
      ASSERT_EQ(sid.read(28, 0), ref.read(28, 0)) << "tune " << tune << " op " << op;
    }
    expectSameState(sid, ref, "end of random tune");
  }
}
