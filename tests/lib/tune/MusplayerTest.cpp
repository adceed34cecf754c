// The Sidplayer players: the entry points and patched bytes sit where MUS tunes
// are started (BuiltinRomsTest checks the tables against their sources).
#include <gtest/gtest.h>

#include <array>

#include "Musplayer.h"
#include "MusPlayerTables.h"

namespace {

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
