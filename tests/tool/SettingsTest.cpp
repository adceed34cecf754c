#include "Settings.h"

#include <gtest/gtest.h>

namespace {

TParseResult Parse(std::vector<std::string> args) {
  return ParseCommandLine(args, "/default/C64Music", [](const std::string& path) { return path == "/hvsc"; });
}

TEST(CommandLine, SwitchValuesAndDefaults) {
  TParseResult r = Parse({"tune.sid"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.settings.minutes, 3);
  EXPECT_EQ(r.settings.maxThreads, 0);
  EXPECT_EQ(r.settings.hvscPath, "/default/C64Music");
  EXPECT_FALSE(r.settings.hvscPathGiven);
  EXPECT_EQ(r.settings.inputName, "tune.sid");

  r = Parse({"-T7", "-c2", "-dmy.db", "-g", "-m", "-nf", "-s", "-w", "--json", "x", "ignored"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.settings.minutes, 7);
  EXPECT_EQ(r.settings.maxThreads, 2);
  EXPECT_EQ(r.settings.databaseFile, "my.db");
  EXPECT_TRUE(r.settings.generateOnly && r.settings.multiPart && r.settings.namesOnlyNotFound &&
              r.settings.includeSubdirs && r.settings.waitForKey && r.settings.json);
  EXPECT_EQ(r.settings.inputName, "x");
}

TEST(CommandLine, NumbersThatAreNotNumbersGiveZero) {
  EXPECT_EQ(Parse({"-t", "x"}).settings.minutes, 0);
  EXPECT_EQ(Parse({"-tabc", "x"}).settings.minutes, 0);
  EXPECT_EQ(Parse({"-t5x", "x"}).settings.minutes, 0);
  EXPECT_EQ(Parse({"-t99999999999", "x"}).settings.minutes, 0);
  EXPECT_EQ(Parse({"-t-2", "x"}).settings.minutes, -2);
  EXPECT_EQ(Parse({"-c+3", "x"}).settings.maxThreads, 3);
  EXPECT_EQ(Parse({"-C-1", "x"}).settings.maxThreads, -1);
}

TEST(CommandLine, BinaryOnlySetsBothFlagsAndIsNeverTakenForB) {
  TParseResult r = Parse({"-bo", "x"});
  EXPECT_TRUE(r.settings.binaryOnly);
  EXPECT_TRUE(r.settings.useBinarySearch);
  r = Parse({"-b", "x"});
  EXPECT_FALSE(r.settings.binaryOnly);
  EXPECT_TRUE(r.settings.useBinarySearch);
}

TEST(CommandLine, ExactSwitchesAreCaseSensitivePrefixSwitchesAreNot) {
  // "-G" is no switch; not being last, it is an unknown option.
  TParseResult r = Parse({"-G", "x"});
  EXPECT_EQ(r.exitCode, 6);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0], "ERROR: unknown option: -G");
  // Anything beginning with -d, -c or -l is taken as that switch.
  r = Parse({"-Debug", "x"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.settings.databaseFile, "ebug");
}

TEST(CommandLine, TwoUnknownSwitchesGiveTwoLinesAndALastDashParameterIsTheInput) {
  TParseResult r = Parse({"-x", "-y", "-z"});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_EQ(r.errors, (std::vector<std::string>{"ERROR: unknown option: -x", "ERROR: unknown option: -y"}));
  EXPECT_EQ(r.settings.inputName, "-z");
}

TEST(CommandLine, HvscLocation) {
  TParseResult r = Parse({"-l", "/hvsc"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.errors, (std::vector<std::string>{
                          "ERROR: Invalid HVSC path entered. No space allowed after -l switch."}));
  EXPECT_EQ(r.settings.inputName, "/hvsc");

  r = Parse({"-l/hvsc/", "x"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.settings.hvscPath, "/hvsc");
  EXPECT_TRUE(r.settings.hvscPathGiven);

  r = Parse({"-L/nowhere", "x"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.errors, (std::vector<std::string>{
                          "ERROR: HVSC location doesn't exists. Please specify a valid HVSC path."}));
  EXPECT_EQ(r.settings.hvscPath, "/default/C64Music");

  // The last error sets the exit code.
  r = Parse({"-l/nowhere", "-q", "x"});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_EQ(r.errors.size(), 2u);
}

TEST(CommandLine, RomDirectoryInEitherSpelling) {
  TParseResult r = Parse({"--roms", "/hvsc", "x.sid"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.settings.romDirectory, "/hvsc");
  EXPECT_EQ(r.settings.inputName, "x.sid");
  r = Parse({"--roms=/hvsc", "-g", "x.sid"});
  EXPECT_EQ(r.settings.romDirectory, "/hvsc");
  EXPECT_TRUE(r.settings.generateOnly);

  r = Parse({"--roms=/nowhere", "x.sid"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.errors, (std::vector<std::string>{"ERROR: ROM directory doesn't exist: /nowhere"}));
  r = Parse({"-g", "--roms="});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.errors, (std::vector<std::string>{"ERROR: --roms needs the directory of the ROM images."}));
}

TEST(CommandLine, UsageListsEverySwitch) {
  std::string all;
  for (const std::string& line : UsageText()) all += line + "\n";
  for (const char* s : {"-b:", "-bo:", "-c{", "-d{", "-g:", "-i:", "-l{", "-m:", "-nf:", "-s:", "-t{", "-w:", "--json", "--roms"})
    EXPECT_NE(all.find(std::string("  ") + s), std::string::npos) << s;
  EXPECT_NE(all.find("Usage: kelvary <options> <input_filename>"), std::string::npos);
}

}  // namespace
