#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BinarySearch.h"
#include "BlockSet.h"
#include "HvscIndexer.h"
#include "NoiseBytes.h"
#include "PlainBlockWalk.h"
#include "SharedData.h"
#include "TempDir.h"

namespace {

using TBytes = std::vector<uint8_t>;

constexpr uint8_t readAsData = 0x20;

TBytes psid(const TBytes& data) {
  TBytes file(0x7C, 0);
  file[0] = 'P', file[1] = 'S', file[2] = 'I', file[3] = 'D', file[5] = 2, file[7] = 0x7C, file[8] = 0x10;
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

// An index of files of our own under C64Music/MUSICIANS/T/Test, saved and so named as HVSC names.
struct TIndex {
  TTempDir dir;
  THVSCIndexer indexer;

  explicit TIndex(const std::vector<TBytes>& files) {
    // The four folders that make a collection root.
    dir.write("C64Music/DOCUMENTS/Update83.hvs", {'x'});
    std::filesystem::create_directories(dir.path() / "C64Music/DEMOS");
    std::filesystem::create_directories(dir.path() / "C64Music/GAMES");
    for (std::size_t i = 0; i < files.size(); ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "C64Music/MUSICIANS/T/Test/F%04zu.sid", i);
      dir.write(name, psid(files[i]));
    }
    const std::atomic<bool> notInterrupted{false};
    if (!indexer.BuildIndex((dir.path() / "C64Music").string(), notInterrupted) ||
        !indexer.SaveIndexTo((dir.path() / "hvscindex.dat").string(), nullptr))
      throw std::runtime_error("test index not built");
  }
};

// A memory image whose given blocks the player read as data, each 16 bytes apart from the next.
struct TImage {
  TBytes memory = TBytes(65536, 0);
  TBytes usage = TBytes(65536, 0);
  std::size_t next = 0x0800;

  void Add(const uint8_t* bytes, std::size_t size, uint8_t flags = readAsData) {
    std::copy(bytes, bytes + size, memory.begin() + static_cast<std::ptrdiff_t>(next));
    std::fill(usage.begin() + static_cast<std::ptrdiff_t>(next),
              usage.begin() + static_cast<std::ptrdiff_t>(next + size), flags);
    next += size + 16;
  }
  void Add(const TBytes& bytes, uint8_t flags = readAsData) { Add(bytes.data(), bytes.size(), flags); }
};

// count blocks of 16 bytes, all different.
TBytes blocksFrom(const TBytes& data, std::size_t count) {
  return TBytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(16 * count));
}

int32_t blockCountOf(const TImage& image) {
  TBinarySearch search;
  search.Search(image.memory.data(), image.usage.data());
  return search.GetBlockCount();
}

struct TOutcome {
  bool found;
  std::string text;
  std::string file;
};

TOutcome search(THVSCIndexer& indexer, const TImage& image, int32_t threshold, int32_t threads = 1) {
  TBinarySearch s;
  s.SetThreshold(threshold);
  s.SetThreadCount(threads);
  s.SetIndexer(indexer);
  const bool found = s.Search(image.memory.data(), image.usage.data());
  return {found, s.GetResultText(), s.GetBestFile()};
}

}  // namespace

// ---- Which bytes become blocks

TEST(BinarySearchBlocks, OnlyBytesReadAsDataAndNothingElseQualify) {
  const TBytes data = noise(16, 1);
  for (uint8_t flags : {0x20, 0x22, 0x21, 0x60, 0x63}) {
    TImage image;
    image.Add(data, flags);
    EXPECT_EQ(blockCountOf(image), 1) << "flags " << int(flags);
  }
  for (uint8_t flags : {0x00, 0x02, 0xA0, 0x30, 0x28, 0x24, 0x80}) {
    TImage image;
    image.Add(data, flags);
    EXPECT_EQ(blockCountOf(image), 0) << "flags " << int(flags);
  }
}

TEST(BinarySearchBlocks, RunsAreCutIntoWholeBlocksAndRepeatsCountOnce) {
  const TBytes data = noise(40, 2);
  TImage fifteen;
  fifteen.Add(data.data(), 15);
  EXPECT_EQ(blockCountOf(fifteen), 0);

  TImage forty;
  forty.Add(data);
  TBinarySearch s;
  s.Search(forty.memory.data(), forty.usage.data());
  ASSERT_EQ(s.GetBlockCount(), 2) << "the last 8 bytes of 40 make no block";
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 32, s.GetBlocks()));

  // Two runs apart in memory with the same bytes give one block.
  TImage twice;
  twice.Add(data.data(), 16);
  twice.Add(data.data(), 16);
  EXPECT_EQ(blockCountOf(twice), 1);

  // A gap drops the incomplete block: 10 + 16 bytes give the second run's block only.
  TImage gap;
  gap.Add(data.data(), 10);
  gap.Add(data.data() + 10, 16);
  TBinarySearch g;
  g.Search(gap.memory.data(), gap.usage.data());
  ASSERT_EQ(g.GetBlockCount(), 1);
  EXPECT_TRUE(std::equal(data.begin() + 10, data.begin() + 26, g.GetBlocks()));
}

TEST(BinarySearchBlocks, ALoneZeroBlockIsDroppedButKeptBesideAnother) {
  const TBytes zeros(16, 0);
  TImage alone;
  alone.Add(zeros);
  EXPECT_EQ(blockCountOf(alone), 0);
  TImage pair;
  pair.Add(zeros);
  pair.Add(noise(16, 3));
  EXPECT_EQ(blockCountOf(pair), 2);
}

// ---- Counting blocks in a file

TEST(BlockSet, CountsEveryBlockThatOccursAndGivesUpOnlyWhenTheBarIsOutOfReach) {
  uint32_t seed = 10;
  for (int round = 0; round < 200; ++round, ++seed) {
    // Small alphabets make heads that start several blocks and near misses.
    TBytes data = noise(200 + round * 7, seed);
    for (auto& b : data) b &= (round % 3 == 0) ? 0x03 : 0xFF;
    std::vector<TBytes> blocks;
    const TBytes other = noise(400, seed + 999);
    for (int k = 0; k < 30; ++k) {
      const TBytes& from = (k % 3 == 0) ? other : data;
      const std::size_t at = (static_cast<std::size_t>(k) * 37 + static_cast<std::size_t>(round)) % (from.size() - 16);
      TBytes block(from.begin() + static_cast<std::ptrdiff_t>(at), from.begin() + static_cast<std::ptrdiff_t>(at + 16));
      if (k % 5 == 4) block[15] ^= 1;  // same head as a block that occurs
      if (std::find(blocks.begin(), blocks.end(), block) == blocks.end()) blocks.push_back(block);
    }
    TBytes flat;
    for (const TBytes& b : blocks) flat.insert(flat.end(), b.begin(), b.end());
    int32_t expected = 0;
    for (const TBytes& b : blocks)
      if (std::search(data.begin(), data.end(), b.begin(), b.end()) != data.end()) ++expected;

    TBlockSet set;
    set.Assign(flat.data(), static_cast<int32_t>(blocks.size()));
    TBlockSet::TScratch scratch;
    ASSERT_EQ(set.Count(data.data(), data.size(), 0, scratch), expected) << "round " << round;
    for (int32_t needed = 0; needed <= static_cast<int32_t>(blocks.size()); ++needed) {
      const int32_t counted = set.Count(data.data(), data.size(), needed, scratch);
      if (expected >= needed)
        ASSERT_EQ(counted, expected) << "round " << round << " needed " << needed;
      else
        ASSERT_LT(counted, needed) << "round " << round << " needed " << needed;
    }
  }
}

TEST(BlockSet, DataShorterThanABlockHoldsNone) {
  const TBytes block = noise(16, 4);
  TBlockSet set;
  set.Assign(block.data(), 1);
  TBlockSet::TScratch scratch;
  EXPECT_EQ(set.Count(block.data(), 15, 0, scratch), 0);
  EXPECT_EQ(set.Count(block.data(), 16, 0, scratch), 1);
}

// ---- Searching an index

TEST(BinarySearch, AFileWithEveryBlockIsNamedWithOneHundredPercent) {
  std::vector<TBytes> files;
  for (uint32_t i = 0; i < 20; ++i) files.push_back(noise(600, 100 + i));
  TIndex index(files);
  TImage image;
  image.Add(blocksFrom(files[13], 10));
  for (int32_t threads : {1, 2, 4}) {
    const TOutcome outcome = search(index.indexer, image, 75, threads);
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(outcome.text, "/MUSICIANS/T/Test/F0013.sid (100%)") << threads << " threads";
    EXPECT_EQ(outcome.file, "/MUSICIANS/T/Test/F0013.sid");
  }
}

TEST(BinarySearch, ThresholdDecidesAndThePercentageIsRoundedDown) {
  std::vector<TBytes> files = {noise(900, 7), noise(900, 8)};
  TIndex index(files);
  const TBytes foreign = noise(400, 9);

  // 8 of 10 blocks: 80%.
  TImage eight;
  eight.Add(blocksFrom(files[1], 8));
  eight.Add(blocksFrom(foreign, 2));
  EXPECT_EQ(search(index.indexer, eight, 75).text, "/MUSICIANS/T/Test/F0001.sid (80%)");
  EXPECT_FALSE(search(index.indexer, eight, 81).found);

  // 2 of 3 blocks: 66%, below 75 but above 5.
  TImage twoOfThree;
  twoOfThree.Add(blocksFrom(files[0], 2));
  twoOfThree.Add(blocksFrom(foreign, 1));
  EXPECT_FALSE(search(index.indexer, twoOfThree, 75).found);
  EXPECT_EQ(search(index.indexer, twoOfThree, 66).text, "/MUSICIANS/T/Test/F0000.sid (66%)");

  // A program file's threshold: one block of twenty is enough.
  TImage one;
  one.Add(blocksFrom(files[0], 1));
  one.Add(blocksFrom(foreign, 19));
  const TOutcome outcome = search(index.indexer, one, 5);
  EXPECT_EQ(outcome.text, "/MUSICIANS/T/Test/F0000.sid (5%)");
  EXPECT_FALSE(search(index.indexer, one, 6).found);
}

TEST(BinarySearch, EqualSharesGoToTheFileIndexedFirstWhateverTheThreads) {
  // Files 3, 11 and 17 each hold the same 9 of 10 blocks; every other file 8.
  const TBytes shared = noise(160, 50);
  std::vector<TBytes> files;
  for (uint32_t i = 0; i < 24; ++i) {
    TBytes data = noise(300, 200 + i);
    const std::size_t blocks = (i == 3 || i == 11 || i == 17) ? 9 : 8;
    data.insert(data.end(), shared.begin(), shared.begin() + static_cast<std::ptrdiff_t>(16 * blocks));
    files.push_back(data);
  }
  TIndex index(files);
  TImage image;
  image.Add(shared);
  for (int32_t threads : {1, 2, 3, 8})
    for (int repeat = 0; repeat < 20; ++repeat)
      ASSERT_EQ(search(index.indexer, image, 75, threads).text, "/MUSICIANS/T/Test/F0003.sid (90%)")
          << threads << " threads";

  // Every block in two files: the first of them, however the work is shared out.
  std::vector<TBytes> full;
  for (uint32_t i = 0; i < 40; ++i) full.push_back(noise(300, 400 + i));
  full[25].insert(full[25].end(), shared.begin(), shared.end());
  full[31].insert(full[31].end(), shared.begin(), shared.end());
  TIndex fullIndex(full);
  for (int32_t threads : {1, 2, 5})
    for (int repeat = 0; repeat < 20; ++repeat)
      ASSERT_EQ(search(fullIndex.indexer, image, 75, threads).text, "/MUSICIANS/T/Test/F0025.sid (100%)");
}

TEST(BinarySearch, NothingToSearchWithOrFor) {
  TIndex index({noise(500, 1)});
  TImage empty;
  EXPECT_FALSE(search(index.indexer, empty, 5).found);

  THVSCIndexer none;
  TImage image;
  image.Add(noise(64, 2));
  EXPECT_FALSE(search(none, image, 5).found);
  TBinarySearch noIndexer;
  EXPECT_FALSE(noIndexer.Search(image.memory.data(), image.usage.data()));
  EXPECT_TRUE(noIndexer.GetResultText().empty());
}

TEST(BinarySearch, GivesThePlainWalksResult) {
  // Files share pieces of a common pool, so that many reach the threshold with
  // different shares and the bar moves.
  const TBytes pool = noise(16 * 64, 77);
  std::vector<TBytes> files;
  for (uint32_t i = 0; i < 120; ++i) {
    TBytes data = noise(100 + i % 50, 900 + i);
    for (std::size_t b = 0; b < 64; ++b)
      if ((b * 7 + i * 13) % 100 < 40 + i % 60)
        data.insert(data.end(), pool.begin() + static_cast<std::ptrdiff_t>(16 * b),
                    pool.begin() + static_cast<std::ptrdiff_t>(16 * b + 16));
    files.push_back(data);
  }
  TIndex index(files);
  for (std::size_t blocks : {1, 3, 10, 40, 64}) {
    TImage image;
    image.Add(blocksFrom(pool, blocks));
    for (int32_t threshold : {5, 50, 75, 90}) {
      TBinarySearch probe;
      probe.Search(image.memory.data(), image.usage.data());
      const TPlainWalkResult plain =
          PlainBlockWalk(index.indexer, probe.GetBlocks(), probe.GetBlockCount(), threshold);
      const std::string expected =
          plain.item < 0 ? "" : index.indexer.GetItemName(plain.item) + ".sid (" + std::to_string(plain.percentage) + "%)";
      for (int32_t threads : {1, 2, 4})
        ASSERT_EQ(search(index.indexer, image, threshold, threads).text, expected)
            << blocks << " blocks, threshold " << threshold << ", " << threads << " threads";
    }
  }
}

TEST(BinarySearch, CancelOrStopFlagEndsASearchWithWhatWasFound) {
  std::vector<TBytes> files;
  for (uint32_t i = 0; i < 50; ++i) files.push_back(noise(2000, 3000 + i));
  TIndex index(files);
  TImage image;
  image.Add(blocksFrom(files[40], 20));

  TBinarySearch s;
  s.SetIndexer(index.indexer);
  s.SetThreadCount(2);
  const std::atomic<bool> stop{true};
  s.SetStopFlag(&stop);
  EXPECT_FALSE(s.Search(image.memory.data(), image.usage.data())) << "a set stop flag ends it before the first file";
  s.SetStopFlag(nullptr);
  EXPECT_TRUE(s.Search(image.memory.data(), image.usage.data()));

  // Cancels from another thread while searches run: each one ends with the
  // right answer or with none.
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    while (!done.load()) {
      s.CancelSearch();
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 200; ++i) {
    s.SetIndexer(index.indexer);
    if (s.Search(image.memory.data(), image.usage.data())) {
      ASSERT_EQ(s.GetResultText(), "/MUSICIANS/T/Test/F0040.sid (100%)");
    }
  }
  done = true;
  canceller.join();
}

// ---- The sample collection

TEST(BinarySearchCorpus, EveryTunesOwnDataFindsItsFile) {
  REQUIRE_SHARED("corpus/C64Music");
  THVSCIndexer indexer;
  const std::atomic<bool> notInterrupted{false};
  ASSERT_TRUE(indexer.BuildIndex((sharedDir() / "corpus/C64Music").string(), notInterrupted));
  TTempDir dir;
  ASSERT_TRUE(indexer.SaveIndexTo((dir.path() / "hvscindex.dat").string(), nullptr));

  // The tune's data as a player that read all of it as data would leave it:
  // every block of the file occurs in its own reduced data, so nothing can beat 100.
#ifdef ZORVEX_SANITIZED_BUILD
  constexpr int tunes = 15;
#else
  constexpr int tunes = 60;
#endif
  int checked = 0;
  for (int item = 0; item < indexer.GetItemCount() && checked < tunes; item += 7, ++checked) {
    const std::string name = indexer.GetItemName(item);
    std::ifstream in(sharedDir() / ("corpus/C64Music" + name + ".sid"), std::ios::binary);
    const TBytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_GT(file.size(), 0x7Cu) << name;
    const std::size_t offset = static_cast<std::size_t>(file[6]) << 8 | file[7];
    const std::size_t start = offset + ((file[8] | file[9]) == 0 ? 2 : 0);
    if (start + 64 > file.size()) continue;
    TImage image;
    image.next = 0;
    const std::size_t size = std::min<std::size_t>(file.size() - start, 0x8000);
    image.Add(file.data() + start, size);
    TBinarySearch probe;
    probe.Search(image.memory.data(), image.usage.data());
    const TPlainWalkResult plain = PlainBlockWalk(indexer, probe.GetBlocks(), probe.GetBlockCount(), 75);
    const TOutcome outcome = search(indexer, image, 75, 2);
    ASSERT_EQ(outcome.text, plain.item < 0 ? "" : indexer.GetItemName(plain.item) + ".sid (" +
                                                  std::to_string(plain.percentage) + "%)")
        << name;
    if (plain.percentage == 100) {
      EXPECT_EQ(outcome.file, indexer.GetItemName(plain.item) + ".sid");
    }
  }
  EXPECT_GE(checked, tunes);
}
