// The real collection documents cut short at many points, and the STIL of a
// newer release: loads succeed or fail cleanly, and whatever loaded answers as
// the whole document does.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "STIL.h"
#include "SharedData.h"
#include "SongLength.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Random offsets and line starts, a few of them at the header's end.
std::vector<std::size_t> cutPoints(const Bytes& data, std::size_t randomCount, std::size_t lineCount) {
  std::mt19937 random(69);
  std::vector<std::size_t> lineStarts;
  for (std::size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == '\n') lineStarts.push_back(i + 1);
  std::vector<std::size_t> cuts = {0, 1, 11, 50, 51, 52, data.size() - 1};
  for (std::size_t i = 0; i < randomCount; ++i) cuts.push_back(random() % data.size());
  for (std::size_t i = 0; i < lineCount; ++i) {
    const std::size_t line = lineStarts[random() % lineStarts.size()];
    cuts.push_back(line);
    cuts.push_back(line - 1);  // inside the line break
  }
  return cuts;
}

// Exactly the bytes before the cut, on their own heap block, so that any read
// past them is caught by AddressSanitizer.
Bytes prefix(const Bytes& data, std::size_t cut) {
  return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(cut));
}

class CutDocuments : public ::testing::Test {
 protected:
  static fs::path docs() { return sharedDir() / "corpus" / "C64Music" / "DOCUMENTS"; }

  void checkSongLengthCuts(const char* name) {
    const Bytes whole = readAll(docs() / name);
    TSongLength full;
    ASSERT_TRUE(full.LoadSongLengthBuffer(whole.data(), whole.size()));
    // The MD5 and times of every complete entry line, with the path it is filed under.
    std::vector<std::pair<std::size_t, std::string>> keys;  // (end of the line, md5)
    for (std::size_t at = 0; at < whole.size();) {
      const std::size_t end = std::min<std::size_t>(
          std::find(whole.begin() + static_cast<std::ptrdiff_t>(at), whole.end(), '\n') - whole.begin(), whole.size());
      if (end - at > 33 && whole[at + 32] == '=') keys.emplace_back(end, std::string(whole.begin() + at, whole.begin() + at + 32));
      at = end + 1;
    }
    for (std::size_t cut : cutPoints(whole, 30, 20)) {
      const Bytes part = prefix(whole, cut);
      TSongLength db;
      const bool passes = TSongLength::CheckSongLengthBuffer(part.data(), part.size());
      ASSERT_EQ(db.LoadSongLengthBuffer(part.data(), part.size()), passes) << name << " cut at " << cut;
      // Everything loaded is a line of the whole file; every complete line is loaded.
      ASSERT_LE(db.size(), full.size());
      const auto complete = std::upper_bound(keys.begin(), keys.end(), std::make_pair(cut, std::string()),
                                             [](const auto& a, const auto& b) { return a.first < b.first; });
      if (passes) {
        EXPECT_GE(db.size(), static_cast<std::size_t>(complete - keys.begin())) << cut;
      }
      if (complete != keys.begin()) {
        const std::string& md5 = std::prev(complete)->second;
        EXPECT_EQ(db.GetSongLengthText(md5, 1), full.GetSongLengthText(md5, 1)) << name << " cut at " << cut;
        EXPECT_EQ(db.GetHvscPathForMd5(md5), full.GetHvscPathForMd5(md5)) << name << " cut at " << cut;
      }
      if (complete != keys.end()) db.GetSongLengthText(complete->second, 3);  // the cut line, if any
    }
  }
};

TEST_F(CutDocuments, SongLengthFilesLoadWhatTheyHold) {
  REQUIRE_SHARED("corpus/C64Music/DOCUMENTS/Songlengths.txt");
  checkSongLengthCuts("Songlengths.txt");
  checkSongLengthCuts("Songlengths.md5");
}

TEST_F(CutDocuments, StilAndBugListLoadWhatTheyHold) {
  REQUIRE_SHARED("corpus/C64Music/DOCUMENTS/STIL.txt");
  for (const char* name : {"STIL.txt", "BUGlist.txt"}) {
    const Bytes whole = readAll(docs() / name);
    TStil full;
    full.loadSTILFromBuffer(whole.data(), whole.size());
    ASSERT_GT(full.size(), 20u);
    for (std::size_t cut : cutPoints(whole, 30, 20)) {
      const Bytes part = prefix(whole, cut);
      TStil stil;
      stil.loadSTILFromBuffer(part.data(), part.size());
      ASSERT_LE(stil.size(), full.size()) << name << " cut at " << cut;
      // The first entry is whole in every cut past its closing blank line.
      const std::string probe = "/DEMOS/0-9/12345.sid";
      const std::string firstPath = std::string(name) == "STIL.txt" ? probe : "/DEMOS/A-F/Digital_II.sid";
      const std::string text(whole.begin(), whole.end());
      const std::size_t closed = text.find("\n\n", text.find(firstPath + "\n"));
      if (cut > closed) {
        EXPECT_EQ(stil.GetStilEntry(firstPath), full.GetStilEntry(firstPath)) << name << " " << cut;
      }
    }
  }
}

TEST(NewerStil, Release83LoadsAndAnswers) {
  REQUIRE_SHARED("corpus/docs/HVSC83/STIL.txt");
  const fs::path release = sharedDir() / "corpus" / "docs" / "HVSC83";
  TTempDir temp;
  const fs::path documents = temp.path() / "C64Music" / "DOCUMENTS";
  fs::create_directories(documents);
  for (const char* name : {"STIL.txt", "BUGlist.txt"}) linkOrCopy(release / name, documents / name);

  TStil stil;
  ASSERT_TRUE(stil.loadSTIL(temp.path().string()));
  EXPECT_GT(stil.size(), 18000u);
  // CR LF files: no CR may survive inside an entry's lines.
  const std::string tune = stil.GetStilEntry("/DEMOS/0-9/128_Byte_Blues_BASIC.sid");
  EXPECT_TRUE(tune.starts_with("COMMENT: \"When I first had a look at the 512b/1k Tiny SID compo")) << tune;
  EXPECT_EQ(tune.find("\r\r"), std::string::npos);
  EXPECT_EQ(tune.find("\n\n"), std::string::npos);
  EXPECT_EQ(stil.GetStilEntry("/DEMOS/0-9/12345.sid"), "  TITLE: 1.2.3.4.5.6.7.8\r\n ARTIST: Ken Laszlo");
  const std::string onDisk = (temp.path() / "C64Music" / "DEMOS" / "A-F" / "Digital_II.sid").string();
  EXPECT_NE(stil.GetStilEntry(onDisk).find("BUG:"), std::string::npos);
}

}  // namespace
