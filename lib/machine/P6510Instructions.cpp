// The 256 opcode handlers of the NMOS 6510 and the 32 decimal-mode variants.
//
// Addressing and bus sequence on one axis (a template per mode), the ALU
// operation on the other: each opcode is one instantiation, so every opcode has
// its own handler without a shared decoder at run time.
#include <array>

#include "P6510.h"
#include "P6510Operations.h"

namespace {

using Handler = TProcessor::Handler;

// ---- implied ----------------------------------------------------------------

void nop(M&) {}
void tax(M& m) { m.setNZ(m.X = m.A); }
void tay(M& m) { m.setNZ(m.Y = m.A); }
void txa(M& m) { m.setNZ(m.A = m.X); }
void tya(M& m) { m.setNZ(m.A = m.Y); }
void tsx(M& m) { m.setNZ(m.X = m.SP); }
void txs(M& m) {
  m.SP = m.X;
  m.stackDepth = 255 - m.X;
}
void inx(M& m) { m.setNZ(++m.X); }
void iny(M& m) { m.setNZ(++m.Y); }
void dex(M& m) { m.setNZ(--m.X); }
void dey(M& m) { m.setNZ(--m.Y); }
void clc(M& m) { m.C = 0; }
void sec(M& m) { m.C = 1; }
void cli(M& m) {
  m.I = 0;
  // An IRQ held back by I is taken right after this instruction.
  if (m.irqPending()) m.clock.eventNow();
}
void sei(M& m) { m.I = 1; }
void clv(M& m) { m.V = 0; }
void cld(M& m) {
  if (m.D) m.setBinaryMode();
  m.D = 0;
}
void sed(M& m) {
  if (!m.D) m.setDecimalMode();
  m.D = 1;
}

// ---- stack, jumps, interrupts -----------------------------------------------

void pha(M& m) {
  m.instructionCycles = 3;
  m.push(m.A);
  ++m.stackDepth;
}
void php(M& m) {
  m.instructionCycles = 3;
  m.push(m.packStatus() | 0x30);
  ++m.stackDepth;
}
void pla(M& m) {
  m.instructionCycles = 4;
  m.setNZ(m.A = m.pull());
  --m.stackDepth;
}
void plp(M& m) { m.executePlp(); }

void jsr(M& m) {
  m.instructionCycles = 6;
  const uint8_t lo = m.fetchByte();
  TMemoryMap::markRead(m.memory.ramUsage[0x0100 | m.SP], TMemoryMap::usageDummyRead);
  // The high operand byte is fetched after the pushes, as on the real bus.
  m.push(static_cast<uint8_t>(m.PC >> 8));
  m.push(static_cast<uint8_t>(m.PC));
  m.stackDepth += 2;
  const uint8_t hi = m.fetchByte();
  m.PC = static_cast<uint16_t>(lo | hi << 8);
}
void rts(M& m) { m.executeRts(); }
void rti(M& m) { m.executeRti(); }
void brk(M& m) { m.executeBrk(); }

void jmpAbsolute(M& m) {
  m.instructionCycles = 3;
  const uint16_t from = m.PC;
  m.PC = absolute(m);
  if (m.PC < from && m.fastForward) {
    // Code in I/O space could read a register with every fetch.
    if (m.PC == from - 1 && !m.memory.ioReadPage[m.PC >> 12])
      m.noteSelfJump();
    else
      m.noteBackwardJump(from);
  }
}
void jmpIndirect(M& m) {
  m.instructionCycles = 5;
  const uint16_t pointer = absolute(m);
  const uint8_t lo = m.readByte(pointer);
  // NMOS: the high byte comes from the same page when the pointer ends a page.
  const uint8_t hi = m.readByte(static_cast<uint16_t>((pointer & 0xFF00) | ((pointer + 1) & 0x00FF)));
  m.PC = static_cast<uint16_t>(lo | hi << 8);
}

// JAM halts the bus; the processor comes back to the same byte every step.
void jam(M& m) {
  ++m.sideEffects;
  if (m.isBasicTrap()) [[unlikely]] {
    m.basicTrap();
    return;
  }
  m.instructionCycles = 1;
  --m.PC;
  m.passQuietJamCycles();
}

// ---- unstable stores --------------------------------------------------------
// The stored value is ANDed with the address high byte + 1; the target address
// itself is not altered on a page crossing.

void shaIndirectY(M& m) {
  m.instructionCycles = 6;
  const uint16_t target = static_cast<uint16_t>(zeroPageWord(m, m.fetchByte()) + m.Y);
  m.writeByte(target, static_cast<uint8_t>(m.A & m.X & ((target >> 8) + 1)));
}

template <uint8_t TRegisters::*index>
uint16_t baseAndTarget(M& m, uint16_t& target) {
  const uint16_t base = absolute(m);
  target = static_cast<uint16_t>(base + m.*index);
  return base;
}

void shaAbsoluteY(M& m) {
  m.instructionCycles = 5;
  uint16_t target;
  const uint16_t base = baseAndTarget<&M::Y>(m, target);
  m.writeByte(target, static_cast<uint8_t>(m.A & m.X & ((base >> 8) + 1)));
}
void shyAbsoluteX(M& m) {
  m.instructionCycles = 5;
  uint16_t target;
  const uint16_t base = baseAndTarget<&M::X>(m, target);
  m.writeByte(target, static_cast<uint8_t>(m.Y & ((base >> 8) + 1)));
}
void shxAbsoluteY(M& m) {
  m.instructionCycles = 5;
  uint16_t target;
  const uint16_t base = baseAndTarget<&M::Y>(m, target);
  m.writeByte(target, static_cast<uint8_t>(m.X & ((base >> 8) + 1)));
}
void tasAbsoluteY(M& m) {
  m.instructionCycles = 5;
  uint16_t target;
  const uint16_t base = baseAndTarget<&M::Y>(m, target);
  m.SP = m.A & m.X;
  m.writeByte(target, static_cast<uint8_t>(m.SP & ((base >> 8) + 1)));
}

// ---- the table ----------------------------------------------------------------

template <Mode mode, ReadOp op, uint32_t cycles>
constexpr Handler R = readInstruction<mode, op, cycles>;
template <Mode mode, StoreOp op, uint32_t cycles>
constexpr Handler W = storeInstruction<mode, op, cycles>;
template <Mode mode, ModifyOp op, uint32_t cycles>
constexpr Handler RMW = modifyInstruction<mode, op, cycles>;
template <void (*op)(M&)>
constexpr Handler IMP = impliedInstruction<op>;

template <bool d>
constexpr Handler handlerFor(unsigned opcode) {
  using enum Mode;
  switch (opcode) {
    // clang-format off
    case 0x00: return brk;
    case 0x01: return R<IndX, ora, 6>;
    case 0x03: return RMW<IndX, slo, 8>;
    case 0x04: return R<Zp, nopRead, 3>;
    case 0x05: return R<Zp, ora, 3>;
    case 0x06: return RMW<Zp, asl, 5>;
    case 0x07: return RMW<Zp, slo, 5>;
    case 0x08: return php;
    case 0x09: return R<Imm, ora, 2>;
    case 0x0A: return accumulatorInstruction<asl>;
    case 0x0B: return R<Imm, anc, 2>;
    case 0x0C: return R<Abs, nopRead, 4>;
    case 0x0D: return R<Abs, ora, 4>;
    case 0x0E: return RMW<Abs, asl, 6>;
    case 0x0F: return RMW<Abs, slo, 6>;
    case 0x10: return branchInstruction<&M::N, 0>;
    case 0x11: return R<IndY, ora, 5>;
    case 0x13: return RMW<IndY, slo, 8>;
    case 0x14: return R<ZpX, nopRead, 4>;
    case 0x15: return R<ZpX, ora, 4>;
    case 0x16: return RMW<ZpX, asl, 6>;
    case 0x17: return RMW<ZpX, slo, 6>;
    case 0x18: return IMP<clc>;
    case 0x19: return R<AbsY, ora, 4>;
    case 0x1A: return IMP<nop>;
    case 0x1B: return RMW<AbsY, slo, 7>;
    case 0x1C: return R<AbsX, nopRead, 4>;
    case 0x1D: return R<AbsX, ora, 4>;
    case 0x1E: return RMW<AbsX, asl, 7>;
    case 0x1F: return RMW<AbsX, slo, 7>;
    case 0x20: return jsr;
    case 0x21: return R<IndX, and_, 6>;
    case 0x23: return RMW<IndX, rla, 8>;
    case 0x24: return R<Zp, bit, 3>;
    case 0x25: return R<Zp, and_, 3>;
    case 0x26: return RMW<Zp, rol, 5>;
    case 0x27: return RMW<Zp, rla, 5>;
    case 0x28: return plp;
    case 0x29: return R<Imm, and_, 2>;
    case 0x2A: return accumulatorInstruction<rol>;
    case 0x2B: return R<Imm, anc, 2>;
    case 0x2C: return R<Abs, bit, 4>;
    case 0x2D: return R<Abs, and_, 4>;
    case 0x2E: return RMW<Abs, rol, 6>;
    case 0x2F: return RMW<Abs, rla, 6>;
    case 0x30: return branchInstruction<&M::N, 1>;
    case 0x31: return R<IndY, and_, 5>;
    case 0x33: return RMW<IndY, rla, 8>;
    case 0x34: return R<ZpX, nopRead, 4>;
    case 0x35: return R<ZpX, and_, 4>;
    case 0x36: return RMW<ZpX, rol, 6>;
    case 0x37: return RMW<ZpX, rla, 6>;
    case 0x38: return IMP<sec>;
    case 0x39: return R<AbsY, and_, 4>;
    case 0x3A: return IMP<nop>;
    case 0x3B: return RMW<AbsY, rla, 7>;
    case 0x3C: return R<AbsX, nopRead, 4>;
    case 0x3D: return R<AbsX, and_, 4>;
    case 0x3E: return RMW<AbsX, rol, 7>;
    case 0x3F: return RMW<AbsX, rla, 7>;
    case 0x40: return rti;
    case 0x41: return R<IndX, eor, 6>;
    case 0x43: return RMW<IndX, sre, 8>;
    case 0x44: return R<Zp, nopRead, 3>;
    case 0x45: return R<Zp, eor, 3>;
    case 0x46: return RMW<Zp, lsr, 5>;
    case 0x47: return RMW<Zp, sre, 5>;
    case 0x48: return pha;
    case 0x49: return R<Imm, eor, 2>;
    case 0x4A: return accumulatorInstruction<lsr>;
    case 0x4B: return R<Imm, alr, 2>;
    case 0x4C: return jmpAbsolute;
    case 0x4D: return R<Abs, eor, 4>;
    case 0x4E: return RMW<Abs, lsr, 6>;
    case 0x4F: return RMW<Abs, sre, 6>;
    case 0x50: return branchInstruction<&M::V, 0>;
    case 0x51: return R<IndY, eor, 5>;
    case 0x53: return RMW<IndY, sre, 8>;
    case 0x54: return R<ZpX, nopRead, 4>;
    case 0x55: return R<ZpX, eor, 4>;
    case 0x56: return RMW<ZpX, lsr, 6>;
    case 0x57: return RMW<ZpX, sre, 6>;
    case 0x58: return IMP<cli>;
    case 0x59: return R<AbsY, eor, 4>;
    case 0x5A: return IMP<nop>;
    case 0x5B: return RMW<AbsY, sre, 7>;
    case 0x5C: return R<AbsX, nopRead, 4>;
    case 0x5D: return R<AbsX, eor, 4>;
    case 0x5E: return RMW<AbsX, lsr, 7>;
    case 0x5F: return RMW<AbsX, sre, 7>;
    case 0x60: return rts;
    case 0x61: return R<IndX, adc<d>, 6>;
    case 0x63: return RMW<IndX, rra<d>, 8>;
    case 0x64: return R<Zp, nopRead, 3>;
    case 0x65: return R<Zp, adc<d>, 3>;
    case 0x66: return RMW<Zp, ror, 5>;
    case 0x67: return RMW<Zp, rra<d>, 5>;
    case 0x68: return pla;
    case 0x69: return R<Imm, adc<d>, 2>;
    case 0x6A: return accumulatorInstruction<ror>;
    case 0x6B: return R<Imm, arr<d>, 2>;
    case 0x6C: return jmpIndirect;
    case 0x6D: return R<Abs, adc<d>, 4>;
    case 0x6E: return RMW<Abs, ror, 6>;
    case 0x6F: return RMW<Abs, rra<d>, 6>;
    case 0x70: return branchInstruction<&M::V, 1>;
    case 0x71: return R<IndY, adc<d>, 5>;
    case 0x73: return RMW<IndY, rra<d>, 8>;
    case 0x74: return R<ZpX, nopRead, 4>;
    case 0x75: return R<ZpX, adc<d>, 4>;
    case 0x76: return RMW<ZpX, ror, 6>;
    case 0x77: return RMW<ZpX, rra<d>, 6>;
    case 0x78: return IMP<sei>;
    case 0x79: return R<AbsY, adc<d>, 4>;
    case 0x7A: return IMP<nop>;
    case 0x7B: return RMW<AbsY, rra<d>, 7>;
    case 0x7C: return R<AbsX, nopRead, 4>;
    case 0x7D: return R<AbsX, adc<d>, 4>;
    case 0x7E: return RMW<AbsX, ror, 7>;
    case 0x7F: return RMW<AbsX, rra<d>, 7>;
    case 0x80: return R<Imm, nopRead, 2>;
    case 0x81: return W<IndX, regA, 6>;
    case 0x82: return R<Imm, nopRead, 2>;
    case 0x83: return W<IndX, regAX, 6>;
    case 0x84: return W<Zp, regY, 3>;
    case 0x85: return W<Zp, regA, 3>;
    case 0x86: return W<Zp, regX, 3>;
    case 0x87: return W<Zp, regAX, 3>;
    case 0x88: return IMP<dey>;
    case 0x89: return R<Imm, nopRead, 2>;
    case 0x8A: return IMP<txa>;
    case 0x8B: return R<Imm, ane, 2>;
    case 0x8C: return W<Abs, regY, 4>;
    case 0x8D: return W<Abs, regA, 4>;
    case 0x8E: return W<Abs, regX, 4>;
    case 0x8F: return W<Abs, regAX, 4>;
    case 0x90: return branchInstruction<&M::C, 0>;
    case 0x91: return W<IndY, regA, 6>;
    case 0x93: return shaIndirectY;
    case 0x94: return W<ZpX, regY, 4>;
    case 0x95: return W<ZpX, regA, 4>;
    case 0x96: return W<ZpY, regX, 4>;
    case 0x97: return W<ZpY, regAX, 4>;
    case 0x98: return IMP<tya>;
    case 0x99: return W<AbsY, regA, 5>;
    case 0x9A: return IMP<txs>;
    case 0x9B: return tasAbsoluteY;
    case 0x9C: return shyAbsoluteX;
    case 0x9D: return W<AbsX, regA, 5>;
    case 0x9E: return shxAbsoluteY;
    case 0x9F: return shaAbsoluteY;
    case 0xA0: return R<Imm, ldy, 2>;
    case 0xA1: return R<IndX, lda, 6>;
    case 0xA2: return R<Imm, ldx, 2>;
    case 0xA3: return R<IndX, lax, 6>;
    case 0xA4: return R<Zp, ldy, 3>;
    case 0xA5: return R<Zp, lda, 3>;
    case 0xA6: return R<Zp, ldx, 3>;
    case 0xA7: return R<Zp, lax, 3>;
    case 0xA8: return IMP<tay>;
    case 0xA9: return R<Imm, lda, 2>;
    case 0xAA: return IMP<tax>;
    case 0xAB: return R<Imm, lxa, 2>;
    case 0xAC: return R<Abs, ldy, 4>;
    case 0xAD: return R<Abs, lda, 4>;
    case 0xAE: return R<Abs, ldx, 4>;
    case 0xAF: return R<Abs, lax, 4>;
    case 0xB0: return branchInstruction<&M::C, 1>;
    case 0xB1: return R<IndY, lda, 5>;
    case 0xB3: return R<IndY, lax, 5>;
    case 0xB4: return R<ZpX, ldy, 4>;
    case 0xB5: return R<ZpX, lda, 4>;
    case 0xB6: return R<ZpY, ldx, 4>;
    case 0xB7: return R<ZpY, lax, 4>;
    case 0xB8: return IMP<clv>;
    case 0xB9: return R<AbsY, lda, 4>;
    case 0xBA: return IMP<tsx>;
    case 0xBB: return R<AbsY, las, 4>;
    case 0xBC: return R<AbsX, ldy, 4>;
    case 0xBD: return R<AbsX, lda, 4>;
    case 0xBE: return R<AbsY, ldx, 4>;
    case 0xBF: return R<AbsY, lax, 4>;
    case 0xC0: return R<Imm, cpy, 2>;
    case 0xC1: return R<IndX, cmp, 6>;
    case 0xC2: return R<Imm, nopRead, 2>;
    case 0xC3: return RMW<IndX, dcp, 8>;
    case 0xC4: return R<Zp, cpy, 3>;
    case 0xC5: return R<Zp, cmp, 3>;
    case 0xC6: return RMW<Zp, dec, 5>;
    case 0xC7: return RMW<Zp, dcp, 5>;
    case 0xC8: return IMP<iny>;
    case 0xC9: return R<Imm, cmp, 2>;
    case 0xCA: return IMP<dex>;
    case 0xCB: return R<Imm, sbx, 2>;
    case 0xCC: return R<Abs, cpy, 4>;
    case 0xCD: return R<Abs, cmp, 4>;
    case 0xCE: return RMW<Abs, dec, 6>;
    case 0xCF: return RMW<Abs, dcp, 6>;
    case 0xD0: return branchInstruction<&M::Z, 0>;
    case 0xD1: return R<IndY, cmp, 5>;
    case 0xD3: return RMW<IndY, dcp, 8>;
    case 0xD4: return R<ZpX, nopRead, 4>;
    case 0xD5: return R<ZpX, cmp, 4>;
    case 0xD6: return RMW<ZpX, dec, 6>;
    case 0xD7: return RMW<ZpX, dcp, 6>;
    case 0xD8: return IMP<cld>;
    case 0xD9: return R<AbsY, cmp, 4>;
    case 0xDA: return IMP<nop>;
    case 0xDB: return RMW<AbsY, dcp, 7>;
    case 0xDC: return R<AbsX, nopRead, 4>;
    case 0xDD: return R<AbsX, cmp, 4>;
    case 0xDE: return RMW<AbsX, dec, 7>;
    case 0xDF: return RMW<AbsX, dcp, 7>;
    case 0xE0: return R<Imm, cpx, 2>;
    case 0xE1: return R<IndX, sbc<d>, 6>;
    case 0xE2: return R<Imm, nopRead, 2>;
    case 0xE3: return RMW<IndX, isc<d>, 8>;
    case 0xE4: return R<Zp, cpx, 3>;
    case 0xE5: return R<Zp, sbc<d>, 3>;
    case 0xE6: return RMW<Zp, inc, 5>;
    case 0xE7: return RMW<Zp, isc<d>, 5>;
    case 0xE8: return IMP<inx>;
    case 0xE9: return R<Imm, sbc<d>, 2>;
    case 0xEA: return IMP<nop>;
    case 0xEB: return R<Imm, sbc<d>, 2>;
    case 0xEC: return R<Abs, cpx, 4>;
    case 0xED: return R<Abs, sbc<d>, 4>;
    case 0xEE: return RMW<Abs, inc, 6>;
    case 0xEF: return RMW<Abs, isc<d>, 6>;
    case 0xF0: return branchInstruction<&M::Z, 1>;
    case 0xF1: return R<IndY, sbc<d>, 5>;
    case 0xF3: return RMW<IndY, isc<d>, 8>;
    case 0xF4: return R<ZpX, nopRead, 4>;
    case 0xF5: return R<ZpX, sbc<d>, 4>;
    case 0xF6: return RMW<ZpX, inc, 6>;
    case 0xF7: return RMW<ZpX, isc<d>, 6>;
    case 0xF8: return IMP<sed>;
    case 0xF9: return R<AbsY, sbc<d>, 4>;
    case 0xFA: return IMP<nop>;
    case 0xFB: return RMW<AbsY, isc<d>, 7>;
    case 0xFC: return R<AbsX, nopRead, 4>;
    case 0xFD: return R<AbsX, sbc<d>, 4>;
    case 0xFE: return RMW<AbsX, inc, 7>;
    case 0xFF: return RMW<AbsX, isc<d>, 7>;
    // clang-format on
    default:
      return jam;  // $02 $12 $22 $32 $42 $52 $62 $72 $92 $B2 $D2 $F2
  }
}

constexpr std::array<Handler, 256> makeBinaryTable() {
  std::array<Handler, 256> table{};
  for (unsigned op = 0; op < 256; ++op) table[op] = handlerFor<false>(op);
  return table;
}

// Slot i holds opcode $61 + 2i for i < 16 and $E1 + 2(i - 16) after that: every
// ADC, SBC, RRA, ISC and ARR opcode, and nothing else.
constexpr unsigned decimalSlot(unsigned i) { return i < 16 ? 0x61 + 2 * i : 0xE1 + 2 * (i - 16); }

constexpr std::array<Handler, 32> makeDecimalTable() {
  std::array<Handler, 32> table{};
  for (unsigned i = 0; i < 32; ++i) table[i] = handlerFor<true>(decimalSlot(i));
  return table;
}

constexpr std::array<Handler, 256> binaryHandlers = makeBinaryTable();
constexpr std::array<Handler, 32> decimalHandlers = makeDecimalTable();

}  // namespace

void TProcessor::setBinaryMode() {
  for (unsigned i = 0; i < 32; ++i) opcodeHandlers[decimalSlot(i)] = binaryHandlers[decimalSlot(i)];
}

void TProcessor::setDecimalMode() {
  for (unsigned i = 0; i < 32; ++i) opcodeHandlers[decimalSlot(i)] = decimalHandlers[i];
}

void TProcessor::installBinaryTable() { opcodeHandlers = binaryHandlers; }
