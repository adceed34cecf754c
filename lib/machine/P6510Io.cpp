// The I/O area $D000-$DFFF: dispatch to the VIC-II, SID and CIA registers.
// Each CIA repeats every 16 bytes of its page; $D800-$DBFF fold the same way.
#include "P6510.h"

uint8_t T6510::ioRead(uint16_t address) {
  // $DE00-$DFFF (expansion port) answer with the image, as plain memory.
  if (address >= 0xDE00) return ioImage[address - 0xD000];
  // A CIA read counts as more than waiting unless it changed nothing (ciaRead).
  if (address < 0xD400) {
    ++sideEffects;
    return vicRead(address & 0x3F);
  }
  if (address < 0xD800) {
    ++sideEffects;
    return sidRead(address);
  }
  return ciaRead(address & 0xFF0F);
}

void T6510::ioWrite(uint16_t address, uint8_t value) {
  if (address < 0xD400)
    vicWrite(address & 0x3F, value);
  else if (address < 0xD800)
    sidWrite(address, value);
  else if (address < 0xDE00)
    ciaWrite(address & 0xFF0F, value);
  else
    ioImage[address - 0xD000] = value;
}

