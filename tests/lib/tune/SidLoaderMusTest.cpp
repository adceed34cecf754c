// Sidplayer MUS files: text conversion, companions and embedded second parts,
// the players in memory, the fingerprint, and files that are cut short or lie
// about their lengths. The files are written by the tests themselves.
#include <algorithm>
#include <string>
#include <vector>

#include "lib/machine/MachineFixture.h"
#include "Musplayer.h"
#include "SidLoader.h"
#include "TempDir.h"
#include "WMD5.h"
#include "MusPlayerTables.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A MUS part: load address, three voice lengths, the voices, the text and its 0.
Bytes musPart(const std::vector<Bytes>& voices, const Bytes& text) {
  Bytes b = {0x00, 0x00};
  for (const Bytes& v : voices) {
    b.push_back(static_cast<uint8_t>(v.size()));
    b.push_back(static_cast<uint8_t>(v.size() >> 8));
  }
  for (const Bytes& v : voices) b.insert(b.end(), v.begin(), v.end());
  b.insert(b.end(), text.begin(), text.end());
  b.push_back(0);
  return b;
}

const Bytes halt = {0x01, 0x4F};
const Bytes melody = {0x06, 0x60, 0x10, 0x99, 0x14, 0x9A, 0x01, 0x4F};  // tempo, two notes, halt

Bytes tuneWithText(const Bytes& text) { return musPart({melody, halt, halt}, text); }

std::string md5Of(std::initializer_list<std::pair<const Bytes*, std::pair<std::size_t, std::size_t>>> ranges) {
  TMd5Stream md5;
  for (const auto& [bytes, range] : ranges) md5.write(bytes->data() + range.first, range.second - range.first);
  return md5.digest();
}

class MusLoader : public MachineTest {
 protected:
  bool load(const std::string& name, const Bytes& bytes) { return tune.load(dir.write(name, bytes).string(), 0); }
  std::string textOf(const Bytes& text) {
    EXPECT_TRUE(load("text.mus", tuneWithText(text)));
    return tune.musText;
  }
  uint16_t ramWord(uint16_t low, uint16_t high) const { return static_cast<uint16_t>(c64->ram[low] | c64->ram[high] << 8); }
  bool ramHolds(uint16_t address, const Bytes& bytes, std::size_t from = 0) const {
    return std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), c64->ram.begin() + address);
  }

  TTempDir dir;
  TSidFile tune{*c64};
};

TEST_F(MusLoader, TextIsConvertedFromTheC64CharacterSet) {
  EXPECT_EQ(textOf({0x0D}), "\r\n");
  EXPECT_EQ(textOf({0x41, 157, 0x42}), "B");  // cursor left takes back the A
  EXPECT_EQ(textOf({157, 0x41}), "A");         // with nothing to take back
  // Colour and cursor codes vanish; graphics become look-alikes; shifted letters stay letters.
  EXPECT_EQ(textOf({0x05, 0x48, 0x1C, 0x49, 0x92, 0x2D, 0x60, 0xC1, 0x5C, 0xA0}),
            std::string("HI\x97\x97*\xA3 ", 7));
  // Codes from $A0 up are never dropped, and $80 to $9F that are not control codes give spaces.
  EXPECT_EQ(textOf({0x80, 0x8F, 0xFF}), std::string("  \xB6"));
  // Line feed is no C64 line end: it prints as a space.
  EXPECT_EQ(textOf({0x41, 0x0D, 0x0A, 0x42, 0x0D}), "A\r\n B\r\n");
  EXPECT_EQ(textOf({0x41, 0x0D, 0x42, 0x0D}), "A\r\nB\r\n");
}

TEST_F(MusLoader, AMusAloneIsMonoWithThePlayerAtE000) {
  const Bytes file = tuneWithText({0x48, 0x49, 0x0D});
  ASSERT_TRUE(load("tune.mus", file));
  EXPECT_EQ(tune.initAddress, TMusplayer::monoInit);
  EXPECT_EQ(tune.playAddress, TMusplayer::monoPlay);
  EXPECT_EQ(tune.loadAddress, 0x1000);
  EXPECT_EQ(tune.songs, 1);
  EXPECT_EQ(tune.startSong, 1);
  EXPECT_EQ(tune.speed, 0xFFFFFFFFu);
  EXPECT_TRUE(tune.pal);
  EXPECT_FALSE(tune.ntsc);
  EXPECT_TRUE(tune.sid8580);
  EXPECT_FALSE(tune.sid6581);
  EXPECT_FALSE(tune.realC64);
  EXPECT_EQ(tune.title, "");
  EXPECT_EQ(tune.musText, "HI\r\n");
  EXPECT_EQ(tune.md5, md5Of({{&file, {2, file.size()}}}));
  // The music without its load address at $1000; the load end is the byte after it.
  EXPECT_TRUE(ramHolds(0x1000, file, 2));
  EXPECT_EQ(tune.loadAddress + tune.dataLength, 0x1000 + static_cast<int>(file.size()) - 2);
  // The player, pointed at $1000; no stereo player.
  EXPECT_TRUE(std::equal(musPlayerMonoImage.begin(), musPlayerMonoImage.begin() + 0xC6E, c64->ram.begin() + 0xE000));
  EXPECT_EQ(ramWord(TMusplayer::monoDataLow, TMusplayer::monoDataHigh), 0x1000);
  EXPECT_EQ(c64->ram[0xF000], 0);
  EXPECT_EQ(c64->tuneLoadEnd, 0xFFFF);
}

TEST_F(MusLoader, ACompanionMakesStereoWhicheverFileIsNamed) {
  const Bytes first = tuneWithText({0x41, 0x0D});
  const Bytes second = musPart({melody, melody, halt}, {0x42, 0x0D});
  dir.write("pair.str", second);
  ASSERT_TRUE(load("pair.mus", first));
  EXPECT_EQ(tune.initAddress, TMusplayer::stereoInit);
  EXPECT_EQ(tune.playAddress, TMusplayer::stereoPlay);
  EXPECT_EQ(tune.musText, "A\r\n");
  const std::string pairFingerprint = md5Of({{&first, {2, first.size()}}, {&second, {2, second.size()}}});
  EXPECT_EQ(tune.md5, pairFingerprint);
  // The second part follows the first as the files lie end to end.
  const uint16_t secondAddress = static_cast<uint16_t>(0x1000 + first.size());
  EXPECT_EQ(ramWord(TMusplayer::stereoDataLow, TMusplayer::stereoDataHigh), secondAddress);
  EXPECT_TRUE(ramHolds(secondAddress, second, 2));
  EXPECT_TRUE(ramHolds(0x1000, first, 2));
  EXPECT_TRUE(std::equal(musPlayerStereoImage.begin(), musPlayerStereoImage.begin() + 0xC6E, c64->ram.begin() + 0xF000));
  EXPECT_EQ(tune.loadAddress + tune.dataLength, secondAddress + static_cast<int>(second.size()) - 2);

  // Named by the .str, the .mus still comes first.
  ASSERT_TRUE(tune.load((dir.path() / "pair.str").string(), 0));
  EXPECT_EQ(tune.initAddress, TMusplayer::stereoInit);
  EXPECT_EQ(tune.musText, "A\r\n");
  EXPECT_EQ(tune.md5, pairFingerprint);
  EXPECT_EQ(tune.fileSize, static_cast<int32_t>(first.size()));
  EXPECT_EQ(ramWord(TMusplayer::stereoDataLow, TMusplayer::stereoDataHigh), secondAddress);

  // Upper-case names find an upper-case companion.
  dir.write("LOUD.STR", second);
  ASSERT_TRUE(load("LOUD.MUS", first));
  EXPECT_EQ(tune.initAddress, TMusplayer::stereoInit);
  EXPECT_EQ(tune.md5, pairFingerprint);

  // A .str alone is a mono tune of its own.
  ASSERT_TRUE(load("single.str", second));
  EXPECT_EQ(tune.initAddress, TMusplayer::monoInit);
  EXPECT_EQ(tune.musText, "B\r\n");
}

TEST_F(MusLoader, ACompanionWithoutWholeVoicesIsIgnored) {
  const Bytes first = tuneWithText({0x41, 0x0D});
  const Bytes second = musPart({melody, melody, halt}, {0x42, 0x0D});
  ASSERT_TRUE(load("alone.mus", first));
  const std::string monoFingerprint = tune.md5;
  // Empty, cut inside the lengths, inside the voices, before the text's 0 byte.
  for (std::size_t keep : {std::size_t{0}, std::size_t{5}, std::size_t{12}, second.size() - 1}) {
    dir.write("alone.str", Bytes(second.begin(), second.begin() + static_cast<std::ptrdiff_t>(keep)));
    ASSERT_TRUE(load("alone.mus", first)) << keep;
    EXPECT_EQ(tune.initAddress, TMusplayer::monoInit) << keep;
    EXPECT_EQ(tune.md5, monoFingerprint) << keep;
    // Named by the broken .str: too short to be a MUS file at all, or the .mus alone.
    if (keep <= 10) {
      EXPECT_FALSE(tune.load((dir.path() / "alone.str").string(), 0)) << keep;
    } else {
      ASSERT_TRUE(tune.load((dir.path() / "alone.str").string(), 0)) << keep;
      EXPECT_EQ(tune.initAddress, TMusplayer::monoInit) << keep;
      EXPECT_EQ(tune.md5, monoFingerprint) << keep;
    }
  }
  dir.write("alone.str", second);
  ASSERT_TRUE(load("alone.mus", first));
  EXPECT_EQ(tune.initAddress, TMusplayer::stereoInit);
}

TEST_F(MusLoader, ASecondPartAfterTheTextIsPlayedInStereo) {
  const Bytes first = tuneWithText({0x41, 0x0D});
  const Bytes second = musPart({melody, halt, halt}, {0x42, 0x0D});
  Bytes file = first;
  file.insert(file.end(), second.begin(), second.end());
  ASSERT_TRUE(load("both.mus", file));
  EXPECT_EQ(tune.initAddress, TMusplayer::stereoInit);
  const std::size_t zero = first.size() - 1;
  EXPECT_EQ(ramWord(TMusplayer::stereoDataLow, TMusplayer::stereoDataHigh), 0x1000 + zero + 1);
  // The second part's lengths lie where the stereo player looks.
  EXPECT_EQ(c64->ram[0x1000 + zero + 1], melody.size());
  // Its own load address is not part of the fingerprint.
  EXPECT_EQ(tune.md5, md5Of({{&file, {2, zero + 1}}, {&file, {zero + 3, file.size()}}}));
  EXPECT_EQ(tune.musText, "A\r\n");

  // A few stray bytes there are no second part.
  Bytes stray = first;
  for (uint8_t b : {0x4D, 0x41, 0x44, 0x53, 0x53, 0x30, 0x31, 0x53, 0x30, 0x31, 0x4D}) stray.push_back(b);
  ASSERT_TRUE(load("stray.mus", stray));
  EXPECT_EQ(tune.initAddress, TMusplayer::monoInit);
  EXPECT_EQ(tune.md5, md5Of({{&stray, {2, stray.size()}}}));
}

TEST_F(MusLoader, FilesThatLieAboutTheirLengthsAreRefused) {
  // Text without its ending 0.
  Bytes noEnd = tuneWithText({0x41, 0x42});
  noEnd.pop_back();
  EXPECT_FALSE(load("noend.mus", noEnd));
  // Voice lengths that reach past the end of the file.
  Bytes pastEnd = tuneWithText({0x41});
  pastEnd[3] = 0x7F;
  EXPECT_FALSE(load("pastend.mus", pastEnd));
  Bytes allOnes(20, 0xFF);
  EXPECT_FALSE(load("ones.str", allOnes));
  // Ten bytes or fewer are no MUS file at all.
  EXPECT_FALSE(load("short.mus", {0, 0, 0, 0, 0, 0, 0, 0, 0x41, 0}));
  EXPECT_FALSE(load("empty.mus", {}));
  // Eleven bytes with empty voices and a short text are.
  EXPECT_TRUE(load("tiny.mus", {0, 0, 0, 0, 0, 0, 0, 0, 0x41, 0x42, 0}));
  EXPECT_EQ(tune.musText, "AB");
}

TEST_F(MusLoader, OversizedMusicStopsWhereThePlayersBegin) {
  Bytes bigVoice(0xE800, 0x10);  // quarter rests far past $E000
  bigVoice.push_back(0x01);
  bigVoice.push_back(0x4F);
  const Bytes file = musPart({bigVoice, halt, halt}, {0x41});
  ASSERT_TRUE(load("big.mus", file));
  EXPECT_EQ(tune.loadAddress + tune.dataLength, 0xE000);
  EXPECT_TRUE(std::equal(musPlayerMonoImage.begin(), musPlayerMonoImage.begin() + 0xC6E, c64->ram.begin() + 0xE000));
  EXPECT_EQ(ramWord(TMusplayer::monoDataLow, TMusplayer::monoDataHigh), 0x1000);
  EXPECT_EQ(c64->ram[0xDFFF], 0x10);
}

}  // namespace
