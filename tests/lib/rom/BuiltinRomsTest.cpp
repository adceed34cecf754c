// The committed ROM and player tables are what their assembler sources produce.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempDir.h"
#include "BuiltinRoms.h"
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
