// TRegisters: the 6510's registers and its status flags, one byte each (every
// flag holds 0 or 1). Kept together so that the state of the processor can be
// taken and compared in one piece (the loop watcher does so on every backward
// jump).
#pragma once

#include <cstdint>

struct TRegisters {
  uint8_t A = 0, X = 0, Y = 0, SP = 0;
  uint16_t PC = 0;
  uint8_t C = 0, Z = 0, I = 0, D = 0, B = 0, U = 0, V = 0, N = 0;

  uint8_t packStatus() const {
    return static_cast<uint8_t>(C | Z << 1 | I << 2 | D << 3 | B << 4 | U << 5 | V << 6 | N << 7);
  }
  void setNZ(uint8_t v) {
    N = v >> 7;
    Z = v == 0;
  }
};
