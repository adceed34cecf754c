// Instances do not disturb each other: eight tunes played at once give exactly
// the streams they give when played alone, and an instance's earlier tunes
// leave no trace in the next one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "SharedData.h"
#include "zorvex.h"

namespace fs = std::filesystem;

namespace {

struct Entry {
  int32_t command, reg, data, cycles;
  bool operator==(const Entry&) const = default;
};

// Every command of the first `calls` run calls of the default sub-tune, played
// on a new instance or on one that played `before` first.
std::vector<Entry> streamOf(const std::string& tune, int calls, const std::vector<std::string>& before = {}) {
  std::vector<Entry> stream;
  const int32_t handle = createC64();
  if (handle == 0) return stream;
  enableFixedStartup(handle);
  for (const std::string& other : before) {
    if (!loadFile(handle, other.c_str())) continue;
    setSongToPlay(handle, std::max(getDefaultSong(handle), 0));
    for (int i = 0; i < calls; ++i) run(handle);
  }
  if (loadFile(handle, tune.c_str())) {
    setSongToPlay(handle, std::max(getDefaultSong(handle), 0));
    stream.reserve(static_cast<size_t>(calls));
    for (int i = 0; i < calls; ++i) {
      run(handle);
      stream.push_back({getCommand(handle), getRegister(handle), getData(handle), getCycles(handle)});
    }
  }
  closeC64(handle);
  return stream;
}

TEST(Concurrency, EightInstancesOnEightThreadsMatchTheirSoloRuns) {
  REQUIRE_SHARED("corpus/C64Music/MUSICIANS");
  std::vector<std::string> tunes;
  for (const auto& entry : fs::recursive_directory_iterator(sharedDir() / "corpus/C64Music/MUSICIANS")) {
    if (entry.is_regular_file() && entry.path().extension() == ".sid") tunes.push_back(entry.path().string());
  }
  std::sort(tunes.begin(), tunes.end());
  ASSERT_GE(tunes.size(), 8u);
  std::vector<std::string> chosen;
  for (size_t i = 0; i < 8; ++i) chosen.push_back(tunes[i * (tunes.size() / 8)]);

  constexpr int calls = 20000;
  std::vector<std::vector<Entry>> alone;
  for (const std::string& tune : chosen) alone.push_back(streamOf(tune, calls));

  std::vector<std::vector<Entry>> together(chosen.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < chosen.size(); ++i)
    threads.emplace_back([&, i] { together[i] = streamOf(chosen[i], calls); });
  for (std::thread& t : threads) t.join();

  for (size_t i = 0; i < chosen.size(); ++i) {
    ASSERT_EQ(alone[i].size(), static_cast<size_t>(calls)) << chosen[i];
    EXPECT_TRUE(together[i] == alone[i]) << chosen[i];
  }
}

TEST(Concurrency, AnInstanceThatPlayedOtherTunesGivesTheStreamOfANewOne) {
  // A worker keeps its instance for every file it takes: nothing of one tune
  // (SID bus value, volume, slice remainder) may reach the next.
  REQUIRE_SHARED("corpus/C64Music/MUSICIANS/S");
  std::vector<std::string> tunes;
  for (const auto& entry : fs::recursive_directory_iterator(sharedDir() / "corpus/C64Music/MUSICIANS/S")) {
    if (entry.is_regular_file() && entry.path().extension() == ".sid") tunes.push_back(entry.path().string());
  }
  std::sort(tunes.begin(), tunes.end());
  ASSERT_GE(tunes.size(), 40u);
  constexpr int calls = 20000;
  for (size_t i = 0; i < 40; i += 8) {
    const std::vector<std::string> before(tunes.begin() + static_cast<long>(i) + 1, tunes.begin() + static_cast<long>(i) + 8);
    EXPECT_TRUE(streamOf(tunes[i], calls, before) == streamOf(tunes[i], calls)) << tunes[i];
  }
}

}  // namespace
