// The built kelvary as its users run it: exit codes, what goes to standard
// output and what to standard error, and the exact line formats.
#include "Kelvary.h"

#include <gtest/gtest.h>

#include <pty.h>

#include <algorithm>
#include <regex>
#include <set>

#include "RunProcess.h"
#include "SharedData.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

const std::string kelvary = KELVARY_FILE;
const std::string hubbard = "corpus/C64Music/MUSICIANS/H/Hubbard_Rob";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start) + "<no line end>");
  return lines;
}

// -g output without the comment lines at its head.
std::string Body(const std::string& out) {
  std::size_t start = 0;
  while (start < out.size() && out[start] == ';') start = out.find('\n', start) + 1;
  return out.substr(start);
}

bool EndsWithTotalTime(const std::string& err) {
  return std::regex_search(err, std::regex("\n\nTotal time: \\d\\d:\\d\\d:\\d\\d \\(\\+\\d+ milliseconds\\)\n$"));
}

// Copies of a few real tunes in a folder of their own.
void CopyTunes(const fs::path& to, const std::vector<std::string>& names) {
  fs::create_directories(to);
  for (const std::string& name : names) fs::copy_file(sharedDir() / hubbard / name, to / name);
}

// count copies of a tune with 17 sub-tunes, t0.sid, t1.sid, ...: work that lasts.
void CopyNumbered(const fs::path& to, int count) {
  for (int copy = 0; copy < count; ++copy) {
    char name[16];
    std::snprintf(name, sizeof name, "t%d.sid", copy);
    fs::copy_file(sharedDir() / hubbard / "Thing_on_a_Spring.sid", to / name);
  }
}

TEST(FormatDuration, FieldsAndHours) {
  EXPECT_EQ(FormatDuration(192345, 3), "00:03:12");
  EXPECT_EQ(FormatDuration(192345, 2), "03:12");
  EXPECT_EQ(FormatDuration(192345, 1), "12");
  EXPECT_EQ(FormatDuration(0, 3), "00:00:00");
  EXPECT_EQ(FormatDuration(int64_t{123} * 3600000 + 5000, 3), "123:00:05");  // hours are not wrapped
}

TEST(KelvaryProgram, WithoutParametersPrintsUsageOnly) {
  const TProcessResult r = RunProcess(kelvary, {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Lines(r.out).at(2), "Usage: kelvary <options> <input_filename>");
}

TEST(KelvaryProgram, CommandLineErrorsGoToStandardErrorWithTheirExitCodes) {
  TProcessResult r = RunProcess(kelvary, {"-x", "-y", "tune.sid"});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ERROR: unknown option: -x\nERROR: unknown option: -y\n");

  // The key wait comes after a parse error too; with no terminal it does not wait.
  r = RunProcess(kelvary, {"-w", "-x", "tune.sid"});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_EQ(r.err, "ERROR: unknown option: -x\n\nPress any key to continue...");

  r = RunProcess(kelvary, {"-l", "/tmp"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "ERROR: Invalid HVSC path entered. No space allowed after -l switch.\n");

  r = RunProcess(kelvary, {"-l/no/such/place", "tune.sid"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "ERROR: HVSC location doesn't exists. Please specify a valid HVSC path.\n");

  // Indexing needs a collection: the default location must exist when -l is not given.
  TProcessOptions nowhere;
  nowhere.environment = {"HVSC_BASE=/no/such/place"};
  r = RunProcess(kelvary, {"-g", "-i", "tune.sid"}, nowhere);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ERROR: HVSC location doesn't exists. Please specify a valid HVSC path.\n");
}

TEST(KelvaryProgram, MissingDatabaseAndMissingInput) {
  TTempDir dir;
  TProcessOptions in;
  in.workingDirectory = dir.path();
  TProcessResult r = RunProcess(kelvary, {"-dnone.txt", "x.sid"}, in);
  EXPECT_EQ(r.exitCode, 7);
  EXPECT_EQ(r.out, "File not found: none.txt\n");
  EXPECT_EQ(r.err, "");

  dir.write("tiny.txt", std::vector<uint8_t>(50, ';'));
  r = RunProcess(kelvary, {"-dtiny.txt", "x.sid"}, in);
  EXPECT_EQ(r.exitCode, 7);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("ERROR: the database tiny.txt cannot be read"), std::string::npos) << r.err;

  // -g needs no database; nothing matches the mask.
  r = RunProcess(kelvary, {"-g", "-s", "*.sid"}, in);
  EXPECT_EQ(r.exitCode, 8);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "No file(s) found.\n");

  // A directory is never an input file.
  fs::create_directory(dir.path() / "folder.sid");
  r = RunProcess(kelvary, {"-g", "folder.sid"}, in);
  EXPECT_EQ(r.exitCode, 8);
}

TEST(KelvaryProgram, FilesThatHoldNoTuneAreReportedAndTheRunGoesOn) {
  REQUIRE_SHARED(hubbard);
  TTempDir dir;
  dir.write("a_empty.sid", {});
  dir.write("b_garbage.sid", {'P', 'K', 3, 4, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  fs::create_symlink(dir.path() / "gone", dir.path() / "c_dangling.sid");
  CopyTunes(dir.path(), {"Kings_of_the_Beach_intro.sid"});
  TProcessOptions in;
  in.workingDirectory = dir.path();
  const TProcessResult r = RunProcess(kelvary, {"-g", "-t0", "*.sid"}, in);
  EXPECT_EQ(r.exitCode, 3);
  std::vector<std::string> lines = Lines(Body(r.out));
  std::sort(lines.begin(), lines.end());
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[0], "File type not supported or file not found: ./a_empty.sid");
  EXPECT_EQ(lines[1], "File type not supported or file not found: ./b_garbage.sid");
  EXPECT_EQ(lines[2], "File type not supported or file not found: ./c_dangling.sid");
  EXPECT_TRUE(std::regex_match(lines[3], std::regex("[0-9a-f]{32}=/Kings_of_the_Beach_intro.sid #1"))) << lines[3];
}

TEST(KelvaryProgram, HashLinesMakeADatabaseThatRecognisesRenamedCopies) {
  REQUIRE_SHARED(hubbard);
  TTempDir dir;
  const std::vector<std::string> tunes = {"Kings_of_the_Beach_intro.sid", "BMX_Kidz.sid", "One_Man_and_His_Droid.sid"};
  CopyTunes(dir.path() / "hvsc", tunes);
  TProcessOptions inHvsc;
  inHvsc.workingDirectory = dir.path() / "hvsc";

  TProcessResult made = RunProcess(kelvary, {"-g", "-t1", "-c1", "*.sid"}, inHvsc);
  ASSERT_EQ(made.exitCode, 0) << made.err;
  // The head says how the hashes were made: the built-in ROM set whatever the machine has.
  EXPECT_EQ(made.out.substr(0, made.out.size() - Body(made.out).size()),
            "; made by: kelvary 1.05 with libzorvex 1.3.7\n; ROM set: built-in\n; play time: 1 minute\n");
  const std::vector<std::string> lines = Lines(Body(made.out));
  for (const std::string& line : lines)
    EXPECT_TRUE(std::regex_match(line, std::regex("[0-9a-f]{32}=/[A-Za-z_]+\\.sid #\\d+"))) << line;
  EXPECT_EQ(lines.size(), 1u + 4u + 14u);  // the tunes' sub-tunes
  EXPECT_TRUE(std::regex_match(made.err, std::regex("Processing...\n\nTotal time: .*\n"))) << made.err;

  // Two workers give the same lines, in some order.
  const std::vector<std::string> two = Lines(Body(RunProcess(kelvary, {"-g", "-t1", "-c2", "*.sid"}, inHvsc).out));
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), std::multiset<std::string>(two.begin(), two.end()));

  { std::ofstream(dir.path() / "database.txt") << "; made by kelvary -g\n" << made.out; }
  fs::create_directories(dir.path() / "rips" / "deeper");
  fs::copy_file(dir.path() / "hvsc" / "BMX_Kidz.sid", dir.path() / "rips" / "deeper" / "bmx (rip).sid");
  TProcessOptions inRips;
  inRips.workingDirectory = dir.path() / "rips";
  const TProcessResult found = RunProcess(kelvary, {"-t1", "-d../database.txt", "-s", "*"}, inRips);
  EXPECT_EQ(found.exitCode, 0) << found.err;
  EXPECT_EQ(found.err.find("WARNING"), std::string::npos) << found.err;
  std::vector<std::string> results = Lines(found.out);
  ASSERT_EQ(results.size(), 4u) << found.out;
  for (int n = 1; n <= 4; ++n) {
    const std::string line = results[static_cast<std::size_t>(n - 1)];
    EXPECT_TRUE(std::regex_match(line, std::regex("[0-9a-f]{32}=/deeper/bmx \\(rip\\)\\.sid #" + std::to_string(n) +
                                                  " -> same as: /BMX_Kidz\\.sid #" + std::to_string(n))))
        << line;
  }

  // --json carries the same facts.
  const TProcessResult json = RunProcess(kelvary, {"-t1", "-d../database.txt", "-s", "--json", "*"}, inRips);
  EXPECT_TRUE(std::regex_search(json.out, std::regex("^\\{\"file\":\"./deeper/bmx \\(rip\\).sid\",\"subtune\":1,"
                                                     "\"hash\":\"[0-9a-f]{32}\",\"clock\":\"PAL\",\"outcome\":\"same\","
                                                     "\"match\":\"/BMX_Kidz.sid #1\"\\}\n")))
      << json.out;

  // Another play time than the database's is worth one warning.
  const TProcessResult longer = RunProcess(kelvary, {"-t2", "-d../database.txt", "-nf", "-s", "*"}, inRips);
  EXPECT_EQ(longer.err.substr(0, longer.err.find('\n')),
            "WARNING: the database was made with ROM set built-in, play time 1 minute; this run uses ROM set "
            "built-in, play time 2 minutes, so the same tune may hash differently.");

  // -nf: nothing for what is known.
  const TProcessResult quiet = RunProcess(kelvary, {"-t1", "-d../database.txt", "-nf", "-s", "*"}, inRips);
  EXPECT_EQ(quiet.out, "");
}

TEST(KelvaryProgram, PlaysWithTheBuiltInRomsUnlessOthersAreNamed) {
  REQUIRE_SHARED(hubbard);
  TTempDir dir;
  CopyTunes(dir.path(), {"Kings_of_the_Beach_intro.sid"});
  const TTempDir empty, roms;
  roms.write("kernal", std::vector<uint8_t>(8192, 0x60));
  TProcessOptions in;
  in.workingDirectory = dir.path();
  const auto romLine = [](const std::string& out) { return Lines(out).at(1); };

  TProcessResult r = RunProcess(kelvary, {"-g", "-t0", "--roms", empty.path().string(), "Kings*"}, in);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(romLine(r.out), "; ROM set: built-in");
  EXPECT_EQ(Lines(r.err).at(0), "WARNING: no ROM images in " + empty.path().string() + "; the built-in set is used.");

  r = RunProcess(kelvary, {"-g", "-t0", "--roms", "/no/such/roms", "Kings*"}, in);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "ERROR: ROM directory doesn't exist: /no/such/roms\n");

  in.environment = {"ZORVEX_ROMS=" + roms.path().string()};
  r = RunProcess(kelvary, {"-g", "-t0", "Kings*"}, in);
  EXPECT_EQ(romLine(r.out), "; ROM set: images from " + roms.path().string() + " (kernal)");
}

TEST(KelvaryProgram, UnknownTunesAreSaidOnceAndTheRunEndsWithAHint) {
  REQUIRE_SHARED(hubbard);
  TTempDir dir;
  CopyTunes(dir.path(), {"Kings_of_the_Beach_intro.sid", "Thing_on_a_Spring.sid"});
  dir.write("database.txt", std::vector<uint8_t>(60, ';'));
  TProcessOptions in;
  in.workingDirectory = dir.path();
  const TProcessResult r = RunProcess(kelvary, {"-t0", "-ddatabase.txt", "Kings*"}, in);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "No known entry found for ./Kings_of_the_Beach_intro.sid #1\n");
  // One sub-tune processed: no closing hint.
  EXPECT_TRUE(std::regex_match(r.err, std::regex("Processing...\n\nTotal time: .*\n"))) << r.err;

  const TProcessResult two = RunProcess(kelvary, {"-t0", "-ddatabase.txt", "*.sid"}, in);
  EXPECT_NE(two.err.find("No known entries found for the processed files.\nUse the -b option to enable binary search.\n"),
            std::string::npos)
      << two.err;
}

TEST(KelvaryProgram, RelativeDatabaseNamesAreLookedForHereFirstThenBesideTheProgram) {
  REQUIRE_SHARED(hubbard);
  TTempDir dir;
  // A copy of the program and library, so that "beside the program" is ours to fill.
  const std::string program = CopyProgram(kelvary, dir.path() / "bin");
  CopyTunes(dir.path() / "work", {"Kings_of_the_Beach_intro.sid"});
  TProcessOptions in;
  in.workingDirectory = dir.path() / "work";
  const std::string hash = Lines(Body(RunProcess(program, {"-g", "-t1", "Kings*"}, in).out)).at(0).substr(0, 32);
  std::ofstream(dir.path() / "bin" / "database.txt") << hash << "=/beside/the/program.sid #1\n";
  std::ofstream(dir.path() / "bin" / "other.txt") << hash << "=/other/beside/the/program.sid #1\n";

  EXPECT_NE(RunProcess(program, {"-t1", "Kings*"}, in).out.find("same as: /beside/the/program.sid #1"),
            std::string::npos);
  EXPECT_NE(RunProcess(program, {"-t1", "-dother.txt", "Kings*"}, in).out.find("same as: /other/beside"),
            std::string::npos);
  std::ofstream(dir.path() / "work" / "other.txt") << hash << "=/in/the/current/directory.sid #1\n";
  EXPECT_NE(RunProcess(program, {"-t1", "-dother.txt", "Kings*"}, in).out.find("same as: /in/the/current"),
            std::string::npos);
}

TEST(KelvaryProgram, CtrlCEndsTheRunWithWholeLinesAndTheTotalTime) {
  REQUIRE_SHARED(hubbard);
  TTempDir dir;
  CopyNumbered(dir.path(), 40);
  TProcessOptions in;
  in.workingDirectory = dir.path();
  in.whileRunning = [](pid_t pid) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(pid, SIGINT);
  };
  const TProcessResult r = RunProcess(kelvary, {"-g", "-t3", "*.sid"}, in);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.empty() || r.out.back() == '\n');
  for (const std::string& line : Lines(Body(r.out)))
    EXPECT_TRUE(std::regex_match(line, std::regex("[0-9a-f]{32}=/t\\d+\\.sid #\\d+"))) << line;
  EXPECT_LT(Lines(Body(r.out)).size(), 40u * 17u);
  EXPECT_NE(r.err.find("Processing...\nProcess interrupted by user, exiting...\n"), std::string::npos) << r.err;
  EXPECT_TRUE(EndsWithTotalTime(r.err)) << r.err;
}

TEST(KelvaryProgram, MultiPartProgramsAndZeroMinutes) {
  const std::string intro = "corpus/prg/mickeyl_retrotunes/HVSC/C64Music/HVSC_Intro_41.d64.files/HVSC_INTRO.prg";
  REQUIRE_SHARED(intro);
  TTempDir dir;
  fs::copy_file(sharedDir() / intro, dir.path() / "intro.prg");
  TProcessOptions in;
  in.workingDirectory = dir.path();
  // The intro brings no second part after the key press: one line.
  TProcessResult r = RunProcess(kelvary, {"-g", "-m", "-t1", "intro.prg"}, in);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(std::regex_match(Body(r.out), std::regex("[0-9a-f]{32}=/intro\\.prg #1\n"))) << r.out;
  EXPECT_NE(Body(r.out).substr(0, 32), "d41d8cd98f00b204e9800998ecf8427e");
  // No time at all: nothing can be hashed.
  r = RunProcess(kelvary, {"-g", "-m", "-t0", "intro.prg"}, in);
  EXPECT_EQ(Body(r.out), "d41d8cd98f00b204e9800998ecf8427e=/intro.prg #1\n");
}

TEST(KelvaryProgram, ProgressGoesToATerminalOnlyAndNeverIntoTheResults) {
  REQUIRE_SHARED(hubbard);
  TTempDir dir;
  // Enough work to outlast the first progress tick on any machine; Ctrl-C ends it.
  CopyNumbered(dir.path(), 20);
  int master = -1;
  int slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  std::string terminal;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) terminal.append(buffer, static_cast<std::size_t>(n));
  });
  TProcessOptions in;
  in.workingDirectory = dir.path();
  in.errorDescriptor = slave;
  in.whileRunning = [](pid_t pid) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(pid, SIGINT);
  };
  const TProcessResult r = RunProcess(kelvary, {"-g", "-t3", "-c1", "*.sid"}, in);
  ::close(slave);  // the reader sees the end once the child's copy is gone too
  reader.join();
  ::close(master);
  EXPECT_EQ(r.exitCode, 0);
  for (const std::string& line : Lines(Body(r.out)))
    EXPECT_TRUE(std::regex_match(line, std::regex("[0-9a-f]{32}=/t\\d+\\.sid #\\d+"))) << line;
  EXPECT_TRUE(std::regex_search(terminal, std::regex("\\d+ files, \\d+ sub-tunes done, \\d\\d:\\d\\d:\\d\\d elapsed, \\d+x real time")))
      << terminal;
  EXPECT_NE(terminal.find("Total time: "), std::string::npos);
}

}  // namespace
