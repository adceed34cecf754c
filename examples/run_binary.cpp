// Loads a C64 program file (two-byte load address, then the data) into the
// machine, runs it from its load address and prints every SID access it makes:
//   run_binary <file.prg> [cycles]
// One line per access: the cycles since the previous one, "W" or "R", the SID
// register and the value.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "P6510.h"
#include "SidWrapper.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: run_binary <file.prg> [cycles]\n");
    return 1;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.eof() && !in.good()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  if (file.size() < 3) {
    std::fprintf(stderr, "%s: too short for a program file\n", argv[1]);
    return 1;
  }
  const long long budget = argc > 2 ? std::atoll(argv[2]) : 985248;  // one PAL second

  TSidWrapper sid;
  auto c64 = std::make_unique<T6510>(sid);
  const uint16_t load = static_cast<uint16_t>(file[0] | file[1] << 8);
  for (std::size_t i = 2; i < file.size() && load + (i - 2) <= 0xFFFF; ++i) c64->ram[load + (i - 2)] = file[i];
  c64->PC = load;
  c64->SP = 0xFF;

  long long executed = 0;
  long long accesses = 0;
  while (executed < budget) {
    c64->executeInstruction();
    executed += c64->instructionCycles;
    c64->clock.executedCycles += c64->instructionCycles;
    for (; !sid.empty(); sid.pop(), ++accesses) {
      const uint8_t reg = sid.peekRegister();
      std::printf("%8u %c $%02X $%02X\n", static_cast<unsigned>(sid.peekDelay()), reg & 0x80 ? 'R' : 'W', reg & 0x1F,
                  sid.peekData());
    }
  }
  std::fprintf(stderr, "%lld cycles, %lld SID accesses, PC at $%04X\n", executed, accesses, c64->PC);
  return 0;
}
