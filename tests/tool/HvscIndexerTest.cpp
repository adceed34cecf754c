#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "BMSearch.h"
#include "FileIndex.h"
#include "HvscIndexer.h"
#include "NoiseBytes.h"
#include "SharedData.h"
#include "NativePath.h"
#include "TempDir.h"
#include "WMD5.h"
#include "platform/Files.h"

namespace {

using TBytes = std::vector<uint8_t>;

// A PSID version 2 header of our own: data at 0x7C, the given load address field.
TBytes psid(const TBytes& data, uint16_t loadAddress = 0x1000, uint16_t dataOffset = 0x7C) {
  TBytes file(0x7C + data.size(), 0);
  file[0] = 'P', file[1] = 'S', file[2] = 'I', file[3] = 'D';
  file[5] = 2;
  file[6] = static_cast<uint8_t>(dataOffset >> 8), file[7] = static_cast<uint8_t>(dataOffset);
  file[8] = static_cast<uint8_t>(loadAddress >> 8), file[9] = static_cast<uint8_t>(loadAddress);
  file[15] = 1, file[17] = 1;
  for (std::size_t i = 0; i < data.size(); ++i) file[0x7C + i] = data[i];
  return file;
}

TBytes runs(const TBytes& in) {
  TBytes out(in.size());
  out.resize(THVSCIndexer::ReduceRuns(in.data(), in.size(), out.data()));
  return out;
}

TBytes periods(TBytes data) {
  THVSCIndexer indexer;
  data.resize(indexer.ReducePeriods(data.data(), data.size()));
  return data;
}

TBytes concat(std::initializer_list<TBytes> parts) {
  TBytes out;
  for (const TBytes& p : parts)
    for (uint8_t b : p) out.push_back(b);
  return out;
}

TBytes repeat(const TBytes& block, int times) {
  TBytes out(block.size() * static_cast<std::size_t>(times));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = block[i % block.size()];
  return out;
}

// Consecutive values from first: no two neighbours equal.
TBytes sequence(std::size_t size, uint8_t first) {
  TBytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(first + i);
  return out;
}

TBytes readAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::filesystem::path& file, const TBytes& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string hexOf(const uint8_t* p, std::size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += digits[p[i] >> 4], s += digits[p[i] & 15];
  return s;
}

std::string md5From28(const TBytes& file) {
  TMd5Stream md5;
  md5.write(file.data() + 28, file.size() - 28);
  return md5.digest();
}

// Puts a fresh digest into a hand-altered index file, so that only the alteration can be objected to.
void redigest(TBytes& file) {
  const std::string hex = md5From28(file);
  for (std::size_t i = 0; i < 16; ++i) file[12 + i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
}

uint32_t u32At(const TBytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void putU32At(TBytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

const std::atomic<bool> notInterrupted{false};

// A collection of our own tunes: four indexable ones, a too-small one and a text file.
struct TTree {
  TTempDir dir;
  std::filesystem::path root = dir.path() / "C64Music";
  TBytes one = noise(700, 1), two = noise(300, 2), game = noise(1200, 3), demo = noise(35, 4);

  explicit TTree(const std::string& update = "Update300.hvs") {
    dir.write("C64Music/DOCUMENTS/" + update, {'x'});
    dir.write("C64Music/MUSICIANS/A/Composer/One.sid", psid(one));
    dir.write("C64Music/MUSICIANS/A/Composer/Two.sid", psid(two));
    dir.write("C64Music/MUSICIANS/A/Composer/Notes.txt", psid(two));
    dir.write("C64Music/MUSICIANS/A/Composer/Small.sid", TBytes(118, 1));
    dir.write("C64Music/GAMES/G/Game.sid", psid(game));
    dir.write("C64Music/DEMOS/Demo.sid", psid(demo, 0));
  }
  std::string path() const { return root.string(); }
};

void expectSameIndex(THVSCIndexer& a, THVSCIndexer& b) {
  ASSERT_EQ(a.GetItemCount(), b.GetItemCount());
  EXPECT_EQ(a.GetRoot(), b.GetRoot());
  for (int i = 0; i < a.GetItemCount(); ++i) {
    EXPECT_EQ(a.GetItemName(i), b.GetItemName(i));
    ASSERT_EQ(a.GetItemSize(i), b.GetItemSize(i));
    EXPECT_EQ(TBytes(a.GetItemData(i), a.GetItemData(i) + a.GetItemSize(i)),
              TBytes(b.GetItemData(i), b.GetItemData(i) + b.GetItemSize(i)))
        << a.GetItemName(i);
  }
}

}  // namespace

// ---- TFileIndex

TEST(FileIndex, HandsOutEveryIndexOnceThenMinusOneUntilReset) {
  TFileIndex index(3);
  EXPECT_EQ(index.GetNextIndex(), 0);
  EXPECT_EQ(index.GetNextIndex(), 1);
  EXPECT_EQ(index.GetNextIndex(), 2);
  EXPECT_EQ(index.GetNextIndex(), -1);
  EXPECT_EQ(index.GetNextIndex(), -1);
  index.Reset();
  EXPECT_EQ(index.GetNextIndex(), 0);
}

TEST(FileIndex, NoItemsGivesMinusOneAtOnce) {
  TFileIndex index(0);
  EXPECT_EQ(index.GetNextIndex(), -1);
  EXPECT_EQ(index.GetNextIndex(), -1);
}

TEST(FileIndex, ThreadsShareOutEachIndexExactlyOnce) {
  constexpr int count = 20000;
  TFileIndex index(count);
  std::vector<std::vector<int32_t>> taken(4);
  std::vector<std::thread> threads;
  for (auto& mine : taken)
    threads.emplace_back([&index, &mine] {
      for (int32_t i = index.GetNextIndex(); i >= 0; i = index.GetNextIndex()) mine.push_back(i);
    });
  for (auto& t : threads) t.join();
  std::vector<int> seen(count, 0);
  std::size_t total = 0;
  for (const auto& mine : taken) {
    total += mine.size();
    for (int32_t i : mine) ++seen[static_cast<std::size_t>(i)];
  }
  EXPECT_EQ(total, static_cast<std::size_t>(count));
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), count);
}

// ---- Pass 1: runs and repeated 16-byte blocks

TEST(ReduceRuns, FortyEqualBytesBecomeSixteen) {
  EXPECT_EQ(runs(TBytes(40, 7)), TBytes(16, 7));
  EXPECT_EQ(runs(concat({{1}, TBytes(40, 7), {2}})), concat({{1}, TBytes(16, 7), {2}}));
  EXPECT_EQ(runs(TBytes(16, 9)), TBytes(16, 9)) << "sixteen equal bytes all survive";
  // A run broken by another byte starts afresh.
  EXPECT_EQ(runs(concat({TBytes(20, 5), {6}, TBytes(20, 5)})), concat({TBytes(16, 5), {6}, TBytes(16, 5)}));
}

TEST(ReduceRuns, SixCopiesOfABlockBecomeTwoWhereverTheyBegin) {
  const TBytes block = sequence(16, 0x01);  // no two equal neighbours
  const TBytes tail = sequence(21, 0x40);
  for (std::size_t start = 0; start < 40; ++start) {
    const TBytes prefix = sequence(start, 0x80);
    EXPECT_EQ(runs(concat({prefix, repeat(block, 6), tail})), concat({prefix, repeat(block, 2), tail}))
        << "blocks from byte " << start;
  }
}

TEST(ReduceRuns, AfterARemovalTheTestWaitsSixteenBytes) {
  // Period 8: three equal 16-byte blocks end at every byte from the 48th on.
  // After each removal only 32 bytes are left; testing again before 16 more
  // have come would compare bytes in front of the output (the sanitizer build
  // reports that), so the output ends with 32 + 8 bytes.
  const TBytes input = repeat(sequence(8, 0x10), 13);  // 104 bytes = 48 + 3 x 16 + 8
  const TBytes expected(input.begin(), input.begin() + 32 + 8);
  EXPECT_EQ(runs(input), expected);
}

TEST(ReduceRuns, DroppedRunBytesDoNotCountAsBlockBytes) {
  // 16 equal bytes survive out of 60; the rest of the input has no repeated blocks.
  const TBytes input = concat({TBytes(60, 0xAA), sequence(40, 0)});
  EXPECT_EQ(runs(input), concat({TBytes(16, 0xAA), sequence(40, 0)}));
}

// ---- Pass 2: periods

TEST(ReducePeriods, TenCopiesOfTwentyBytesBecomeTwo) {
  const TBytes pattern = sequence(20, 0x01);
  const TBytes prefix = sequence(7, 0x80);
  const TBytes tail = sequence(25, 0x40);
  const TBytes input = concat({prefix, repeat(pattern, 10), tail});
  ASSERT_EQ(runs(input), input) << "pass 1 leaves a 20-byte period alone";
  EXPECT_EQ(periods(input), concat({prefix, repeat(pattern, 2), tail}));
  EXPECT_EQ(periods(concat({repeat(pattern, 10), tail})), concat({repeat(pattern, 2), tail}));
}

TEST(ReducePeriods, ShortDataIsLeftAlone) {
  const TBytes period15 = repeat(sequence(15, 0x20), 4);  // 60 bytes
  const TBytes short44(period15.begin(), period15.begin() + 44);
  EXPECT_EQ(periods(short44), short44);
  const TBytes exactly45(period15.begin(), period15.begin() + 45);
  EXPECT_EQ(periods(exactly45), exactly45) << "the loop needs i < length - 45";
  // The same period in 60 bytes: two of four copies go.
  EXPECT_EQ(periods(period15), TBytes(period15.begin(), period15.begin() + 30));
}

TEST(ReducePeriods, ASecondBlockDifferingAfterItsFirstThirtyBytesIsKept) {
  // Period 40 where the second copy differs at byte 35: at i = 0 B2 equals B0
  // but B1's tail does not, so nothing goes there. Following the rules by hand:
  // i = 1..5 fail on B1's tail, i = 6..35 find no occurrence, i = 36..75 see
  // the altered byte in B0 against B2, and i = 76 removes one period (bytes
  // 156..195), leaving bytes 0..155 and 196..199.
  const TBytes block = sequence(40, 0x01);
  TBytes altered = block;
  altered[35] = 0xEE;
  const TBytes input = concat({block, altered, block, block, block});
  TBytes expected(input.begin(), input.begin() + 156);
  expected.insert(expected.end(), input.begin() + 196, input.end());
  EXPECT_EQ(periods(input), expected);
}

// The period pass as a plain walk: a skip table and a Boyer-Moore-Horspool
// search for every position. The indexer must remove exactly what this removes.
TBytes plainPeriods(TBytes data) {
  std::size_t length = data.size();
  if (length < 45) return data;
  TBMSearch::TTable table;
  for (std::size_t i = 0; i + 45 < length; ++i) {
    const std::size_t window = std::min<std::size_t>((length - i) / 3 + 15, 512);
    if (window < 30) continue;
    TBMSearch::PrepareTable(&data[i], 30, table);
    const int64_t at = TBMSearch::FindPattern(&data[i + 15], window, table, 30, &data[i]);
    if (at < 0) continue;
    const std::size_t p = 15 + static_cast<std::size_t>(at);
    if (!std::equal(&data[i], &data[i] + p, &data[i + 2 * p])) continue;
    if (p > 30 && !std::equal(&data[i + 30], &data[i] + p, &data[i + p + 30])) continue;
    std::size_t c = 1;
    while (i + (c + 3) * p <= length && std::equal(&data[i], &data[i] + p, &data[i + (c + 2) * p])) ++c;
    data.erase(data.begin() + static_cast<std::ptrdiff_t>(i + 2 * p),
               data.begin() + static_cast<std::ptrdiff_t>(i + (c + 2) * p));
    length = data.size();
  }
  return data;
}

// Music-like data: stretches of noise and of repeated blocks of many lengths,
// some repeats broken by a changed byte, so that removals reshape what follows.
TBytes patchwork(uint32_t seed, std::size_t size) {
  uint32_t x = seed * 747796405u + 2891336453u;
  auto next = [&x](uint32_t n) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    return x % n;
  };
  TBytes out;
  while (out.size() < size) {
    const TBytes block = noise(1 + next(80), x);
    TBytes piece = repeat(block, 1 + static_cast<int>(next(9)));
    if (next(3) == 0) piece[next(static_cast<uint32_t>(piece.size()))] ^= 0x5A;
    if (next(4) == 0) piece.insert(piece.end(), 20 + next(60), static_cast<uint8_t>(next(4)));
    out.insert(out.end(), piece.begin(), piece.end());
  }
  out.resize(size);
  return out;
}

TEST(ReducePeriods, RemovesExactlyWhatThePlainWalkRemoves) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    const TBytes input = patchwork(seed, 100 + seed * 37 % 4000);
    ASSERT_EQ(periods(input), plainPeriods(input)) << "seed " << seed;
  }
  // One indexer over many inputs: nothing of one file's chains leaks into the next.
  THVSCIndexer indexer;
  for (uint32_t seed = 1; seed <= 50; ++seed) {
    TBytes data = patchwork(seed * 7, 3000);
    const TBytes expected = plainPeriods(data);
    data.resize(indexer.ReducePeriods(data.data(), data.size()));
    ASSERT_EQ(data, expected) << "seed " << seed;
  }
}

TEST(ReducePeriods, CorpusTunesReduceAsThePlainWalkReduces) {
  REQUIRE_SHARED("corpus/C64Music");
  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(sharedDir() / "corpus/C64Music")) {
    if (entry.path().extension() != ".sid" || checked >= 150) continue;
    const TBytes file = readAll(entry.path());
    if (file.size() <= 0x7C) continue;
    const TBytes reduced = runs(TBytes(file.begin() + 0x7C, file.end()));
    ASSERT_EQ(periods(reduced), plainPeriods(reduced)) << entry.path();
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

TEST(ReducePeriods, NoiseIsLeftAlone) {
  const TBytes data = noise(5000, 9);
  EXPECT_EQ(periods(data), data);
}

// ---- Adding files

TEST(AddFile, SizeLimitAndOffsetFields) {
  TTempDir dir;
  THVSCIndexer indexer;
  EXPECT_FALSE(indexer.AddFile((dir.path() / "missing.sid").string()));
  // A version 1 header is 118 bytes long: alone it is not indexed, with one data byte it is.
  TBytes v1(0x76, 0);
  v1[0] = 'P', v1[1] = 'S', v1[2] = 'I', v1[3] = 'D', v1[5] = 1, v1[7] = 0x76, v1[8] = 0x10;
  EXPECT_FALSE(indexer.AddFile(dir.write("a118.sid", v1).string()));
  EXPECT_EQ(indexer.GetItemCount(), 0);
  v1.push_back(0x5A);
  ASSERT_TRUE(indexer.AddFile(dir.write("a119.sid", v1).string()));
  ASSERT_EQ(indexer.GetItemCount(), 1);
  EXPECT_EQ(indexer.GetItemName(0), (dir.path() / "a119").string());
  EXPECT_EQ(TBytes(indexer.GetItemData(0), indexer.GetItemData(0) + indexer.GetItemSize(0)), TBytes{0x5A});

  // The offset field below 12 or past the file: not indexed.
  const TBytes data = noise(200, 2);
  EXPECT_FALSE(indexer.AddFile(dir.write("low.sid", psid(data, 0x1000, 11)).string()));
  EXPECT_FALSE(indexer.AddFile(dir.write("past.sid", psid(data, 0x1000, 0x7C + 201)).string()));
  EXPECT_EQ(indexer.GetItemCount(), 1);
  // At 12 and at the very end: indexed, the latter with no data.
  ASSERT_TRUE(indexer.AddFile(dir.write("twelve.sid", psid(data, 0x1000, 12)).string()));
  const TBytes fromTwelve = psid(data, 0x1000, 12);
  // From byte 12 the header's zero fields come first, so both passes apply.
  const TBytes expected = periods(runs(TBytes(fromTwelve.begin() + 12, fromTwelve.end())));
  EXPECT_EQ(TBytes(indexer.GetItemData(1), indexer.GetItemData(1) + indexer.GetItemSize(1)), expected);
  EXPECT_EQ(indexer.GetItemData(1)[0], fromTwelve[12]);
  ASSERT_TRUE(indexer.AddFile(dir.write("end.sid", psid(data, 0x1000, 0x7C + 200)).string()));
  EXPECT_EQ(indexer.GetItemSize(2), 0);
}

TEST(AddFile, LoadAddressZeroSkipsTwoMoreBytes) {
  TTempDir dir;
  THVSCIndexer indexer;
  const TBytes data = noise(500, 3);
  ASSERT_TRUE(indexer.AddFile(dir.write("set.sid", psid(data, 0x1000)).string()));
  ASSERT_TRUE(indexer.AddFile(dir.write("zero.sid", psid(data, 0)).string()));
  EXPECT_EQ(TBytes(indexer.GetItemData(0), indexer.GetItemData(0) + indexer.GetItemSize(0)), data);
  EXPECT_EQ(TBytes(indexer.GetItemData(1), indexer.GetItemData(1) + indexer.GetItemSize(1)),
            TBytes(data.begin() + 2, data.end()));
  EXPECT_EQ(indexer.GetItemData(1), indexer.GetItemData(0) + 500) << "data concatenated in item order";
}

TEST(AddFile, ReducedLengthOf65536IsNotIndexed) {
  TTempDir dir;
  THVSCIndexer indexer;
  const TBytes full = noise(65536, 5);
  ASSERT_EQ(runs(full).size(), full.size());
  EXPECT_FALSE(indexer.AddFile(dir.write("full.sid", psid(full)).string()));
  EXPECT_EQ(indexer.GetItemCount(), 0);
  // With more bytes behind it, only 65,536 bytes of data are taken: still too long.
  EXPECT_FALSE(indexer.AddFile(dir.write("more.sid", psid(concat({full, noise(3000, 6)}))).string()));
  const TBytes fits(full.begin(), full.end() - 1);
  ASSERT_TRUE(indexer.AddFile(dir.write("fits.sid", psid(fits)).string()));
  EXPECT_EQ(indexer.GetItemSize(0), 65535);
}

TEST(AddFile, DataIsReducedByBothPasses) {
  TTempDir dir;
  THVSCIndexer indexer;
  const TBytes input = concat({TBytes(40, 0), repeat(sequence(20, 0x01), 10), sequence(25, 0x40)});
  ASSERT_TRUE(indexer.AddFile(dir.write("r.sid", psid(input)).string()));
  const TBytes expected = concat({TBytes(16, 0), repeat(sequence(20, 0x01), 2), sequence(25, 0x40)});
  EXPECT_EQ(TBytes(indexer.GetItemData(0), indexer.GetItemData(0) + indexer.GetItemSize(0)), expected);
}

// ---- Building, saving, loading

TEST(BuildIndex, IndexesTheTreeInSearchOrder) {
  TTree tree;
  THVSCIndexer indexer;
  ASSERT_TRUE(indexer.BuildIndex(tree.path(), notInterrupted));
  EXPECT_EQ(indexer.GetRoot(), tree.path());
  EXPECT_EQ(indexer.GetVersion(), 300);
  ASSERT_EQ(indexer.GetItemCount(), 4);
  // Breadth first, sorted: DEMOS' file, then GAMES/G, then MUSICIANS/A/Composer.
  const std::string r = tree.path();
  EXPECT_EQ(indexer.GetItemName(0), native(r + "/DEMOS/Demo"));
  EXPECT_EQ(indexer.GetItemName(1), native(r + "/GAMES/G/Game"));
  EXPECT_EQ(indexer.GetItemName(2), native(r + "/MUSICIANS/A/Composer/One"));
  EXPECT_EQ(indexer.GetItemName(3), native(r + "/MUSICIANS/A/Composer/Two"));
  EXPECT_EQ(TBytes(indexer.GetItemData(0), indexer.GetItemData(0) + indexer.GetItemSize(0)),
            TBytes(tree.demo.begin() + 2, tree.demo.end()));
  EXPECT_EQ(TBytes(indexer.GetItemData(3), indexer.GetItemData(3) + indexer.GetItemSize(3)), tree.two);

  // A path inside the tree finds the same root, and a trailing separator changes nothing.
  THVSCIndexer games;
  ASSERT_TRUE(games.BuildIndex(native(r + "/GAMES/"), notInterrupted));
  EXPECT_EQ(games.GetRoot(), r);
  ASSERT_EQ(games.GetItemCount(), 1);
  EXPECT_EQ(games.GetItemName(0), native(r + "/GAMES/G/Game"));
}

TEST(BuildIndex, InterruptedBuildReturnsFalse) {
  TTree tree;
  THVSCIndexer indexer;
  const std::atomic<bool> interrupted{true};
  EXPECT_FALSE(indexer.BuildIndex(tree.path(), interrupted));
  EXPECT_EQ(indexer.GetItemCount(), 1) << "the flag is looked at after each file";
}

TEST(SaveIndex, FileLayoutAndDigest) {
  TTree tree;
  THVSCIndexer indexer;
  ASSERT_TRUE(indexer.BuildIndex(tree.path(), notInterrupted));
  const auto file = tree.dir.path() / "hvscindex.dat";
  ASSERT_TRUE(indexer.SaveIndexTo(file.string(), nullptr));
  // Names in memory are now collection-relative.
  EXPECT_EQ(indexer.GetItemName(0), "/DEMOS/Demo");
  EXPECT_EQ(indexer.GetItemName(2), "/MUSICIANS/A/Composer/One");

  const TBytes bytes = readAll(file);
  ASSERT_GT(bytes.size(), 40u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), "HVSCIDX");
  EXPECT_EQ(bytes[7], 1);
  EXPECT_EQ(hexOf(bytes.data() + 12, 16), md5From28(bytes));
  EXPECT_EQ(u32At(bytes, 28), 4u);

  // Walk the header the way the layout lays it out.
  std::size_t pos = 32;
  const std::string root = tree.path();
  EXPECT_EQ(std::string(bytes.begin() + 32, bytes.begin() + 32 + static_cast<long>(root.size())), root);
  pos += root.size();
  EXPECT_EQ(bytes[pos++], 0);
  EXPECT_EQ(bytes[pos++], 300 & 0xFF);
  const std::vector<std::string> names = {"/DEMOS/Demo", "/GAMES/G/Game", "/MUSICIANS/A/Composer/One",
                                          "/MUSICIANS/A/Composer/Two"};
  for (const std::string& name : names) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + pos)), name);
    pos += name.size() + 1;
  }
  const std::vector<TBytes> data = {TBytes(tree.demo.begin() + 2, tree.demo.end()), tree.game, tree.one, tree.two};
  uint32_t expectedOffset = 0;
  for (const TBytes& d : data) {
    EXPECT_EQ(u32At(bytes, pos), expectedOffset);
    EXPECT_EQ(bytes[pos + 4] | bytes[pos + 5] << 8, static_cast<int>(d.size()));
    pos += 6;
    expectedOffset += static_cast<uint32_t>(d.size());
  }
  EXPECT_EQ(u32At(bytes, 8), pos);
  EXPECT_EQ(bytes.size(), pos + expectedOffset);
  EXPECT_EQ(TBytes(bytes.begin() + static_cast<long>(pos), bytes.end()), concat({data[0], data[1], data[2], data[3]}));
}

TEST(SaveIndex, RoundTripGivesTheSameIndex) {
  TTree tree;
  THVSCIndexer built;
  ASSERT_TRUE(built.BuildIndex(tree.path(), notInterrupted));
  const auto file = (tree.dir.path() / "hvscindex.dat").string();
  ASSERT_TRUE(built.SaveIndexTo(file, nullptr));
  THVSCIndexer loaded;
  std::string reason = "unchanged";
  ASSERT_TRUE(loaded.LoadIndexFrom(file, reason)) << reason;
  EXPECT_EQ(reason, "");
  expectSameIndex(built, loaded);
  EXPECT_EQ(built.GetVersion(), 300);
  EXPECT_EQ(loaded.GetVersion(), 44) << "the low 8 bits of 300";

  // Saving the loaded index again gives the same file.
  const auto again = (tree.dir.path() / "again.dat").string();
  ASSERT_TRUE(loaded.SaveIndexTo(again, nullptr));
  EXPECT_EQ(readAll(again), readAll(file));
}

TEST(SaveIndex, EmptyTreeWritesNothingAndKeepsTheOldFile) {
  TTempDir dir;
  dir.write("C64Music/DOCUMENTS/Update069.hvs", {'x'});
  dir.write("C64Music/MUSICIANS/readme.txt", {'x'});
  dir.write("C64Music/DEMOS/x.txt", {'x'});
  dir.write("C64Music/GAMES/x.txt", {'x'});
  const auto file = dir.write("hvscindex.dat", {'o', 'l', 'd'});
  THVSCIndexer indexer;
  EXPECT_TRUE(indexer.BuildIndex((dir.path() / "C64Music").string(), notInterrupted));
  EXPECT_EQ(indexer.GetItemCount(), 0);
  std::vector<std::string> lines;
  EXPECT_FALSE(indexer.SaveIndexTo(file.string(), [&lines](const std::string& l) { lines.push_back(l); }));
  EXPECT_EQ(lines, std::vector<std::string>{"No SID file(s) found to index."});
  EXPECT_EQ(readAll(file), (TBytes{'o', 'l', 'd'}));
}

TEST(SaveIndex, UnwritableFileThrows) {
  TTree tree;
  THVSCIndexer indexer;
  ASSERT_TRUE(indexer.BuildIndex(tree.path(), notInterrupted));
  EXPECT_THROW(indexer.SaveIndexTo((tree.dir.path() / "no" / "such" / "dir" / "hvscindex.dat").string(), nullptr),
               std::runtime_error);
}

TEST(SaveIndex, DefaultFileLiesBesideTheProgram) {
  EXPECT_EQ(THVSCIndexer::DefaultIndexFile(), Platform::programDirectory() + "hvscindex.dat");
  EXPECT_FALSE(Platform::programDirectory().empty());
}

// ---- Refused files

class LoadIndexRefuses : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(built_.BuildIndex(tree_.path(), notInterrupted));
    ASSERT_TRUE(built_.SaveIndexTo(file().string(), nullptr));
    good_ = readAll(file());
  }
  std::filesystem::path file() const { return tree_.dir.path() / "hvscindex.dat"; }

  // Loads bytes into an indexer that already holds the good index: a refused
  // load must say why in one line and leave that index as it was.
  void expectRefused(const TBytes& bytes, const std::string& what) {
    writeAll(file(), bytes);
    THVSCIndexer indexer;
    std::string reason;
    writeAll(tree_.dir.path() / "good.dat", good_);
    ASSERT_TRUE(indexer.LoadIndexFrom((tree_.dir.path() / "good.dat").string(), reason)) << reason;
    EXPECT_FALSE(indexer.LoadIndexFrom(file().string(), reason)) << what;
    EXPECT_FALSE(reason.empty()) << what;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << what;
    expectSameIndex(indexer, built_);
    // From a buffer of exactly the file's size, where a read past its end is caught under ASan.
    reason.clear();
    EXPECT_FALSE(indexer.LoadIndexFromBytes(bytes, "bytes", reason)) << what;
    EXPECT_EQ(reason.rfind("bytes: ", 0), 0u) << what;
    expectSameIndex(indexer, built_);
  }

  TTree tree_;
  THVSCIndexer built_;
  TBytes good_;
};

TEST_F(LoadIndexRefuses, MissingFile) {
  THVSCIndexer indexer;
  std::string reason;
  EXPECT_FALSE(indexer.LoadIndexFrom((tree_.dir.path() / "absent.dat").string(), reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(indexer.GetItemCount(), 0);
}

TEST_F(LoadIndexRefuses, TruncatedFiles) {
  for (std::size_t keep : {std::size_t{0}, std::size_t{7}, std::size_t{12}, std::size_t{33}, good_.size() / 2,
                           good_.size() - 1})
    expectRefused(TBytes(good_.begin(), good_.begin() + static_cast<long>(keep)), "cut to " + std::to_string(keep));
}

TEST_F(LoadIndexRefuses, ForeignFiles) {
  TBytes foreign = good_;
  foreign[0] = 'X';
  expectRefused(foreign, "magic");
  expectRefused(psid(noise(4000, 8)), "a tune file");
  TBytes version2 = good_;
  version2[7] = 2;
  expectRefused(version2, "format version");
}

TEST_F(LoadIndexRefuses, CorruptedBytes) {
  for (std::size_t at : {std::size_t{12}, std::size_t{28}, std::size_t{40}, good_.size() - 1}) {
    TBytes bad = good_;
    bad[at] ^= 0x01;
    expectRefused(bad, "byte " + std::to_string(at) + " flipped");
  }
  TBytes longer = good_;
  longer.push_back(0);
  expectRefused(longer, "a byte appended");
}

TEST_F(LoadIndexRefuses, StructuralFaultsBehindAValidDigest) {
  const uint32_t dataOffset = u32At(good_, 8);
  const std::size_t entries = dataOffset - 6 * 4;
  {
    TBytes bad = good_;
    putU32At(bad, 28, 0);
    redigest(bad);
    expectRefused(bad, "no items");
  }
  {
    TBytes bad = good_;
    putU32At(bad, 28, 5);
    redigest(bad);
    expectRefused(bad, "one item more than entries");
  }
  {
    TBytes bad = good_;
    putU32At(bad, 28, 0xFFFFFFFF);
    redigest(bad);
    expectRefused(bad, "huge count");
  }
  {
    TBytes bad = good_;
    putU32At(bad, 8, dataOffset + 1);
    redigest(bad);
    expectRefused(bad, "data offset moved");
  }
  {
    TBytes bad = good_;
    putU32At(bad, 8, static_cast<uint32_t>(bad.size() + 1));
    redigest(bad);
    expectRefused(bad, "data offset past the end");
  }
  {
    TBytes bad = good_;
    putU32At(bad, 8, 20);
    redigest(bad);
    expectRefused(bad, "data offset inside the fixed fields");
  }
  {
    // Every 0 byte between the root and the entries gone: no name ends.
    TBytes bad = good_;
    for (std::size_t i = 32; i < entries; ++i)
      if (bad[i] == 0) bad[i] = 'x';
    redigest(bad);
    expectRefused(bad, "unterminated names");
  }
  {
    TBytes bad = good_;
    const std::size_t last = entries + 6 * 3;
    putU32At(bad, last, u32At(bad, last) + 1);
    redigest(bad);
    expectRefused(bad, "last item's data one byte past the area");
  }
  {
    TBytes bad = good_;
    bad[entries + 4] = 0xFF, bad[entries + 5] = 0xFF;
    redigest(bad);
    expectRefused(bad, "first item's size past the area");
  }
  {
    TBytes bad = good_;
    putU32At(bad, entries, 0xFFFFFFF0);
    redigest(bad);
    expectRefused(bad, "offset near 4 GB");
  }
}

// ---- The sample collection

TEST(HvscIndexCorpus, SampleTreeBuildsSavesAndLoads) {
  REQUIRE_SHARED("corpus/C64Music");
  const std::string root = (sharedDir() / "corpus/C64Music").string();
  THVSCIndexer built;
  ASSERT_TRUE(built.BuildIndex(root, notInterrupted));
  ASSERT_GT(built.GetItemCount(), 0);
  EXPECT_EQ(built.GetVersion(), 69) << "DOCUMENTS holds Update69.hvs as its newest marker";
  TTempDir dir;
  const auto file = (dir.path() / "hvscindex.dat").string();
  ASSERT_TRUE(built.SaveIndexTo(file, nullptr));
  for (int i = 0; i < built.GetItemCount(); ++i) {
    ASSERT_EQ(built.GetItemName(i).front(), '/') << built.GetItemName(i);
    ASSERT_EQ(built.GetItemName(i).find(root), std::string::npos) << built.GetItemName(i);
  }
  THVSCIndexer loaded;
  std::string reason;
  ASSERT_TRUE(loaded.LoadIndexFrom(file, reason)) << reason;
  EXPECT_EQ(loaded.GetVersion(), 69);
  expectSameIndex(built, loaded);
  THVSCIndexer fromBytes;
  ASSERT_TRUE(fromBytes.LoadIndexFromBytes(readAll(file), "bytes", reason)) << reason;
  expectSameIndex(built, fromBytes);
}
