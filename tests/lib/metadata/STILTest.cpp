// STIL and BUGlist notes on small documents of our own: entry parsing, the
// joined text for a tune, and finding the documents from the collection's paths.
#include "STIL.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Hvsc.h"
#include "NativePath.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

void loadText(TStil& stil, const std::string& text) {
  const auto data = bytes(text);
  stil.loadSTILFromBuffer(data.data(), data.size());
}

const std::string stilText =
    "#####\n# STIL header\n\n"
    "### /MUSICIANS/X/Composer/ ###\n"
    "/MUSICIANS/X/Composer/\n"
    "COMMENT: All of these were written in one week.\n"
    "\n"
    "/MUSICIANS/X/Composer/Tune.sid\n"
    "  TITLE: Tune\n"
    " ARTIST: R&D Crew\n"
    "\n"
    "/MUSICIANS/X/Composer/Other.sid\r\n"
    "COMMENT: Only here.\r\n"
    " \t \r\n"
    "/MUSICIANS/Y/Lone.sid  \n"
    "COMMENT: spaces after the path\n"
    "/MUSICIANS/Y/Empty.sid\n"
    "\n"
    "/MUSICIANS/Y/Twice.sid\n"
    "first\n"
    "\n"
    "/MUSICIANS/Y/Twice.sid\n"
    "second\n";

TEST(StilEntries, TextsJoinDirectoryTuneAndBugNotes) {
  TStil stil;
  loadText(stil, stilText);
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/X/Composer/Tune.sid"),
            "COMMENT: All of these were written in one week.\r\n  TITLE: Tune\r\n ARTIST: R&&D Crew");
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/X/Composer/Unlisted.sid"),
            "COMMENT: All of these were written in one week.\r\n");
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/Y/Unlisted.sid"), "");
  // A path line keeps its trailing spaces; the text runs to the blank line,
  // including a line that starts with "/".
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/Y/Lone.sid"), "");
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/Y/Lone.sid  "), "COMMENT: spaces after the path\r\n/MUSICIANS/Y/Empty.sid");
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/Y/Twice.sid"), "firstsecond");
  EXPECT_EQ(stil.GetStilEntry("/musicians/y/twice.sid"), "") << "paths are case-sensitive";
}

TEST(StilEntries, BugNotesFollowTheStilText) {
  TTempDir temp;
  const fs::path docs = temp.path() / "C64Music" / "DOCUMENTS";
  temp.write("C64Music/DOCUMENTS/STIL.txt", bytes(stilText));
  temp.write("C64Music/DOCUMENTS/BUGlist.txt",
             bytes("# Bugged tunes, a header long enough to pass the size test\n\n"
                   "/MUSICIANS/X/Composer/Tune.sid\n    BUG: wrong note\n(reporter)\n\n"
                   "/MUSICIANS/Y/BugOnly.sid\n    BUG: crashes\n\n"
                   "/MUSICIANS/X/Composer/\n    BUG: not used for a directory\n"));
  TStil stil;
  ASSERT_TRUE(stil.loadSTIL(temp.path().string()));
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/X/Composer/Tune.sid"),
            "COMMENT: All of these were written in one week.\r\n  TITLE: Tune\r\n ARTIST: R&&D Crew\r\n"
            "    BUG: wrong note\r\n(reporter)");
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/Y/BugOnly.sid"), "    BUG: crashes");
  // A tune on disk is named relative to the collection, whatever case the base had.
  EXPECT_EQ(stil.base(), Hvsc::LowerAscii((temp.path() / "C64Music").string()) + Platform::pathSeparator);
  const std::string onDisk = (temp.path() / "C64Music" / "MUSICIANS" / "Y" / "BugOnly.sid").string();
  EXPECT_EQ(stil.GetStilEntry(onDisk), "    BUG: crashes");
}

TEST(StilEntries, ABufferReplacesTheListAndKeepsTheBase) {
  TStil stil;
  loadText(stil, stilText);
  loadText(stil, "/A.sid\nnew\n");
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/X/Composer/Tune.sid"), "");
  EXPECT_EQ(stil.GetStilEntry("/A.sid"), "new");
  stil.loadSTILFromBuffer(nullptr, 0);
  EXPECT_EQ(stil.size(), 0u);
}

class StilFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.write("HVSC/C64Music/DOCUMENTS/STIL.txt", bytes(stilText));
    temp.write("HVSC/C64Music/DOCUMENTS/BUGlist.txt", bytes(std::string(60, '#') + "\n/Z.sid\nbug\n"));
    root = temp.path() / "HVSC" / "C64Music";
  }
  TTempDir temp;
  fs::path root;
};

TEST_F(StilFiles, RootParentAndDocumentsAllFindTheSameCollection) {
  const std::string expectedBase = Hvsc::LowerAscii(root.string()) + Platform::pathSeparator;
  for (const fs::path& from : {root, root.parent_path(), root / "DOCUMENTS"}) {
    // Written with "/" too, which Windows takes as well.
    for (const std::string& given : {from.string(), from.string() + Platform::pathSeparator, from.generic_string()}) {
      TStil stil;
      ASSERT_TRUE(stil.loadSTIL(given)) << given;
      EXPECT_EQ(stil.base(), expectedBase) << given;
      EXPECT_EQ(stil.GetStilEntry(native((root / "MUSICIANS/Y/Twice.sid").string())), "firstsecond") << given;
      EXPECT_EQ(stil.GetStilEntry((root / "MUSICIANS/Y/Twice.sid").generic_string()), "firstsecond") << given;
      EXPECT_EQ(stil.GetStilEntry((root / "Z.sid").string()), "bug") << given;
    }
  }
}

TEST_F(StilFiles, MissingOrUnusableDocuments) {
  TStil stil;
  EXPECT_FALSE(stil.loadSTIL(""));
  EXPECT_FALSE(stil.loadSTIL("/"));
  EXPECT_FALSE(stil.loadSTIL((temp.path() / "nothing").string()));
  EXPECT_EQ(stil.base(), "");

  // Without BUGlist.txt the STIL entries are loaded but the call fails.
  fs::remove(root / "DOCUMENTS" / "BUGlist.txt");
  EXPECT_FALSE(stil.loadSTIL(root.string()));
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/Y/Twice.sid"), "firstsecond");

  // A STIL.txt too small to hold anything leaves the list, though the base moves.
  const fs::path other = temp.path() / "Other";
  temp.write("Other/DOCUMENTS/STIL.txt", bytes("/A.sid\ntext\n"));
  EXPECT_FALSE(stil.loadSTIL(other.string()));
  EXPECT_EQ(stil.base(), Hvsc::LowerAscii(other.string()) + Platform::pathSeparator);
  EXPECT_EQ(stil.GetStilEntry("/MUSICIANS/Y/Twice.sid"), "firstsecond");
}

}  // namespace
