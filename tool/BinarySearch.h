// TBinarySearch: finds the indexed HVSC file that holds the largest share of
// the data bytes a tune's player read, for tunes whose data hash is unknown
// (re-ripped, edited or re-timed music). The bytes are the ones the player only
// ever read as data; they are cut into 16-byte blocks, and the file in which
// the largest share of the distinct blocks occurs wins when its share reaches
// the threshold. Of files with equal shares the one indexed first wins, however
// many threads share the work. One search at a time; Search blocks.
//
//   TBinarySearch search;
//   search.SetThreshold(isPrg ? 5 : 75);
//   search.SetThreadCount(threads);
//   search.SetIndexer(indexer);
//   if (search.Search(memory, usage)) print(search.GetResultText());   // "/GAMES/X/Tune.sid (87%)"
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BinarySearchThread.h"
#include "BlockSet.h"
#include "FileIndex.h"
#include "HvscIndexer.h"

class TBinarySearch {
 public:
  static constexpr int32_t maxThreads = TBinarySearchThread::maxPeers;
  static constexpr std::size_t memorySize = 65536;
  static constexpr std::size_t maxBlocks = memorySize / TBlockSet::blockSize;

  TBinarySearch();
  ~TBinarySearch();
  TBinarySearch(const TBinarySearch&) = delete;
  TBinarySearch& operator=(const TBinarySearch&) = delete;

  void SetThreshold(int32_t percentage) { threshold_ = percentage; }
  // Clamped to 1 .. 256.
  void SetThreadCount(int32_t count);
  // Also gives the search a fresh file counter over the indexer's items.
  void SetIndexer(THVSCIndexer& indexer);
  // A flag (the program's interrupt flag) that, once set, ends a running search like CancelSearch.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

  // memory: the C64's 64 KB; usage: the library's usage flags of each address.
  // True when a file reached the threshold.
  bool Search(const uint8_t* memory, const uint8_t* usage);
  const std::string& GetResultText() const { return resultText_; }
  // The best item's name with ".sid", "" when nothing was found.
  const std::string& GetBestFile() const { return bestFile_; }

  // Ends the running search early (from another thread); its result is what
  // the workers had found by then.
  void CancelSearch();

  // The blocks of the last search, 16 bytes each, in the order they were found.
  int32_t GetBlockCount() const { return blockCount_; }
  const uint8_t* GetBlocks() const { return blocks_.data(); }

 private:
  void BuildBlocks(const uint8_t* memory, const uint8_t* usage);
  void Collect();
  void FreeWorkers();

  int32_t threshold_ = 75;
  std::string resultText_;
  std::string bestFile_;
  THVSCIndexer* indexer_ = nullptr;
  std::unique_ptr<TFileIndex> fileIndex_;
  std::vector<uint8_t> blocks_;
  int32_t blockCount_ = 0;
  TBlockSet blockSet_;
  int32_t threadCount_ = 1;
  std::array<std::unique_ptr<TBinarySearchThread>, maxThreads> threads_;
  const std::atomic<bool>* stop_ = nullptr;
  // Guards the worker slots against CancelSearch while they are filled or freed.
  std::mutex lock_;
};
