#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DataHashFile.h"
#include "TempDir.h"
#include "platform/Files.h"

namespace {

const std::string hashA = "0123456789abcdef0123456789abcdef";
const std::string hashB = "fedcba9876543210fedcba9876543210";
const std::string hashC = "00112233445566778899aabbccddeeff";

void parse(THashDatabase& db, const std::string& text) { db.Parse(text.data(), text.size()); }

std::vector<uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A 32-digit hex key made from n.
std::string keyFor(uint32_t n) {
  char key[33];
  std::snprintf(key, sizeof key, "%08x%08x%08x%08x", n, n * 2654435761u, ~n, n ^ 0x5A5A5A5Au);
  return key;
}

// Restores the working directory at the end of a test.
class TWorkingDirectory {
 public:
  explicit TWorkingDirectory(const std::filesystem::path& to) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(to);
  }
  ~TWorkingDirectory() { std::filesystem::current_path(saved_); }
  TWorkingDirectory(const TWorkingDirectory&) = delete;
  TWorkingDirectory& operator=(const TWorkingDirectory&) = delete;

 private:
  std::filesystem::path saved_;
};

}  // namespace

TEST(HashDatabaseParse, KeysMatchInEitherCaseAndTheLaterDuplicateWins) {
  THashDatabase db;
  parse(db, "0123456789ABCDEF0123456789ABCDEF=/MUSICIANS/A/One.sid #1\n" + hashB + "=/B.sid #2\n" + hashB +
                "=/B.sid #3\n");
  EXPECT_EQ(db.size(), 3u) << "duplicates are kept as entries";
  EXPECT_EQ(db.Find(hashA), "/MUSICIANS/A/One.sid #1");
  EXPECT_EQ(db.Find("0123456789ABCDEF0123456789abcdef"), "/MUSICIANS/A/One.sid #1");
  EXPECT_EQ(db.Find("FEDCBA9876543210FEDCBA9876543210"), "/B.sid #3");
  EXPECT_EQ(db.Find(hashC), "");
  EXPECT_EQ(db.Find(""), "");
}

TEST(HashDatabaseParse, LinesThatMakeNoEntry) {
  THashDatabase db;
  parse(db, "\r\n\n" + hashA + "\r" +                          // 32 characters only
                "; " + hashB + "=/Comment.sid\r\n" +           // comment
                "g" + hashC.substr(1) + "=/NotHex.sid\n" +      // first character not hex
                " " + hashC + "=/Blank.sid\n" +                 //
                "0123=/Short.sid\n\r\n\r" +                     // 15 characters
                hashC + "=/Last.sid #1");                        // no line end
  EXPECT_EQ(db.size(), 1u);
  EXPECT_EQ(db.Find(hashC), "/Last.sid #1");
  EXPECT_EQ(db.Find(hashA), "");
  EXPECT_EQ(db.Find(hashB), "");
  EXPECT_EQ(db.Find("0123"), "");
}

TEST(HashDatabaseParse, TheHeadIsTheCommentsBeforeTheFirstEntry) {
  THashDatabase db;
  parse(db, "; made by: me\r\n\n; ROM set: built-in\n" + hashA + "=/A.sid #1\n; later\n" + hashB + "=/B.sid #1\n");
  EXPECT_EQ(db.header(), (std::vector<std::string>{"; made by: me", "; ROM set: built-in"}));
  parse(db, hashA + "=/A.sid #1\n");
  EXPECT_TRUE(db.header().empty());
}

TEST(HashDatabaseParse, LinesWithoutEqualsTakeTheCarriedText) {
  THashDatabase db;
  parse(db, hashA + " \n" +                        // nothing carried yet
                "; The Composer\n" + hashB + " \n" +  // the comment line
                hashC + "=/C.sid #1\n" + hashA + "\t\n" +  // the last name
                hashB + "\t;tail text\n" +          // the last name too; its tail is carried on
                hashC + "  \n");
  EXPECT_EQ(db.size(), 6u);
  EXPECT_EQ(db.Find(hashB + " "), "; The Composer");
  EXPECT_EQ(db.Find(hashB), "") << "the key keeps its trailing blank";
  EXPECT_EQ(db.Find(hashA + "\t"), "/C.sid #1");
  EXPECT_EQ(db.Find(hashB + "\t"), "/C.sid #1");
  EXPECT_EQ(db.Find(hashC + "  "), ";tail text");
  EXPECT_EQ(db.Find(hashC), "/C.sid #1");
}

TEST(HashDatabaseParse, SemicolonFromThe32ndCharacterEndsTheLine) {
  THashDatabase db;
  parse(db, hashA + "=/A/B.sid #1 ; old note=x\n" +                  // value cut before ";"
                hashB + " \n" +                                       // carries the cut value
                "01234567;9abcdef0123456789abcdef=/Early.sid\n" +     // ";" early: part of the key
                "0123456789abcdef0123456789abcd;f=/Key31.sid\n" +     // 31st character: key
                "0123456789abcdef0123456789abcde;=/Tail32.sid\n" +    // 32nd character: tail, no "=" left
                hashC + " \n");
  EXPECT_EQ(db.Find(hashA), "/A/B.sid #1 ");
  EXPECT_EQ(db.Find(hashB + " "), "/A/B.sid #1 ");
  EXPECT_EQ(db.Find("01234567;9abcdef0123456789abcdef"), "/Early.sid");
  EXPECT_EQ(db.Find("0123456789abcdef0123456789abcd;f"), "/Key31.sid");
  EXPECT_EQ(db.Find("0123456789abcdef0123456789abcde"), "/Key31.sid");
  EXPECT_EQ(db.Find(hashC + " "), ";=/Tail32.sid");
}

TEST(HashDatabaseParse, CopiedTextsKeep10000Characters) {
  const std::string longText(12000, 'n');
  THashDatabase db;
  parse(db, hashA + "=" + longText + "\n" + hashB + " " + ";" + longText + "\n" + hashC + " \n" + "; " + longText +
                "\n" + hashA + " \n");
  EXPECT_EQ(db.Find(hashA), longText.substr(0, 10000));
  EXPECT_EQ(db.Find(hashB + " "), longText.substr(0, 10000)) << "the carried name, cut";
  EXPECT_EQ(db.Find(hashC + " "), (";" + longText).substr(0, 10000)) << "the carried tail, cut";
  EXPECT_EQ(db.Find(hashA + " "), "; " + longText) << "a comment line is carried whole";
}

TEST(HashDatabaseParse, ParsingReplacesEveryEntry) {
  THashDatabase db;
  parse(db, hashA + "=/A.sid\n");
  parse(db, hashB + "=/B.sid\n");
  EXPECT_EQ(db.size(), 1u);
  EXPECT_EQ(db.Find(hashA), "");
  EXPECT_EQ(db.Find(hashB), "/B.sid");
}

TEST(HashDatabaseParse, ConcurrentFindsSeeEveryEntry) {
  // Short lines: more entries than the first table size guesses, so the index grows.
  constexpr uint32_t count = 40000;
  std::string text;
  for (uint32_t n = 0; n < count; ++n) text += keyFor(n) + "=" + std::to_string(n) + "\n";
  text += keyFor(7) + "=seven\n";
  THashDatabase db;
  parse(db, text);
  ASSERT_EQ(db.size(), count + 1);

  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t)
    readers.emplace_back([&db, &wrong, t] {
      for (uint32_t n = t; n < count + t; ++n) {
        const uint32_t k = n % count;
        std::string key = keyFor(k);
        if (n % 2)
          for (char& c : key) c = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
        const std::string expected = k == 7 ? "seven" : std::to_string(k);
        if (db.Find(key) != expected) ++wrong;
        if (db.Find(keyFor(count + k)) != "") ++wrong;
      }
    });
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(HashDatabaseLoad, FilesOf50BytesOrLessAreRefusedSilently) {
  TTempDir dir;
  const std::string line51 = hashA + "=/MUSICIANS/A.sid\r\n";
  ASSERT_EQ(line51.size(), 51u);
  const std::string line50 = hashB + "=/MUSICIANS/A.sid\n";
  ASSERT_EQ(line50.size(), 50u);
  const auto file51 = dir.write("51.txt", bytes(line51)).string();
  const auto file50 = dir.write("50.txt", bytes(line50)).string();
  const auto empty = dir.write("0.txt", {}).string();

  std::vector<std::string> printed;
  const auto print = [&printed](const std::string& line) { printed.push_back(line); };
  THashDatabase db;
  ASSERT_TRUE(db.Load(file51, print));
  EXPECT_EQ(db.size(), 1u);
  EXPECT_EQ(db.Find(hashA), "/MUSICIANS/A.sid");
  EXPECT_FALSE(db.Load(file50, print));
  EXPECT_FALSE(db.Load(empty, print));
  EXPECT_TRUE(printed.empty());
  EXPECT_EQ(db.Find(hashA), "/MUSICIANS/A.sid") << "a refused file leaves the entries alone";
}

TEST(HashDatabaseLoad, MissingFileIsReportedByTheNameGiven) {
  TTempDir dir;
  const std::string name = (dir.path() / "none" / "database.txt").string();
  std::vector<std::string> printed;
  THashDatabase db;
  EXPECT_FALSE(db.Load(name, [&printed](const std::string& line) { printed.push_back(line); }));
  EXPECT_EQ(printed, std::vector<std::string>{"File not found: " + name});
}

TEST(HashDatabaseLoad, RelativeNameIsTriedInTheWorkingDirectoryThenBesideTheProgram) {
  const std::string programDirectory = Platform::programDirectory();
  if (programDirectory.empty()) GTEST_SKIP() << "the program's directory is unknown here";
  // Test runs side by side must not share the file.
  const std::string name = "hash-database-test-" + std::to_string(std::random_device{}()) + ".txt";
  const std::filesystem::path besideProgram = std::filesystem::path(programDirectory) / name;
  struct TRemove {
    std::filesystem::path path;
    ~TRemove() { std::filesystem::remove(path); }
  } removeLater{besideProgram};
  {
    std::ofstream out(besideProgram, std::ios::binary);
    out << hashA << "=/BesideTheProgram.sid #1\n";
    if (!out) GTEST_SKIP() << "cannot write beside the program: " << besideProgram;
  }

  TTempDir dir;
  const TWorkingDirectory cwd(dir.path());
  const auto ignore = [](const std::string&) {};
  THashDatabase db;
  ASSERT_TRUE(db.Load(name, ignore));
  EXPECT_EQ(db.Find(hashA), "/BesideTheProgram.sid #1");

  dir.write(name, bytes(hashA + "=/WorkingDirectory.sid #1\n"));
  ASSERT_TRUE(db.Load(name, ignore));
  EXPECT_EQ(db.Find(hashA), "/WorkingDirectory.sid #1");
}
