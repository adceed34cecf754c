// The loader against real files: HVSC's own song-length fingerprints, program
// digests taken by the system's md5sum, and truncated or damaged tunes.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lib/machine/MachineFixture.h"
#include "SharedData.h"
#include "SidLoader.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<fs::path> filesUnder(const fs::path& root, std::initializer_list<const char*> extensions) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = lower(entry.path().extension().string());
    if (std::find(extensions.begin(), extensions.end(), ext) != extensions.end()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const fs::path& file, const Bytes& bytes) {
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Songlengths.txt: "; /PATH/Tune.sid" then "<md5>=<times>".
std::map<std::string, std::string> songLengthKeys(const fs::path& file) {
  std::map<std::string, std::string> byPath;
  std::ifstream in(file, std::ios::binary);
  std::string line, path;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("; /")) {
      path = line.substr(2);
    } else if (!path.empty() && line.size() > 32 && line[32] == '=') {
      byPath[path] = line.substr(0, 32);
      path.clear();
    }
  }
  return byPath;
}

// md5sum of the file from byte `skip` on, computed outside this program.
std::string externalMd5(const fs::path& file, int skip) {
  std::string quoted = "'";
  for (char c : file.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const std::string command = "tail -c +" + std::to_string(skip + 1) + " " + quoted + " | md5sum";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return {};
  std::array<char, 64> out{};
  const std::size_t n = std::fread(out.data(), 1, out.size(), pipe.get());
  return n >= 32 ? std::string(out.data(), 32) : std::string();
}

bool isDigest(const std::string& s) {
  return s.size() == 32 && std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(c) && !std::isupper(c); });
}

class Corpus : public MachineTest {
 protected:
  // Whatever a file holds, a load either fails or leaves a sane tune record.
  void expectCleanLoad(const fs::path& file, std::size_t size) {
    if (!tune.load(file.string(), 0)) return;
    ASSERT_EQ(tune.fileSize, static_cast<int32_t>(size));
    ASSERT_GE(tune.songs, 1);
    ASSERT_LE(tune.songs, 256);
    ASSERT_GE(tune.startSong, 0);
    ASSERT_LE(tune.startSong, tune.songs);
    ASSERT_TRUE(tune.md5.empty() || isDigest(tune.md5)) << tune.md5;
    ASSERT_GE(tune.loadAddress, 0);
    ASSERT_LE(tune.loadAddress, 0xFFFF);
    // Something to play: at least one byte placed.
    ASSERT_GT(tune.dataLength, 0);
    // A PSID or RSID (the kinds with a data offset) has its data behind a whole header.
    if (tune.dataOffset > 0) {
      ASSERT_GE(tune.dataOffset, 0x76);
      ASSERT_LT(static_cast<std::size_t>(tune.dataOffset), size);
    }
  }

  TSidFile tune{*c64};
};

TEST_F(Corpus, EveryHvscTuneHasItsSongLengthFingerprint) {
  REQUIRE_SHARED("corpus/C64Music/DOCUMENTS/Songlengths.txt");
  const fs::path root = sharedDir() / "corpus/C64Music";
  const auto keys = songLengthKeys(root / "DOCUMENTS/Songlengths.txt");
  ASSERT_GT(keys.size(), 50000u);

  std::size_t tunes = 0, agreeing = 0;
  for (const fs::path& file : filesUnder(root, {".sid"})) {
    ++tunes;
    // Appended rather than "/" + path: g++ 12 warns falsely on that form at -O3.
    std::string collectionPath = "/";
    collectionPath += fs::relative(file, root).generic_string();
    const auto key = keys.find(collectionPath);
    ASSERT_NE(key, keys.end()) << collectionPath;
    ASSERT_TRUE(tune.load(file.string(), 0)) << collectionPath;
    if (tune.md5 == key->second)
      ++agreeing;
    else
      ADD_FAILURE() << collectionPath << ": " << tune.md5 << ", listed " << key->second;
  }
  std::cout << "fingerprints agreeing with Songlengths.txt: " << agreeing << "/" << tunes << "\n";
  EXPECT_EQ(tunes, 3670u);
  EXPECT_EQ(agreeing, tunes);
}

TEST_F(Corpus, ProgramFingerprintsAreTheDigestOfTheirData) {
  REQUIRE_SHARED("corpus/prg");
  std::size_t loaded = 0, refused = 0;
  bool p00Loaded = false;
  for (const fs::path& file : filesUnder(sharedDir() / "corpus/prg", {".prg", ".p00"})) {
    const bool p00 = lower(file.extension().string()) == ".p00";
    // A music rip at $1000, not a program.
    const bool rip = file.filename() == "EARMIND_3sid.prg";
    if (!tune.load(file.string(), 0)) {
      EXPECT_FALSE(p00) << file;
      ++refused;
      continue;
    }
    EXPECT_FALSE(rip) << file << " loads at $" << std::hex << tune.loadAddress;
    ++loaded;
    p00Loaded |= p00;
    EXPECT_EQ(tune.md5, externalMd5(file, p00 ? 28 : 2)) << file;
  }
  std::cout << "programs loaded: " << loaded << ", refused: " << refused << "\n";
  EXPECT_TRUE(p00Loaded);
  EXPECT_GT(loaded, 20u);
  EXPECT_GT(refused, 20u);
}

class CorpusDamage : public Corpus {
 protected:
  // 200 files of every kind the loader meets, the same ones on every run.
  static std::vector<fs::path> sample() {
    const fs::path corpus = sharedDir() / "corpus";
    std::vector<fs::path> picked;
    auto every = [&](const std::vector<fs::path>& files, std::size_t count) {
      const std::size_t step = std::max<std::size_t>(1, files.size() / count);
      for (std::size_t i = 0; i < files.size() && picked.size() < 200 && count > 0; i += step, --count)
        picked.push_back(files[i]);
    };
    every(filesUnder(corpus / "mus", {".mus", ".str"}), 8);
    every(filesUnder(corpus / "prg", {".p00"}), 1);
    every(filesUnder(corpus / "prg", {".prg"}), 31);
    every(filesUnder(corpus / "extra", {".sid"}), 40);
    every(filesUnder(corpus / "C64Music", {".sid"}), 120);
    return picked;
  }

  TTempDir dir;
};

TEST_F(CorpusDamage, TruncatedFilesLoadOrFailCleanly) {
  REQUIRE_SHARED("corpus/C64Music");
  REQUIRE_SHARED("corpus/mus");
  const auto files = sample();
  ASSERT_EQ(files.size(), 200u);
  std::size_t loads = 0;
  for (const fs::path& original : files) {
    const Bytes bytes = readAll(original);
    // Same name, so the extension rules see the same kind.
    const fs::path copy = dir.path() / original.filename();
    writeAll(copy, bytes);
    // Every length through the header and the first data bytes, the last few, and a
    // spread over the rest.
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= std::min<std::size_t>(bytes.size(), 600); ++n) lengths.push_back(n);
    for (std::size_t n = 600; n < bytes.size(); n += std::max<std::size_t>(1, bytes.size() / 100)) lengths.push_back(n);
    for (std::size_t n = bytes.size() - std::min<std::size_t>(bytes.size(), 8); n <= bytes.size(); ++n)
      lengths.push_back(n);
    std::sort(lengths.rbegin(), lengths.rend());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    for (std::size_t n : lengths) {
      fs::resize_file(copy, n);
      SCOPED_TRACE(original.string() + " cut to " + std::to_string(n));
      expectCleanLoad(copy, n);
      if (HasFatalFailure()) return;
      ++loads;
    }
    const std::string ext = lower(original.extension().string());
    if (ext == ".mus" || ext == ".str") {
      // Every corpus MUS file lies beside its companion: a stereo tune.
      EXPECT_TRUE(tune.load(original.string(), 0));
      EXPECT_EQ(tune.initAddress, 0xFC90);
    }
    fs::remove(copy);
  }
  std::cout << loads << " truncated files loaded or refused\n";
}

TEST_F(CorpusDamage, MutatedHeadersLoadOrFailCleanly) {
  REQUIRE_SHARED("corpus/C64Music");
  REQUIRE_SHARED("corpus/mus");
  const auto files = sample();
  std::mt19937 random(20240611);
  // Values that make header words absurd: at, just past or far beyond the file.
  const std::array<uint16_t, 10> extremes = {0x0000, 0x0001, 0x0076, 0x0077, 0x007C,
                                             0x0801, 0x0326, 0x1000, 0xFFFE, 0xFFFF};
  for (int round = 0; round < 3000; ++round) {
    const fs::path& original = files[random() % files.size()];
    Bytes bytes = readAll(original);
    if (bytes.empty()) continue;
    const std::size_t header =
        std::min<std::size_t>(bytes.size(), lower(original.extension().string()) == ".p00" ? 30 : 0x7E);
    for (unsigned changes = 1 + random() % 4; changes > 0; --changes) {
      const std::size_t at = random() % header;
      if (random() % 3 == 0 && at + 1 < bytes.size()) {
        const uint16_t v = extremes[random() % extremes.size()];
        bytes[at] = static_cast<uint8_t>(v >> 8);
        bytes[at + 1] = static_cast<uint8_t>(v);
      } else {
        bytes[at] = static_cast<uint8_t>(random());
      }
    }
    if (random() % 4 == 0)
      std::copy_n(random() % 2 ? "RSID" : "PSID", std::min<std::size_t>(4, bytes.size()), bytes.begin());
    // Around the end of the 65662-byte header buffer.
    if (random() % 16 == 0) bytes.resize(TSidFile::bufferSize - 4 + random() % 8, static_cast<uint8_t>(random()));
    const fs::path copy = dir.path() / original.filename();
    writeAll(copy, bytes);
    SCOPED_TRACE(original.string() + ", round " + std::to_string(round));
    expectCleanLoad(copy, bytes.size());
    if (HasFatalFailure()) return;
  }
}

}  // namespace
