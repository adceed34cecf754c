// The built kelvary on real tunes: a database made with -g from a spread of
// the corpus must recognise every sounding sub-tune of copies that differ only
// in name, folder or header texts, and most program rips made from the tunes.
//
// The collection, its database and the copies are made once for the whole
// executable (ctest runs it as one test), since the -g pass is the costly part.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "DataHashCalc.h"
#include "PassLoop.h"
#include "RunProcess.h"
#include "SharedData.h"
#include "TempDir.h"
#include "Zorvex_Wrapper.h"

namespace {

namespace fs = std::filesystem;

const std::string kelvary = KELVARY_FILE;
const std::string collection = "corpus/C64Music";
const fs::path psid2prg = fs::path(ZORVEX_SOURCE_DIR) / "scripts/psid2prg.py";
const std::string silentDigest = TDataHashCalc::emptyDigest;

// A tune of hundreds of sub-tunes costs as much as a hundred others (and
// silent ones cost two full passes each in a look-up): left out of the pick.
constexpr int maxSongs = 64;

// Instrumented or unoptimised builds play ten to twenty times slower: a tenth
// of the tunes keeps the run within minutes. The floors sit a little under the
// shares measured on these picks with -t1, where the misses were rips whose
// first play call after a start taken in init comes at another moment than in
// the tune, so the minute ends on another write (see MissReason).
#ifdef IDENTIFICATION_SMALL_PICK
constexpr std::size_t everyNth = 200;
constexpr std::size_t extraRsids = 3;
constexpr std::size_t extraBasicRsids = 2;
constexpr std::size_t prgEveryNth = 2;
constexpr double prgShareFloor = 0.85;
#else
constexpr std::size_t everyNth = 20;
constexpr std::size_t extraRsids = 24;
constexpr std::size_t extraBasicRsids = 12;
constexpr std::size_t prgEveryNth = 3;
constexpr double prgShareFloor = 0.93;
#endif

struct TTune {
  std::string rel;  // collection path, "DEMOS/A-F/Tune.sid"
  bool rsid = false;
  bool basic = false;
  int songs = 0;
  int startSong = 1;
};

std::string Label(const std::string& rel, int n) { return "/" + rel + " #" + std::to_string(n); }

std::vector<uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TTune ReadTune(const fs::path& root, const std::string& rel) {
  const std::vector<uint8_t> h = ReadBytes(root / rel);
  TTune tune;
  tune.rel = rel;
  if (h.size() < 0x78) return tune;
  tune.rsid = std::memcmp(h.data(), "RSID", 4) == 0;
  tune.basic = tune.rsid && (h[0x77] & 0x02) != 0;
  tune.songs = h[0x0E] << 8 | h[0x0F];
  tune.startSong = h[0x10] << 8 | h[0x11];
  return tune;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One result line of a look-up run.
struct TResult {
  enum class Kind { same, sameOtherClock, notFound } kind = Kind::notFound;
  std::string hash;
  std::string match;  // without a clock label
  std::string line;
};

// Results by file ("/dir/name", as result lines show it) and sub-tune; lines
// that fit no expected form, or repeat a sub-tune, land in stray.
struct TLookup {
  std::map<std::string, std::map<int, TResult>> byFile;
  std::vector<std::string> stray;
  int exitCode = -1;
  std::string err;
};

TLookup Lookup(const fs::path& root, const fs::path& database) {
  TProcessOptions in;
  in.workingDirectory = root;
  const TProcessResult r = RunProcess(kelvary, {"-d" + database.string(), "-s", "-t1", "*"}, in);
  static const std::regex other("([0-9a-f]{32})=(.*) #(\\d+)\\((PAL|NTSC)\\) -> same as: (.*)\\((PAL|NTSC)\\)");
  static const std::regex same("([0-9a-f]{32})=(.*) #(\\d+) -> same as: (.*)");
  static const std::regex notFound("No known entry found for (.*) #(\\d+)");
  TLookup lookup;
  lookup.exitCode = r.exitCode;
  lookup.err = r.err;
  for (const std::string& line : Lines(r.out)) {
    std::smatch m;
    TResult result;
    result.line = line;
    std::string name;
    int n = 0;
    if (std::regex_match(line, m, other) && m[4] != m[6]) {
      result.kind = TResult::Kind::sameOtherClock;
      result.hash = m[1];
      name = m[2];
      n = std::stoi(m[3]);
      result.match = m[5];
    } else if (std::regex_match(line, m, same)) {
      result.kind = TResult::Kind::same;
      result.hash = m[1];
      name = m[2];
      n = std::stoi(m[3]);
      result.match = m[4];
    } else if (std::regex_match(line, m, notFound)) {
      name = m[1];
      n = std::stoi(m[2]);
    } else {
      lookup.stray.push_back(line);
      continue;
    }
    // Status lines keep the search's "./" where result lines show "/".
    if (name.starts_with("./")) name.erase(0, 1);
    if (!lookup.byFile[name].emplace(n, result).second) lookup.stray.push_back("repeated: " + line);
  }
  return lookup;
}

// Counts of one look-up set.
struct TTally {
  std::string set;
  int tunes = 0;
  int subTunes = 0;
  int same = 0;
  int otherClock = 0;  // of same: matched on the other clock
  int silent = 0;
  std::vector<std::string> misses;

  std::string Summary() const {
    std::ostringstream s;
    s << set << ": " << tunes << " tunes, " << subTunes << " sub-tunes, " << same << " same";
    if (otherClock > 0) s << " (" << otherClock << " on the other clock)";
    s << ", " << silent << " silent, " << misses.size() << " misses";
    return s.str();
  }
};

std::vector<TTally>& Tallies() {
  static std::vector<TTally> tallies;
  return tallies;
}

// The spread of the corpus, copied at its collection paths, and what -g made of it.
struct TCollection {
  std::string error;  // set when making it failed
  std::unique_ptr<TTempDir> dir;
  fs::path root;
  fs::path database;
  std::vector<TTune> tunes;
  std::map<std::string, std::vector<std::string>> hashes;  // by rel, sub-tune N at [N - 1]
  std::map<std::string, std::set<std::string>> labelsOf;   // by hash

  bool Recognised(const std::string& hash, const std::string& match) const {
    const auto it = labelsOf.find(hash);
    return it != labelsOf.end() && it->second.count(match) > 0;
  }
};

std::vector<TTune> PickTunes(const fs::path& root) {
  std::vector<std::string> all;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file() && entry.path().extension() == ".sid")
      all.push_back(fs::relative(entry.path(), root).generic_string());
  std::sort(all.begin(), all.end());
  std::vector<TTune> every;
  for (const std::string& rel : all) every.push_back(ReadTune(root, rel));

  std::erase_if(every, [](const TTune& t) { return t.songs > maxSongs; });
  std::set<std::string> picked;
  for (std::size_t i = everyNth / 2; i < every.size(); i += everyNth) picked.insert(every[i].rel);
  // A plain spread holds few RSIDs and fewer BASIC ones; they play through
  // other code paths (no play address, BASIC start), so some are added.
  auto spread = [&](bool basic, std::size_t count) {
    std::vector<std::string> kind;
    for (const TTune& t : every)
      if (t.rsid && t.basic == basic) kind.push_back(t.rel);
    for (std::size_t i = 0; i < count && !kind.empty(); ++i)
      picked.insert(kind[(2 * i + 1) * kind.size() / (2 * count)]);
  };
  spread(false, extraRsids);
  spread(true, extraBasicRsids);
  std::vector<TTune> tunes;
  for (const TTune& t : every)
    if (picked.count(t.rel)) tunes.push_back(t);
  return tunes;
}

TCollection MakeCollection() {
  TCollection c;
  c.tunes = PickTunes(sharedDir() / collection);
  c.dir = std::make_unique<TTempDir>();
  c.root = c.dir->path() / "hvsc";
  c.database = c.dir->path() / "database.txt";
  for (const TTune& t : c.tunes) {
    fs::create_directories((c.root / t.rel).parent_path());
    fs::copy_file(sharedDir() / collection / t.rel, c.root / t.rel);
  }
  // A collection root as HVSC has it: its four folders and the newest update marker.
  for (const char* folder : {"DEMOS", "GAMES", "MUSICIANS", "DOCUMENTS"}) fs::create_directories(c.root / folder);
  fs::copy_file(sharedDir() / collection / "DOCUMENTS/Update69.hvs", c.root / "DOCUMENTS/Update69.hvs");
  TProcessOptions in;
  in.workingDirectory = c.root;
  const TProcessResult made = RunProcess(kelvary, {"-g", "-s", "-t1", "*.sid"}, in);
  if (made.exitCode != 0) {
    c.error = "kelvary -g ended with " + std::to_string(made.exitCode) + ": " + made.err;
    return c;
  }
  static const std::regex hashLine("([0-9a-f]{32})=/(.*) #(\\d+)");
  for (const std::string& line : Lines(made.out)) {
    if (line.starts_with(";")) continue;  // the head: how the hashes were made
    std::smatch m;
    if (!std::regex_match(line, m, hashLine)) {
      c.error += "not a hash line: " + line + "\n";
      continue;
    }
    std::vector<std::string>& subTunes = c.hashes[m[2]];
    const auto n = static_cast<std::size_t>(std::stoi(m[3]));
    if (subTunes.size() < n) subTunes.resize(n);
    if (!subTunes[n - 1].empty()) c.error += "sub-tune hashed twice: " + line + "\n";
    subTunes[n - 1] = m[1];
    c.labelsOf[m[1]].insert("/" + std::string(m[2]) + " #" + std::string(m[3]));
  }
  // Every sub-tune the header announces, once, and nothing else.
  for (const TTune& t : c.tunes) {
    const auto it = c.hashes.find(t.rel);
    const std::size_t got = it == c.hashes.end() ? 0 : it->second.size();
    if (got != static_cast<std::size_t>(t.songs))
      c.error += t.rel + ": " + std::to_string(got) + " hash lines for " + std::to_string(t.songs) + " sub-tunes\n";
    else if (std::count(it->second.begin(), it->second.end(), std::string()) > 0)
      c.error += t.rel + ": a sub-tune without a hash line\n";
  }
  if (c.hashes.size() != c.tunes.size()) c.error += "hash lines name files that were not picked\n";
  std::ofstream(c.database) << made.out;
  return c;
}

// Every sounding sub-tune of each copy must be the same as its original (or
// another original with the same hash); silent ones must find nothing.
TTally CheckCopies(const TCollection& c, const std::string& set, const std::map<std::string, std::string>& copies,
                   const TLookup& lookup) {
  TTally tally;
  tally.set = set;
  for (const auto& [copy, original] : copies) {
    ++tally.tunes;
    const std::vector<std::string>& hashes = c.hashes.at(original);
    const auto results = lookup.byFile.find("/" + copy);
    for (std::size_t i = 0; i < hashes.size(); ++i) {
      ++tally.subTunes;
      const int n = static_cast<int>(i) + 1;
      const std::string what = Label(copy, n) + " (" + Label(original, n) + "): ";
      const TResult* result = nullptr;
      if (results != lookup.byFile.end() && results->second.count(n)) result = &results->second.at(n);
      if (result == nullptr) {
        tally.misses.push_back(what + "no result line");
      } else if (hashes[i] == silentDigest) {
        if (result->kind == TResult::Kind::notFound)
          ++tally.silent;
        else
          tally.misses.push_back(what + "silent in the database, but: " + result->line);
      } else if (result->kind == TResult::Kind::same && result->hash == hashes[i] &&
                 c.Recognised(hashes[i], result->match)) {
        ++tally.same;
      } else {
        tally.misses.push_back(what + "expected " + hashes[i] + ", got: " + result->line);
      }
    }
    if (results != lookup.byFile.end())
      for (const auto& [n, result] : results->second)
        if (n < 1 || static_cast<std::size_t>(n) > hashes.size())
          tally.misses.push_back(Label(copy, n) + ": a sub-tune the original does not have: " + result.line);
  }
  for (const auto& [file, results] : lookup.byFile)
    if (!copies.count(file.substr(1))) tally.misses.push_back(file + ": a result for a file that was not made");
  return tally;
}

// SID writes from the start of the music on, as a worker's pass sees them, and
// the hash the pass gives: for telling why a rip is not recognised.
struct TPassWrites {
  std::vector<uint16_t> pairs;  // register in the low byte, value in the high byte
  std::vector<uint32_t> times;
  std::string hash;
  bool loaded = false;
};

TPassWrites PlayPass(const fs::path& file, int32_t song, bool pal) {
  TPassWrites writes;
  Zorvex::BindOrThrow();
  TZorvexInstance c64;
  if (!c64.LoadFile(file.string())) return writes;
  writes.loaded = true;
  c64.PrepareFile();
  c64.SetSongToPlay(song);
  c64.SetC64Version(pal ? 1 : 2);
  TPassLoop loop;
  TDataHashCalc calc;
  loop.StartFile();
  loop.StartSubTune();
  loop.StartPass(TPassLoop::Budget(1, pal));
  TStreamEntry entry;
  for (;;) {
    c64.Next(entry);
    const bool wasStarted = loop.started();
    if (!loop.Feed(entry, calc)) break;
    if (entry.command == cmdRestart) {
      writes.pairs.clear();
      writes.times.clear();
    } else if (entry.command == cmdWrite && wasStarted) {
      writes.pairs.push_back(static_cast<uint16_t>(entry.reg | entry.value << 8));
      writes.times.push_back(loop.elapsed());
    }
  }
  writes.hash = calc.GetHash(true);
  if (writes.hash == silentDigest) writes.hash = calc.GetHash(false);
  return writes;
}

std::string Hex(unsigned value, int digits) {
  char text[8];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string Write(uint16_t pair) { return "$D4" + Hex(pair & 0xFF, 2) + "=" + Hex(pair >> 8, 2); }

// Why the rip's writes hash differently from the tune's, on the tune's clock.
std::string MissReason(const fs::path& tune, int32_t song, const fs::path& rip) {
  bool pal = true;
  {
    Zorvex::BindOrThrow();
    TZorvexInstance probe;
    if (probe.LoadFile(tune.string())) pal = probe.GetC64Version() != 2;
  }
  const TPassWrites a = PlayPass(tune, song, pal);
  const TPassWrites b = PlayPass(rip, 0, pal);
  if (!b.loaded) return "the library does not load the program";
  if (b.pairs.empty()) return "the program makes no SID write after a music start in a minute";
  if (a.hash == b.hash)
    return std::string("on the tune's clock (") + (pal ? "PAL" : "NTSC") +
           ") the program gives the tune's hash; the tool's passes did not reach it";
  const std::size_t common = std::min(a.pairs.size(), b.pairs.size());
  std::size_t same = 0;
  while (same < common && a.pairs[same] == b.pairs[same]) ++same;
  if (same == common) {
    // Same values in the same order: their times moved, so the minute ends
    // at another write (the hash skips a head that depends on the count) or
    // the burst selection changed.
    std::size_t t = 0;
    while (t < common && a.times[t] == b.times[t]) ++t;
    std::string reason = "the same writes in the same order";
    if (t < common) {
      const int64_t shift = int64_t{b.times[t]} - int64_t{a.times[t]};
      reason += ", but from write " + std::to_string(t) + " on " + std::to_string(std::abs(shift)) + " cycles " +
                (shift > 0 ? "later" : "earlier") + " in the program (" + std::to_string(a.times[t]) + " vs " +
                std::to_string(b.times[t]) + " cycles after the start)";
    }
    return reason + "; the pass holds " + std::to_string(b.pairs.size()) + " writes, the tune's " +
           std::to_string(a.pairs.size());
  }
  // The start may have been taken at another write: look for the tune's
  // opening writes a little further on in the program's stream, or back.
  const std::size_t probe = std::min<std::size_t>(16, a.pairs.size());
  for (std::size_t shift = 1; shift < 512 && probe > 0; ++shift) {
    for (const bool programLater : {true, false}) {
      const std::vector<uint16_t>& longer = programLater ? b.pairs : a.pairs;
      const std::vector<uint16_t>& shorter = programLater ? a.pairs : b.pairs;
      if (shift + probe > longer.size() || probe > shorter.size()) continue;
      if (std::equal(shorter.begin(), shorter.begin() + static_cast<std::ptrdiff_t>(probe),
                     longer.begin() + static_cast<std::ptrdiff_t>(shift)))
        return "the music starts " + std::to_string(shift) + " writes " + (programLater ? "later" : "earlier") +
               " in the program (" + Write(longer[0]) + " first); the tune's first write is " + Write(a.pairs[0]);
    }
  }
  return "writes part at " + std::to_string(same) + " (" + std::to_string(a.times[same]) + " cycles): tune " +
         Write(a.pairs[same]) + ", program " + Write(b.pairs[same]) + "; " + std::to_string(a.pairs.size()) + " vs " +
         std::to_string(b.pairs.size()) + " writes";
}

// Program rips of every prgEveryNth PSID of the pick, made once by our own
// rip maker, for the look-up and the binary search alike.
struct TRip {
  std::string tune;
  int song = 1;
};

struct TRips {
  fs::path root;
  std::map<std::string, TRip> rips;  // by path below root
  std::vector<std::string> notMade;
};

class IdentificationCorpus : public testing::Test {
 protected:
  static const TCollection& Collection() {
    static const TCollection c = MakeCollection();
    return c;
  }

  static const TRips& Rips() {
    static const TRips made = [] {
      const TCollection& c = Collection();
      TRips r;
      // With the library at hand the maker keeps its driver out of the memory the
      // tune uses; a driver at $0334 silences tunes that keep data there.
      const fs::path library = fs::path(kelvary).parent_path() / "libzorvex.so";
      r.root = c.dir->path() / "rips";
      std::size_t psids = 0;
      for (const TTune& t : c.tunes) {
        if (t.rsid || psids++ % prgEveryNth != 0) continue;
        // The start song, and for every other rip of a multi-song tune the last,
        // which its init sets up from another number in A.
        const bool last = (psids / prgEveryNth) % 2 == 1 && t.songs > 1;
        const int song = last ? t.songs : std::max(t.startSong, 1);
        const std::string name = fs::path(t.rel).parent_path().generic_string() + "/" +
                                 fs::path(t.rel).stem().string() + " song " + std::to_string(song) + ".prg";
        fs::create_directories((r.root / name).parent_path());
        const std::vector<std::string> args = {
            "python3", psid2prg.string(), (c.root / t.rel).string(), (r.root / name).string(), "--song",
            std::to_string(song), "-q"};
        std::vector<std::string> withLibrary = args;
        withLibrary.insert(withLibrary.end(), {"--lib", library.string()});
        TProcessResult result = RunProcess("/usr/bin/env", withLibrary);
        // An instrumented library cannot be loaded into python: the maker then
        // places its driver by the header alone.
        if (result.exitCode != 0) result = RunProcess("/usr/bin/env", args);
        if (result.exitCode == 0 && fs::exists(r.root / name))
          r.rips[name] = {t.rel, song};
        else
          r.notMade.push_back(t.rel + ": " + result.err);
      }
      return r;
    }();
    return made;
  }

  static void TearDownTestSuite() {
    if (Tallies().empty()) return;
    TTally all;
    all.set = "all sets";
    for (const TTally& t : Tallies()) {
      std::cout << t.Summary() << "\n";
      all.tunes += t.tunes;
      all.subTunes += t.subTunes;
      all.same += t.same;
      all.otherClock += t.otherClock;
      all.silent += t.silent;
      all.misses.insert(all.misses.end(), t.misses.begin(), t.misses.end());
    }
    std::cout << all.Summary() << std::endl;
  }

  void SetUp() override {
    if (!fs::exists(sharedDir() / collection))
      GTEST_SKIP() << "shared test data not found: " << (sharedDir() / collection).string();
    ASSERT_TRUE(Collection().error.empty()) << Collection().error;
  }
};

TEST_F(IdentificationCorpus, TheDatabaseCoversEveryKindOfTune) {
  const TCollection& c = Collection();
  int rsids = 0, basic = 0, psids = 0, silent = 0, subTunes = 0;
  for (const TTune& t : c.tunes) {
    (t.basic ? basic : t.rsid ? rsids : psids) += 1;
    const std::vector<std::string>& hashes = c.hashes.at(t.rel);
    for (std::size_t i = 0; i < hashes.size(); ++i) {
      ++subTunes;
      if (hashes[i] != silentDigest) continue;
      ++silent;
      std::cout << "silent for a minute: " << Label(t.rel, static_cast<int>(i) + 1) << "\n";
    }
  }
  std::cout << "picked " << c.tunes.size() << " tunes (" << psids << " PSID, " << rsids << " RSID, " << basic
            << " BASIC RSID), " << subTunes << " sub-tunes, " << silent << " silent in a minute\n";
  EXPECT_GE(rsids, static_cast<int>(extraRsids));
  EXPECT_GE(basic, static_cast<int>(extraBasicRsids));
  // Most of the collection sounds within a minute: a database of silence
  // would make every other check here pass for nothing.
  EXPECT_LT(silent * 10, subTunes);
}

TEST_F(IdentificationCorpus, RenamedCopiesInOtherFoldersAreTheirOriginals) {
  const TCollection& c = Collection();
  const fs::path root = c.dir->path() / "renamed";
  std::map<std::string, std::string> copies;
  int i = 0;
  for (const TTune& t : c.tunes) {
    // Names a ripper might give: other folders, spaces, other case, no extension.
    const std::string stem = fs::path(t.rel).stem().string();
    std::string name;
    switch (i % 4) {
      case 0:
        name = "set " + std::to_string(i % 7) + "/copy of " + stem + ".sid";
        break;
      case 1:
        name = "deeper/and/deeper/" + std::to_string(i) + "_" + stem + ".SID";
        break;
      case 2:
        name = stem + " (" + std::to_string(i) + ")";
        break;
      default:
        name = "x/" + std::to_string(i) + ".dat";
        break;
    }
    ++i;
    fs::create_directories((root / name).parent_path());
    fs::copy_file(c.root / t.rel, root / name);
    copies[name] = t.rel;
  }
  const TLookup lookup = Lookup(root, c.database);
  EXPECT_EQ(lookup.exitCode, 0) << lookup.err;
  EXPECT_TRUE(lookup.stray.empty()) << lookup.stray.front();
  const TTally tally = CheckCopies(c, "renamed copies", copies, lookup);
  Tallies().push_back(tally);
  std::cout << tally.Summary() << "\n";
  for (const std::string& miss : tally.misses) ADD_FAILURE() << miss;
}

TEST_F(IdentificationCorpus, CopiesWithOtherHeaderTextsAreTheirOriginals) {
  const TCollection& c = Collection();
  const fs::path root = c.dir->path() / "edited";
  std::map<std::string, std::string> copies;
  int i = 0;
  for (const TTune& t : c.tunes) {
    std::vector<uint8_t> bytes = ReadBytes(c.root / t.rel);
    const std::vector<uint8_t> before = bytes;
    // Title, author and released: some texts short and padded, some filling
    // all 32 bytes without a terminating zero.
    const std::string texts[3] = {"Edited title " + std::to_string(i), "Somebody Else", "2024 Nobody's Group"};
    for (int field = 0; field < 3; ++field) {
      uint8_t* at = bytes.data() + 0x16 + 0x20 * field;
      std::memset(at, i % 3 == 2 ? '#' : 0, 0x20);
      std::memcpy(at, texts[field].data(), std::min<std::size_t>(texts[field].size(), 0x20));
    }
    EXPECT_NE(bytes, before) << t.rel;
    const std::string name =
        fs::path(t.rel).replace_filename(fs::path(t.rel).stem().string() + " (edited).sid").generic_string();
    WriteBytes(root / name, bytes);
    copies[name] = t.rel;
    ++i;
  }
  const TLookup lookup = Lookup(root, c.database);
  EXPECT_EQ(lookup.exitCode, 0) << lookup.err;
  EXPECT_TRUE(lookup.stray.empty()) << lookup.stray.front();
  const TTally tally = CheckCopies(c, "edited headers", copies, lookup);
  Tallies().push_back(tally);
  std::cout << tally.Summary() << "\n";
  for (const std::string& miss : tally.misses) ADD_FAILURE() << miss;
}

TEST_F(IdentificationCorpus, ProgramRipsOfTunesAreMostlyRecognised) {
  const TCollection& c = Collection();
  if (!fs::exists(psid2prg)) GTEST_SKIP() << "rip maker not found: " << psid2prg.string();
  const TRips& made = Rips();
  const fs::path& root = made.root;
  const auto& rips = made.rips;
  const auto& notMade = made.notMade;
  for (const std::string& why : notMade) std::cout << "no rip: " << why;
  // The maker refuses only what cannot be a program (too long, too low in memory).
  ASSERT_GE(rips.size() * 4, (rips.size() + notMade.size()) * 3) << "too few rips made";

  const TLookup lookup = Lookup(root, c.database);
  EXPECT_EQ(lookup.exitCode, 0) << lookup.err;
  EXPECT_TRUE(lookup.stray.empty()) << lookup.stray.front();
  TTally tally;
  tally.set = "program rips";
  for (const auto& [name, rip] : rips) {
    ++tally.tunes;
    ++tally.subTunes;
    const std::string hash = c.hashes.at(rip.tune).at(static_cast<std::size_t>(rip.song - 1));
    const std::string what = "/" + name + " (" + Label(rip.tune, rip.song) + "): ";
    const auto results = lookup.byFile.find("/" + name);
    if (results == lookup.byFile.end() || !results->second.count(1)) {
      tally.misses.push_back(what + "no result line");
      continue;
    }
    // A program is one tune: its own song is sub-tune 1 and there is no other.
    EXPECT_EQ(results->second.size(), 1u) << what << results->second.rbegin()->second.line;
    const TResult& result = results->second.at(1);
    if (hash == silentDigest) {
      if (result.kind == TResult::Kind::notFound)
        ++tally.silent;
      else
        tally.misses.push_back(what + "silent tune, but: " + result.line);
    } else if (result.kind != TResult::Kind::notFound && c.Recognised(hash, result.match)) {
      ++tally.same;
      tally.otherClock += result.kind == TResult::Kind::sameOtherClock;
    } else {
      tally.misses.push_back(what + (result.kind == TResult::Kind::notFound ? "not found" : result.line) + "; " +
                             MissReason(c.root / rip.tune, rip.song - 1, root / name));
    }
  }
  const int sounding = tally.subTunes - tally.silent;
  const double share = sounding > 0 ? static_cast<double>(tally.same) / sounding : 0;
  Tallies().push_back(tally);
  std::cout << tally.Summary() << "; " << notMade.size() << " not made; recognised " << tally.same << " of " << sounding
            << " sounding = " << static_cast<int>(share * 1000 + 0.5) / 10.0 << "%\n";
  for (const std::string& miss : tally.misses) std::cout << "miss: " << miss << "\n";
  RecordProperty("prg_share", std::to_string(share));
  EXPECT_GE(share, prgShareFloor) << tally.same << " of " << sounding << " sounding rips recognised";
}

}  // namespace

namespace {

// Result lines of a binary-search run, by file ("outside/t0001.sid") and sub-tune:
// the name found with its percentage, or "" for not found.
struct TFound {
  std::string file;
  int percentage = 0;
};

std::map<std::string, std::map<int, TFound>> BinaryResults(const std::string& out, std::vector<std::string>& stray) {
  static const std::regex found("[0-9a-f]{32}=(.*) #(\\d+) -> found as: (.*) \\((\\d+)%\\)");
  static const std::regex notFound("No known entry found for (.*) #(\\d+)");
  std::map<std::string, std::map<int, TFound>> results;
  for (const std::string& line : Lines(out)) {
    std::smatch m;
    if (std::regex_match(line, m, found))
      results[m[1]][std::stoi(m[2])] = {m[3], std::stoi(m[4])};
    else if (std::regex_match(line, m, notFound))
      results[m[1]][std::stoi(m[2])] = {};
    else
      stray.push_back(line);
  }
  return results;
}

}  // namespace

// The index of the picked tree, and copies of its tunes outside it searched by
// their data alone (-bo): the first sounding sub-tune of a copy must name its
// original with 100% (unless another file indexed before it holds all of the
// same data); program rips name their tune at the program threshold.
TEST_F(IdentificationCorpus, CopiesOutsideTheTreeAreFoundByTheirData) {
  const TCollection& c = Collection();
  const fs::path base = c.dir->path() / "binary";
  const std::string program = CopyProgram(kelvary, base / "bin");
  TProcessOptions in;
  in.workingDirectory = base;
  TProcessResult r = RunProcess(program, {"-i", "-g", "-l" + c.root.string()}, in);
  ASSERT_EQ(r.exitCode, 8) << r.err;

  std::map<std::string, std::string> copies;
  fs::create_directories(base / "outside");
  for (std::size_t i = 0; i < c.tunes.size(); ++i) {
    char name[48];
    std::snprintf(name, sizeof name, "outside/t%04zu.sid", i);
    fs::copy_file(c.root / c.tunes[i].rel, base / name);
    copies[name] = c.tunes[i].rel;
  }
  r = RunProcess(program, {"-bo", "-t1", "-l" + c.root.string(), "outside/*.sid"}, in);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> stray;
  const auto results = BinaryResults(r.out, stray);
  EXPECT_TRUE(stray.empty()) << stray.front();

  // BASIC tunes are left out of the share: the built-in interpreter reads the
  // program text natively, so no byte of it is marked as read by the player.
  int tunes = 0, own = 0, own100 = 0, earlier = 0, silentTunes = 0, basic = 0;
  std::vector<std::string> misses;
  for (const auto& [copy, rel] : copies) {
    const std::vector<std::string>& hashes = c.hashes.at(rel);
    const auto it = std::find_if(hashes.begin(), hashes.end(), [](const std::string& h) { return h != silentDigest; });
    if (it == hashes.end()) {
      ++silentTunes;
      continue;
    }
    if (std::any_of(c.tunes.begin(), c.tunes.end(), [&](const TTune& t) { return t.rel == rel && t.basic; })) {
      ++basic;
      continue;
    }
    ++tunes;
    const int n = static_cast<int>(it - hashes.begin()) + 1;
    const TFound result = results.count(copy) && results.at(copy).count(n) ? results.at(copy).at(n) : TFound{};
    if (result.file == "/" + rel) {
      ++own;
      own100 += result.percentage == 100;
    } else if (result.percentage == 100 && result.file < "/" + rel) {
      ++earlier;  // the same data in a file met first, as the walk in index order has it
    } else {
      // Packed tunes (the player reads what init unpacked) and players that
      // read their data in runs shorter than a block have nothing to find.
      misses.push_back(Label(rel, n) + ": " + (result.file.empty() ? "not found" : result.file + " (" +
                                               std::to_string(result.percentage) + "%)"));
    }
  }
  std::cout << "binary search: " << tunes << " sounding tunes, " << own << " found as themselves (" << own100
            << " with 100%), " << earlier << " as an earlier file with 100%, " << misses.size() << " otherwise; "
            << basic << " BASIC and " << silentTunes << " silent tunes left out\n";
  for (const std::string& miss : misses) std::cout << "binary miss: " << miss << "\n";
  RecordProperty("binary_share", std::to_string(static_cast<double>(own + earlier) / std::max(tunes, 1)));
  EXPECT_GE((own + earlier) * 100, tunes * 92);
  EXPECT_GE(own100 * 100, own * 90);

  if (!fs::exists(psid2prg)) return;
  const TRips& made = Rips();
  int ripsNamed = 0, ripsSounding = 0;
  std::vector<std::string> ripMisses;
  in.workingDirectory = made.root;
  r = RunProcess(program, {"-bo", "-t1", "-s", "-l" + c.root.string(), "*"}, in);
  stray.clear();
  const auto ripResults = BinaryResults(r.out, stray);
  for (const auto& [name, rip] : made.rips) {
    if (c.hashes.at(rip.tune).at(static_cast<std::size_t>(rip.song - 1)) == silentDigest) continue;
    ++ripsSounding;
    const auto it = ripResults.find("/" + name);
    const TFound result = it != ripResults.end() && it->second.count(1) ? it->second.at(1) : TFound{};
    if (result.file == "/" + rip.tune)
      ++ripsNamed;
    else
      ripMisses.push_back(name + ": " + (result.file.empty() ? "not found" : result.file));
  }
  std::cout << "binary search of program rips: " << ripsNamed << " of " << ripsSounding << " sounding rips name their tune\n";
  for (const std::string& miss : ripMisses) std::cout << "binary rip miss: " << miss << "\n";
  EXPECT_GE(ripsNamed * 100, ripsSounding * 90);
}
