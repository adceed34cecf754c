// The worker's decisions, driven by scripted SID streams instead of the emulator.
#include "MainThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "TempDir.h"
#include "platform/Files.h"

namespace {

TStreamEntry W(uint32_t d, uint8_t r, uint8_t v) { return {cmdWrite, d, r, v}; }

// A stream that starts the music and then plays notes that depend on seed.
std::vector<TStreamEntry> Music(uint8_t seed) {
  std::vector<TStreamEntry> s = {W(100, 0, 0x20), W(100, 1, 0x10), W(100, 4, 0x11)};
  for (int frame = 0; frame < 50; ++frame) {
    s.push_back(W(19656, 5, static_cast<uint8_t>(seed + frame)));
    s.push_back(W(30, 4, frame % 2 ? 0x40 : 0x41));
    s.push_back(W(30, 24, 15));
  }
  return s;
}

// The hash the worker should compute for a stream, by the same loop it uses.
std::string HashOf(const std::vector<TStreamEntry>& stream) {
  TPassLoop loop;
  TDataHashCalc calc;
  loop.StartFile();
  loop.StartSubTune();
  loop.StartPass(TPassLoop::Budget(3, true));
  for (const TStreamEntry& e : stream) loop.Feed(e, calc);
  std::string hash = calc.GetHash(true);
  return hash == TDataHashCalc::emptyDigest ? calc.GetHash(false) : hash;
}

struct TTune {
  int32_t version = 1;  // 2: NTSC only
  int32_t songs = 1;
  bool throwOnLoad = false;
  // (song, clock 1 PAL / 2 NTSC) -> stream
  std::map<std::pair<int32_t, int32_t>, std::vector<TStreamEntry>> streams;
  // song -> streams of the parts after each button press
  std::map<int32_t, std::vector<std::vector<TStreamEntry>>> parts;
};

struct TScript {
  std::map<std::string, TTune> tunes;  // by file-name part
  std::vector<std::string> log;        // clock switches and key presses
};

class TFakeEmulator final : public TTuneEmulator {
 public:
  explicit TFakeEmulator(TScript& script) : script_(script) {}
  bool LoadFile(const std::string& name) override {
    auto it = script_.tunes.find(name.substr(name.find_last_of(Platform::pathSeparator) + 1));
    if (it == script_.tunes.end()) return false;
    if (it->second.throwOnLoad) throw std::runtime_error("broken");
    tune_ = &it->second;
    return true;
  }
  void PrepareFile() override {}
  int32_t GetC64Version() override { return tune_->version; }
  int32_t GetNumberOfSongs() override { return tune_->songs; }
  void SetSongToPlay(int32_t song) override {
    song_ = song;
    part_ = 0;
    pos_ = 0;
  }
  void SetC64Version(int32_t version) override {
    clock_ = version;
    pos_ = 0;
    script_.log.push_back("clock " + std::to_string(version));
  }
  void Next(TStreamEntry& entry) override {
    const std::vector<TStreamEntry>* stream = nullptr;
    if (part_ == 0) {
      auto it = tune_->streams.find({song_, clock_});
      if (it != tune_->streams.end()) stream = &it->second;
    } else {
      auto it = tune_->parts.find(song_);
      if (it != tune_->parts.end() && part_ <= it->second.size()) stream = &it->second[part_ - 1];
    }
    entry = (stream && pos_ < stream->size()) ? (*stream)[pos_++] : TStreamEntry{cmdIdle, 0, 0, 0};
  }
  void PressButtons() override {
    ++part_;
    pos_ = 0;
    script_.log.push_back("keys");
  }
  void CopyMemory(uint8_t*, uint8_t*) override {}

 private:
  TScript& script_;
  const TTune* tune_ = nullptr;
  int32_t song_ = 0;
  int32_t clock_ = 1;
  std::size_t part_ = 0;
  std::size_t pos_ = 0;
};

class WorkerTest : public ::testing::Test {
 protected:
  // Runs one worker over every file of the temporary directory.
  void Run(const TWorkerConfig& config, const std::string& database = "") {
    for (const auto& [name, tune] : script.tunes) dir.write(name, {0});
    TFileSearch files;
    files.StartSearch(dir.path().string() + Platform::pathSeparator + "*", false);
    THashDatabase db;
    db.Parse(database.data(), database.size());
    TOutput output({[this](std::string_view t) { out += t; }, [this](std::string_view t) { console += t; },
                    [this](std::string_view t) { console += std::string(t) + "\n"; }},
                   TOutput::Format::text);
    TKelvary worker(config, files, config.generateOnly ? nullptr : &db, output, run, interrupted,
                    [this]() -> std::unique_ptr<TTuneEmulator> {
                      if (noInstance) throw std::runtime_error("no free emulator instance");
                      return std::make_unique<TFakeEmulator>(script);
                    });
    worker.ProcessFiles();
    found = worker.found();
    processed = worker.processedCount();
  }
  // A file as the search names it, which status lines show; result lines show
  // it with "/" (the same on POSIX).
  std::string Name(const std::string& file) const { return dir.path().string() + Platform::pathSeparator + file; }
  std::string ResultName(const std::string& file) const {
    std::string name = Name(file);
    std::replace(name.begin(), name.end(), Platform::pathSeparator, '/');
    return name;
  }

  TTempDir dir;
  TScript script;
  TRunState run;
  std::atomic<bool> interrupted{false};
  std::string out;
  std::string console;
  bool found = false;
  int32_t processed = 0;
  bool noInstance = false;
};

TEST_F(WorkerTest, HashOnlyPrintsOneDatabaseLinePerSubTuneOnTheOwnClockOnly) {
  TTune tune;
  tune.songs = 2;
  tune.streams[{0, 1}] = Music(1);
  tune.streams[{1, 1}] = Music(2);
  script.tunes["a.sid"] = tune;
  script.tunes["quiet.sid"] = TTune{};
  TWorkerConfig config;
  config.generateOnly = true;
  Run(config);
  EXPECT_EQ(out, HashOf(Music(1)) + "=" + ResultName("a.sid") + " #1\n" + HashOf(Music(2)) + "=" +
                     ResultName("a.sid") + " #2\n" + TDataHashCalc::emptyDigest + "=" + ResultName("quiet.sid") +
                     " #1\n");
  EXPECT_EQ(script.log, (std::vector<std::string>{"clock 1", "clock 1", "clock 1"}));
  EXPECT_EQ(processed, 3);
}

TEST_F(WorkerTest, KnownOnItsOwnClockOrOnTheOther) {
  TTune own;
  own.streams[{0, 1}] = Music(1);
  script.tunes["own.sid"] = own;
  TTune other;  // an NTSC tune known from its PAL stream
  other.version = 2;
  other.streams[{0, 2}] = Music(7);
  other.streams[{0, 1}] = Music(2);
  script.tunes["other.sid"] = other;
  const std::string db = HashOf(Music(1)) + "=/MUSICIANS/A/Own.sid #1\n" + HashOf(Music(2)) +
                         "=/MUSICIANS/B/Other.sid #3\n";
  Run(TWorkerConfig{}, db);
  EXPECT_EQ(out, HashOf(Music(2)) + "=" + ResultName("other.sid") +
                     " #1(NTSC) -> same as: /MUSICIANS/B/Other.sid #3(PAL)\n" +
                     HashOf(Music(1)) + "=" + ResultName("own.sid") + " #1 -> same as: /MUSICIANS/A/Own.sid #1\n");
  EXPECT_TRUE(found);
  EXPECT_EQ(processed, 2);
}

TEST_F(WorkerTest, UnknownAfterBothClocksAndNamesOnlyKeepsNotFoundLines) {
  TTune known;
  known.streams[{0, 1}] = Music(1);
  script.tunes["known.sid"] = known;
  TTune unknown;
  unknown.streams[{0, 1}] = Music(3);
  unknown.streams[{0, 2}] = Music(4);
  script.tunes["unknown.sid"] = unknown;
  TWorkerConfig config;
  config.namesOnlyNotFound = true;
  Run(config, HashOf(Music(1)) + "=/X.sid #1\n");
  EXPECT_EQ(out, "No known entry found for " + Name("unknown.sid") + " #1\n");
  EXPECT_TRUE(found);
  EXPECT_EQ(script.log, (std::vector<std::string>{"clock 1", "clock 1", "clock 2"}));
}

TEST_F(WorkerTest, ASilentSubTuneNeverMatchesTheSilentEntriesOfADatabase) {
  script.tunes["quiet.sid"] = TTune{};
  Run(TWorkerConfig{}, std::string(TDataHashCalc::emptyDigest) + "=/MUSICIANS/S/Silence.sid #1\n");
  EXPECT_EQ(out, "No known entry found for " + Name("quiet.sid") + " #1\n");
  EXPECT_FALSE(found);
}

TEST_F(WorkerTest, AFileThatFailsIsReportedAndTheWorkerGoesOn) {
  TTune broken;
  broken.throwOnLoad = true;
  script.tunes["a_broken.sid"] = broken;
  TTune good;
  good.streams[{0, 1}] = Music(1);
  script.tunes["b_good.sid"] = good;
  dir.write("c_garbage.sid", {1, 2, 3});  // not loadable
  TWorkerConfig config;
  config.generateOnly = true;
  Run(config);
  EXPECT_EQ(out, "Exception during processing file: " + Name("a_broken.sid") + "\n" + HashOf(Music(1)) + "=" +
                     ResultName("b_good.sid") + " #1\n" + "File type not supported or file not found: " +
                     Name("c_garbage.sid") + "\n");
  EXPECT_EQ(run.ExitCode(), 3);
}

TEST_F(WorkerTest, AFileWithoutSubTunesPrintsNothingAndIsNotCounted) {
  TTune none;
  none.songs = 0;
  script.tunes["none.sid"] = none;
  TWorkerConfig config;
  config.generateOnly = true;
  Run(config);
  EXPECT_EQ(out, "");
  EXPECT_EQ(processed, 0);
  EXPECT_EQ(run.ExitCode(), 0);
}

TEST_F(WorkerTest, MultiPartOnATuneFilePlaysOnePassAndPressesNoKeys) {
  TTune tune;
  tune.streams[{0, 1}] = Music(3);
  script.tunes["a.sid"] = tune;
  TWorkerConfig config;
  config.multiPart = true;
  Run(config, "");
  EXPECT_EQ(out, "No known entry found for " + Name("a.sid") + " #1\n");
  EXPECT_EQ(script.log, (std::vector<std::string>{"clock 1"}));
}

TEST_F(WorkerTest, MultiPartProgramsGoOnWhilePartsRestartTheStream) {
  TTune prg;
  prg.streams[{0, 1}] = Music(1);
  std::vector<TStreamEntry> second = {{cmdRestart, 0, 0, 0}};
  for (const TStreamEntry& e : Music(2)) second.push_back(e);
  prg.parts[0] = {second, Music(9) /* no restart: the parts end */};
  script.tunes["demo.prg"] = prg;
  TWorkerConfig config;
  config.multiPart = true;
  config.generateOnly = true;
  Run(config);
  EXPECT_EQ(out, HashOf(Music(1)) + "=" + ResultName("demo.prg") + " #1\n" + HashOf(Music(2)) + "=" +
                     ResultName("demo.prg") + " #2\n");
  EXPECT_EQ(script.log, (std::vector<std::string>{"clock 1", "keys", "keys"}));
  EXPECT_EQ(processed, 1);
}

TEST_F(WorkerTest, AWorkerWithoutAnInstanceSaysSoAndTakesNoFile) {
  TTune tune;
  tune.streams[{0, 1}] = Music(1);
  script.tunes["a.sid"] = tune;
  noInstance = true;
  Run(TWorkerConfig{});
  EXPECT_EQ(out, "");
  EXPECT_EQ(console, "ERROR: no free emulator instance\n");
  EXPECT_EQ(run.ExitCode(), 3);
  EXPECT_EQ(run.files(), 0u);
}

TEST_F(WorkerTest, AnInterruptedRunStopsWithoutHalfResults) {
  TTune tune;
  tune.streams[{0, 1}] = Music(1);
  script.tunes["a.sid"] = tune;
  script.tunes["b.sid"] = tune;
  interrupted = true;
  TWorkerConfig config;
  config.generateOnly = true;
  Run(config);
  EXPECT_EQ(out, "");
  EXPECT_EQ(processed, 0);
}

}  // namespace
