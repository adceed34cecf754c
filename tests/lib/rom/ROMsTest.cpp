// The ROM set: genuine images found on disk, checked by size and chosen image by
// image, and the placeholder KERNAL's interrupt routines run on the processor.
#include "ROMs.h"
#include "BuiltinRoms.h"

#include <stdlib.h>

#include <algorithm>
#include <optional>
#include <string>

#include "lib/machine/MachineFixture.h"
#include "TempDir.h"
#include "platform/Files.h"
#include "platform/System.h"

namespace {

std::vector<uint8_t> image(std::size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

template <std::size_t N>
bool holds(const std::array<uint8_t, N>& rom, const std::vector<uint8_t>& bytes) {
  return std::equal(rom.begin(), rom.end(), bytes.begin(), bytes.end());
}

template <std::size_t N>
bool blank(const std::array<uint8_t, N>& rom) {
  return std::all_of(rom.begin(), rom.end(), [](uint8_t b) { return b == 0; });
}

// Sets an environment variable for one test and puts the old value back.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (std::string old = Platform::environment(name); !old.empty()) old_ = old;
    Platform::setEnvironment(name, value);
  }
  ~TScopedEnv() {
    if (old_)
      Platform::setEnvironment(name_, *old_);
    else
      Platform::unsetEnvironment(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST(RomFiles, ExplicitDirectoryIsSearchedAlone) {
  TTempDir dir;
  const auto kernal = dir.write("kernal", image(8192, 1));
  const auto basic = dir.write("BASIC-901226-01.bin", image(8192, 2));
  const auto chargen = dir.write("chargen.bin", image(4096, 3));
  TScopedEnv env("ZORVEX_ROMS", dir.path().string());

  const std::vector<std::filesystem::path> dirs = TRoms::searchDirectories();
  ASSERT_EQ(dirs, std::vector<std::filesystem::path>{dir.path()});
  const TRoms roms = TRoms::fromDirectories(dirs);
  EXPECT_EQ(roms.kernalSource, kernal.string());
  EXPECT_EQ(roms.basicSource, basic.string());
  EXPECT_EQ(roms.chargenSource, chargen.string());
  EXPECT_TRUE(holds(roms.kernal, image(8192, 1)));
  EXPECT_TRUE(holds(roms.basic, image(8192, 2)));
  EXPECT_TRUE(holds(roms.chargen, image(4096, 3)));
}

TEST(RomFiles, BuiltinPinsTheRunToOurOwnSet) {
  TScopedEnv env("ZORVEX_ROMS", TRoms::builtinOnly);
  EXPECT_TRUE(TRoms::searchDirectories().empty());
  const TRoms roms = TRoms::fromDirectories(TRoms::searchDirectories());
  EXPECT_EQ(roms.kernalSource, TRoms::builtinSource);
  EXPECT_EQ(roms.kernal, TRoms::builtinKernal());
}

TEST(RomFiles, WithoutExplicitDirectoryTheBinarysOwnComesFirst) {
  Platform::unsetEnvironment("ZORVEX_ROMS");
  const std::vector<std::filesystem::path> dirs = TRoms::searchDirectories();
  ASSERT_FALSE(dirs.empty());
  // Linked statically into this test, the ROM code lives in the test executable.
  EXPECT_EQ(dirs.front(), std::filesystem::path(Platform::programDirectory()) / "roms");
  EXPECT_NE(std::find(dirs.begin(), dirs.end(), std::filesystem::path("/usr/share/vice/C64")), dirs.end());
}

TEST(RomFiles, FoundImagesMustBeAGenuineRevisionNamedOnesNeedNot) {
  // The check value of CRC-32 ("123456789"), so the revisions' values mean what they say.
  const std::string check = "123456789";
  EXPECT_EQ(TRoms::crc32(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xCBF43926u);

  TTempDir dir;
  dir.write("kernal", std::vector<uint8_t>(8192, 0));
  dir.write("basic", std::vector<uint8_t>(8192, 0));
  dir.write("chargen", image(4096, 7));
  const TRoms found = TRoms::fromDirectories({dir.path()}, TRoms::TTrust::knownRevisions);
  EXPECT_EQ(found.kernalSource, TRoms::builtinSource);
  EXPECT_EQ(found.kernal, TRoms::builtinKernal());
  EXPECT_EQ(found.basicSource, TRoms::builtinSource);
  EXPECT_EQ(found.chargenSource, TRoms::builtinSource);

  const TRoms named = TRoms::fromDirectories({dir.path()}, TRoms::TTrust::asGiven);
  EXPECT_EQ(named.kernalSource, (dir.path() / "kernal").string());
  EXPECT_TRUE(blank(named.kernal));
  EXPECT_TRUE(holds(named.chargen, image(4096, 7)));
}

TEST(RomFiles, WrongSizesAreRejectedImageByImage) {
  TTempDir dir;
  dir.write("kernal", image(8191, 1));
  dir.write("basic", image(8193, 2));
  const auto chargen = dir.write("chargen", image(4096, 3));

  const TRoms roms = TRoms::fromDirectories({dir.path()});
  EXPECT_EQ(roms.kernalSource, TRoms::builtinSource);
  EXPECT_EQ(roms.kernal, TRoms::builtinKernal());
  EXPECT_EQ(roms.basicSource, TRoms::builtinSource);
  EXPECT_EQ(roms.basic, TRoms::builtinBasic());
  EXPECT_EQ(roms.chargenSource, chargen.string());
  EXPECT_TRUE(holds(roms.chargen, image(4096, 3)));
}

TEST(RomFiles, EachImageComesFromTheFirstDirectoryThatHoldsIt) {
  TTempDir first, second, missing;
  const auto basic = first.write("basic", image(8192, 4));
  first.write("kernal", image(100, 5));
  second.write("basic", image(8192, 6));
  const auto kernal = second.write("kernal-901227-03.bin", image(8192, 7));

  const TRoms roms = TRoms::fromDirectories({missing.path() / "absent", first.path(), second.path()});
  EXPECT_EQ(roms.basicSource, basic.string());
  EXPECT_TRUE(holds(roms.basic, image(8192, 4)));
  EXPECT_EQ(roms.kernalSource, kernal.string());
  EXPECT_TRUE(holds(roms.kernal, image(8192, 7)));
  EXPECT_EQ(roms.chargenSource, TRoms::builtinSource);
  EXPECT_TRUE(std::equal(roms.chargen.begin(), roms.chargen.end(), builtinCharImage.begin()));
}

TEST(RomFiles, ChoiceAmongNamesInOneDirectory) {
  {
    // VICE keeps several revisions side by side; the C64's last one is the default.
    TTempDir dir;
    dir.write("kernal-901227-01.bin", image(8192, 1));
    const auto rev3 = dir.write("kernal-901227-03.bin", image(8192, 3));
    dir.write("jpkernal", image(8192, 9));
    EXPECT_EQ(TRoms::fromDirectories({dir.path()}).kernalSource, rev3.string());
    const auto plain = dir.write("KERNAL", image(8192, 4));
    EXPECT_EQ(TRoms::fromDirectories({dir.path()}).kernalSource, plain.string());
  }
  {
    // A preferred name of the wrong size gives way to any other of the right size.
    TTempDir dir;
    dir.write("kernal", image(4096, 1));
    const auto other = dir.write("kernal-901227-02.bin", image(8192, 2));
    EXPECT_EQ(TRoms::fromDirectories({dir.path()}).kernalSource, other.string());
  }
  {
    TTempDir dir;
    dir.write("jpkernal", image(8192, 9));
    dir.write("char", image(4096, 9));
    const TRoms roms = TRoms::fromDirectories({dir.path()});
    EXPECT_EQ(roms.kernalSource, TRoms::builtinSource);
    EXPECT_EQ(roms.chargenSource, TRoms::builtinSource);
  }
}

namespace {

// A machine in the real-C64 environment with our own KERNAL banked in.
class BuiltinKernal : public MachineTest {
 protected:
  BuiltinKernal() {
    roms->kernal = TRoms::builtinKernal();
    conventions().realC64 = true;
    bank(0x37);
    c64->SP = 0xFF;
    c64->I = 0;
    c64->A = 0x11;
    c64->X = 0x22;
    c64->Y = 0x33;
    c64->PC = 0xC000;
    poke(0x0314, {0x31, 0xEA, 0x66, 0xFE, 0x47, 0xFE});  // the KERNAL's own RAM vectors
  }

  // Steps until PC reaches target; returns the cycles spent, or 0 when it never does.
  uint32_t runTo(uint16_t target, int limit = 50) {
    uint32_t cycles = 0;
    for (int i = 0; i < limit && c64->PC != target; ++i) cycles += step();
    return c64->PC == target ? cycles : 0;
  }

  // Interrupts the code at $C000 with the registers as the fixture set them and
  // runs until the handler has returned there.
  bool interruptAndReturn() {
    c64->PC = 0xC000;
    c64->A = 0x11;
    c64->X = 0x22;
    c64->Y = 0x33;
    c64->interruptEntry(T6510::irqVector);
    return runTo(0xC000, 600) > 0;
  }

  void expectRegistersRestored() {
    EXPECT_EQ(c64->A, 0x11);
    EXPECT_EQ(c64->X, 0x22);
    EXPECT_EQ(c64->Y, 0x33);
    EXPECT_EQ(c64->SP, 0xFF);
    EXPECT_EQ(c64->I, 0);
  }
};

}  // namespace

TEST_F(BuiltinKernal, IrqReachesTheRamVectorWithTheRegistersPushed) {
  poke(0x0314, {0x00, 0x20});
  c64->interruptEntry(T6510::irqVector);
  EXPECT_EQ(c64->PC, 0xFF48);
  // The genuine entry takes 29 cycles to reach the handler; tunes are timed by it.
  EXPECT_EQ(runTo(0x2000), 29u);
  EXPECT_EQ(c64->SP, 0xF9);
  EXPECT_EQ(c64->ram[0x01FF], 0xC0);  // return address
  EXPECT_EQ(c64->ram[0x01FE], 0x00);
  EXPECT_EQ(c64->ram[0x01FD] & 0x10, 0);  // B clear: an interrupt, not BRK
  EXPECT_EQ(c64->ram[0x01FC], 0x11);      // A, X, Y in that order
  EXPECT_EQ(c64->ram[0x01FB], 0x22);
  EXPECT_EQ(c64->ram[0x01FA], 0x33);
}

TEST_F(BuiltinKernal, DefaultIrqHandlerCountsTheClockAcknowledgesCia1AndReturns) {
  poke(0x00A0, {0x00, 0x00, 0xFF});
  c64->interruptEntry(T6510::irqVector);
  ASSERT_GT(runTo(0xEA31), 0u);
  c64->A = c64->X = c64->Y = 0;
  ASSERT_GT(runTo(0xC000, 400), 0u);
  expectRegistersRestored();
  EXPECT_TRUE(memory().romUsage[0xDC0D] & TMemoryMap::usageRead);
  EXPECT_EQ(c64->ram[0x00A1], 0x01);  // the jiffy clock carried
  EXPECT_EQ(c64->ram[0x00A2], 0x00);
}

// The genuine handler's side duties: they cost time that interleaved sample
// players depend on, and leave state that programs read.
TEST_F(BuiltinKernal, DefaultIrqHandlerBlinksTheCursorStopsTheTapeMotorAndSeesStop) {
  poke(0x0288, {0x04});
  poke(0x00D1, {0x00, 0x04});
  poke(0x00F3, {0x00, 0xD8});
  poke(0x00D3, {0x02});
  poke(0x0402, {0x01});  // 'A' under the cursor
  poke(0x0286, {0x0E});  // text colour
  c64->writeByte(0xD802, 0x05);
  poke(0x00C0, {0x01});  // the tape interlock is taken
  c64->writeByte(0x0001, 0x17);  // motor on, ROMs in
  c64->writeByte(0xDC03, 0xFF);  // the keyboard row reads STOP down
  c64->writeByte(0xDC01, 0x7F);
  poke(0x0277, {0x41});
  poke(0x00C6, {0x01});

  auto interrupt = [this](uint8_t blinkOff, uint8_t countdown) {
    poke(0x00CC, {blinkOff, countdown});
    return interruptAndReturn();
  };
  ASSERT_TRUE(interrupt(0x01, 0x01));  // blinking off: the cell and the countdown stay
  EXPECT_EQ(c64->ram[0x0402], 0x01);
  EXPECT_EQ(c64->ram[0x00CD], 0x01);
  EXPECT_EQ(c64->ram[0x00C0], 0x00);  // no button held: the interlock is dropped
  EXPECT_EQ(c64->ram[0x0001] & 0x20, 0x20);  // and the motor stopped
  EXPECT_EQ(c64->ram[0x0001] & 0x07, 0x07);  // the banking untouched
  EXPECT_EQ(c64->ram[0x0091], 0x7F);

  ASSERT_TRUE(interrupt(0x00, 0x02));  // counting down
  EXPECT_EQ(c64->ram[0x0402], 0x01);
  EXPECT_EQ(c64->ram[0x00CD], 0x01);
  ASSERT_TRUE(interrupt(0x00, 0x01));  // the twentieth jiffy: reversed, in the text colour
  EXPECT_EQ(c64->ram[0x0402], 0x81);
  EXPECT_EQ(c64->readByte(0xD802) & 0x0F, 0x0E);
  EXPECT_EQ(c64->ram[0x00CD], 20);
  ASSERT_TRUE(interrupt(0x00, 0x01));  // and back, with the colour it had
  EXPECT_EQ(c64->ram[0x0402], 0x01);
  EXPECT_EQ(c64->readByte(0xD802) & 0x0F, 0x05);
  expectRegistersRestored();

  poke(0x0322, {0x33, 0xF3});                    // the CLRCHN and STOP vectors
  poke(0x0328, {0xED, 0xF6});
  poke(0xC000, {0x20, 0xE1, 0xFF, 0x08, 0x68});  // JSR STOP, PHP, PLA
  c64->PC = 0xC000;
  ASSERT_GT(runTo(0xC005, 400), 0u);
  EXPECT_EQ(c64->A & 0x02, 0x02);     // Z: STOP is down
  EXPECT_EQ(c64->ram[0x00C6], 0x00);  // and the typed keys are gone
}

// Sample players that run beside the handler depend on its length: with no key
// down, blinking off and no tape button, the genuine handler's usual path (as
// measured against the reference recordings) takes this long from $EA31 to the
// instruction after the interrupted one.
TEST_F(BuiltinKernal, UsualIrqPathTakesAsLongAsTheGenuineOne) {
  poke(0x00CC, {0x01});
  poke(0x00C5, {64});
  poke(0x00A0, {0x00, 0x00, 0x10});
  c64->interruptEntry(T6510::irqVector);
  ASSERT_GT(runTo(0xEA31), 0u);
  EXPECT_EQ(runTo(0xC000, 400), 183u);
  expectRegistersRestored();
}

// Tunes chain into the middle of the handler to skip the clock or the tape
// check; each entry must still scan the keyboard (unless past it) and return.
TEST_F(BuiltinKernal, InnerHandlerEntriesSkipOnlyTheEarlierDuties) {
  struct Entry {
    uint16_t address;
    bool tapeChecked, keyboardScanned;
  };
  for (const Entry& e : {Entry{0xEA34, true, true}, Entry{0xEA61, true, true}, Entry{0xEA7B, false, true},
                         Entry{0xEA7E, false, false}}) {
    SCOPED_TRACE(e.address);
    poke(0x00A0, {0x00, 0x00, 0x00});
    poke(0x00CC, {0x01});
    poke(0x00CB, {0x00});
    c64->writeByte(0x0001, 0x17);
    poke(0x0314, {static_cast<uint8_t>(e.address), static_cast<uint8_t>(e.address >> 8)});
    ASSERT_TRUE(interruptAndReturn());
    expectRegistersRestored();
    EXPECT_EQ(c64->ram[0x00A2], 0x00);  // the clock is skipped by every one of them
    EXPECT_EQ((c64->ram[0x0001] & 0x20) != 0, e.tapeChecked);
    EXPECT_EQ(c64->ram[0x00CB] == 64, e.keyboardScanned);
  }
}

TEST_F(BuiltinKernal, BrkRestoresVectorsAndIoThenWarmStartsBasic) {
  poke(0xC000, {0x00, 0xFF, 0xEA});  // BRK, padding, NOP
  poke(0x0314, {0x00, 0x20});        // a tune's own IRQ handler
  poke(0x0316, {0x66, 0xFE});
  cia(1).timerAStopped = true;
  step();
  EXPECT_EQ(c64->PC, 0xFF48);
  ASSERT_GT(runTo(0xFE66), 0u);  // B set: through $0316
  ASSERT_GT(runTo(static_cast<uint16_t>(roms->basic[2] | roms->basic[3] << 8), 20000), 0u);  // ($A002)
  EXPECT_EQ(c64->ram[0x0314], 0x31);
  EXPECT_EQ(c64->ram[0x0315], 0xEA);
  EXPECT_FALSE(cia(1).timerAStopped);
}

TEST_F(BuiltinKernal, NmiRunsTheDefaultHandlerWhichSilencesCia2) {
  c64->interruptEntry(T6510::nmiVector);
  EXPECT_EQ(c64->PC, 0xFE43);
  ASSERT_GT(runTo(0xFE47), 0u);  // through $0318
  ASSERT_GT(runTo(0xC000), 0u);
  expectRegistersRestored();
  EXPECT_TRUE(memory().romUsage[0xDD0D] & TMemoryMap::usageWritten);
  EXPECT_TRUE(memory().romUsage[0xDD0D] & TMemoryMap::usageRead);
}

TEST_F(BuiltinKernal, ChroutPrintsScreenCodesAndMovesTheCursor) {
  poke(0x0326, {0xCA, 0xF1});   // CHROUT vector
  poke(0x0288, {0x04});         // screen at $0400
  poke(0x00D1, {0x00, 0x04});   // line pointer: row 0
  poke(0x00F3, {0x00, 0xD8});
  poke(0x00D3, {0x05});         // column 5
  // A = $11 (cursor down) moves a row; 'A' gives screen code 1, RETURN a new line.
  poke(0xC000, {0x20, 0xD2, 0xFF, 0xA9, 0x41, 0x20, 0xD2, 0xFF, 0xA9, 0x0D, 0x20, 0xD2, 0xFF});
  ASSERT_GT(runTo(0xC00D, 400), 0u);
  EXPECT_EQ(c64->ram[0x0405], 0x00);
  EXPECT_EQ(c64->ram[0x042D], 0x01);
  EXPECT_EQ(c64->ram[0x00D3], 0);     // column
  EXPECT_EQ(c64->ram[0x00D6], 2);     // row
  EXPECT_EQ(c64->ram[0x00D1], 0x50);  // the next line starts at $0450
  EXPECT_EQ(c64->X, 0x22);            // registers kept
  EXPECT_EQ(c64->Y, 0x33);
}

TEST_F(BuiltinKernal, ChroutFollowsTheScreenEditorsControlCodes) {
  poke(0x0326, {0xCA, 0xF1});
  poke(0x0288, {0x04});
  poke(0x0286, {0x0E});
  const std::vector<uint8_t> text = {
      0x13,                    // home
      0x12, 0x41, 0x92, 0x42,  // reverse A, plain B
      0x1C, 0x43,              // red C
      0x9D, 0x9D, 0x44,        // two left: D over B
      0x22, 0x11, 0x22, 0x11,  // in quotes cursor down shows as reverse Q; after them it moves
      0xC1, 0xFF,              // shifted A, pi
  };
  std::vector<uint8_t> code;
  for (uint8_t c : text) code.insert(code.end(), {0xA9, c, 0x20, 0xD2, 0xFF});
  std::copy(code.begin(), code.end(), c64->ram.begin() + 0xC000);
  ASSERT_GT(runTo(static_cast<uint16_t>(0xC000 + code.size()), 2000), 0u);
  EXPECT_EQ(c64->ram[0x0400], 0x81);
  EXPECT_EQ(c64->ram[0x0401], 0x04);  // D
  EXPECT_EQ(c64->ioImage[0x801], 2);  // in red (colour RAM sits in the I/O area)
  EXPECT_EQ(c64->ram[0x0402], 0x22);
  EXPECT_EQ(c64->ram[0x0403], 0x91);  // the quoted cursor-down
  EXPECT_EQ(c64->ram[0x0404], 0x22);
  EXPECT_EQ(c64->ram[0x042D], 0x41);  // a row down: shifted A (screen $41) and pi ($5E)
  EXPECT_EQ(c64->ram[0x042E], 0x5E);
}

TEST_F(BuiltinKernal, ResetInitialisesTheMachineForA60HzInterrupt) {
  c64->ram[0x02A6] = 1;  // PAL
  c64->PC = roms->kernalWord(0xFFFC);
  // On to BASIC's cold start vector (the fixture's BASIC image is a pattern).
  ASSERT_GT(runTo(static_cast<uint16_t>(roms->basic[0] | roms->basic[1] << 8), 20000), 0u);
  EXPECT_EQ(cia(1).timerALatch, 0x4025);
  EXPECT_FALSE(cia(1).timerAStopped);
  EXPECT_EQ(c64->ram[0x0314], 0x31);  // RESTOR put back the vectors
  EXPECT_EQ(c64->ram[0x0315], 0xEA);
  EXPECT_EQ(c64->ram[0x0326], 0xCA);
  EXPECT_EQ(c64->ram[0x0400], 0x20);  // a cleared screen
  EXPECT_EQ(c64->ram[0x0282], 0x08);  // start of BASIC memory
}
