// Test paths are written with "/"; the code under test hands out names in the
// platform's own form ("\" on Windows). native() turns the first into the second.
#pragma once

#include <algorithm>
#include <string>

#include "platform/Files.h"

inline std::string native(std::string path) {
  std::replace(path.begin(), path.end(), '/', Platform::pathSeparator);
  return path;
}
