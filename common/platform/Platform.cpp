#include "Platform.h"

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>

namespace Platform {

std::filesystem::path moduleDirectory() {
  // dladdr names the object that holds a given address; an address inside this
  // unit names whichever binary it was linked into.
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&moduleDirectory), &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] == '\0')
    return {};
  std::error_code error;
  std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
  if (error) file = info.dli_fname;
  return file.parent_path();
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path, std::size_t maxBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes(maxBytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(maxBytes));
  if (in.bad()) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace Platform
