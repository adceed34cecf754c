// Finding the collection root from paths inside, at and around a tree on disk,
// the collection's update level, and the collection-relative names of tunes.
#include "Hvsc.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "SharedData.h"
#include "NativePath.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

void makeCollection(const fs::path& root) {
  for (const char* sub : {"DEMOS", "DOCUMENTS", "GAMES", "MUSICIANS"}) fs::create_directories(root / sub);
}

class HvscRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = (temp.path() / "HVSC" / "C64Music").string();
    makeCollection(root);
    fs::create_directories(root + "/MUSICIANS/H/Hubbard_Rob");
  }
  TTempDir temp;
  std::string root;
};

TEST_F(HvscRootTest, PathsInsideTheTreeGiveTheRootInTheirOwnCase) {
  EXPECT_EQ(Hvsc::GetHvscRoot(native(root + "/MUSICIANS/H/Hubbard_Rob/Commando.sid")), root);
  EXPECT_EQ(Hvsc::GetHvscRoot(native(root + "/DOCUMENTS/STIL.txt")), root);
  EXPECT_EQ(Hvsc::GetHvscRoot(native(root + "/GAMES/")), root);
  // Markers are found whatever their case; the cut keeps the given case.
  EXPECT_EQ(Hvsc::GetHvscRoot(native(root + "/musicians/h")), root);
}

TEST_F(HvscRootTest, TheRootItselfIsItsOwnRoot) {
  EXPECT_EQ(Hvsc::GetHvscRoot(root), root);
  EXPECT_EQ(Hvsc::GetHvscRoot(native(root + "/")), native(root + "/"));
}

TEST_F(HvscRootTest, NoRootWithoutAllFourSubDirectories) {
  EXPECT_EQ(Hvsc::GetHvscRoot(temp.path().string()), "");
  EXPECT_EQ(Hvsc::GetHvscRoot(""), "");
  fs::remove(root + "/GAMES");
  EXPECT_EQ(Hvsc::GetHvscRoot(native(root + "/MUSICIANS/H")), "");
  EXPECT_EQ(Hvsc::GetHvscRoot(root), "");
}

TEST_F(HvscRootTest, MarkersCountInPrecedenceOrderNotByPosition) {
  // A tree inside a directory called "demos": the first marker in precedence
  // order cuts before the tree, where no collection lies.
  const std::string nested = (temp.path() / "demos" / "HVSC" / "C64Music").string();
  makeCollection(nested);
  EXPECT_EQ(Hvsc::GetHvscRoot(native(nested + "/MUSICIANS")), "");
  // "/games" without the separator after it is no marker: "/gamesx" stays in the path.
  const std::string games = (temp.path() / "gamesx" / "C64Music").string();
  makeCollection(games);
  EXPECT_EQ(Hvsc::GetHvscRoot(native(games + "/MUSICIANS/A")), games);
}

TEST_F(HvscRootTest, FindFallsBackToAC64MusicDirectory) {
  const std::string parent = (temp.path() / "HVSC").string();
  // Below the given path: returned without testing its sub-directories.
  EXPECT_EQ(Hvsc::FindHvscRoot(parent), root);
  EXPECT_EQ(Hvsc::FindHvscRoot(native(parent + "/")), root);
  const std::string bare = (temp.path() / "bare").string();
  fs::create_directories(bare + "/C64Music");
  EXPECT_EQ(Hvsc::FindHvscRoot(bare), native(bare + "/C64Music"));
  // Within the path: cut after "C64Music", in any case.
  const std::string other = (temp.path() / "other" / "c64MUSIC").string();
  fs::create_directories(other + "/Sub");
  EXPECT_EQ(Hvsc::FindHvscRoot(native(other + "/Sub/missing.sid")), other);
}

TEST_F(HvscRootTest, FindTakesAnExistingDirectoryAsItsOwnRootAndNothingElse) {
  const std::string plain = (temp.path() / "plain").string();
  fs::create_directories(plain);
  EXPECT_EQ(Hvsc::FindHvscRoot(plain), plain);
  EXPECT_EQ(Hvsc::FindHvscRoot(native(plain + "/missing")), "");
  EXPECT_EQ(Hvsc::FindHvscRoot(""), "");
  // A C64Music name that does not exist is tried for a root before it.
  EXPECT_EQ(Hvsc::FindHvscRoot((temp.path() / "nowhere" / "C64Music" / "x").string()), "");
}

TEST_F(HvscRootTest, TheLooseRuleAlsoCutsAtGamesWithoutASeparator) {
  // The GAMES directory itself holds no collection, so only the loose rule finds one.
  EXPECT_EQ(Hvsc::GetHvscRoot(native(root + "/GAMES")), "");
  EXPECT_EQ(Hvsc::GetHvscRootLoose(native(root + "/GAMES")), root);
  EXPECT_EQ(Hvsc::GetHvscRootLoose(native(root + "/games/G-L/Kane.sid")), root);
  // Any name beginning with "games" cuts, and "/games" outranks "/musicians".
  EXPECT_EQ(Hvsc::GetHvscRoot(native(root + "/MUSICIANS/G/Gamester/Tune.sid")), root);
  EXPECT_EQ(Hvsc::GetHvscRootLoose(native(root + "/MUSICIANS/G/Gamester/Tune.sid")), "");
  // Everything else is the strict rule.
  EXPECT_EQ(Hvsc::GetHvscRootLoose(root), root);
  EXPECT_EQ(Hvsc::GetHvscRootLoose(native(root + "/DEMOS/A-F")), root);
  EXPECT_EQ(Hvsc::GetHvscRootLoose(temp.path().string()), "");
}

TEST_F(HvscRootTest, VersionIsTheHighestUpdateMarker) {
  const auto mark = [this](const char* name) { temp.write("HVSC/C64Music/DOCUMENTS/" + std::string(name), {'#'}); };
  EXPECT_EQ(Hvsc::GetHvscVersion(root), "000");
  mark("Update5.hvs");
  EXPECT_EQ(Hvsc::GetHvscVersion(root), "005");
  // Byte order after padding: 12 beats 5.
  mark("Update12.hvs");
  // Four digits, no leading digit, no number, a directory, another extension: no marker.
  mark("Update1234.hvs");
  mark("Updatex1.hvs");
  mark("Update.hvs");
  mark("Update99.txt");
  fs::create_directories(root + "/DOCUMENTS/Update98.hvs");
  EXPECT_EQ(Hvsc::GetHvscVersion(root), "012");
  // From anywhere inside the tree, and whatever the marker's case.
  mark("UPDATE13.HVS");
  EXPECT_EQ(Hvsc::GetHvscVersion(native(root + "/MUSICIANS/H/Hubbard_Rob/Commando.sid")), "013");
  // Only the first character has to be a digit.
  mark("Update5a.hvs");
  EXPECT_EQ(Hvsc::GetHvscVersion(root), "05a");
}

TEST_F(HvscRootTest, VersionWithoutACollectionOrPath) {
  EXPECT_EQ(Hvsc::GetHvscVersion(""), "");
  temp.write("DOCUMENTS/Update70.hvs", {'#'});
  EXPECT_EQ(Hvsc::GetHvscVersion(temp.path().string()), "000");
}

TEST_F(HvscRootTest, RelativePathsKeepTheCaseTheyWereGivenIn) {
  EXPECT_EQ(Hvsc::GetHvscRelativePath(native(root + "/MUSICIANS/H/Hubbard_Rob/Commando.sid")),
            native("/MUSICIANS/H/Hubbard_Rob/Commando.sid"));
  // The name needs no file behind it; only the root is examined.
  EXPECT_EQ(Hvsc::GetHvscRelativePath(native(root + "/Musicians/x/Tune.SID")), native("/Musicians/x/Tune.SID"));
  // A file lying directly in the root.
  EXPECT_EQ(Hvsc::GetHvscRelativePath(native(root + "/Loose.sid")), native("/Loose.sid"));
}

TEST_F(HvscRootTest, NamesOutsideACollectionComeBackUnchanged) {
  for (const std::string& name : {std::string("Tune.sid"), std::string("/MUSICIANS/X/Example/Tune.sid"),
                                  temp.path().string() + "/Other/Tune.sid", std::string()})
    EXPECT_EQ(Hvsc::GetHvscRelativePath(name), name);
}

// The sample of release #69 beside the project, with its own documents.
class HvscCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_SHARED("corpus/C64Music/DOCUMENTS/Songlengths.txt");
    root = (sharedDir() / "corpus" / "C64Music").string();
  }
  std::string root;
};

TEST_F(HvscCorpusTest, VersionOfTheRealTree) {
  EXPECT_EQ(Hvsc::GetHvscVersion(root), "069");
  EXPECT_EQ(Hvsc::GetHvscVersion(native(root + "/GAMES/G-L/Kane.sid")), "069");
}

TEST_F(HvscCorpusTest, EveryTuneGetsTheNameTheSongLengthDatabaseKnowsItBy) {
  // The database names every tune of the release in a comment line "; /PATH".
  std::set<std::string> known;
  std::ifstream database(root + "/DOCUMENTS/Songlengths.txt", std::ios::binary);
  for (std::string line; std::getline(database, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("; /")) known.insert(line.substr(2));
  }
  ASSERT_GT(known.size(), 50000u);
  int tunes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".sid") continue;
    ++tunes;
    // In the platform's form; the database writes collection paths with "/".
    std::string relative = Hvsc::GetHvscRelativePath(entry.path().string());
    std::replace(relative.begin(), relative.end(), Platform::pathSeparator, '/');
    EXPECT_TRUE(known.count(relative)) << entry.path() << " gave " << relative;
  }
  EXPECT_GT(tunes, 3000);
}

TEST(HvscText, LowerCaseTouchesOnlyAsciiLetters) {
  EXPECT_EQ(Hvsc::LowerAscii("ABC/xyz:\xC4\xD6 09"), "abc/xyz:\xC4\xD6 09");
}

}  // namespace
