// Playback speed over a sample drawn like the collection: 200 tunes of
// ../shared/corpus/C64Music picked with a fixed seed, 94% PSIDs and 6% RSIDs
// (BASIC tunes among the RSIDs as the corpus has them), the default sub-tune
// of each played for 3 minutes on one core through the exports, as the tool
// drives them. Reports the aggregate rate (total C64 time over total wall
// time), the medians per kind and the slowest tunes. Its baseline is itself:
// scripts/bench-baseline.sh builds this same file against an earlier commit
// and runs both.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "zorvex.h"

namespace fs = std::filesystem;

namespace {

struct Tune {
  std::string path;
  bool rsid = false;
};

std::vector<Tune> drawSample() {
  const fs::path root = fs::path(ZORVEX_SHARED_DIR) / "corpus/C64Music";
  std::vector<std::string> psids, rsids;
  if (!fs::exists(root)) return {};
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".sid") continue;
    char magic = 0;
    std::ifstream(entry.path(), std::ios::binary).read(&magic, 1);
    (magic == 'R' ? rsids : psids).push_back(entry.path().string());
  }
  std::sort(psids.begin(), psids.end());
  std::sort(rsids.begin(), rsids.end());
  std::mt19937 rng(20261209);
  std::shuffle(psids.begin(), psids.end(), rng);
  std::shuffle(rsids.begin(), rsids.end(), rng);
  std::vector<Tune> sample;
  for (std::size_t i = 0; i < 188 && i < psids.size(); ++i) sample.push_back({psids[i], false});
  for (std::size_t i = 0; i < 12 && i < rsids.size(); ++i) sample.push_back({rsids[i], true});
  return sample;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BM_CollectionSample(benchmark::State& state) {
  const std::vector<Tune> sample = drawSample();
  if (sample.empty()) {
    state.SkipWithError("shared corpus not found");
    return;
  }
  const double seconds = std::getenv("ZORVEX_BENCH_SECONDS") ? std::atof(std::getenv("ZORVEX_BENCH_SECONDS")) : 180.0;
  const auto target = static_cast<int32_t>(seconds * 1000.0);
  const int32_t handle = createC64();
  enableFixedStartup(handle);
  clearMemUsageOnFirstSIDAccess(handle, 1);
  struct Result {
    std::string path;
    bool rsid;
    double played, wall;
  };
  std::vector<Result> results;
  for (auto _ : state) {
    results.clear();
    for (const Tune& tune : sample) {
      const auto start = std::chrono::steady_clock::now();
      if (!loadFile(handle, tune.path.c_str())) continue;
      setSongToPlay(handle, std::max(getDefaultSong(handle), 0));
      // The tool's calls for each entry: the command, then the delay, register
      // and value as the command has them. The song clock ends the play, as a
      // cycle budget would; it is read now and then, as the tool never reads it.
      for (uint64_t calls = 0; calls < 2'000'000'000; ++calls) {
        run(handle);
        const int32_t command = getCommand(handle);
        if (command == ZORVEX_CMD_DELAY || command == ZORVEX_CMD_WRITE) {
          benchmark::DoNotOptimize(getCycles(handle));
          if (command == ZORVEX_CMD_WRITE) {
            benchmark::DoNotOptimize(getRegister(handle));
            benchmark::DoNotOptimize(getData(handle));
          }
        }
        if (calls % 64 == 0 && getTime(handle) >= target) break;
      }
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      results.push_back({tune.path, tune.rsid, getTime(handle) / 1000.0, std::max(wall, 1e-9)});
    }
  }
  closeC64(handle);

  double played = 0, wall = 0;
  std::vector<double> psid, rsid;
  for (const Result& r : results) {
    played += r.played;
    wall += r.wall;
    (r.rsid ? rsid : psid).push_back(r.played / r.wall);
  }
  std::sort(results.begin(), results.end(),
            [](const Result& a, const Result& b) { return a.played / a.wall < b.played / b.wall; });
  state.counters["tunes"] = static_cast<double>(results.size());
  state.counters["aggregate_x_realtime"] = wall > 0 ? played / wall : 0;
  state.counters["psid_median_x"] = median(psid);
  state.counters["rsid_median_x"] = median(rsid);
  state.counters["slowest_x"] = results.empty() ? 0 : results.front().played / results.front().wall;
  const fs::path root = fs::path(ZORVEX_SHARED_DIR) / "corpus/C64Music";
  // ZORVEX_BENCH_ALL lists every tune, not only the ten slowest.
  const std::size_t listed = std::getenv("ZORVEX_BENCH_ALL") ? results.size() : 10;
  for (std::size_t i = 0; i < std::min(listed, results.size()); ++i)
    std::printf("slowest %2zu: %7.0fx %s %s\n", i + 1, results[i].played / results[i].wall,
                results[i].rsid ? "RSID" : "PSID", fs::relative(results[i].path, root).c_str());
}
BENCHMARK(BM_CollectionSample)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
