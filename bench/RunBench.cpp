// What a tune that never gets anywhere costs a caller of run(): an init that
// jams the processor, next to one stuck in JMP * and to one that returns at
// once (the idle baseline), for the first run call (the whole init) and for
// each later one-millisecond slice. All through the exports, in one process.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "zorvex.h"

namespace fs = std::filesystem;

namespace {

enum Init { returns, jams, loops };

// A PSID v2 at $1000 with one sub-tune; play is an RTS at $1010.
std::vector<uint8_t> psid(Init init) {
  std::vector<uint8_t> file(0x7C, 0);
  const char magic[] = "PSID";
  for (int i = 0; i < 4; ++i) file[i] = static_cast<uint8_t>(magic[i]);
  file[0x05] = 2;
  file[0x07] = 0x7C;
  file[0x0A] = 0x10;  // init $1000
  file[0x0C] = 0x10;  // play $1010
  file[0x0D] = 0x10;
  file[0x0F] = 1;
  file[0x11] = 1;
  std::vector<uint8_t> code(0x11, 0xEA);
  code[0x10] = 0x60;
  // LDA #$0F, STA $D418, then the init's end.
  const std::vector<uint8_t> start = {0xA9, 0x0F, 0x8D, 0x18, 0xD4};
  std::copy(start.begin(), start.end(), code.begin());
  if (init == returns) code[5] = 0x60;
  if (init == jams) code[5] = 0x02;
  if (init == loops) code[5] = 0x4C, code[6] = 0x05, code[7] = 0x10;
  file.push_back(0x00);
  file.push_back(0x10);
  file.insert(file.end(), code.begin(), code.end());
  return file;
}

class TTuneFile {
 public:
  explicit TTuneFile(Init init)
      : path(fs::temp_directory_path() /
             ("zorvex-run-bench-" + std::to_string(getpid()) + "-" + std::to_string(init) + ".sid")) {
    const std::vector<uint8_t> bytes = psid(init);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  ~TTuneFile() {
    std::error_code ignored;
    fs::remove(path, ignored);
  }
  const fs::path path;
};

// A machine with the tune of the benchmark's argument loaded; 0 when it failed.
int32_t machineWith(const TTuneFile& tune, benchmark::State& state) {
  const int32_t handle = createC64();
  if (handle != 0 && loadFile(handle, tune.path.c_str())) return handle;
  state.SkipWithError("tune not loaded");
  closeC64(handle);
  return 0;
}

// The first run call after a start: the whole init, up to the time a player gives it.
void BM_FirstRun(benchmark::State& state) {
  const TTuneFile tune(static_cast<Init>(state.range(0)));
  const int32_t handle = machineWith(tune, state);
  if (handle == 0) return;
  for (auto _ : state) {
    setSongToPlay(handle, 0);
    run(handle);
    benchmark::DoNotOptimize(getCommand(handle));
  }
  closeC64(handle);
}
BENCHMARK(BM_FirstRun)->ArgName("init")->Arg(returns)->Arg(jams)->Arg(loops)->Unit(benchmark::kMicrosecond);

// Each later call: one slice of about a millisecond.
void BM_LaterRun(benchmark::State& state) {
  const TTuneFile tune(static_cast<Init>(state.range(0)));
  const int32_t handle = machineWith(tune, state);
  if (handle == 0) return;
  setSongToPlay(handle, 0);
  run(handle);
  for (auto _ : state) {
    run(handle);
    benchmark::DoNotOptimize(getCommand(handle));
  }
  closeC64(handle);
}
BENCHMARK(BM_LaterRun)->ArgName("init")->Arg(returns)->Arg(jams)->Arg(loops);

}  // namespace
