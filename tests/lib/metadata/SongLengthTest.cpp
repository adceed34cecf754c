// The song-length database on small databases of our own: the format test,
// entry and comment parsing, times of sub-tunes, and loading through paths.
#include "SongLength.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

const std::string md5A = "0123456789abcdef0123456789abcdef";
const std::string md5B = "fedcba9876543210fedcba9876543210";
const std::string md5C = "00000000000000000000000000000000";

std::vector<uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

bool check(const std::string& text) {
  const auto data = bytes(text);
  return TSongLength::CheckSongLengthBuffer(data.data(), data.size());
}

bool load(TSongLength& db, const std::string& text) {
  const auto data = bytes(text);
  return db.LoadSongLengthBuffer(data.data(), data.size());
}

std::string database(const std::string& body) { return "[Database]\n" + body; }

TEST(TextLines, EveryBreakKindEndsOneLine) {
  const std::string text = "a\rb\nc\r\nd\n\re\r\rf\n\ng";
  TTextLines lines(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  std::vector<std::string> seen;
  for (std::string_view line; lines.next(line);) seen.emplace_back(line);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "d", "e", "", "f", "", "g"}));
  const std::string trailing = "x\n";
  TTextLines one(reinterpret_cast<const uint8_t*>(trailing.data()), trailing.size());
  std::string_view line;
  EXPECT_TRUE(one.next(line));
  EXPECT_FALSE(one.next(line));
}

TEST(SongLengthFormat, HeaderAndFirstEntryLine) {
  const std::string entry = md5A + "=1:00\n";
  EXPECT_TRUE(check("[Database]\n; /A.sid\n" + entry));
  EXPECT_TRUE(check("  [DataBase] \t\r\n\n;comment\n   \n; /A.sid\n" + entry));
  EXPECT_TRUE(check("[Database]\n; /A.sid\n" + std::string("ABCDEF0123456789ABCDEF0123456789=1:00\n")));
  EXPECT_FALSE(check("[Database]\n;x\n  " + entry)) << "an indented first entry fails";
  EXPECT_FALSE(check("[Songlengths]\n" + entry + entry));
  EXPECT_FALSE(check("[Database]\n; only comments here, no entry at all\n;\n"));
  EXPECT_FALSE(check("[Database]\n; /A.sid\nxyz=1:00 and more text to pass the size\n"));
  EXPECT_FALSE(check("[Database]\n" + md5A.substr(0, 10))) << "50 bytes or less is no database";
  EXPECT_FALSE(TSongLength::CheckSongLengthBuffer(nullptr, 100));
}

TEST(SongLengthTimes, MinutesSecondsAndFractions) {
  EXPECT_EQ(TSongLength::ParseTime("3:05"), 185'000);
  EXPECT_EQ(TSongLength::ParseTime("0:30"), 30'000);
  EXPECT_EQ(TSongLength::ParseTime("1:23.456"), 83'456);
  EXPECT_EQ(TSongLength::ParseTime("1:23.5"), 83'500);
  EXPECT_EQ(TSongLength::ParseTime("1:23.05"), 83'050);
  EXPECT_EQ(TSongLength::ParseTime("12:00.000"), 720'000);
  // What is no time gives 0 for its part, or for the whole.
  EXPECT_EQ(TSongLength::ParseTime("1:23.4567"), 60'000);
  EXPECT_EQ(TSongLength::ParseTime("1:23."), 60'000);
  EXPECT_EQ(TSongLength::ParseTime("x:23"), 23'000);
  EXPECT_EQ(TSongLength::ParseTime("-1:23"), 23'000);
  EXPECT_EQ(TSongLength::ParseTime("123"), 0);
  EXPECT_EQ(TSongLength::ParseTime(""), 0);
  EXPECT_EQ(TSongLength::ParseTime("999999999:59"), 0) << "beyond 32 bits is no length";
  EXPECT_EQ(TSongLength::ParseTime("35791:23.647"), 2'147'483'647);
}

TEST(SongLengthLookup, SubTunesAttributesAndTheLastTime) {
  TSongLength db;
  ASSERT_TRUE(load(db, database("; /A.sid\n" + md5A + "=0:30 1:20(G) 2:05.5(M)\n; /B.sid\n" + md5B + "=4:00\n")));
  EXPECT_EQ(db.size(), 2u);
  EXPECT_EQ(db.GetSongLengthText(md5A, 1), "0:30");
  EXPECT_EQ(db.GetSongLengthText(md5A, 2), "1:20");
  EXPECT_EQ(db.GetSongLengthText(md5A, 3), "2:05.5");
  EXPECT_EQ(db.GetSongLengthText(md5A, 7), "2:05.5");
  EXPECT_EQ(db.GetSongLengthText(md5A, 0), "0:30");
  EXPECT_EQ(db.GetSongLengthText(md5A, 2'000'000'000), "2:05.5");
  for (int song : {-1, 1, 2, 100}) EXPECT_EQ(db.GetSongLengthText(md5B, song), "4:00");
  EXPECT_EQ(TSongLength::ParseTime(db.GetSongLengthText(md5A, 2)), 80'000);
  EXPECT_EQ(TSongLength::ParseTime(db.GetSongLengthText(md5A, 3)), 125'500);
}

TEST(SongLengthLookup, KeysAreExactAndLowerCase) {
  TSongLength db;
  std::string upper = md5A;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  // Stored in lower case, whatever the file says; asked for exactly.
  ASSERT_TRUE(load(db, database("; /A.sid\n" + upper + "=1:00\n; /B.sid\n" + md5B + "=2:00\n")));
  EXPECT_EQ(db.GetSongLengthText(md5A, 1), "1:00");
  EXPECT_EQ(db.GetSongLengthText(upper, 1), "");
  EXPECT_EQ(db.GetHvscPathForMd5(upper), "");
  EXPECT_EQ(db.GetSongLengthText(md5A.substr(0, 31), 1), "");
  EXPECT_EQ(db.GetSongLengthText("", 1), "");
}

TEST(SongLengthLookup, ARepeatedMd5AnswersFromItsLaterLine) {
  TSongLength db;
  ASSERT_TRUE(load(db, database("; /First.sid\n" + md5A + "=1:00\n; /Second.sid\n" + md5A + "=2:00 3:00\n")));
  EXPECT_EQ(db.GetSongLengthText(md5A, 2), "3:00");
  EXPECT_EQ(db.GetHvscPathForMd5(md5A), "/Second.sid");
}

TEST(SongLengthLookup, CommentLinesNameTheEntriesAfterThem) {
  TSongLength db;
  ASSERT_TRUE(load(db, database(";   /GAMES/X/Tune.sid  \n" + md5A + "=1:00 ; /GAMES/Y/Next.sid\n" + md5B +
                                "=2:00\n\n  \n" + md5C + "=3:00\r\n")));
  EXPECT_EQ(db.GetHvscPathForMd5(md5A), "/GAMES/X/Tune.sid");
  // A trailing comment names the entry lines that follow, not its own.
  EXPECT_EQ(db.GetSongLengthText(md5A, 1), "1:00");
  EXPECT_EQ(db.GetHvscPathForMd5(md5B), "/GAMES/Y/Next.sid");
  EXPECT_EQ(db.GetHvscPathForMd5(md5C), "/GAMES/Y/Next.sid");
  EXPECT_EQ(db.GetSongLengthText(md5C, 1), "3:00");
}

TEST(SongLengthLookup, EntriesBeforeAnyCommentHaveNoPath) {
  TSongLength db;
  ASSERT_TRUE(load(db, database(md5A + "=1:00\n;\n" + md5B + "=2:00\n")));
  EXPECT_EQ(db.GetHvscPathForMd5(md5A), "");
  EXPECT_EQ(db.GetHvscPathForMd5(md5B), "");
  EXPECT_EQ(db.GetSongLengthText(md5A, 1), "1:00");
}

TEST(SongLengthLoad, AFailedFormatTestEmptiesTheDatabase) {
  TSongLength db;
  ASSERT_TRUE(load(db, database("; /A.sid\n" + md5A + "=1:00\n")));
  EXPECT_FALSE(load(db, "[Nothing]\n; /A.sid\n" + md5B + "=1:00\n"));
  EXPECT_EQ(db.size(), 0u);
  EXPECT_EQ(db.GetSongLengthText(md5A, 1), "");
}

class SongLengthFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp.path() / "HVSC" / "C64Music";
    for (const char* sub : {"DEMOS", "DOCUMENTS", "GAMES", "MUSICIANS/X"}) fs::create_directories(root / sub);
  }
  fs::path writeDatabase(const std::string& name, const std::string& md5, const std::string& time) {
    return temp.write("HVSC/C64Music/DOCUMENTS/" + name, bytes(database("; /MUSICIANS/X/Tune.sid\n" + md5 + "=" + time + "\n")));
  }
  TTempDir temp;
  fs::path root;
};

TEST_F(SongLengthFiles, TheFingerprintFileWinsOverTheWholeFileOne) {
  writeDatabase("Songlengths.md5", md5B, "2:00");
  EXPECT_EQ(TSongLength::FindSongLengthFile((root / "MUSICIANS" / "X").string()),
            (root / "DOCUMENTS" / "Songlengths.md5").string());
  writeDatabase("Songlengths.txt", md5A, "1:00");
  for (const fs::path& from : {root, root / "MUSICIANS" / "X", root.parent_path(), root / "DOCUMENTS"})
    EXPECT_EQ(TSongLength::FindSongLengthFile(from.string()), (root / "DOCUMENTS" / "Songlengths.txt").string())
        << from;
  TSongLength db;
  ASSERT_TRUE(db.LoadFile(root.parent_path().string()));
  EXPECT_EQ(db.GetSongLengthText(md5A, 1), "1:00");
  ASSERT_TRUE(db.LoadFile((root / "DOCUMENTS" / "Songlengths.md5").string()));
  EXPECT_EQ(db.GetSongLengthText(md5B, 1), "2:00");
  EXPECT_TRUE(TSongLength::CheckFile(root.string()));
}

TEST_F(SongLengthFiles, AMissingFileKeepsTheDatabaseAWrongOneEmptiesIt) {
  writeDatabase("Songlengths.txt", md5A, "1:00");
  TSongLength db;
  ASSERT_TRUE(db.LoadFile(root.string()));
  EXPECT_FALSE(db.LoadFile((temp.path() / "missing" / "file.txt").string()));
  EXPECT_FALSE(db.LoadFile(""));
  const fs::path tiny = temp.write("tiny.txt", bytes("[Database]\n"));
  EXPECT_FALSE(db.LoadFile(tiny.string()));
  EXPECT_FALSE(TSongLength::CheckFile(tiny.string()));
  EXPECT_EQ(db.GetSongLengthText(md5A, 1), "1:00");

  const fs::path wrong = temp.write("wrong.txt", bytes("[Something else]\n; /A.sid\n" + md5A + "=1:00\n"));
  EXPECT_FALSE(TSongLength::CheckFile(wrong.string()));
  EXPECT_EQ(db.GetSongLengthText(md5A, 1), "1:00") << "the check changes nothing";
  EXPECT_FALSE(db.LoadFile(wrong.string()));
  EXPECT_EQ(db.size(), 0u);
}

}  // namespace
