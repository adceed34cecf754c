// Locating the shared test data that sits beside the source tree.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

// In the platform's own form, so that paths made from it look like those the
// code under test builds ("\" throughout on Windows).
inline std::filesystem::path sharedDir() { return std::filesystem::path(ZORVEX_SHARED_DIR).make_preferred(); }

// Skips the calling test, saying what is missing, when a shared file or folder is absent.
#define REQUIRE_SHARED(relative)                                                        \
  do {                                                                                  \
    if (!std::filesystem::exists(sharedDir() / (relative)))                             \
      GTEST_SKIP() << "shared test data not found: " << (sharedDir() / (relative)).string(); \
  } while (0)
