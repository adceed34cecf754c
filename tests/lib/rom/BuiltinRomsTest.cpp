// The committed ROM and player tables are what their assembler sources produce.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "BasicRomLayout.h"
#include "BuiltinRoms.h"
#include "TempDir.h"
#include "MusPlayerTables.h"

namespace {

std::vector<uint8_t> assemble(const std::filesystem::path& source, const TTempDir& dir) {
  const std::filesystem::path out = dir.path() / (source.stem().string() + ".bin");
  const std::string command =
      "acme -I '" + source.parent_path().string() + "' -o '" + out.string() + "' '" + source.string() + "'";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BuiltinRoms, TablesMatchTheirSources) {
  if (std::system("command -v acme > /dev/null 2>&1") != 0) GTEST_SKIP() << "acme is not installed";
  TTempDir dir;
  const std::filesystem::path sources = std::filesystem::path(ZORVEX_SOURCE_DIR) / "lib/rom";
  const auto check = [&](const char* source, const auto& table) {
    const std::vector<uint8_t> image = assemble(sources / source, dir);
    ASSERT_EQ(image.size(), table.size()) << source << " did not assemble to its ROM size";
    EXPECT_TRUE(std::equal(image.begin(), image.end(), table.begin()))
        << "the tables are stale for " << source << ": run python3 lib/rom/make_tables.py";
  };
  check("kernal.asm", builtinKernalImage);
  check("basic.asm", builtinBasicImage);
  check("chargen.asm", builtinCharImage);
  check("musplayer_mono.asm", musPlayerMonoImage);
  check("musplayer_stereo.asm", musPlayerStereoImage);
}

// The interpreter jumps to these addresses and expects these traps there: a
// header left stale after the ROM source moved would send BASIC astray.
TEST(BuiltinRoms, BasicLayoutPointsAtTheTrapsAndStubsOfTheImage) {
  using L = TBasicRomLayout;
  const auto at = [](uint16_t address, std::size_t offset = 0) { return builtinBasicImage[address - 0xA000 + offset]; };
  const std::pair<uint16_t, uint8_t> traps[] = {
      {L::nextStatementEntry, L::trapNextStatement}, {L::readyEntry, L::trapReady},
      {L::outputLoop, L::trapOutputChar},            {L::printContinue, L::trapPrintContinue},
      {L::sysReturn, L::trapSysReturn},              {L::reexecute, L::trapReexecute},
      {L::inputWait, L::trapInputWait},
  };
  for (const auto& [address, trap] : traps) {
    EXPECT_EQ(at(address), 0x02) << std::hex << address;
    EXPECT_EQ(at(address, 1), trap) << std::hex << address;
  }
  EXPECT_EQ(at(L::returnStub), 0x60);  // RTS
  EXPECT_EQ(at(L::mainLoopEntry), 0x6C);  // JMP ($0302)
  EXPECT_EQ(at(L::hang), 0x4C);
  EXPECT_EQ(at(L::hang, 1) | at(L::hang, 2) << 8, L::hang);
  EXPECT_EQ(builtinKernalImage[L::defaultErrorVector - 0xE000], 0x4C);  // on to the error trap
  // The floating point routines: RND's KERNAL entry jumps to its trap, errors
  // leave through the vector at $0300, USR routines return to a trap.
  const auto kernal = [](uint16_t address, std::size_t offset = 0) { return builtinKernalImage[address - 0xE000 + offset]; };
  EXPECT_EQ(kernal(L::kernalRndEntry), 0x4C);
  EXPECT_EQ(kernal(L::kernalRndEntry, 1) | kernal(L::kernalRndEntry, 2) << 8, L::rndEntry);
  EXPECT_EQ(at(L::rndEntry), 0x02);
  EXPECT_EQ(at(L::rndEntry, 1), L::trapRnd);
  EXPECT_EQ(at(L::usrReturn), 0x02);
  EXPECT_EQ(at(L::usrReturn, 1), L::trapUsrReturn);
  EXPECT_EQ(at(L::errorEntry), 0x6C);
  EXPECT_EQ(at(L::errorEntry, 1) | at(L::errorEntry, 2) << 8, 0x0300);
}

TEST(BuiltinRoms, CharacterSetHoldsReversedCopiesInItsUpperHalf) {
  // Both sets: codes 128-255 are codes 0-127 inverted, as the VIC shows them.
  for (int set = 0; set < 2; ++set)
    for (int i = 0; i < 128 * 8; ++i)
      ASSERT_EQ(builtinCharImage[set * 2048 + 1024 + i], static_cast<uint8_t>(~builtinCharImage[set * 2048 + i]));
  // 'A' (screen code 1) has pixels and differs from the blank space (32).
  int lit = 0;
  for (int row = 0; row < 8; ++row) lit += std::popcount(builtinCharImage[8 + row]);
  EXPECT_GT(lit, 8);
  for (int row = 0; row < 8; ++row) EXPECT_EQ(builtinCharImage[32 * 8 + row], 0);
}

}  // namespace
