// The committed ROM tables are what their assembler sources produce.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempDir.h"
#include "rom/BuiltinRoms.h"

namespace {

std::vector<uint8_t> assemble(const std::filesystem::path& source, const TTempDir& dir) {
  const std::filesystem::path out = dir.path() / (source.stem().string() + ".bin");
  const std::string command = "acme -o '" + out.string() + "' '" + source.string() + "'";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BuiltinRoms, TablesMatchTheirSources) {
  if (std::system("command -v acme > /dev/null 2>&1") != 0) GTEST_SKIP() << "acme is not installed";
  TTempDir dir;
  const std::filesystem::path sources = std::filesystem::path(ZORVEX_SOURCE_DIR) / "lib/rom";
  const std::vector<uint8_t> kernal = assemble(sources / "kernal.asm", dir);
  ASSERT_EQ(kernal.size(), builtinKernalImage.size()) << "kernal.asm did not assemble to 8 KB";
  EXPECT_TRUE(std::equal(kernal.begin(), kernal.end(), builtinKernalImage.begin()))
      << "lib/rom/BuiltinRoms.cpp is stale: run python3 lib/rom/make_tables.py";
}

}  // namespace
