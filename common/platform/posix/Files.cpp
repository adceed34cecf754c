#include "platform/Files.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "platform/Listing.h"

namespace Platform {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

// Whether the entry is a directory, following symbolic links. The type readdir
// reports saves a stat call on the file systems that fill it in.
bool entryIsDirectory(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return false;
  struct stat info {};
  return ::fstatat(::dirfd(dir), entry.d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

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

std::string programDirectory() {
  std::string file(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", file.data(), file.size());
    if (length < 0) return {};
    // readlink truncates silently; a result that fills the buffer may be cut.
    if (static_cast<std::size_t>(length) < file.size()) {
      file.resize(static_cast<std::size_t>(length));
      break;
    }
    file.resize(file.size() * 2);
  }
  const std::size_t slash = file.find_last_of(pathSeparator);
  if (slash == std::string::npos) return {};
  file.resize(slash + 1);
  return file;
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

bool isWritableDirectory(const std::string& path) {
  return isDirectory(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string userCacheDirectory() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') return cache;
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return std::string(home) + "/.cache";
  return {};
}

bool listDirectory(const std::string& directory, std::string_view pattern, std::vector<TDirEntry>& entries) {
  entries.clear();
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.empty() ? "." : directory.c_str()));
  if (!dir) return false;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) {
        entries.clear();
        return false;
      }
      break;
    }
    const std::string_view name(entry->d_name);
    if (name == "." || name == ".." || !matchesWildcard(pattern, name)) continue;
    entries.push_back(TDirEntry{std::string(name), entryIsDirectory(dir.get(), *entry), name.front() == '.'});
  }
  sortListing(entries);
  return true;
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
  int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
  // Callers read what they map, whole: one fault-in instead of one per page.
  flags |= MAP_POPULATE;
#endif
  void* address = ::mmap(nullptr, size, PROT_READ, flags, fd, 0);
  // The mapping keeps the file's pages; the descriptor is no longer needed.
  ::close(fd);
  if (address == MAP_FAILED) return std::nullopt;
  return TFileMapping(static_cast<const uint8_t*>(address), size);
}

void TFileMapping::release() noexcept {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

std::optional<TFileIdentity> fileIdentity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return TFileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

}  // namespace Platform
