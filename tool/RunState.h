// TRunState: what the program and its workers share while a run goes on: the
// process exit code (the last one set wins) and the figures of the progress line.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TRunState {
 public:
  void SetExitCode(int code) { exitCode_.store(code, std::memory_order_relaxed); }
  int ExitCode() const { return exitCode_.load(std::memory_order_relaxed); }

  void FileDone() { files_.fetch_add(1, std::memory_order_relaxed); }
  void SubTuneDone() { subTunes_.fetch_add(1, std::memory_order_relaxed); }
  void CyclesPlayed(uint64_t cycles, bool pal) {
    (pal ? palCycles_ : ntscCycles_).fetch_add(cycles, std::memory_order_relaxed);
  }
  uint64_t files() const { return files_.load(std::memory_order_relaxed); }
  uint64_t subTunes() const { return subTunes_.load(std::memory_order_relaxed); }
  // Emulated C64 time so far, in seconds.
  double EmulatedSeconds() const {
    return static_cast<double>(palCycles_.load(std::memory_order_relaxed)) * 3.0 / 2955745.333333 +
           static_cast<double>(ntscCycles_.load(std::memory_order_relaxed)) * 7.0 / 7159090.5;
  }

  // Workers say when they end; the main thread waits for all of them, waking
  // now and then to draw progress.
  void WorkerFinished() {
    std::lock_guard guard(lock_);
    ++finishedWorkers_;
    changed_.notify_all();
  }
  template <typename Duration>
  bool WaitForWorkers(int count, Duration timeout) {
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, timeout, [&] { return finishedWorkers_ >= count; });
  }

 private:
  std::atomic<int> exitCode_{0};
  std::atomic<uint64_t> files_{0};
  std::atomic<uint64_t> subTunes_{0};
  std::atomic<uint64_t> palCycles_{0};
  std::atomic<uint64_t> ntscCycles_{0};
  std::mutex lock_;
  std::condition_variable changed_;
  int finishedWorkers_ = 0;
};
