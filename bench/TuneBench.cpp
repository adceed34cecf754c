// Playback speed of real tunes through the library's exports, driven the way
// the tool drives them: C64 seconds emulated per wall-clock second, per tune,
// over 50 corpus tunes played for three minutes each. A plain C++ loop over
// 64 KB runs in the same process as the baseline for ratios.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "CorpusTunes.h"

#include "zorvex.h"

namespace fs = std::filesystem;

namespace {

// Plays the default sub-tune until its play clock shows `seconds`; returns the
// C64 seconds played.
double play(int32_t handle, const std::string& tune, double seconds) {
  if (!loadFile(handle, tune.c_str())) return 0;
  setSongToPlay(handle, std::max(getDefaultSong(handle), 0));
  const auto target = static_cast<int32_t>(seconds * 1000.0);
  for (uint64_t calls = 0; getTime(handle) < target && calls < 2'000'000'000; ++calls) {
    run(handle);
    benchmark::DoNotOptimize(getCommand(handle));
  }
  return getTime(handle) / 1000.0;
}

void BM_CorpusTunes(benchmark::State& state) {
  const std::vector<std::string> tunes = corpusTunes(50);
  if (tunes.empty()) {
    state.SkipWithError("shared corpus not found");
    return;
  }
  const double seconds = std::getenv("ZORVEX_BENCH_SECONDS") ? std::atof(std::getenv("ZORVEX_BENCH_SECONDS")) : 180.0;
  const int32_t handle = createC64();
  enableFixedStartup(handle);
  std::vector<double> speeds;
  for (auto _ : state) {
    speeds.clear();
    for (const std::string& tune : tunes) {
      const auto start = std::chrono::steady_clock::now();
      const double played = play(handle, tune, seconds);
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (played > 0) speeds.push_back(played / std::max(wall, 1e-9));
    }
  }
  closeC64(handle);
  std::sort(speeds.begin(), speeds.end());
  state.counters["tunes"] = static_cast<double>(speeds.size());
  state.counters["median_x_realtime"] = speeds.empty() ? 0 : speeds[speeds.size() / 2];
  state.counters["slowest_x_realtime"] = speeds.empty() ? 0 : speeds.front();
}
BENCHMARK(BM_CorpusTunes)->Iterations(1)->Unit(benchmark::kSecond);

void BM_Baseline(benchmark::State& state) {
  std::vector<uint8_t> memory(65536);
  std::iota(memory.begin(), memory.end(), 0);
  for (auto _ : state) {
    unsigned sum = 0;
    for (uint8_t b : memory) sum += b;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(memory.size()));
}
BENCHMARK(BM_Baseline);

}  // namespace
