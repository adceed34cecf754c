// Files: everything the library and the tool ask of the file system beyond the
// standard library: the path separator, listing a directory against a wildcard,
// read-only mappings, whole-file reads, and where our own binaries lie.
//
//   std::vector<Platform::TDirEntry> entries;
//   if (Platform::listDirectory("/data/C64Music/DOCUMENTS/", "Update*.hvs", entries))
//     for (const auto& e : entries) ...                // sorted, case-insensitive match
//   if (auto map = Platform::TFileMapping::open(file)) use(map->data(), map->size());
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Separates directories in the names this platform's file system takes.
// directoryEnds: the characters the directory part of a name can end in; on
// Windows the "/" the system takes as well, and a drive's colon ("C:tune.sid").
#ifdef _WIN32
inline constexpr char pathSeparator = '\\';
inline constexpr std::string_view directoryEnds = "\\/:";
#else
inline constexpr char pathSeparator = '/';
inline constexpr std::string_view directoryEnds = "/";
#endif

// The directory of the binary this code is linked into: the shared library when
// it lives in one, else the executable. Empty when the system cannot tell.
std::filesystem::path moduleDirectory();

// The directory of the running program's own file, ending in the separator;
// empty when the system cannot tell.
std::string programDirectory();

// The first maxBytes bytes of a file; nullopt when it cannot be opened or read.
std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path, std::size_t maxBytes);

// Existence queries that never throw: false for anything that cannot be examined.
bool isDirectory(const std::string& path);
bool isFile(const std::string& path);
// Whether this process may create files in the directory.
bool isWritableDirectory(const std::string& path);

// Where this user's programs keep files they can make again: $XDG_CACHE_HOME,
// else ~/.cache (on Windows %LOCALAPPDATA%). Empty when none is known.
std::string userCacheDirectory();

// One entry of a directory listing.
struct TDirEntry {
  std::string name;          // the entry's own name, no directory part
  bool isDirectory = false;  // after following a symbolic link
  // The name begins with "."; on Windows a directory with the hidden or system
  // attribute counts as hidden too (the finder never descends into those).
  bool isHidden = false;
};

// What tells two names of one directory apart from two directories: the same
// identity however the directory is reached (through links or not).
struct TFileIdentity {
  uint64_t device = 0;
  uint64_t node = 0;
  auto operator<=>(const TFileIdentity&) const = default;
};
// nullopt when the path cannot be examined.
std::optional<TFileIdentity> fileIdentity(const std::string& path);

// Whether name matches a wildcard pattern as the Windows file finder matches
// it: "*" any run of characters, "?" one character, letters in either case;
// "*.*" matches every name.
bool matchesWildcard(std::string_view pattern, std::string_view name);

// The entries of directory (given with or without its trailing separator)
// whose names match pattern, "." and ".." left out, sorted ASCII
// case-insensitively (folded to upper case, as NTFS orders them) with ties
// broken by bytes. False when the directory cannot be listed.
bool listDirectory(const std::string& directory, std::string_view pattern, std::vector<TDirEntry>& entries);

// A whole file mapped read-only. Others may read and write the file meanwhile;
// an empty file is never mapped and reads as no bytes.
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
