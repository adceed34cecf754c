// The building blocks of the opcode handlers (P6510Instructions.cpp): operand
// addresses, the bus sequence of each kind of instruction as a template over
// its addressing mode, and the ALU operations those templates are instantiated
// with. Only the handler table includes this, so the blocks keep internal
// linkage (and the inlining the compiler gives functions it sees whole).
#pragma once

#include <cstdint>

#include "P6510.h"

namespace {  // NOLINT(google-build-namespaces): one includer

using M = T6510;

// ---- operand addresses ------------------------------------------------------

ZORVEX_HOT uint16_t absolute(M& m) {
  const uint16_t pc = m.PC;
  const unsigned page = pc >> 12;
  // Both operand bytes in one RAM or ROM page: one look-up serves the pair.
  if ((pc & 0x0FFF) != 0x0FFF && !m.memory.ioReadPage[page]) {
    uint8_t* usage = m.memory.activeUsagePages[page];
    TMemoryMap::markRead(usage[pc], TMemoryMap::usageFetched);
    TMemoryMap::markRead(usage[pc + 1], TMemoryMap::usageFetched);
    const uint8_t* bytes = m.memory.readPages[page] + (pc & 0x0FFF);
    m.PC = static_cast<uint16_t>(pc + 2);
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  }
  const uint8_t lo = m.fetchByte();
  const uint8_t hi = m.fetchByte();
  return static_cast<uint16_t>(lo | hi << 8);
}

// Indexed read: crossing a page costs a cycle and a read of the unfixed address.
ZORVEX_HOT uint16_t indexedRead(M& m, uint16_t base, uint8_t index) {
  const uint16_t address = static_cast<uint16_t>(base + index);
  if ((base ^ address) & 0xFF00) {
    m.pageCrossed = 1;
    ++m.instructionCycles;
    m.dummyRead(static_cast<uint16_t>((base & 0xFF00) | (address & 0x00FF)));
  }
  return address;
}

// Pointers live in zero page and wrap within it; they never see the port or I/O.
ZORVEX_HOT uint16_t zeroPageWord(M& m, uint8_t pointer) {
  const uint8_t lo = m.readZeroPage(pointer);
  const uint8_t hi = m.readZeroPage(static_cast<uint8_t>(pointer + 1));
  return static_cast<uint16_t>(lo | hi << 8);
}

ZORVEX_HOT uint16_t indexedIndirect(M& m) { return zeroPageWord(m, static_cast<uint8_t>(m.fetchByte() + m.X)); }

enum class Mode { Imm, Zp, ZpX, ZpY, Abs, AbsX, AbsY, IndX, IndY };

// Effective address of a memory operand; reads pay the page-crossing cycle.
template <Mode mode, bool read>
ZORVEX_HOT uint16_t address(M& m) {
  if constexpr (mode == Mode::Zp) return m.fetchByte();
  if constexpr (mode == Mode::ZpX) return static_cast<uint8_t>(m.fetchByte() + m.X);
  if constexpr (mode == Mode::ZpY) return static_cast<uint8_t>(m.fetchByte() + m.Y);
  if constexpr (mode == Mode::Abs) return absolute(m);
  if constexpr (mode == Mode::IndX) return indexedIndirect(m);
  if constexpr (mode == Mode::AbsX || mode == Mode::AbsY || mode == Mode::IndY) {
    const uint16_t base = mode == Mode::IndY ? zeroPageWord(m, m.fetchByte()) : absolute(m);
    const uint8_t index = mode == Mode::AbsX ? m.X : m.Y;
    if constexpr (read) return indexedRead(m, base, index);
    return static_cast<uint16_t>(base + index);
  }
  return 0;
}

constexpr bool isZeroPage(Mode mode) { return mode == Mode::Zp || mode == Mode::ZpX || mode == Mode::ZpY; }

template <Mode mode>
ZORVEX_HOT uint8_t load(M& m, uint16_t a) {
  if constexpr (isZeroPage(mode)) return m.readZeroPage(static_cast<uint8_t>(a));
  return m.readByte(a);
}

template <Mode mode>
ZORVEX_HOT void store(M& m, uint16_t a, uint8_t v) {
  if constexpr (isZeroPage(mode))
    m.writeZeroPage(static_cast<uint8_t>(a), v);
  else
    m.writeByte(a, v);
}

// ---- bus-sequence templates -------------------------------------------------

using ReadOp = void (*)(M&, uint8_t);
using ModifyOp = uint8_t (*)(M&, uint8_t);
using StoreOp = uint8_t (*)(const M&);

template <Mode mode, ReadOp op, uint32_t cycles>
void readInstruction(M& m) {
  m.instructionCycles = cycles;
  if constexpr (mode == Mode::Imm) {
    op(m, m.fetchByte());
  } else {
    const uint16_t a = address<mode, true>(m);
    op(m, load<mode>(m, a));
  }
}

template <Mode mode, StoreOp op, uint32_t cycles>
void storeInstruction(M& m) {
  m.instructionCycles = cycles;
  const uint16_t a = address<mode, false>(m);
  store<mode>(m, a, op(m));
}

// Read-modify-write: the old value is written back before the new one, as the
// NMOS bus does; on a SID register that is two writes.
template <Mode mode, ModifyOp op, uint32_t cycles>
void modifyInstruction(M& m) {
  m.instructionCycles = cycles;
  const uint16_t a = address<mode, false>(m);
  const uint8_t v = load<mode>(m, a);
  store<mode>(m, a, v);
  store<mode>(m, a, op(m, v));
}

template <ModifyOp op>
void accumulatorInstruction(M& m) {
  m.instructionCycles = 2;
  m.A = op(m, m.A);
}

template <void (*op)(M&)>
void impliedInstruction(M& m) {
  m.instructionCycles = 2;
  op(m);
}

template <uint8_t TRegisters::*flag, uint8_t wanted>
void branchInstruction(M& m) {
  m.instructionCycles = 2;
  const int8_t offset = static_cast<int8_t>(m.fetchByte());
  if (m.*flag != wanted) return;
  m.dummyRead(m.PC);
  const uint16_t from = m.PC;
  const uint16_t target = static_cast<uint16_t>(m.PC + offset);
  if ((target ^ m.PC) & 0xFF00) {
    m.instructionCycles = 4;
  } else {
    m.instructionCycles = 3;
    m.branchDelay = 1;
  }
  m.PC = target;
  if (offset < 0 && m.fastForward) m.noteBackwardJump(from);
}

// ---- ALU --------------------------------------------------------------------

void ora(M& m, uint8_t v) { m.setNZ(m.A |= v); }
void and_(M& m, uint8_t v) { m.setNZ(m.A &= v); }
void eor(M& m, uint8_t v) { m.setNZ(m.A ^= v); }
void lda(M& m, uint8_t v) { m.setNZ(m.A = v); }
void ldx(M& m, uint8_t v) { m.setNZ(m.X = v); }
void ldy(M& m, uint8_t v) { m.setNZ(m.Y = v); }
void lax(M& m, uint8_t v) { m.setNZ(m.A = m.X = v); }
void nopRead(M&, uint8_t) {}

void compare(M& m, uint8_t reg, uint8_t v) {
  m.C = reg >= v;
  m.setNZ(static_cast<uint8_t>(reg - v));
}
void cmp(M& m, uint8_t v) { compare(m, m.A, v); }
void cpx(M& m, uint8_t v) { compare(m, m.X, v); }
void cpy(M& m, uint8_t v) { compare(m, m.Y, v); }

void bit(M& m, uint8_t v) {
  m.Z = (m.A & v) == 0;
  m.V = (v >> 6) & 1;
  m.N = v >> 7;
}

template <bool decimal>
void adc(M& m, uint8_t v) {
  const unsigned a = m.A;
  const unsigned sum = a + v + m.C;
  if constexpr (!decimal) {
    m.V = ((~(a ^ v) & (a ^ sum)) >> 7) & 1;
    m.C = sum > 0xFF;
    m.setNZ(m.A = static_cast<uint8_t>(sum));
  } else {
    // NMOS: Z follows the binary sum; N and V the value after the low-nibble fix.
    m.Z = (sum & 0xFF) == 0;
    unsigned lo = (a & 0x0F) + (v & 0x0F) + m.C;
    unsigned hi = (a & 0xF0) + (v & 0xF0);
    if (lo > 9) lo += 6;
    if (lo > 0x0F) hi += 0x10;
    m.N = (hi >> 7) & 1;
    m.V = ((~(a ^ v) & (a ^ hi)) >> 7) & 1;
    if (hi >= 0xA0) hi += 0x60;
    m.C = hi > 0xFF;
    m.A = static_cast<uint8_t>(hi | (lo & 0x0F));
  }
}

template <bool decimal>
void sbc(M& m, uint8_t v) {
  const unsigned a = m.A;
  const unsigned borrow = 1 - m.C;
  const unsigned diff = a - v - borrow;
  // The flags are those of the binary subtraction in both modes.
  m.V = (((a ^ v) & (a ^ diff)) >> 7) & 1;
  m.C = diff < 0x100;
  m.setNZ(static_cast<uint8_t>(diff));
  if constexpr (!decimal) {
    m.A = static_cast<uint8_t>(diff);
  } else {
    int lo = static_cast<int>(a & 0x0F) - static_cast<int>(v & 0x0F) - static_cast<int>(borrow);
    int hi = static_cast<int>(a & 0xF0) - static_cast<int>(v & 0xF0);
    if (lo < 0) {
      lo -= 6;
      hi -= 0x10;
    }
    if (hi < 0) hi -= 0x60;
    m.A = static_cast<uint8_t>((hi & 0xF0) | (lo & 0x0F));
  }
}

void anc(M& m, uint8_t v) {
  m.setNZ(m.A &= v);
  m.C = m.N;
}
void alr(M& m, uint8_t v) {
  const uint8_t t = m.A & v;
  m.C = t & 1;
  m.setNZ(m.A = t >> 1);
}
template <bool decimal>
void arr(M& m, uint8_t v) {
  const uint8_t t = m.A & v;
  uint8_t r = static_cast<uint8_t>((t >> 1) | (m.C << 7));
  if constexpr (!decimal) {
    m.setNZ(r);
    m.C = (r >> 6) & 1;
    m.V = ((r >> 6) ^ (r >> 5)) & 1;
  } else {
    m.N = m.C;
    m.Z = r == 0;
    m.V = ((t ^ r) >> 6) & 1;
    if ((t & 0x0F) >= 5) r = static_cast<uint8_t>((r & 0xF0) | ((r + 6) & 0x0F));
    if (t >= 0x50) {
      r = static_cast<uint8_t>(r + 0x60);
      m.C = 1;
    } else {
      m.C = 0;
    }
  }
  m.A = r;
}
// ANE and LXA depend on the chip; $EE is the constant of the common NMOS parts.
void ane(M& m, uint8_t v) { m.setNZ(m.A = (m.A | 0xEE) & m.X & v); }
void lxa(M& m, uint8_t v) { m.setNZ(m.A = m.X = (m.A | 0xEE) & v); }
void sbx(M& m, uint8_t v) {
  const uint8_t t = m.A & m.X;
  compare(m, t, v);
  m.X = static_cast<uint8_t>(t - v);
}
void las(M& m, uint8_t v) { m.setNZ(m.A = m.X = m.SP = v & m.SP); }

uint8_t asl(M& m, uint8_t v) {
  m.C = v >> 7;
  v = static_cast<uint8_t>(v << 1);
  m.setNZ(v);
  return v;
}
uint8_t lsr(M& m, uint8_t v) {
  m.C = v & 1;
  v >>= 1;
  m.setNZ(v);
  return v;
}
uint8_t rol(M& m, uint8_t v) {
  const uint8_t r = static_cast<uint8_t>(v << 1 | m.C);
  m.C = v >> 7;
  m.setNZ(r);
  return r;
}
uint8_t ror(M& m, uint8_t v) {
  const uint8_t r = static_cast<uint8_t>(v >> 1 | m.C << 7);
  m.C = v & 1;
  m.setNZ(r);
  return r;
}
uint8_t inc(M& m, uint8_t v) {
  m.setNZ(++v);
  return v;
}
uint8_t dec(M& m, uint8_t v) {
  m.setNZ(--v);
  return v;
}
uint8_t slo(M& m, uint8_t v) {
  v = asl(m, v);
  ora(m, v);
  return v;
}
uint8_t rla(M& m, uint8_t v) {
  v = rol(m, v);
  and_(m, v);
  return v;
}
uint8_t sre(M& m, uint8_t v) {
  v = lsr(m, v);
  eor(m, v);
  return v;
}
template <bool decimal>
uint8_t rra(M& m, uint8_t v) {
  v = ror(m, v);
  adc<decimal>(m, v);
  return v;
}
uint8_t dcp(M& m, uint8_t v) {
  --v;
  compare(m, m.A, v);
  return v;
}
template <bool decimal>
uint8_t isc(M& m, uint8_t v) {
  ++v;
  sbc<decimal>(m, v);
  return v;
}

uint8_t regA(const M& m) { return m.A; }
uint8_t regX(const M& m) { return m.X; }
uint8_t regY(const M& m) { return m.Y; }
uint8_t regAX(const M& m) { return m.A & m.X; }

}  // namespace
