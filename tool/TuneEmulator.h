// TTuneEmulator: what a worker needs of one emulated C64, so that the worker's
// decisions can be driven by scripted streams in tests. The library-backed
// implementation is TZorvexInstance (Zorvex_Wrapper.h).
#pragma once

#include <cstdint>
#include <string>

// One entry of the SID access stream as a worker sees it after one run call.
struct TStreamEntry {
  int32_t command = 0;  // TCommand
  uint32_t cycles = 0;  // for delays and writes: cycles since the previous access
  uint8_t reg = 0;      // for writes
  uint8_t value = 0;    // for writes
};

enum TCommand : int32_t {
  cmdIdle = 0,
  cmdDelay = 1,
  cmdWrite = 2,
  cmdRead = 3,
  cmdRestart = 4,
  cmdInitDone = 5,
};

class TTuneEmulator {
 public:
  virtual ~TTuneEmulator() = default;

  virtual bool LoadFile(const std::string& name) = 0;
  // Fixed start-up state and usage maps cleared at the first SID access: the
  // same tune then always plays, and is mapped, the same way.
  virtual void PrepareFile() = 0;
  virtual int32_t GetC64Version() = 0;  // 2: NTSC only
  virtual int32_t GetNumberOfSongs() = 0;
  virtual void SetSongToPlay(int32_t song) = 0;
  virtual void SetC64Version(int32_t version) = 0;  // 1 PAL, 2 NTSC
  // One run call and what it produced; only the fields its command carries are read.
  virtual void Next(TStreamEntry& entry) = 0;
  virtual void PressButtons() = 0;
  // RAM and its usage map, 65536 bytes each.
  virtual void CopyMemory(uint8_t* memory, uint8_t* usage) = 0;
};
