// Throughput of kelvary -g: the tool's own worker (TKelvary with a library
// instance, discarding its output) over the 50 corpus tunes of TuneBench, three
// minutes a sub-tune, in C64 seconds emulated per wall-clock second, with one
// worker and with two on threads of their own. In the same run the library's
// bare playback loop (TuneBench's BM_CorpusTunes) is the baseline:
//   - BM_KelvaryAgainstBareLoop: per tune, the bare loop making exactly the
//     run calls the tool's passes made (recorded once, untimed), so both
//     emulate the same C64 time and only the tool's own work differs, then
//     one worker doing -g on this thread;
//   - BM_BareLoop/0: as in TuneBench, the default sub-tune for 3 minutes of
//     play clock; /1: every sub-tune so, which is close to what -g plays.
// C64 seconds are the library's play clock after each sub-tune of the replay,
// for the tool too: TRunState::EmulatedSeconds counts only the delays a pass
// took, not the silence at its end before the idle limit stops it.
//
//   kelvary_bench                           # ratios printed after the table
//   ZORVEX_BENCH_SECONDS=60 kelvary_bench   # one minute a sub-tune
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "CorpusTunes.h"

#include "FileSearch.h"
#include "MainThread.h"
#include "Output.h"
#include "RunState.h"
#include "Zorvex_Wrapper.h"
#include "zorvex.h"

namespace fs = std::filesystem;

namespace {

// Bound before any benchmark runs, as kelvary binds the library at its start.
const bool libraryBound = (Zorvex::BindOrThrow(), true);

double playSeconds() {
  const char* text = std::getenv("ZORVEX_BENCH_SECONDS");
  return text ? std::atof(text) : 180.0;
}

// The tool counts in whole minutes; a smoke run's fraction of a second is 0
// minutes, which still walks every file and sub-tune.
int32_t playMinutes() { return static_cast<int32_t>(std::lround(playSeconds() / 60.0)); }

// The tunes copied under plain names into a directory of their own, so that
// the tool's file search walks exactly them in this order.
class TTuneCopies {
 public:
  explicit TTuneCopies(const std::vector<std::string>& tunes) {
    std::string pattern = (fs::temp_directory_path() / "kelvary-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
    directory_ = pattern;
    for (size_t i = 0; i < tunes.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "%02zu.sid", i);
      fs::copy_file(tunes[i], directory_ / name);
      files_.push_back((directory_ / name).string());
    }
  }
  ~TTuneCopies() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  const std::vector<std::string>& files() const { return files_; }
  std::string mask() const { return (directory_ / "*.sid").string(); }

 private:
  fs::path directory_;
  std::vector<std::string> files_;
};

const TTuneCopies* copies() {
  static const std::vector<std::string> tunes = corpusTunes(50);
  static const std::unique_ptr<TTuneCopies> made = tunes.empty() ? nullptr : std::make_unique<TTuneCopies>(tunes);
  return made.get();
}

// What each benchmark measured, for the ratios printed at the end.
struct TRate {
  double c64Seconds = 0;
  double wallSeconds = 0;
  double cpuSeconds = 0;     // of this thread, or of the process for the workers
  double medianPerTune = 0;  // C64 seconds per wall second, median over tunes
  double rate() const { return wallSeconds > 0 ? c64Seconds / wallSeconds : 0; }
};
std::map<std::string, TRate>& rates() {
  static std::map<std::string, TRate> measured;
  return measured;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void report(benchmark::State& state, const std::string& name, const TRate& rate, size_t tunes) {
  rates()[name] = rate;
  state.counters["tunes"] = static_cast<double>(tunes);
  state.counters["c64_seconds"] = rate.c64Seconds;
  state.counters["x_realtime"] = rate.rate();
  if (rate.medianPerTune > 0) state.counters["median_x_realtime"] = rate.medianPerTune;
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time does not count the slices other programs take from us on a shared
// machine, so ratios of it stay steadier than those of wall time.
double cpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

TOutput::TChannels discard() {
  return {[](std::string_view) {}, [](std::string_view) {}, [](std::string_view) {}};
}

TWorkerConfig generateOnly() {
  TWorkerConfig config;
  config.minutes = playMinutes();
  config.generateOnly = true;
  return config;
}

std::unique_ptr<TTuneEmulator> makeEmulator() { return std::make_unique<TZorvexInstance>(); }

// One sub-tune pass as the worker played it.
struct TPass {
  int32_t song = 0;
  int32_t clock = 1;
  uint64_t runCalls = 0;
  uint64_t digest = 0;  // of the entries the pass read, to check the replay
};

// Only the fields an entry's command carries: the worker's entry keeps stale
// ones from earlier entries.
uint64_t mix(uint64_t digest, const TStreamEntry& e) {
  uint64_t word = uint64_t(uint32_t(e.command)) << 40;
  if (e.command == cmdDelay || e.command == cmdWrite) word ^= uint64_t(e.cycles) << 16;
  if (e.command == cmdWrite) word ^= e.reg << 8 ^ e.value;
  return (digest ^ word) * 0x100000001B3ull;
}

// A library instance that notes the passes the worker makes on it.
class TRecordingInstance final : public TTuneEmulator {
 public:
  explicit TRecordingInstance(std::vector<TPass>& passes) : passes_(passes) {}
  bool LoadFile(const std::string& name) override { return c64_.LoadFile(name); }
  void PrepareFile() override { c64_.PrepareFile(); }
  int32_t GetC64Version() override { return c64_.GetC64Version(); }
  int32_t GetNumberOfSongs() override { return c64_.GetNumberOfSongs(); }
  void SetSongToPlay(int32_t song) override {
    passes_.push_back({song, 1, 0, 0});
    c64_.SetSongToPlay(song);
  }
  void SetC64Version(int32_t version) override {
    passes_.back().clock = version;
    c64_.SetC64Version(version);
  }
  void Next(TStreamEntry& entry) override {
    c64_.Next(entry);
    ++passes_.back().runCalls;
    passes_.back().digest = mix(passes_.back().digest, entry);
  }
  void PressButtons() override { c64_.PressButtons(); }
  void CopyMemory(uint8_t* memory, uint8_t* usage) override { c64_.CopyMemory(memory, usage); }

 private:
  TZorvexInstance c64_;
  std::vector<TPass>& passes_;
};

// The bare loop over a tune's recorded passes: as the worker prepares the
// file, then per pass the same sub-tune, clock and number of run calls.
// Returns the C64 seconds played (the play clock at the end of each pass).
double replay(int32_t handle, const std::string& tune, const std::vector<TPass>& passes, bool check) {
  if (!loadFile(handle, tune.c_str())) return 0;
  enableFixedStartup(handle);
  clearMemUsageOnFirstSIDAccess(handle, 1);
  double played = 0;
  for (const TPass& pass : passes) {
    setSongToPlay(handle, pass.song);
    setC64Version(handle, pass.clock);
    uint64_t digest = 0;
    for (uint64_t call = 0; call < pass.runCalls; ++call) {
      run(handle);
      if (!check) {
        benchmark::DoNotOptimize(getCommand(handle));
        continue;
      }
      TStreamEntry e;
      e.command = getCommand(handle);
      if (e.command == cmdDelay || e.command == cmdWrite) {
        e.cycles = static_cast<uint32_t>(getCycles(handle)) & 0xFFFF;
        if (e.command == cmdWrite) {
          e.reg = static_cast<uint8_t>(getRegister(handle));
          e.value = static_cast<uint8_t>(getData(handle));
        }
      }
      digest = mix(digest, e);
    }
    if (check && digest != pass.digest) return -1;
    played += getTime(handle) / 1000.0;
  }
  return played;
}

// What -g does to each tune, recorded once and untimed: its passes and the
// C64 seconds they cover.
struct TWorkload {
  std::vector<std::vector<TPass>> passes;  // by tune
  std::vector<double> c64Seconds;          // by tune
  double total = 0;
  double runCalls = 0;
  std::string error;
};

const TWorkload& workload() {
  static const TWorkload recorded = [] {
    TWorkload w;
    const TTuneCopies* tunes = copies();
    if (tunes == nullptr) return w;
    TOutput output(discard(), TOutput::Format::text);
    const std::atomic<bool> interrupted{false};
    const int32_t handle = createC64();
    for (const std::string& tune : tunes->files()) {
      std::vector<TPass> passes;
      TFileSearch files;
      files.StartSearch(tune, false);
      TRunState run;
      TKelvary worker(generateOnly(), files, nullptr, output, run, interrupted,
                      [&passes] { return std::make_unique<TRecordingInstance>(passes); });
      worker.ProcessFiles();
      const double played = replay(handle, tune, passes, true);
      if (played < 0) w.error += "the bare loop does not replay the worker's passes of " + tune + "\n";
      for (const TPass& pass : passes) w.runCalls += static_cast<double>(pass.runCalls);
      w.passes.push_back(std::move(passes));
      w.c64Seconds.push_back(played);
      w.total += played;
    }
    closeC64(handle);
    return w;
  }();
  return recorded;
}

// The bare loop of BM_CorpusTunes: sub-tune `song` of the loaded tune until
// its play clock shows `seconds`; returns the C64 seconds played.
double play(int32_t handle, int32_t song, double seconds) {
  setSongToPlay(handle, song);
  const auto target = static_cast<int32_t>(seconds * 1000.0);
  for (uint64_t calls = 0; getTime(handle) < target && calls < 2'000'000'000; ++calls) {
    run(handle);
    benchmark::DoNotOptimize(getCommand(handle));
  }
  return getTime(handle) / 1000.0;
}

// arg 0: the default sub-tune, as BM_CorpusTunes; arg 1: every sub-tune.
void BM_BareLoop(benchmark::State& state) {
  const TTuneCopies* tunes = copies();
  if (tunes == nullptr) {
    state.SkipWithError("shared corpus not found");
    return;
  }
  const bool everySubTune = state.range(0) == 1;
  const double target = playSeconds();
  const int32_t handle = createC64();
  enableFixedStartup(handle);
  TRate total;
  std::vector<double> speeds;
  for (auto _ : state) {
    for (const std::string& tune : tunes->files()) {
      const auto start = std::chrono::steady_clock::now();
      if (!loadFile(handle, tune.c_str())) continue;
      double played = 0;
      if (everySubTune)
        for (int32_t song = 0; song < getNumberOfSongs(handle); ++song) played += play(handle, song, target);
      else
        played = play(handle, std::max(getDefaultSong(handle), 0), target);
      const double wall = seconds(std::chrono::steady_clock::now() - start);
      total.c64Seconds += played;
      total.wallSeconds += wall;
      if (played > 0) speeds.push_back(played / std::max(wall, 1e-9));
    }
  }
  closeC64(handle);
  total.medianPerTune = median(speeds);
  report(state, everySubTune ? "bare, every sub-tune" : "bare, default sub-tune", total, speeds.size());
}
BENCHMARK(BM_BareLoop)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Per tune, the bare loop over the tool's recorded passes and then one worker
// doing the same -g work on this thread, taking turns so that a load that
// comes and goes on the machine falls on both alike.
void BM_KelvaryAgainstBareLoop(benchmark::State& state) {
  const TTuneCopies* tunes = copies();
  const TWorkload& w = workload();
  if (tunes == nullptr || !w.error.empty()) {
    state.SkipWithError(tunes == nullptr ? "shared corpus not found" : w.error.c_str());
    return;
  }
  TOutput output(discard(), TOutput::Format::text);
  const std::atomic<bool> interrupted{false};
  const int32_t handle = createC64();
  TRate tool, bare;
  double counted = 0;  // the tool's own figure, for comparison
  std::vector<double> toolSpeeds, bareSpeeds;
  for (auto _ : state) {
    for (size_t i = 0; i < tunes->files().size(); ++i) {
      const std::string& tune = tunes->files()[i];
      auto start = std::chrono::steady_clock::now();
      double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      const double played = replay(handle, tune, w.passes[i], false);
      const double bareWall = seconds(std::chrono::steady_clock::now() - start);
      bare.cpuSeconds += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu;

      TFileSearch files;
      files.StartSearch(tune, false);
      TRunState run;
      TKelvary worker(generateOnly(), files, nullptr, output, run, interrupted, makeEmulator);
      start = std::chrono::steady_clock::now();
      cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      worker.ProcessFiles();
      const double toolWall = seconds(std::chrono::steady_clock::now() - start);
      tool.cpuSeconds += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu;

      counted += run.EmulatedSeconds();
      bare.c64Seconds += played;
      bare.wallSeconds += bareWall;
      tool.c64Seconds += played;
      tool.wallSeconds += toolWall;
      if (played > 0) {
        bareSpeeds.push_back(played / std::max(bareWall, 1e-9));
        toolSpeeds.push_back(played / std::max(toolWall, 1e-9));
      }
    }
  }
  closeC64(handle);
  bare.medianPerTune = median(bareSpeeds);
  tool.medianPerTune = median(toolSpeeds);
  report(state, "bare, the tool's passes", bare, bareSpeeds.size());
  report(state, "kelvary per tune", tool, toolSpeeds.size());
  state.counters["bare_x_realtime"] = bare.rate();
  state.counters["tool_vs_bare"] = bare.wallSeconds / std::max(tool.wallSeconds, 1e-9);
  state.counters["tool_vs_bare_cpu"] = bare.cpuSeconds / std::max(tool.cpuSeconds, 1e-9);
  state.counters["emulated_seconds_counted"] = counted;
  state.counters["run_calls_per_c64_second"] = w.runCalls / std::max(w.total, 1e-9);
}
BENCHMARK(BM_KelvaryAgainstBareLoop)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The run as the program makes it: `count` workers on threads of their own
// draining one file search over all the tunes. False when a file was missed.
bool runWorkers(const TTuneCopies& tunes, int count, double c64Seconds, TRate& total) {
  TOutput output(discard(), TOutput::Format::text);
  const std::atomic<bool> interrupted{false};
  TFileSearch files;
  files.StartSearch(tunes.mask(), false);
  TRunState run;
  std::vector<std::unique_ptr<TMainThread>> workers;
  const auto start = std::chrono::steady_clock::now();
  const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  for (int w = 0; w < count; ++w) {
    workers.push_back(std::make_unique<TMainThread>(
        std::make_unique<TKelvary>(generateOnly(), files, nullptr, output, run, interrupted, makeEmulator), run));
    workers.back()->Start();
  }
  run.WaitForWorkers(count, std::chrono::hours(24));
  for (auto& worker : workers) worker->Join();
  total.wallSeconds += seconds(std::chrono::steady_clock::now() - start);
  total.cpuSeconds += cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
  total.c64Seconds += c64Seconds;
  return run.files() == tunes.files().size();
}

// One worker and two in turns, a few rounds, so that the machine's changing
// speed (other programs, other guests on the host) falls on both alike.
void BM_KelvaryWorkers(benchmark::State& state) {
  const TTuneCopies* tunes = copies();
  const TWorkload& w = workload();
  if (tunes == nullptr || !w.error.empty()) {
    state.SkipWithError(tunes == nullptr ? "shared corpus not found" : w.error.c_str());
    return;
  }
  const int rounds = playMinutes() > 0 ? 3 : 1;
  TRate one, two;
  for (auto _ : state) {
    for (int round = 0; round < rounds; ++round) {
      if (!runWorkers(*tunes, 1, w.total, one) || !runWorkers(*tunes, 2, w.total, two))
        state.SkipWithError("not every file was processed");
    }
  }
  report(state, "kelvary, 1 worker", one, tunes->files().size());
  report(state, "kelvary, 2 workers", two, tunes->files().size());
  state.counters["x_realtime_1"] = one.rate();
  state.counters["two_vs_one"] = one.wallSeconds / std::max(two.wallSeconds, 1e-9);
  // Below the worker count when other programs held a core.
  state.counters["cores_busy_1"] = one.cpuSeconds / std::max(one.wallSeconds, 1e-9);
  state.counters["cores_busy_2"] = two.cpuSeconds / std::max(two.wallSeconds, 1e-9);
}
BENCHMARK(BM_KelvaryWorkers)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void printRatios() {
  const auto& r = rates();
  auto has = [&](const char* name) { return r.count(name) && r.at(name).rate() > 0; };
  std::printf("\n");
  for (const auto& [name, rate] : r) {
    std::printf("%-24s %8.0f C64 s in %6.2f s: %5.0fx real time", name.c_str(), rate.c64Seconds, rate.wallSeconds,
                rate.rate());
    if (rate.cpuSeconds > 0) std::printf(", CPU %.2f s", rate.cpuSeconds);
    if (rate.medianPerTune > 0) std::printf(", median per tune %.0fx", rate.medianPerTune);
    std::printf("\n");
  }
  if (has("kelvary per tune") && has("bare, the tool's passes"))
    std::printf("tool per core / bare loop on the same passes: %.3f by wall time, %.3f by CPU time (target >= 0.95)\n",
                r.at("kelvary per tune").rate() / r.at("bare, the tool's passes").rate(),
                r.at("bare, the tool's passes").cpuSeconds / r.at("kelvary per tune").cpuSeconds);
  if (has("kelvary, 1 worker") && has("kelvary, 2 workers"))
    std::printf("2 workers / 1 worker: %.3f (target >= 1.8); cores busy %.2f and %.2f\n",
                r.at("kelvary, 2 workers").rate() / r.at("kelvary, 1 worker").rate(),
                r.at("kelvary, 2 workers").cpuSeconds / r.at("kelvary, 2 workers").wallSeconds,
                r.at("kelvary, 1 worker").cpuSeconds / r.at("kelvary, 1 worker").wallSeconds);
  if (has("kelvary per tune"))
    std::printf("median x real time per core: %.0f (target >= 2000)\n", r.at("kelvary per tune").medianPerTune);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printRatios();
  return 0;
}
