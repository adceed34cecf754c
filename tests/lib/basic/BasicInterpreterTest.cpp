// The built-in BASIC: tokenized programs run from $A7AE as a tune start runs
// them, their results read back from the screen, the memory and the SID stream.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "BasicProgram.h"
#include "C64Instance.h"
#include "TempDir.h"
#include "zorvex.h"

namespace {

using basic_program::prg;

struct Write {
  uint8_t reg, value;
  bool operator==(const Write&) const = default;
};

class BuiltinBasic : public ::testing::Test {
 protected:
  BuiltinBasic() : roms(TRoms::fromDirectories({})), c64(roms) {}

  // Loads the program as a PRG and runs it for `ms` of C64 time.
  void runProgram(const std::vector<std::string>& lines, uint32_t ms = 1000) {
    const auto file = dir.write("test.prg", prg(lines));
    ASSERT_TRUE(c64.loadFile(file.string()));
    c64.setSongToPlay(0);
    runFor(ms);
  }
  void runFor(uint32_t ms) {
    const uint32_t until = c64.machine->songTime() + ms;
    for (long calls = 0; calls < 20'000'000 && c64.machine->songTime() < until; ++calls) {
      c64.run();
      if (c64.command == ZORVEX_CMD_WRITE)
        writes.push_back({static_cast<uint8_t>(c64.sidWrapper->getRegister()),
                          static_cast<uint8_t>(c64.sidWrapper->getData())});
    }
  }

  // One screen row as text (screen codes back to their characters).
  std::string row(int r) const {
    std::string text;
    for (int c = 0; c < 40; ++c) {
      const uint8_t code = c64.machine->ram[0x0400 + r * 40 + c] & 0x7F;
      text += code == 0 ? '@' : code < 27 ? static_cast<char>('A' + code - 1) : code < 64 ? static_cast<char>(code) : '?';
    }
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }
  std::vector<std::string> screen(int rows) const {
    std::vector<std::string> out;
    for (int r = 0; r < rows; ++r) out.push_back(row(r));
    return out;
  }
  uint8_t peek(uint16_t address) const { return c64.machine->ram[address]; }

  TTempDir dir;
  TRoms roms;
  TC64 c64;
  std::vector<Write> writes;
};

TEST_F(BuiltinBasic, NumbersPrintAsBasicV2PrintsThem) {
  // Each PRINT fills one row after the clear screen; the texts are what a C64 shows.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1/3", " .333333333"},         {"2/3", " .666666667"},      {"10/4", " 2.5"},
      {"-5", "-5"},                   {"1E9", " 1E+09"},           {"123456789", " 123456789"},
      {"1234567890", " 1.23456789E+09"}, {".01", " .01"},          {".001", " 1E-03"},
      {"INT(-2.5)", "-3"},            {"7 AND 3", " 3"},           {"NOT 0", "-1"},
      {"2^10", " 1024"},              {"3=3", "-1"},               {"2*3+4*5", " 26"},
      {"-2^2", "-4"},                 {"(1+2)*3", " 9"},           {"ABS(-7)*SGN(-2)", "-7"},
      {"5>3 AND 2<1", " 0"},          {"1.5E-10*2", " 3E-10"},     {"SQR(16)", " 4"},
      {"RND(1)", " .185564016"},
  };
  std::vector<std::string> lines = {"10 PRINT CHR$(147);"};
  for (std::size_t i = 0; i < cases.size(); ++i) lines.push_back(std::to_string(20 + i) + " PRINT " + cases[i].first);
  runProgram(lines);
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(row(static_cast<int>(i)), cases[i].second) << cases[i].first;
  EXPECT_EQ(row(static_cast<int>(cases.size()) + 1), "READY.");
}

TEST_F(BuiltinBasic, StringsConcatenateCompareAndConvert) {
  runProgram({
      "10 PRINT CHR$(147);:A$=\"HELLO\":B$=A$+\" WORLD\"",
      "20 PRINT B$;LEN(B$)",
      "30 PRINT MID$(B$,2,3);LEFT$(B$,2);RIGHT$(B$,3)",
      "40 PRINT STR$(12);VAL(\"12.5E1\");ASC(\"A\");CHR$(66)",
      "50 PRINT \"A\"<\"B\";\"AB\">\"A\";A$=\"HELLO\"",
      "60 FOR I=1 TO 60:C$=C$+\"X\":D$=C$:NEXT:PRINT LEN(C$);LEN(D$)",
  });
  EXPECT_EQ(row(0), "HELLO WORLD 11");
  EXPECT_EQ(row(1), "ELLHERLD");
  EXPECT_EQ(row(2), " 12 125  65 B");
  EXPECT_EQ(row(3), "-1 -1 -1");
  EXPECT_EQ(row(4), " 60  60");  // string space reclaimed on the way
}

TEST_F(BuiltinBasic, LoopsSubroutinesAndBranches) {
  runProgram({
      "5 FOR I=49152 TO 49220:POKE I,0:NEXT",
      "10 FOR I=0 TO 9 STEP 3:POKE 49152+I,I+1:NEXT",
      "20 FOR I=3 TO 1 STEP -1:FOR J=1 TO 2:POKE 49200+I*2+J,I*J:NEXT J,I",
      "30 GOSUB 100:POKE 49170,K",
      "40 FOR N=1 TO 3:ON N GOTO 50,60,70",
      "50 POKE 49180,1:GOTO 80",
      "60 POKE 49181,2:GOTO 80",
      "70 POKE 49182,3",
      "80 NEXT:IF PEEK(49182)=3 THEN POKE 49190,7",
      "90 END",
      "100 K=42:RETURN",
  });
  for (int i = 0; i < 10; ++i) EXPECT_EQ(peek(0xC000 + i), i % 3 == 0 ? i + 1 : 0) << i;
  EXPECT_EQ(peek(49200 + 3 * 2 + 2), 6);
  EXPECT_EQ(peek(49200 + 1 * 2 + 1), 1);
  EXPECT_EQ(peek(49170), 42);
  EXPECT_EQ(peek(49180), 1);
  EXPECT_EQ(peek(49181), 2);
  EXPECT_EQ(peek(49182), 3);
  EXPECT_EQ(peek(49190), 7);
}

TEST_F(BuiltinBasic, DataReadRestoreAndArrays) {
  runProgram({
      "10 DIM A(3,2),B%(20):READ N:FOR I=0 TO N-1:READ A(I,1),S$:NEXT",
      "20 RESTORE:READ M:B%(20)=-300:C(10)=5",
      "30 POKE 49152,A(2,1):POKE 49153,M:POKE 49154,LEN(S$):POKE 49155,B%(20)+301:POKE 49156,C(10)",
      "40 DATA 3,10,\"X,Y\",20,ZZ,30, ABC",
  });
  EXPECT_EQ(peek(49152), 30);
  EXPECT_EQ(peek(49153), 3);
  EXPECT_EQ(peek(49154), 3);  // unquoted items lose their leading spaces
  EXPECT_EQ(peek(49155), 1);
  EXPECT_EQ(peek(49156), 5);  // an array used without DIM has 11 elements
}

TEST_F(BuiltinBasic, ErrorsStopTheProgramWithTheirMessage) {
  runProgram({
      "10 PRINT CHR$(147);\"A\"",
      "20 X=1/0",
      "30 POKE 49152,1",
  });
  EXPECT_EQ(screen(4), (std::vector<std::string>{"A", "", "?DIVISION BY ZERO  ERROR IN 20", "READY."}));
  EXPECT_NE(peek(49152), 1);

  const std::vector<std::pair<std::string, std::string>> errors = {
      {"10 DIM A(2):A(3)=1", "?BAD SUBSCRIPT  ERROR IN 10"},
      {"10 GOTO 99", "?UNDEF'D STATEMENT  ERROR IN 10"},
      {"10 RETURN", "?RETURN WITHOUT GOSUB  ERROR IN 10"},
      {"10 READ A", "?OUT OF DATA  ERROR IN 10"},
      {"10 POKE 1,256", "?ILLEGAL QUANTITY  ERROR IN 10"},
      {"10 A=\"X\"", "?TYPE MISMATCH  ERROR IN 10"},
      {"10 PRINT 1E38*10", "?OVERFLOW  ERROR IN 10"},
      {"10 NEXT", "?NEXT WITHOUT FOR  ERROR IN 10"},
      {"10 X=(5", "?SYNTAX  ERROR IN 10"},
  };
  for (const auto& [line, message] : errors) {
    runProgram({"5 PRINT CHR$(147);", line});
    EXPECT_EQ(row(1), message) << line;
  }
  runProgram({"5 PRINT CHR$(147);", "10 STOP"});
  EXPECT_EQ(row(1), "BREAK IN 10");
  runProgram({"5 PRINT CHR$(147);", "10 X=5 6:PRINT X"});
  EXPECT_EQ(row(0), " 56");  // spaces inside a number do not count
}

TEST_F(BuiltinBasic, SysRunsMachineCodeWithTheRegistersOfItsMemoryCells) {
  // At $C000: INX; TYA; ADC #1; STA $C100; RTS.
  runProgram({
      "10 FOR I=0 TO 7:READ B:POKE 49152+I,B:NEXT",
      "20 POKE 780,0:POKE 781,9:POKE 782,4:POKE 783,0",
      "30 SYS 49152:POKE 49153+255,PEEK(781)",
      "40 SYS 12*4096",
      "50 DATA 232,152,105,1,141,0,193,96",
  });
  EXPECT_EQ(peek(0xC100), 5);      // Y + 1: the registers came from 780-783
  EXPECT_EQ(peek(0xC0FF + 1), 5);  // the second call's result...
  EXPECT_EQ(peek(781), 11);        // ...and X kept going up across both returns
}

TEST_F(BuiltinBasic, ReadyPrintsThroughTheChroutVectorAndWaitsThroughTheMainVector) {
  // The program ends; READY. goes out through ($0326), which now points at a
  // routine writing each character to SID register 2, then returning.
  runProgram({
      "10 FOR I=0 TO 6:READ B:POKE 49152+I,B:NEXT",
      "20 POKE 806,0:POKE 807,192",
      "30 DATA 141,2,212,76,202,241,0",
  });
  std::vector<uint8_t> printed;
  for (const Write& w : writes)
    if (w.reg == 2) printed.push_back(w.value);
  const std::vector<uint8_t> expected = {13, 'R', 'E', 'A', 'D', 'Y', '.', 13};
  ASSERT_GE(printed.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), printed.begin()));
}

TEST_F(BuiltinBasic, RomEntriesPrintStringsAndNumbers) {
  // LDA #<text; LDY #>text; JSR $AB1E; LDX #$39; LDA #$30; JSR $BDCD; RTS; text.
  runProgram({
      "10 PRINT CHR$(147);:FOR I=0 TO 17:READ B:POKE 49152+I,B:NEXT:SYS 49152",
      "20 DATA 169,15,160,192,32,30,171,162,57,169,48,32,205,189,96,72,73,0",
  });
  EXPECT_EQ(row(0), "HI 12345");
}

TEST_F(BuiltinBasic, UsrCallsMachineCodeInTheMiddleOfAFormula) {
  // USR's routine at $C000 multiplies FAC by ten: LDA #<ten; LDY #>ten;
  // JSR FMULT; RTS; ten. The statement around a call starts again when the
  // routine returns and must see what it saw before: RND draws once.
  runProgram({
      "10 PRINT CHR$(147);:FOR I=0 TO 12:READ B:POKE 49152+I,B:NEXT:POKE 785,0:POKE 786,192",
      "20 PRINT USR(1.5);USR(-2)+1",
      "30 A=RND(-3):X=RND(1)+USR(0):Y=RND(1):A=RND(-3):P=RND(1):Q=RND(1):PRINT X=P;Y=Q",
      "40 IF USR(1)=10 THEN POKE 49200,USR(2)",
      "50 FOR I=1 TO USR(.3):POKE 49200+I,I:NEXT",
      "60 POKE 785,72:POKE 786,178:Z=USR(1)",
      "70 DATA 169,8,160,192,32,40,186,96,132,32,0,0,0",
  });
  EXPECT_EQ(row(0), " 15 -19");
  EXPECT_EQ(row(1), "-1 -1");
  EXPECT_EQ(peek(49200), 20);
  EXPECT_EQ(peek(49203), 3);
  EXPECT_NE(peek(49204), 4);  // three rounds: the limit is 3
  EXPECT_EQ(row(3), "?ILLEGAL QUANTITY  ERROR IN 60");  // the vector's default
}

TEST_F(BuiltinBasic, SysRoutinesReadTheirParametersWithFrmnum) {
  // JSR CHRGET (past the comma); JSR FRMNUM; JSR GETADR; $14/$15 to $C100; RTS.
  runProgram({
      "10 PRINT CHR$(147);:FOR I=0 TO 19:READ B:POKE 49152+I,B:NEXT",
      "20 SYS 49152,1234+1:POKE 49410,7",
      "30 SYS 49152,\"A\"",
      "40 DATA 32,115,0,32,138,173,32,247,183,165,20,141,0,193,165,21,141,1,193,96",
  });
  EXPECT_EQ(peek(0xC100) | peek(0xC101) << 8, 1235);
  EXPECT_EQ(peek(49410), 7);
  EXPECT_EQ(row(1), "?TYPE MISMATCH  ERROR IN 30");
}

TEST_F(BuiltinBasic, AnErrorHandlerOfTheProgramPassesErrorsOn) {
  // At $C000: STX $C100; JMP $E38B, the vector's default handler.
  runProgram({
      "10 PRINT CHR$(147);:FOR I=0 TO 5:READ B:POKE 49152+I,B:NEXT:POKE 768,0:POKE 769,192",
      "20 X=1/0",
      "30 DATA 142,0,193,76,139,227",
  });
  EXPECT_EQ(peek(0xC100), 20);
  EXPECT_EQ(row(1), "?DIVISION BY ZERO  ERROR IN 20");
}

TEST_F(BuiltinBasic, TimePassesWhileItRuns) {
  // WAIT on the jiffy clock only ends because the interrupt keeps counting;
  // TI and TI$ read the same clock.
  runProgram({
      "10 TI$=\"000000\":WAIT 162,64:T=TI:POKE 49152,T",
      "20 FOR I=1 TO 200:NEXT:IF TI>T THEN POKE 49153,1",
      "30 IF TI$>=\"000001\" THEN POKE 49154,1",
  }, 3000);
  EXPECT_EQ(peek(49152), 64);
  EXPECT_EQ(peek(49153), 1);
  EXPECT_EQ(peek(49154), 1);
}

TEST_F(BuiltinBasic, GetSeesTheButtonPress) {
  runProgram({
      "10 GET A$:IF A$=\"\" THEN 10",
      // Key reads while the buttons are down restart the stream of a tune that
      // has not sounded yet, dropping what was queued: keep writing after it.
      "20 POKE 54272,ASC(A$):GOTO 20",
  }, 200);
  EXPECT_TRUE(writes.empty());
  c64.machine->pressButtons();
  runFor(200);
  EXPECT_NE(std::find(writes.begin(), writes.end(), Write{0, ' '}), writes.end());
}

TEST_F(BuiltinBasic, DefinedFunctionsAndTheirParameter) {
  runProgram({
      "10 X=7:DEF FN H(X)=INT(X/256):DEF FN L(X)=X-256*FN H(X)",
      "20 POKE 49152,FN H(4660):POKE 49153,FN L(4660):POKE 49154,X",
  });
  EXPECT_EQ(peek(49152), 0x12);
  EXPECT_EQ(peek(49153), 0x34);
  EXPECT_EQ(peek(49154), 7);  // the parameter's own value is kept
}

TEST_F(BuiltinBasic, VariablesLiveWhereBasicKeepsThem) {
  runProgram({"10 AB=1.5:C%=-2:D$=\"Q\""});
  const uint16_t vartab = static_cast<uint16_t>(peek(0x2D) | peek(0x2E) << 8);
  const uint16_t arytab = static_cast<uint16_t>(peek(0x2F) | peek(0x30) << 8);
  ASSERT_EQ(arytab - vartab, 21);  // three variables of seven bytes
  const std::vector<uint8_t> ab(c64.machine->ram.begin() + vartab, c64.machine->ram.begin() + vartab + 7);
  EXPECT_EQ(ab, (std::vector<uint8_t>{'A', 'B', 0x81, 0x40, 0, 0, 0}));
  EXPECT_EQ(peek(vartab + 7), 'C' | 0x80);
  EXPECT_EQ(peek(vartab + 9), 0xFF);  // -2, high byte first
  EXPECT_EQ(peek(vartab + 10), 0xFE);
  EXPECT_EQ(peek(vartab + 15), 0x80);  // "D$": second letter's bit 7
  EXPECT_EQ(peek(vartab + 16), 1);     // length; the text stays in the program
  const uint16_t text = static_cast<uint16_t>(peek(vartab + 17) | peek(vartab + 18) << 8);
  EXPECT_LT(text, vartab);
  EXPECT_EQ(peek(text), 'Q');
}

TEST_F(BuiltinBasic, ProgramsWithoutLineEndsStopWithAnError) {
  // One "line" that runs on for 30 KB: nested IFs, then only spaces.
  const auto run = [&](const std::vector<uint8_t>& text) {
    std::vector<uint8_t> file = {0x01, 0x08, 0x00, 0x80, 10, 0};  // link far away, line 10
    file.insert(file.end(), text.begin(), text.end());
    ASSERT_TRUE(c64.loadFile(dir.write("bad.prg", file).string()));
    c64.setSongToPlay(0);
    runFor(500);
  };
  std::vector<uint8_t> ifs;
  while (ifs.size() < 30000) ifs.insert(ifs.end(), {0x8B, '1', 0xA7});  // IF 1 THEN
  run(ifs);
  EXPECT_EQ(peek(0x3A), 0xFF);  // stopped: back in direct mode
  run(std::vector<uint8_t>(30000, ' '));
  EXPECT_EQ(peek(0x3A), 0xFF);
}

TEST_F(BuiltinBasic, HostileProgramsEndOrWaitWithoutHarm) {
  // Random token soup: every run returns, nothing is written outside memory.
  std::mt19937 random(7);
  for (int program = 0; program < 60; ++program) {
    std::vector<std::string> lines;
    for (int line = 0; line < 6; ++line) {
      std::string text = std::to_string(10 * (line + 1)) + " ";
      for (int i = 0; i < 20; ++i) {
        const unsigned pick = random() % 4;
        if (pick == 0) text += basic_program::keywords()[random() % basic_program::keywords().size()];
        else if (pick == 1) text += static_cast<char>('0' + random() % 10);
        else if (pick == 2) text += "AB(,:\"$%=-"[random() % 10];
        else text += static_cast<char>('A' + random() % 26);
      }
      lines.push_back(text);
    }
    runProgram(lines, 300);
    EXPECT_GE(c64.machine->songTime(), 300u);  // the machine kept running
  }
}

}  // namespace
