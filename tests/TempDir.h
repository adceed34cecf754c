// A fresh directory under the system's temporary directory, removed with its
// contents at the end of the test.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <random>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A symbolic link to a large shared file where the system lets us make one
// (Windows wants a privilege for it), else a copy.
inline void linkOrCopy(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::error_code error;
  std::filesystem::create_symlink(target, link, error);
  if (error) std::filesystem::copy_file(target, link);
}

class TTempDir {
 public:
  TTempDir() {
#ifdef _WIN32
    // No mkdtemp there: a random name, taken only when nobody has it yet.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const auto candidate = std::filesystem::temp_directory_path() / ("zorvex-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("cannot create a temporary directory");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "zorvex-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
    path_ = pattern;
#endif
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  std::filesystem::path write(std::string_view name, const std::vector<uint8_t>& bytes) const {
    const std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file;
  }

 private:
  std::filesystem::path path_;
};
