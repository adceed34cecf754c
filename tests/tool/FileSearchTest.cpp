// Walking a directory or a tree for the files a mask names: which names come
// out, in which order, and that threads draining one search share the names.
#include "FileSearch.h"

#include <algorithm>
#include <filesystem>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "SharedData.h"
#include "NativePath.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> drain(TFileSearch& search) {
  std::vector<std::string> names;
  for (std::string name = search.GetNextFile(); !name.empty(); name = search.GetNextFile()) names.push_back(name);
  return names;
}

class FileSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.sid", "A.SID", "notes.txt", ".hidden.sid", "sub2/f.sid", "sub1/d.sid",
                             "sub1/.h.sid", "sub1/deep/e.sid", "x.sid/inner.sid", ".hid/g.sid", "sub1/deep/z.txt"})
      temp.write(name, {0});
    dir = temp.path().string() + Platform::pathSeparator;
  }
  // Names come out in the platform's form, whatever separator the mask used.
  std::vector<std::string> under(std::vector<std::string> names) const {
    for (auto& name : names) name = native(dir + name);
    return names;
  }
  TTempDir temp;
  std::string dir;
  TFileSearch search;
};

TEST_F(FileSearchTest, OneDirectoryGivesItsMatchingFilesOnly) {
  // Case-insensitive pattern; dot names and the directory x.sid are left out.
  ASSERT_TRUE(search.StartSearch(dir + "*.sid", false));
  EXPECT_EQ(drain(search), under({"A.SID", "b.sid"}));
  // Exhausted stays exhausted.
  EXPECT_EQ(search.GetNextFile(), "");
  ASSERT_TRUE(search.StartSearch(dir + "?.sid", false));
  EXPECT_EQ(drain(search), under({"A.SID", "b.sid"}));
  ASSERT_TRUE(search.StartSearch(dir + "notes.txt", false));
  EXPECT_EQ(drain(search), under({"notes.txt"}));
}

TEST_F(FileSearchTest, TreesAreWalkedBreadthFirstInListingOrder) {
  ASSERT_TRUE(search.StartSearch(dir + "*.sid", true));
  EXPECT_EQ(drain(search), under({"A.SID", "b.sid", "sub1/d.sid", "sub2/f.sid", "x.sid/inner.sid", "sub1/deep/e.sid"}));
  // Restarting begins the walk anew; every pattern is applied at every depth.
  ASSERT_TRUE(search.StartSearch(dir + "*.txt", true));
  EXPECT_EQ(drain(search), under({"notes.txt", "sub1/deep/z.txt"}));
}

TEST_F(FileSearchTest, ALinkBackUpTheTreeIsWalkedOnce) {
  std::error_code error;
  fs::create_directory_symlink(temp.path(), temp.path() / "sub1" / "deep" / "loop", error);
  if (!error) fs::create_directory_symlink(temp.path() / "sub2", temp.path() / "sub3", error);
  if (error) GTEST_SKIP() << "no directory links here: " << error.message();
  ASSERT_TRUE(search.StartSearch(dir + "*.sid", true));
  EXPECT_EQ(drain(search), under({"A.SID", "b.sid", "sub1/d.sid", "sub2/f.sid", "x.sid/inner.sid", "sub1/deep/e.sid"}));
}

TEST_F(FileSearchTest, AMaskWithoutDirectoryListsTheCurrentOne) {
  const fs::path previous = fs::current_path();
  fs::current_path(temp.path());
  const bool started = search.StartSearch("b.sid", false);
  const std::vector<std::string> names = drain(search);
  ASSERT_TRUE(search.StartSearch("*.txt", true));
  const std::vector<std::string> deep = drain(search);
  fs::current_path(previous);
  EXPECT_TRUE(started);
  EXPECT_EQ(names, std::vector<std::string>{native("./b.sid")});
  EXPECT_EQ(deep, (std::vector<std::string>{native("./notes.txt"), native("./sub1/deep/z.txt")}));
}

TEST_F(FileSearchTest, AMissingStartDirectoryYieldsNothing) {
  EXPECT_FALSE(search.StartSearch(dir + "nowhere/*.sid", true));
  EXPECT_EQ(search.GetNextFile(), "");
  // A file is no directory to start in.
  EXPECT_FALSE(search.StartSearch(dir + "notes.txt/*", false));
  EXPECT_EQ(search.GetNextFile(), "");
  // Nor is anything searched before a start.
  TFileSearch fresh;
  EXPECT_EQ(fresh.GetNextFile(), "");
}

TEST_F(FileSearchTest, ADirectoryThatVanishedIsPassedOver) {
  ASSERT_TRUE(search.StartSearch(dir + "*.sid", true));
  // The first name opens the start directory and queues its sub-directories.
  EXPECT_EQ(search.GetNextFile(), dir + "A.SID");
  fs::remove_all(dir + "sub1");
  std::vector<std::string> rest = drain(search);
  EXPECT_EQ(rest, under({"b.sid", "sub2/f.sid", "x.sid/inner.sid"}));
}

TEST_F(FileSearchTest, ThreadsDrainingOneSearchShareEveryNameOnce) {
  // Large directories: most calls only step through a listing, where an
  // unguarded step would hand one name out twice or skip one.
  std::vector<std::string> expected;
  for (int d = 0; d < 6; ++d)
    for (int f = 0; f < 200; ++f) {
      const std::string name = "many/d" + std::to_string(d) + "/n" + std::to_string(d % 3) + "/t" + std::to_string(f) + ".sid";
      temp.write(name, {0});
      expected.push_back(native(dir + name));
    }
  std::sort(expected.begin(), expected.end());
  for (const int threads : {2, 8}) {
    ASSERT_TRUE(search.StartSearch(dir + "many/*.sid", true));
    std::vector<std::vector<std::string>> got(threads);
    std::vector<std::thread> workers;
    // All start together. A spin rather than std::latch: the latter's wait
    // missed its wake-up now and then in the mingw-w64 build under Wine.
    std::atomic<int> arrived{0};
    for (int t = 0; t < threads; ++t)
      workers.emplace_back([this, &got, &arrived, threads, t] {
        arrived.fetch_add(1);
        while (arrived.load() < threads) std::this_thread::yield();
        got[t] = drain(search);
      });
    for (auto& worker : workers) worker.join();
    std::map<std::string, int> seen;
    for (const auto& names : got)
      for (const auto& name : names) ++seen[name];
    std::vector<std::string> all;
    for (const auto& [name, count] : seen) {
      EXPECT_EQ(count, 1) << name << " handed out " << count << " times with " << threads << " threads";
      all.push_back(name);
    }
    EXPECT_EQ(all, expected) << threads << " threads";
  }
}

TEST(FileSearchCorpus, FindsEveryTuneOfTheCollectionSample) {
  REQUIRE_SHARED("corpus/C64Music/MUSICIANS");
  const std::string root = (sharedDir() / "corpus" / "C64Music").string();
  std::vector<std::string> expected;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file() && entry.path().extension() == ".sid") expected.push_back(entry.path().string());
  TFileSearch search;
  ASSERT_TRUE(search.StartSearch(root + "/*.sid", true));
  std::vector<std::string> found = drain(search);
  // Breadth first: no name lies deeper than one handed out after it.
  const auto depth = [](const std::string& name) {
    return std::count(name.begin(), name.end(), Platform::pathSeparator);
  };
  EXPECT_TRUE(std::is_sorted(found.begin(), found.end(), [&](const auto& a, const auto& b) { return depth(a) < depth(b); }));
  std::sort(found.begin(), found.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_GT(expected.size(), 3000u);
  EXPECT_EQ(found, expected);
}

}  // namespace
