// Console: the tool's side of the terminal. Program-level messages go to the
// error stream a line at a time; Ctrl-C only raises a flag that the work polls;
// the optional key wait at the end of a run.
//
//   Platform::installInterruptHandler();
//   while (!Platform::interruptFlag().load()) work();
//   Platform::writeErrorLine("Processing...");
#pragma once

#include <atomic>
#include <string_view>

namespace Platform {

enum class TStream { input, output, error };

// Text on the standard error stream, unbuffered; writeErrorLine adds the
// platform's line end.
void writeErrorText(std::string_view text);
void writeErrorLine(std::string_view text);

// Text on the standard output stream byte for byte, flushed at once. Result
// lines are data: no platform turns their "\n" into anything else.
void writeOutputText(std::string_view text);

bool isTerminal(TStream stream);

// The one flag Ctrl-C sets. The handler does nothing else, so it is safe at any
// moment; everything that can be cancelled polls this flag.
std::atomic<bool>& interruptFlag();
void installInterruptHandler();

// Waits until a key is pressed on the terminal, polling every 50 ms with echo
// and line editing off and the terminal restored afterwards. Returns at once
// when standard input is no terminal.
void waitForKeyPress();

}  // namespace Platform
