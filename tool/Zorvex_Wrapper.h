// The tool's only door into libzorvex. The library is opened and its exports
// bound by name once, at start, before any worker exists: what the library
// finds when it loads (the ROM set, through ZORVEX_ROMS) is settled first.
// Then one emulator instance per worker, closed when the object goes.
//
//   std::string why;
//   if (!Zorvex::Bind(why)) fail(why);    // beside the program, then the system's search
//   TZorvexInstance c64;                 // throws when no instance is free
//   if (c64.LoadFile("tune.sid")) { c64.SetSongToPlay(0); c64.Next(entry); ... }
#pragma once

#include <cstdint>
#include <string>

#include "TuneEmulator.h"

namespace Zorvex {
// Opens the library and binds every export the tool calls. False, with the
// reason, when no library can be opened or one lacks an export; the library is
// then left alone and Bind may be tried again.
bool Bind(std::string& why);
// Bind for callers that cannot go on without the library (benchmarks, tests):
// throws std::runtime_error with the reason.
void BindOrThrow();
// Packed as major * 256 + minor * 16 + release (1.3.7 is 0x137). Bind first.
int32_t GetVersion();
// The library's file name on this platform, for messages.
std::string LibraryFileName();
}  // namespace Zorvex

class TZorvexInstance final : public TTuneEmulator {
 public:
  TZorvexInstance();
  ~TZorvexInstance() override;
  TZorvexInstance(const TZorvexInstance&) = delete;
  TZorvexInstance& operator=(const TZorvexInstance&) = delete;

  bool LoadFile(const std::string& name) override;
  void PrepareFile() override;
  int32_t GetC64Version() override;
  int32_t GetNumberOfSongs() override;
  void SetSongToPlay(int32_t song) override;
  void SetC64Version(int32_t version) override;
  void Next(TStreamEntry& entry) override;
  void PressButtons() override;
  void CopyMemory(uint8_t* memory, uint8_t* usage) override;

 private:
  int32_t handle_;
};
