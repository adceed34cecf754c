// TMemoryMap: what the processor sees at each address. The 6510's port at
// $00/$01 chooses the banking; the page tables say for each 4 KB page where
// reads come from (RAM, a ROM, the I/O image) and which usage map records the
// access. The usage maps keep one byte of flags per address: how the tune's
// code touched it, in RAM and in the ROM/I/O space.
//
// RAM and the I/O image belong to the machine; the map only points into them.
//
//   TMemoryMap memory(ram, ioImage, roms, conventions);
//   memory.resetPort();                          // $2F/$37, BASIC, KERNAL and I/O in
//   const uint8_t* page = memory.readPages[0xA]; // BASIC ROM now
//   TMemoryMap::markRead(memory.ramUsage[0x1000], TMemoryMap::usageRead);
//
// A flat map has no port: $00/$01 are plain RAM and the banking stays as set,
// which is the bare 6502 bus that processor test suites assume.
#pragma once

#include <array>
#include <cstdint>

#include "PlayerConventions.h"
#include "ROMs.h"

class TMemoryMap {
 public:
  // Usage-map flags, one byte per C64 address.
  static constexpr uint8_t usageFetched = 0x80;
  static constexpr uint8_t usageDummyRead = 0x40;
  static constexpr uint8_t usageRead = 0x20;
  static constexpr uint8_t usageFirstAccess = 0x10;
  static constexpr uint8_t usageWritten = 0x08;
  static constexpr uint8_t usageWrittenFirst = 0x04;
  static constexpr uint8_t usageLoaded = 0x02;

  TMemoryMap(std::array<uint8_t, 65536>& ram, std::array<uint8_t, 4096>& io, const TRoms& roms,
             const TPlayerConventions& conventions);
  TMemoryMap(const TMemoryMap&) = delete;
  TMemoryMap& operator=(const TMemoryMap&) = delete;

  // ---- the port and the banking it controls ----------------------------------
  // Power-on port state: all lines as the KERNAL leaves them ($2F/$37).
  void resetPort();
  void writePortDirection(uint8_t value);
  void writePort(uint8_t value);
  // Shows RAM, ROMs and I/O as the port's three low lines select (0-7).
  void remap(uint8_t configuration);
  // The player's conventions changed what is readable: lays the eight
  // configurations out anew and shows the current one again.
  void conventionsChanged();
  bool hasPort() const { return !flat; }
  // No port from here on: $00/$01 read and write as RAM, the banking stays.
  void makeFlat() { flat = true; }

  uint8_t portDirection = 0;
  uint8_t portWritten = 0;
  uint8_t portLatch = 0;
  uint8_t portValue = 0;
  uint8_t configuration = 7;

  // ---- page tables -----------------------------------------------------------
  std::array<const uint8_t*, 16> readPages{};
  std::array<uint8_t*, 16> usagePages{};  // base of the whole map (ramUsage or romUsage)
  std::array<bool, 16> romVisible{};
  bool ioVisible = false;  // writes to $D000-$DFFF reach I/O
  // I/O answers reads here: visible and readable by the conventions (only $D
  // is ever set). Reads go through the machine's I/O dispatch, which answers
  // $DE00-$DFFF from the image itself.
  std::array<bool, 16> ioReadPage{};

  // ---- usage maps --------------------------------------------------------------
  std::array<uint8_t, 65536> ramUsage{};
  std::array<uint8_t, 65536> romUsage{};
  std::array<uint8_t, 65536> savedRamUsage{};
  bool codeInRom = false;  // the current instruction was fetched from ROM
  // Code in ROM marks all its accesses in romUsage; these follow codeInRom.
  std::array<uint8_t*, 16> romCodeUsagePages{};
  uint8_t* const* activeUsagePages = usagePages.data();
  uint8_t* activeRamUsage = ramUsage.data();
  // The page the usage maps were chosen for; 16: choose anew, which is also
  // what code in the I/O area keeps, so that its page is never taken as chosen.
  unsigned codePage = 16;
  // The code page's bytes and usage map: an opcode fetch needs no look-up by
  // page (nor a test for I/O, which is never the chosen page).
  const uint8_t* codeBytes = nullptr;
  uint8_t* codeUsage = nullptr;

  // Selects the maps for the accesses of code running at pc; whether I/O
  // answers there, so that every fetch of that code goes through the chips.
  bool selectUsageMaps(uint16_t pc) {
    const unsigned page = pc >> 12;
    codeInRom = romVisible[page];
    activeUsagePages = codeInRom ? romCodeUsagePages.data() : usagePages.data();
    activeRamUsage = codeInRom ? romUsage.data() : ramUsage.data();
    codeBytes = readPages[page];
    codeUsage = activeUsagePages[page];
    const bool inIo = ioReadPage[page];
    codePage = inIo ? 16 : page;
    return inIo;
  }
  uint8_t& readUsage(uint16_t address) { return activeUsagePages[address >> 12][address]; }
  uint8_t& writeUsage(uint16_t address, bool toIo) { return (toIo ? romUsage.data() : activeRamUsage)[address]; }

  // What a usage byte becomes after an access of each kind, by its old value:
  // one table look-up instead of the flag arithmetic on every bus cycle.
  struct UsageTables {
    std::array<uint8_t, 256> fetched, dummyRead, read, written;
  };
  static constexpr UsageTables usageTables = [] {
    UsageTables t{};
    for (unsigned u = 0; u < 256; ++u) {
      const uint8_t first = u == 0 ? usageFirstAccess : 0;
      t.fetched[u] = static_cast<uint8_t>(u | first | usageFetched);
      t.dummyRead[u] = static_cast<uint8_t>(u | first | usageDummyRead);
      t.read[u] = static_cast<uint8_t>(u | first | usageRead);
      t.written[u] = static_cast<uint8_t>(u | first | usageWritten | ((u & usageRead) ? 0 : usageWrittenFirst));
    }
    return t;
  }();
  // A byte that already carries the flag is left alone: in a loop almost every
  // access is a repeat, and skipping the store keeps the look-up off its path.
  // (A written byte always also has $04 or $20, so the table would add nothing.)
  static void markRead(uint8_t& usage, uint8_t flag) {
    if (usage & flag) return;
    if (flag == usageFetched)
      usage = usageTables.fetched[usage];
    else if (flag == usageDummyRead)
      usage = usageTables.dummyRead[usage];
    else
      usage = usageTables.read[usage];
  }
  static void markWrite(uint8_t& usage) {
    if (!(usage & usageWritten)) usage = usageTables.written[usage];
  }

 private:
  std::array<uint8_t, 65536>& ram_;
  std::array<uint8_t, 4096>& io_;
  const TRoms& roms_;
  const TPlayerConventions& conventions_;
  bool flat = false;

  // The page tables of each configuration, laid out once: a tune that banks
  // in its interrupt handler switches thousands of times a second.
  struct Layout {
    std::array<const uint8_t*, 16> readPages{};
    std::array<uint8_t*, 16> usagePages{};
    std::array<bool, 16> romVisible{}, ioReadPage{};
    bool ioVisible = false;
  };
  std::array<Layout, 8> layouts_{};
  bool mapped_ = false;  // the tables show layouts_[configuration]
  void layOut();
  void remapIfChanged(uint8_t configuration);
};
