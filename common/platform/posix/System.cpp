#include "platform/System.h"

#include <sched.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace Platform {

namespace {

struct CpuSetFree {
  void operator()(cpu_set_t* set) const noexcept { CPU_FREE(set); }
};

}  // namespace

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

void setEnvironment(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

void unsetEnvironment(const char* name) { ::unsetenv(name); }

int cpuCount() {
  // The affinity mask, not the machine's CPU count: a process pinned by taskset
  // or a container's cpuset gains nothing from more workers. The set grows
  // until the kernel's mask fits into it (EINVAL says it is too small).
  for (int cpus = 1024; cpus <= 1 << 16; cpus *= 2) {
    const std::unique_ptr<cpu_set_t, CpuSetFree> set(CPU_ALLOC(cpus));
    if (!set) break;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(size, set.get());
    if (::sched_getaffinity(0, size, set.get()) == 0) {
      const int count = CPU_COUNT_S(size, set.get());
      return count > 0 ? count : 1;
    }
    if (errno != EINVAL) break;
  }
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? static_cast<int>(hardware) : 1;
}

uint32_t milliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  // Wraps like the multimedia timer after about 49 days; callers subtract.
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace Platform
