// The machine's output, kept: the data hash lines kelvary -g -t1 gives for about a
// thousand corpus tunes of every kind, and for a few hundred of them the whole
// access stream of the first 30 seconds (as a caller of the exports sees it)
// with the memory and usage maps at its end. The files under tests/golden were
// recorded from this code and must come out again bit for bit: a hash is a data
// format, and the machine's behaviour feeds it.
//
// To record them anew (only in a commit that says which changed and why the old
// output was wrong):
//   ZORVEX_GOLDEN_RECORD=1 ./build/tests/golden_tests
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "RunProcess.h"
#include "SharedData.h"
#include "TempDir.h"
#include "TreeHashLines.h"
#include "WMD5.h"
#include "zorvex.h"

namespace fs = std::filesystem;

namespace {

const fs::path goldenDir = fs::path(ZORVEX_SOURCE_DIR) / "tests/golden";
const fs::path hashFile = goldenDir / "hash-lines.txt";
const fs::path streamFile = goldenDir / "streams.txt";

bool recording() { return std::getenv("ZORVEX_GOLDEN_RECORD") != nullptr; }

#ifdef GOLDEN_SMALL_PICK
// Instrumented builds play ten to twenty times slower: every fortieth tune.
constexpr std::size_t pickEvery = 40;
#else
constexpr std::size_t pickEvery = 1;
#endif

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::vector<uint8_t> head(const fs::path& file, std::size_t n) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes(n);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

// The kind a corpus file stands for, from its name and header.
std::string kindOf(const fs::path& file) {
  const std::string ext = lower(file.extension().string());
  if (ext == ".prg") return "prg";
  if (ext == ".p00") return "p00";
  if (ext == ".mus") return "mus";
  if (ext != ".sid") return "";
  const std::vector<uint8_t> h = head(file, 0x7C);
  if (h.size() < 0x76) return "";
  if (h[0] == 'R') return (h.size() >= 0x78 && (h[0x77] & 0x02)) ? "rsid-basic" : "rsid";
  const uint32_t speed = static_cast<uint32_t>(h[0x12] << 24 | h[0x13] << 16 | h[0x14] << 8 | h[0x15]);
  return speed ? "psid-cia" : "psid-vblank";
}

// About a thousand tunes, every kind, chosen by a fixed rule from the sorted corpus.
std::vector<std::string> chooseTunes(const fs::path& corpus) {
  const std::map<std::string, std::size_t> quota = {{"prg", 1000},   {"p00", 1000},       {"mus", 1000},
                                                     {"rsid", 250},   {"rsid-basic", 1000}, {"psid-cia", 250},
                                                     {"psid-vblank", 330}};
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(corpus))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::map<std::string, std::vector<std::string>> byKind;
  for (const fs::path& f : files) {
    const std::string kind = kindOf(f);
    if (!kind.empty()) byKind[kind].push_back(fs::relative(f, corpus).generic_string());
  }
  std::vector<std::string> chosen;
  for (const auto& [kind, names] : byKind) {
    const std::size_t want = std::min(quota.at(kind), names.size());
    // Spread over the whole sorted list, not its first folders.
    for (std::size_t i = 0; i < want; ++i) chosen.push_back(names[i * names.size() / want]);
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

std::vector<std::string> readLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

void writeLines(const fs::path& file, const std::string& comment, const std::vector<std::string>& lines) {
  std::ofstream out(file);
  out << comment;
  for (const std::string& line : lines) out << line << '\n';
}

// The relative path a hash or stream line is about.
std::string pathOf(const std::string& line, char after) {
  const std::size_t start = after == '=' ? line.find('=') + 1 : 0;
  return line.substr(start, line.rfind(" #") - start);
}


// The default sub-tune's first 30 seconds through the exports, as the tool
// drives them: every run() answer with the command and the values it makes
// readable, a digest per 5 seconds and one of the whole, then digests of the
// memory and of both usage maps at the end.
std::string streamLine(int32_t handle, const fs::path& corpus, const std::string& tune) {
  if (!loadFile(handle, (corpus / tune).c_str())) return tune + " #0 not-loaded";
  const int32_t song = std::max(getDefaultSong(handle), 0);
  setSongToPlay(handle, song);
  TMd5Stream whole, part;
  std::string parts;
  uint64_t entries = 0;
  int32_t nextMark = 5000;
  for (uint64_t calls = 0; calls < 50'000'000; ++calls) {
    const int32_t answer = run(handle);
    const int32_t command = getCommand(handle);
    const int32_t values[] = {answer, command, getRegister(handle), getData(handle), getCycles(handle)};
    whole.write(values, sizeof values);
    part.write(values, sizeof values);
    ++entries;
    const int32_t time = getTime(handle);
    if (time >= nextMark) {
      parts += ' ' + part.digest().substr(0, 8);
      nextMark += 5000;
      if (time >= 30000) break;
    }
  }
  std::vector<uint8_t> map(65536);
  auto digestOf = [&map] {
    TMd5Stream md5;
    md5.write(map.data(), map.size());
    return md5.digest();
  };
  getMemory(handle, map.data(), static_cast<int32_t>(map.size()));
  const std::string memory = digestOf();
  getMemoryUsageRam(handle, map.data(), static_cast<int32_t>(map.size()));
  const std::string ram = digestOf();
  getMemoryUsageRom(handle, map.data(), static_cast<int32_t>(map.size()));
  const std::string rom = digestOf();
  return tune + " #" + std::to_string(song + 1) + ' ' + std::to_string(entries) + ' ' + whole.digest() + parts +
         " mem " + memory + " ram " + ram + " rom " + rom;
}

class GoldenOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(sharedDir() / "corpus/C64Music")) GTEST_SKIP() << "shared test data not found: " << corpus;
    if (!recording() && (!fs::exists(hashFile) || !fs::exists(streamFile)))
      FAIL() << "golden files missing under " << goldenDir;
  }
  const fs::path corpus = sharedDir() / "corpus";
};

TEST_F(GoldenOutputs, HashLinesAreUnchanged) {
  if (recording()) {
    const std::vector<std::string> tunes = chooseTunes(corpus);
    // One minute of each sub-tune: the same machine as three, at a third of CI's time.
    const std::vector<std::string> lines = TreeHashLines(KELVARY_FILE, corpus, tunes, {"-t1"});
    writeLines(hashFile,
               "# kelvary -g -t1 (1 minute, built-in ROMs) of " + std::to_string(tunes.size()) +
                   " tunes of ../shared/corpus; see tests/tool/GoldenOutputTest.cpp\n",
               lines);
    GTEST_SKIP() << "recorded " << lines.size() << " hash lines of " << tunes.size() << " tunes";
  }
  const std::vector<std::string> golden = readLines(hashFile);
  ASSERT_GT(golden.size(), 1000u);
  // The tunes named by the golden lines, a tenth of them in instrumented builds.
  std::set<std::string> named;
  for (const std::string& line : golden) named.insert(pathOf(line, '='));
  const std::vector<std::string> tunes(named.begin(), named.end());
  std::vector<std::string> picked, expected;
  for (std::size_t i = 0; i < tunes.size(); i += pickEvery) picked.push_back(tunes[i]);
  for (const std::string& line : golden)
    if (std::binary_search(picked.begin(), picked.end(), pathOf(line, '='))) expected.push_back(line);
  const std::vector<std::string> actual = TreeHashLines(KELVARY_FILE, corpus, picked, {"-t1"});
  std::vector<std::string> missing, extra;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(), std::back_inserter(missing));
  std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(), std::back_inserter(extra));
  EXPECT_TRUE(missing.empty() && extra.empty()) << missing.size() << " golden lines not produced (first: "
                                                << (missing.empty() ? "" : missing[0]) << "), " << extra.size()
                                                << " new (first: " << (extra.empty() ? "" : extra[0]) << ")";
}

TEST_F(GoldenOutputs, StreamsOfTheFirstThirtySecondsAreUnchanged) {
  const int32_t handle = createC64();
  ASSERT_NE(handle, 0);
  enableFixedStartup(handle);
  clearMemUsageOnFirstSIDAccess(handle, 1);
  if (recording()) {
    std::vector<std::string> lines;
    // Every third of the chosen tunes.
    const std::vector<std::string> tunes = chooseTunes(corpus);
    for (std::size_t i = 0; i < tunes.size(); i += 3) lines.push_back(streamLine(handle, corpus, tunes[i]));
    writeLines(streamFile,
               "# path #song entries md5-of-30s md5-per-5s... mem/ram/rom map digests; "
               "see tests/tool/GoldenOutputTest.cpp\n",
               lines);
    closeC64(handle);
    GTEST_SKIP() << "recorded " << lines.size() << " streams";
  }
  const std::vector<std::string> golden = readLines(streamFile);
  ASSERT_GE(golden.size(), 300u);
  int differing = 0;
  for (std::size_t i = 0; i < golden.size(); i += pickEvery) {
    const std::string actual = streamLine(handle, corpus, pathOf(golden[i], ' '));
    if (actual == golden[i]) continue;
    if (++differing <= 10) ADD_FAILURE() << "golden: " << golden[i] << "\nnow:    " << actual;
  }
  EXPECT_EQ(differing, 0);
  closeC64(handle);
}

}  // namespace
