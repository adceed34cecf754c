// The machine's side of the memory map: which port writes a player lets
// through, and playSID's view of it.
#include "P6510.h"

void T6510::writePort(uint8_t value) {
  if (!conventions.portMaySwitch(PC, memory.portValue, value)) return;
  memory.writePort(value);
}

void T6510::setPlaySidSpecific(bool flag) {
  conventions.playSid = flag;
  memory.conventionsChanged();
}
