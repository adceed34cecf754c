// The processor port at $00/$01, the banking it controls and the usage marks
// of discarded bus cycles.
#include "P6510.h"

namespace {

// The port's bit 5 (cassette motor) reads back low when it is an input with
// nothing driving it; bits 0-2 and 4 are pulled up.
uint8_t effectivePortValue(uint8_t direction, uint8_t written, uint8_t latch) {
  return static_cast<uint8_t>((~direction | written) & (latch | 0x17) & ((direction & 0x20) ? 0xFF : 0xDF));
}

}  // namespace

void T6510::resetPort() {
  portDirection = 0x2F;
  portWritten = 0x37;
  portLatch = 0x37;
  portValue = effectivePortValue(portDirection, portWritten, portLatch);
  ram[0] = portDirection;
  ram[1] = portValue;
  remap(portValue & 7);
}

void T6510::writePortDirection(uint8_t value) {
  portDirection = value;
  ram[0] = value;
  portLatch = static_cast<uint8_t>((portLatch & ~value) | (portWritten & value));
  portValue = effectivePortValue(portDirection, portWritten, portLatch);
  ram[1] = portValue;
  remap(portValue & 7);
}

void T6510::writePort(uint8_t value) {
  if (!conventions.portMaySwitch(PC, portValue, value)) return;
  portWritten = value;
  portLatch = static_cast<uint8_t>((portLatch & ~portDirection) | (value & portDirection));
  portValue = effectivePortValue(portDirection, portWritten, portLatch);
  ram[1] = portValue;
  remap((~portDirection | value) & 7);
}

void T6510::remap(uint8_t config) {
  configuration = config & 7;
  codePage = 16;
  const bool anyRom = (configuration & 3) != 0;
  const bool basic = (configuration & 3) == 3;
  const bool kernal = (configuration & 2) != 0;
  const bool io = anyRom && (configuration & 4);
  const bool chargen = anyRom && !io;

  for (unsigned page = 0; page < 16; ++page) {
    readPages[page] = ram.data() + page * 0x1000;
    usagePages[page] = ramUsage.data();
    romVisible[page] = false;
    ioVisibleAt[page] = false;
  }
  ioVisible = io;
  ioVisibleAt[0xD] = io;
  ioReadActive = io && conventions.ioReadable();
  ioReadPage.fill(false);
  ioReadPage[0xD] = ioReadActive;
  // playSID's environment reads all RAM; writes still reach I/O.
  if (!conventions.romsReadable()) return;

  auto showRom = [&](unsigned page, const uint8_t* data) {
    readPages[page] = data;
    usagePages[page] = romUsage.data();
    romVisible[page] = true;
  };
  if (basic) {
    showRom(0xA, roms.basic.data());
    showRom(0xB, roms.basic.data() + 0x1000);
  }
  if (kernal) {
    showRom(0xE, roms.kernal.data());
    showRom(0xF, roms.kernal.data() + 0x1000);
  }
  if (chargen) showRom(0xD, roms.chargen.data());
  if (io) {
    readPages[0xD] = ioImage.data();
    usagePages[0xD] = romUsage.data();
  }
}

void T6510::setPlaySidSpecific(bool flag) {
  conventions.playSid = flag;
  remap(configuration);
}

void T6510::dummyRead(uint16_t address) {
  markRead(readUsage(address), usageDummyRead);
  // A discarded read of a CIA register still acknowledges it, as on the real bus.
  if (ioReadActive && address >= 0xDC00 && address < 0xDE00) ciaDummyRead(address & 0xFF0F);
}
