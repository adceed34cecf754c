// Shared by the platforms' listDirectory: the one listing order of Files.h.
#pragma once

#include <vector>

#include "Files.h"

namespace Platform {

// Sorts ASCII case-insensitively (upper-case folding, as NTFS orders names),
// ties broken by bytes.
void sortListing(std::vector<TDirEntry>& entries);

}  // namespace Platform
