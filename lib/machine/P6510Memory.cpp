// The machine's side of the memory map: which port writes a player lets
// through, and the discarded bus cycles that still touch the chips.
#include "P6510.h"

void T6510::writePort(uint8_t value) {
  if (!conventions.portMaySwitch(PC, memory.portValue, value)) return;
  memory.writePort(value);
}

void T6510::setPlaySidSpecific(bool flag) {
  conventions.playSid = flag;
  memory.conventionsChanged();
}

void T6510::dummyRead(uint16_t address) {
  TMemoryMap::markRead(memory.readUsage(address), TMemoryMap::usageDummyRead);
  // A discarded read of a CIA register still acknowledges it, as on the real bus.
  if (memory.ioReadPage[0xD] && address >= 0xDC00 && address < 0xDE00) ciaDummyRead(address & 0xFF0F);
}
