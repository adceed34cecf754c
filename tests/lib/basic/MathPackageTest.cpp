// BASIC's floating point routines called from machine code at their ROM
// addresses, as compiled BASIC programs and SYS routines call them: the bytes
// they leave are the C64's five-byte numbers, and the compiled tunes of the
// collection that use them play as they do with the genuine ROMs.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "BasicFloat.h"
#include "BasicProgram.h"
#include "C64Instance.h"
#include "P6510.h"
#include "SharedData.h"
#include "TempDir.h"
#include "zorvex.h"

namespace {

using Bytes = std::array<uint8_t, 5>;

constexpr uint16_t codeAt = 0x0A00, dataAt = 0x0C00, resultsAt = 0xC000;
// Entries of the BASIC ROM (and RND's in the KERNAL half).
constexpr uint16_t FADD = 0xB867, FADDT = 0xB86A, FSUB = 0xB850, FMULT = 0xBA28, FMULTT = 0xBA2B, CONUPK = 0xBA8C,
                   FDIV = 0xBB0F, MUL10 = 0xBAE2, DIV10 = 0xBAFE, MOVFM = 0xBBA2, MOVMF = 0xBBD4, MOVFA = 0xBBFC,
                   MOVAF = 0xBC0C, ROUND = 0xBC1B, SGN = 0xBC39, ABS = 0xBC58, FCOMP = 0xBC5B, QINT = 0xBC9B,
                   INT = 0xBCCC, FIN = 0xBCF3, NEGOP = 0xBFB4, GIVAYF = 0xB391, FLOAT_Y = 0xB3A2, AYINT_AY = 0xB1AA,
                   GETADR = 0xB7F7, RND = 0xE097, CHRGET = 0x0073;

// A little 6502 assembler: enough to call the routines and keep their results.
struct Code {
  std::vector<uint8_t> bytes;
  uint16_t here() const { return static_cast<uint16_t>(codeAt + bytes.size()); }
  void op(std::initializer_list<uint8_t> b) { bytes.insert(bytes.end(), b); }
  void abs(uint8_t opcode, uint16_t a) { op({opcode, static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8)}); }
  void lda(uint8_t v) { op({0xA9, v}); }
  void ldx(uint8_t v) { op({0xA2, v}); }
  void ldy(uint8_t v) { op({0xA0, v}); }
  void jsr(uint16_t a) { abs(0x20, a); }
  void sta(uint16_t a) { abs(0x8D, a); }
  void stx(uint16_t a) { abs(0x8E, a); }
  void sty(uint16_t a) { abs(0x8C, a); }
  void ldaZp(uint8_t z) { op({0xA5, z}); }
  void staZp(uint8_t z) { op({0x85, z}); }
  void rts() { op({0x60}); }
  void bcc(uint16_t target) { op({0x90, static_cast<uint8_t>(target - (here() + 2))}); }
  // A/Y or X/Y pointing at an address, then the routine.
  void withAY(uint16_t routine, uint16_t at) {
    lda(static_cast<uint8_t>(at));
    ldy(static_cast<uint8_t>(at >> 8));
    jsr(routine);
  }
  void load(uint16_t at) { withAY(MOVFM, at); }
  void store(uint16_t at) {
    ldx(static_cast<uint8_t>(at));
    ldy(static_cast<uint8_t>(at >> 8));
    jsr(MOVMF);
  }
  // FAC's exponent in A and the zero flag, as a caller of FADDT/FMULTT sets them.
  void facToA() { ldaZp(0x61); }
};

// Numbers and texts at dataAt, each at a known address.
struct Data {
  std::vector<uint8_t> bytes;
  uint16_t add(const std::vector<uint8_t>& b) {
    const auto at = static_cast<uint16_t>(dataAt + bytes.size());
    bytes.insert(bytes.end(), b.begin(), b.end());
    return at;
  }
  uint16_t number(double v) {
    const Bytes b = TBasicFloat::pack(TBasicFloat::round(v).value());
    return add({b.begin(), b.end()});
  }
  uint16_t text(const std::string& s) {
    std::vector<uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return add(b);
  }
};

class MathRoutines : public ::testing::Test {
 protected:
  MathRoutines() : roms(TRoms::fromDirectories({})), c64(roms) {}

  // "10 SYS 2560" (and the lines given), the code at codeAt and the data at dataAt.
  void run(std::vector<std::string> lines = {}, uint32_t ms = 1000) {
    if (lines.empty()) lines = {"10 SYS 2560"};
    std::vector<uint8_t> file = basic_program::prg(lines);
    const auto place = [&](uint16_t at, const std::vector<uint8_t>& b) {
      const std::size_t offset = at - 0x0801 + 2;
      ASSERT_LE(file.size(), offset) << "the program overlaps the code";
      file.resize(offset, 0);
      file.insert(file.end(), b.begin(), b.end());
    };
    place(codeAt, code.bytes);
    place(dataAt, data.bytes);
    ASSERT_LT(code.here(), dataAt);
    ASSERT_TRUE(c64.loadFile(dir.write("test.prg", file).string()));
    c64.setSongToPlay(0);
    const uint32_t until = c64.machine->songTime() + ms;
    for (long calls = 0; calls < 20'000'000 && c64.machine->songTime() < until; ++calls) c64.run();
  }
  uint8_t peek(uint16_t a) const { return c64.machine->ram[a]; }
  Bytes bytesAt(uint16_t a) const { return {peek(a), peek(a + 1u), peek(a + 2u), peek(a + 3u), peek(a + 4u)}; }
  std::string row(int r) const {
    std::string text;
    for (int c = 0; c < 40; ++c) {
      const uint8_t s = peek(static_cast<uint16_t>(0x0400 + r * 40 + c)) & 0x7F;
      text += s == 0 ? '@' : s < 27 ? static_cast<char>('A' + s - 1) : s < 64 ? static_cast<char>(s) : '?';
    }
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }
  bool screenShows(const std::string& line) const {
    for (int r = 0; r < 25; ++r)
      if (row(r) == line) return true;
    return false;
  }

  TTempDir dir;
  TRoms roms;
  TC64 c64;
  Code code;
  Data data;
};

TEST_F(MathRoutines, ArithmeticAndMovesLeaveTheC64sNumbers) {
  const uint16_t one = data.number(1), two5 = data.number(2.5), three = data.number(3), four = data.number(4),
                 ten = data.number(10), tenth = data.add({0x7D, 0x4C, 0xCC, 0xCC, 0xCD});
  const uint16_t m7 = data.number(-7), m25 = data.number(-2.5), zero = data.number(0);
  struct Case {
    const char* what;
    Bytes expected;
  };
  std::vector<Case> cases;
  uint16_t out = resultsAt;
  const auto keep = [&](const char* what, Bytes expected) {
    code.store(out);
    out = static_cast<uint16_t>(out + 5);
    cases.push_back({what, expected});
  };
  code.load(two5), code.withAY(FMULT, four), keep("2.5 * 4", {0x84, 0x20, 0, 0, 0});
  code.load(three), code.withAY(FDIV, one), keep("1 / 3", {0x7F, 0x2A, 0xAA, 0xAA, 0xAB});
  code.load(two5), code.withAY(FSUB, ten), keep("10 - 2.5", {0x83, 0x70, 0, 0, 0});
  code.load(one), code.withAY(FADD, one), keep("1 + 1", {0x82, 0, 0, 0, 0});
  code.load(m25), code.withAY(FADD, two5), keep("2.5 + -2.5", {0, 0, 0, 0, 0});
  code.load(two5), code.jsr(MUL10), keep("2.5 * 10", {0x85, 0x48, 0, 0, 0});
  code.load(ten), code.jsr(MUL10), code.jsr(DIV10), code.jsr(DIV10), keep("10 * 10 / 10 / 10", {0x81, 0, 0, 0, 0});
  code.load(m25), code.jsr(INT), keep("INT(-2.5)", {0x82, 0xC0, 0, 0, 0});
  code.load(m7), code.jsr(SGN), keep("SGN(-7)", {0x81, 0x80, 0, 0, 0});
  code.load(m7), code.jsr(ABS), keep("ABS(-7)", {0x83, 0x60, 0, 0, 0});
  code.load(two5), code.jsr(NEGOP), keep("-2.5", {0x82, 0xA0, 0, 0, 0});
  code.lda(0x80), code.ldy(0x00), code.jsr(GIVAYF), keep("GIVAYF -32768", {0x90, 0x80, 0, 0, 0});
  code.ldy(200), code.jsr(FLOAT_Y), keep("Y = 200", {0x88, 0x48, 0, 0, 0});
  // ARG by CONUPK, then the operator entries with the exponent in A.
  code.load(two5), code.withAY(CONUPK, ten), code.jsr(FMULTT), keep("ARG * FAC", {0x85, 0x48, 0, 0, 0});
  code.load(tenth), code.jsr(MOVAF), code.load(one), code.jsr(MOVFA), keep("MOVAF then MOVFA", {0x7D, 0x4C, 0xCC, 0xCC, 0xCD});
  // FADDT with FAC zero (the zero flag set) takes ARG as it is.
  code.load(two5), code.jsr(MOVAF), code.load(zero), code.jsr(FADDT), keep("ARG + 0", {0x82, 0x20, 0, 0, 0});
  code.load(two5), code.jsr(MOVAF), code.load(four), code.facToA(), code.jsr(FADDT), keep("ARG + 4", {0x83, 0x50, 0, 0, 0});
  code.rts();
  run();
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(bytesAt(static_cast<uint16_t>(resultsAt + 5 * i)), cases[i].expected) << cases[i].what;
}

TEST_F(MathRoutines, FinReadsNumberTextsAsTheC64ReadsThem) {
  struct Case {
    std::string text;
    Bytes expected;
    std::size_t used;  // characters up to the one TXTPTR is left on
  };
  const std::vector<Case> cases = {
      {"0.1", {0x7D, 0x4C, 0xCC, 0xCC, 0xCD}, 3},  {"1E-1", {0x7D, 0x4C, 0xCC, 0xCC, 0xCD}, 4},
      {"-12.5E2", {0x8B, 0x9C, 0x40, 0, 0}, 7},     {".5", {0x80, 0, 0, 0, 0}, 2},
      {"12.5E1,7", {0x87, 0x7A, 0, 0, 0}, 6},       {"  42", {0x86, 0x28, 0, 0, 0}, 4},
      {"7124,9123", {0x8D, 0x5E, 0xA0, 0, 0}, 4},   {"1.2.3", {0x81, 0x19, 0x99, 0x99, 0x9A}, 3},
  };
  std::vector<uint16_t> texts;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    // TXTPTR on the character before the text: CHRGET moves onto it, FIN reads on.
    texts.push_back(data.text(cases[i].text));
    const auto before = static_cast<uint16_t>(texts.back() - 1);
    code.lda(static_cast<uint8_t>(before)), code.staZp(0x7A);
    code.lda(static_cast<uint8_t>(before >> 8)), code.staZp(0x7B);
    code.jsr(CHRGET), code.jsr(FIN);
    const auto out = static_cast<uint16_t>(resultsAt + 8 * i);
    code.store(out);
    code.ldaZp(0x7A), code.sta(static_cast<uint16_t>(out + 5));
    code.ldaZp(0x7B), code.sta(static_cast<uint16_t>(out + 6));
  }
  code.rts();
  run();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto out = static_cast<uint16_t>(resultsAt + 8 * i);
    EXPECT_EQ(bytesAt(out), cases[i].expected) << cases[i].text;
    const int left = peek(static_cast<uint16_t>(out + 5)) | peek(static_cast<uint16_t>(out + 6)) << 8;
    EXPECT_EQ(left - texts[i], static_cast<int>(cases[i].used)) << cases[i].text;
  }
}


TEST_F(MathRoutines, IntegersComeOutWhereCallersTakeThem) {
  const uint16_t m15 = data.number(-1.5), big = data.number(1234.5), m25 = data.number(-2.5),
                 address = data.number(49152.7), one = data.number(1);
  // QINT: 32 bits in $62-$65, rounded towards minus infinity.
  const auto mantissaTo = [&](uint16_t at) {
    for (uint8_t i = 0; i < 4; ++i) code.ldaZp(static_cast<uint8_t>(0x62 + i)), code.sta(static_cast<uint16_t>(at + i));
  };
  code.load(m15), code.jsr(QINT), mantissaTo(resultsAt);
  code.load(big), code.jsr(QINT), mantissaTo(resultsAt + 4);
  // AYINT to A (high) / Y (low); GETADR to $14/$15 and Y/A.
  code.load(m25), code.jsr(AYINT_AY), code.sta(resultsAt + 8), code.sty(resultsAt + 9);
  code.load(address), code.jsr(GETADR), code.sta(resultsAt + 10), code.sty(resultsAt + 11);
  code.ldaZp(0x14), code.sta(resultsAt + 12), code.ldaZp(0x15), code.sta(resultsAt + 13);
  // ROUND takes the rounding byte's top bit into the mantissa and keeps X and Y.
  code.load(one), code.lda(0x80), code.staZp(0x70), code.ldx(0x12), code.ldy(0x34), code.jsr(ROUND);
  code.stx(resultsAt + 14), code.sty(resultsAt + 15);
  code.store(resultsAt + 16);
  // FCOMP: A = $FF, 0 or 1 as FAC is below, equal to or above the number.
  code.load(big), code.withAY(FCOMP, address), code.sta(resultsAt + 21);
  code.withAY(FCOMP, big), code.sta(resultsAt + 22);
  code.load(address), code.withAY(FCOMP, big), code.sta(resultsAt + 23);
  code.rts();
  run();
  EXPECT_EQ(bytesAt(resultsAt), (Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0x00}));
  EXPECT_EQ(bytesAt(resultsAt + 4), (Bytes{0x00, 0x00, 0x04, 0xD2, 0xFF}));
  EXPECT_EQ(peek(resultsAt + 8), 0xFF);
  EXPECT_EQ(peek(resultsAt + 9), 0xFD);  // -3
  EXPECT_EQ(peek(resultsAt + 10), 0xC0);
  EXPECT_EQ(peek(resultsAt + 11), 0x00);
  EXPECT_EQ(peek(resultsAt + 12), 0x00);
  EXPECT_EQ(peek(resultsAt + 13), 0xC0);
  EXPECT_EQ(peek(resultsAt + 14), 0x12);
  EXPECT_EQ(peek(resultsAt + 15), 0x34);
  EXPECT_EQ(bytesAt(resultsAt + 16), (Bytes{0x81, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(peek(resultsAt + 21), 0xFF);
  EXPECT_EQ(peek(resultsAt + 22), 0x00);
  EXPECT_EQ(peek(resultsAt + 23), 0x01);
}

TEST_F(MathRoutines, RndContinuesTheSequenceBasicDraws) {
  // RND through its entry at $E097 with FAC positive: the seed's next numbers,
  // the ones BASIC's RND(1) gives; FAC negative: the seed taken from FAC.
  const uint16_t one = data.number(1), minusOne = data.number(-1);
  for (uint16_t i = 0; i < 6; ++i) code.load(one), code.jsr(RND), code.store(static_cast<uint16_t>(resultsAt + 5 * i));
  code.load(minusOne), code.jsr(RND), code.store(resultsAt + 30);
  code.load(one), code.jsr(RND), code.store(resultsAt + 35);
  code.rts();
  run({"10 S0=PEEK(139):SYS 2560:X=RND(1):POKE 49200,S0:FOR I=0 TO 4:POKE 49201+I,PEEK(139+I):NEXT"});
  // The sequence from the seed the program started with.
  Bytes seed{0x80, 0x4F, 0xC7, 0x52, 0x58};
  ASSERT_EQ(peek(49200), seed[0]);
  for (uint16_t i = 0; i < 6; ++i) {
    seed = TBasicFloat::nextRandom(seed);
    EXPECT_EQ(bytesAt(static_cast<uint16_t>(resultsAt + 5 * i)), seed) << "draw " << i;
  }
  seed = TBasicFloat::scrambleRandom(TBasicFloat::pack(-1));
  EXPECT_EQ(bytesAt(resultsAt + 30), seed);
  seed = TBasicFloat::nextRandom(seed);
  EXPECT_EQ(bytesAt(resultsAt + 35), seed);
  // BASIC's own RND(1) draws on from the same seed.
  EXPECT_EQ(bytesAt(49201), TBasicFloat::nextRandom(seed));
}

TEST_F(MathRoutines, ErrorsLeaveThroughTheErrorVector) {
  // Division by zero: the C64's message, through the default vector.
  const uint16_t one = data.number(1), zero = data.number(0);
  code.load(zero), code.withAY(FDIV, one), code.rts();
  run({"10 PRINT CHR$(147);:SYS 2560", "20 POKE 49152,1"});
  EXPECT_TRUE(screenShows("?DIVISION BY ZERO  ERROR IN 10"));
  EXPECT_NE(peek(49152), 1);  // the program went no further
}

TEST_F(MathRoutines, AProgramsOwnErrorVectorGetsTheErrorNumber) {
  // Its handler keeps X and goes on to the default one; MUL10 overflows.
  const uint16_t huge = data.number(1e38);
  const uint16_t handler = static_cast<uint16_t>(codeAt + 0x80);
  code.lda(static_cast<uint8_t>(handler)), code.sta(0x0300), code.lda(static_cast<uint8_t>(handler >> 8)),
      code.sta(0x0301);
  code.load(huge), code.jsr(MUL10), code.rts();
  code.bytes.resize(handler - codeAt, 0xEA);
  code.stx(resultsAt), code.abs(0x4C, 0xE38B);
  run({"10 PRINT CHR$(147);:SYS 2560"});
  EXPECT_EQ(peek(resultsAt), 15);
  EXPECT_TRUE(screenShows("?OVERFLOW  ERROR IN 10"));
}

TEST_F(MathRoutines, InterruptsComeInDuringLongRoutines) {
  // A raster interrupt at line 100 keeps the line it finds at its entry; the
  // main program divides over and over meanwhile, and the handler, saving
  // the zero page the routines use, multiplies. A routine of thousands of
  // cycles taken as one step would hold the interrupt back for dozens of lines.
  const uint16_t one = data.number(1), three = data.number(3), two5 = data.number(2.5), four = data.number(4);
  const uint16_t handler = static_cast<uint16_t>(codeAt + 0x100);
  code.op({0x78});  // SEI
  code.lda(static_cast<uint8_t>(handler)), code.sta(0x0314), code.lda(static_cast<uint8_t>(handler >> 8)),
      code.sta(0x0315);
  code.lda(0x7F), code.sta(0xDC0D), code.abs(0xAD, 0xDC0D);  // no CIA interrupts
  code.lda(100), code.sta(0xD012), code.abs(0xAD, 0xD011), code.op({0x29, 0x7F}), code.sta(0xD011);
  code.lda(1), code.sta(0xD01A), code.op({0x58});  // CLI
  code.ldx(0), code.op({0x86, 0xFB});              // STX $FB: samples taken
  const uint16_t loop = code.here();
  code.load(three), code.withAY(FDIV, one), code.store(resultsAt);
  code.op({0xA5, 0xFB, 0xC9, 40});                 // LDA $FB; CMP #40
  code.bcc(loop);
  code.rts();
  code.bytes.resize(handler - codeAt, 0xEA);
  // Handler: the line, the zero page $22-$70 saved, 2.5 * 4, restored, acknowledged.
  code.abs(0xAD, 0xD012), code.op({0xA6, 0xFB}), code.abs(0x9D, resultsAt + 0x10), code.op({0xE6, 0xFB});
  code.ldx(0x4E), code.op({0xB5, 0x22}), code.abs(0x9D, 0xC200), code.op({0xCA, 0x10, 0xF8});
  code.load(two5), code.withAY(FMULT, four), code.store(resultsAt + 8);
  code.ldx(0x4E), code.abs(0xBD, 0xC200), code.op({0x95, 0x22, 0xCA, 0x10, 0xF8});
  code.lda(1), code.sta(0xD019), code.abs(0x4C, 0xEA81);
  run({"10 SYS 2560"}, 2000);
  ASSERT_GE(peek(0xFB), 40);
  EXPECT_EQ(bytesAt(resultsAt), (Bytes{0x7F, 0x2A, 0xAA, 0xAA, 0xAB}));
  EXPECT_EQ(bytesAt(resultsAt + 8), (Bytes{0x84, 0x20, 0x00, 0x00, 0x00}));
  for (int i = 0; i < 40; ++i) EXPECT_LE(peek(static_cast<uint16_t>(resultsAt + 0x10 + i)) - 100, 1) << "sample " << i;
}

// The compiled tunes of the collection call these routines; the reference
// streams were recorded with the genuine ROMs.
TEST(CompiledTunes, PlayAsWithTheGenuineRoms) {
#ifdef _WIN32
  GTEST_SKIP() << "the reference streams are read through gzip in a pipe, which the Windows build lacks";
#endif
  REQUIRE_SHARED("corpus/C64Music/MUSICIANS/B/Bond_Alan");
  REQUIRE_SHARED("reference/streams/C64Music/MUSICIANS/B/Bond_Alan");
  for (const char* name : {"Randomly_generated_music_BASIC.sid", "Randomly_generated_music_2_BASIC.sid"}) {
    const auto tune = sharedDir() / "corpus/C64Music/MUSICIANS/B/Bond_Alan" / name;
    const auto reference = sharedDir() / "reference/streams/C64Music/MUSICIANS/B/Bond_Alan" / (std::string(name) + ".txt.gz");
    // The reference's writes of the first 14 seconds, the player's own first one left out.
    std::vector<std::pair<uint8_t, uint8_t>> expected;
    FILE* pipe = popen(("gzip -dc '" + reference.string() + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    unsigned long long delta = 0, cycle = 0;
    unsigned reg = 0, value = 0;
    for (bool first = true; std::fscanf(pipe, "%llu %u %u", &delta, &reg, &value) == 3; first = false) {
      cycle += delta;
      if (!first && cycle <= 14 * 985248ull && reg < 25) expected.push_back({static_cast<uint8_t>(reg), static_cast<uint8_t>(value)});
    }
    pclose(pipe);
    ASSERT_GT(expected.size(), 1000u) << name;

    const TRoms roms = TRoms::fromDirectories({});
    TC64 c64(roms);
    ASSERT_TRUE(c64.loadFile(tune.string()));
    c64.setSongToPlay(0);
    std::vector<std::pair<uint8_t, uint8_t>> ours;
    for (long calls = 0; calls < 40'000'000 && ours.size() < expected.size() && c64.machine->songTime() < 15000; ++calls) {
      c64.run();
      if (c64.command == ZORVEX_CMD_WRITE && c64.sidWrapper->getRegister() < 25)
        ours.push_back({static_cast<uint8_t>(c64.sidWrapper->getRegister()), static_cast<uint8_t>(c64.sidWrapper->getData())});
    }
    std::size_t agree = 0;
    while (agree < expected.size() && agree < ours.size() && ours[agree] == expected[agree]) ++agree;
    EXPECT_EQ(agree, expected.size()) << name << ": " << agree << " of " << expected.size() << " writes agree";
  }
}

}  // namespace
