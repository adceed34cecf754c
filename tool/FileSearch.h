// TFileSearch: hands out, one per call, the names of all files that match a
// wildcard mask, in one directory or a whole tree (breadth first). Several
// threads may drain one object at once; each name goes to exactly one caller.
//
//   TFileSearch search;
//   search.StartSearch("/data/rips/*.sid", true);
//   for (std::string name = search.GetNextFile(); !name.empty(); name = search.GetNextFile())
//     process(name);     // "/data/rips/a.sid", then the sub-directories' files
//
// A mask without a directory part lists "./", so its names begin with "./".
#pragma once

#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Files.h"

class TFileSearch {
 public:
  // Starts (or restarts) a walk. Not locked: call it while no thread drains the
  // object. Returns whether the mask's directory exists.
  bool StartSearch(const std::string& mask, bool recursive);

  // The next matching file name, or "" when the walk is over (and from then on).
  std::string GetNextFile();

 private:
  std::string NextFileLocked();
  bool OpenListing();

  std::mutex lock_;
  bool active_ = false;
  bool listingOpen_ = false;
  std::vector<Platform::TDirEntry> listing_;
  std::size_t listingPos_ = 0;
  std::string currentDirectory_;
  std::deque<std::string> pendingMasks_;
  std::string currentMask_;
  std::string pattern_;
  bool recursive_ = false;
  // Directories already walked: a link back up the tree must not make the walk endless.
  std::set<Platform::TFileIdentity> visited_;
};
