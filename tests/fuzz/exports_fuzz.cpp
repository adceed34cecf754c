// Arbitrary bytes as a tune file through the library's C interface, as a caller
// uses it: load, read every fact of the tune, pick a sub-tune and a clock, run
// init and play for a short while, copy the memory maps. The first byte picks
// the file name's extension, the sub-tune and the clock; the rest is the file.
// Every answer must stay inside its range, and nothing may crash or hang.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zorvex.h"

namespace {

int32_t instance() {
  static const int32_t handle = [] {
    // Our own ROM set only: what a fuzzer finds must not depend on the machine it runs on.
    setenv("ZORVEX_ROMS", "/nonexistent-zorvex-fuzz-roms", 1);
    return createC64();
  }();
  return handle;
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void checkText(const char* text) {
  check(text != nullptr);
  check(std::strlen(text) < 70000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char* const extensions[] = {".sid", ".prg", ".p00", ".mus", ".str", ".dat", ""};
  const uint8_t control = data[0];
  const std::string path = "/tmp/zorvex-exports-fuzz-" + std::to_string(getpid()) + extensions[control % 7];
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
  }
  const int32_t h = instance();
  check(h > 0);
  if (!loadFile(h, path.c_str())) return 0;

  const int32_t songs = getNumberOfSongs(h);
  check(songs >= 1 && songs <= 256);
  check(getDefaultSong(h) >= -1 && getDefaultSong(h) < songs);
  const int32_t load = getLoadAddress(h);
  check(load >= 0 && load <= 0xFFFF);
  check(getLoadEndAddress(h) > load && getLoadEndAddress(h) <= 0x10000);
  check(getInitAddress(h) >= 0 && getInitAddress(h) <= 0xFFFF);
  check(getPlayAddress(h) >= 0 && getPlayAddress(h) <= 0xFFFF);
  checkText(getTitle(h));
  checkText(getAuthor(h));
  checkText(getReleased(h));
  const char* md5 = getMD5Hash(h);
  checkText(md5);
  check(std::strlen(md5) == 0 || std::strlen(md5) == 32);

  enableFixedStartup(h);
  clearMemUsageOnFirstSIDAccess(h, 1);
  enableVolumeFix(h, control & 0x80 ? 1 : 0);
  setSongToPlay(h, (control >> 3) % songs);
  setC64Version(h, control & 0x40 ? 2 : 1);
  // A few thousand cycles: init and the first play calls (a run call ends at a
  // SID access or after a slice of about a millisecond).
  for (int call = 0; call < 24; ++call) {
    run(h);
    const int32_t command = getCommand(h);
    check(command >= 0 && command <= 5);
    check(getCycles(h) >= 0);
    if (command == 2) check(getRegister(h) >= 0 && getRegister(h) <= 0xFF && getData(h) >= 0 && getData(h) <= 0xFF);
  }
  if (control & 0x20) {
    pressButtons(h);
    for (int call = 0; call < 8; ++call) run(h);
  }
  // Every other input: the copies cost more than the short run before them.
  if (control & 0x10) {
    static std::vector<uint8_t> buffer(65536);
    getMemory(h, buffer.data(), static_cast<int32_t>(buffer.size()));
    getMemoryUsageRam(h, buffer.data(), static_cast<int32_t>(buffer.size()));
    getMemoryUsageRom(h, buffer.data(), static_cast<int32_t>(buffer.size()));
  }
  return 0;
}
