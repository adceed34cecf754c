// Finding the collection root from paths inside, at and around a tree on disk.
#include "Hvsc.h"

#include <filesystem>

#include <gtest/gtest.h>

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
  EXPECT_EQ(Hvsc::GetHvscRoot(root + "/MUSICIANS/H/Hubbard_Rob/Commando.sid"), root);
  EXPECT_EQ(Hvsc::GetHvscRoot(root + "/DOCUMENTS/STIL.txt"), root);
  EXPECT_EQ(Hvsc::GetHvscRoot(root + "/GAMES/"), root);
  // Markers are found whatever their case; the cut keeps the given case.
  EXPECT_EQ(Hvsc::GetHvscRoot(root + "/musicians/h"), root);
}

TEST_F(HvscRootTest, TheRootItselfIsItsOwnRoot) {
  EXPECT_EQ(Hvsc::GetHvscRoot(root), root);
  EXPECT_EQ(Hvsc::GetHvscRoot(root + "/"), root + "/");
}

TEST_F(HvscRootTest, NoRootWithoutAllFourSubDirectories) {
  EXPECT_EQ(Hvsc::GetHvscRoot(temp.path().string()), "");
  EXPECT_EQ(Hvsc::GetHvscRoot(""), "");
  fs::remove(root + "/GAMES");
  EXPECT_EQ(Hvsc::GetHvscRoot(root + "/MUSICIANS/H"), "");
  EXPECT_EQ(Hvsc::GetHvscRoot(root), "");
}

TEST_F(HvscRootTest, MarkersCountInPrecedenceOrderNotByPosition) {
  // A tree inside a directory called "demos": the first marker in precedence
  // order cuts before the tree, where no collection lies.
  const std::string nested = (temp.path() / "demos" / "HVSC" / "C64Music").string();
  makeCollection(nested);
  EXPECT_EQ(Hvsc::GetHvscRoot(nested + "/MUSICIANS"), "");
  // "/games" without the separator after it is no marker: "/gamesx" stays in the path.
  const std::string games = (temp.path() / "gamesx" / "C64Music").string();
  makeCollection(games);
  EXPECT_EQ(Hvsc::GetHvscRoot(games + "/MUSICIANS/A"), games);
}

TEST_F(HvscRootTest, FindFallsBackToAC64MusicDirectory) {
  const std::string parent = (temp.path() / "HVSC").string();
  // Below the given path: returned without testing its sub-directories.
  EXPECT_EQ(Hvsc::FindHvscRoot(parent), root);
  EXPECT_EQ(Hvsc::FindHvscRoot(parent + "/"), root);
  const std::string bare = (temp.path() / "bare").string();
  fs::create_directories(bare + "/C64Music");
  EXPECT_EQ(Hvsc::FindHvscRoot(bare), bare + "/C64Music");
  // Within the path: cut after "C64Music", in any case.
  const std::string other = (temp.path() / "other" / "c64MUSIC").string();
  fs::create_directories(other + "/Sub");
  EXPECT_EQ(Hvsc::FindHvscRoot(other + "/Sub/missing.sid"), other);
}

TEST_F(HvscRootTest, FindTakesAnExistingDirectoryAsItsOwnRootAndNothingElse) {
  const std::string plain = (temp.path() / "plain").string();
  fs::create_directories(plain);
  EXPECT_EQ(Hvsc::FindHvscRoot(plain), plain);
  EXPECT_EQ(Hvsc::FindHvscRoot(plain + "/missing"), "");
  EXPECT_EQ(Hvsc::FindHvscRoot(""), "");
  // A C64Music name that does not exist is tried for a root before it.
  EXPECT_EQ(Hvsc::FindHvscRoot((temp.path() / "nowhere" / "C64Music" / "x").string()), "");
}

TEST(HvscText, LowerCaseTouchesOnlyAsciiLetters) {
  EXPECT_EQ(Hvsc::LowerAscii("ABC/xyz:\xC4\xD6 09"), "abc/xyz:\xC4\xD6 09");
}

}  // namespace
