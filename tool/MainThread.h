// The workers of a run. Each TMainThread owns one TKelvary worker, which owns
// one emulator instance and takes input files from the shared file search until
// it is drained: every sub-tune is played for the set time on the tune's own
// clock (and, when that finds nothing, on the other one), its SID writes turned
// into the data hash, the hash looked up in the database, and the outcome told
// to the output.
//
//   TKelvary worker(config, files, database, output, runState, interrupted, MakeEmulator);
//   worker.ProcessFiles();
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DataHashCalc.h"
#include "DataHashFile.h"
#include "FileSearch.h"
#include "Output.h"
#include "PassLoop.h"
#include "RunState.h"
#include "TuneEmulator.h"

// The search for a tune's data bytes in the collection, as the worker uses it.
class TRawDataSearch {
 public:
  struct TResult {
    std::string bestFile;  // the file that matched best
    std::string text;      // what the result line shows
  };
  virtual ~TRawDataSearch() = default;
  virtual std::optional<TResult> Search(const uint8_t* memory, const uint8_t* usage, int32_t threshold,
                                        int32_t threads) = 0;
  virtual void CancelSearch() = 0;
};

struct TWorkerConfig {
  int32_t minutes = 3;
  bool generateOnly = false;
  bool multiPart = false;
  bool useBinarySearch = false;
  bool binaryOnly = false;
  bool namesOnlyNotFound = false;
  int32_t maxThreads = 1;
};

class TKelvary {
 public:
  using EmulatorFactory = std::function<std::unique_ptr<TTuneEmulator>()>;

  // database may be null (-g); searcher may be null when no binary search is built.
  TKelvary(const TWorkerConfig& config, TFileSearch& files, const THashDatabase* database, TOutput& output,
           TRunState& run, const std::atomic<bool>& interrupted, EmulatorFactory makeEmulator,
           std::unique_ptr<TRawDataSearch> searcher = nullptr);

  void ProcessFiles();
  void Stop();

  bool found() const { return found_; }
  int32_t processedCount() const { return processedCount_; }

 private:
  enum class TSubTuneEnd { next, stop };

  bool StopRequested() const {
    return stopRequested_.load(std::memory_order_relaxed) || interrupted_.load(std::memory_order_relaxed);
  }
  void ProcessFile(TTuneEmulator& c64, const std::string& name);
  void ProcessSubTune(TTuneEmulator& c64, const std::string& name, int32_t song, bool isPal, bool isPrg);
  bool RunPass(TTuneEmulator& c64, TDataHashCalc& calc, bool pal);
  void Report(TOutcome::Kind kind, const std::string& name, int32_t n, const std::string& hash, bool pal,
              const std::string& match = {});

  TWorkerConfig config_;
  TFileSearch& files_;
  const THashDatabase* database_;
  TOutput& output_;
  TRunState& run_;
  const std::atomic<bool>& interrupted_;
  EmulatorFactory makeEmulator_;
  std::unique_ptr<TRawDataSearch> searcher_;
  std::vector<uint8_t> memory_;
  std::vector<uint8_t> memoryUsage_;
  TPassLoop loop_;
  std::atomic<bool> stopRequested_{false};
  bool found_ = false;
  int32_t processedCount_ = 0;
};

// A worker on a thread of its own, started by Start and waited for by Join.
class TMainThread {
 public:
  TMainThread(std::unique_ptr<TKelvary> worker, TRunState& run) : run_(run), worker_(std::move(worker)) {}
  ~TMainThread();
  TMainThread(const TMainThread&) = delete;
  TMainThread& operator=(const TMainThread&) = delete;

  void Start();
  void Stop() { worker_->Stop(); }
  void Join();
  bool found() const { return worker_->found(); }
  int32_t processedCount() const { return worker_->processedCount(); }

 private:
  TRunState& run_;
  std::unique_ptr<TKelvary> worker_;
  std::thread thread_;
};
