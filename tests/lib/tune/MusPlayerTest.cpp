// Sidplayer tunes played by our own players through the exports, against note
// events recorded with the original Sidplayer code: for each voice, every gate
// opening with the voice's frequency at that moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "SharedData.h"
#include "TempDir.h"
#include "zorvex.h"

namespace fs = std::filesystem;

namespace {

constexpr double palClock = 985248.0;
constexpr uint64_t frameCycles = 19656;  // one PAL video frame
const char* const musFolder = "corpus/mus/Sgeo_stereo_player_launcher/assets/stereoplayer105.d64.files";
// Tunes whose reference note events must all agree (of the 15).
// All 15 agree at present; the floor leaves room for one.
constexpr int kMatchingTunesFloor = 14;
// Pairs played together: 14 agree at present (JOHN_B_GOODE differs in the pitch
// of 2 of 510 notes that open while the other part glides).
constexpr int kMatchingPairsFloor = 14;

struct NoteEvent {
  uint64_t cycle;
  uint16_t frequency;
};
using Voices = std::array<std::vector<NoteEvent>, 3>;

// Follows SID register writes and records each voice's gate openings. Writes to
// registers 25 and above (read-only on the chip) are ignored.
class NoteTracker {
 public:
  void write(uint64_t cycle, unsigned reg, uint8_t value) {
    if (reg >= 25) return;
    log_.push_back({cycle, reg, value});
    const uint8_t old = regs_[reg];
    regs_[reg] = value;
    if (reg % 7 == 4 && reg < 21 && (value & 1) && !(old & 1)) {
      const unsigned voice = reg / 7;
      voices_[voice].push_back({cycle, static_cast<uint16_t>(regs_[voice * 7] | regs_[voice * 7 + 1] << 8)});
    }
  }
  struct Write {
    uint64_t cycle;
    unsigned reg;
    uint8_t value;
  };
  const Voices& voices() const { return voices_; }
  size_t writes() const { return log_.size(); }
  const std::vector<Write>& log() const { return log_; }
  uint8_t reg(unsigned r) const { return regs_[r]; }

 private:
  std::vector<Write> log_;
  std::array<uint8_t, 25> regs_{};
  Voices voices_;
};

// A second chip's registers (32 and up) fold onto the first, as this machine maps them.
Voices readReference(const fs::path& file, double seconds) {
  NoteTracker tracker;
  const std::string command = "gzip -dc '" + file.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  unsigned long long delta = 0, cycle = 0;
  unsigned reg = 0, value = 0;
  const auto limit = static_cast<unsigned long long>(palClock * seconds);
  while (std::fscanf(pipe, "%llu %u %u", &delta, &reg, &value) == 3) {
    cycle += delta;
    if (cycle > limit) break;
    tracker.write(cycle, reg % 32, static_cast<uint8_t>(value));
  }
  pclose(pipe);
  return tracker.voices();
}

// Plays the loaded tune's default song for `milliseconds` of play clock.
NoteTracker playTracked(int32_t handle, int32_t milliseconds) {
  NoteTracker tracker;
  setSongToPlay(handle, 0);
  uint64_t cycle = 0;
  for (long calls = 0; calls < 40'000'000 && getTime(handle) < milliseconds; ++calls) {
    run(handle);
    switch (getCommand(handle)) {
      case ZORVEX_CMD_DELAY:
      case ZORVEX_CMD_READ:
        cycle += static_cast<uint32_t>(getCycles(handle));
        break;
      case ZORVEX_CMD_WRITE:
        cycle += static_cast<uint32_t>(getCycles(handle));
        tracker.write(cycle, static_cast<unsigned>(getRegister(handle)), static_cast<uint8_t>(getData(handle)));
        break;
      default:
        break;
    }
  }
  return tracker;
}

Voices play(int32_t handle, int32_t milliseconds) { return playTracked(handle, milliseconds).voices(); }

uint64_t firstCycle(const Voices& voices) {
  uint64_t first = UINT64_MAX;
  for (const auto& v : voices)
    if (!v.empty()) first = std::min(first, v.front().cycle);
  return first;
}

struct Agreement {
  size_t events = 0;
  size_t matched = 0;
};

// Event i of a voice agrees when it is the same note (frequency within 1%) and,
// once both first notes are aligned, lies within one video frame of the reference.
Agreement compare(const Voices& reference, const Voices& ours) {
  Agreement a;
  const uint64_t refStart = firstCycle(reference), ourStart = firstCycle(ours);
  for (size_t v = 0; v < 3; ++v) {
    a.events += reference[v].size();
    for (size_t i = 0; i < reference[v].size() && i < ours[v].size(); ++i) {
      const NoteEvent& r = reference[v][i];
      const NoteEvent& o = ours[v][i];
      const auto refTime = static_cast<int64_t>(r.cycle - refStart);
      const auto ourTime = static_cast<int64_t>(o.cycle - ourStart);
      const bool samePitch = std::abs(int{o.frequency} - int{r.frequency}) * 100 <= r.frequency;
      if (samePitch && std::llabs(ourTime - refTime) <= static_cast<int64_t>(frameCycles)) ++a.matched;
    }
  }
  return a;
}

// Both event lists side by side, times in frames from the first note.
void printEvents(const Voices& reference, const Voices& ours) {
  const uint64_t refStart = firstCycle(reference), ourStart = firstCycle(ours);
  for (size_t v = 0; v < 3; ++v)
    for (size_t i = 0; i < std::max(reference[v].size(), ours[v].size()); ++i) {
      std::printf("    voice %zu #%3zu", v, i);
      if (i < reference[v].size())
        std::printf("  ref %8.2f %5u", static_cast<double>(reference[v][i].cycle - refStart) / frameCycles,
                    reference[v][i].frequency);
      if (i < ours[v].size())
        std::printf("  ours %8.2f %5u", static_cast<double>(ours[v][i].cycle - ourStart) / frameCycles,
                    ours[v][i].frequency);
      std::printf("\n");
    }
}

size_t countEvents(const Voices& voices) {
  size_t n = 0;
  for (const auto& v : voices) n += v.size();
  return n;
}

class MusPlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = createC64();
    ASSERT_NE(handle, 0);
    enableFixedStartup(handle);
  }
  void TearDown() override {
    if (handle) closeC64(handle);
  }
  int32_t handle = 0;
};

TEST_F(MusPlayback, NoteEventsOfMusFilesAloneAgreeWithTheOriginalPlayer) {
  REQUIRE_SHARED("reference/streams-mus-alone");
  REQUIRE_SHARED(musFolder);
  std::vector<fs::path> references;
  for (const auto& entry : fs::directory_iterator(sharedDir() / "reference/streams-mus-alone"))
    if (entry.path().string().ends_with(".mus.txt.gz")) references.push_back(entry.path());
  std::sort(references.begin(), references.end());
  ASSERT_EQ(references.size(), 15u);

  int agreeing = 0;
  std::printf("Note events of the first 14 s against the original player (tune played alone):\n");
  for (const fs::path& reference : references) {
    const std::string name = reference.filename().string().substr(0, reference.filename().string().size() - 7);
    // Alone: the .str companion stays behind.
    TTempDir dir;
    const fs::path tune = dir.path() / name;
    fs::copy_file(sharedDir() / musFolder / name, tune);
    ASSERT_TRUE(loadFile(handle, tune.string().c_str())) << name;
    EXPECT_EQ(getInitAddress(handle), 0xEC60) << name;
    const Voices expected = readReference(reference, 14.0);
    const Voices ours = play(handle, 15000);
    const Agreement a = compare(expected, ours);
    if (std::getenv("ZORVEX_MUS_EVENTS")) printEvents(expected, ours);
    const bool all = a.events > 0 && a.matched == a.events;
    agreeing += all;
    std::printf("  %-20s %4zu of %4zu events (%5.1f%%)%s\n", name.c_str(), a.matched, a.events,
                a.events ? 100.0 * static_cast<double>(a.matched) / static_cast<double>(a.events) : 0.0,
                all ? "" : "  differs");
  }
  std::printf("  %d of %zu tunes agree in every event\n", agreeing, references.size());
  EXPECT_GE(agreeing, kMatchingTunesFloor);
}

// Situations the corpus lacks, in Sidplayer files of our own (tests/data/mus,
// written by make_cases.py there), against the note events record.py took from
// the original player: tempo changes, rests and ties at the ends of voices,
// release points, interrupt rates, utility lengths, triplets and dots, lengths
// the original cannot count (the part stops), stereo parts that end apart.
// Every reference event must agree, and ours may have no others in that time.
TEST_F(MusPlayback, OwnSidplayerFilesAgreeWithTheOriginalPlayer) {
  const fs::path folder = fs::path(ZORVEX_SOURCE_DIR) / "tests/data/mus";
  std::ifstream in(folder / "events.txt");
  ASSERT_TRUE(in) << folder;
  std::map<std::string, Voices> cases;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    size_t voice = 0;
    NoteEvent e{};
    ASSERT_TRUE(fields >> name >> voice >> e.cycle >> e.frequency && voice < 3) << line;
    cases[name][voice].push_back(e);
  }
  ASSERT_EQ(cases.size(), 8u);
  const auto recorded = static_cast<uint64_t>(palClock * 14.0);
  for (const auto& [name, expected] : cases) {
    ASSERT_TRUE(loadFile(handle, (folder / name).string().c_str())) << name;
    const Voices ours = play(handle, 15000);
    const Agreement a = compare(expected, ours);
    EXPECT_EQ(a.matched, a.events) << name;
    const uint64_t window = recorded - firstCycle(expected) + frameCycles;
    for (size_t v = 0; v < 3; ++v) {
      const auto extra = std::count_if(ours[v].begin(), ours[v].end(),
                                       [&](const NoteEvent& e) { return e.cycle - firstCycle(ours) <= window; });
      EXPECT_EQ(static_cast<size_t>(extra), expected[v].size()) << name << " voice " << v;
    }
    if (a.matched != a.events && std::getenv("ZORVEX_MUS_EVENTS")) printEvents(expected, ours);
  }
}

// Sidplayer pairs of our own: every kind of note and the commands that shape
// them, checked at the chip.
TEST_F(MusPlayback, NotesAndCommandsReachTheChip) {
  const std::vector<uint8_t> voice1 = {
      0x06, 0x60,  // tempo 96: a whole note lasts 96 interrupts
      0x01, 0x87,  // pulse
      0x01, 0x24, 0x01, 0x50, 0x01, 0xD4, 0x01, 0x38,  // attack 4, decay 5, sustain 10, release 3
      0x42, 0x34,  // pulse width $434
      0x01, 0x2B, 0x01, 0x3B, 0x01, 0x1B,  // ring, sync, filtered
      0x01, 0x9E, 0x01, 0x37, 0x01, 0x5A, 0x0E, 0x80, 0x01, 0x5B,  // volume 9, low pass, resonance 5, cutoff, voice 3 off
      0x10, 0x99,  // quarter C4
      0x34, 0x9A,  // dotted eighth D4
      0x94, 0x9B,  // triplet eighth E4
      0x50, 0x9C,  // quarter F4 tied to
      0x10, 0x9D,  // quarter G4
      0x10, 0x00,  // quarter rest
      0x16, 0x05, 0x04, 0x9E,  // utility duration 5: A4
      0x36, 0x02, 0x18, 0x9F, 0x01, 0x0F,  // twice a sixteenth B4
      0x01, 0x16, 0x1C, 0x91, 0x01, 0x2F,  // phrase 1: a 32nd C5, played where it is defined
      0x01, 0x12,  // and called
      0xA6, 0x0C, 0x10, 0x99,  // an octave up: C4 sounds as C5
      0x0A, 0x64, 0x10, 0x99,  // detuned by 100
      // phrase 2 holds the definition of phrase 3: its end does not end phrase 2
      0x01, 0x26, 0x01, 0x36, 0x1C, 0x91, 0x01, 0x2F, 0x1C, 0x93, 0x01, 0x2F, 0x01, 0x22,
      0x01, 0x4F};
  const std::vector<uint8_t> voice2 = {0x42, 0x00, 0x56, 0x10, 0x01, 0x47, 0x08, 0x99, 0x01, 0x4F};  // pulse sweep
  // vibrato, on four whole notes: the part still plays when the test looks
  const std::vector<uint8_t> voice3 = {0x76, 0x0A, 0x86, 0x02, 0x01, 0x27, 0x36, 0x04, 0x08, 0x99, 0x01, 0x0F,
                                       0x01, 0x4F};
  std::vector<uint8_t> file = {0x00, 0x00};
  for (const auto* v : {&voice1, &voice2, &voice3}) {
    file.push_back(static_cast<uint8_t>(v->size()));
    file.push_back(static_cast<uint8_t>(v->size() >> 8));
  }
  for (const auto* v : {&voice1, &voice2, &voice3}) file.insert(file.end(), v->begin(), v->end());
  for (uint8_t c : {0x54, 0x45, 0x53, 0x54, 0x0D, 0x00}) file.push_back(c);
  TTempDir dir;
  ASSERT_TRUE(loadFile(handle, dir.write("commands.mus", file).string().c_str()));
  EXPECT_EQ(std::string(getTitle(handle)), "TEST\r\n");
  const NoteTracker t = playTracked(handle, 5000);

  // Equal temperament at A = 440 Hz on the 1,022,727 Hz clock the Sidplayer table assumes.
  const auto note = [](int semitonesFromC4) {
    return 440.0 * std::pow(2.0, (semitonesFromC4 - 9) / 12.0) * 16777216.0 / 1022727.0;
  };
  struct Expected {
    int tick;
    double frequency;
  };
  const std::vector<Expected> expected = {
      {0, note(0)},    {24, note(2)},   {42, note(4)},   {50, note(5)},  // the tied G4 opens no gate
      {122, note(9)},  {127, note(11)}, {133, note(11)}, {139, note(12)}, {142, note(12)},
      {145, note(12)}, {169, note(12) + 100}, {193, note(24) + 100}, {196, note(28) + 100},
      {199, note(24) + 100}, {202, note(28) + 100}};
  const auto& events = t.voices()[0];
  ASSERT_EQ(events.size(), expected.size());
  constexpr double interrupt = 16422.0;  // CIA 1 timer A: 60 interrupts a second
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(std::lround(static_cast<double>(events[i].cycle - events[0].cycle) / interrupt), expected[i].tick) << i;
    EXPECT_NEAR(events[i].frequency, expected[i].frequency, expected[i].frequency / 100) << i;
  }
  // After the halt: gate closed, the shape of the sound as set.
  EXPECT_EQ(t.reg(4), 0x46);  // pulse, ring, sync
  EXPECT_EQ(t.reg(5), 0x45);
  EXPECT_EQ(t.reg(6), 0xA3);
  EXPECT_EQ(t.reg(2) | t.reg(3) << 8, 0x434);
  EXPECT_EQ(t.reg(22), 0x80);
  EXPECT_EQ(t.reg(23), 0x59);  // resonance 5, voice 1 and (from start-up) the external input filtered
  EXPECT_EQ(t.reg(24), 0x99);  // voice 3 off, low pass, volume 9

  // Voice 2's pulse width grows by 16 each interrupt; voice 3 swings 2 steps of 10 about C4.
  std::vector<int> widths, pitches;
  uint8_t low = 0;
  for (const auto& w : t.log()) {
    if (w.reg == 9) low = w.value;
    if (w.reg == 10) widths.push_back(low | w.value << 8);
    if (w.reg == 14) low = w.value;
    if (w.reg == 15) pitches.push_back(low | w.value << 8);
  }
  ASSERT_GT(widths.size(), 50u);
  // (the first interrupt writes the start-up width before the voice reads its commands)
  for (size_t i = 3; i < 50; ++i) EXPECT_EQ(widths[i] - widths[i - 1], 16) << i;
  ASSERT_GT(pitches.size(), 50u);
  const int c4 = static_cast<int>(note(0));
  const auto [lowest, highest] = std::minmax_element(pitches.begin() + 2, pitches.begin() + 50);
  EXPECT_EQ(*highest - *lowest, 40);
  EXPECT_NEAR((*highest + *lowest) / 2, c4, c4 / 100);
}

// Beside its .str companion a .mus plays as stereo. The second part's player
// drives a second SID at $D500, which this machine maps onto the one SID: its
// writes join those of the first part, every register of its running voices each
// interrupt, and its notes join the first part's (where both open the same
// voice's gate at once only one opening shows). The joined note events agree
// with the original players' on two chips folded onto one.
TEST_F(MusPlayback, StereoPairsPlayBothParts) {
  REQUIRE_SHARED(musFolder);
  REQUIRE_SHARED("reference/streams/mus");
  int pairs = 0, agreeing = 0;
  for (const auto& entry : fs::directory_iterator(sharedDir() / musFolder)) {
    if (entry.path().extension() != ".mus") continue;
    fs::path companion = entry.path();
    companion.replace_extension(".str");
    if (!fs::exists(companion)) continue;
    ++pairs;
    const std::string name = entry.path().filename().string();

    TTempDir dir;
    const fs::path alone = dir.path() / name;
    fs::copy_file(entry.path(), alone);
    ASSERT_TRUE(loadFile(handle, alone.string().c_str())) << name;
    const NoteTracker firstPart = playTracked(handle, 6000);

    ASSERT_TRUE(loadFile(handle, entry.path().string().c_str())) << name;
    EXPECT_EQ(getInitAddress(handle), 0xFC90) << name;
    EXPECT_EQ(getPlayAddress(handle), 0xFC96) << name;
    const NoteTracker bothParts = playTracked(handle, 6000);
    EXPECT_GT(countEvents(firstPart.voices()), 0u) << name;
    EXPECT_GE(countEvents(bothParts.voices()), countEvents(firstPart.voices())) << name;
    // A halted voice writes only its control register; every pair keeps at least two voices going.
    EXPECT_GT(bothParts.writes(), firstPart.writes() * 3 / 2) << name << ": the second player does not run";

    const fs::path reference = sharedDir() / "reference/streams" / fs::relative(entry.path(), sharedDir() / "corpus");
    ASSERT_TRUE(loadFile(handle, entry.path().string().c_str())) << name;
    const Agreement a = compare(readReference(reference.string() + ".txt.gz", 14.0), play(handle, 15000));
    agreeing += a.events > 0 && a.matched == a.events;
    std::printf("  %-20s %4zu of %4zu events of both parts agree\n", name.c_str(), a.matched, a.events);

    // Named by its .str, the pair loads the same way, the .mus as first part.
    ASSERT_TRUE(loadFile(handle, companion.string().c_str())) << name;
    EXPECT_EQ(getInitAddress(handle), 0xFC90) << name;
    const NoteTracker byCompanion = playTracked(handle, 6000);
    EXPECT_EQ(byCompanion.writes(), bothParts.writes()) << name;
    EXPECT_EQ(countEvents(byCompanion.voices()), countEvents(bothParts.voices())) << name;
  }
  EXPECT_EQ(pairs, 15);
  EXPECT_GE(agreeing, kMatchingPairsFloor);
}

}  // namespace
