#include "Zorvex_Wrapper.h"

#include <stdexcept>

#include "zorvex.h"

namespace Zorvex {

int32_t GetVersion() { return getVersion(); }

const char* LibraryFileName() {
#if defined(_WIN32)
  return "zorvex.dll";
#else
  return "libzorvex.so";
#endif
}

}  // namespace Zorvex

TZorvexInstance::TZorvexInstance() : handle_(createC64()) {
  // Every call on handle 0 would quietly do nothing, and every file would look
  // unloadable: better to say so once.
  if (handle_ == 0) throw std::runtime_error("no free emulator instance in the library");
}

TZorvexInstance::~TZorvexInstance() { closeC64(handle_); }

bool TZorvexInstance::LoadFile(const std::string& name) { return loadFile(handle_, name.c_str()) == 1; }

void TZorvexInstance::PrepareFile() {
  enableFixedStartup(handle_);
  clearMemUsageOnFirstSIDAccess(handle_, 1);
}

int32_t TZorvexInstance::GetC64Version() { return getC64Version(handle_); }

int32_t TZorvexInstance::GetNumberOfSongs() { return getNumberOfSongs(handle_); }

void TZorvexInstance::SetSongToPlay(int32_t song) { setSongToPlay(handle_, song); }

void TZorvexInstance::SetC64Version(int32_t version) { setC64Version(handle_, version); }

void TZorvexInstance::Next(TStreamEntry& entry) {
  run(handle_);
  entry.command = getCommand(handle_);
  if (entry.command == cmdDelay || entry.command == cmdWrite) {
    entry.cycles = static_cast<uint32_t>(getCycles(handle_)) & 0xFFFF;
    if (entry.command == cmdWrite) {
      entry.reg = static_cast<uint8_t>(getRegister(handle_));
      entry.value = static_cast<uint8_t>(getData(handle_));
    }
  }
}

void TZorvexInstance::PressButtons() { pressButtons(handle_); }

void TZorvexInstance::CopyMemory(uint8_t* memory, uint8_t* usage) {
  getMemoryUsageRam(handle_, usage, 65536);
  getMemory(handle_, memory, 65536);
}
