// Throughput of the processor on code shaped like a tune's play routine, next to
// a plain C++ loop over 64 KB so that the figures can be quoted as a ratio.

#include <array>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include <benchmark/benchmark.h>

#include "P6510.h"
#include "SidWrapper.h"

namespace {

constexpr double palClock = 985248.0;  // C64 cycles per second (PAL)

// Places instructions one after another; branch targets are patched in once known.
class TAssembler {
 public:
  TAssembler(std::array<uint8_t, 65536>& memory, uint16_t origin) : ram(memory), pc(origin) {}

  uint16_t here() const { return pc; }
  void op(uint8_t opcode) { ram[pc++] = opcode; }
  void op(uint8_t opcode, uint8_t operand) {
    op(opcode);
    ram[pc++] = operand;
  }
  void op16(uint8_t opcode, uint16_t operand) {
    op(opcode, static_cast<uint8_t>(operand));
    ram[pc++] = static_cast<uint8_t>(operand >> 8);
  }
  void branchBack(uint8_t opcode, uint16_t target) { op(opcode, static_cast<uint8_t>(target - (pc + 2))); }
  // Returns the offset byte to patch with land().
  uint16_t branchForward(uint8_t opcode) {
    op(opcode, 0);
    return static_cast<uint16_t>(pc - 1);
  }
  void land(uint16_t offsetByte) { ram[offsetByte] = static_cast<uint8_t>(pc - (offsetByte + 1)); }

 private:
  std::array<uint8_t, 65536>& ram;
  uint16_t pc;
};

constexpr uint16_t mainLoop = 0x1000;
constexpr uint16_t subroutine = 0x1200;

// About 31 instructions per pass, one SID register write each, and a volume write
// every 256 passes: the mix of a play routine that walks its tables.
void placeWorkload(T6510& c64) {
  auto& ram = c64.ram;
  for (unsigned i = 0; i < 0x100; ++i) {
    ram[0x2000 + i] = static_cast<uint8_t>(i * 7 + 3);
    ram[0x2200 + i] = static_cast<uint8_t>(i ^ 0xA5);
  }
  ram[0x12] = 0x00;  // ($12),Y points at $2200
  ram[0x13] = 0x22;

  TAssembler a(ram, mainLoop);
  a.op(0xA2, 0x00);  // LDX #$00
  const uint16_t loop = a.here();
  a.op16(0xBD, 0x2000);  // LDA $2000,X
  a.op(0x18);            // CLC
  a.op(0x65, 0x10);      // ADC $10
  a.op(0x85, 0x10);      // STA $10
  a.op(0x49, 0x5A);      // EOR #$5A
  a.op16(0x9D, 0x2100);  // STA $2100,X
  a.op(0xA4, 0x11);      // LDY $11
  a.op(0xB1, 0x12);      // LDA ($12),Y
  a.op(0x29, 0x7F);      // AND #$7F
  a.op(0x15, 0x20);      // ORA $20,X
  a.op(0x0A);            // ASL A
  a.op(0x26, 0x14);      // ROL $14
  a.op16(0x4E, 0x2300);  // LSR $2300
  a.op(0xE6, 0x11);      // INC $11
  a.op16(0x20, subroutine);  // JSR
  a.op(0xC9, 0x40);      // CMP #$40
  const uint16_t skip = a.branchForward(0x90);  // BCC
  a.op(0xE9, 0x10);      // SBC #$10
  a.land(skip);
  a.op(0x8A);            // TXA
  a.op(0x29, 0x0F);      // AND #$0F
  a.op(0xA8);            // TAY
  a.op(0xA5, 0x10);      // LDA $10
  a.op16(0x99, 0xD400);  // STA $D400,Y
  a.op(0xE8);            // INX
  a.branchBack(0xD0, loop);  // BNE
  a.op(0xE6, 0x16);      // INC $16
  a.op(0xA5, 0x16);      // LDA $16
  a.op(0x29, 0x0F);      // AND #$0F
  a.op16(0x8D, 0xD418);  // STA $D418
  a.op16(0x4C, mainLoop);  // JMP

  TAssembler sub(ram, subroutine);
  sub.op(0x48);        // PHA
  sub.op(0x8A);        // TXA
  sub.op(0x18);        // CLC
  sub.op(0x69, 0x03);  // ADC #$03
  sub.op(0x85, 0x15);  // STA $15
  sub.op(0x68);        // PLA
  sub.op(0x60);        // RTS
}

void BM_MixedWorkload(benchmark::State& state) {
  constexpr int drainEvery = 1000;
  constexpr int batch = 10000;
  auto sid = std::make_unique<TSidWrapper>();
  auto c64 = std::make_unique<T6510>(*sid);
  if (!c64->memory.ioVisible) {
    state.SkipWithError("the power-on port does not show I/O, so SID writes would not reach the stream");
    return;
  }
  placeWorkload(*c64);
  c64->PC = mainLoop;
  c64->SP = 0xFF;

  uint64_t instructions = 0;
  uint64_t cycles = 0;
  uint64_t sidEntries = 0;
  for (auto _ : state) {
    for (int done = 0; done < batch; done += drainEvery) {
      for (int i = 0; i < drainEvery; ++i) {
        c64->executeInstruction();
        c64->clock.executedCycles += c64->instructionCycles;
        cycles += c64->instructionCycles;
      }
      // What run() does between slices, so the ring stays small.
      while (!sid->empty()) {
        benchmark::DoNotOptimize(sid->getData());
        sid->pop();
        ++sidEntries;
      }
    }
    instructions += batch;
  }
  if (sidEntries == 0) state.SkipWithError("the workload wrote no SID register");
  if (c64->PC < mainLoop || c64->PC >= subroutine + 0x10) state.SkipWithError("the workload ran out of its loop");
  state.counters["instructions"] = benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
  state.counters["cycles"] = benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
  // Emulated PAL seconds per wall-clock second: how many times faster than a C64.
  state.counters["pal_seconds"] =
      benchmark::Counter(static_cast<double>(cycles) / palClock, benchmark::Counter::kIsRate);
  state.counters["sid_writes_per_kinstr"] =
      benchmark::Counter(1000.0 * static_cast<double>(sidEntries) / static_cast<double>(instructions));
}
BENCHMARK(BM_MixedWorkload);

// One byte-sized step of plain C++ per element, to quote the processor against.
void BM_Baseline(benchmark::State& state) {
  std::vector<uint8_t> memory(65536);
  std::iota(memory.begin(), memory.end(), uint8_t{0});
  uint64_t elements = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(memory.data());
    uint32_t sum = 0;
    for (const uint8_t byte : memory) sum += byte;
    benchmark::DoNotOptimize(sum);
    elements += memory.size();
  }
  state.counters["elements"] = benchmark::Counter(static_cast<double>(elements), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Baseline);

}  // namespace
