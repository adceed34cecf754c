// TBinarySearchThread: one worker of a binary search. It takes indexed HVSC
// files from the search's shared counter one at a time and counts how many of
// the search's blocks occur in each; it remembers the first file with the
// highest share that reaches the threshold. A file is given up as soon as it
// can no longer reach the bar: the threshold, raised to the share of the last
// file that reached it. A file holding every block ends the search for every
// worker busy with a later file.
//
//   TBinarySearchThread worker(threshold, fileIndex, blocks, indexer, &stopFlag);
//   worker.SetPeers(all, count);    // every worker of the search, itself included
//   worker.Start();
//   worker.WaitFor();
//   worker.GetBestPercentage();     // 0: nothing reached the threshold
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "BlockSet.h"
#include "FileIndex.h"
#include "HvscIndexer.h"

class TBinarySearchThread {
 public:
  static constexpr int32_t maxPeers = 256;

  // stop, when given, ends the worker like Terminate once it is set.
  TBinarySearchThread(int32_t threshold, TFileIndex& fileIndex, const TBlockSet& blocks, THVSCIndexer& indexer,
                      const std::atomic<bool>* stop = nullptr);
  ~TBinarySearchThread();
  TBinarySearchThread(const TBinarySearchThread&) = delete;
  TBinarySearchThread& operator=(const TBinarySearchThread&) = delete;

  void SetPeers(TBinarySearchThread* const* threads, int32_t count);
  void Start();
  // Asks the worker to end after the file it is on; does not wait.
  void Terminate() { terminated_.store(true, std::memory_order_relaxed); }
  void WaitFor();

  const std::string& GetBestName() const { return bestName_; }
  int32_t GetBestPercentage() const { return bestPercentage_; }
  // Index of the best item, -1 when none reached the threshold.
  int32_t GetBestItem() const { return bestItem_; }

 private:
  void Execute();
  bool ShouldEnd() const;
  void StopPeers(int32_t item);

  const int32_t threshold_;
  TFileIndex& fileIndex_;
  const TBlockSet& blocks_;
  THVSCIndexer& indexer_;
  const std::atomic<bool>* stop_;
  TBlockSet::TScratch scratch_;
  std::array<TBinarySearchThread*, maxPeers> peers_{};

  std::string bestName_;
  int32_t bestPercentage_ = 0;
  int32_t bestItem_ = -1;

  std::atomic<bool> terminated_{false};
  // Items above this index are not worth testing: a peer found every block in it.
  std::atomic<int32_t> lastUsefulItem_;
  std::thread thread_;
};
