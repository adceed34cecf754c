// The three ROM images of the C64: BASIC V2 at $A000, KERNAL at $E000 and the
// character generator at $D000.
//
// One set exists per library and is shared read-only by every machine; a machine
// takes a reference to the set it reads. Tests build their own set and fill it.
#pragma once

#include <array>
#include <cstdint>

class TRoms {
 public:
  static constexpr std::size_t basicSize = 8192;
  static constexpr std::size_t kernalSize = 8192;
  static constexpr std::size_t charSize = 4096;

  std::array<uint8_t, basicSize> basic{};
  std::array<uint8_t, kernalSize> kernal{};
  std::array<uint8_t, charSize> chargen{};

  // The set the library's machines use unless given another.
  static const TRoms& shared();

  uint16_t kernalWord(uint16_t address) const {
    return static_cast<uint16_t>(kernal[address - 0xE000] | kernal[address - 0xE000 + 1] << 8);
  }
};
