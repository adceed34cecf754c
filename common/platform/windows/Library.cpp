#include "platform/Library.h"

#include <windows.h>

namespace Platform {

namespace {

// The system's text for an error code, without the line end it carries.
std::string systemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace

std::unique_ptr<TSharedLibrary> TSharedLibrary::open(const std::string& file, std::string& why) {
  // No message box for a missing DLL or a damaged file: the caller reports it.
  const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryA(file.c_str());
  const DWORD error = ::GetLastError();
  ::SetErrorMode(previous);
  if (module == nullptr) {
    why = file + ": " + systemMessage(error);
    return nullptr;
  }
  return std::unique_ptr<TSharedLibrary>(new TSharedLibrary(module));
}

TSharedLibrary::~TSharedLibrary() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

void* TSharedLibrary::symbol(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string sharedLibraryFileName(const std::string& name, int) {
  // A DLL is loaded by its plain name; its file name carries no version.
  return name + ".dll";
}

}  // namespace Platform
