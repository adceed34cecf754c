// The exported interface as a caller of libzorvex.so sees it: the instance table,
// handles without an instance, the tune record, the memory images, the options
// and the run state machine, driven with small tunes written here.
#include "zorvex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "TempDir.h"

namespace {

// 6502 code for the fixture tunes, assembled by hand.
class TCode {
 public:
  explicit TCode(uint16_t origin) : origin_(origin) {}

  TCode& bytes(std::initializer_list<uint8_t> code) {
    bytes_.insert(bytes_.end(), code);
    return *this;
  }
  TCode& lda(uint8_t value) { return bytes({0xA9, value}); }
  TCode& sta(uint16_t address) { return bytes({0x8D, lo(address), hi(address)}); }
  TCode& rts() { return bytes({0x60}); }

  // Exactly `cycles` cycles (any number but 1) that leave A alone.
  TCode& wait(uint32_t cycles) {
    EXPECT_NE(cycles, 1u);
    // LDY #m / LDX #0 / DEX / BNE -3 / DEY / BNE -8: 1286 m + 1 cycles.
    while (cycles >= 1286 + 1 + 8) {
      const uint32_t m = std::min<uint32_t>(255, (cycles - 9) / 1286);
      bytes({0xA0, static_cast<uint8_t>(m), 0xA2, 0x00, 0xCA, 0xD0, 0xFD, 0x88, 0xD0, 0xF8});
      cycles -= 1286 * m + 1;
    }
    // LDX #k / DEX / BNE -3: 5 k + 1 cycles (k = 256 as 0).
    while (cycles > 1283) {
      bytes({0xA2, 0x00, 0xCA, 0xD0, 0xFD});
      cycles -= 1281;
    }
    if (cycles >= 8) {
      const uint32_t k = (cycles - 3) / 5;
      bytes({0xA2, static_cast<uint8_t>(k), 0xCA, 0xD0, 0xFD});
      cycles -= 5 * k + 1;
    }
    if (cycles % 2) {
      bytes({0x24, 0xFB});  // BIT $FB
      cycles -= 3;
    }
    for (; cycles > 0; cycles -= 2) bytes({0xEA});
    return *this;
  }

  uint16_t here() const { return static_cast<uint16_t>(origin_ + bytes_.size()); }
  const std::vector<uint8_t>& data() const {
    // A taken branch into another page costs a cycle more than wait counts.
    EXPECT_EQ(origin_ >> 8, (here() - 1) >> 8) << "fixture code crosses a page";
    return bytes_;
  }

 private:
  static uint8_t lo(uint16_t w) { return static_cast<uint8_t>(w); }
  static uint8_t hi(uint16_t w) { return static_cast<uint8_t>(w >> 8); }

  uint16_t origin_;
  std::vector<uint8_t> bytes_;
};

// A version 2 PSID file.
struct TPsid {
  uint16_t load = 0x1000;
  uint16_t init = 0x1000;
  uint16_t play = 0;
  uint16_t songs = 1;
  uint16_t startSong = 1;
  uint32_t speed = 0;
  uint8_t flags = 0x14;  // PAL, 6581
  std::string title = "Fixture";
  std::string author = "Zorvex tests";
  std::string released = "2024";
  std::vector<uint8_t> data;

  std::vector<uint8_t> file() const {
    std::vector<uint8_t> out(0x7C + data.size(), 0);
    std::memcpy(out.data(), "PSID", 4);
    auto word = [&](std::size_t at, uint16_t v) {
      out[at] = static_cast<uint8_t>(v >> 8);
      out[at + 1] = static_cast<uint8_t>(v);
    };
    auto text = [&](std::size_t at, const std::string& s) {
      std::copy_n(s.begin(), std::min<std::size_t>(s.size(), 32), out.begin() + static_cast<std::ptrdiff_t>(at));
    };
    word(0x04, 2);
    word(0x06, 0x7C);
    word(0x08, load);
    word(0x0A, init);
    word(0x0C, play);
    word(0x0E, songs);
    word(0x10, startSong);
    word(0x12, static_cast<uint16_t>(speed >> 16));
    word(0x14, static_cast<uint16_t>(speed));
    text(0x16, title);
    text(0x36, author);
    text(0x56, released);
    out[0x77] = flags;
    std::copy(data.begin(), data.end(), out.begin() + 0x7C);
    return out;
  }
};

// Init sets the volume; play returns at once.
TPsid volumeTune() {
  TCode code(0x1000);
  code.lda(0x0F).sta(0xD418).rts();
  TPsid psid;
  psid.play = code.here();
  code.rts();
  psid.data = code.data();
  return psid;
}

// Init counts its calls in RAM and writes the count to the volume register.
TPsid countingTune() {
  TCode code(0x1000);
  code.bytes({0xEE, 0xF0, 0x10, 0xAD, 0xF0, 0x10}).sta(0xD418).rts();  // INC $10F0, LDA $10F0
  TPsid psid;
  psid.data = code.data();
  return psid;
}

// Init writes the volume twice, `gap` cycles apart, after blanking the screen and
// waiting past line 48 of the next frame, so that no bad line steals cycles from
// the gap.
TPsid timedWrites(uint32_t gap) {
  TCode code(0x1000);
  code.lda(0x0B).sta(0xD011).wait(25000);
  // The first STA's own cycles are part of the gap.
  code.lda(0x0F).sta(0xD418).wait(gap - 4).sta(0xD418).rts();
  TPsid psid;
  psid.play = code.here();
  code.rts();
  psid.data = code.data();
  return psid;
}

// Voice 1 starts with a pitch, then a gate with a waveform; play steps the pitch.
TPsid noteTune() {
  TCode code(0x1000);
  code.lda(0x10).sta(0xD400).sta(0xD401).lda(0x11).sta(0xD404).rts();
  TPsid psid;
  psid.play = code.here();
  code.bytes({0xEE, 0x00, 0xD4}).rts();  // INC $D400
  psid.data = code.data();
  return psid;
}

struct TStep {
  int32_t result, command, cycles, reg, data;
  bool operator==(const TStep&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TStep& s) {
  return os << "{run " << s.result << ", command " << s.command << ", cycles " << s.cycles << ", register " << s.reg
            << ", data " << s.data << "}";
}

TStep step(int32_t h) {
  const int32_t result = run(h);
  return {result, getCommand(h), getCycles(h), getRegister(h), getData(h)};
}

// The next write the stream reports, skipping idle calls, reads and markers.
TStep nextWrite(int32_t h) {
  for (int i = 0; i < 5000; ++i) {
    const TStep s = step(h);
    if (s.command == ZORVEX_CMD_WRITE) return s;
  }
  return {};
}

class Exports : public ::testing::Test {
 protected:
  ~Exports() override {
    for (int32_t h : handles_) closeC64(h);
  }

  int32_t create() {
    const int32_t h = createC64();
    if (h != 0) handles_.push_back(h);
    return h;
  }
  std::string save(const std::string& name, const std::vector<uint8_t>& bytes) {
    return dir_.write(name, bytes).string();
  }
  // A new instance with the tune loaded and its first song selected; 0 on failure.
  int32_t loaded(const TPsid& psid) {
    const int32_t h = create();
    if (h == 0 || !loadFile(h, save("tune" + std::to_string(h) + ".sid", psid.file()).c_str())) return 0;
    setSongToPlay(h, 0);
    return h;
  }

  TTempDir dir_;
  std::vector<int32_t> handles_;
};

constexpr uint8_t fill = 0xAA;

bool untouched(const std::vector<uint8_t>& buffer, std::size_t from = 0) {
  return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(from), buffer.end(),
                     [](uint8_t b) { return b == fill; });
}

}  // namespace

// ---- instances ---------------------------------------------------------------------

TEST_F(Exports, HandlesAreTheLowestFreeSlotsUpTo255) {
  for (int32_t expected = 1; expected <= 255; ++expected) ASSERT_EQ(create(), expected);
  EXPECT_EQ(createC64(), 0);
  EXPECT_EQ(closeC64(5), 1);
  EXPECT_EQ(create(), 5);
  EXPECT_EQ(closeC64(200), 1);
  EXPECT_EQ(closeC64(100), 1);
  EXPECT_EQ(create(), 100);
  EXPECT_EQ(create(), 200);
  EXPECT_EQ(createC64(), 0);
}

TEST_F(Exports, CloseOnlySucceedsForALiveInstance) {
  EXPECT_EQ(closeC64(1), 0);  // no instance at all
  const int32_t h = create();
  ASSERT_NE(h, 0);
  for (int32_t bad : {0, 256, -1, h + 1}) EXPECT_EQ(closeC64(bad), 0) << bad;
  EXPECT_EQ(closeC64(h), 1);
  EXPECT_EQ(closeC64(h), 0);
  EXPECT_EQ(create(), h);
}

TEST_F(Exports, HandlesWithoutAnInstanceGetNeutralAnswers) {
  // A live instance beside them must neither answer in their place nor change.
  const int32_t live = loaded(volumeTune());
  ASSERT_NE(live, 0);
  const int32_t closed = create();
  ASSERT_NE(closed, 0);
  ASSERT_EQ(closeC64(closed), 1);

  for (int32_t h : {closed, 0, -7, 256, 77}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(loadFile(h, save("dead.sid", volumeTune().file()).c_str()), 0);
    setSongToPlay(h, 0);
    EXPECT_EQ(run(h), 0);
    EXPECT_EQ(getCommand(h), 0);
    EXPECT_EQ(getRegister(h), 0);
    EXPECT_EQ(getData(h), 0);
    EXPECT_EQ(getCycles(h), 0);
    EXPECT_EQ(getTime(h), 0);
    EXPECT_EQ(getNumberOfSongs(h), 0);
    EXPECT_EQ(getDefaultSong(h), 0);
    EXPECT_EQ(getLoadAddress(h), 0);
    EXPECT_EQ(getLoadEndAddress(h), 0);
    EXPECT_EQ(getInitAddress(h), 0);
    EXPECT_EQ(getPlayAddress(h), 0);
    for (const char* text : {getTitle(h), getAuthor(h), getReleased(h), getMD5Hash(h)}) {
      ASSERT_NE(text, nullptr);
      EXPECT_STREQ(text, "");
    }
    EXPECT_EQ(getSIDModel(h), 0);
    setC64Version(h, 3);
    EXPECT_EQ(getC64Version(h), 0);
    pressButtons(h);
    enableFixedStartup(h);
    skipSilence(h, 1);
    enableVolumeFix(h, 1);
    clearMemUsageOnFirstSIDAccess(h, 1);
    std::vector<uint8_t> buffer(65536, fill);
    getMemory(h, buffer.data(), 65536);
    getMemoryUsageRam(h, buffer.data(), 65536);
    getMemoryUsageRom(h, buffer.data(), 65536);
    EXPECT_TRUE(untouched(buffer));
    EXPECT_EQ(getSTILEntry(h), nullptr);
    EXPECT_EQ(getSongLength(h), 0);
  }
  EXPECT_EQ(getNumberOfSongs(live), 1);
  EXPECT_EQ(getC64Version(live), 1);
  const TStep first = step(live);
  EXPECT_EQ(first.command, ZORVEX_CMD_WRITE);
  EXPECT_EQ(first.reg, 24);
}

// ---- tune record -----------------------------------------------------------------------

TEST_F(Exports, TuneRecordAsTheExportsReportIt) {
  TPsid psid = volumeTune();
  psid.songs = 3;
  psid.startSong = 2;
  psid.flags = 0x24;  // PAL, 8580
  psid.title = "Fixture Title";
  psid.author = "Some One";
  psid.released = "2024 Us";
  const int32_t h = loaded(psid);
  ASSERT_NE(h, 0);

  EXPECT_EQ(getNumberOfSongs(h), 3);
  EXPECT_EQ(getDefaultSong(h), 1);
  EXPECT_EQ(getLoadAddress(h), 0x1000);
  EXPECT_EQ(getLoadEndAddress(h), 0x1000 + static_cast<int32_t>(psid.data.size()));
  EXPECT_EQ(getInitAddress(h), 0x1000);
  EXPECT_EQ(getPlayAddress(h), 0x1006);
  EXPECT_EQ(getSIDModel(h), 2);
  EXPECT_EQ(getC64Version(h), 1);
  EXPECT_EQ(std::strlen(getMD5Hash(h)), 32u);

  // Texts stay valid while the instance plays, until the next load.
  const char* title = getTitle(h);
  const char* author = getAuthor(h);
  const char* released = getReleased(h);
  for (int i = 0; i < 50; ++i) run(h);
  setSongToPlay(h, 2);
  for (int i = 0; i < 50; ++i) run(h);
  EXPECT_STREQ(title, "Fixture Title");
  EXPECT_STREQ(author, "Some One");
  EXPECT_STREQ(released, "2024 Us");

  setC64Version(h, 2);
  EXPECT_EQ(getC64Version(h), 2);
  setC64Version(h, 4);
  EXPECT_EQ(getC64Version(h), 0);
  setC64Version(h, 7);
  EXPECT_EQ(getC64Version(h), 3);
}

TEST_F(Exports, DefaultSongOfAPsidWithoutOneAndOfAProgram) {
  TPsid psid = volumeTune();
  psid.startSong = 0;
  const int32_t sid = loaded(psid);
  ASSERT_NE(sid, 0);
  EXPECT_EQ(getDefaultSong(sid), -1);

  const int32_t prg = create();
  ASSERT_NE(prg, 0);
  // 10 SYS2061, then RTS at $080D.
  const std::vector<uint8_t> program = {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32,
                                        0x30, 0x36, 0x31, 0x00, 0x00, 0x00, 0x60};
  ASSERT_EQ(loadFile(prg, save("Sys Tune.prg", program).c_str()), 1);
  EXPECT_EQ(getDefaultSong(prg), 0);
  EXPECT_EQ(getNumberOfSongs(prg), 1);
  EXPECT_STREQ(getTitle(prg), "Sys Tune.prg");
}

TEST_F(Exports, NoTuneIsNoSuccessAndTheLoadEndStaysInTheAddressSpace) {
  const int32_t h = create();
  ASSERT_NE(h, 0);
  EXPECT_EQ(loadFile(h, save("magic.sid", {'P', 'S', 'I', 'D'}).c_str()), 0);
  EXPECT_EQ(loadFile(h, save("magic.sid", {'R', 'S', 'I', 'D', 0, 2}).c_str()), 0);

  // Load address $FFFF with 5,000 bytes: placed up to $FFFF, reported up to $10000.
  TPsid high = volumeTune();
  high.load = 0xFFFF;
  high.data.assign(5000, 0xEA);
  ASSERT_EQ(loadFile(h, save("high.sid", high.file()).c_str()), 1);
  EXPECT_EQ(getLoadAddress(h), 0xFFFF);
  EXPECT_EQ(getLoadEndAddress(h), 0x10000);

  // A program longer than memory.
  std::vector<uint8_t> program(70000, 0xEA);
  program[0] = 0x01, program[1] = 0x08;
  ASSERT_EQ(loadFile(h, save("long.prg", program).c_str()), 1);
  EXPECT_EQ(getLoadEndAddress(h), 0x10000);
}

// ---- memory images ------------------------------------------------------------------------

TEST_F(Exports, MemoryCopiesAreBoundedAt64K) {
  const TPsid psid = volumeTune();
  const int32_t h = loaded(psid);
  ASSERT_NE(h, 0);

  std::vector<uint8_t> buffer(100000, fill);
  getMemory(h, buffer.data(), static_cast<int32_t>(buffer.size()));
  EXPECT_TRUE(std::equal(psid.data.begin(), psid.data.end(), buffer.begin() + 0x1000));
  EXPECT_NE(buffer[65535], fill);  // the last byte of RAM is copied: $FFFF is 0 after loading
  EXPECT_TRUE(untouched(buffer, 65536));

  for (int32_t length : {0, -1, -100000}) {
    std::vector<uint8_t> none(16, fill);
    getMemory(h, none.data(), length);
    getMemoryUsageRam(h, none.data(), length);
    getMemoryUsageRom(h, none.data(), length);
    EXPECT_TRUE(untouched(none)) << length;
  }
  std::vector<uint8_t> few(16, fill);
  getMemory(h, few.data(), 3);
  EXPECT_TRUE(untouched(few, 3));
  getMemory(h, nullptr, 65536);
}

TEST_F(Exports, UsageMapsAfterPlaying) {
  const int32_t h = loaded(volumeTune());
  ASSERT_NE(h, 0);
  for (int i = 0; i < 100; ++i) run(h);

  std::vector<uint8_t> ram(65536), rom(65536);
  getMemoryUsageRam(h, ram.data(), 65536);
  getMemoryUsageRom(h, rom.data(), 65536);
  // The RAM map comes whole: loaded and fetched code, and the stack's return address
  // written by the start-up before anything read it.
  EXPECT_EQ(ram[0x1000], 0x82);
  EXPECT_EQ(ram[0x01FF] & 0x1C, 0x1C);
  // The ROM map never shows "first access" or "written before read"...
  EXPECT_TRUE(std::none_of(rom.begin(), rom.end(), [](uint8_t b) { return b & 0x14; }));
  // ...but keeps its other marks: the volume register was written.
  EXPECT_EQ(rom[0xD418], 0x08);
}

// ---- options ----------------------------------------------------------------------------

TEST_F(Exports, VolumeFixIsCopiedIntoEveryNewStreamByItsLowByte) {
  const int32_t h = create();
  ASSERT_NE(h, 0);
  enableVolumeFix(h, 1);
  ASSERT_EQ(loadFile(h, save("note.sid", noteTune().file()).c_str()), 1);
  setSongToPlay(h, 0);
  // The tune sets no volume: one is put before its first note.
  TStep first = nextWrite(h);
  EXPECT_EQ(first.reg, 24);
  EXPECT_EQ(first.data, 15);

  enableVolumeFix(h, 0x100);
  setSongToPlay(h, 0);
  first = nextWrite(h);
  EXPECT_EQ(first.reg, 0);
  EXPECT_EQ(first.data, 0x10);
}

// ---- run --------------------------------------------------------------------------------

TEST_F(Exports, FirstRunAfterSongSelectionOnlyStartsTheTune) {
  // Without a play address init runs in the ordinary slices, so the starting call
  // itself produces nothing.
  const int32_t h = loaded(countingTune());
  ASSERT_NE(h, 0);
  EXPECT_EQ(step(h), (TStep{0, ZORVEX_CMD_IDLE, 0, 0, 0}));
  TStep write = step(h);
  EXPECT_EQ(write.command, ZORVEX_CMD_WRITE);
  EXPECT_EQ(write.reg, 24);
  EXPECT_EQ(write.data, 1);
  for (int i = 0; i < 100; ++i) run(h);
  EXPECT_GT(getTime(h), 0);

  // Selecting a song again starts over: memory as loaded, clock, stream and the
  // start-only call.
  setSongToPlay(h, 0);
  EXPECT_EQ(getTime(h), 0);
  EXPECT_EQ(step(h), (TStep{0, ZORVEX_CMD_IDLE, 0, 0, 0}));
  const TStep again = step(h);
  EXPECT_EQ(again.command, ZORVEX_CMD_WRITE);
  EXPECT_EQ(again.reg, 24);
  EXPECT_EQ(again.data, 1);

  // With a play address the start-up runs init, and its write comes at once.
  const int32_t withPlay = loaded(volumeTune());
  ASSERT_NE(withPlay, 0);
  write = step(withPlay);
  EXPECT_EQ(write.command, ZORVEX_CMD_WRITE);
  EXPECT_EQ(write.reg, 24);
  EXPECT_EQ(step(withPlay).command, ZORVEX_CMD_INIT_DONE);
}

TEST_F(Exports, LongDelayComesAsPiecesOf65535Cycles) {
  const int32_t h = loaded(timedWrites(200000));
  ASSERT_NE(h, 0);
  ASSERT_EQ(step(h).command, ZORVEX_CMD_WRITE);
  EXPECT_EQ(step(h), (TStep{200000, ZORVEX_CMD_DELAY, 65535, 24, 15}));
  EXPECT_EQ(step(h), (TStep{134465, ZORVEX_CMD_DELAY, 65535, 24, 15}));
  EXPECT_EQ(step(h), (TStep{68930, ZORVEX_CMD_DELAY, 65535, 24, 15}));
  EXPECT_EQ(step(h), (TStep{3395, ZORVEX_CMD_WRITE, 3395, 24, 15}));
  const TStep done = step(h);
  EXPECT_EQ(done.command, ZORVEX_CMD_INIT_DONE);
  EXPECT_EQ(done.result, 0xA1);
}

TEST_F(Exports, DelaysAroundTheLongestWait) {
  const int32_t exact = loaded(timedWrites(65535));
  ASSERT_NE(exact, 0);
  ASSERT_EQ(step(exact).command, ZORVEX_CMD_WRITE);
  EXPECT_EQ(step(exact), (TStep{65535, ZORVEX_CMD_WRITE, 65535, 24, 15}));

  const int32_t over = loaded(timedWrites(65536));
  ASSERT_NE(over, 0);
  ASSERT_EQ(step(over).command, ZORVEX_CMD_WRITE);
  EXPECT_EQ(step(over), (TStep{65536, ZORVEX_CMD_DELAY, 65535, 24, 15}));
  EXPECT_EQ(step(over), (TStep{1, ZORVEX_CMD_WRITE, 1, 24, 15}));
}

// ---- version -------------------------------------------------------------------------------

TEST(ExportsVersion, IsOneThreeSeven) { EXPECT_EQ(getVersion(), 311); }
