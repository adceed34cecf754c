// Builds tokenized BASIC V2 programs for tests, as a C64 stores them after
// typing them in: "10 PRINT A" becomes a linked line at $0801.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "BasicInterpreter.h"

namespace basic_program {

// The interpreter's own token table, in token order.
inline const std::vector<std::string>& keywords() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> all;
    for (unsigned token = 0x80; TBasicInterpreter::keyword(static_cast<uint8_t>(token)); ++token)
      all.emplace_back(TBasicInterpreter::keyword(static_cast<uint8_t>(token)));
    return all;
  }();
  return words;
}

// One line of text ("10 PRINT A") to its bytes after the link: number, text, 0.
inline std::vector<uint8_t> crunch(const std::string& line) {
  std::size_t i = 0;
  unsigned number = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') number = number * 10 + (line[i++] - '0');
  while (i < line.size() && line[i] == ' ') ++i;
  std::vector<uint8_t> out = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
  bool quoted = false, data = false, rem = false;
  while (i < line.size()) {
    const char c = line[i];
    if (rem || (quoted && c != '"') || (data && c != ':' && c != '"')) {
      out.push_back(static_cast<uint8_t>(c));
      ++i;
      continue;
    }
    if (c == '"') {
      quoted = !quoted;
      out.push_back('"');
      ++i;
      continue;
    }
    if (c == ':') data = false;
    bool matched = false;
    // Keywords in table order, as the C64 tries them.
    for (std::size_t k = 0; k < keywords().size() && !matched; ++k) {
      const std::string& word = keywords()[k];
      if (line.compare(i, word.size(), word) != 0) continue;
      const uint8_t token = static_cast<uint8_t>(0x80 + k);
      out.push_back(token);
      i += word.size();
      matched = true;
      if (token == 0x83) data = true;
      if (token == 0x8F) rem = true;
    }
    if (!matched) {
      out.push_back(c == '~' ? 0xFF : static_cast<uint8_t>(c));  // '~' stands for pi
      ++i;
    }
  }
  out.push_back(0);
  return out;
}

// A PRG file image: load address $0801, the linked lines, the closing 0 0.
inline std::vector<uint8_t> prg(const std::vector<std::string>& lines) {
  std::vector<uint8_t> file = {0x01, 0x08};
  uint16_t address = 0x0801;
  for (const std::string& line : lines) {
    const std::vector<uint8_t> body = crunch(line);
    address = static_cast<uint16_t>(address + 2 + body.size());
    file.push_back(static_cast<uint8_t>(address));
    file.push_back(static_cast<uint8_t>(address >> 8));
    file.insert(file.end(), body.begin(), body.end());
  }
  file.push_back(0);
  file.push_back(0);
  return file;
}

}  // namespace basic_program
