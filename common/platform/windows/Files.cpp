#include "platform/Files.h"

#include <windows.h>

#include <memory>

#include "platform/Listing.h"

namespace Platform {

namespace {

// Closes a handle however the caller leaves.
struct THandle {
  explicit THandle(HANDLE handle) : value(handle) {}
  ~THandle() {
    if (valid()) ::CloseHandle(value);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  bool valid() const { return value != nullptr && value != INVALID_HANDLE_VALUE; }
  HANDLE value;
};

struct TFindCloser {
  void operator()(HANDLE find) const noexcept { ::FindClose(find); }
};

// The full file name of a module (nullptr: the program), or "".
std::string moduleFile(HMODULE module) {
  std::string file(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(module, file.data(), static_cast<DWORD>(file.size()));
    if (length == 0) return {};
    // A full buffer means the name may have been cut.
    if (length < file.size()) {
      file.resize(length);
      return file;
    }
    if (file.size() >= 0x8000) return {};
    file.resize(file.size() * 2);
  }
}

DWORD attributesOf(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(path.c_str());
}

}  // namespace

std::filesystem::path moduleDirectory() {
  // The module that holds this function: the DLL when this code is linked
  // into one, else the program.
  HMODULE module = nullptr;
  if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&moduleDirectory), &module) == 0)
    return {};
  const std::string file = moduleFile(module);
  if (file.empty()) return {};
  return std::filesystem::path(file).parent_path();
}

std::string programDirectory() {
  std::string file = moduleFile(nullptr);
  const std::size_t end = file.find_last_of(directoryEnds);
  if (end == std::string::npos) return {};
  file.resize(end + 1);
  return file;
}

std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path, std::size_t maxBytes) {
  const THandle file(::CreateFileA(path.string().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  std::vector<uint8_t> bytes(maxBytes);
  std::size_t total = 0;
  while (total < maxBytes) {
    const std::size_t left = maxBytes - total;
    const DWORD chunk = left > 0x100000 ? 0x100000 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (::ReadFile(file.value, bytes.data() + total, chunk, &got, nullptr) == 0) return std::nullopt;
    if (got == 0) break;
    total += got;
  }
  bytes.resize(total);
  return bytes;
}

bool isDirectory(const std::string& path) {
  const DWORD attributes = attributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isFile(const std::string& path) {
  const DWORD attributes = attributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool isWritableDirectory(const std::string& path) {
  if (!isDirectory(path)) return false;
  // Access rights on Windows are lists that only the attempt itself reads
  // right: a file made there and gone again when its handle closes.
  std::string probe = path;
  if (directoryEnds.find(probe.back()) == std::string_view::npos && probe.back() != '/') probe += pathSeparator;
  probe += "kelvary-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetCurrentThreadId()) + ".tmp";
  const THandle file(::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return file.valid();
}

std::string userCacheDirectory() {
  std::string local(MAX_PATH, '\0');
  const DWORD length = ::GetEnvironmentVariableA("LOCALAPPDATA", local.data(), static_cast<DWORD>(local.size()));
  if (length == 0 || length >= local.size()) return {};
  local.resize(length);
  return local;
}

bool listDirectory(const std::string& directory, std::string_view pattern, std::vector<TDirEntry>& entries) {
  entries.clear();
  // Everything is listed and the pattern matched here: the system finder also
  // matches patterns against the short 8.3 names, so "*.sid" would find
  // "Tune.sidx" through "TUNE~1.SID".
  std::string mask = directory.empty() ? std::string(".") + pathSeparator : directory;
  if (directoryEnds.find(mask.back()) == std::string_view::npos && mask.back() != '/') mask += pathSeparator;
  mask += '*';
  WIN32_FIND_DATAA found{};
  const HANDLE first = ::FindFirstFileA(mask.c_str(), &found);
  // Only a drive's root lacks "." and "..": nothing found there is an empty listing.
  if (first == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  const std::unique_ptr<void, TFindCloser> find(first);
  do {
    const std::string_view name(found.cFileName);
    if (name == "." || name == ".." || !matchesWildcard(pattern, name)) continue;
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool hiddenFolder = folder && (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    entries.push_back(TDirEntry{std::string(name), folder, name.front() == '.' || hiddenFolder});
  } while (::FindNextFileA(first, &found) != 0);
  if (::GetLastError() != ERROR_NO_MORE_FILES) {
    entries.clear();
    return false;
  }
  sortListing(entries);
  return true;
}

std::optional<TFileMapping> TFileMapping::open(const std::string& path) {
  // Others may go on reading and writing the file while it is mapped.
  const THandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid() || ::GetFileType(file.value) != FILE_TYPE_DISK) return std::nullopt;
  LARGE_INTEGER length{};
  if (::GetFileSizeEx(file.value, &length) == 0 || length.QuadPart < 0) return std::nullopt;
  if (static_cast<unsigned long long>(length.QuadPart) > SIZE_MAX) return std::nullopt;
  const auto size = static_cast<std::size_t>(length.QuadPart);
  // A mapping of nothing is refused by the system; an empty file reads as no bytes.
  if (size == 0) return TFileMapping(nullptr, 0);
  const THandle mapping(::CreateFileMappingA(file.value, nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.valid()) return std::nullopt;
  // The view keeps the mapping and the file alive; both handles may go.
  const void* view = ::MapViewOfFile(mapping.value, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) return std::nullopt;
  return TFileMapping(static_cast<const uint8_t*>(view), size);
}

void TFileMapping::release() noexcept {
  if (data_ != nullptr) ::UnmapViewOfFile(data_);
  data_ = nullptr;
  size_ = 0;
}

std::optional<TFileIdentity> fileIdentity(const std::string& path) {
  // Opening with no access rights still reads a directory's identity (backup
  // semantics are what lets a directory be opened at all).
  const THandle handle(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(handle.value, &info) == 0) return std::nullopt;
  return TFileIdentity{info.dwVolumeSerialNumber,
                       (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace Platform
