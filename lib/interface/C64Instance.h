// TC64: one instance of the library, a complete emulated C64 with its own tune,
// behind one handle of the exported interface.
//
//   TC64 c64;
//   if (c64.loadFile("/path/Commando.sid")) {
//     c64.setSongToPlay(0);                 // 0-based; before the first run
//     for (;;) {
//       c64.run();                          // one step of the access stream
//       switch (c64.command) { ... }        // ZORVEX_CMD_*; the head entry is in
//     }                                     // c64.sidWrapper until the next run
//   }
//
// The instance knows nothing of locks or handles; the exports provide both.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "BasicInterpreter.h"
#include "P6510.h"
#include "SidLoader.h"
#include "SidWrapper.h"

class TC64 {
 public:
  // roms: the set the machine reads; tests pass one of their own.
  explicit TC64(const TRoms& roms = TRoms::shared());
  TC64(const TC64&) = delete;
  TC64& operator=(const TC64&) = delete;

  bool loadFile(std::string path);
  void setSongToPlay(int32_t song);
  // Advances the access stream by one entry: sets command and returns what the
  // exported run returns (a delay, a register byte, or 0 when nothing was queued).
  int32_t run();
  void setSkipSilence(bool enabled);
  void setVolumeFix(bool enabled);

  // Created in this order and destroyed in reverse: the machine writes to the
  // wrapper, BASIC and the tune work on the machine.
  std::unique_ptr<TSidWrapper> sidWrapper;
  std::unique_ptr<T6510> machine;
  std::unique_ptr<TBasicInterpreter> basic;
  std::unique_ptr<TSidFile> tune;

  std::string fileName;
  int32_t command = 0;
  bool started = false;
  bool skipSilenceEnabled = false;
  bool volumeFixEnabled = false;

 private:
  void resetStream();
  void startTune();
};
