// The parts of Files that need no operating-system call: wildcard matching,
// the listing order and a mapping's ownership, the same on every platform.
#include "Files.h"

#include <algorithm>

#include "Listing.h"

namespace Platform {

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-insensitive order first, so the listing matches what NTFS hands out;
// the bytes decide between names that differ only in case. NTFS compares upper
// case, which puts "_" and the other codes between "Z" and "a" after letters:
// "Rob_X" follows "Robb" there.
bool listsBefore(const TDirEntry& a, const TDirEntry& b) {
  const std::string& x = a.name;
  const std::string& y = b.name;
  const std::size_t common = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto cx = static_cast<unsigned char>(upperAscii(x[i]));
    const auto cy = static_cast<unsigned char>(upperAscii(y[i]));
    if (cx != cy) return cx < cy;
  }
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;
}

}  // namespace

void sortListing(std::vector<TDirEntry>& entries) { std::sort(entries.begin(), entries.end(), listsBefore); }

bool matchesWildcard(std::string_view pattern, std::string_view name) {
  // The Windows finder treats "*.*" as "everything", names without a dot included.
  if (pattern == "*.*") return true;
  // Greedy matching that backs up to the last "*" on a mismatch: linear in
  // practice, and never worse than pattern length times name length.
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t starP = std::string_view::npos;
  std::size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Only release() differs between the platforms.
TFileMapping::TFileMapping(TFileMapping&& other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

TFileMapping& TFileMapping::operator=(TFileMapping&& other) noexcept {
  if (this != &other) {
    release();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

TFileMapping::~TFileMapping() { release(); }

}  // namespace Platform
