// kelvary -g over a tree of links to chosen corpus tunes (and the companions of
// their MUS files), as the golden outputs and the shipped database are checked.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "RunProcess.h"
#include "TempDir.h"

// The hash lines with paths relative to corpus ("MUSICIANS/X/Tune.sid #1"),
// sorted; `extra` holds switches such as "-t1".
inline std::vector<std::string> TreeHashLines(const std::string& kelvary, const std::filesystem::path& corpus,
                                              const std::vector<std::string>& tunes,
                                              const std::vector<std::string>& extra) {
  namespace fs = std::filesystem;
  TTempDir tree;
  for (const std::string& tune : tunes) {
    const fs::path link = tree.path() / tune;
    fs::create_directories(link.parent_path());
    // A companion may have been linked already, beside its .mus.
    auto linkTo = [](const fs::path& target, const fs::path& at) {
      if (fs::exists(target) && !fs::exists(fs::symlink_status(at))) fs::create_symlink(target, at);
    };
    linkTo(corpus / tune, link);
    for (const char* ext : {".str", ".STR"})
      linkTo(fs::path(corpus / tune).replace_extension(ext), fs::path(link).replace_extension(ext));
  }
  TProcessOptions options;
  options.environment = {"ZORVEX_ROMS=builtin"};
  std::vector<std::string> args = {"-g", "-s", "-c2"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back((tree.path() / "*").string());
  const TProcessResult r = RunProcess(kelvary, args, options);
  // 3: some files were no tune (the corpus holds rips that are no program).
  EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 3) << r.exitCode << ": " << r.err;
  const std::string prefix = tree.path().string() + "/";
  std::vector<std::string> lines;
  std::istringstream out(r.out);
  for (std::string line; std::getline(out, line);) {
    // Hash lines only: "<32 hex digits>=<path> #<sub-tune>".
    if (line.size() < 34 || line[32] != '=' || line.compare(33, prefix.size(), prefix) != 0) continue;
    lines.push_back(line.erase(33, prefix.size()));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}
