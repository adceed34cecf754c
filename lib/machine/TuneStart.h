// TTuneStart: what the machine needs to know to set a tune up, in one record.
//
// The loader makes it from the tune file (TSidFile::tuneStart); the machine takes
// it whole where it lays out memory (placeTuneData, prepareSong) and where the
// driver starts a sub-tune (startTune), so no start-up value travels as a loose
// argument.
//
//   TTuneStart s = tune.tuneStart();
//   machine.placeTuneData(s, data, s.loadAddress, TTuneStart::Part::main, songIndex);
//   machine.startTune(s, song);    // clock, CIA 1 timer, registers, init
#pragma once

#include <cstdint>
#include <string>

struct TTuneStart {
  enum class Part : uint8_t { main, second };  // a Sidplayer tune's .str is its second part

  // Memory.
  uint16_t loadAddress = 0;
  bool realC64 = false;        // RSID, PRG, P00: memory and start as on a C64
  bool playSid = false;        // playSID's environment
  bool mus = false;            // Sidplayer music: our players are placed with it
  bool stereo = false;         // Sidplayer: two parts, the stereo player
  uint16_t stereoAddress = 0;  // Sidplayer: where the second part's data begins
  std::string fileName;        // the name the LOAD screen shows

  // The start.
  uint16_t initAddress = 0;
  uint16_t playAddress = 0;
  uint32_t speed = 0;
  bool pal = false;   // the header's clock bits
  bool ntsc = false;

  // A tune that states only NTSC runs on an NTSC machine; no statement, or
  // both, means PAL.
  bool palMachine() const { return pal || !ntsc; }

  // CIA 1's timer A as the player (or the KERNAL) leaves it for sub-tune song.
  struct TimerSetup {
    uint16_t latch = 0;
    bool alsoCounter = false;  // the counter starts from the latch too
  };
  TimerSetup cia1Timer(int32_t song) const;
};
