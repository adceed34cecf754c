#include "FileIndex.h"

void TFileIndex::Reset() {
  const std::lock_guard<std::mutex> guard(lock_);
  current_ = -1;
}

int32_t TFileIndex::GetNextIndex() {
  const std::lock_guard<std::mutex> guard(lock_);
  // Stays at count once reached, so later calls cannot run past it.
  if (current_ >= count_) return -1;
  ++current_;
  return current_ < count_ ? current_ : -1;
}
