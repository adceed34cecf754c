// The song-length format test on arbitrary bytes: the check behind checkSLDBFromBuffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "SongLength.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The caller's buffer holds exactly these bytes; nothing past them may be read.
  const std::vector<uint8_t> buffer(data, data + size);
  const bool passes = TSongLength::CheckSongLengthBuffer(buffer.data(), buffer.size());
  // The test is a pure function of the bytes.
  if (passes != TSongLength::CheckSongLengthBuffer(buffer.data(), buffer.size())) __builtin_trap();
  return 0;
}
