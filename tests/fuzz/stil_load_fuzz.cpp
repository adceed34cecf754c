// Loading arbitrary bytes as STIL text (what loadSTILFromBuffer does), then
// looking up the paths the bytes name and their directories.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "STIL.h"
#include "SongLength.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> buffer(data, data + size);
  TStil stil;
  stil.loadSTILFromBuffer(buffer.data(), buffer.size());

  TTextLines lines(buffer.data(), buffer.size());
  std::string_view line;
  for (int n = 0; n < 64 && lines.next(line); ++n) {
    if (line.empty() || line.front() != '/') continue;
    const std::string path(line);
    // Every path line makes an entry, so its look-up cannot come back empty
    // unless its text and its directory's are both empty.
    const std::string text = stil.GetStilEntry(path);
    stil.GetStilEntry(path.substr(0, path.find_last_of('/') + 1));
    stil.GetStilEntry("/base" + path);
    if (text.find('&') != std::string::npos && text.find("&&") == std::string::npos) __builtin_trap();
  }
  return 0;
}
