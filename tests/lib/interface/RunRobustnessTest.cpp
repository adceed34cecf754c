// Whatever bytes a tune holds, every run call comes back: a JAM, an endless
// loop, an init that never returns or code that scribbles over the whole
// machine only ever costs a slice per call.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TempDir.h"
#include "zorvex.h"

namespace {

std::vector<uint8_t> randomTune(std::mt19937& rng, bool rsid) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> file(0x7C, 0);
  const char* magic = rsid ? "RSID" : "PSID";
  for (int i = 0; i < 4; ++i) file[i] = static_cast<uint8_t>(magic[i]);
  file[5] = 2;
  file[7] = 0x7C;
  const int length = std::uniform_int_distribution<int>(16, 0xF000)(rng);
  // Init somewhere inside the random bytes, so that it runs them.
  const int init = 0x0801 + std::uniform_int_distribution<int>(0, length - 1)(rng);
  file[0x0A] = static_cast<uint8_t>(init >> 8);
  file[0x0B] = static_cast<uint8_t>(init);
  if (!rsid) {
    file[0x0C] = static_cast<uint8_t>(byte(rng));
    file[0x0D] = static_cast<uint8_t>(byte(rng));
  }
  file[0x0F] = 1;
  file[0x11] = 1;
  for (int i = 0x12; i < 0x16; ++i) file[i] = static_cast<uint8_t>(byte(rng));
  file[0x77] = static_cast<uint8_t>(byte(rng) & 0x3C);
  // Random code and data from $0801 up, with the load address in front.
  file.push_back(0x01);
  file.push_back(0x08);
  for (int i = 0; i < length; ++i) file.push_back(static_cast<uint8_t>(byte(rng)));
  return file;
}

TEST(RunRobustness, RandomCodeAlwaysReturnsFromRun) {
  TTempDir dir;
  std::mt19937 rng(20261208);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  constexpr int tunes = 6;
#else
  // An init that never returns runs for 59 s of C64 time in its first run call.
  constexpr int tunes = 30;
#endif
  const int32_t handle = createC64();
  ASSERT_NE(handle, 0);
  int loaded = 0;
  for (int t = 0; t < tunes; ++t) {
    const auto path = dir.write("random" + std::to_string(t) + ".sid", randomTune(rng, t % 3 == 0));
    if (!loadFile(handle, path.c_str())) continue;
    ++loaded;
    setSongToPlay(handle, 0);
    uint8_t memory[65536];
    for (int call = 0; call < 3000; ++call) {
      run(handle);
      const int32_t command = getCommand(handle);
      ASSERT_GE(command, ZORVEX_CMD_IDLE);
      ASSERT_LE(command, ZORVEX_CMD_INIT_DONE);
      ASSERT_LE(getCycles(handle), 65535);
      ASSERT_LE(getRegister(handle), 127);
    }
    getMemory(handle, memory, sizeof memory);
    getMemoryUsageRom(handle, memory, sizeof memory);
    for (uint8_t flags : memory) ASSERT_EQ(flags & 0x14, 0);
  }
  EXPECT_EQ(loaded, tunes);
  closeC64(handle);
}

}  // namespace
