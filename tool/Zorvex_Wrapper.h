// The tool's only door into libzorvex: its version, and one emulator instance
// per worker, closed when the object goes.
//
//   TZorvexInstance c64;                 // throws when no instance is free
//   if (c64.LoadFile("tune.sid")) { c64.SetSongToPlay(0); c64.Next(entry); ... }
#pragma once

#include <cstdint>
#include <string>

#include "TuneEmulator.h"

namespace Zorvex {
// Packed as major * 256 + minor * 16 + release (1.3.7 is 0x137).
int32_t GetVersion();
// The library's file name on this platform, for messages.
const char* LibraryFileName();
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
