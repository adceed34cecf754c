// The database shipped in data/ must still be what this build makes: every
// sub-tune of every corpus tune that is byte for byte the file of the shipped
// release (data/identical-in-release-83.txt, made by scripts/list-identical.sh)
// hashes to the database's line for it. A change of the machine that alters
// hashes fails here until the database is made again (scripts/make-database.sh).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "SharedData.h"
#include "TreeHashLines.h"

namespace fs = std::filesystem;

namespace {

#ifdef SHIPPED_SMALL_PICK
// Instrumented builds play ten to twenty times slower: every fiftieth tune.
constexpr std::size_t pickEvery = 50;
#else
constexpr std::size_t pickEvery = 1;
#endif

TEST(ShippedDatabase, GivesTheHashesThisBuildMakesForTheReleasesOwnFiles) {
  REQUIRE_SHARED("corpus/C64Music");
  const fs::path database = fs::path(KELVARY_FILE).parent_path() / "database.txt";
  if (!fs::exists(database)) GTEST_SKIP() << "this tree ships no database (data/database.tar.xz)";
  std::ifstream list(fs::path(ZORVEX_SOURCE_DIR) / "data/identical-in-release-83.txt");
  std::vector<std::string> identical;
  for (std::string name; std::getline(list, name);)
    if (!name.empty()) identical.push_back(name.substr(1));  // "/MUSICIANS/..." to a relative name
  ASSERT_GT(identical.size(), 3000u);

  std::vector<std::string> picked;
  for (std::size_t i = 0; i < identical.size(); i += pickEvery) picked.push_back(identical[i]);
  // The database's line for each sub-tune of the picked tunes.
  std::map<std::string, std::string> shipped;
  const std::set<std::string> wanted(picked.begin(), picked.end());
  std::ifstream in(database);
  for (std::string line; std::getline(in, line);) {
    if (line.size() < 35 || line[32] != '=' || line[33] != '/') continue;
    const std::string label = line.substr(34);
    if (wanted.count(label.substr(0, label.rfind(" #")))) shipped[label] = line.substr(0, 32);
  }

  // The database's own play time: the default, three minutes.
  const std::vector<std::string> lines = TreeHashLines(KELVARY_FILE, sharedDir() / "corpus/C64Music", picked, {});
  std::size_t same = 0;
  std::vector<std::string> differing;
  for (const std::string& line : lines) {
    const auto it = shipped.find(line.substr(33));
    if (it != shipped.end() && it->second == line.substr(0, 32))
      ++same;
    else
      differing.push_back(line + (it == shipped.end() ? "  (not in the database)" : "  (database: " + it->second + ")"));
  }
  EXPECT_EQ(lines.size(), shipped.size()) << "sub-tunes made here against the database's lines for the same tunes";
  std::string shown;
  for (std::size_t i = 0; i < std::min<std::size_t>(differing.size(), 20); ++i) shown += differing[i] + "\n";
  EXPECT_TRUE(differing.empty()) << differing.size() << " of " << lines.size()
                                 << " sub-tunes hash otherwise than the shipped database; remake it with "
                                    "scripts/make-database.sh. The first:\n"
                                 << shown;
  EXPECT_GT(same, 0u);
}

}  // namespace
