// The POSIX side of the operating-system layer: symbolic links in listings,
// dlopen, the XDG cache folder, the affinity mask, and the console's error
// lines, SIGINT flag and key wait on pipes and a real pseudo-terminal.
#include "platform/Platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Points one of the standard descriptors elsewhere for the test's duration.
class TRedirect {
 public:
  TRedirect(int target, int replacement) : target_(target), saved_(::dup(target)) { ::dup2(replacement, target); }
  ~TRedirect() {
    ::dup2(saved_, target_);
    ::close(saved_);
  }
  TRedirect(const TRedirect&) = delete;
  TRedirect& operator=(const TRedirect&) = delete;

 private:
  int target_;
  int saved_;
};

// Links in a listing: followed for the directory mark, sorted with the rest.
TEST(PlatformPosixListing, LinksAreListedAndFollowed) {
  TTempDir temp;
  for (const char* name : {"alpha.sid", "Alpha.sid"}) temp.write(name, {1});
  fs::create_directories(temp.path() / "Sub.sid");
  fs::create_symlink(temp.path() / "Sub.sid", temp.path() / "link.sid");
  fs::create_symlink(temp.path() / "missing", temp.path() / "dangling.sid");
  const std::string dir = temp.path().string();
  std::vector<Platform::TDirEntry> entries;
  ASSERT_TRUE(Platform::listDirectory(dir, "*.sid", entries));
  std::vector<std::string> names;
  std::set<std::string> directories;
  for (const auto& entry : entries) {
    names.push_back(entry.name);
    if (entry.isDirectory) directories.insert(entry.name);
  }
  // Names equal but for case: the bytes decide.
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha.sid", "alpha.sid", "dangling.sid", "link.sid", "Sub.sid"}));
  EXPECT_EQ(directories, (std::set<std::string>{"Sub.sid", "link.sid"}));
  EXPECT_FALSE(Platform::isDirectory(dir + "/dangling.sid"));
  EXPECT_TRUE(Platform::isDirectory(dir + "/link.sid"));
}

TEST(PlatformProcess, SharedLibrariesOpenAndBindByName) {
  std::string why;
  EXPECT_EQ(Platform::TSharedLibrary::open("/no/such/libnothing.so", why), nullptr);
  EXPECT_FALSE(why.empty());
  // The C library is in every process; a second open shares the first.
  const auto libc = Platform::TSharedLibrary::open("libc.so.6", why);
  ASSERT_NE(libc, nullptr) << why;
  const auto length = reinterpret_cast<std::size_t (*)(const char*)>(libc->symbol("strlen"));
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length("zorvex"), 6u);
  EXPECT_EQ(libc->symbol("no_such_function_here"), nullptr);
  EXPECT_EQ(Platform::sharedLibraryFileName("zorvex", 1), "libzorvex.so.1");
}

TEST(PlatformProcess, TheCacheFolderFollowsXdgElseHome) {
  const std::string xdg = Platform::environment("XDG_CACHE_HOME");
  Platform::setEnvironment("XDG_CACHE_HOME", "/var/cache/me");
  EXPECT_EQ(Platform::userCacheDirectory(), "/var/cache/me");
  unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(Platform::userCacheDirectory(), Platform::environment("HOME") + "/.cache");
  if (!xdg.empty()) Platform::setEnvironment("XDG_CACHE_HOME", xdg);
}

TEST(PlatformProcess, CpuCountFollowsTheAffinityMask) {
  EXPECT_GE(Platform::cpuCount(), 1);
  // Affinity is per thread on Linux: pin a fresh thread to one CPU and ask there.
  bool pinned = false;
  int count = 0;
  std::thread([&] {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(::sched_getcpu(), &set);
    pinned = ::sched_setaffinity(0, sizeof set, &set) == 0;
    count = Platform::cpuCount();
  }).join();
  if (!pinned) GTEST_SKIP() << "this process may not change its CPU affinity";
  EXPECT_EQ(count, 1);
}

TEST(PlatformConsole, ErrorLinesFromManyThreadsStayWhole) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  constexpr int threads = 4;
  constexpr int linesEach = 30;  // all of it fits into the pipe unread
  const std::string body(200, 'x');
  {
    TRedirect toPipe(STDERR_FILENO, pipeEnds[1]);
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
      writers.emplace_back([&body, t] {
        for (int i = 0; i < linesEach; ++i) Platform::writeErrorLine(std::to_string(t) + body);
      });
    for (auto& writer : writers) writer.join();
    Platform::writeErrorText("tail");
  }
  ::close(pipeEnds[1]);
  std::string all;
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) all.append(buffer, static_cast<std::size_t>(got));
  ::close(pipeEnds[0]);

  ASSERT_TRUE(all.ends_with("\ntail"));
  int lines = 0;
  for (std::size_t at = 0, end; (end = all.find('\n', at)) != std::string::npos; at = end + 1, ++lines)
    ASSERT_EQ(all.substr(at + 1, end - at - 1), body) << "line " << lines << " was torn";
  EXPECT_EQ(lines, threads * linesEach);
}

TEST(PlatformConsole, InterruptOnlyRaisesTheFlag) {
  struct sigaction previous {};
  ::sigaction(SIGINT, nullptr, &previous);
  Platform::interruptFlag() = false;
  Platform::installInterruptHandler();
  ASSERT_EQ(::raise(SIGINT), 0);  // the process survives
  EXPECT_TRUE(Platform::interruptFlag().load());
  Platform::interruptFlag() = false;
  ::sigaction(SIGINT, &previous, nullptr);
}

TEST(PlatformConsole, KeyWaitReturnsAtOnceWithoutATerminal) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  {
    TRedirect fromPipe(STDIN_FILENO, pipeEnds[0]);
    EXPECT_FALSE(Platform::isTerminal(Platform::TStream::input));
    const auto start = std::chrono::steady_clock::now();
    Platform::waitForKeyPress();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  }
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

// A pseudo-terminal as standard input: the wait switches it to single keys
// without echo and puts it back however the wait ends.
class PlatformKeyWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminal";
    slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    Platform::interruptFlag() = false;
  }
  void TearDown() override {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
    Platform::interruptFlag() = false;
  }
  tcflag_t localFlags() const {
    termios mode{};
    ::tcgetattr(slave, &mode);
    return mode.c_lflag;
  }
  // Runs the wait on its own thread and calls wake once the terminal is in
  // single-key mode; false when the wait never got there or never ended.
  template <typename Wake>
  bool waitAndWake(Wake wake) {
    TRedirect fromTerminal(STDIN_FILENO, slave);
    std::atomic<bool> done{false};
    std::thread waiter([&done] {
      Platform::waitForKeyPress();
      done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while ((localFlags() & ICANON) != 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    const bool switched = (localFlags() & (ICANON | ECHO)) == 0;
    std::this_thread::sleep_for(120ms);  // a few polls without a key
    const bool waitedForKey = !done.load();
    wake();
    waiter.join();
    return switched && waitedForKey;
  }
  int master = -1;
  int slave = -1;
};

TEST_F(PlatformKeyWaitTest, AKeyEndsTheWaitAndTheTerminalIsRestored) {
  const tcflag_t before = localFlags();
  ASSERT_NE(before & ICANON, 0u);
  EXPECT_TRUE(waitAndWake([this] { ASSERT_EQ(::write(master, "\x1b[A", 3), 3); }));
  EXPECT_EQ(localFlags(), before);
  // The rest of the arrow key's sequence went with it.
  pollfd pending{slave, POLLIN, 0};
  EXPECT_EQ(::poll(&pending, 1, 50), 0);
}

TEST_F(PlatformKeyWaitTest, CtrlCEndsTheWaitAndTheTerminalIsRestored) {
  const tcflag_t before = localFlags();
  EXPECT_TRUE(waitAndWake([] { Platform::interruptFlag() = true; }));
  EXPECT_EQ(localFlags(), before);
}

}  // namespace
