// The kelvary program: parse the switches, load what the run reads (database;
// later the HVSC index), hand the input files to one worker per CPU, wait,
// summarise, and say how long it took.
//
//   int main(int argc, char** argv) { return RunKelvary(argc, argv); }
#pragma once

#include <cstdint>
#include <string>

int RunKelvary(int argc, char** argv);

// A millisecond count as "ss", "mm:ss" or "hh:mm:ss" (fields 1 to 3); hours
// are not wrapped.
std::string FormatDuration(int64_t milliseconds, int fields);
