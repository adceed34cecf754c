// The processor port at $00/$01 and the banking it controls.
#include "MemoryMap.h"

namespace {

// The port's bit 5 (cassette motor) reads back low when it is an input with
// nothing driving it; bits 0-2 and 4 are pulled up.
uint8_t effectivePortValue(uint8_t direction, uint8_t written, uint8_t latch) {
  return static_cast<uint8_t>((~direction | written) & (latch | 0x17) & ((direction & 0x20) ? 0xFF : 0xDF));
}

}  // namespace

TMemoryMap::TMemoryMap(std::array<uint8_t, 65536>& ram, std::array<uint8_t, 4096>& io, const TRoms& roms,
                       const TPlayerConventions& conventions)
    : ram_(ram), io_(io), roms_(roms), conventions_(conventions) {
  romCodeUsagePages.fill(romUsage.data());
}

void TMemoryMap::resetPort() {
  if (flat) return;
  portDirection = 0x2F;
  portWritten = 0x37;
  portLatch = 0x37;
  portValue = effectivePortValue(portDirection, portWritten, portLatch);
  ram_[0] = portDirection;
  ram_[1] = portValue;
  remap(portValue & 7);
}

void TMemoryMap::writePortDirection(uint8_t value) {
  portDirection = value;
  ram_[0] = value;
  portLatch = static_cast<uint8_t>((portLatch & ~value) | (portWritten & value));
  portValue = effectivePortValue(portDirection, portWritten, portLatch);
  ram_[1] = portValue;
  remap(portValue & 7);
}

void TMemoryMap::writePort(uint8_t value) {
  portWritten = value;
  portLatch = static_cast<uint8_t>((portLatch & ~portDirection) | (value & portDirection));
  portValue = effectivePortValue(portDirection, portWritten, portLatch);
  ram_[1] = portValue;
  remap((~portDirection | value) & 7);
}

void TMemoryMap::remap(uint8_t config) {
  configuration = config & 7;
  codePage = 16;
  const bool anyRom = (configuration & 3) != 0;
  const bool basic = (configuration & 3) == 3;
  const bool kernal = (configuration & 2) != 0;
  const bool io = anyRom && (configuration & 4);
  const bool chargen = anyRom && !io;

  for (unsigned page = 0; page < 16; ++page) {
    readPages[page] = ram_.data() + page * 0x1000;
    usagePages[page] = ramUsage.data();
    romVisible[page] = false;
    ioVisibleAt[page] = false;
  }
  ioVisible = io;
  ioVisibleAt[0xD] = io;
  ioReadActive = io && conventions_.ioReadable();
  ioReadPage.fill(false);
  ioReadPage[0xD] = ioReadActive;
  // playSID's environment reads all RAM; writes still reach I/O.
  if (!conventions_.romsReadable()) return;

  auto showRom = [&](unsigned page, const uint8_t* data) {
    readPages[page] = data;
    usagePages[page] = romUsage.data();
    romVisible[page] = true;
  };
  if (basic) {
    showRom(0xA, roms_.basic.data());
    showRom(0xB, roms_.basic.data() + 0x1000);
  }
  if (kernal) {
    showRom(0xE, roms_.kernal.data());
    showRom(0xF, roms_.kernal.data() + 0x1000);
  }
  if (chargen) showRom(0xD, roms_.chargen.data());
  if (io) {
    readPages[0xD] = io_.data();
    usagePages[0xD] = romUsage.data();
  }
}
