#include "MainThread.h"

#include <exception>

#include "Hvsc.h"
#include "platform/Files.h"

namespace {

// The extension of the file-name part, lower-cased, with its dot.
std::string LowerExtension(const std::string& name) {
  const std::size_t slash = name.find_last_of(Platform::directoryEnds);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return Hvsc::LowerAscii(name.substr(dot));
}

const char* ClockName(bool pal) { return pal ? "PAL" : "NTSC"; }

}  // namespace

TKelvary::TKelvary(const TWorkerConfig& config, TFileSearch& files, const THashDatabase* database, TOutput& output,
                   TRunState& run, const std::atomic<bool>& interrupted, EmulatorFactory makeEmulator,
                   std::unique_ptr<TRawDataSearch> searcher)
    : config_(config),
      files_(files),
      database_(database),
      output_(output),
      run_(run),
      interrupted_(interrupted),
      makeEmulator_(std::move(makeEmulator)),
      searcher_(std::move(searcher)) {}

void TKelvary::Stop() {
  if (searcher_) searcher_->CancelSearch();
  stopRequested_.store(true, std::memory_order_relaxed);
}

void TKelvary::ProcessFiles() {
  found_ = false;
  std::unique_ptr<TTuneEmulator> c64;
  try {
    c64 = makeEmulator_();
  } catch (const std::exception& error) {
    // Without an instance this worker takes no file; the others drain the search.
    output_.WriteConsoleLine(std::string("ERROR: ") + error.what());
    run_.SetExitCode(3);
    return;
  }
  for (std::string name = files_.GetNextFile(); !name.empty(); name = files_.GetNextFile()) {
    try {
      ProcessFile(*c64, name);
    } catch (const std::exception&) {
      // One broken file must not leave the rest of the run unprocessed.
      Report(TOutcome::Kind::error, name, 0, {}, true);
      run_.SetExitCode(3);
    }
    run_.FileDone();
    if (StopRequested()) break;
  }
}

void TKelvary::ProcessFile(TTuneEmulator& c64, const std::string& name) {
  const bool isPrg = LowerExtension(name) == ".prg";
  if (!c64.LoadFile(name)) {
    Report(TOutcome::Kind::notLoadable, name, 0, {}, true);
    run_.SetExitCode(3);
    return;
  }
  c64.PrepareFile();
  const bool isPal = c64.GetC64Version() != 2;
  const int32_t count = c64.GetNumberOfSongs();
  loop_.StartFile();
  for (int32_t song = 0; song < count; ++song) {
    if (StopRequested()) return;
    ProcessSubTune(c64, name, song, isPal, isPrg);
    run_.SubTuneDone();
  }
}

bool TKelvary::RunPass(TTuneEmulator& c64, TDataHashCalc& calc, bool pal) {
  loop_.StartPass(TPassLoop::Budget(config_.minutes, pal));
  const uint64_t cyclesBefore = loop_.emulatedCycles();
  TStreamEntry entry;
  bool completed = true;
  for (;;) {
    if (StopRequested()) {
      completed = false;
      break;
    }
    c64.Next(entry);
    if (!loop_.Feed(entry, calc)) break;
  }
  run_.CyclesPlayed(loop_.emulatedCycles() - cyclesBefore, pal);
  return completed;
}

void TKelvary::ProcessSubTune(TTuneEmulator& c64, const std::string& name, int32_t song, bool isPal, bool isPrg) {
  bool finalPass = false;
  c64.SetSongToPlay(song);
  bool pal = isPal;  // the clock of the pass being played
  c64.SetC64Version(pal ? 1 : 2);
  loop_.StartSubTune();
  std::string previousHash;
  std::string previousFoundFile;
  TDataHashCalc calc;
  int32_t part = 0;
  bool silentFirstPass = false;

  for (;;) {
    if (!RunPass(c64, calc, pal)) return;  // stopped: the sub-tune is abandoned

    std::string hash = calc.GetHash(true);
    if (hash == TDataHashCalc::emptyDigest) hash = calc.GetHash(false);
    if (hash == previousHash) return;
    if (part > 0 && !loop_.restartSeen()) return;
    previousHash = hash;
    const int32_t n = song + part + 1;
    const bool silent = hash == TDataHashCalc::emptyDigest;

    if (config_.generateOnly) {
      if (!config_.namesOnlyNotFound) Report(TOutcome::Kind::hash, name, n, hash, pal);
    } else if (silent && config_.useBinarySearch && !silentFirstPass) {
      if (config_.multiPart) {
        Report(isPrg ? TOutcome::Kind::noSound : TOutcome::Kind::noSoundWarning, name, n, hash, pal);
        silentFirstPass = false;
      } else if (finalPass) {
        Report(TOutcome::Kind::notFound, name, n, hash, pal);
        silentFirstPass = false;
      } else {
        silentFirstPass = true;
      }
    } else {
      // A silent pass says nothing about which tune this is: every silent entry
      // of a database would "match" it.
      const std::string match =
          (config_.binaryOnly || silent || database_ == nullptr) ? std::string() : database_->Find(hash);
      if (!match.empty()) {
        found_ = true;
        if (!config_.namesOnlyNotFound)
          Report(finalPass ? TOutcome::Kind::sameOtherClock : TOutcome::Kind::same, name, n, hash, pal, match);
        finalPass = true;
      } else {
        if ((config_.useBinarySearch && !finalPass) || silentFirstPass) {
          memory_.resize(65536);
          memoryUsage_.resize(65536);
          c64.CopyMemory(memory_.data(), memoryUsage_.data());
        }
        if (finalPass || config_.multiPart || config_.binaryOnly) {
          if (config_.useBinarySearch && searcher_) {
            finalPass = true;
            const auto result = searcher_->Search(memory_.data(), memoryUsage_.data(), isPrg ? 5 : 75,
                                                  config_.maxThreads);
            if (result) {
              // A later part that matches the same file again is the same music.
              if (!previousFoundFile.empty() && result->bestFile == previousFoundFile) return;
              previousFoundFile = result->bestFile;
              if (!config_.namesOnlyNotFound) Report(TOutcome::Kind::found, name, n, hash, pal, result->text);
              found_ = true;
            } else {
              Report(TOutcome::Kind::notFound, name, n, hash, pal);
            }
          } else {
            Report(TOutcome::Kind::notFound, name, n, hash, pal);
          }
        }
      }
    }

    if (!finalPass && !config_.generateOnly && !config_.multiPart) {
      // The other clock's pass.
      finalPass = true;
      c64.SetSongToPlay(song);
      loop_.ClearIdle();
      loop_.ClearLastWrite();
      previousHash.clear();
      pal = !isPal;
      c64.SetC64Version(pal ? 1 : 2);
      calc.Reset();
      continue;
    }
    finalPass = false;
    silentFirstPass = false;
    if (part == 0) ++processedCount_;
    if (!config_.multiPart || !isPrg) return;
    if (++part > 25) return;
    c64.PressButtons();
    loop_.ClearRestartSeen();
    loop_.ClearIdle();
    calc.Reset();
  }
}

void TKelvary::Report(TOutcome::Kind kind, const std::string& name, int32_t n, const std::string& hash, bool pal,
                      const std::string& match) {
  // Whole-file outcomes (n = 0) have no pass behind them, so no clock.
  output_.Report(TOutcome{kind, name, n, hash, n > 0 ? ClockName(pal) : "", match});
}

TMainThread::~TMainThread() {
  Stop();
  Join();
}

void TMainThread::Start() {
  thread_ = std::thread([this] {
    worker_->ProcessFiles();
    run_.WorkerFinished();
  });
}

void TMainThread::Join() {
  if (thread_.joinable()) thread_.join();
}
