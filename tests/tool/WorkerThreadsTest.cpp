// Workers on threads of their own, each with its own emulator instance, over
// real tunes: the hashes do not depend on how many workers share the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "MainThread.h"
#include "SharedData.h"
#include "Zorvex_Wrapper.h"

namespace {

std::multiset<std::string> HashLines(const std::string& mask, int workers) {
  Zorvex::BindOrThrow();
  TFileSearch files;
  files.StartSearch(mask, true);
  std::multiset<std::string> lines;
  std::mutex linesLock;
  TOutput output({[&](std::string_view t) {
                    std::lock_guard guard(linesLock);
                    lines.insert(std::string(t));
                  },
                  [](std::string_view) {}, [](std::string_view) {}},
                 TOutput::Format::text);
  TRunState run;
  std::atomic<bool> interrupted{false};
  TWorkerConfig config;
  config.minutes = 1;
  config.generateOnly = true;
  std::vector<std::unique_ptr<TMainThread>> threads;
  for (int t = 0; t < workers; ++t) {
    auto worker = std::make_unique<TKelvary>(config, files, nullptr, output, run, interrupted,
                                             [] { return std::make_unique<TZorvexInstance>(); });
    threads.push_back(std::make_unique<TMainThread>(std::move(worker), run));
    threads.back()->Start();
  }
  for (auto& thread : threads) thread->Join();
  EXPECT_EQ(run.ExitCode(), 0);
  return lines;
}

TEST(WorkerThreads, EightWorkersHashLikeOne) {
  // A hundred tunes of many players; one composer's in the slow sanitizer builds.
#ifdef ZORVEX_SANITIZED_BUILD
  const std::string folder = "corpus/C64Music/MUSICIANS/H/Hubbard_Rob";
#else
  const std::string folder = "corpus/C64Music/MUSICIANS/H";
#endif
  REQUIRE_SHARED(folder);
  const std::string mask = (sharedDir() / folder).string() + "/*.sid";
  const std::multiset<std::string> one = HashLines(mask, 1);
  EXPECT_GT(one.size(), 50u);
  EXPECT_EQ(HashLines(mask, 8), one);
}

}  // namespace
