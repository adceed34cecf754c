#include "platform/Console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include <string>

namespace Platform {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the system starts for the event; it only
// raises the flag and tells the system the event is handled, so the process
// is not ended under the workers' feet.
BOOL WINAPI onControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted.store(true);
  return TRUE;
}

HANDLE handleOf(TStream stream) {
  switch (stream) {
    case TStream::input:
      return ::GetStdHandle(STD_INPUT_HANDLE);
    case TStream::output:
      return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case TStream::error:
      break;
  }
  return ::GetStdHandle(STD_ERROR_HANDLE);
}

bool isConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

// The progress line clears itself with "ESC [K", which a console only obeys
// with virtual-terminal processing on. Asked for once; consoles that do not
// know the mode show the line as before.
void enableEscapes(HANDLE console) {
  static const bool done = [console] {
    DWORD mode = 0;
    if (::GetConsoleMode(console, &mode) != 0) ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    return true;
  }();
  (void)done;
}

// The console takes text through WriteConsoleA; a redirected error stream
// (file, pipe) through plain writes. Both may take part of the text per call.
void writeAll(std::string_view text) {
  const HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  const bool console = isConsole(handle);
  if (console) enableEscapes(handle);
  while (!text.empty()) {
    const DWORD chunk = text.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(text.size());
    DWORD written = 0;
    const BOOL ok = console ? ::WriteConsoleA(handle, text.data(), chunk, &written, nullptr)
                            : ::WriteFile(handle, text.data(), chunk, &written, nullptr);
    if (ok == 0 || written == 0) return;
    text.remove_prefix(written);
  }
}

// Puts the console's input mode back as it was found, however the wait ends.
class TConsoleMode {
 public:
  explicit TConsoleMode(HANDLE input) : input_(input) { saved_ = ::GetConsoleMode(input_, &original_) != 0; }
  ~TConsoleMode() {
    if (changed_) ::SetConsoleMode(input_, original_);
  }
  TConsoleMode(const TConsoleMode&) = delete;
  TConsoleMode& operator=(const TConsoleMode&) = delete;

  // Single key events without Enter and without echo.
  bool rawKeys() {
    if (!saved_) return false;
    changed_ = ::SetConsoleMode(input_, original_ & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) != 0;
    return changed_;
  }

 private:
  HANDLE input_;
  DWORD original_ = 0;
  bool saved_ = false;
  bool changed_ = false;
};

// Takes the pending input events off the queue; true when one was a key going down.
bool keyPressed(HANDLE input) {
  INPUT_RECORD records[16];
  DWORD count = 0;
  if (::ReadConsoleInputA(input, records, 16, &count) == 0) return false;
  for (DWORD i = 0; i < count; ++i)
    if (records[i].EventType == KEY_EVENT && records[i].Event.KeyEvent.bKeyDown) return true;
  return false;
}

}  // namespace

void writeErrorText(std::string_view text) { writeAll(text); }

void writeErrorLine(std::string_view text) {
  // One write for the whole line, so lines of several threads never
  // interleave within a line.
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  writeAll(line);
}

void writeOutputText(std::string_view text) {
  // The C runtime opens standard output in text mode, which would write every
  // "\n" as CR LF: the result lines would differ from other platforms' bytes.
  static const bool binary = _setmode(_fileno(stdout), _O_BINARY) != -1;
  (void)binary;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool isTerminal(TStream stream) { return isConsole(handleOf(stream)); }

std::atomic<bool>& interruptFlag() { return interrupted; }

void installInterruptHandler() { ::SetConsoleCtrlHandler(onControl, TRUE); }

void waitForKeyPress() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (!isConsole(input)) return;
  TConsoleMode mode(input);
  if (!mode.rawKeys()) return;
  while (!interrupted.load()) {
    const DWORD ready = ::WaitForSingleObject(input, 50);
    if (ready == WAIT_TIMEOUT) continue;
    if (ready != WAIT_OBJECT_0) return;
    if (keyPressed(input)) {
      // Whatever else was typed stays out of the shell's way after we exit.
      ::FlushConsoleInputBuffer(input);
      return;
    }
  }
}

}  // namespace Platform
