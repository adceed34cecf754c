// TFileIndex: hands out the indexes 0 .. count - 1 to several threads, each
// index to exactly one caller, then -1 until Reset.
//
//   TFileIndex next(indexer.GetItemCount());
//   for (int32_t i = next.GetNextIndex(); i >= 0; i = next.GetNextIndex()) search(i);
#pragma once

#include <cstdint>
#include <mutex>

class TFileIndex {
 public:
  explicit TFileIndex(int32_t count) : count_(count) {}

  void Reset();

  // The next index, or -1 once all count indexes have been handed out.
  int32_t GetNextIndex();

 private:
  const int32_t count_;
  int32_t current_ = -1;
  std::mutex lock_;
};
