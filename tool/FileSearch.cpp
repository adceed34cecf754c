#include "FileSearch.h"

#include <algorithm>

namespace {

// Up to and including the last separator; "" when the mask has none.
std::size_t directoryLength(const std::string& mask) {
  const std::size_t slash = mask.find_last_of(Platform::directoryEnds);
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

bool TFileSearch::StartSearch(const std::string& mask, bool recursive) {
  pendingMasks_.clear();
  recursive_ = recursive;
  // A mask written with "/" finds what the platform's own form finds, and its
  // names come out in that form.
  currentMask_ = mask;
  std::replace(currentMask_.begin(), currentMask_.end(), '/', Platform::pathSeparator);
  const std::size_t split = directoryLength(currentMask_);
  currentDirectory_ = split == 0 ? std::string(".") + Platform::pathSeparator : currentMask_.substr(0, split);
  pattern_ = currentMask_.substr(split);
  listingOpen_ = false;
  listing_.clear();
  listingPos_ = 0;
  active_ = Platform::isDirectory(currentDirectory_);
  visited_.clear();
  if (auto start = Platform::fileIdentity(currentDirectory_)) visited_.insert(*start);
  return active_;
}

std::string TFileSearch::GetNextFile() {
  const std::lock_guard<std::mutex> guard(lock_);
  return NextFileLocked();
}

std::string TFileSearch::NextFileLocked() {
  for (;;) {
    if (!active_) return {};
    if (!listingOpen_) {
      if (currentMask_.empty()) return {};
      OpenListing();
    }
    if (listingPos_ == listing_.size()) {
      listingOpen_ = false;
      if (pendingMasks_.empty()) {
        currentMask_.clear();
        return {};
      }
      currentMask_ = std::move(pendingMasks_.front());
      pendingMasks_.pop_front();
      currentDirectory_.assign(currentMask_, 0, directoryLength(currentMask_));
      continue;
    }
    const Platform::TDirEntry& entry = listing_[listingPos_++];
    // Names that begin with "." are hidden ones here; they are never handed out.
    if (entry.isHidden || entry.isDirectory) continue;
    return currentDirectory_ + entry.name;
  }
}

bool TFileSearch::OpenListing() {
  listingOpen_ = true;
  listingPos_ = 0;
  if (!recursive_) return Platform::listDirectory(currentDirectory_, pattern_, listing_);

  // One listing serves both purposes: sub-directories are queued before any
  // file of this directory is handed out (so the walk is breadth first), and
  // the files are the entries that match the pattern. A directory that cannot
  // be listed leaves an empty listing and the walk goes on.
  const bool listed = Platform::listDirectory(currentDirectory_, "*", listing_);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < listing_.size(); ++i) {
    Platform::TDirEntry& entry = listing_[i];
    if (entry.isDirectory && !entry.isHidden) {
      std::string directory = currentDirectory_ + entry.name;
      const auto identity = Platform::fileIdentity(directory);
      if (!identity || visited_.insert(*identity).second)
        pendingMasks_.push_back(directory + Platform::pathSeparator + pattern_);
    }
    if (Platform::matchesWildcard(pattern_, entry.name)) {
      if (kept != i) listing_[kept] = std::move(entry);
      ++kept;
    }
  }
  listing_.resize(kept);
  return listed;
}
