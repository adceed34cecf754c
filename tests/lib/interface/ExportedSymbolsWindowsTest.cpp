// zorvex.dll exports the C interface and nothing else, each function under its
// plain C name (no decoration, no ordinal-only entries), as programs bind them
// by name with GetProcAddress.
#include <windows.h>

#include <gtest/gtest.h>

#include "InterfaceNames.h"

#include <filesystem>
#include <set>
#include <string>

#include "zorvex.h"

namespace {

template <typename T>
const T* at(const uint8_t* base, DWORD rva) {
  return reinterpret_cast<const T*>(base + rva);
}

}  // namespace

TEST(ExportedSymbols, ExactlyTheInterfaceFunctions) {
  ASSERT_EQ(interfaceNames.size(), 41u);
  // Linked against its import library, this program has the DLL loaded already.
  const std::string file = std::filesystem::path(ZORVEX_LIBRARY_FILE).filename().string();
  ASSERT_EQ(file, "zorvex.dll");
  ASSERT_EQ(getVersion(), 0x137);
  const HMODULE module = ::GetModuleHandleA(file.c_str());
  ASSERT_NE(module, nullptr);

  // The loaded image's export directory, as the loader reads it.
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
  const auto* nt = at<IMAGE_NT_HEADERS>(base, static_cast<DWORD>(dos->e_lfanew));
  ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(entry.VirtualAddress, 0u);
  const auto* exports = at<IMAGE_EXPORT_DIRECTORY>(base, entry.VirtualAddress);
  EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames) << "an export without a name";

  std::set<std::string> exported;
  const auto* names = at<DWORD>(base, exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    const std::string name = at<char>(base, names[i]);
    exported.insert(name);
    EXPECT_NE(::GetProcAddress(module, name.c_str()), nullptr) << name;
  }
  EXPECT_EQ(exported, interfaceNames);
}
