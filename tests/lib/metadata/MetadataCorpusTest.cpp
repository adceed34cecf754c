// HVSC #69's own song-length databases and STIL against every tune of the
// corpus tree, through the exported interface. The expected answers come from
// the documents, read here by a separate, plain parser.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SharedData.h"
#include "TempDir.h"
#include "zorvex.h"

namespace {

namespace fs = std::filesystem;

struct TListed {
  std::string md5;
  std::vector<int32_t> times;  // milliseconds, one per sub-tune
};

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (text[i] != '\r') {
      line += text[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// "m:ss", optional ".f" to ".fff", optional "(X)" attribute.
int32_t timeOf(const std::string& field) {
  static const std::regex pattern(R"((\d+):(\d+)(?:\.(\d{1,3}))?(?:\([A-Za-z]+\))?)");
  std::smatch m;
  if (!std::regex_match(field, m, pattern)) ADD_FAILURE() << "unexpected time " << field;
  std::string fraction = m[3].str();
  fraction.resize(3, '0');
  return (std::stoi(m[1].str()) * 60 + std::stoi(m[2].str())) * 1000 + std::stoi(fraction);
}

// Path -> MD5 and times, from "; /PATH" followed by "<md5>=<time> <time>".
std::map<std::string, TListed> readSongLengths(const fs::path& file) {
  std::map<std::string, TListed> byPath;
  std::string path;
  for (const std::string& line : splitLines(readText(file))) {
    if (line.starts_with("; /")) {
      path = line.substr(2);
    } else if (line.size() > 33 && line[32] == '=') {
      TListed& listed = byPath[path];
      listed.md5 = line.substr(0, 32);
      std::size_t at = 33;
      while (at < line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        listed.times.push_back(timeOf(line.substr(at, end - at)));
        at = end + 1;
      }
    }
  }
  return byPath;
}

// Path -> entry text, lines joined by CR LF; a path listed twice runs its texts together.
std::map<std::string, std::string> readStil(const fs::path& file) {
  std::map<std::string, std::string> byPath;
  const std::vector<std::string> lines = splitLines(readText(file));
  auto blank = [](const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; });
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] != '/') continue;
    std::string& text = byPath[lines[i]];
    const std::size_t first = i + 1;
    while (i + 1 < lines.size() && !blank(lines[i + 1])) {
      ++i;
      if (i > first) text += "\r\n";
      text += lines[i];
    }
  }
  return byPath;
}

std::string doubled(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

class MetadataCorpus : public ::testing::Test {
 protected:
  static fs::path root() { return sharedDir() / "corpus" / "C64Music"; }
  static fs::path docs() { return root() / "DOCUMENTS"; }

  // Every tune of the tree by collection path.
  static std::map<std::string, fs::path> tunes() {
    std::map<std::string, fs::path> byPath;
    for (const auto& entry : fs::recursive_directory_iterator(root())) {
      if (!entry.is_regular_file() || entry.path().extension() != ".sid") continue;
      std::string path = fs::relative(entry.path(), root()).generic_string();
      path.insert(path.begin(), '/');
      byPath[path] = entry.path();
    }
    return byPath;
  }

  void SetUp() override { handle = createC64(); }
  void TearDown() override { closeC64(handle); }

  // Every tune (every step-th, for a database already checked another way)
  // answers every sub-tune's time and its own path from the loaded database.
  void expectSongLengths(const std::map<std::string, TListed>& listed, bool byFingerprint, int step = 1) {
    int checked = 0;
    int index = 0;
    for (const auto& [path, file] : tunes()) {
      if (index++ % step != 0) continue;
      const auto it = listed.find(path);
      ASSERT_NE(it, listed.end()) << path << " is not listed";
      ASSERT_EQ(loadFile(handle, file.string().c_str()), 1) << path;
      if (byFingerprint) {
        EXPECT_EQ(std::string(getMD5Hash(handle)), it->second.md5) << path;
      }
      EXPECT_EQ(std::string(getFileName(it->second.md5.c_str())), path);
      const int32_t songs = getNumberOfSongs(handle);
      for (int32_t song = 0; song < songs; ++song) {
        setSongToPlay(handle, song);
        const std::vector<int32_t>& times = it->second.times;
        const int32_t expected = times[std::min<std::size_t>(static_cast<std::size_t>(song), times.size() - 1)];
        ASSERT_EQ(getSongLength(handle), expected) << path << " sub-tune " << song + 1;
      }
      ++checked;
    }
    EXPECT_EQ(checked, (3670 + step - 1) / step);
  }

  int32_t handle = 0;
};

TEST_F(MetadataCorpus, FingerprintDatabaseAnswersEveryTuneAndSubTune) {
  REQUIRE_SHARED("corpus/C64Music/DOCUMENTS/Songlengths.txt");
  const auto listed = readSongLengths(docs() / "Songlengths.txt");
  EXPECT_EQ(listed.size(), 50705u);
  const std::string txt = (docs() / "Songlengths.txt").string();
  EXPECT_EQ(checkSLDB(txt.c_str()), 1);
  EXPECT_EQ(checkSLDB(root().string().c_str()), 1);

  ASSERT_EQ(loadSLDB(root().string().c_str()), 1);
  expectSongLengths(listed, true);
  for (const fs::path& from : {root().parent_path(), root() / "MUSICIANS", docs() / "Songlengths.txt"}) {
    ASSERT_EQ(loadSLDBFromBuffer(nullptr, 0), 0);
    ASSERT_EQ(loadSLDB(from.string().c_str()), 1) << from;
    EXPECT_EQ(std::string(getFileName(listed.at("/DEMOS/0-9/10_Orbyte.sid").md5.c_str())), "/DEMOS/0-9/10_Orbyte.sid");
  }
  const std::string bytes = readText(docs() / "Songlengths.txt");
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(checkSLDBFromBuffer(data, static_cast<int32_t>(bytes.size())), 1);
  ASSERT_EQ(loadSLDBFromBuffer(data, static_cast<int32_t>(bytes.size())), 1);
  expectSongLengths(listed, true, 25);
}

TEST_F(MetadataCorpus, WholeFileDatabaseAnswersEveryTuneAndSubTune) {
  REQUIRE_SHARED("corpus/C64Music/DOCUMENTS/Songlengths.md5");
  const fs::path md5File = docs() / "Songlengths.md5";
  const auto listed = readSongLengths(md5File);
  EXPECT_EQ(listed.size(), 50705u);
  EXPECT_EQ(checkSLDB(md5File.string().c_str()), 1);
  ASSERT_EQ(loadSLDB(md5File.string().c_str()), 1);
  expectSongLengths(listed, false);

  const std::string bytes = readText(md5File);
  ASSERT_EQ(loadSLDBFromBuffer(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size())), 1);
  expectSongLengths(listed, false, 25);

  // A collection that ships only the whole-file database: loadSLDB of the tree finds it.
  TTempDir temp;
  const fs::path copy = temp.path() / "C64Music";
  for (const char* sub : {"DEMOS", "GAMES", "MUSICIANS", "DOCUMENTS"}) fs::create_directories(copy / sub);
  linkOrCopy(md5File, copy / "DOCUMENTS" / "Songlengths.md5");
  ASSERT_EQ(loadSLDBFromBuffer(nullptr, 0), 0);
  ASSERT_EQ(loadSLDB((copy / "GAMES").string().c_str()), 1);
  expectSongLengths(listed, false, 25);
}

TEST_F(MetadataCorpus, BadArgumentsAnswerNothing) {
  EXPECT_EQ(checkSLDB(nullptr), 0);
  EXPECT_EQ(loadSLDB(nullptr), 0);
  EXPECT_EQ(checkSLDBFromBuffer(nullptr, 1000), 0);
  const std::string text = "[Database]\n; /A.sid\n0123456789abcdef0123456789abcdef=1:00\n";
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  EXPECT_EQ(checkSLDBFromBuffer(data, -5), 0);
  EXPECT_EQ(checkSLDBFromBuffer(data, static_cast<int32_t>(text.size())), 1);
  ASSERT_EQ(loadSLDBFromBuffer(data, static_cast<int32_t>(text.size())), 1);
  EXPECT_STREQ(getFileName("0123456789abcdef0123456789abcdef"), "/A.sid");
  EXPECT_STREQ(getFileName(nullptr), "");
  EXPECT_EQ(loadSTIL(nullptr), 0);
  EXPECT_EQ(loadSTILFromBuffer(nullptr, 10), 0);
  EXPECT_EQ(loadSTILFromBuffer(nullptr, 0), 1);
  EXPECT_EQ(getSTILEntry(0), nullptr);
  EXPECT_EQ(getSongLength(0), 0);
  EXPECT_EQ(getSongLength(handle), 0) << "no tune loaded";
}

TEST_F(MetadataCorpus, StilAnswersEveryNamedTuneInTheTree) {
  REQUIRE_SHARED("corpus/C64Music/DOCUMENTS/STIL.txt");
  const auto stil = readStil(docs() / "STIL.txt");
  const auto bugs = readStil(docs() / "BUGlist.txt");
  ASSERT_GT(stil.size(), 10000u);
  ASSERT_GT(bugs.size(), 20u);
  auto expectedFor = [&](const std::string& path) -> std::optional<std::string> {
    const auto tune = stil.find(path);
    const auto bug = bugs.find(path);
    const auto dir = stil.find(path.substr(0, path.rfind('/') + 1));
    if (tune == stil.end() && bug == bugs.end() && dir == stil.end()) return std::nullopt;
    std::string text = tune != stil.end() ? tune->second : "";
    if (bug != bugs.end()) {
      if (!text.empty() && !bug->second.empty()) text.append("\r\n");
      text.append(bug->second);
    }
    if (dir != stil.end()) text.insert(0, dir->second + "\r\n");
    return text.empty() ? std::nullopt : std::optional(doubled(text));
  };

  const auto tree = tunes();
  for (const fs::path& from : {root(), root().parent_path(), docs()}) {
    ASSERT_EQ(loadSTIL(from.string().c_str()), 1) << from;
    int named = 0, withBug = 0, withDirectory = 0;
    for (const auto& [path, file] : tree) {
      const auto expected = expectedFor(path);
      ASSERT_EQ(loadFile(handle, file.string().c_str()), 1);
      const char* text = getSTILEntry(handle);
      if (!expected) {
        EXPECT_EQ(text, nullptr) << path;
        continue;
      }
      ASSERT_NE(text, nullptr) << path;
      EXPECT_EQ(std::string(text), *expected) << path;
      ++named;
      withBug += bugs.count(path) ? 1 : 0;
      withDirectory += stil.count(path.substr(0, path.rfind('/') + 1)) ? 1 : 0;
    }
    EXPECT_GT(named, 500) << from;
    EXPECT_GT(withBug, 0) << from;
    EXPECT_GT(withDirectory, 10) << from;
  }
}

TEST_F(MetadataCorpus, ATuneOutsideTheTreeFindsItsEntryThroughTheSongLengths) {
  REQUIRE_SHARED("corpus/C64Music/DOCUMENTS/STIL.txt");
  const auto stil = readStil(docs() / "STIL.txt");
  ASSERT_EQ(loadSTIL(root().string().c_str()), 1);
  TTempDir temp;
  std::vector<std::pair<fs::path, std::string>> copies;  // copy, expected text
  for (const auto& [path, file] : tunes()) {
    const auto entry = stil.find(path);
    if (entry == stil.end() || stil.count(path.substr(0, path.rfind('/') + 1)) || copies.size() >= 40) continue;
    const fs::path copy = temp.path() / ("copy" + std::to_string(copies.size()) + ".sid");
    fs::copy_file(file, copy);
    copies.emplace_back(copy, doubled(entry->second));
  }
  for (const char* database : {"Songlengths.txt", "Songlengths.md5"}) {
    ASSERT_EQ(loadSLDB((docs() / database).string().c_str()), 1);
    for (const auto& [copy, expected] : copies) {
      ASSERT_EQ(loadFile(handle, copy.string().c_str()), 1);
      const char* text = getSTILEntry(handle);
      ASSERT_NE(text, nullptr) << copy << " through " << database;
      EXPECT_EQ(std::string(text), expected) << copy << " through " << database;
    }
  }
  ASSERT_EQ(loadSLDBFromBuffer(nullptr, 0), 0);
  for (const auto& [copy, expected] : copies) {
    ASSERT_EQ(loadFile(handle, copy.string().c_str()), 1);
    EXPECT_EQ(getSTILEntry(handle), nullptr) << "no database, no way back from " << copy;
  }
  EXPECT_EQ(copies.size(), 40u);
}

}  // namespace
