// The Sidplayer players: the committed tables are what their sources assemble
// to, and the entry points and patched bytes sit where MUS tunes are started.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Musplayer.h"
#include "TempDir.h"
#include "rom/MusPlayerTables.h"

namespace {

std::vector<uint8_t> assemble(const std::filesystem::path& source, const TTempDir& dir) {
  const std::filesystem::path out = dir.path() / (source.stem().string() + ".bin");
  const std::string command =
      "acme -I '" + source.parent_path().string() + "' -o '" + out.string() + "' '" + source.string() + "'";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Musplayer, TablesMatchTheirSources) {
  if (std::system("command -v acme > /dev/null 2>&1") != 0) GTEST_SKIP() << "acme is not installed";
  TTempDir dir;
  const std::filesystem::path sources = std::filesystem::path(ZORVEX_SOURCE_DIR) / "lib/rom";
  const std::vector<uint8_t> mono = assemble(sources / "musplayer_mono.asm", dir);
  ASSERT_EQ(mono.size(), musPlayerMonoImage.size()) << "musplayer_mono.asm did not assemble to 3,215 bytes";
  EXPECT_TRUE(std::equal(mono.begin(), mono.end(), musPlayerMonoImage.begin()))
      << "lib/rom/MusPlayerTables.cpp is stale: run python3 lib/rom/make_musplayer_tables.py";
  const std::vector<uint8_t> stereo = assemble(sources / "musplayer_stereo.asm", dir);
  ASSERT_EQ(stereo.size(), musPlayerStereoImage.size()) << "musplayer_stereo.asm did not assemble to 3,228 bytes";
  EXPECT_TRUE(std::equal(stereo.begin(), stereo.end(), musPlayerStereoImage.begin()))
      << "lib/rom/MusPlayerTables.cpp is stale: run python3 lib/rom/make_musplayer_tables.py";
}

TEST(Musplayer, EntryPointsAndPatchedBytesAreWhereTunesExpectThem) {
  std::array<uint8_t, 65536> ram{};
  TMusplayer::install(ram, true, 0x2345);
  // The patched bytes are the operands of the loads that hand the address to the player.
  EXPECT_EQ(ram[TMusplayer::monoDataLow - 1], 0xA9);   // LDA #
  EXPECT_EQ(ram[TMusplayer::monoDataHigh - 1], 0xA2);  // LDX #
  EXPECT_EQ(ram[TMusplayer::monoDataLow], 0x00);
  EXPECT_EQ(ram[TMusplayer::monoDataHigh], 0x10);
  EXPECT_EQ(ram[TMusplayer::stereoDataLow - 1], 0xA9);
  EXPECT_EQ(ram[TMusplayer::stereoDataHigh - 1], 0xA2);
  EXPECT_EQ(ram[TMusplayer::stereoDataLow], 0x45);
  EXPECT_EQ(ram[TMusplayer::stereoDataHigh], 0x23);
  // Execution from the mono init falls through to those loads.
  for (uint16_t a = TMusplayer::monoInit; a < TMusplayer::monoDataLow - 1; ++a) EXPECT_EQ(ram[a], 0xEA) << a;
  EXPECT_EQ(ram[TMusplayer::monoPlay], 0x4C);  // JMP into the player
  // The stereo entry points run the mono player first.
  const auto word = [&](unsigned a) { return ram[a] | ram[a + 1] << 8; };
  EXPECT_EQ(ram[TMusplayer::stereoInit], 0x20);
  EXPECT_EQ(word(TMusplayer::stereoInit + 1), TMusplayer::monoInit);
  EXPECT_EQ(ram[TMusplayer::stereoPlay], 0x20);
  EXPECT_EQ(word(TMusplayer::stereoPlay + 1), TMusplayer::monoPlay);
  // Both players end where their regions do.
  EXPECT_EQ(TMusplayer::monoAddress + musPlayerMonoImage.size(), 0xEC8Fu);
  EXPECT_EQ(TMusplayer::stereoAddress + musPlayerStereoImage.size(), 0xFC9Cu);

  std::array<uint8_t, 65536> mono{};
  TMusplayer::install(mono, false, 0x2345);
  EXPECT_EQ(mono[TMusplayer::stereoInit], 0);
}

}  // namespace
