// The memory a tune starts in: the cold-start image, the environment of each
// tune kind, the LOAD screen, the loaded data and its marks, and its restoring.
#include <algorithm>
#include <string>
#include <vector>

#include "MachineFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Placement : public MachineTest {
 protected:
  void place(const Bytes& data, uint16_t load, bool realC64, std::string_view name = "/tunes/Commando.sid",
             int32_t song = 0) {
    TTuneStart start;
    start.loadAddress = load;
    start.realC64 = realC64;
    start.playSid = conventions().playSid;
    start.fileName = name;
    c64->placeTuneData(start, data, load, TTuneStart::Part::main, song);
  }
  std::string text(uint16_t address, std::size_t length) const {
    return std::string(c64->ram.begin() + address, c64->ram.begin() + address + length);
  }
  uint16_t word(uint16_t address) const {
    return static_cast<uint16_t>(c64->ram[address] | c64->ram[address + 1] << 8);
  }
};

// "**** COMMODORE 64 BASIC V2 ****" in screen codes, on row 1 from column 4.
const Bytes banner = {0x2A, 0x2A, 0x2A, 0x2A, 0x20, 0x03, 0x0F, 0x0D, 0x0D, 0x0F, 0x04, 0x0F, 0x12, 0x05, 0x20, 0x36,
                      0x34, 0x20, 0x02, 0x01, 0x13, 0x09, 0x03, 0x20, 0x16, 0x32, 0x20, 0x2A, 0x2A, 0x2A, 0x2A};

TEST_F(Placement, PsidStartsFromTheColdStartWithAnEmptyZeroPage) {
  // Left-overs of a previous tune.
  c64->ram[0x4000] = 0x55;
  memory().ramUsage[0x4000] = 0x80;
  memory().romUsage[0xE000] = 0x20;
  c64->ioImage[0x0400] = 0x11;
  place({0xA9, 0x00, 0x60}, 0x1000, false);

  EXPECT_EQ(c64->ram[0x0000], 0x2F);
  EXPECT_EQ(c64->ram[0x0001], 0x37);
  EXPECT_EQ(word(0x0314), 0xEA31);
  EXPECT_EQ(word(0x0316), 0xFE66);
  EXPECT_EQ(word(0x0318), 0xFE47);
  EXPECT_EQ(word(0x0300), 0xFFFE);
  EXPECT_EQ(c64->ram[0x02A6], 1);
  EXPECT_TRUE(std::equal(banner.begin(), banner.end(), c64->ram.begin() + 0x0400 + 40 + 4));
  EXPECT_EQ(text(0x0800, 3), std::string(3, '\0'));
  // $0002-$01FF hold nothing but what the placement itself sets.
  const std::vector<uint16_t> set = {0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x7A,
                                     0x7B, 0xAE, 0xAF, 0xD1, 0xD2, 0xD6, 0xF3, 0xF4};
  for (uint16_t a = 0x0002; a < 0x0200; ++a) {
    if (std::find(set.begin(), set.end(), a) != set.end()) continue;
    EXPECT_EQ(c64->ram[a], 0) << "at $" << std::hex << a;
  }
  EXPECT_EQ(c64->ram[0x4000], 0);
  EXPECT_EQ(memory().ramUsage[0x4000], 0);
  EXPECT_EQ(memory().romUsage[0xE000], 0);
  EXPECT_EQ(c64->ioImage[0x0400], 0);
  EXPECT_EQ(c64->ram[0xE000], 0);  // not playSID: no KERNAL copy
}

TEST_F(Placement, RealC64TunesFindThePowerOnPattern) {
  place({0x01}, 0x0801, true);
  EXPECT_EQ(word(0x0300), 0xE38B);      // IERROR as the KERNAL set it
  EXPECT_EQ(text(0x0100, 5), "38911");  // BASIC's number buffer from the banner
  for (uint16_t a : {0x0110, 0x1000, 0x8009}) EXPECT_EQ(c64->ram[a], 0xFF) << std::hex << a;
  for (uint16_t a : {0x010A, 0x0803, 0x1001}) EXPECT_EQ(c64->ram[a], 0xC0) << std::hex << a;
  for (uint16_t a : {0x01FF, 0x1040, 0xFFFF}) EXPECT_EQ(c64->ram[a], 0x3F) << std::hex << a;
  for (uint16_t a : {0x0148, 0x1048, 0xFFC8}) EXPECT_EQ(c64->ram[a], 0x00) << std::hex << a;
}

TEST_F(Placement, PlaySidTunesGetTheKernalInRam) {
  c64->setPlaySidSpecific(true);
  place({0x60}, 0x1000, false);
  EXPECT_TRUE(std::equal(roms->kernal.begin(), roms->kernal.end(), c64->ram.begin() + 0xE000));
}

TEST_F(Placement, ScreenShowsTheTuneBeingLoadedAndRun) {
  place({0x60}, 0x1000, false, "/music/dir/Cyber_a\xE1.sid");
  const std::string name = "CYBER_A!.SID";  // $E1 modulo 96 is "!"
  EXPECT_EQ(text(0x04F0, 22), "LOAD\"" + name + "\",8,1");
  EXPECT_EQ(text(0x0540, 26), "SEARCHING FOR " + name);
  EXPECT_EQ(text(0x0568, 7), "LOADING");
  EXPECT_EQ(text(0x0590, 6), "READY.");
  EXPECT_EQ(text(0x05B8, 3), "RUN");
  EXPECT_EQ(word(0xD1), 0x05E0);
  EXPECT_EQ(word(0xF3), 0xD9E0);
  EXPECT_EQ(c64->ram[0xD6], 12);
}

TEST_F(Placement, LongNamesStayOnTheScreen) {
  const std::array<uint8_t, 24> beyond = [&] {
    std::array<uint8_t, 24> b{};
    place({0x60}, 0x1000, false, "short");
    std::copy_n(c64->ram.begin() + 0x07E8, b.size(), b.begin());
    return b;
  }();
  place({0x60}, 0x1000, false, std::string(300, 'W'));
  // 255 letters at most: the quote after them, and RUN as the screen's second-last row.
  EXPECT_EQ(text(0x04F5, 256), std::string(255, 'W') + "\"");
  EXPECT_EQ(text(0x0400 + 14 * 40, 14), "SEARCHING FOR ");
  EXPECT_EQ(text(0x0400 + 23 * 40, 3), "RUN");
  EXPECT_TRUE(std::equal(beyond.begin(), beyond.end(), c64->ram.begin() + 0x07E8));
}

TEST_F(Placement, SubTuneWaitsInTheSysRegisterSaveArea) {
  place({0x60}, 0x1000, false, "t", 4);
  EXPECT_EQ(text(0x030C, 3), "\x04\x04\x04");
  // Data loaded over the area wins.
  place({0xAA, 0xBB, 0xCC}, 0x030C, true, "t", 4);
  EXPECT_EQ(text(0x030C, 3), "\xAA\xBB\xCC");
}

TEST_F(Placement, BasicPointersFollowTheLoadedProgram) {
  // 10 SYS2061: link $080B, line number 10.
  const Bytes program = {0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36, 0x31, 0x00, 0x00, 0x00};
  for (bool realC64 : {false, true}) {
    SCOPED_TRACE(realC64 ? "real C64" : "PSID");
    place(program, 0x0801, realC64);
    EXPECT_EQ(word(0x2B), 0x0801);
    EXPECT_EQ(word(0x39), 10);
    EXPECT_EQ(word(0x7A), realC64 ? 0x0800 : 0x080B);
    for (uint16_t pointer : {0x2D, 0x2F, 0x31, 0xAE}) EXPECT_EQ(word(pointer), 0x080D);
    EXPECT_EQ(c64->tuneLoadAddress, 0x0801);
    EXPECT_EQ(c64->tuneLoadEnd, 0x080C);
  }
  place({0x60, 0x60, 0x60, 0x60, 0x60, 0x60}, 0x1000, false);
  EXPECT_EQ(word(0x7A), 0x0800);
  EXPECT_EQ(word(0x39), 0);
  EXPECT_EQ(word(0x2D), 0x1006);
}

TEST_F(Placement, DataStopsAtTheTopOfMemoryAndIsMarkedLoaded) {
  Bytes data(0x200);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
  place(data, 0xFF00, false);
  EXPECT_EQ(c64->ram[0xFF00], 0x01);
  EXPECT_EQ(c64->ram[0xFFFF], 0x00);  // byte $FF+1 of the data
  EXPECT_EQ(c64->ram[0x0000], 0x2F);  // nothing wrapped round
  EXPECT_EQ(c64->tuneLoadEnd, 0xFFFF);
  EXPECT_EQ(word(0x2D), 0x0000);
  for (unsigned a = 0xF000; a < 0x10000; ++a) ASSERT_EQ(memory().ramUsage[a], a >= 0xFF00 ? 0x02 : 0x00) << std::hex << a;
  EXPECT_EQ(memory().savedRamUsage, memory().ramUsage);
  EXPECT_EQ(c64->pristineRam, c64->ram);
}

TEST_F(Placement, PrepareSongRestoresTheTuneAsLoaded) {
  place({0x60, 0x61, 0x62}, 0x030D, true, "t", 0);
  const auto ioAfterLoad = c64->ioImage;
  const auto ramAfterLoad = c64->ram;
  // What a started song leaves behind.
  c64->ram[0x4000] = 0x99;
  c64->ram[0x030C] = 0x77;
  memory().ramUsage[0x4000] = 0x88;
  memory().romUsage[0xA000] = 0x80;
  c64->ioImage[0x0418] = 0x0F;
  bank(0x35);

  TTuneStart start;
  start.loadAddress = 0x030D;
  start.realC64 = true;
  c64->prepareSong(start, 6);
  EXPECT_EQ(c64->ram[0x030C], 6);  // below the load address
  EXPECT_EQ(text(0x030D, 3), "\x60\x61\x62");
  auto expected = ramAfterLoad;
  expected[0x030C] = 6;
  EXPECT_EQ(c64->ram, expected);
  EXPECT_EQ(memory().ramUsage, memory().savedRamUsage);
  EXPECT_EQ(memory().ramUsage[0x030D], 0x02);
  EXPECT_TRUE(std::all_of(memory().romUsage.begin(), memory().romUsage.end(), [](uint8_t u) { return u == 0; }));
  EXPECT_EQ(c64->ioImage, ioAfterLoad);
  EXPECT_EQ(memory().portValue, 0x37);  // the port as the KERNAL leaves it, matching $01

  start.loadAddress = 0x1000;
  c64->prepareSong(start, 2);
  EXPECT_EQ(text(0x030C, 3), "\x02\x02\x02");
}

}  // namespace
