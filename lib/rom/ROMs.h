// The three ROM images of the C64: BASIC V2 at $A000, KERNAL at $E000 and the
// character generator at $D000.
//
// One set exists per library and is shared read-only by every machine; a machine
// takes a reference to the set it reads. Tests build their own set and fill it.
//
//   const TRoms& roms = TRoms::shared();      // built on first use, once per process
//   roms.kernalSource;                         // "/usr/share/vice/C64/kernal-901227-03.bin"
//                                              // or TRoms::builtinSource
//   TRoms mine = TRoms::fromDirectories({"/tmp/roms"});
//
// The genuine images are copyrighted and not shipped. Each image is taken from the
// first acceptable file in the search directories (see searchDirectories); an image
// not found is replaced by one of our own.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TRoms {
 public:
  static constexpr std::size_t basicSize = 8192;
  static constexpr std::size_t kernalSize = 8192;
  static constexpr std::size_t charSize = 4096;
  static constexpr const char* builtinSource = "built-in";

  std::array<uint8_t, basicSize> basic{};
  std::array<uint8_t, kernalSize> kernal{};
  std::array<uint8_t, charSize> chargen{};

  // Where each image came from: the genuine file, or builtinSource. Empty for a
  // set that its owner fills itself.
  std::string basicSource;
  std::string kernalSource;
  std::string chargenSource;

  // The set the library's machines use unless given another.
  static const TRoms& shared();

  // asGiven: any file of the right size; knownRevisions: only the genuine
  // revisions (BASIC 901226-01, KERNAL 901227-01/-02/-03, characters 901225-01).
  enum class TTrust { asGiven, knownRevisions };

  // Each image from the first directory in dirs that holds a file of the right size
  // whose name starts with "basic", "kernal" or "chargen" (any case: VICE names them
  // "kernal-901227-03.bin" and the like) and that trust accepts; ours where none does.
  static TRoms fromDirectories(const std::vector<std::filesystem::path>& dirs, TTrust trust = TTrust::asGiven);

  // CRC-32 (the zip and PNG one) of data.
  static uint32_t crc32(const uint8_t* data, std::size_t size);

  // $ZORVEX_ROMS alone when it is set (none at all when it is the word "builtin",
  // which pins a run to our own set); otherwise roms/ beside the library, then
  // the directories where VICE installations keep their C64 ROMs.
  static constexpr const char* builtinOnly = "builtin";
  static std::vector<std::filesystem::path> searchDirectories();

  // The KERNAL of our own (lib/rom/kernal.asm), used when no genuine one is found.
  static std::array<uint8_t, kernalSize> builtinKernal();
  // The BASIC of our own (lib/rom/basic.asm): traps into TBasicInterpreter.
  static std::array<uint8_t, basicSize> builtinBasic();

  uint16_t kernalWord(uint16_t address) const {
    return static_cast<uint16_t>(kernal[address - 0xE000] | kernal[address - 0xE000 + 1] << 8);
  }
};
