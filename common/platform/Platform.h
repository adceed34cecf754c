// The operating-system calls the library and the tool need beyond the standard
// library, kept in one place so that another platform only replaces this unit.
//
//   std::filesystem::path dir = Platform::moduleDirectory();   // where libzorvex.so lies
//   if (auto bytes = Platform::readFile(dir / "roms" / "kernal", 8193)) ...
//   std::string home = Platform::environment("HOME");           // "" when unset
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace Platform {

// The directory of the binary this code is linked into: the shared library when
// it lives in one, else the executable. Empty when the system cannot tell.
std::filesystem::path moduleDirectory();

// The value of an environment variable, empty when it is not set.
std::string environment(const char* name);

// The first maxBytes bytes of a file; nullopt when it cannot be opened or read.
std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace Platform
