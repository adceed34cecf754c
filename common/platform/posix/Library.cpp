#include "platform/Library.h"

#include <dlfcn.h>

namespace Platform {

std::unique_ptr<TSharedLibrary> TSharedLibrary::open(const std::string& file, std::string& why) {
  // RTLD_LOCAL: the library's names stay out of the program's own namespace.
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    why = reason != nullptr ? reason : "cannot be opened";
    return nullptr;
  }
  return std::unique_ptr<TSharedLibrary>(new TSharedLibrary(handle));
}

TSharedLibrary::~TSharedLibrary() { ::dlclose(handle_); }

void* TSharedLibrary::symbol(const char* name) const { return ::dlsym(handle_, name); }

std::string sharedLibraryFileName(const std::string& name, int majorVersion) {
  const std::string file = "lib" + name + ".so";
  return majorVersion < 0 ? file : file + "." + std::to_string(majorVersion);
}

}  // namespace Platform
