// TPlayerConventions: how the player a tune was made for differs from a bare C64.
//
// A PSID tune runs inside a player: it calls init and play, drives a
// vertical-blank tune from the raster with CIA 1's timer as its own, and treats
// BRK or RTI as the end of a routine. playSID's environment adds sample
// registers, reads RAM under every ROM and hides I/O from reads. A real-C64 tune
// (RSID, PRG, BASIC) has none of this. The driver fills the facts at each tune
// start; the chips and the processor ask the named questions below instead of
// combining the facts themselves.
//
//   TPlayerConventions c{.realC64 = false, .playSid = false, .vblank = true};
//   if (c.cia1TimerLocked()) ...   // the tune's write to $DC05 is ignored
#pragma once

#include <cstdint>

struct TPlayerConventions {
  bool realC64 = false;         // runs as on a C64 with nothing around it
  bool playSid = false;         // playSID's environment
  bool vblank = false;          // the player calls play once a frame (speed bit clear)
  bool hasPlayAddress = false;  // the header names a play routine

  // The player calls play from the raster interrupt, once a frame.
  bool rasterDrivesPlay() const { return !realC64 && vblank; }
  // CIA 1's timer A latch and both control registers belong to the player of a
  // vertical-blank tune: the tune may not reprogram the timer behind it.
  bool cia1TimerLocked() const { return rasterDrivesPlay(); }
  // The tune's writes to CIA 1's interrupt mask are ignored.
  bool cia1MaskLocked() const { return cia1TimerLocked() || playSid; }
  // The player owns the VIC's interrupt mask ($D01A) while the CIA timers it set up run.
  bool playerOwnsVicMask(bool ciaTimersRunning) const { return !realC64 && ciaTimersRunning; }
  // Whether a port write from code at pc may change the banking from `from` to
  // `to`: code running under a ROM cannot bank that ROM in over itself (the
  // player's own code, at $FFFE and up, may do anything).
  bool portMaySwitch(uint16_t pc, uint8_t from, uint8_t to) const {
    if (realC64 || pc >= 0xFFFE) return true;
    if (pc >= 0xE000 && !(from & 0x02) && (to & 0x02)) return false;
    if (pc > 0xD000 && pc < 0xE000) return false;
    return !(pc > 0xA000 && pc < 0xC000 && (from & 3) != 3 && (to & 3) == 3);
  }
  enum class BrkMeaning : uint8_t { interrupt, returnLikeRts, stopAtIdle };
  // What BRK does: a C64 interrupt, or the end of the routine the player called.
  BrkMeaning brkMeaning() const {
    return playSid ? BrkMeaning::stopAtIdle : realC64 ? BrkMeaning::interrupt : BrkMeaning::returnLikeRts;
  }
  // An RTI that does not end an NMI ends the play routine the player called.
  bool rtiEndsPlay(bool endsNmi) const { return !realC64 && !endsNmi && hasPlayAddress; }
  // During a button press CIA 1's ports show the fire button and the space key.
  bool buttonsOnPorts() const { return realC64; }
  // CIA control registers read back as the chip has them (a one-shot that ran out shows stopped).
  bool exactControlReads() const { return realC64; }
  // I/O answers reads; playSID's environment reads RAM there.
  bool ioReadable() const { return !playSid; }
  // ROMs answer reads; playSID's environment reads the RAM under them.
  bool romsReadable() const { return !playSid; }
  // The player takes a due IRQ to call play instead of the IRQ vector.
  bool irqCallsPlay(uint16_t playRoutine) const { return !realC64 && playRoutine != 0; }
};
