// The operating-system layer as every platform's build must behave: wildcard
// matching and directory listings as the file search relies on them, whole-file
// mappings and the process facts. PlatformPosixTest.cpp and
// PlatformWindowsTest.cpp hold what only one system has.
#include "platform/Platform.h"

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

#ifdef _WIN32
constexpr const char* programSuffix = ".exe";
#else
constexpr const char* programSuffix = "";
#endif

std::vector<std::string> namesOf(const std::vector<Platform::TDirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  return names;
}

TEST(PlatformWildcard, MatchesAsTheWindowsFinderDoes) {
  EXPECT_TRUE(Platform::matchesWildcard("*.sid", "Commando.SID"));
  EXPECT_TRUE(Platform::matchesWildcard("UPDATE*.HVS", "Update69.hvs"));
  EXPECT_TRUE(Platform::matchesWildcard("Update*.hvs", "Update.hvs"));
  EXPECT_FALSE(Platform::matchesWildcard("*.sid", "Commando.sid.bak"));
  EXPECT_TRUE(Platform::matchesWildcard("t?ne.sid", "tune.sid"));
  EXPECT_FALSE(Platform::matchesWildcard("t?ne.sid", "tne.sid"));
  // A star that first matches too little has to give characters back.
  EXPECT_TRUE(Platform::matchesWildcard("*a*b", "xaxbxab"));
  EXPECT_FALSE(Platform::matchesWildcard("*a*b", "xaxbxa"));
  EXPECT_TRUE(Platform::matchesWildcard("**", ""));
  EXPECT_FALSE(Platform::matchesWildcard("", "a"));
  EXPECT_FALSE(Platform::matchesWildcard("a\xC4", "A\xE4"));  // only ASCII letters fold
  // "*.*" is "everything" there, names without a dot included.
  EXPECT_TRUE(Platform::matchesWildcard("*.*", "README"));
  EXPECT_FALSE(Platform::matchesWildcard("?.*", "README"));
}

class PlatformListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"beta.sid", "Alpha.sid", "Rob_X.sid", "Robb.sid", ".hidden.sid", "notes.txt"})
      temp.write(name, {1});
    fs::create_directories(temp.path() / "Sub.sid");
    dir = temp.path().string();
  }
  TTempDir temp;
  std::string dir;
  std::vector<Platform::TDirEntry> entries;
};

TEST_F(PlatformListingTest, SortsCaseInsensitivelyAsNtfs) {
  ASSERT_TRUE(Platform::listDirectory(dir + Platform::pathSeparator, "*.sid", entries));
  EXPECT_EQ(namesOf(entries),
            (std::vector<std::string>{".hidden.sid", "Alpha.sid", "beta.sid", "Robb.sid", "Rob_X.sid", "Sub.sid"}));
  // The same without the trailing separator, and only what the pattern names.
  ASSERT_TRUE(Platform::listDirectory(dir, "*.TXT", entries));
  EXPECT_EQ(namesOf(entries), std::vector<std::string>{"notes.txt"});
}

TEST_F(PlatformListingTest, MarksDirectoriesAndHiddenNames) {
  ASSERT_TRUE(Platform::listDirectory(dir, "*", entries));
  std::set<std::string> directories;
  std::set<std::string> hidden;
  for (const auto& entry : entries) {
    if (entry.isDirectory) directories.insert(entry.name);
    if (entry.isHidden) hidden.insert(entry.name);
  }
  EXPECT_EQ(directories, std::set<std::string>{"Sub.sid"});
  EXPECT_EQ(hidden, std::set<std::string>{".hidden.sid"});
  EXPECT_EQ(entries.size(), 7u) << "\".\" and \"..\" are never listed";
}

TEST_F(PlatformListingTest, ADirectoryThatCannotBeListedSaysSo) {
  entries.push_back({"stale", false, false});
  EXPECT_FALSE(Platform::listDirectory(dir + "/nowhere/", "*", entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(Platform::listDirectory(dir + "/notes.txt", "*", entries));
}

TEST_F(PlatformListingTest, FilesAndDirectoriesAreToldApart) {
  EXPECT_TRUE(Platform::isFile(dir + "/notes.txt"));
  EXPECT_FALSE(Platform::isFile(dir + "/Sub.sid"));
  EXPECT_TRUE(Platform::isDirectory(dir + "/Sub.sid"));
  EXPECT_FALSE(Platform::isDirectory(dir + "/notes.txt"));
  EXPECT_FALSE(Platform::isFile(""));
  EXPECT_FALSE(Platform::isDirectory(""));
  // One directory reached two ways is one directory; a sibling is another.
  const auto direct = Platform::fileIdentity(dir + "/Sub.sid");
  const auto roundabout = Platform::fileIdentity(dir + "/Sub.sid/../Sub.sid");
  ASSERT_TRUE(direct && roundabout);
  EXPECT_EQ(*direct, *roundabout);
  EXPECT_NE(Platform::fileIdentity(dir), direct);
  EXPECT_FALSE(Platform::fileIdentity(dir + "/missing"));
}

TEST(PlatformFiles, MappingsAndReadsGiveTheFileBytes) {
  TTempDir temp;
  const std::vector<uint8_t> bytes = {0, 1, 2, '\r', '\n', 0x1A, 0xFF};  // no text-mode translation
  const std::string file = temp.write("data.bin", bytes).string();
  {
    const auto mapping = Platform::TFileMapping::open(file);
    ASSERT_TRUE(mapping);
    ASSERT_EQ(mapping->size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), mapping->data()));
    // A second reader meanwhile is fine.
    EXPECT_EQ(Platform::readFile(file, 100), bytes);
  }
  EXPECT_EQ(Platform::readFile(file, 3), (std::vector<uint8_t>{0, 1, 2}));

  const auto empty = Platform::TFileMapping::open(temp.write("empty.bin", {}).string());
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->size(), 0u);
  EXPECT_EQ(empty->data(), nullptr);

  EXPECT_FALSE(Platform::TFileMapping::open((temp.path() / "missing.bin").string()));
  EXPECT_FALSE(Platform::TFileMapping::open(temp.path().string())) << "a directory is no file";
  EXPECT_FALSE(Platform::readFile(temp.path() / "missing.bin", 10));
}

TEST(PlatformProcess, ProgramDirectoryHoldsThisTestProgram) {
  const std::string directory = Platform::programDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(directory.back(), Platform::pathSeparator);
  EXPECT_TRUE(Platform::isFile(directory + "common_tests" + programSuffix));
  // Linked into the program itself, the module is the program.
  const auto module = Platform::fileIdentity(Platform::moduleDirectory().string());
  ASSERT_TRUE(module);
  EXPECT_EQ(module, Platform::fileIdentity(directory)) << Platform::moduleDirectory() << " " << directory;
}

TEST(PlatformProcess, EnvironmentIsSetForTheWholeProcess) {
  Platform::setEnvironment("ZORVEX_PLATFORM_TEST", "a value");
  EXPECT_EQ(Platform::environment("ZORVEX_PLATFORM_TEST"), "a value");
  const std::string longValue(1000, 'v');  // longer than a first guess at the size
  Platform::setEnvironment("ZORVEX_PLATFORM_TEST", longValue);
  EXPECT_EQ(Platform::environment("ZORVEX_PLATFORM_TEST"), longValue);
  EXPECT_EQ(Platform::environment("ZORVEX_PLATFORM_TEST_UNSET"), "");
}

TEST(PlatformProcess, WritableDirectories) {
  TTempDir dir;
  EXPECT_TRUE(Platform::isWritableDirectory(dir.path().string()));
  EXPECT_FALSE(Platform::isWritableDirectory((dir.path() / "missing").string()));
  EXPECT_FALSE(Platform::isWritableDirectory(dir.write("file", {1}).string()));
  // Finding out leaves nothing behind.
  std::vector<Platform::TDirEntry> entries;
  ASSERT_TRUE(Platform::listDirectory(dir.path().string(), "*", entries));
  EXPECT_EQ(namesOf(entries), std::vector<std::string>{"file"});
}

TEST(PlatformProcess, MillisecondsFollowTheClock) {
  const uint32_t start = Platform::milliseconds();
  std::this_thread::sleep_for(30ms);
  const uint32_t elapsed = Platform::milliseconds() - start;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 2000u);
  EXPECT_GE(Platform::cpuCount(), 1);
}

}  // namespace
