// Locating the shared test data that sits beside the source tree.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

inline std::filesystem::path sharedDir() { return std::filesystem::path(ZORVEX_SHARED_DIR); }

// Skips the calling test, saying what is missing, when a shared file or folder is absent.
#define REQUIRE_SHARED(relative)                                                        \
  do {                                                                                  \
    if (!std::filesystem::exists(sharedDir() / (relative)))                             \
      GTEST_SKIP() << "shared test data not found: " << (sharedDir() / (relative)).string(); \
  } while (0)
