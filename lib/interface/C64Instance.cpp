#include "C64Instance.h"

#include <utility>

#include "zorvex.h"

namespace {

// The caller waits in 16-bit steps; a longer delay is handed out in pieces.
constexpr uint32_t longestWait = 65535;

}  // namespace

TC64::TC64(const TRoms& roms)
    : sidWrapper(std::make_unique<TSidWrapper>()),
      machine(std::make_unique<T6510>(*sidWrapper, roms)),
      basic(std::make_unique<TBasicInterpreter>(*machine)),
      tune(std::make_unique<TSidFile>(*machine)) {
  sidWrapper->setOptions(false, false);
  // Only our own BASIC ROM holds traps; a genuine one runs as 6502 code.
  if (roms.basicSource == TRoms::builtinSource) machine->setBasicTrapHandler(basic.get());
}

void TC64::resetStream() {
  sidWrapper->reset();
  sidWrapper->setOptions(skipSilenceEnabled, volumeFixEnabled);
}

bool TC64::loadFile(std::string path) {
  fileName = std::move(path);
  resetStream();
  started = false;
  command = ZORVEX_CMD_IDLE;
  return tune->load(fileName, 0);
}

void TC64::setSongToPlay(int32_t song) {
  // Once a tune ran, its memory is no longer as loaded.
  if (started) tune->restartSong(song);
  command = ZORVEX_CMD_IDLE;
  started = false;
  resetStream();
  tune->currentSong = static_cast<int32_t>(static_cast<uint32_t>(song) + 1u);
  machine->resetSongClock();
}

void TC64::setSkipSilence(bool enabled) {
  skipSilenceEnabled = enabled;
  sidWrapper->setOptions(skipSilenceEnabled, volumeFixEnabled);
}

void TC64::setVolumeFix(bool enabled) {
  volumeFixEnabled = enabled;
  sidWrapper->setOptions(skipSilenceEnabled, volumeFixEnabled);
}

void TC64::startTune() {
  machine->startTune(tune->tuneStart(), tune->currentSong);
  sidWrapper->setClockRunning(true);
  started = true;
}

int32_t TC64::run() {
  TSidWrapper& queue = *sidWrapper;
  for (;;) {
    if (queue.empty()) {
      command = ZORVEX_CMD_IDLE;
      // The call that starts a tune runs no slice, so the caller sees what the
      // start-up queued before any play code has run.
      if (!started)
        startTune();
      else
        machine->runSlice();
      if (queue.empty()) return 0;
    }
    switch (command) {
      case ZORVEX_CMD_IDLE: {
        command = ZORVEX_CMD_DELAY;
        const uint8_t reg = queue.peekRegister();
        if (reg < 0x80) {
          const uint32_t delay = queue.peekDelay();
          if (delay <= longestWait) command = ZORVEX_CMD_WRITE;
          return static_cast<int32_t>(delay);
        }
        if ((reg & 0x7F) < 32)
          command = ZORVEX_CMD_READ;
        else if (reg == markerRestart)
          command = ZORVEX_CMD_RESTART;
        else if (reg == markerInitDone)
          command = ZORVEX_CMD_INIT_DONE;
        return reg;
      }
      case ZORVEX_CMD_DELAY: {
        const uint32_t rest = queue.takeDelayChunk();
        if (rest <= longestWait) command = ZORVEX_CMD_WRITE;
        return static_cast<int32_t>(rest);
      }
      default:
        // The caller has taken the entry reported last.
        command = ZORVEX_CMD_IDLE;
        queue.pop();
        break;
    }
  }
}
