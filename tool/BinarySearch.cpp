#include "BinarySearch.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "Hvsc.h"

namespace {

// Usage flags of the library's memory map.
constexpr uint8_t usageExecuted = 0x80;
constexpr uint8_t usageRead = 0x20;
constexpr uint8_t usageFirstAccess = 0x10;
constexpr uint8_t usageWritten = 0x08;
constexpr uint8_t usageWrittenFirst = 0x04;
constexpr uint8_t usageMask = usageExecuted | usageRead | usageFirstAccess | usageWritten | usageWrittenFirst;

struct TBlockKey {
  uint64_t head;
  uint64_t tail;
  bool operator==(const TBlockKey& other) const { return head == other.head && tail == other.tail; }
};

struct TBlockKeyHash {
  std::size_t operator()(const TBlockKey& key) const {
    return static_cast<std::size_t>((key.head * 0x9E3779B97F4A7C15ull) ^ (key.tail + 0x632BE59BD9B4E019ull));
  }
};

}  // namespace

TBinarySearch::TBinarySearch() : blocks_(memorySize) {}

TBinarySearch::~TBinarySearch() { FreeWorkers(); }

void TBinarySearch::SetThreadCount(int32_t count) { threadCount_ = std::clamp(count, 1, maxThreads); }

void TBinarySearch::SetIndexer(THVSCIndexer& indexer) {
  indexer_ = &indexer;
  fileIndex_ = std::make_unique<TFileIndex>(indexer.GetItemCount());
}

void TBinarySearch::BuildBlocks(const uint8_t* memory, const uint8_t* usage) {
  blockCount_ = 0;
  std::unordered_set<TBlockKey, TBlockKeyHash> seen;
  uint8_t block[TBlockSet::blockSize];
  std::size_t filled = 0;
  std::size_t previous = 0;
  bool any = false;
  for (std::size_t address = 0; address < memorySize; ++address) {
    // Bytes the player only ever read as data: never executed, written, or new to it.
    if ((usage[address] & usageMask) != usageRead) continue;
    // A gap drops the incomplete block; a complete one starts afresh anyway.
    if (any && address != previous + 1) filled = 0;
    any = true;
    previous = address;
    block[filled++] = memory[address];
    if (filled < TBlockSet::blockSize) continue;
    filled = 0;
    TBlockKey key;
    std::memcpy(&key.head, block, 8);
    std::memcpy(&key.tail, block + 8, 8);
    if (!seen.insert(key).second) continue;
    std::memcpy(blocks_.data() + static_cast<std::size_t>(blockCount_) * TBlockSet::blockSize, block,
                TBlockSet::blockSize);
    ++blockCount_;
  }
  // A lone block of zeros is cleared memory, not music data.
  if (blockCount_ == 1 && std::all_of(blocks_.begin(), blocks_.begin() + TBlockSet::blockSize,
                                      [](uint8_t b) { return b == 0; }))
    blockCount_ = 0;
}

bool TBinarySearch::Search(const uint8_t* memory, const uint8_t* usage) {
  resultText_.clear();
  bestFile_.clear();
  BuildBlocks(memory, usage);
  // Without blocks no file can reach a threshold: there is nothing to hand out.
  if (indexer_ == nullptr || !fileIndex_ || blockCount_ == 0) return false;
  fileIndex_->Reset();
  blockSet_.Assign(blocks_.data(), blockCount_);

  try {
    std::array<TBinarySearchThread*, maxThreads> peers{};
    {
      const std::lock_guard<std::mutex> guard(lock_);
      for (int32_t t = 0; t < threadCount_; ++t) {
        const auto slot = static_cast<std::size_t>(t);
        threads_[slot] = std::make_unique<TBinarySearchThread>(threshold_, *fileIndex_, blockSet_, *indexer_, stop_);
        peers[slot] = threads_[slot].get();
      }
      for (int32_t t = 0; t < threadCount_; ++t) {
        threads_[static_cast<std::size_t>(t)]->SetPeers(peers.data(), threadCount_);
        threads_[static_cast<std::size_t>(t)]->Start();
      }
    }
    for (int32_t t = 0; t < threadCount_; ++t) threads_[static_cast<std::size_t>(t)]->WaitFor();
    Collect();
  } catch (...) {
    FreeWorkers();
    throw;
  }
  FreeWorkers();
  return !resultText_.empty();
}

void TBinarySearch::Collect() {
  int32_t best = 0;
  int32_t bestItem = -1;
  for (int32_t t = 0; t < threadCount_; ++t) {
    const TBinarySearchThread* worker = threads_[static_cast<std::size_t>(t)].get();
    if (worker == nullptr || worker->GetBestPercentage() == 0) continue;
    const int32_t percentage = worker->GetBestPercentage();
    // Equal shares go to the item indexed first, whichever thread met it.
    if (percentage > best || (percentage == best && worker->GetBestItem() < bestItem)) {
      best = percentage;
      bestItem = worker->GetBestItem();
      bestFile_ = worker->GetBestName() + ".sid";
    }
  }
  if (best == 0) {
    bestFile_.clear();
    return;
  }
  resultText_ = Hvsc::GetHvscRelativePath(bestFile_) + " (" + std::to_string(best) + "%)";
}

void TBinarySearch::CancelSearch() {
  const std::lock_guard<std::mutex> guard(lock_);
  for (const auto& worker : threads_)
    if (worker) worker->Terminate();
}

void TBinarySearch::FreeWorkers() {
  const std::lock_guard<std::mutex> guard(lock_);
  for (auto& worker : threads_) worker.reset();
}
