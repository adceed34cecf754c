// The command line of kelvary turned into settings, error lines and an exit
// code, without printing anything: the program prints what comes back.
//
//   TParseResult parsed = ParseCommandLine({"-t2", "-s", "*.sid"}, "/home/me/C64Music", isDirectory);
//   // parsed.settings.minutes == 2, parsed.settings.inputName == "*.sid", parsed.exitCode == 0
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TSettings {
  int32_t minutes = 3;
  bool useBinarySearch = false;
  bool binaryOnly = false;
  bool generateOnly = false;
  bool indexHvsc = false;
  bool multiPart = false;
  bool namesOnlyNotFound = false;
  std::string databaseFile;  // empty: database.txt beside the program
  int32_t maxThreads = 0;    // 0: every CPU the process may use
  bool includeSubdirs = false;
  bool waitForKey = false;
  std::string hvscPath;
  bool hvscPathGiven = false;
  std::string inputName;
  bool json = false;  // --json: results as JSON lines
  std::string romDirectory;  // --roms: genuine ROM images; empty: the built-in set
};

// The program's version, as its banner and the -g head name it.
inline constexpr const char* toolVersion = "1.05";

struct TParseResult {
  TSettings settings;
  std::vector<std::string> errors;  // console lines, in order
  int exitCode = 0;                 // the last one set
};

// args: the parameters after the program name. The default HVSC location is
// stored unless -l names another; directoryExists checks -l paths.
TParseResult ParseCommandLine(const std::vector<std::string>& args, const std::string& defaultHvscPath,
                              const std::function<bool(const std::string&)>& directoryExists);

// Plain signed decimal that fits in 32 bits; anything else (empty included) is 0.
int32_t ParseInteger(const std::string& text);

// Where HVSC is looked for when -l does not say: $HVSC_BASE, else $HOME/C64Music.
std::string DefaultHvscPath();

// The usage text, one line per element.
std::vector<std::string> UsageText();
