// Runs a program as a child process with its output channels captured, for
// tests of the built tool as its users see it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

struct TProcessResult {
  int exitCode = -1;  // -1: killed by a signal
  std::string out;
  std::string err;
};

struct TProcessOptions {
  std::filesystem::path workingDirectory;  // empty: this one
  std::vector<std::string> environment;    // "NAME=value" added to this process's
  // When set, called with the child's pid while it runs (to signal it).
  std::function<void(pid_t)> whileRunning;
  // When not -1, the child's standard error (a terminal's slave side, say).
  int errorDescriptor = -1;
};

// A copy of the program and its library in folder bin, so that what lives
// "beside the program" (database, index) is the test's own. Returns the copy.
inline std::string CopyProgram(const std::string& program, const std::filesystem::path& bin) {
  namespace fs = std::filesystem;
  fs::create_directories(bin);
  for (const auto& entry : fs::directory_iterator(fs::path(program).parent_path()))
    if (entry.path().filename().string().starts_with("libzorvex.so") || entry.path() == fs::path(program))
      fs::copy(entry.path(), bin / entry.path().filename(), fs::copy_options::copy_symlinks);
  return (bin / fs::path(program).filename()).string();
}

inline std::string ReadWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline TProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                 const TProcessOptions& options = {}) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const std::string tag = std::to_string(::getpid()) + "-" +
                          std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  const std::filesystem::path outFile = dir / ("kelvary-out-" + tag);
  const std::filesystem::path errFile = dir / ("kelvary-err-" + tag);
  std::vector<std::string> argStrings = {program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(options.errorDescriptor != -1 ? options.errorDescriptor : err, 2);
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) ::_exit(127);
    for (const std::string& e : options.environment) ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  if (options.whileRunning) options.whileRunning(pid);
  int status = 0;
  ::waitpid(pid, &status, 0);
  TProcessResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadWhole(outFile);
  result.err = ReadWhole(errFile);
  std::error_code ignored;
  std::filesystem::remove(outFile, ignored);
  std::filesystem::remove(errFile, ignored);
  return result;
}
