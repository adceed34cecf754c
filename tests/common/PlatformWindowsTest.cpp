// The Windows side of the operating-system layer: attributes in listings,
// LoadLibrary, the affinity mask, result lines that keep their bytes, and the
// console's CR LF error lines, Ctrl-C flag and key wait.
#include "platform/Platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Points one of the standard handles elsewhere for the test's duration.
class TStdHandle {
 public:
  TStdHandle(DWORD which, HANDLE replacement) : which_(which), saved_(::GetStdHandle(which)) {
    ::SetStdHandle(which_, replacement);
  }
  ~TStdHandle() { ::SetStdHandle(which_, saved_); }
  TStdHandle(const TStdHandle&) = delete;
  TStdHandle& operator=(const TStdHandle&) = delete;

 private:
  DWORD which_;
  HANDLE saved_;
};

std::string ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An anonymous pipe, both ends closed at the end.
struct TPipe {
  TPipe() { ok = ::CreatePipe(&read, &write, nullptr, 1 << 20) != 0; }
  ~TPipe() {
    closeWrite();
    if (read != nullptr) ::CloseHandle(read);
  }
  void closeWrite() {
    if (write != nullptr) ::CloseHandle(write);
    write = nullptr;
  }
  std::string drain() const {
    std::string all;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(read, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) all.append(buffer, got);
    return all;
  }
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  bool ok = false;
};

TEST(PlatformWindowsListing, HiddenAndSystemDirectoriesAreHidden) {
  TTempDir temp;
  temp.write("shown.sid", {1});
  const std::string hiddenFile = temp.write("secret.sid", {1}).string();
  for (const char* name : {"Plain", "Hidden", "System"}) fs::create_directories(temp.path() / name);
  const std::string dir = temp.path().string();
  ASSERT_NE(::SetFileAttributesA((dir + "\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN), 0);
  ASSERT_NE(::SetFileAttributesA((dir + "\\System").c_str(), FILE_ATTRIBUTE_SYSTEM), 0);
  ASSERT_NE(::SetFileAttributesA(hiddenFile.c_str(), FILE_ATTRIBUTE_HIDDEN), 0);
  std::vector<Platform::TDirEntry> entries;
  ASSERT_TRUE(Platform::listDirectory(dir, "*", entries));
  std::set<std::string> hidden;
  std::set<std::string> directories;
  for (const auto& entry : entries) {
    if (entry.isHidden) hidden.insert(entry.name);
    if (entry.isDirectory) directories.insert(entry.name);
  }
  // The finder never descends into those directories, but a hidden file is still yielded.
  EXPECT_EQ(hidden, (std::set<std::string>{"Hidden", "System"}));
  EXPECT_EQ(directories, (std::set<std::string>{"Hidden", "Plain", "System"}));
  EXPECT_EQ(entries.size(), 5u);
}

TEST(PlatformWindowsProcess, SharedLibrariesOpenAndBindByName) {
  std::string why;
  EXPECT_EQ(Platform::TSharedLibrary::open("C:\\no\\such\\nothing.dll", why), nullptr);
  EXPECT_NE(why.find("nothing.dll"), std::string::npos) << why;
  const auto kernel = Platform::TSharedLibrary::open("kernel32.dll", why);
  ASSERT_NE(kernel, nullptr) << why;
  const auto length = reinterpret_cast<int(WINAPI*)(const char*)>(kernel->symbol("lstrlenA"));
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length("zorvex"), 6);
  EXPECT_EQ(kernel->symbol("no_such_function_here"), nullptr);
  EXPECT_EQ(Platform::sharedLibraryFileName("zorvex", 1), "zorvex.dll");
  EXPECT_EQ(Platform::sharedLibraryFileName("zorvex"), "zorvex.dll");
}

TEST(PlatformWindowsProcess, CpuCountFollowsTheAffinityMask) {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  ASSERT_NE(::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system), 0);
  DWORD_PTR lowest = process & (~process + 1);
  if (::SetProcessAffinityMask(::GetCurrentProcess(), lowest) == 0)
    GTEST_SKIP() << "this process may not change its CPU affinity";
  const int pinned = Platform::cpuCount();
  ::SetProcessAffinityMask(::GetCurrentProcess(), process);
  EXPECT_EQ(pinned, 1);
  EXPECT_GE(Platform::cpuCount(), 1);
}

// Result lines are a data format: "\n" must leave as "\n", as on every platform.
TEST(PlatformWindowsConsole, ResultLinesKeepTheirBytes) {
  TTempDir temp;
  const std::string file = (temp.path() / "out.txt").string();
  std::fflush(stdout);
  const int saved = ::_dup(1);
  ASSERT_GE(saved, 0);
  const int target = ::_open(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
  ASSERT_GE(target, 0);
  ::_dup2(target, 1);
  Platform::writeOutputText("0123=/MUSICIANS/X/Tune.sid #1\n");
  std::fflush(stdout);
  ::_dup2(saved, 1);
  ::_close(saved);
  ::_close(target);
  EXPECT_EQ(ReadBytes(file), "0123=/MUSICIANS/X/Tune.sid #1\n");
}

TEST(PlatformWindowsConsole, ErrorLinesEndInCrLfAndStayWhole) {
  TPipe pipe;
  ASSERT_TRUE(pipe.ok);
  constexpr int threads = 4;
  constexpr int linesEach = 30;  // all of it fits into the pipe unread
  const std::string body(200, 'x');
  {
    TStdHandle toPipe(STD_ERROR_HANDLE, pipe.write);
    EXPECT_FALSE(Platform::isTerminal(Platform::TStream::error));
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
      writers.emplace_back([&body, t] {
        for (int i = 0; i < linesEach; ++i) Platform::writeErrorLine(std::to_string(t) + body);
      });
    for (auto& writer : writers) writer.join();
    Platform::writeErrorText("tail");
  }
  pipe.closeWrite();
  const std::string all = pipe.drain();
  ASSERT_TRUE(all.ends_with("\r\ntail"));
  int lines = 0;
  for (std::size_t at = 0, end; (end = all.find("\r\n", at)) != std::string::npos; at = end + 2, ++lines)
    ASSERT_EQ(all.substr(at + 1, end - at - 1), body) << "line " << lines << " was torn";
  EXPECT_EQ(lines, threads * linesEach);
}

TEST(PlatformWindowsConsole, KeyWaitReturnsAtOnceWithoutAConsole) {
  TPipe pipe;
  ASSERT_TRUE(pipe.ok);
  TStdHandle fromPipe(STD_INPUT_HANDLE, pipe.read);
  EXPECT_FALSE(Platform::isTerminal(Platform::TStream::input));
  const auto start = std::chrono::steady_clock::now();
  Platform::waitForKeyPress();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

// A console's input buffer as standard input: the process's own console when
// it has none yet (as under ctest), else the one it runs in.
class PlatformWindowsConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ownConsole = ::AllocConsole() != 0;
    input = ::CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no console input buffer";
    Platform::interruptFlag() = false;
  }
  void TearDown() override {
    if (input != INVALID_HANDLE_VALUE) ::CloseHandle(input);
    if (ownConsole) ::FreeConsole();
    Platform::interruptFlag() = false;
  }
  DWORD mode() const {
    DWORD value = 0;
    ::GetConsoleMode(input, &value);
    return value;
  }
  HANDLE input = INVALID_HANDLE_VALUE;
  bool ownConsole = false;
};

TEST_F(PlatformWindowsConsoleTest, AKeyEndsTheWaitAndTheModeIsRestored) {
  ::FlushConsoleInputBuffer(input);
  ASSERT_NE(::SetConsoleMode(input, ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT), 0);
  const DWORD before = mode();
  TStdHandle fromConsole(STD_INPUT_HANDLE, input);
  ASSERT_TRUE(Platform::isTerminal(Platform::TStream::input));
  std::atomic<bool> done{false};
  std::thread waiter([&done] {
    Platform::waitForKeyPress();
    done = true;
  });
  std::this_thread::sleep_for(150ms);  // a few polls without a key
  EXPECT_FALSE(done.load());
  // A key going up is no key press; one going down is.
  INPUT_RECORD keys[2]{};
  for (INPUT_RECORD& key : keys) {
    key.EventType = KEY_EVENT;
    key.Event.KeyEvent.wRepeatCount = 1;
    key.Event.KeyEvent.uChar.AsciiChar = 'k';
  }
  keys[1].Event.KeyEvent.bKeyDown = TRUE;
  DWORD written = 0;
  ASSERT_NE(::WriteConsoleInputA(input, &keys[0], 1, &written), 0);
  std::this_thread::sleep_for(150ms);
  EXPECT_FALSE(done.load()) << "a released key ended the wait";
  ASSERT_NE(::WriteConsoleInputA(input, &keys[1], 1, &written), 0);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!done.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  const bool ended = done.load();
  if (!ended) Platform::interruptFlag() = true;  // lets the thread go either way
  waiter.join();
  EXPECT_TRUE(ended);
  EXPECT_EQ(mode(), before);
}

TEST_F(PlatformWindowsConsoleTest, CtrlCOnlyRaisesTheFlag) {
  // Ctrl-C reaches every process on the console: only on one of our own.
  if (!ownConsole) GTEST_SKIP() << "the console is shared with other processes";
  ::SetConsoleCtrlHandler(nullptr, FALSE);  // a new process group would ignore Ctrl-C
  Platform::installInterruptHandler();
  // This process survives the event.
  if (::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) == 0) GTEST_SKIP() << "no console events here";
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!Platform::interruptFlag().load() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(Platform::interruptFlag().load());
}

}  // namespace
