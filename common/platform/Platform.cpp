#include "Platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool isDirectory(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_directory(path, error);
}

bool isFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

std::optional<TFileMapping> TFileMapping::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
    ::close(fd);
    return std::nullopt;
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  if (size == 0) {
    ::close(fd);
    return TFileMapping(nullptr, 0);
  }
  void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  // The mapping keeps the file's pages; the descriptor is no longer needed.
  ::close(fd);
  if (address == MAP_FAILED) return std::nullopt;
  return TFileMapping(static_cast<const uint8_t*>(address), size);
}

TFileMapping::TFileMapping(TFileMapping&& other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

TFileMapping& TFileMapping::operator=(TFileMapping&& other) noexcept {
  if (this != &other) {
    release();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

TFileMapping::~TFileMapping() { release(); }

void TFileMapping::release() noexcept {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace Platform
