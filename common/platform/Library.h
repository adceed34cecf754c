// Library: a shared library opened at run time and its functions found by
// name, as a program binds a library it was not linked against.
//
//   std::string why;
//   if (auto lib = Platform::TSharedLibrary::open("/opt/lib/libzorvex.so.1", why))
//     auto version = reinterpret_cast<int32_t (*)()>(lib->symbol("getVersion"));
#pragma once

#include <memory>
#include <string>

namespace Platform {

class TSharedLibrary {
 public:
  // A name without a directory is looked for where the system looks for
  // libraries. nullptr, with the system's reason in why, when it cannot be opened.
  static std::unique_ptr<TSharedLibrary> open(const std::string& file, std::string& why);
  ~TSharedLibrary();
  TSharedLibrary(const TSharedLibrary&) = delete;
  TSharedLibrary& operator=(const TSharedLibrary&) = delete;

  // The address of an exported function or object; nullptr when there is none.
  void* symbol(const char* name) const;

 private:
  explicit TSharedLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The file name the system gives a library of this name ("zorvex" gives
// "libzorvex.so"); with a major version, the name programs load it by
// ("libzorvex.so.1"). On Windows "zorvex.dll" either way.
std::string sharedLibraryFileName(const std::string& name, int majorVersion = -1);

}  // namespace Platform
