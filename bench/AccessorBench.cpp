// What the stream accessors cost the tool: for each SID write it calls run,
// getCommand, getCycles, getRegister and getData. Here the four getters are
// called on an instance of each thread's own, with no tune, so that only the
// call itself is measured: its look-up and the lock every getter takes. One
// thread is the baseline; with two, each on its own instance, a call costs the
// same only if the threads share nothing.
#include <cstdint>

#include <benchmark/benchmark.h>

#include "zorvex.h"

namespace {

void BM_GettersOfOneWrite(benchmark::State& state) {
  const int32_t handle = createC64();
  if (handle == 0) {
    state.SkipWithError("no instance");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(getCommand(handle));
    benchmark::DoNotOptimize(getCycles(handle));
    benchmark::DoNotOptimize(getRegister(handle));
    benchmark::DoNotOptimize(getData(handle));
  }
  state.SetItemsProcessed(state.iterations() * 4);
  closeC64(handle);
}
BENCHMARK(BM_GettersOfOneWrite)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
