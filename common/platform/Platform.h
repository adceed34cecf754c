// The operating-system calls the library and the tool need beyond the standard
// library, kept in one place so that another platform only replaces this unit.
//
//   std::filesystem::path dir = Platform::moduleDirectory();   // where libzorvex.so lies
//   if (auto bytes = Platform::readFile(dir / "roms" / "kernal", 8193)) ...
//   std::string home = Platform::environment("HOME");           // "" when unset
//   if (auto map = Platform::TFileMapping::open(file)) use(map->data(), map->size());
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

// Existence queries that never throw: false for anything that cannot be examined.
bool isDirectory(const std::string& path);
bool isFile(const std::string& path);

// A whole file mapped read-only, for collection documents of several megabytes
// that are parsed once. Others may read and write the file meanwhile; an empty
// file is never mapped and reads as no bytes.
class TFileMapping {
 public:
  // nullopt when the file cannot be opened, examined or mapped, or is no regular file.
  static std::optional<TFileMapping> open(const std::string& path);

  TFileMapping(TFileMapping&& other) noexcept;
  TFileMapping& operator=(TFileMapping&& other) noexcept;
  TFileMapping(const TFileMapping&) = delete;
  TFileMapping& operator=(const TFileMapping&) = delete;
  ~TFileMapping();

  const uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  TFileMapping(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  void release() noexcept;

  const uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace Platform
