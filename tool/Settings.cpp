#include "Settings.h"

#include <cctype>
#include <charconv>

#include "Hvsc.h"
#include "platform/Files.h"
#include "platform/System.h"

namespace {

bool HasPrefixIgnoringCase(const std::string& text, const char* prefix) {
  const std::string lower = Hvsc::LowerAscii(text.substr(0, std::char_traits<char>::length(prefix)));
  return lower == prefix;
}

}  // namespace

int32_t ParseInteger(const std::string& text) {
  int32_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last) return 0;
  return value;
}

#ifdef _WIN32
// On Windows the collection customarily lies at a fixed place on drive C.
constexpr const char* defaultLocationText = "%HVSC_BASE%, else C:\\HVSC\\C64music";
std::string DefaultHvscPath() {
  std::string base = Platform::environment("HVSC_BASE");
  return base.empty() ? "C:\\HVSC\\C64music" : base;
}
#else
constexpr const char* defaultLocationText = "$HVSC_BASE, else $HOME/C64Music";
std::string DefaultHvscPath() {
  std::string base = Platform::environment("HVSC_BASE");
  if (!base.empty()) return base;
  return Platform::environment("HOME") + Platform::pathSeparator + "C64Music";
}
#endif

std::vector<std::string> UsageText() {
  return {
      std::string("Kelvary Tool v") + toolVersion,
      "",
      "Usage: kelvary <options> <input_filename>",
      "",
      "<Options>",
      "  -b: when the SID data hash is unknown, look for the tune's data bytes in HVSC (binary search)",
      "  -bo: binary search only, no data hash look-up",
      "  -c{max_threads}: use at most this many CPU threads [Default is all]",
      "  -d{database_filename}: the hash database to use [Default database.txt beside kelvary]",
      "  -g: only print the data hashes, in database.txt format",
      "  -i: index the HVSC collection and save the index beside kelvary for later searches",
      std::string("  -l{hvsc location}: where HVSC lies [Default ") + defaultLocationText + "]",
      "  -m: play further parts when present (PRG files only)",
      "  -nf: only print the files for which nothing is found",
      "  -s: include sub-directories",
      "  -t{minutes}: minutes to play each sub-tune [Default 3 min]",
      "  -w: wait for a key press before exiting",
      "  --json: print one JSON object per line instead of the result lines",
      "  --roms DIR: play with the C64 ROM images (kernal, basic, chargen) in DIR [Default: the built-in set]",
  };
}

TParseResult ParseCommandLine(const std::vector<std::string>& args, const std::string& defaultHvscPath,
                              const std::function<bool(const std::string&)>& directoryExists) {
  TParseResult result;
  TSettings& s = result.settings;
  s.hvscPath = defaultHvscPath;
  std::size_t i = 0;
  // Every parameter that starts with "-" is a switch unless it is the last one;
  // the first switch whose test fits takes it, so the order below matters.
  while (i < args.size() && args[i].size() >= 2 && args[i][0] == '-') {
    const std::string& p = args[i];
    if (HasPrefixIgnoringCase(p, "-t")) {
      s.minutes = ParseInteger(p.substr(2));
    } else if (p == "-b") {
      s.useBinarySearch = true;
    } else if (p == "-bo") {
      s.binaryOnly = true;
      s.useBinarySearch = true;
    } else if (p == "-g") {
      s.generateOnly = true;
    } else if (p == "-i") {
      s.indexHvsc = true;
    } else if (p == "-m") {
      s.multiPart = true;
    } else if (p == "-nf") {
      s.namesOnlyNotFound = true;
    } else if (HasPrefixIgnoringCase(p, "-d")) {
      s.databaseFile = p.substr(2);
    } else if (HasPrefixIgnoringCase(p, "-c")) {
      s.maxThreads = ParseInteger(p.substr(2));
    } else if (p == "-s") {
      s.includeSubdirs = true;
    } else if (p == "-w") {
      s.waitForKey = true;
    } else if (p == "--json") {
      s.json = true;
    } else if (p == "--roms" || p.starts_with("--roms=")) {
      // "--roms DIR" takes the next parameter, "--roms=DIR" its own rest.
      std::string dir;
      if (p != "--roms")
        dir = p.substr(7);
      else if (i + 1 < args.size())
        dir = args[++i];
      if (dir.empty()) {
        result.errors.push_back("ERROR: --roms needs the directory of the ROM images.");
        result.exitCode = 1;
      } else if (!directoryExists(dir)) {
        result.errors.push_back("ERROR: ROM directory doesn't exist: " + dir);
        result.exitCode = 1;
      } else {
        s.romDirectory = dir;
      }
    } else if (HasPrefixIgnoringCase(p, "-l")) {
      if (p.size() < 3) {
        result.errors.push_back("ERROR: Invalid HVSC path entered. No space allowed after -l switch.");
        result.exitCode = 1;
      } else {
        std::string path = p.substr(2);
        // "/" too: Windows takes it as a separator as well.
        if (path.size() > 1 && (path.back() == Platform::pathSeparator || path.back() == '/')) path.pop_back();
        if (!directoryExists(path)) {
          result.errors.push_back("ERROR: HVSC location doesn't exists. Please specify a valid HVSC path.");
          result.exitCode = 2;
        } else {
          s.hvscPath = path;
          s.hvscPathGiven = true;
        }
      }
    } else {
      if (i + 1 >= args.size()) break;  // the last parameter is the input name
      result.errors.push_back("ERROR: unknown option: " + p);
      result.exitCode = 6;
    }
    ++i;
  }
  if (i < args.size()) s.inputName = args[i];
  return result;
}
