// Loading a generated 100,000-line database.txt (random hashes, collection-style
// names, a comment line now and then) against reading the same file into a
// buffer in the same run, and 100,000 look-ups in the loaded database.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "DataHashFile.h"

namespace fs = std::filesystem;

namespace {

constexpr int lines = 100'000;
constexpr std::size_t lookups = 100'000;

std::string randomHash(std::mt19937& random) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hash(32, '0');
  for (char& c : hash) c = digits[random() % 16];
  return hash;
}

// database.txt in a directory of its own, removed with it; also remembers the
// hashes written, for the look-ups.
class TBenchDatabase {
 public:
  TBenchDatabase() {
    std::string pattern = (fs::temp_directory_path() / "kelvary-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
    directory_ = pattern;
    file_ = directory_ / "database.txt";

    static constexpr const char* folders[] = {"/MUSICIANS/A/", "/MUSICIANS/H/", "/MUSICIANS/M/", "/MUSICIANS/T/",
                                              "/GAMES/S-Z/",   "/DEMOS/A-F/"};
    static constexpr const char* names[] = {"Hubbard_Rob", "Galway_Martin", "Tel_Jeroen", "Daglish_Ben", "Follin_Tim"};
    std::mt19937 random(1987);
    std::ofstream out(file_, std::ios::binary);
    for (int i = 0; i < lines; ++i) {
      if (i % 40 == 0) {
        out << "; " << names[random() % 5] << " - tunes added in update " << i / 40 << "\n";
        continue;
      }
      hashes_.push_back(randomHash(random));
      out << hashes_.back() << '=' << folders[random() % 6] << names[random() % 5] << "/Tune_" << random() % 1000
          << ".sid #" << 1 + random() % 12 << "\n";
    }
    if (!out) throw std::runtime_error("cannot write " + file_.string());
  }
  ~TBenchDatabase() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  TBenchDatabase(const TBenchDatabase&) = delete;
  TBenchDatabase& operator=(const TBenchDatabase&) = delete;

  std::string file() const { return file_.string(); }
  const std::vector<std::string>& hashes() const { return hashes_; }

 private:
  fs::path directory_;
  fs::path file_;
  std::vector<std::string> hashes_;
};

void BM_ReadDatabaseBaseline(benchmark::State& state) {
  const TBenchDatabase database;
  const std::size_t size = fs::file_size(database.file());
  for (auto _ : state) {
    std::ifstream in(database.file(), std::ios::binary);
    std::vector<char> bytes(size);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_ReadDatabaseBaseline)->Unit(benchmark::kMillisecond);

void BM_LoadDatabase(benchmark::State& state) {
  const TBenchDatabase database;
  const std::size_t size = fs::file_size(database.file());
  std::size_t entries = 0;
  for (auto _ : state) {
    THashDatabase db;
    if (!db.Load(database.file(), [](const std::string&) {})) state.SkipWithError("database did not load");
    entries = db.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.counters["entries"] = static_cast<double>(entries);
}
BENCHMARK(BM_LoadDatabase)->Unit(benchmark::kMillisecond);

// Computed hashes come in lower case; one in ten is unknown.
void BM_FindDatabase(benchmark::State& state) {
  const TBenchDatabase database;
  THashDatabase db;
  if (!db.Load(database.file(), [](const std::string&) {})) state.SkipWithError("database did not load");
  std::mt19937 random(64);
  std::vector<std::string> keys;
  keys.reserve(lookups);
  for (std::size_t i = 0; i < lookups; ++i)
    keys.push_back(i % 10 == 9 ? randomHash(random) : database.hashes()[random() % database.hashes().size()]);
  std::size_t found = 0;
  for (auto _ : state)
    for (const std::string& key : keys) found += db.Find(key).empty() ? 0 : 1;
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lookups));
}
BENCHMARK(BM_FindDatabase)->Unit(benchmark::kMillisecond);

}  // namespace
