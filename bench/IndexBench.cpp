// The HVSC index and the binary search over it, each against a baseline
// measured in the same run:
//   build   vs. reading the same *.sid files through the same file search;
//   load    vs. reading the saved file into memory in one read;
//   search  vs. the plain walk (a skip table and a Boyer-Moore-Horspool search
//           per block per file, on one thread), per played sub-tune.
// The tree is the corpus, or ZORVEX_HVSC_TREE (a whole collection, say):
//   ZORVEX_HVSC_TREE=$HOME/C64Music index_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "BinarySearch.h"
#include "CorpusTunes.h"
#include "FileSearch.h"
#include "HvscIndexer.h"
#include "Zorvex_Wrapper.h"
#include "platform/Files.h"
#include "../tests/tool/PlainBlockWalk.h"

namespace {

// Bound before any benchmark runs, as kelvary binds the library at its start.
const bool libraryBound = (Zorvex::BindOrThrow(), true);

std::string tree() {
  const char* given = std::getenv("ZORVEX_HVSC_TREE");
  return given ? given : (std::filesystem::path(ZORVEX_SHARED_DIR) / "corpus/C64Music").string();
}

std::string indexFile() { return (std::filesystem::temp_directory_path() / "index_bench.dat").string(); }

const std::atomic<bool> notInterrupted{false};

// Built and saved once, for the load and search benchmarks.
THVSCIndexer& savedIndex() {
  static THVSCIndexer* indexer = [] {
    static THVSCIndexer built;
    if (std::filesystem::exists(tree())) {
      built.BuildIndex(tree(), notInterrupted);
      built.SaveIndexTo(indexFile(), nullptr);
    }
    return &built;
  }();
  return *indexer;
}

struct TImage {
  std::string tune;
  std::vector<uint8_t> memory = std::vector<uint8_t>(65536);
  std::vector<uint8_t> usage = std::vector<uint8_t>(65536);
};

// Memory images of corpus tunes after their first sub-tune has played for a
// while, as a worker takes them (played), or with every data byte of the file
// read as data, as a sample player leaves memory (whole: many more blocks).
const std::vector<TImage>& playedImages() {
  static const std::vector<TImage> made = [] {
    std::vector<TImage> out;
    TZorvexInstance c64;
    for (const std::string& tune : corpusTunes(24)) {
      if (!c64.LoadFile(tune)) continue;
      c64.PrepareFile();
      c64.SetSongToPlay(0);
      c64.SetC64Version(c64.GetC64Version() == 2 ? 2 : 1);
      TStreamEntry entry;
      for (int i = 0; i < 20000; ++i) c64.Next(entry);
      TImage image;
      image.tune = tune;
      c64.CopyMemory(image.memory.data(), image.usage.data());
      out.push_back(std::move(image));
    }
    return out;
  }();
  return made;
}

const std::vector<TImage>& wholeImages() {
  static const std::vector<TImage> made = [] {
    std::vector<TImage> out;
    for (const std::string& tune : corpusTunes(24)) {
      std::ifstream in(tune, std::ios::binary);
      const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (file.size() < 0x7E) continue;
      const std::size_t offset = static_cast<std::size_t>(file[6]) << 8 | file[7];
      const std::size_t start = offset + ((file[8] | file[9]) == 0 ? 2 : 0);
      if (start >= file.size()) continue;
      TImage image;
      image.tune = tune;
      const std::size_t size = std::min<std::size_t>(file.size() - start, 0xF000);
      std::copy(file.begin() + static_cast<std::ptrdiff_t>(start),
                file.begin() + static_cast<std::ptrdiff_t>(start + size), image.memory.begin() + 0x0800);
      std::fill(image.usage.begin() + 0x0800, image.usage.begin() + 0x0800 + static_cast<std::ptrdiff_t>(size), 0x20);
      out.push_back(std::move(image));
    }
    return out;
  }();
  return made;
}

const std::vector<TImage>& images(int64_t kind) { return kind == 0 ? playedImages() : wholeImages(); }

void BM_TreePlainRead(benchmark::State& state) {
  if (!std::filesystem::exists(tree())) return state.SkipWithError("no tree to index");
  for (auto _ : state) {
    TFileSearch search;
    search.StartSearch(tree() + "/*.sid", true);
    uint64_t sum = 0;
    for (std::string name = search.GetNextFile(); !name.empty(); name = search.GetNextFile()) {
      const auto mapping = Platform::TFileMapping::open(name);
      if (!mapping) continue;
      for (std::size_t i = 0; i < mapping->size(); i += 64) sum += mapping->data()[i];
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_TreePlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IndexBuild(benchmark::State& state) {
  if (!std::filesystem::exists(tree())) return state.SkipWithError("no tree to index");
  for (auto _ : state) {
    THVSCIndexer indexer;
    indexer.BuildIndex(tree(), notInterrupted);
    state.counters["items"] = indexer.GetItemCount();
  }
}
BENCHMARK(BM_IndexBuild)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IndexFileRead(benchmark::State& state) {
  savedIndex();
  for (auto _ : state) {
    std::ifstream in(indexFile(), std::ios::binary | std::ios::ate);
    std::vector<char> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_IndexFileRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IndexLoad(benchmark::State& state) {
  savedIndex();
  for (auto _ : state) {
    THVSCIndexer indexer;
    std::string reason;
    if (!indexer.LoadIndexFrom(indexFile(), reason)) return state.SkipWithError(reason.c_str());
  }
}
BENCHMARK(BM_IndexLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

// Per search, with its median over the tunes as a counter.
template <typename Search>
void timeSearches(benchmark::State& state, std::size_t tunes, Search search) {
  const std::vector<TImage>& all = images(state.range(0));
  if (all.empty() || savedIndex().GetItemCount() == 0) return state.SkipWithError("no tunes or no index");
  std::vector<double> seconds;
  std::size_t next = 0;
  for (auto _ : state) {
    const TImage& image = all[next++ % std::min(tunes, all.size())];
    const auto start = std::chrono::steady_clock::now();
    search(image);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(seconds.begin(), seconds.begin() + static_cast<std::ptrdiff_t>(seconds.size() / 2), seconds.end());
  state.counters["median_ms"] = seconds[seconds.size() / 2] * 1000;
  TBinarySearch blocks;
  double total = 0;
  for (std::size_t i = 0; i < std::min(tunes, all.size()); ++i) {
    blocks.Search(all[i].memory.data(), all[i].usage.data());
    total += blocks.GetBlockCount();
  }
  state.counters["blocks"] = total / static_cast<double>(std::min(tunes, all.size()));
}

void BM_SearchPlainWalk(benchmark::State& state) {
  THVSCIndexer& indexer = savedIndex();
  TBinarySearch blocks;  // only cuts the blocks
  timeSearches(state, 24, [&](const TImage& image) {
    blocks.Search(image.memory.data(), image.usage.data());
    benchmark::DoNotOptimize(PlainBlockWalk(indexer, blocks.GetBlocks(), blocks.GetBlockCount(), 75));
  });
}
// Argument: 0 played images, 1 whole-data images.
BENCHMARK(BM_SearchPlainWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(24);

void BM_Search(benchmark::State& state) {
  THVSCIndexer& indexer = savedIndex();
  TBinarySearch search;
  search.SetThreadCount(static_cast<int32_t>(state.range(1)));
  timeSearches(state, 24, [&](const TImage& image) {
    search.SetIndexer(indexer);
    benchmark::DoNotOptimize(search.Search(image.memory.data(), image.usage.data()));
  });
}
// Arguments: images as above, threads.
BENCHMARK(BM_Search)->Args({0, 1})->Args({0, 2})->Args({1, 1})->Args({1, 2})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(24);

}  // namespace
