#include "Kelvary.h"

#include <cxxabi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "BinarySearch.h"
#include "DataHashFile.h"
#include "FileSearch.h"
#include "Hvsc.h"
#include "HvscIndexer.h"
#include "MainThread.h"
#include "Output.h"
#include "RunConditions.h"
#include "RunState.h"
#include "Settings.h"
#include "Zorvex_Wrapper.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/System.h"

// Where an installed tree keeps kelvary's data (the shipped database), seen from bin/.
#ifndef KELVARY_SHARE_FROM_BIN
#define KELVARY_SHARE_FROM_BIN "../share/kelvary"
#endif

namespace {

constexpr int32_t minimumLibraryVersion = 0x136;

std::string TwoDigits(int64_t value) {
  std::string digits = std::to_string(value);
  if (value >= 0 && value < 10) digits.insert(digits.begin(), '0');
  return digits;
}

// The name of an exception's class, as the outer handler reports it.
std::string ClassName(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(mangled);
}

// The binary search as a worker uses it: its own search over the run's index,
// ended early by Ctrl-C as well as by the worker's stop.
class TIndexSearch : public TRawDataSearch {
 public:
  explicit TIndexSearch(THVSCIndexer& indexer) : indexer_(indexer) { search_.SetStopFlag(&Platform::interruptFlag()); }

  std::optional<TResult> Search(const uint8_t* memory, const uint8_t* usage, int32_t threshold,
                                int32_t threads) override {
    search_.SetThreshold(threshold);
    search_.SetThreadCount(threads);
    search_.SetIndexer(indexer_);
    if (!search_.Search(memory, usage)) return std::nullopt;
    return TResult{search_.GetBestFile(), search_.GetResultText()};
  }
  void CancelSearch() override { search_.CancelSearch(); }

 private:
  THVSCIndexer& indexer_;
  TBinarySearch search_;
};

// Paths compared as the directories they name, so that "./C64Music" and its
// absolute form are the same collection.
bool SameDirectory(const std::string& a, const std::string& b) {
  std::error_code error;
  const auto canonicalA = std::filesystem::weakly_canonical(a, error);
  if (error) return a == b;
  const auto canonicalB = std::filesystem::weakly_canonical(b, error);
  if (error) return a == b;
  return canonicalA == canonicalB;
}

// database.txt beside the program; an installed program finds the database
// installed with it in its share folder.
std::string DefaultDatabaseFile() {
  const std::string own = Platform::programDirectory();
  const std::string beside = own + "database.txt";
  const std::string installed = own + KELVARY_SHARE_FROM_BIN + "/database.txt";
  if (!own.empty() && !Platform::isFile(beside) && Platform::isFile(installed)) return installed;
  return beside;
}

class TProgram {
 public:
  TProgram(TSettings settings, TRunConditions conditions, TOutput& output, TRunState& run)
      : settings_(std::move(settings)), conditions_(std::move(conditions)), output_(output), run_(run) {}

  // The phases after a clean parse; endTime is set only when processing ran to its end.
  void Run(uint32_t& endTime);

 private:
  bool IndexPhase(THVSCIndexer& indexer);
  bool BuildAndSaveIndex(THVSCIndexer& indexer);
  void WarnIfIndexIsStale(const THVSCIndexer& indexer);
  bool LoadDatabase(THashDatabase& database);
  void ProcessFiles(TFileSearch& files, const THashDatabase* database, THVSCIndexer& indexer);
  void ShowProgress(std::chrono::steady_clock::time_point started);

  TSettings settings_;
  TRunConditions conditions_;
  TOutput& output_;
  TRunState& run_;
  bool anyFound_ = false;
  int32_t processedTotal_ = 0;
};

void TProgram::Run(uint32_t& endTime) {
  if (settings_.databaseFile.empty()) settings_.databaseFile = DefaultDatabaseFile();

  std::optional<THashDatabase> database;
  if (!settings_.generateOnly) database.emplace();

  THVSCIndexer indexer;
  if (!IndexPhase(indexer)) return;
  if (Platform::interruptFlag().load()) {
    output_.WriteConsoleLine("Process interrupted by user, exiting...");
    return;
  }
  if (!settings_.binaryOnly && database) {
    if (!LoadDatabase(*database)) {
      run_.SetExitCode(7);
      return;
    }
    if (const auto warning = conditions_.DifferenceFrom(TRunConditions::FromComments(database->header())))
      output_.WriteConsoleLine(*warning);
  }

  const int cpus = Platform::cpuCount();
  if (settings_.maxThreads <= 0 || settings_.maxThreads > cpus) settings_.maxThreads = cpus;

  TFileSearch files;
  files.StartSearch(settings_.inputName, settings_.includeSubdirs);
  if (files.GetNextFile().empty()) {
    output_.WriteConsoleLine("No file(s) found.");
    run_.SetExitCode(8);
    return;
  }
  files.StartSearch(settings_.inputName, settings_.includeSubdirs);
  output_.WriteConsoleLine("Processing...");
  // Hash lines are only comparable with others made the same way: say how.
  if (settings_.generateOnly && !settings_.json)
    for (const std::string& line : conditions_.CommentLines()) output_.OutputLine(line);
  ProcessFiles(files, database ? &*database : nullptr, indexer);

  if (Platform::interruptFlag().load()) output_.WriteConsoleLine("Process interrupted by user, exiting...");
  if (!settings_.generateOnly && !anyFound_ && processedTotal_ > 1) {
    output_.WriteConsoleLine("No known entries found for the processed files.");
    if (!settings_.useBinarySearch) output_.WriteConsoleLine("Use the -b option to enable binary search.");
  }
  endTime = Platform::milliseconds();
}

// False when the run must end here; an interrupted build is left to the caller's check.
bool TProgram::IndexPhase(THVSCIndexer& indexer) {
  if (settings_.indexHvsc) return BuildAndSaveIndex(indexer);
  if (!settings_.useBinarySearch) return true;
  if (indexer.IndexFileExists()) {
    output_.WriteConsoleLine("Loading index file...");
    std::string reason;
    if (indexer.LoadIndex(reason)) {
      output_.WriteConsoleLine("HVSC version " + std::to_string(indexer.GetVersion()) + " loaded.");
      WarnIfIndexIsStale(indexer);
      return true;
    }
    // A damaged index would send every search outside its buffers: make a new one.
    output_.WriteConsoleLine("WARNING: index file refused (" + reason + "); indexing HVSC anew.");
  }
  return BuildAndSaveIndex(indexer);
}

bool TProgram::BuildAndSaveIndex(THVSCIndexer& indexer) {
  if (!settings_.hvscPathGiven && !Platform::isDirectory(settings_.hvscPath)) {
    output_.WriteConsoleLine("ERROR: HVSC location doesn't exists. Please specify a valid HVSC path.");
    run_.SetExitCode(2);
    return false;
  }
  output_.WriteConsoleLine("Indexing HVSC files...");
  const bool showProgress = Platform::isTerminal(Platform::TStream::error);
  uint32_t lastShown = Platform::milliseconds();
  const auto progress = [&](int32_t files) {
    const uint32_t now = Platform::milliseconds();
    if (now - lastShown < 250) return;
    lastShown = now;
    output_.ShowProgress(std::to_string(files) + " files indexed");
  };
  const bool complete =
      indexer.BuildIndex(settings_.hvscPath, Platform::interruptFlag(),
                         showProgress ? std::function<void(int32_t)>(progress) : std::function<void(int32_t)>());
  if (showProgress) output_.ClearProgress();
  if (!complete) return true;
  try {
    indexer.SaveIndex([this](const std::string& line) { output_.WriteConsoleLine(line); });
  } catch (const std::exception& error) {
    if (settings_.indexHvsc) throw;  // writing the file is what -i is for
    // The index in memory is whole: the search this run asked for can go on.
    output_.WriteConsoleLine(std::string("WARNING: the index cannot be saved (") + error.what() +
                             "); it serves this run only.");
  }
  output_.WriteConsoleLine("HVSC version " + std::to_string(indexer.GetVersion()) + " indexed.");
  return true;
}

// An index keeps the names of the tree it was made from; results are named
// after that tree even when another collection is in use.
void TProgram::WarnIfIndexIsStale(const THVSCIndexer& indexer) {
  const std::string root = Hvsc::GetHvscRootLoose(settings_.hvscPath);
  if (root.empty()) return;  // no collection here to compare with
  const int32_t version = THVSCIndexer::VersionAt(settings_.hvscPath) & 0xFF;
  if (version == indexer.GetVersion() && SameDirectory(root, indexer.GetRoot())) return;
  output_.WriteConsoleLine("WARNING: the index was made from HVSC version " + std::to_string(indexer.GetVersion()) +
                           " at " + indexer.GetRoot() + ", the collection in use is version " +
                           std::to_string(version) + " at " + root + "; run kelvary -i to index it.");
}

bool TProgram::LoadDatabase(THashDatabase& database) {
  bool said = false;
  const bool loaded = database.Load(settings_.databaseFile, [&](const std::string& line) {
    output_.OutputLine(line);
    said = true;
  });
  // A file that exists but is refused would otherwise end the run without a word.
  if (!loaded && !said)
    output_.WriteConsoleLine("ERROR: the database " + settings_.databaseFile +
                             " cannot be read: it must be larger than 50 bytes and at most 1000 MB.");
  return loaded;
}

void TProgram::ProcessFiles(TFileSearch& files, const THashDatabase* database, THVSCIndexer& indexer) {
  TWorkerConfig config;
  config.minutes = settings_.minutes;
  config.generateOnly = settings_.generateOnly;
  config.multiPart = settings_.multiPart;
  config.useBinarySearch = settings_.useBinarySearch;
  config.binaryOnly = settings_.binaryOnly;
  config.namesOnlyNotFound = settings_.namesOnlyNotFound;
  config.maxThreads = settings_.maxThreads;

  std::vector<std::unique_ptr<TMainThread>> workers;
  for (int t = 0; t < settings_.maxThreads; ++t) {
    std::unique_ptr<TRawDataSearch> searcher;
    if (settings_.useBinarySearch) searcher = std::make_unique<TIndexSearch>(indexer);
    auto worker = std::make_unique<TKelvary>(config, files, database, output_, run_, Platform::interruptFlag(),
                                             [] { return std::make_unique<TZorvexInstance>(); }, std::move(searcher));
    workers.push_back(std::make_unique<TMainThread>(std::move(worker), run_));
    workers.back()->Start();
  }

  // Progress only on a terminal: redirected output never carries it.
  const bool progress = Platform::isTerminal(Platform::TStream::error);
  const auto started = std::chrono::steady_clock::now();
  while (!run_.WaitForWorkers(static_cast<int>(workers.size()), std::chrono::milliseconds(500)))
    if (progress) ShowProgress(started);
  if (progress) output_.ClearProgress();

  for (auto& worker : workers) {
    worker->Join();
    if (worker->found()) anyFound_ = true;
    processedTotal_ += worker->processedCount();
    worker.reset();
  }
}

void TProgram::ShowProgress(std::chrono::steady_clock::time_point started) {
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double rate = wall > 0 ? run_.EmulatedSeconds() / wall : 0;
  char text[160];
  std::snprintf(text, sizeof text, "%llu files, %llu sub-tunes done, %s elapsed, %.0fx real time",
                static_cast<unsigned long long>(run_.files()), static_cast<unsigned long long>(run_.subTunes()),
                FormatDuration(static_cast<int64_t>(wall * 1000), 3).c_str(), rate);
  output_.ShowProgress(text);
}

void WaitForKey(TOutput& output) {
  output.WriteConsoleLine("");
  output.WriteConsoleText("Press any key to continue...");
  Platform::waitForKeyPress();
  if (Platform::isTerminal(Platform::TStream::input)) output.WriteConsoleLine("");
}

}  // namespace

std::string FormatDuration(int64_t milliseconds, int fields) {
  const int64_t s = milliseconds / 1000;
  const int64_t seconds = s % 60;
  const int64_t m = s / 60;
  const int64_t hours = m / 60;
  const int64_t minutes = m - hours * 60;
  std::string text = TwoDigits(seconds);
  if (fields >= 2) text = TwoDigits(minutes) + ":" + text;
  if (fields >= 3) text = TwoDigits(hours) + ":" + text;
  return text;
}

int RunKelvary(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  TOutput output(TOutput::StandardChannels(), TOutput::Format::text);
  if (args.empty()) {
    for (const std::string& line : UsageText()) output.OutputLine(line);
    return 1;
  }
  Platform::installInterruptHandler();
  const uint32_t startTime = Platform::milliseconds();
  uint32_t endTime = 0;
  bool waitForKey = false;
  TRunState run;

  // The ROM set is the library's to load, so it is settled before the library is.
  const TParseResult early = ParseCommandLine(args, DefaultHvscPath(), [](const std::string&) { return true; });
  const TRomChoice roms = SettleRomSet(early.settings.romDirectory);
  if (std::string why; !Zorvex::Bind(why)) {
    output.OutputLine("ERROR: " + Zorvex::LibraryFileName() + " cannot be loaded: " + why);
    return 7;
  }
  const int32_t libraryVersion = Zorvex::GetVersion();
  if (libraryVersion < minimumLibraryVersion) {
    output.OutputLine("ERROR: " + Zorvex::LibraryFileName() + " version 1.36 or higher required.");
    return 7;
  }
  TParseResult parsed = ParseCommandLine(args, DefaultHvscPath(), Platform::isDirectory);
  for (const std::string& error : parsed.errors) output.WriteConsoleLine(error);
  run.SetExitCode(parsed.exitCode);
  waitForKey = parsed.settings.waitForKey;

  if (run.ExitCode() == 0) {
    output.SetFormat(parsed.settings.json ? TOutput::Format::json : TOutput::Format::text);
    try {
      if (!roms.warning.empty()) output.WriteConsoleLine(roms.warning);
      TRunConditions conditions{MadeBy(libraryVersion), roms.description, PlayTime(parsed.settings.minutes)};
      TProgram program(std::move(parsed.settings), std::move(conditions), output, run);
      program.Run(endTime);
    } catch (const std::exception& error) {
      output.OutputLine(ClassName(error) + ": " + error.what());
      // An error that ended the run is no success.
      if (run.ExitCode() == 0) run.SetExitCode(9);
    }
  }

  if (endTime != 0 && endTime > startTime) {
    const uint32_t total = endTime - startTime;
    output.WriteConsoleLine("");
    output.WriteConsoleLine("Total time: " + FormatDuration(total, 3) + " (+" + std::to_string(total % 1000) +
                            " milliseconds)");
  }
  if (waitForKey) WaitForKey(output);
  return run.ExitCode();
}
