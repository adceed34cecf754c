#include "BinarySearchThread.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace {

// One for the whole program: when workers of a search find every block at about
// the same time, the stops they send each other are settled one after another.
std::mutex& PeerStopLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

TBinarySearchThread::TBinarySearchThread(int32_t threshold, TFileIndex& fileIndex, const TBlockSet& blocks,
                                         THVSCIndexer& indexer, const std::atomic<bool>* stop)
    : threshold_(threshold),
      fileIndex_(fileIndex),
      blocks_(blocks),
      indexer_(indexer),
      stop_(stop),
      lastUsefulItem_(std::numeric_limits<int32_t>::max()) {}

TBinarySearchThread::~TBinarySearchThread() {
  Terminate();
  WaitFor();
}

void TBinarySearchThread::SetPeers(TBinarySearchThread* const* threads, int32_t count) {
  peers_.fill(nullptr);
  std::copy(threads, threads + std::clamp(count, 0, maxPeers), peers_.begin());
}

void TBinarySearchThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TBinarySearchThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

bool TBinarySearchThread::ShouldEnd() const {
  return terminated_.load(std::memory_order_relaxed) || (stop_ && stop_->load(std::memory_order_relaxed));
}

void TBinarySearchThread::Execute() {
  bestName_.clear();
  bestPercentage_ = 0;
  bestItem_ = -1;
  const int32_t count = blocks_.size();
  int32_t bar = threshold_;

  for (int32_t item = fileIndex_.GetNextIndex(); item != -1 && !ShouldEnd(); item = fileIndex_.GetNextIndex()) {
    // Items are handed out in increasing order: every later one is beyond the limit too.
    if (item > lastUsefulItem_.load(std::memory_order_acquire)) break;
    indexer_.Lock();
    const uint8_t* data = indexer_.GetItemData(item);
    const auto size = static_cast<std::size_t>(indexer_.GetItemSize(item));
    indexer_.Unlock();
    if (count == 0) continue;

    // The fewest blocks whose share (rounded down) reaches the bar.
    const int32_t needed = static_cast<int32_t>((static_cast<int64_t>(std::max(bar, 0)) * count + 99) / 100);
    const int32_t found = blocks_.Count(data, size, needed, scratch_);
    if (found < needed) continue;  // below the bar, or given up on the way
    const int32_t percentage = static_cast<int32_t>(int64_t{100} * found / count);
    if (percentage < threshold_) continue;
    if (percentage > bestPercentage_) {
      bestPercentage_ = percentage;
      bestItem_ = item;
      indexer_.Lock();
      bestName_ = indexer_.GetItemName(item);
      indexer_.Unlock();
      if (percentage == 100) {
        StopPeers(item);
        break;
      }
    }
    bar = percentage;
  }
}

void TBinarySearchThread::StopPeers(int32_t item) {
  const std::lock_guard<std::mutex> guard(PeerStopLock());
  // A peer that found every block in an earlier file has already stopped us.
  if (item > lastUsefulItem_.load(std::memory_order_relaxed)) return;
  for (TBinarySearchThread* peer : peers_) {
    if (peer == nullptr || peer == this) continue;
    if (item < peer->lastUsefulItem_.load(std::memory_order_relaxed))
      peer->lastUsefulItem_.store(item, std::memory_order_release);
  }
}
