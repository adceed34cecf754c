// System: facts about the process and its clock.
#pragma once

#include <cstdint>
#include <string>

namespace Platform {

// The value of an environment variable, empty when it is not set.
std::string environment(const char* name);
// Sets an environment variable for this process and the libraries it opens later.
void setEnvironment(const char* name, const std::string& value);
void unsetEnvironment(const char* name);

// How many CPUs this process may run on (at least 1).
int cpuCount();

// A monotonic millisecond clock, truncated to 32 bits like the multimedia timer.
uint32_t milliseconds();

}  // namespace Platform
