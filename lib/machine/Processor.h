// TProcessor: the 6510 itself: its registers and flags (TRegisters), what the
// instruction under way costs (cycles, a page crossed, a branch's delay), the
// depth of the routine the driver called, and the opcode table with its
// decimal-mode swap. The handlers (P6510Instructions.cpp, P6510Operations.h)
// take the machine, T6510, whose base this is: their memory is the machine's
// concrete bus accessors (readByte, writeByte, fetchByte), with no virtual call.
#pragma once

#include <array>
#include <cstdint>

#include "Registers.h"

class T6510;

class TProcessor : public TRegisters {
 public:
  using Handler = void (*)(T6510&);

  uint8_t currentOpcode = 0;
  uint32_t instructionCycles = 0;
  uint8_t pageCrossed = 0;
  int32_t branchDelay = 0;
  int32_t stackDepth = 0;
  std::array<Handler, 256> opcodeHandlers{};

  void installBinaryTable();
  // The ADC, SBC and decimal-dependent illegal opcodes as D says.
  void setBinaryMode();
  void setDecimalMode();
  // Unpacks a pulled status byte, swapping the decimal handlers when D changes.
  void pullStatusFlags(uint8_t p);
};
