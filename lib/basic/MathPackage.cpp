#include "MathPackage.h"

#include <algorithm>

#include "BasicFloat.h"
#include "BasicRomLayout.h"
#include "P6510.h"

// Cycles: every routine adds what the C64 spends from its first instruction to
// its RTS, path by path (taken branches, page crossings of indexed reads); a
// routine calling another adds the JSR (6) or JMP (3) the C64 uses for it.

namespace {

using Layout = TBasicRomLayout;

// The zero page of the routines.
constexpr uint8_t TYPE_FLAG = 0x0D, ADDRESS = 0x14, INDEX = 0x22, COMPARE_POINTER = 0x24, PRODUCT = 0x26,
                  ADD_ROUNDING = 0x56, DECIMALS = 0x5D, TEN_EXPONENT = 0x5E, POINT_SEEN = 0x5F,
                  EXPONENT_SIGN = 0x60, FAC = 0x61, FAC_TOP = 0x62, FAC_SIGN = 0x66, NUMBER_SIGN = 0x67,
                  SHIFT_FILL = 0x68, ARG = 0x69, ARG_TOP = 0x6A, ARG_SIGN = 0x6E, SIGN_COMPARE = 0x6F,
                  ROUNDING = 0x70, TXTPTR = 0x7A, SEED = 0x8B;

constexpr uint8_t errIllegalQuantity = 14, errOverflow = 15, errDivisionByZero = 20;

// Constants the C64 keeps in its ROM (ours has its traps there instead), and
// where they lie: the routines leave their address in $22/$24.
constexpr std::array<uint8_t, 5> ten{0x84, 0x20, 0x00, 0x00, 0x00};
constexpr std::array<uint8_t, 5> minus32768{0x90, 0x80, 0x00, 0x00, 0x00};
constexpr std::array<uint8_t, 5> rndMultiplier{0x98, 0x35, 0x44, 0x7A, 0x00};
constexpr std::array<uint8_t, 5> rndAddend{0x68, 0x28, 0xB1, 0x46, 0x00};
constexpr uint16_t tenAt = 0xBAF9, minus32768At = 0xB1A5, rndMultiplierAt = 0xE08D, rndAddendAt = 0xE092;

// The cycles of one step on the trap: short enough that every raster line
// sees the end of a step after the VIC's bad line fetch begins (cycle 12).
constexpr uint32_t cyclesPerStep = 32;
// RND is entered through a JMP at $E097 that the C64 does not have.
constexpr uint32_t rndJump = 3;

// A read through ($zp),Y costs a cycle more when it crosses a page.
uint32_t crossing(uint16_t base, uint8_t index) { return (base & 0xFF) + index > 0xFF ? 1 : 0; }

}  // namespace

// ---- zero page and memory ----------------------------------------------------------

uint8_t TMathPackage::get(uint8_t address) {
  readMask.set(address);
  return z[address];
}

void TMathPackage::put(uint8_t address, uint8_t value) {
  writeMask.set(address);
  z[address] = value;
}

uint32_t TMathPackage::mantissa(uint8_t top) {
  return static_cast<uint32_t>(get(top)) << 24 | get(static_cast<uint8_t>(top + 1)) << 16 |
         get(static_cast<uint8_t>(top + 2)) << 8 | get(static_cast<uint8_t>(top + 3));
}

void TMathPackage::setMantissa(uint8_t top, uint32_t value) {
  for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(top + i), static_cast<uint8_t>(value >> (24 - 8 * i)));
}

uint8_t TMathPackage::load(uint16_t address) {
  if (address > 1 && address < 0x100) return get(static_cast<uint8_t>(address));
  return m.readByte(address);
}

void TMathPackage::store(uint16_t address, uint8_t value) {
  if (address > 1 && address < 0x100)
    put(static_cast<uint8_t>(address), value);
  else
    m.writeByte(address, value);
}

void TMathPackage::setNZ(uint8_t value) {
  zero = value == 0;
  negative = value & 0x80;
}

// ---- the trap ------------------------------------------------------------------------

// basic.asm numbers the routines' traps in one run, from AYINT_AY to RND.
bool TMathPackage::owns(uint8_t number) { return number >= Layout::trapAyintAy && number <= Layout::trapRnd; }
static_assert(TBasicRomLayout::trapRnd - TBasicRomLayout::trapAyintAy == 34);

// FADD, FSUB, FMULT and FDIV: ARG from the five bytes at A/Y first, then the
// operation their T entry (ARG already set) runs alone.
void TMathPackage::withArgFrom(uint16_t address, void (TMathPackage::*operation)()) {
  cycles += 6;
  unpackArg(address);
  (this->*operation)();
}

bool TMathPackage::trap(uint8_t number) {
  if (!owns(number)) return false;
  if (continueUnderWay()) return true;
  const auto pointer = [](uint8_t low, uint8_t high) { return static_cast<uint16_t>(low | high << 8); };
  std::copy(m.ram.begin(), m.ram.begin() + 0x100, z.begin());
  readMask.reset();
  writeMask.reset();
  a = m.A;
  x = m.X;
  y = m.Y;
  carry = m.C;
  zero = m.Z;
  negative = m.N;
  cycles = 0;
  try {
    switch (number) {
      case Layout::trapMovfm: loadFac(pointer(a, y)); break;
      case Layout::trapMovmf: storeFac(pointer(x, y)); break;
      case Layout::trapMovmfIndex:
        x = get(0x49);
        y = get(0x4A);
        cycles += 6;
        storeFac(pointer(x, y));
        break;
      case Layout::trapMovmf57:
        x = 0x57;
        y = 0;
        cycles += 7;
        storeFac(0x57);
        break;
      case Layout::trapMovmf5C:
        x = 0x5C;
        y = 0;
        cycles += 11;
        storeFac(0x5C);
        break;
      case Layout::trapMovfa: copyArgToFac(); break;
      case Layout::trapMovaf: copyFacToArg(); break;
      case Layout::trapConupk: unpackArg(pointer(a, y)); break;
      case Layout::trapRound: round(); break;
      case Layout::trapFadd: withArgFrom(pointer(a, y), &TMathPackage::add); break;
      case Layout::trapFaddt: add(); break;
      case Layout::trapFsub: withArgFrom(pointer(a, y), &TMathPackage::subtract); break;
      case Layout::trapFsubt: subtract(); break;
      case Layout::trapFmult: withArgFrom(pointer(a, y), &TMathPackage::multiply); break;
      case Layout::trapFmultt: multiply(); break;
      case Layout::trapFdiv: withArgFrom(pointer(a, y), &TMathPackage::divide); break;
      case Layout::trapFdivt: divide(); break;
      case Layout::trapMul10: multiplyByTen(); break;
      case Layout::trapDiv10: divideByTen(); break;
      case Layout::trapSign: sign(); break;
      case Layout::trapSgn:
        cycles += 6;
        sign();
        cycles += 10;
        put(FAC_TOP, a);
        put(FAC_TOP + 1, 0);
        floatFrom(0x88);
        break;
      case Layout::trapFloat:
        cycles += 10;
        put(FAC_TOP, a);
        put(FAC_TOP + 1, 0);
        floatFrom(0x88);
        break;
      case Layout::trapGivayf: givayf(true); break;
      case Layout::trapGivayfNoType: givayf(false); break;
      case Layout::trapFloatY:
        a = 0;
        cycles += 5;
        givayf(true);
        break;
      case Layout::trapAbs: {
        const uint8_t s = get(FAC_SIGN);
        put(FAC_SIGN, s >> 1);
        carry = s & 1;
        setNZ(s >> 1);
        cycles += 11;
        break;
      }
      case Layout::trapFcomp: {
        std::array<uint8_t, 5> bytes{};
        const uint16_t at = pointer(a, y);
        for (int i = 0; i < 5; ++i) bytes[i] = load(static_cast<uint16_t>(at + i));
        compare(bytes, at);
        break;
      }
      case Layout::trapQint: quickInteger(); break;
      case Layout::trapInt: integerPart(); break;
      case Layout::trapAyint: checkedInteger(); break;
      case Layout::trapAyintAy:
        cycles += 6;
        checkedInteger();
        a = get(FAC_TOP + 2);
        y = get(FAC_TOP + 3);
        setNZ(y);
        cycles += 12;
        break;
      case Layout::trapGetadr: address(); break;
      case Layout::trapFin: readNumber(); break;
      case Layout::trapNegop: negate(); break;
      case Layout::trapRnd:
        random();
        cycles -= rndJump;
        break;
      default: return false;
    }
  } catch (const Error& e) {
    finish(true, e.code);
    return true;
  }
  finish(false, 0);
  return true;
}

void TMathPackage::finish(bool failed, uint8_t error) {
  for (unsigned i = 2; i < 0x100; ++i)
    if (readMask[i]) m.readZeroPage(static_cast<uint8_t>(i));
  for (unsigned i = 2; i < 0x100; ++i)
    if (writeMask[i]) m.writeZeroPage(static_cast<uint8_t>(i), z[i]);
  m.A = a;
  m.X = failed ? error : x;
  m.Y = y;
  m.C = carry;
  m.Z = zero;
  m.N = negative;
  // The C64 jumps to its error routine (LDX, JMP) from inside the routine.
  if (failed) cycles += 5;
  // Calls under way whose frames are gone (their stack pointer is no deeper
  // than this call's) will not be come back to.
  while (!underWay.empty() && underWay.back().sp <= m.SP) underWay.pop_back();
  underWay.push_back({static_cast<uint16_t>(m.PC - 2), m.SP, failed, std::max<uint32_t>(cycles, 2)});
  spend(underWay.back());
}

bool TMathPackage::continueUnderWay() {
  if (underWay.empty()) return false;
  UnderWay& call = underWay.back();
  if (call.at != static_cast<uint16_t>(m.PC - 2) || call.sp != m.SP) return false;
  spend(call);
  return true;
}

// One step of a call's cycles; the last one leaves the routine: its RTS, or
// the error routine through the vector at $0300 (X holds the error).
void TMathPackage::spend(UnderWay& call) {
  const uint32_t step = std::min(call.remaining, cyclesPerStep);
  call.remaining -= step;
  m.instructionCycles = step;
  if (call.remaining > 0) {
    m.PC = call.at;
    return;
  }
  const bool failed = call.failed;
  underWay.pop_back();
  if (failed) {
    m.PC = Layout::errorEntry;
    return;
  }
  const uint8_t low = m.pull();
  const uint8_t high = m.pull();
  m.PC = static_cast<uint16_t>((low | high << 8) + 1);
  m.stackDepth -= 2;
}

void TMathPackage::setFac(double value) {
  const auto rounded = TBasicFloat::round(value);
  const TBasicFloat::Bytes b = TBasicFloat::pack(rounded.value_or(0));
  m.writeZeroPage(FAC, b[0]);
  m.writeZeroPage(FAC_TOP, b[0] ? static_cast<uint8_t>(b[1] | 0x80) : 0);
  for (int i = 2; i < 5; ++i) m.writeZeroPage(static_cast<uint8_t>(FAC_TOP + i - 1), b[i]);
  m.writeZeroPage(FAC_SIGN, b[1] & 0x80);
  m.writeZeroPage(ROUNDING, 0);
}

double TMathPackage::fac() {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits = bits << 8 | m.readZeroPage(static_cast<uint8_t>(FAC_TOP + i));
  uint8_t exponent = m.readZeroPage(FAC);
  if (exponent == 0) return 0;
  if (m.readZeroPage(ROUNDING) & 0x80) {
    if (++bits == 0) {
      bits = 0x80000000u;
      if (++exponent == 0) return TBasicFloat::maxValue;
    }
  }
  const TBasicFloat::Bytes b = {
      exponent, static_cast<uint8_t>(((bits >> 24) & 0x7F) | (m.readZeroPage(FAC_SIGN) & 0x80)),
      static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
  return TBasicFloat::unpack(b);
}

// ---- moving numbers ---------------------------------------------------------------------

// MOVFM: FAC from the five bytes at A (low) / Y (high).
void TMathPackage::loadFac(uint16_t address) {
  put(INDEX, static_cast<uint8_t>(address));
  put(INDEX + 1, static_cast<uint8_t>(address >> 8));
  uint8_t b[5];
  for (int i = 4; i >= 0; --i) {
    b[i] = load(static_cast<uint16_t>(address + i));
    cycles += crossing(address, static_cast<uint8_t>(i));
  }
  loadFac(b);
}

void TMathPackage::loadFac(const uint8_t (&b)[5]) {
  put(FAC_TOP + 3, b[4]);
  put(FAC_TOP + 2, b[3]);
  put(FAC_TOP + 1, b[2]);
  put(FAC_SIGN, b[1]);
  put(FAC_TOP, b[1] | 0x80);
  put(FAC, b[0]);
  put(ROUNDING, 0);
  a = b[0];
  y = 0;
  setNZ(a);
  cycles += 70;
}

// MOVMF: FAC, rounded, to the five bytes at X (low) / Y (high).
void TMathPackage::storeFac(uint16_t address) {
  cycles += 6;
  round();
  put(INDEX, static_cast<uint8_t>(address));
  put(INDEX + 1, static_cast<uint8_t>(address >> 8));
  store(static_cast<uint16_t>(address + 4), get(FAC_TOP + 3));
  store(static_cast<uint16_t>(address + 3), get(FAC_TOP + 2));
  store(static_cast<uint16_t>(address + 2), get(FAC_TOP + 1));
  store(static_cast<uint16_t>(address + 1), static_cast<uint8_t>((get(FAC_SIGN) | 0x7F) & get(FAC_TOP)));
  a = get(FAC);
  store(address, a);
  put(ROUNDING, 0);
  y = 0;
  setNZ(a);
  cycles += 75;
}

// CONUPK: ARG from five bytes in memory, and the sign comparison with FAC.
void TMathPackage::unpackArg(const std::array<uint8_t, 5>& b, uint16_t address) {
  put(INDEX, static_cast<uint8_t>(address));
  put(INDEX + 1, static_cast<uint8_t>(address >> 8));
  put(ARG_TOP + 3, b[4]);
  put(ARG_TOP + 2, b[3]);
  put(ARG_TOP + 1, b[2]);
  put(ARG_SIGN, b[1]);
  put(SIGN_COMPARE, b[1] ^ get(FAC_SIGN));
  put(ARG_TOP, b[1] | 0x80);
  put(ARG, b[0]);
  a = get(FAC);
  y = 0;
  setNZ(a);
  cycles += 79;
  for (uint8_t i = 1; i <= 4; ++i) cycles += crossing(address, i);
}

void TMathPackage::unpackArg(uint16_t address) {
  std::array<uint8_t, 5> b{};
  for (int i = 4; i >= 0; --i) b[i] = load(static_cast<uint16_t>(address + i));
  unpackArg(b, address);
}

// MOVFA: FAC := ARG.
void TMathPackage::copyArgToFac() {
  put(FAC_SIGN, get(ARG_SIGN));
  for (int i = 5; i >= 1; --i) put(static_cast<uint8_t>(FAC + i - 1), get(static_cast<uint8_t>(ARG + i - 1)));
  a = get(ARG);
  x = 0;
  put(ROUNDING, 0);
  zero = true;
  negative = false;
  cycles += 81;
}

// MOVAF: ARG := FAC, rounded.
void TMathPackage::copyFacToArg() {
  cycles += 6;
  round();
  for (int i = 6; i >= 1; --i) put(static_cast<uint8_t>(ARG + i - 1), get(static_cast<uint8_t>(FAC + i - 1)));
  a = get(FAC);
  x = 0;
  put(ROUNDING, 0);
  zero = true;
  negative = false;
  cycles += 88;
}

// ROUND: FAC rounded up by the top bit of the rounding byte. The rounding byte
// is shifted, not cleared; X and Y are kept.
void TMathPackage::round() {
  a = get(FAC);
  if (a == 0) {
    setNZ(0);
    cycles += 12;
    return;
  }
  const uint8_t rounding = get(ROUNDING);
  put(ROUNDING, static_cast<uint8_t>(rounding << 1));
  carry = rounding & 0x80;
  if (!carry) {
    setNZ(static_cast<uint8_t>(rounding << 1));
    cycles += 19;
    return;
  }
  cycles += 18;
  incrementMantissa();
  if (!zero) {
    cycles += 9;
    return;
  }
  cycles += 5;
  carryIntoExponent();
}

// ---- arithmetic -------------------------------------------------------------------------

// FADDT: FAC := ARG + FAC. The caller's zero flag tells whether FAC is zero.
void TMathPackage::add() {
  if (zero) {
    cycles += 5;
    copyArgToFac();
    return;
  }
  put(ADD_ROUNDING, get(ROUNDING));
  x = ARG;
  a = get(ARG);
  y = a;
  if (a == 0) {  // ARG is zero: FAC stays
    setNZ(0);
    cycles += 25;
    return;
  }
  const uint8_t exponent = get(FAC);
  carry = a >= exponent;
  a = static_cast<uint8_t>(a - exponent);
  if (a == 0) {
    cycles += 26;
  } else {
    if (!carry) {
      // ARG is the smaller: it moves right, and FAC's rounding byte waits in $56.
      y = 0;
      put(ROUNDING, 0);
      cycles += 33;
    } else {
      // FAC is the smaller: the sum takes ARG's exponent and sign.
      put(FAC, y);
      y = get(ARG_SIGN);
      put(FAC_SIGN, y);
      a = static_cast<uint8_t>(~a + 1);
      y = 0;
      put(ADD_ROUNDING, 0);
      x = FAC;
      cycles += 50;
    }
    alignOperand();
  }
  addOrSubtract();
}

// The smaller operand (at X) moves right by -A places; the bits it loses
// collect in A.
void TMathPackage::alignOperand() {
  carry = a >= 0xF9;
  if (static_cast<uint8_t>(a - 0xF9) & 0x80) {
    cycles += 11;
    a = shiftRight(x);
    cycles += 3;
  } else {
    y = a;
    a = get(ROUNDING);
    const uint8_t top = get(static_cast<uint8_t>(x + 1));
    put(static_cast<uint8_t>(x + 1), top >> 1);
    carry = top & 1;
    cycles += 21;
    a = finishBitStep(x);
  }
}

void TMathPackage::addOrSubtract() {
  if (get(SIGN_COMPARE) & 0x80) {
    cycles += 5;
    subtractMantissas(x);
  } else {
    cycles += 6;
    addMantissas();
  }
}

// FSUBT: FAC := ARG - FAC.
void TMathPackage::subtract() {
  a = static_cast<uint8_t>(~get(FAC_SIGN));
  put(FAC_SIGN, a);
  put(SIGN_COMPARE, a ^ get(ARG_SIGN));
  a = get(FAC);
  setNZ(a);
  cycles += 20;
  add();
}

// Same signs: the mantissas and the rounding bytes add, a carry moves the sum
// one place right.
void TMathPackage::addMantissas() {
  unsigned sum = a + get(ADD_ROUNDING) + carry;
  put(ROUNDING, static_cast<uint8_t>(sum));
  carry = sum > 0xFF;
  for (int i = 3; i >= 0; --i) {
    sum = get(static_cast<uint8_t>(FAC_TOP + i)) + get(static_cast<uint8_t>(ARG_TOP + i)) + carry;
    a = static_cast<uint8_t>(sum);
    put(static_cast<uint8_t>(FAC_TOP + i), a);
    carry = sum > 0xFF;
  }
  setNZ(a);
  cycles += 45;
  if (carry) {
    cycles += 2;
    carryIntoExponent();
  } else {
    cycles += 9;
  }
}

// Signs differ: the operand that did not move less the one that did; a borrow
// turns the result round.
void TMathPackage::subtractMantissas(uint8_t moved) {
  const uint8_t kept = moved == ARG ? FAC : ARG;
  y = kept;
  cycles += moved == ARG ? 7 : 8;
  int difference = get(ADD_ROUNDING) - a;
  put(ROUNDING, static_cast<uint8_t>(difference));
  carry = difference >= 0;
  for (int i = 4; i >= 1; --i) {
    difference = get(static_cast<uint8_t>(kept + i)) - get(static_cast<uint8_t>(moved + i)) - (carry ? 0 : 1);
    a = static_cast<uint8_t>(difference);
    put(static_cast<uint8_t>(FAC + i), a);
    carry = difference >= 0;
  }
  cycles += 54;
  if (carry) {
    cycles += 3;
  } else {
    cycles += 8;
    negateFac();
  }
  normalize();
}

// The mantissa and rounding byte shifted left until the top bit is set; the
// exponent pays for it. A number that runs out of bits or exponent is zero.
void TMathPackage::normalize() {
  y = 0;
  a = 0;
  carry = false;
  cycles += 6;
  for (;;) {
    x = get(FAC_TOP);
    cycles += 3;
    if (x != 0) break;
    put(FAC_TOP, get(FAC_TOP + 1));
    put(FAC_TOP + 1, get(FAC_TOP + 2));
    put(FAC_TOP + 2, get(FAC_TOP + 3));
    x = get(ROUNDING);
    put(FAC_TOP + 3, x);
    put(ROUNDING, 0);
    a = static_cast<uint8_t>(a + 8);
    if (a == 0x20) {
      cycles += 35;
      zeroFac();
      carry = true;
      return;
    }
    cycles += 36;
  }
  cycles += 4;
  uint64_t bits = static_cast<uint64_t>(mantissa(FAC_TOP)) << 8 | get(ROUNDING);
  if (!(bits & (uint64_t{1} << 39))) {
    while (!(bits & (uint64_t{1} << 39))) {
      cycles += 30;
      ++a;
      bits <<= 1;
    }
    setMantissa(FAC_TOP, static_cast<uint32_t>(bits >> 8));
    put(ROUNDING, static_cast<uint8_t>(bits));
  }
  const uint8_t exponent = get(FAC);
  if (a >= exponent) {
    cycles += 11;
    zeroFac();
    carry = true;
    return;
  }
  a = static_cast<uint8_t>(exponent - a);
  put(FAC, a);
  carry = false;
  setNZ(a);
  cycles += 25;
}

void TMathPackage::zeroFac() {
  a = 0;
  put(FAC, 0);
  put(FAC_SIGN, 0);
  setNZ(0);
  cycles += 14;
}

void TMathPackage::negateFac() {
  put(FAC_SIGN, static_cast<uint8_t>(~get(FAC_SIGN)));
  cycles += 8;
  complementFac();
}

// The mantissa and rounding byte as one 40-bit number, negated (the sign byte stays).
void TMathPackage::complementFac() {
  for (int i = 0; i < 4; ++i)
    put(static_cast<uint8_t>(FAC_TOP + i), static_cast<uint8_t>(~get(static_cast<uint8_t>(FAC_TOP + i))));
  a = static_cast<uint8_t>(~get(ROUNDING));
  const uint8_t rounding = static_cast<uint8_t>(a + 1);
  put(ROUNDING, rounding);
  setNZ(rounding);
  cycles += 45;
  if (rounding != 0) {
    cycles += 9;
    return;
  }
  cycles += 2;
  incrementMantissa();
}

// One more in the mantissa's lowest place, the carry going up (with its RTS).
void TMathPackage::incrementMantissa() {
  for (uint8_t at = FAC_TOP + 3;; --at) {
    const uint8_t v = static_cast<uint8_t>(get(at) + 1);
    put(at, v);
    setNZ(v);
    cycles += 5;
    if (at == FAC_TOP) break;
    if (v != 0) {
      cycles += 3;
      break;
    }
    cycles += 2;
  }
  cycles += 6;
}

// A carry out of the mantissa's top: one more binary place, the carry as the
// new top bit (with its RTS).
void TMathPackage::carryIntoExponent() {
  const uint8_t exponent = static_cast<uint8_t>(get(FAC) + 1);
  put(FAC, exponent);
  if (exponent == 0) throw Error{errOverflow};
  uint64_t bits = uint64_t{carry} << 40 | static_cast<uint64_t>(mantissa(FAC_TOP)) << 8 | get(ROUNDING);
  carry = bits & 1;
  bits >>= 1;
  setMantissa(FAC_TOP, static_cast<uint32_t>(bits >> 8));
  put(ROUNDING, static_cast<uint8_t>(bits));
  setNZ(static_cast<uint8_t>(bits));
  cycles += 38;
}

// The four bytes after base move one byte right: the lowest to the rounding
// byte, $68 in at the top.
void TMathPackage::moveByteRight(uint8_t base) {
  put(ROUNDING, get(static_cast<uint8_t>(base + 4)));
  for (int i = 4; i >= 2; --i) put(static_cast<uint8_t>(base + i), get(static_cast<uint8_t>(base + i - 1)));
  y = get(SHIFT_FILL);
  put(static_cast<uint8_t>(base + 1), y);
  cycles += 38;
}

// The four bytes after base shifted right by -A places (A counts up to zero,
// and the carry takes part in the count as the C64's loop has it): whole bytes
// first, then bits that keep the top bit. The bits that fall out collect in A,
// which starts from the rounding byte; A is returned, the carry is left clear.
uint8_t TMathPackage::shiftRight(uint8_t base) {
  for (;;) {
    const unsigned sum = a + 8u + carry;
    carry = sum > 0xFF;
    a = static_cast<uint8_t>(sum);
    if (a & 0x80) {
      cycles += 5;
    } else if (a == 0) {
      cycles += 7;
    } else {
      break;
    }
    moveByteRight(base);
  }
  const int difference = a - 8 - (carry ? 0 : 1);
  carry = difference >= 0;
  y = static_cast<uint8_t>(difference);
  a = get(ROUNDING);
  cycles += 13;
  if (carry) {
    setNZ(a);
    carry = false;
    cycles += 11;
    return a;
  }
  cycles += 2;
  do bitStep(base);
  while (y != 0);
  carry = false;
  cycles += 8;
  return a;
}

// One place right, the top byte keeping its top bit; the bit falling out
// enters A.
void TMathPackage::bitStep(uint8_t base) {
  const uint8_t top = get(static_cast<uint8_t>(base + 1));
  put(static_cast<uint8_t>(base + 1), static_cast<uint8_t>((top & 0x80) | top >> 1));
  carry = top & 1;
  cycles += top & 0x80 ? 26 : 21;
  stepRest(base);
}

// The rest of a one-place step once the top byte has moved (carry: its lost
// bit): the lower bytes, A, and the count in Y.
void TMathPackage::stepRest(uint8_t base) {
  for (int i = 2; i <= 4; ++i) {
    const uint8_t v = get(static_cast<uint8_t>(base + i));
    put(static_cast<uint8_t>(base + i), static_cast<uint8_t>(carry << 7 | v >> 1));
    carry = v & 1;
  }
  const bool out = a & 1;
  a = static_cast<uint8_t>(carry << 7 | a >> 1);
  carry = out;
  ++y;
  setNZ(y);
  cycles += y != 0 ? 25 : 24;
}

// Steps until the count in Y reaches zero, from a first step whose top byte
// the caller has moved (with its RTS).
uint8_t TMathPackage::finishBitStep(uint8_t base) {
  stepRest(base);
  while (y != 0) bitStep(base);
  carry = false;
  cycles += 8;
  return a;
}

// FMULTT: FAC := ARG * FAC. The caller's zero flag tells whether FAC is zero.
void TMathPackage::multiply() {
  if (zero) {
    cycles += 11;
    return;
  }
  cycles += 3;
  if (!addExponents()) return;
  for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(PRODUCT + i), 0);
  a = 0;
  cycles += 14;
  // FAC's digits from the rounding byte up, each adding ARG into the product
  // as the product moves right.
  multiplyDigit(get(ROUNDING), true);
  multiplyDigit(get(FAC_TOP + 3), true);
  multiplyDigit(get(FAC_TOP + 2), true);
  multiplyDigit(get(FAC_TOP + 1), true);
  multiplyDigit(get(FAC_TOP), false);
  for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(FAC_TOP + i), get(static_cast<uint8_t>(PRODUCT + i)));
  cycles += 30;
  normalize();
}

// One digit of the multiplier (with the JSR that calls it and its RTS).
void TMathPackage::multiplyDigit(uint8_t digit, bool zeroShortcut) {
  cycles += 9;
  if (zeroShortcut && digit == 0) {
    // A whole byte at once. The count is off by one when the carry is clear,
    // after a zero digit or at the start of a product whose exponents overflowed
    // the byte: then the product moves nine places and its lowest bit is lost.
    x = PRODUCT - 1;
    cycles += 7;
    moveByteRight(x);
    a = 0;
    a = shiftRight(x);
    return;
  }
  if (zeroShortcut) cycles += 3;
  carry = digit & 1;
  a = static_cast<uint8_t>(digit >> 1 | 0x80);
  cycles += 4;
  for (;;) {
    y = a;
    if (carry) {
      unsigned sum = 0;
      carry = false;
      for (int i = 3; i >= 0; --i) {
        sum = get(static_cast<uint8_t>(PRODUCT + i)) + get(static_cast<uint8_t>(ARG_TOP + i)) + carry;
        put(static_cast<uint8_t>(PRODUCT + i), static_cast<uint8_t>(sum));
        carry = sum > 0xFF;
      }
      cycles += 40;
    } else {
      cycles += 3;
    }
    for (int i = 0; i < 4; ++i) {
      const uint8_t v = get(static_cast<uint8_t>(PRODUCT + i));
      put(static_cast<uint8_t>(PRODUCT + i), static_cast<uint8_t>(carry << 7 | v >> 1));
      carry = v & 1;
    }
    const uint8_t rounding = get(ROUNDING);
    put(ROUNDING, static_cast<uint8_t>(carry << 7 | rounding >> 1));
    a = y;
    carry = a & 1;
    a >>= 1;
    setNZ(a);
    if (a == 0) {
      cycles += 39;
      return;
    }
    cycles += 34;
  }
}

// The exponent of a product or quotient (ARG's plus FAC's) and its sign (with
// the JSR that calls it). False when the result is zero: the routine ends.
bool TMathPackage::addExponents() {
  cycles += 6;
  a = get(ARG);
  if (a == 0) {
    cycles += 17;
    zeroFac();
    return false;
  }
  const unsigned sum = a + get(FAC);
  if (sum > 0xFF) {
    if ((sum - 0x100) & 0x80) throw Error{errOverflow};
    a = static_cast<uint8_t>(sum - 0x100 + 0x80);
    carry = false;
    cycles += 22;
  } else if (sum & 0x80) {
    a = static_cast<uint8_t>(sum + 0x80);
    carry = true;
    cycles += 17;
  } else {
    cycles += 27;
    zeroFac();
    return false;
  }
  put(FAC, a);
  if (a == 0) {
    put(FAC_SIGN, 0);
    cycles += 17;
    return true;
  }
  a = get(SIGN_COMPARE);
  put(FAC_SIGN, a);
  cycles += 18;
  return true;
}

// FDIVT: FAC := ARG / FAC. The caller's zero flag tells whether FAC is zero.
// The divisor is rounded first; the quotient has 34 bits, the last two in the
// rounding byte.
void TMathPackage::divide() {
  if (zero) throw Error{errDivisionByZero};
  cycles += 8;
  round();
  a = static_cast<uint8_t>(0 - get(FAC));
  put(FAC, a);
  cycles += 10;
  if (!addExponents()) return;
  const uint8_t exponent = static_cast<uint8_t>(get(FAC) + 1);
  put(FAC, exponent);
  if (exponent == 0) throw Error{errOverflow};
  cycles += 11;
  const uint32_t divisor = mantissa(FAC_TOP);
  uint32_t dividend = mantissa(ARG_TOP);
  x = 0xFC;
  a = 1;
  bool compare = true;
  bool bit = false;
  for (;;) {
    if (compare) {
      bit = dividend >= divisor;
      // Byte by byte from the top until two differ.
      int bytes = 1;
      while (bytes < 4 && ((dividend ^ divisor) >> (32 - 8 * bytes)) == 0) ++bytes;
      cycles += bytes < 4 ? 8 * bytes + 1 : 30;
    }
    const bool full = a & 0x80;
    a = static_cast<uint8_t>(a << 1 | bit);
    cycles += 5;
    if (full) {
      ++x;
      put(static_cast<uint8_t>(PRODUCT + 3 + x), a);
      cycles += 8;
      if (x == 0) {
        a = 0x40;
        cycles += 8;
      } else if (!(x & 0x80)) {
        put(ROUNDING, static_cast<uint8_t>(a << 6));
        carry = bit;
        setMantissa(ARG_TOP, dividend);
        for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(FAC_TOP + i), get(static_cast<uint8_t>(PRODUCT + i)));
        cycles += 5 + 22 + 27;
        normalize();
        return;
      } else {
        a = 1;
        cycles += 6;
      }
    } else {
      cycles += 3;
    }
    cycles += 4;
    if (bit) {
      dividend -= divisor;
      cycles += 3 + 43;
    } else {
      cycles += 2;
    }
    const bool out = dividend & 0x80000000u;
    dividend <<= 1;
    cycles += 20;
    if (out) {
      bit = true;
      compare = false;
      cycles += 3;
    } else {
      compare = dividend & 0x80000000u;
      bit = false;
      cycles += compare ? 5 : 7;
    }
  }
}

// MUL10: FAC := FAC * 10, as FAC*4 + FAC doubled.
void TMathPackage::multiplyByTen() {
  cycles += 6;
  copyFacToArg();
  x = a;
  if (a == 0) {
    cycles += 11;
    return;
  }
  const unsigned up = a + 2u;
  if (up > 0xFF) throw Error{errOverflow};
  x = 0;
  put(SIGN_COMPARE, 0);
  // The sum runs as if ARG's exponent were two higher: FAC moves two places right.
  put(FAC, static_cast<uint8_t>(up));
  y = get(ARG_SIGN);
  put(FAC_SIGN, y);
  put(ADD_ROUNDING, 0);
  y = 0;
  a = 0xFE;
  x = FAC;
  cycles += 15 + 6 + 36;
  alignOperand();
  addOrSubtract();
  const uint8_t exponent = static_cast<uint8_t>(get(FAC) + 1);
  put(FAC, exponent);
  setNZ(exponent);
  if (exponent == 0) throw Error{errOverflow};
  cycles += 13;
}

// DIV10: FAC := FAC / 10 with a positive sign (FIN applies its sign last).
void TMathPackage::divideByTen() {
  cycles += 6;
  copyFacToArg();
  x = 0;
  put(SIGN_COMPARE, 0);
  put(INDEX, static_cast<uint8_t>(tenAt));
  put(INDEX + 1, static_cast<uint8_t>(tenAt >> 8));
  const uint8_t b[5] = {ten[0], ten[1], ten[2], ten[3], ten[4]};
  cycles += 9 + 6;
  loadFac(b);
  cycles += 3;
  divide();
}

// ---- conversions ----------------------------------------------------------------------------

// FAC from the 16-bit signed number in its top two mantissa bytes, with the
// exponent given (the point after the 8th or 16th bit).
void TMathPackage::floatFrom(uint8_t exponent) {
  const uint8_t top = get(FAC_TOP);
  carry = !(top & 0x80);
  a = 0;
  put(FAC_TOP + 3, 0);
  put(FAC_TOP + 2, 0);
  put(FAC, exponent);
  put(ROUNDING, 0);
  put(FAC_SIGN, 0);
  cycles += 27;
  if (carry) {
    cycles += 3;
  } else {
    cycles += 8;
    negateFac();
  }
  normalize();
}

// GIVAYF: FAC from the signed 16-bit number A (high) / Y (low).
void TMathPackage::givayf(bool setType) {
  if (setType) {
    x = 0;
    put(TYPE_FLAG, 0);
    cycles += 5;
  }
  put(FAC_TOP, a);
  put(FAC_TOP + 1, y);
  x = 0x90;
  cycles += 11;
  floatFrom(0x90);
}

// QINT: FAC to a 32-bit two's complement integer in $62-$65, the fraction
// dropped towards minus infinity.
void TMathPackage::quickInteger() {
  a = get(FAC);
  if (a == 0) {
    for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(FAC_TOP + i), 0);
    y = 0;
    setNZ(0);
    cycles += 26;
    return;
  }
  carry = a >= 0xA0;
  a = static_cast<uint8_t>(a - 0xA0);
  cycles += 12;
  if (get(FAC_SIGN) & 0x80) {
    x = a;
    put(SHIFT_FILL, 0xFF);
    cycles += 17;
    complementFac();
    a = x;
  } else {
    cycles += 3;
  }
  x = FAC;
  carry = a >= 0xF9;
  if (static_cast<uint8_t>(a - 0xF9) & 0x80) {
    cycles += 12;
    a = shiftRight(FAC);
  } else {
    y = a;
    const uint8_t top = get(FAC_TOP);
    carry = top & 1;
    a = static_cast<uint8_t>((get(FAC_SIGN) & 0x80) | top >> 1);
    put(FAC_TOP, a);
    cycles += 31;
    a = finishBitStep(FAC);
  }
  put(SHIFT_FILL, y);
  cycles += 9;
}

// INT: FAC to the integer below it, as a floating point number.
void TMathPackage::integerPart() {
  a = get(FAC);
  carry = a >= 0xA0;
  setNZ(static_cast<uint8_t>(a - 0xA0));
  if (carry) {
    cycles += 14;
    return;
  }
  cycles += 13;
  quickInteger();
  put(ROUNDING, y);
  a = get(FAC_SIGN);
  put(FAC_SIGN, y);
  a ^= 0x80;
  carry = a & 0x80;
  put(FAC, 0xA0);
  put(0x07, get(FAC_TOP + 3));
  cycles += 27;
  if (carry) {
    cycles += 3;
  } else {
    cycles += 8;
    negateFac();
  }
  normalize();
}

// AYINT: FAC to a signed 16-bit integer in $64/$65; ILLEGAL QUANTITY outside
// -32768..32767.
void TMathPackage::checkedInteger() {
  a = get(FAC);
  if (a >= 0x90) {
    cycles += 17;
    if (compare(minus32768, minus32768At) != 0) throw Error{errIllegalQuantity};
    cycles += 5;
  } else {
    cycles += 11;
  }
  quickInteger();
}

// GETADR: FAC to an unsigned 16-bit address in $14/$15 (and Y low, A high).
void TMathPackage::address() {
  if ((get(FAC_SIGN) & 0x80) || get(FAC) >= 0x91) throw Error{errIllegalQuantity};
  cycles += 18;
  quickInteger();
  a = get(FAC_TOP + 2);
  y = get(FAC_TOP + 3);
  put(ADDRESS, y);
  put(ADDRESS + 1, a);
  setNZ(y);
  cycles += 18;
}

// SIGN: A = 0, 1 or $FF as FAC is zero, positive or negative.
uint8_t TMathPackage::sign() {
  a = get(FAC);
  if (a == 0) {
    cycles += 12;
  } else {
    carry = get(FAC_SIGN) & 0x80;
    a = carry ? 0xFF : 0x01;
    cycles += carry ? 21 : 22;
  }
  setNZ(a);
  return a;
}

// NEGOP: FAC := -FAC.
void TMathPackage::negate() {
  a = get(FAC);
  setNZ(a);
  if (a == 0) {
    cycles += 12;
    return;
  }
  a = static_cast<uint8_t>(~get(FAC_SIGN));
  put(FAC_SIGN, a);
  setNZ(a);
  cycles += 19;
}

// FCOMP: FAC against five bytes of memory at `at`: A = 0 equal, 1 FAC greater,
// $FF FAC smaller. FAC's rounding byte counts as half a unit of its last place.
uint8_t TMathPackage::compare(const std::array<uint8_t, 5>& b, uint16_t at) {
  put(COMPARE_POINTER, static_cast<uint8_t>(at));
  put(COMPARE_POINTER + 1, static_cast<uint8_t>(at >> 8));
  x = b[0];
  cycles += 17 + crossing(at, 0);
  if (b[0] == 0) {
    cycles += 3;
    return sign();
  }
  // A = $FF or 1 as the sign byte given is negative or not (with the RTS).
  const auto outcome = [&](uint8_t signLike) {
    carry = signLike & 0x80;
    a = carry ? 0xFF : 0x01;
    setNZ(a);
    cycles += carry ? 9 : 10;
    return a;
  };
  const uint8_t facSign = get(FAC_SIGN);
  cycles += 10 + crossing(at, 1);
  if ((b[1] ^ facSign) & 0x80) {
    cycles += 3 + 7;
    return outcome(facSign);
  }
  cycles += 5;
  int difference = b[0] - get(FAC);
  if (difference == 0) {
    cycles += 2 + 10 + crossing(at, 1);
    difference = (b[1] | 0x80) - get(FAC_TOP);
  }
  if (difference == 0) {
    cycles += 2 + 10 + crossing(at, 2);
    difference = b[2] - get(FAC_TOP + 1);
  }
  if (difference == 0) {
    cycles += 2 + 10 + crossing(at, 3);
    difference = b[3] - get(FAC_TOP + 2);
  }
  if (difference == 0) {
    cycles += 2 + 15 + crossing(at, 4);
    const bool below = get(ROUNDING) <= 0x7F;
    difference = b[4] - get(FAC_TOP + 3) - (below ? 0 : 1);
    if (difference == 0) {
      a = 0;
      setNZ(0);
      cycles += 9;
      return 0;
    }
    cycles += 2;
  } else {
    cycles += 3;
  }
  // The memory number is the larger in magnitude when nothing was borrowed.
  cycles += 3 + (difference >= 0 ? 4 : 3) + 7;
  return outcome(difference >= 0 ? static_cast<uint8_t>(~facSign) : facSign);
}

// CHRGET: the next character of the text at TXTPTR, spaces passed over; carry
// clear for a digit, zero flag for the end of a statement (with its JSR).
uint8_t TMathPackage::nextChar() {
  uint16_t at = static_cast<uint16_t>(get(TXTPTR) | get(TXTPTR + 1) << 8);
  uint8_t c = 0;
  cycles += 6;
  for (;;) {
    ++at;
    cycles += (at & 0xFF) == 0 ? 16 : 12;
    c = load(at);
    if (c >= ':') {
      cycles += 11;
      break;
    }
    if (c != ' ') {
      cycles += 22;
      break;
    }
    cycles += 9;
  }
  put(TXTPTR, static_cast<uint8_t>(at));
  put(TXTPTR + 1, static_cast<uint8_t>(at >> 8));
  a = c;
  carry = c >= ':' || c < '0';
  zero = c == 0 || c == ':';
  negative = c >= ':' ? (c - ':') & 0x80 : 0;
  return c;
}

// FIN: the number at TXTPTR into FAC, its first character in A with CHRGOT's
// carry. Digits are taken as the C64 takes them: FAC times ten plus the digit,
// then times or divided by ten once for each power of the exponent.
void TMathPackage::readNumber() {
  for (uint8_t at = DECIMALS; at <= NUMBER_SIGN; ++at) put(at, 0);
  x = 0xFF;
  y = 0;
  cycles += 102;
  uint8_t c = a;
  // The next character, and the branch that sends a digit to the digit step.
  const auto next = [&] {
    c = nextChar();
    cycles += carry ? 2 : 3;
  };
  if (!carry) {
    cycles += 7;
  } else if (c == '-') {
    put(NUMBER_SIGN, x);
    cycles += 12;
    next();
  } else if (c == '+') {
    cycles += 11;
    next();
  } else {
    cycles += 12;
  }
  bool exponentRead = false;
  for (;;) {
    if (!carry) {
      if (get(POINT_SEEN) & 0x80) {
        put(DECIMALS, static_cast<uint8_t>(get(DECIMALS) + 1));
        cycles += 13;
      } else {
        cycles += 9;
      }
      cycles += 6;
      multiplyByTen();
      // The digit is added as a number of its own: FAC rounded into ARG first.
      const uint8_t value = static_cast<uint8_t>(c - '0');
      cycles += 14 + 9;
      copyFacToArg();
      cycles += 10 + 10;
      put(FAC_TOP, value);
      put(FAC_TOP + 1, 0);
      floatFrom(0x88);
      put(SIGN_COMPARE, get(ARG_SIGN) ^ get(FAC_SIGN));
      x = get(FAC);
      setNZ(x);
      cycles += 15;
      add();
      cycles += 3;
      next();
      continue;
    }
    cycles += 2;
    if (c == '.') {
      const uint8_t seen = static_cast<uint8_t>(0x80 | get(POINT_SEEN) >> 1);
      put(POINT_SEEN, seen);
      cycles += 11;
      if (!(seen & 0x40)) {
        cycles += 3;
        next();
        continue;
      }
      cycles += 2;
      break;
    }
    cycles += 4;
    if (c != 'E') {
      cycles += 3;
      break;
    }
    cycles += 2;
    c = nextChar();
    if (carry) {
      cycles += 2;
      if (c == 0xAB || c == '-') {
        put(EXPONENT_SIGN, static_cast<uint8_t>(0x80 | get(EXPONENT_SIGN) >> 1));
        cycles += c == 0xAB ? 10 : 14;
        c = nextChar();
        cycles += carry ? 2 : 3;
      } else if (c == 0xAA || c == '+') {
        cycles += c == 0xAA ? 13 : 17;
        c = nextChar();
        cycles += carry ? 2 : 3;
      } else {
        cycles += 19;
      }
    } else {
      cycles += 6;
    }
    while (!carry) {
      // Exponent digits: two at most, or any number when the exponent is negative.
      uint8_t e = get(TEN_EXPONENT);
      if (e >= 10) {
        if (!(get(EXPONENT_SIGN) & 0x80)) throw Error{errOverflow};
        e = 100;
        cycles += 21;
      } else {
        e = static_cast<uint8_t>(e * 10 + c - '0');
        const uint16_t text = static_cast<uint16_t>(get(TXTPTR) | get(TXTPTR + 1) << 8);
        cycles += 38 + crossing(text, 0);
      }
      put(TEN_EXPONENT, e);
      c = nextChar();
      cycles += carry ? 2 : 3;
    }
    exponentRead = true;
    break;
  }
  uint8_t tens = get(TEN_EXPONENT);
  if (exponentRead && (get(EXPONENT_SIGN) & 0x80)) {
    tens = static_cast<uint8_t>(0 - tens);
    cycles += 15;
  } else {
    cycles += exponentRead ? 9 : 3;
  }
  tens = static_cast<uint8_t>(tens - get(DECIMALS));
  put(TEN_EXPONENT, tens);
  cycles += 8;
  if (tens == 0) {
    cycles += 3;
  } else if (tens & 0x80) {
    cycles += 4;
    while (tens != 0) {
      cycles += 6;
      divideByTen();
      ++tens;
      put(TEN_EXPONENT, tens);
      cycles += tens != 0 ? 8 : 10;
    }
  } else {
    cycles += 5;
    while (tens != 0) {
      cycles += 6;
      multiplyByTen();
      --tens;
      put(TEN_EXPONENT, tens);
      cycles += tens != 0 ? 8 : 7;
    }
  }
  cycles += 3;
  if (get(NUMBER_SIGN) & 0x80) {
    cycles += 6;
    negate();
  } else {
    cycles += 8;
  }
}

// RND: the next number of the seed's sequence (FAC positive), the seed from
// FAC scrambled (negative), or CIA 1's timer A and clock (zero). The result,
// between 0 and 1, is in FAC and is the new seed.
void TMathPackage::random() {
  cycles += 6;
  const uint8_t s = sign();
  if (s == 0) {
    // CIA 1 found through the KERNAL's IOBASE.
    put(INDEX, 0x00);
    put(INDEX + 1, 0xDC);
    put(FAC_TOP, m.readByte(0xDC04));
    put(FAC_TOP + 2, m.readByte(0xDC05));
    put(FAC_TOP + 1, m.readByte(0xDC08));
    put(FAC_TOP + 3, m.readByte(0xDC09));
    x = 0x00;
    y = 0x09;
    cycles += 4 + 19 + 49;
  } else {
    if (s == 0x01) {
      cycles += 5 + 4 + 6;
      loadFac(SEED);
      cycles += 4 + 6 + 6;
      unpackArg(rndMultiplier, rndMultiplierAt);
      multiply();
      cycles += 4 + 6 + 6;
      unpackArg(rndAddend, rndAddendAt);
      add();
    } else {
      cycles += 3;
    }
    // The mantissa's bytes end for end.
    const uint8_t b0 = get(FAC_TOP), b1 = get(FAC_TOP + 1), b2 = get(FAC_TOP + 2), b3 = get(FAC_TOP + 3);
    put(FAC_TOP + 3, b0);
    put(FAC_TOP, b3);
    put(FAC_TOP + 1, b2);
    put(FAC_TOP + 2, b1);
    x = b1;
    a = b2;
    cycles += 24;
  }
  put(FAC_SIGN, 0);
  put(ROUNDING, get(FAC));
  put(FAC, 0x80);
  cycles += 16 + 6;
  normalize();
  x = SEED;
  y = 0;
  cycles += 7;
  storeFac(SEED);
}
