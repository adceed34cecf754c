// The built kelvary with the HVSC index: building it beside the program,
// loading it, refusing a damaged one, warning about one made from another
// collection, and finding copies of collection tunes by their data.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>
#include <fstream>
#include <string>
#include <vector>

#include "RunProcess.h"
#include "SharedData.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

const std::string hubbard = "corpus/C64Music/MUSICIANS/H/Hubbard_Rob";
const std::vector<std::string> tunes = {"BMX_Kidz.sid", "Kings_of_the_Beach_intro.sid", "Thing_on_a_Spring.sid"};

// A collection of a few real tunes at update level `level`, a program of its
// own beside which the index goes, and a folder of renamed copies outside both.
struct TSetup {
  TTempDir dir;
  fs::path root = dir.path() / "C64Music";
  std::string program;

  TSetup() {
    program = CopyProgram(KELVARY_FILE, dir.path() / "bin");
    MakeCollection(root, "Update81.hvs");
    fs::create_directories(dir.path() / "rips");
    for (std::size_t i = 0; i < tunes.size(); ++i)
      fs::copy_file(sharedDir() / hubbard / tunes[i], dir.path() / "rips" / ("rip" + std::to_string(i) + ".sid"));
  }
  static void MakeCollection(const fs::path& at, const std::string& marker) {
    fs::create_directories(at / "DOCUMENTS");
    fs::create_directories(at / "DEMOS");
    fs::create_directories(at / "GAMES");
    fs::create_directories(at / "MUSICIANS/H/Hubbard_Rob");
    std::ofstream(at / "DOCUMENTS" / marker) << "update\n";
    for (const std::string& tune : tunes) fs::copy_file(sharedDir() / hubbard / tune, at / "MUSICIANS/H/Hubbard_Rob" / tune);
  }
  fs::path index() const { return dir.path() / "bin" / "hvscindex.dat"; }
  TProcessResult Run(std::vector<std::string> args) const {
    TProcessOptions in;
    in.workingDirectory = dir.path();
    return RunProcess(program, args, in);
  }
};

}  // namespace

TEST(KelvaryIndex, IndexBesideTheProgramFindsRenamedCopiesByTheirData) {
  REQUIRE_SHARED(hubbard);
  TSetup setup;
  const std::string location = "-l" + setup.root.string();

  // -i alone: index, no database needed with -g, then no input.
  TProcessResult r = setup.Run({"-i", "-g", location});
  EXPECT_EQ(r.exitCode, 8);
  EXPECT_EQ(r.err, "Indexing HVSC files...\nHVSC version 81 indexed.\nNo file(s) found.\n");
  ASSERT_TRUE(fs::exists(setup.index()));

  r = setup.Run({"-bo", "-t1", location, "rips/*.sid"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err.rfind("Loading index file...\nHVSC version 81 loaded.\nProcessing...\n", 0), 0u) << r.err;
  // The first sub-tune of each copy names its original. (Later ones that read
  // only a player's tables may name the first file holding those: BMX Kidz.)
  for (std::size_t i = 0; i < tunes.size(); ++i)
    EXPECT_NE(r.out.find("=rips/rip" + std::to_string(i) + ".sid #1 -> found as: /MUSICIANS/H/Hubbard_Rob/" +
                         tunes[i] + " (100%)\n"),
              std::string::npos)
        << r.out;
}

TEST(KelvaryIndex, MissingOrDamagedIndexIsBuiltAnewAndSaved) {
  REQUIRE_SHARED(hubbard);
  TSetup setup;
  const std::string location = "-l" + setup.root.string();

  TProcessResult r = setup.Run({"-bo", "-t1", location, "rips/rip2.sid"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err.rfind("Indexing HVSC files...\nHVSC version 81 indexed.\nProcessing...\n", 0), 0u) << r.err;
  EXPECT_NE(r.out.find("found as: /MUSICIANS/H/Hubbard_Rob/Thing_on_a_Spring.sid (100%)"), std::string::npos);
  ASSERT_TRUE(fs::exists(setup.index()));

  // One byte changed in the data area: refused with its reason, rebuilt, saved whole again.
  const auto size = fs::file_size(setup.index());
  {
    std::fstream file(setup.index(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(size - 10));
    file.put('\x5A');
  }
  r = setup.Run({"-bo", "-t1", location, "rips/rip2.sid"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err.rfind("Loading index file...\nWARNING: index file refused (" + setup.index().string() +
                            ": checksum mismatch); indexing HVSC anew.\nIndexing HVSC files...\nHVSC version 81 "
                            "indexed.\nProcessing...\n",
                        0),
            0u)
      << r.err;
  EXPECT_NE(r.out.find("found as: /MUSICIANS/H/Hubbard_Rob/Thing_on_a_Spring.sid (100%)"), std::string::npos);

  // Cut short: refused the same way; the rebuilt file then loads.
  fs::resize_file(setup.index(), size / 2);
  r = setup.Run({"-bo", "-t1", location, "rips/rip2.sid"});
  EXPECT_NE(r.err.find("WARNING: index file refused ("), std::string::npos) << r.err;
  r = setup.Run({"-bo", "-t1", location, "rips/rip2.sid"});
  EXPECT_EQ(r.err.rfind("Loading index file...\nHVSC version 81 loaded.\nProcessing...\n", 0), 0u) << r.err;
}

TEST(KelvaryIndex, AnIndexOfAnotherCollectionIsUsedWithAWarning) {
  REQUIRE_SHARED(hubbard);
  TSetup setup;
  const fs::path newer = setup.dir.path() / "newer" / "C64Music";
  TSetup::MakeCollection(newer, "Update82.hvs");
  ASSERT_EQ(setup.Run({"-i", "-g", "-l" + setup.root.string()}).exitCode, 8);

  // The same collection, named another way: no warning.
  TProcessResult r = setup.Run({"-bo", "-t1", "-l./C64Music/", "rips/rip2.sid"});
  EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;

  r = setup.Run({"-bo", "-t1", "-l" + newer.string(), "rips/rip2.sid"});
  EXPECT_EQ(r.exitCode, 0);
  const std::string warning = "WARNING: the index was made from HVSC version 81 at " + setup.root.string() +
                              ", the collection in use is version 82 at " + newer.string() +
                              "; run kelvary -i to index it.\n";
  EXPECT_EQ(r.err.rfind("Loading index file...\nHVSC version 81 loaded.\n" + warning + "Processing...\n", 0), 0u)
      << r.err;
  // Still the index's names: the design relies on using what was loaded.
  EXPECT_NE(r.out.find("found as: /MUSICIANS/H/Hubbard_Rob/Thing_on_a_Spring.sid (100%)"), std::string::npos);
}

TEST(KelvaryIndex, AnIndexThatCannotBeSavedServesTheRunOrFailsIndexing) {
  REQUIRE_SHARED(hubbard);
  TSetup setup;
  const std::string location = "-l" + setup.root.string();
  // The index is written aside first: a folder in that place makes every save fail.
  fs::create_directories(setup.index().string() + ".tmp");

  TProcessResult r = setup.Run({"-bo", "-t1", location, "rips/rip2.sid"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("WARNING: the index cannot be saved (cannot write " + setup.index().string() +
                       "); it serves this run only.\nHVSC version 81 indexed.\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("found as: /MUSICIANS/H/Hubbard_Rob/Thing_on_a_Spring.sid (100%)"), std::string::npos);

  r = setup.Run({"-i", "-g", location});
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.out, "std::runtime_error: cannot write " + setup.index().string() + "\n");
  EXPECT_FALSE(fs::exists(setup.index()));
}

TEST(KelvaryIndex, WorkersSearchSideBySideAndCtrlCEndsTheirSearches) {
  REQUIRE_SHARED(hubbard);
  TSetup setup;
  const std::string location = "-l" + setup.root.string();
  ASSERT_EQ(setup.Run({"-i", "-g", location}).exitCode, 8);
  fs::create_directories(setup.dir.path() / "many");
  for (int i = 0; i < 9; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "m%d.sid", i);
    fs::copy_file(sharedDir() / hubbard / tunes[static_cast<std::size_t>(i) % tunes.size()],
                  setup.dir.path() / "many" / name);
  }

  // Two workers, each searching with two threads.
  TProcessResult r = setup.Run({"-bo", "-c2", "-t1", location, "many/*.sid"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  int firsts = 0;
  for (int i = 0; i < 9; ++i) {
    char copy[48];
    std::snprintf(copy, sizeof copy, "=many/m%d.sid #1", i);
    std::string expected = copy;
    expected += " -> found as: /MUSICIANS/H/Hubbard_Rob/";
    expected += tunes[static_cast<std::size_t>(i) % tunes.size()];
    expected += " (100%)\n";
    firsts += r.out.find(expected) != std::string::npos;
  }
  EXPECT_EQ(firsts, 9) << r.out;

  TProcessOptions in;
  in.workingDirectory = setup.dir.path();
  in.whileRunning = [](pid_t pid) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ::kill(pid, SIGINT);
  };
  r = RunProcess(setup.program, {"-bo", "-c2", "-t3", location, "many/*.sid"}, in);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("Process interrupted by user, exiting...\n"), std::string::npos) << r.err;
  EXPECT_TRUE(std::regex_search(r.err, std::regex("\n\nTotal time: \\d\\d:\\d\\d:\\d\\d \\(\\+\\d+ milliseconds\\)\n$")))
      << r.err;
}
