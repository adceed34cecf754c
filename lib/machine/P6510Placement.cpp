// The memory a tune finds when it starts: the C64 as it stands after a cold
// start, LOAD"NAME",8,1 and RUN, with the tune's data loaded over it.
#include <algorithm>
#include <string>

#include "Musplayer.h"
#include "P6510.h"
#include "ZeroPage.h"
#include "platform/Files.h"

namespace {

constexpr uint16_t screenStart = 0x0400;
constexpr uint16_t screenEnd = 0x07E7;
constexpr int screenColumns = 40;
constexpr std::size_t maxNameLength = 255;
// SYS loads A, X and Y from here before it jumps, so a tune started from BASIC
// finds its sub-tune in every register.
constexpr uint16_t sysRegisterSave = 0x030C;

// The stripes C64 DRAM typically shows after power-on: $C0/$00 halves every
// 64 bytes, crossed with a finer pattern of the low address lines.
constexpr uint8_t powerOnByte(unsigned address) {
  const unsigned i = address & 0xFFF;
  return static_cast<uint8_t>(((i & 0x40) ? 0x00 : 0xC0) | (((i & 1) == ((i >> 3) & 1)) ? 0x3F : 0x00));
}

void storeWord(std::array<uint8_t, 65536>& ram, uint16_t address, unsigned value) {
  ram[address] = static_cast<uint8_t>(value);
  ram[address + 1] = static_cast<uint8_t>(value >> 8);
}

// Writes screen text row by row; nothing lands past the last screen cell.
class ScreenWriter {
 public:
  explicit ScreenWriter(std::array<uint8_t, 65536>& ram) : ram_(ram) {}

  void at(unsigned address) { position_ = address; }
  void text(std::string_view s) {
    for (char c : s) put(static_cast<uint8_t>(c));
  }
  void put(uint8_t c) {
    if (position_ <= screenEnd) ram_[position_] = c;
    ++position_;
  }
  // Start of the row `rows` below the one holding the last character written.
  unsigned rowsBelowLast(unsigned rows) const {
    const unsigned last = position_ - 1;
    return screenStart + ((last - screenStart) / screenColumns + rows) * screenColumns;
  }
  unsigned position() const { return position_; }

 private:
  std::array<uint8_t, 65536>& ram_;
  unsigned position_ = screenStart;
};

// The name as the disk directory would show it: upper case, no directory, and
// only codes the text screen can show.
std::string screenName(std::string_view fileName) {
  const std::size_t slash = fileName.find_last_of(Platform::directoryEnds);
  if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
  fileName = fileName.substr(0, std::min(fileName.size(), maxNameLength));
  std::string name;
  name.reserve(fileName.size());
  for (char ch : fileName) {
    auto c = static_cast<uint8_t>(ch);
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 0x20);
    name.push_back(static_cast<char>(c % 96));
  }
  return name;
}

}  // namespace

void T6510::placeTuneData(const TTuneStart& start, std::span<const uint8_t> data, uint16_t loadAddress,
                          TTuneStart::Part part, int32_t songIndex) {
  const bool secondPart = part == TTuneStart::Part::second;
  const bool realC64 = start.realC64, isMus = start.mus;
  if (!secondPart) {
    setPlaySidSpecific(start.playSid);
    // A new tune: nothing of the previous one may show in memory or in the marks.
    ioImage.fill(0);
    memory.ramUsage.fill(0);
    memory.romUsage.fill(0);
    std::copy(coldStartRam.begin(), coldStartRam.end(), ram.begin());
    memory.resetPort();
    if (realC64) {
      for (unsigned a = coldStartRamSize; a < ram.size(); ++a) ram[a] = powerOnByte(a);
      // Never written during the boot: still what the RAM held at power-on.
      for (unsigned a = 0x010A; a < 0x0200; ++a) ram[a] = powerOnByte(a);
    } else {
      std::fill(ram.begin() + coldStartRamSize, ram.end(), uint8_t{0});
    }
    // playSID reads every page as RAM, so the KERNAL routines tunes call must be in it.
    if (conventions.playSid) std::copy(roms.kernal.begin(), roms.kernal.end(), ram.begin() + 0xE000);
    resetIoDefaults();  // also $02A6: a PAL machine
    sidFilter.setMusMode(isMus);
  }

  for (unsigned i = 0; i < 3; ++i) ram[sysRegisterSave + i] = static_cast<uint8_t>(songIndex);

  if (!realC64 && !secondPart) {
    // A BASIC error in a PSID tune leaves through IERROR to $FFFE, where the
    // driver sees the routine as finished; zero page and stack start empty.
    // (The cursor pointers cleared here are set again with the screen text.)
    ram[0x0300] = 0xFE;
    ram[0x0301] = 0xFF;
    std::fill(ram.begin() + 0x0002, ram.begin() + 0x0200, uint8_t{0});
  }

  const std::string name = screenName(start.fileName);
  ScreenWriter screen(ram);
  screen.at(0x04F0);
  screen.text("LOAD\"");
  screen.text(name);
  screen.text("\",8,1");
  screen.at(screen.rowsBelowLast(2));
  screen.text("SEARCHING FOR ");
  screen.text(name);
  for (std::string_view line : {"LOADING", "READY.", "RUN"}) {
    screen.at(screen.rowsBelowLast(1));
    screen.text(line);
  }
  storeWord(ram, 0xD1, 0x05E0);
  storeWord(ram, 0xF3, 0xD9E0);
  ram[0xD6] = 12;

  // Sidplayer music ends where its players begin, so an oversized file cannot
  // overwrite them.
  const unsigned limit = isMus ? TMusplayer::dataLimit() : 0x10000u;
  const std::size_t count = loadAddress < limit ? std::min<std::size_t>(data.size(), limit - loadAddress) : 0;
  std::copy_n(data.begin(), count, ram.begin() + loadAddress);
  for (std::size_t i = 0; i < count; ++i) memory.ramUsage[loadAddress + i] |= TMemoryMap::usageLoaded;
  if (isMus && !secondPart) TMusplayer::install(ram, start.stereo, start.stereoAddress);
  // One past the last loaded byte; wraps to $0000 for data that reaches $FFFF,
  // as the KERNAL's end pointer does.
  const unsigned endPlusOne = loadAddress + static_cast<unsigned>(count);
  if (!secondPart) {
    tuneLoadAddress = loadAddress;
    // Sidplayer music data is followed by the player's own memory up to $FFFF.
    tuneLoadEnd = isMus ? 0xFFFF : static_cast<uint16_t>(count ? endPlusOne - 1 : loadAddress);

    storeWord(ram, 0x2B, 0x0801);
    storeWord(ram, 0x7A, 0x0800);
    if (loadAddress < 0x0802 && endPlusOne > 0x0805) {
      ram[0x39] = ram[0x0803];
      ram[0x3A] = ram[0x0804];
      if (!realC64) {
        ram[0x7A] = ram[0x0801];
        ram[0x7B] = ram[0x0802];
      }
    }
    for (uint16_t pointer : {0x2D, 0x2F, 0x31, 0xAE}) storeWord(ram, pointer, endPlusOne);
  }

  memory.savedRamUsage = memory.ramUsage;
  pristineRam = ram;
}

void T6510::prepareSong(const TTuneStart& start, int32_t songIndex) {
  setPlaySidSpecific(start.playSid);
  const uint16_t loadAddress = start.loadAddress;
  ioImage.fill(0);
  resetIoDefaults();
  memory.romUsage.fill(0);
  memory.ramUsage = memory.savedRamUsage;
  memory.resetPort();
  ram = pristineRam;
  // Loaded data that covers the SYS register save area stays as loaded.
  for (unsigned i = 0; i < 3; ++i)
    if (loadAddress > sysRegisterSave + i) ram[sysRegisterSave + i] = static_cast<uint8_t>(songIndex);
}
