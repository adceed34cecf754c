// The corpus tunes the playback benchmarks play: an even spread of count tunes
// over the sorted sample, so every benchmark measures the same music.
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

inline std::vector<std::string> corpusTunes(std::size_t count) {
  std::vector<std::string> all;
  const std::filesystem::path root = std::filesystem::path(ZORVEX_SHARED_DIR) / "corpus/C64Music";
  if (!std::filesystem::exists(root)) return all;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (entry.is_regular_file() && entry.path().extension() == ".sid") all.push_back(entry.path().string());
  std::sort(all.begin(), all.end());
  std::vector<std::string> picked;
  for (std::size_t i = 0; i < count && !all.empty(); ++i) picked.push_back(all[i * all.size() / count]);
  return picked;
}
