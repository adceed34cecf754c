// Loading arbitrary bytes as a song-length database (what loadSLDBFromBuffer does),
// then asking it about the keys and times the bytes themselves suggest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "SongLength.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> buffer(data, data + size);
  TSongLength db;
  const bool loaded = db.LoadSongLengthBuffer(buffer.data(), buffer.size());
  // Loading succeeds exactly when the format test passes, and a failed load leaves nothing.
  if (loaded != TSongLength::CheckSongLengthBuffer(buffer.data(), buffer.size())) __builtin_trap();
  if (!loaded && db.size() != 0) __builtin_trap();

  TTextLines lines(buffer.data(), buffer.size());
  std::string_view line;
  for (int n = 0; n < 64 && lines.next(line); ++n) {
    std::string key(line.substr(0, line.find('=')));
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (int32_t song : {-1, 0, 1, 2, 7, 0x7FFFFFFF}) {
      const std::string time = db.GetSongLengthText(key, song);
      if (TSongLength::ParseTime(time) < 0) __builtin_trap();
    }
    db.GetHvscPathForMd5(key);
    if (TSongLength::ParseTime(line) < 0) __builtin_trap();
  }
  return 0;
}
