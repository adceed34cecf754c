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
  layOut();
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
  remapIfChanged(portValue & 7);
}

void TMemoryMap::writePort(uint8_t value) {
  portWritten = value;
  portLatch = static_cast<uint8_t>((portLatch & ~portDirection) | (value & portDirection));
  portValue = effectivePortValue(portDirection, portWritten, portLatch);
  ram_[1] = portValue;
  remapIfChanged((~portDirection | value) & 7);
}

// Most port writes keep the banking (a read-modify-write writes the old value
// first): the tables stay as they are.
void TMemoryMap::remapIfChanged(uint8_t config) {
  if ((config & 7) != configuration || !mapped_) remap(config);
}

void TMemoryMap::remap(uint8_t config) {
  const Layout& layout = layouts_[config & 7];
  if (!mapped_) {
    readPages = layout.readPages;
    usagePages = layout.usagePages;
    romVisible = layout.romVisible;
    ioReadPage = layout.ioReadPage;
  }
  // Below $A000 every configuration shows RAM: once the tables are filled,
  // only the six pages from $A000 up change. They are copied entry by entry: a
  // block copy this small may become a string move, whose start-up costs more.
  const auto banked = [](const auto& source, auto& target) {
    target[0xA] = source[0xA];
    target[0xB] = source[0xB];
    target[0xC] = source[0xC];
    target[0xD] = source[0xD];
    target[0xE] = source[0xE];
    target[0xF] = source[0xF];
  };
  banked(layout.readPages, readPages);
  banked(layout.usagePages, usagePages);
  banked(layout.romVisible, romVisible);
  banked(layout.ioReadPage, ioReadPage);
  ioVisible = layout.ioVisible;
  mapped_ = true;
  configuration = config & 7;
  codePage = 16;
}

void TMemoryMap::conventionsChanged() {
  layOut();
  mapped_ = false;
  remap(configuration);
}

void TMemoryMap::layOut() {
  for (unsigned config = 0; config < 8; ++config) {
    Layout& layout = layouts_[config];
    const bool anyRom = (config & 3) != 0;
    const bool basic = (config & 3) == 3;
    const bool kernal = (config & 2) != 0;
    const bool io = anyRom && (config & 4);
    const bool chargen = anyRom && !io;

    for (unsigned page = 0; page < 16; ++page) {
      layout.readPages[page] = ram_.data() + page * 0x1000;
      layout.usagePages[page] = ramUsage.data();
      layout.romVisible[page] = false;
      layout.ioReadPage[page] = false;
    }
    layout.ioVisible = io;
    layout.ioReadPage[0xD] = io && conventions_.ioReadable();
    // playSID's environment reads all RAM; writes still reach I/O.
    if (!conventions_.romsReadable()) continue;

    auto showRom = [&](unsigned page, const uint8_t* data) {
      layout.readPages[page] = data;
      layout.usagePages[page] = romUsage.data();
      layout.romVisible[page] = true;
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
      layout.readPages[0xD] = io_.data();
      layout.usagePages[0xD] = romUsage.data();
    }
  }
}
