// Arbitrary bytes as database.txt, parsed straight from libFuzzer's buffer (not
// NUL-terminated, so any read past its end is caught), then every key the text
// holds looked up and compared with a plain, slow reading of the same lines.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "DataHashFile.h"

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string raised(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The line rules, one std::string operation at a time.
struct TModel {
  std::map<std::string, std::string> lastValue;
  std::size_t entries = 0;

  explicit TModel(std::string_view text) {
    std::string carried;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t stop = text.find_first_of("\r\n", start);
      if (stop == std::string_view::npos) stop = text.size();
      std::string line(text.substr(start, stop - start));
      start = stop + 1;
      if (line.empty()) continue;
      if (line[0] == ';') {
        carried = line;
        continue;
      }
      if (line.size() <= 32 || !isHex(line[0])) continue;
      std::string value = carried;
      const std::size_t tail = line.find(';', 31);
      if (tail != std::string::npos) {
        carried = line.substr(tail, 10000);
        line.erase(tail);
      }
      const std::size_t equals = line.find('=');
      if (equals != std::string::npos) {
        value = carried = line.substr(equals + 1, 10000);
        line.erase(equals);
      }
      lastValue[lowered(line)] = value;
      ++entries;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  THashDatabase db;
  db.Parse(reinterpret_cast<const char*>(data), size);

  const TModel model(std::string_view(reinterpret_cast<const char*>(data), size));
  if (db.size() != model.entries) __builtin_trap();
  for (const auto& [key, value] : model.lastValue) {
    if (db.Find(key) != value) __builtin_trap();
    if (db.Find(raised(key)) != value) __builtin_trap();
    // A key one character longer or shorter is another key.
    const std::string longer = key + "0";
    if (!model.lastValue.contains(longer) && !db.Find(longer).empty()) __builtin_trap();
    const std::string shorter = key.substr(0, key.size() - 1);
    if (!model.lastValue.contains(shorter) && !db.Find(shorter).empty()) __builtin_trap();
  }
  // Parsing again replaces, never adds.
  db.Parse(reinterpret_cast<const char*>(data), size);
  if (db.size() != model.entries) __builtin_trap();
  return 0;
}
