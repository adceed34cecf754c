// Arbitrary bytes as a tune file of each kind the loader knows (the first byte
// picks the file name's extension), loaded and run for 20 ms of C64 time:
// hostile headers, BASIC programs and Sidplayer data must end in a clean
// failure or in a machine that keeps running.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "C64Instance.h"

namespace {

const TRoms& builtinRoms() {
  static const TRoms roms = TRoms::fromDirectories({});
  return roms;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char* const extensions[] = {".sid", ".prg", ".p00", ".mus", ".str", ""};
  const std::string path = "/tmp/zorvex-fuzz-" + std::to_string(getpid()) + extensions[data[0] % 6];
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
  }
  TC64 c64(builtinRoms());
  if (c64.loadFile(path)) {
    // Started without its play address: the init loop (up to a minute of C64
    // time for an init that never returns) would make each input slow, and
    // slices run the same machine.
    const TSidFile& tune = *c64.tune;
    T6510& machine = *c64.machine;
    TTuneStart start = tune.tuneStart();
    start.playAddress = 0;
    machine.startTune(start, 1);
    // Twenty slices: the first play calls, and the inputs keep coming fast.
    for (int i = 0; i < 20; ++i) machine.runSlice();
  }
  std::remove(path.c_str());
  return 0;
}
