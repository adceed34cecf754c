// The I/O area $D000-$DFFF: dispatch to the VIC-II, SID and CIA registers.
//
// The VIC and CIA registers here hold what was written and read it back; their
// timers, raster counter and interrupt logic plug into these routines.
#include "P6510.h"

uint8_t T6510::ioRead(uint16_t address) {
  if (address < 0xD400) return vicRead(address & 0x3F);
  if (address < 0xD800) return sidRead(address);
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

uint8_t T6510::vicRead(uint8_t reg) { return ioImage[reg]; }

void T6510::vicWrite(uint8_t reg, uint8_t value) { ioImage[reg] = value; }

uint8_t T6510::ciaRead(uint16_t foldedAddress) { return ioImage[foldedAddress - 0xD000]; }

void T6510::ciaWrite(uint16_t foldedAddress, uint8_t value) { ioImage[foldedAddress - 0xD000] = value; }

void T6510::ciaDummyRead(uint16_t) {}

void T6510::rederiveInterrupts() {}

void T6510::restartPlayTiming() { cyclesSinceSid = 0; }
