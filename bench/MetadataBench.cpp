// Loading HVSC #69's Songlengths.md5 (50,705 entries) and STIL.txt with
// BUGlist.txt, and 100,000 random look-ups in each. Baselines in the same run:
// reading the same file into memory, and a bare hash-map probe per look-up.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include <benchmark/benchmark.h>

#include "STIL.h"
#include "SongLength.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t lookups = 100'000;

fs::path collection() { return fs::path(ZORVEX_SHARED_DIR) / "corpus" / "C64Music"; }
fs::path songLengths() { return collection() / "DOCUMENTS" / "Songlengths.md5"; }

// Lines of a document that start with `first`, cut to `length` bytes (all when 0).
std::vector<std::string> linesOf(const fs::path& file, char first, std::size_t length) {
  std::vector<std::string> out;
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == ';' || line[0] == '[' || (first != 0 && line[0] != first)) continue;
    out.push_back(length ? line.substr(0, length) : line);
  }
  return out;
}

// 100,000 picks from the listed keys, one in ten replaced by a key that is absent.
std::vector<std::string> randomKeys(const std::vector<std::string>& listed, const std::string& absent) {
  std::mt19937 random(83);
  std::vector<std::string> keys;
  keys.reserve(lookups);
  for (std::size_t i = 0; i < lookups; ++i) keys.push_back(i % 10 == 9 ? absent : listed[random() % listed.size()]);
  return keys;
}

bool present(benchmark::State& state) {
  if (fs::exists(songLengths())) return true;
  state.SkipWithError("shared corpus not found");
  return false;
}

void BM_ReadSongLengthsBaseline(benchmark::State& state) {
  if (!present(state)) return;
  for (auto _ : state) {
    std::ifstream in(songLengths(), std::ios::binary);
    std::vector<char> bytes(std::istreambuf_iterator<char>(in), {});
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_ReadSongLengthsBaseline)->Unit(benchmark::kMillisecond);

void BM_LoadSongLengths(benchmark::State& state) {
  if (!present(state)) return;
  TSongLength db;
  for (auto _ : state)
    if (!db.LoadFile(songLengths().string())) state.SkipWithError("Songlengths.md5 did not load");
  state.counters["entries"] = static_cast<double>(db.size());
}
BENCHMARK(BM_LoadSongLengths)->Unit(benchmark::kMillisecond);

void BM_LoadStil(benchmark::State& state) {
  if (!present(state)) return;
  TStil stil;
  for (auto _ : state)
    if (!stil.loadSTIL(collection().string())) state.SkipWithError("STIL.txt did not load");
  state.counters["entries"] = static_cast<double>(stil.size());
}
BENCHMARK(BM_LoadStil)->Unit(benchmark::kMillisecond);

void BM_HashProbeBaseline(benchmark::State& state) {
  if (!present(state)) return;
  const std::vector<std::string> listed = linesOf(songLengths(), 0, 32);
  const std::unordered_set<std::string> set(listed.begin(), listed.end());
  const std::vector<std::string> keys = randomKeys(listed, std::string(32, '0'));
  for (auto _ : state)
    for (const std::string& key : keys) benchmark::DoNotOptimize(set.find(key));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lookups));
}
BENCHMARK(BM_HashProbeBaseline)->Unit(benchmark::kMillisecond);

void BM_SongLengthLookups(benchmark::State& state) {
  if (!present(state)) return;
  TSongLength db;
  db.LoadFile(songLengths().string());
  const std::vector<std::string> keys = randomKeys(linesOf(songLengths(), 0, 32), std::string(32, '0'));
  std::mt19937 random(64);
  for (auto _ : state)
    for (const std::string& key : keys) {
      benchmark::DoNotOptimize(TSongLength::ParseTime(db.GetSongLengthText(key, static_cast<int32_t>(random() % 4) + 1)));
      benchmark::DoNotOptimize(db.GetHvscPathForMd5(key));
    }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lookups));
}
BENCHMARK(BM_SongLengthLookups)->Unit(benchmark::kMillisecond);

void BM_StilLookups(benchmark::State& state) {
  if (!present(state)) return;
  TStil stil;
  stil.loadSTIL(collection().string());
  // Tunes as the library meets them: full paths on disk below the collection root.
  std::vector<std::string> paths;
  for (const std::string& line : linesOf(collection() / "DOCUMENTS" / "STIL.txt", '/', 0))
    if (!line.ends_with('/')) paths.push_back(collection().string() + line);
  const std::vector<std::string> keys = randomKeys(paths, collection().string() + "/MUSICIANS/Z/None/No.sid");
  for (auto _ : state)
    for (const std::string& key : keys) benchmark::DoNotOptimize(stil.GetStilEntry(key));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lookups));
}
BENCHMARK(BM_StilLookups)->Unit(benchmark::kMillisecond);

}  // namespace
