// The binary search as a plain walk on one thread, for tests and benchmarks to
// measure against: every indexed file in order, every block searched with a
// skip table of its own, a file given up once its hit rate plus the share of
// untested blocks falls below the bar.
#pragma once

#include <cstdint>

#include "BMSearch.h"
#include "HvscIndexer.h"

struct TPlainWalkResult {
  int32_t item = -1;
  int32_t percentage = 0;
};

inline TPlainWalkResult PlainBlockWalk(THVSCIndexer& indexer, const uint8_t* blocks, int32_t count,
                                       int32_t threshold) {
  TBMSearch::TTable table;
  TPlainWalkResult best;
  int32_t bar = threshold;
  for (int item = 0; item < indexer.GetItemCount(); ++item) {
    const uint8_t* data = indexer.GetItemData(item);
    const auto size = static_cast<std::size_t>(indexer.GetItemSize(item));
    int32_t found = 0, tried = 0, percentage = 0;
    for (int32_t c = 0; c < count; ++c) {
      const uint8_t* block = blocks + 16 * c;
      TBMSearch::PrepareTable(block, 16, table);
      if (TBMSearch::FindPattern(data, size, table, 16, block) >= 0) ++found;
      ++tried;
      const int32_t remaining = 100 - (100 * c) / count;
      percentage = (100 * found) / tried;
      if (percentage + remaining < bar) break;
    }
    if (percentage >= threshold) {
      if (percentage > best.percentage) {
        best = {item, percentage};
        if (percentage == 100) break;
      }
      bar = percentage;
    }
  }
  return best;
}
