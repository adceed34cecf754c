// Recognising tune files, the tune record and the fingerprint, on files the
// tests write themselves.
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "lib/machine/MachineFixture.h"
#include "SidLoader.h"
#include "TempDir.h"
#include "WMD5.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, std::size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

struct Psid {
  std::string magic = "PSID";
  uint16_t version = 2, dataOffset = 0x7C, load = 0, init = 0x1000, play = 0x1003, songs = 1, start = 1;
  uint32_t speed = 0;
  uint8_t flags = 0;
  std::string name = "Tune", author = "Someone", released = "1987 Nobody";
  Bytes data = {0x00, 0x10, 0xA9, 0x00, 0x60, 0xEE, 0x20, 0xD0, 0x60, 0x42};

  Bytes bytes() const {
    Bytes b(std::max<std::size_t>(dataOffset, 0x76), 0);
    std::copy(magic.begin(), magic.end(), b.begin());
    put16(b, 0x04, version);
    put16(b, 0x06, dataOffset);
    put16(b, 0x08, load);
    put16(b, 0x0A, init);
    put16(b, 0x0C, play);
    put16(b, 0x0E, songs);
    put16(b, 0x10, start);
    put16(b, 0x12, static_cast<uint16_t>(speed >> 16));
    put16(b, 0x14, static_cast<uint16_t>(speed));
    std::copy(name.begin(), name.end(), b.begin() + 0x16);
    std::copy(author.begin(), author.end(), b.begin() + 0x36);
    std::copy(released.begin(), released.end(), b.begin() + 0x56);
    if (b.size() > 0x77) b[0x77] = flags;
    b.insert(b.end(), data.begin(), data.end());
    return b;
  }
};

// The fingerprint built by hand: C64 data, init, play, song count, one speed
// byte per song, the NTSC byte.
std::string fingerprintOf(const Bytes& c64Data, uint16_t init, uint16_t play, const std::vector<bool>& ciaSongs,
                          bool ntscOnly) {
  TMd5Stream md5;
  md5.write(c64Data.data(), c64Data.size());
  for (uint16_t word : {init, play}) {
    md5.write(static_cast<uint8_t>(word));
    md5.write(static_cast<uint8_t>(word >> 8));
  }
  md5.write(static_cast<uint8_t>(ciaSongs.size()));
  md5.write(static_cast<uint8_t>(ciaSongs.size() >> 8));
  for (bool cia : ciaSongs) md5.write(static_cast<uint8_t>(cia ? 60 : 0));
  if (ntscOnly) md5.write(uint8_t{2});
  return md5.digest();
}

std::string md5Of(const Bytes& b, std::size_t from) {
  TMd5Stream md5;
  md5.write(b.data() + from, b.size() - from);
  return md5.digest();
}

class Loader : public MachineTest {
 protected:
  bool load(const std::string& name, const Bytes& bytes) { return tune.load(dir.write(name, bytes).string(), 0); }
  std::string fingerprint(const Psid& psid) {
    EXPECT_TRUE(load("fp.sid", psid.bytes()));
    return tune.md5;
  }

  TTempDir dir;
  TSidFile tune{*c64};
};

TEST_F(Loader, HeaderFieldsReachTheTuneRecord) {
  Psid psid;
  psid.name = std::string(32, 'N');  // fills the field: no NUL ends it
  psid.speed = 0x00000005;
  psid.flags = 0x3E;
  psid.init = 0x1003;
  psid.play = 0x1006;
  ASSERT_TRUE(load("fields.sid", psid.bytes()));
  EXPECT_EQ(tune.title, std::string(32, 'N'));
  EXPECT_EQ(tune.author, "Someone");
  EXPECT_EQ(tune.released, "1987 Nobody");
  EXPECT_EQ(tune.loadAddress, 0x1000);  // from the data's first two bytes
  EXPECT_EQ(tune.dataLength, 8);
  EXPECT_EQ(tune.dataOffset, 0x7C);
  EXPECT_EQ(tune.initAddress, 0x1003);
  EXPECT_EQ(tune.playAddress, 0x1006);
  EXPECT_EQ(tune.speed, 5u);
  EXPECT_TRUE(tune.playSidSpecific && tune.pal && tune.ntsc && tune.sid6581 && tune.sid8580);
  EXPECT_FALSE(tune.realC64);
  EXPECT_TRUE(conventions().playSid);
  EXPECT_EQ(c64->ram[0x1000], 0xA9);

  psid.load = 0x2000;  // explicit: the data's first bytes are C64 data
  psid.init = 0;
  psid.flags = 0;
  ASSERT_TRUE(load("explicit.sid", psid.bytes()));
  EXPECT_EQ(tune.loadAddress, 0x2000);
  EXPECT_EQ(tune.initAddress, 0x2000);
  EXPECT_EQ(tune.dataLength, 10);
  EXPECT_EQ(c64->ram[0x2000], 0x00);
  EXPECT_EQ(c64->ram[0x2002], 0xA9);
  EXPECT_FALSE(conventions().playSid);
}

TEST_F(Loader, SongCountIsClampedAndStartSongFallsBackToOne) {
  const struct {
    uint16_t songs, start;
    int32_t expectSongs, expectStart;
  } cases[] = {{0, 1, 1, 1}, {300, 1, 256, 1}, {3, 5, 3, 1}, {3, 0, 3, 0}, {256, 256, 256, 256}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.songs << " songs, start " << c.start);
    Psid psid;
    psid.songs = c.songs;
    psid.start = c.start;
    ASSERT_TRUE(load("songs.sid", psid.bytes()));
    EXPECT_EQ(tune.songs, c.expectSongs);
    EXPECT_EQ(tune.startSong, c.expectStart);
    EXPECT_EQ(tune.md5.empty(), c.songs > 256);
  }
}

TEST_F(Loader, VersionOneHeaderHasNoFlags) {
  // The byte at $77 is tune data here; read as flags it would claim PlaySID,
  // NTSC only and the BASIC start.
  Psid psid;
  psid.version = 1;
  psid.dataOffset = 0x76;
  psid.load = 0x0801;
  psid.init = 0;
  psid.songs = 40;
  psid.speed = 0x80000001;
  psid.data = {0x0B, 0x2A, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36, 0x31, 0x00};
  ASSERT_TRUE(load("v1.sid", psid.bytes()));
  EXPECT_FALSE(tune.playSidSpecific || tune.pal || tune.ntsc || tune.sid6581 || tune.sid8580);
  EXPECT_EQ(tune.initAddress, 0x0801);
  std::vector<bool> cia(40, false);
  cia[0] = true;
  for (int song = 31; song < 40; ++song) cia[song] = true;
  EXPECT_EQ(tune.md5, fingerprintOf(psid.data, 0, 0x1003, cia, false));
}

TEST_F(Loader, SongsFromThirtyTwoOnFollowBitThirtyOneUnlessPlaySid) {
  Psid psid;
  psid.songs = 40;
  psid.speed = 0x80000000;
  const Bytes c64Data(psid.data.begin() + 2, psid.data.end());
  std::vector<bool> cia(40, false);
  for (int song = 31; song < 40; ++song) cia[song] = true;
  EXPECT_EQ(fingerprint(psid), fingerprintOf(c64Data, 0x1000, 0x1003, cia, false));

  psid.flags = 0x02;  // PlaySID repeats the 32 bits
  std::vector<bool> repeated(40, false);
  repeated[31] = true;
  EXPECT_EQ(fingerprint(psid), fingerprintOf(c64Data, 0x1000, 0x1003, repeated, false));
}

TEST_F(Loader, FingerprintKeepsToDataAddressesSongsAndNtsc) {
  const Psid base;
  const std::string reference = fingerprint(base);
  const Bytes c64Data(base.data.begin() + 2, base.data.end());
  EXPECT_EQ(reference, fingerprintOf(c64Data, 0x1000, 0x1003, {false}, false));

  auto variant = [&](auto change) {
    Psid psid;
    change(psid);
    return fingerprint(psid);
  };
  EXPECT_EQ(variant([](Psid& p) { p.name = "Other"; }), reference);
  EXPECT_EQ(variant([](Psid& p) { p.author = "Other"; }), reference);
  EXPECT_EQ(variant([](Psid& p) { p.released = "2024"; }), reference);
  EXPECT_EQ(variant([](Psid& p) { p.version = 3; }), reference);
  EXPECT_EQ(variant([](Psid& p) {
              p.start = 1;
              p.songs = 0;
            }),
            reference);
  EXPECT_EQ(variant([](Psid& p) { p.flags = 0x0C; }), reference);  // PAL and NTSC
  EXPECT_EQ(variant([](Psid& p) { p.flags = 0x34; }), reference);  // PAL, models
  EXPECT_EQ(variant([](Psid& p) { p.flags = 0x08; }), fingerprintOf(c64Data, 0x1000, 0x1003, {false}, true));
  EXPECT_NE(variant([](Psid& p) { p.data.push_back(0); }), reference);
  EXPECT_NE(variant([](Psid& p) { p.speed = 1; }), reference);

  Psid twoSongs;
  twoSongs.songs = 2;
  twoSongs.start = 2;
  Psid startOne = twoSongs;
  startOne.start = 1;
  EXPECT_EQ(fingerprint(twoSongs), fingerprint(startOne));
}

TEST_F(Loader, FilesThatHoldNoTuneAreRefused) {
  // A header cut short of the length its version states, however it begins.
  for (const char* magic : {"PSID", "RSID"}) {
    Psid psid;
    psid.magic = magic;
    const Bytes whole = psid.bytes();
    for (std::size_t keep : {std::size_t{4}, std::size_t{0x50}, std::size_t{0x76}, std::size_t{0x7B}})
      EXPECT_FALSE(load("cut.sid", Bytes(whole.begin(), whole.begin() + static_cast<long>(keep)))) << keep;
  }
  // Version 1 ends its header at $76, later versions at $7C.
  Psid one;
  one.version = 1;
  one.dataOffset = 0x76;
  EXPECT_TRUE(load("one.sid", one.bytes()));
  Psid two = one;
  two.version = 2;
  EXPECT_FALSE(load("two.sid", two.bytes())) << "data offset inside a version 2 header";
  Psid inside;
  inside.dataOffset = 0x50;
  EXPECT_FALSE(load("inside.sid", inside.bytes()));

  // A data offset at or past the end, or nothing behind the load address.
  Psid noData;
  noData.data.clear();
  EXPECT_FALSE(load("empty.sid", noData.bytes()));
  Psid addressOnly;
  addressOnly.data = {0x00, 0x10};
  EXPECT_FALSE(load("address.sid", addressOnly.bytes()));
  addressOnly.data.push_back(0x60);
  EXPECT_TRUE(load("address.sid", addressOnly.bytes())) << "one data byte is a tune";
  Psid given;
  given.load = 0x1000;
  given.data = {0x60};
  EXPECT_TRUE(load("given.sid", given.bytes()));
  Bytes beyond = Psid().bytes();
  put16(beyond, 0x06, 0xFFF0);
  EXPECT_FALSE(load("beyond.sid", beyond));
  put16(beyond, 0x06, static_cast<uint16_t>(beyond.size()));
  EXPECT_FALSE(load("at-end.sid", beyond));

  // A refused load leaves no tune: the next good one loads as if it were the first.
  ASSERT_TRUE(load("given.sid", given.bytes()));
  EXPECT_EQ(tune.loadAddress, 0x1000);
  EXPECT_EQ(tune.dataLength, 1);
}

TEST_F(Loader, WholeFileDigestCoversEveryByteOfTunesUpToTheBufferSize) {
  Psid psid;
  const Bytes sid = psid.bytes();
  ASSERT_TRUE(load("tune.sid", sid));
  EXPECT_EQ(tune.fileMd5, md5Of(sid, 0));
  EXPECT_NE(tune.fileMd5, tune.md5);
  const Bytes program = {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36, 0x31, 0x00, 0x00, 0x00};
  ASSERT_TRUE(load("tune.prg", program));
  EXPECT_EQ(tune.fileMd5, md5Of(program, 0));

  // The largest file that can be a collection tune, and one byte more.
  psid.data.resize(TSidFile::bufferSize - 0x7C, 0x5A);
  const Bytes largest = psid.bytes();
  ASSERT_EQ(largest.size(), TSidFile::bufferSize);
  ASSERT_TRUE(load("largest.sid", largest));
  EXPECT_EQ(tune.fileMd5, md5Of(largest, 0));
  psid.data.push_back(0x5A);
  ASSERT_TRUE(load("larger.sid", psid.bytes()));
  EXPECT_EQ(tune.fileMd5, "");
}

TEST_F(Loader, RsidStartsBasicAtRunAndIsAlwaysCiaTimed) {
  Psid rsid;
  rsid.magic = "RSID";
  rsid.init = 0;
  rsid.play = 0;
  rsid.flags = 0x02;
  rsid.songs = 3;
  rsid.data = {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36, 0x31, 0x00};
  ASSERT_TRUE(load("basic.sid", rsid.bytes()));
  EXPECT_EQ(tune.initAddress, 0xA7AE);
  EXPECT_TRUE(tune.realC64);
  EXPECT_FALSE(tune.playSidSpecific);
  EXPECT_FALSE(conventions().playSid);
  EXPECT_EQ(tune.speed, 0xFFFFFFFFu);
  // The magic is not fed: an RSID counts as a PSID whose songs are all CIA-timed.
  const std::string rsidPrint = tune.md5;
  Psid same = rsid;
  same.magic = "PSID";
  same.speed = 0xFFFFFFFF;
  EXPECT_EQ(fingerprint(same), rsidPrint);

  rsid.flags = 0;
  ASSERT_TRUE(load("machine.sid", rsid.bytes()));
  EXPECT_EQ(tune.initAddress, 0x0801);
  rsid.flags = 0x02;
  rsid.data[1] = 0x10;  // the BASIC start only applies to $0801
  ASSERT_TRUE(load("high.sid", rsid.bytes()));
  EXPECT_EQ(tune.initAddress, 0x1001);
}

TEST_F(Loader, DataPastTheAddressSpaceIsCutAtItsEnd) {
  Psid high;
  high.data.assign(0x300, 0x77);
  high.data[0] = 0xF0;
  high.data[1] = 0xFF;
  ASSERT_TRUE(load("high.sid", high.bytes()));
  EXPECT_EQ(tune.loadAddress, 0xFFF0);
  EXPECT_EQ(c64->ram[0xFFFF], 0x77);
  EXPECT_EQ(c64->tuneLoadEnd, 0xFFFF);
}

TEST_F(Loader, ProgramsAreRecognisedByExtensionAndLoadAddress) {
  const Bytes basic = {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36};
  const Bytes autostart = {0x26, 0x03, 0x00, 0x10, 0x3E, 0xF1, 0x2F, 0xF3};
  const Bytes rip = {0x00, 0x10, 0x4C, 0x00, 0x10, 0x4C, 0x00, 0x10, 0x60, 0x60};
  const Bytes tiny = {0x01, 0x08, 0x00, 0x00};
  const struct {
    const char* name;
    const Bytes& bytes;
    bool loads;
  } cases[] = {
      {"noextension", basic, true},  {"tune.bin", basic, false}, {"TUNE.PRG", basic, true},
      {"tune.dat", basic, true},     {"rip.prg", rip, false},    {"rip", rip, false},
      {"auto.prg", autostart, true}, {"tiny.prg", tiny, false},  {"tune.mus", basic, false},
      {"tune.str", basic, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(load(c.name, c.bytes), c.loads);
    if (!c.loads) continue;
    EXPECT_TRUE(tune.realC64);
    EXPECT_EQ(tune.title, c.name);
    EXPECT_EQ(tune.md5, md5Of(c.bytes, 2));
    EXPECT_EQ(tune.loadAddress, c.bytes[0] | c.bytes[1] << 8);
    EXPECT_EQ(tune.songs, 1);
    EXPECT_EQ(tune.startSong, 1);
    EXPECT_EQ(tune.speed, 0xFFFFFFFFu);
    EXPECT_EQ(tune.initAddress, 0);
    EXPECT_TRUE(tune.pal && !tune.ntsc);
  }
  const std::string longName = std::string(40, 'x') + ".prg";
  ASSERT_TRUE(load(longName, basic));
  EXPECT_EQ(tune.title, longName.substr(0, 36));
}

TEST_F(Loader, P00TakesItsTitleFromTheHeader) {
  Bytes p00 = {'C', '6', '4', 'F', 'i', 'l', 'e', 0, 'S', 'O', 'N', 'G'};
  p00.resize(26, 0);
  const Bytes program = {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36};
  p00.insert(p00.end(), program.begin(), program.end());
  ASSERT_TRUE(load("song.p00", p00));
  EXPECT_EQ(tune.title, "SONG");
  EXPECT_EQ(tune.md5, md5Of(p00, 28));
  EXPECT_EQ(tune.loadAddress, 0x0801);
  EXPECT_TRUE(tune.realC64);

  Bytes wrongMagic = p00;
  wrongMagic[0] = 'X';
  EXPECT_FALSE(load("wrong.p00", wrongMagic));
  EXPECT_FALSE(load("header.p00", Bytes(p00.begin(), p00.begin() + 26)));
  EXPECT_FALSE(load("song.x00", p00));
}

TEST_F(Loader, UnreadableFilesFailAndLeaveNoTuneBehind) {
  ASSERT_TRUE(load("good.sid", Psid{}.bytes()));
  EXPECT_FALSE(load("other.bin", {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36}));
  EXPECT_EQ(tune.md5, "");
  EXPECT_EQ(tune.title, "");
  EXPECT_EQ(tune.songs, 0);
  EXPECT_FALSE(tune.load("", 0));
  EXPECT_FALSE(tune.load((dir.path() / "missing.sid").string(), 0));
  EXPECT_FALSE(tune.load(dir.path().string(), 0));  // a directory opens as a stream on POSIX
}

TEST_F(Loader, HugeFilesAreReadOnlyAsFarAsMemoryReaches) {
  const std::string path = dir.write("huge.prg", {0x01, 0x08, 0xAB}).string();
  std::error_code error;
  fs::resize_file(path, 3'000'000'000ull, error);  // sparse where the file system allows
  if (error) GTEST_SKIP() << "cannot make a 3 GB file here: " << error.message();
  ASSERT_TRUE(tune.load(path, 0));
  EXPECT_EQ(tune.fileSize, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(tune.dataLength, 65536);
  EXPECT_EQ(c64->ram[0x0801], 0xAB);
  EXPECT_EQ(c64->tuneLoadEnd, 0xFFFF);
}

}  // namespace
