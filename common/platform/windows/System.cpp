#include "platform/System.h"

#include <windows.h>
#include <mmsystem.h>

#include <bit>
#include <thread>

namespace Platform {

std::string environment(const char* name) {
  // The process's own block, not the C runtime's copy: what setEnvironment
  // sets is seen by every module of the process, whichever runtime it uses.
  std::string value(256, '\0');
  for (;;) {
    const DWORD length = ::GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    // Too small a buffer: the length needed, with its terminator, comes back.
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);
  }
}

void setEnvironment(const char* name, const std::string& value) { ::SetEnvironmentVariableA(name, value.c_str()); }

void unsetEnvironment(const char* name) { ::SetEnvironmentVariableA(name, nullptr); }

int cpuCount() {
  // The affinity mask, not the machine's CPU count: a process started with
  // "start /affinity" gains nothing from more workers.
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) != 0 && process != 0)
    return std::popcount(static_cast<std::make_unsigned_t<DWORD_PTR>>(process));
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? static_cast<int>(hardware) : 1;
}

uint32_t milliseconds() {
  // The multimedia timer; wraps after about 49 days, callers subtract.
  return ::timeGetTime();
}

}  // namespace Platform
