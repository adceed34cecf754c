#include "platform/Console.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace Platform {

namespace {

// The one flag a signal handler may touch: it must be lock-free to be safe
// from inside the handler.
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted.store(true); }

int descriptorOf(TStream stream) {
  switch (stream) {
    case TStream::input:
      return STDIN_FILENO;
    case TStream::output:
      return STDOUT_FILENO;
    case TStream::error:
      break;
  }
  return STDERR_FILENO;
}

// write(2) may take part of the text or be interrupted by a signal; the rest
// follows until all is out or the stream refuses.
void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

// Puts the terminal back as it was found, however the wait ends.
class TTerminalMode {
 public:
  explicit TTerminalMode(int fd) : fd_(fd) { saved_ = ::tcgetattr(fd_, &original_) == 0; }
  ~TTerminalMode() {
    if (changed_) ::tcsetattr(fd_, TCSANOW, &original_);
  }
  TTerminalMode(const TTerminalMode&) = delete;
  TTerminalMode& operator=(const TTerminalMode&) = delete;

  // Single keys without Enter and without echo; reads never block.
  bool rawKeys() {
    if (!saved_) return false;
    termios raw = original_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    changed_ = ::tcsetattr(fd_, TCSANOW, &raw) == 0;
    return changed_;
  }

 private:
  int fd_;
  termios original_{};
  bool saved_ = false;
  bool changed_ = false;
};

}  // namespace

void writeErrorText(std::string_view text) { writeAll(STDERR_FILENO, text); }

void writeErrorLine(std::string_view text) {
  // One write call for the whole line, so lines from several threads never
  // interleave within a line.
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text);
  line.push_back('\n');
  writeAll(STDERR_FILENO, line);
}

void writeOutputText(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool isTerminal(TStream stream) { return ::isatty(descriptorOf(stream)) == 1; }

std::atomic<bool>& interruptFlag() { return interrupted; }

void installInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // Reads and writes in progress carry on; the work notices the flag itself.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
}

void waitForKeyPress() {
  if (!isTerminal(TStream::input)) return;
  TTerminalMode mode(STDIN_FILENO);
  if (!mode.rawKeys()) return;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  while (!interrupted.load()) {
    const int ready = ::poll(&input, 1, 50);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready == 0) continue;
    if ((input.revents & POLLIN) != 0) {
      char key = 0;
      if (::read(STDIN_FILENO, &key, 1) == 1) {
        // The rest of a multi-byte key (arrows, function keys) would otherwise
        // reach the shell after we exit.
        ::tcflush(STDIN_FILENO, TCIFLUSH);
        return;
      }
    }
    // A terminal that hung up will never deliver a key.
    if ((input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return;
  }
}

}  // namespace Platform
