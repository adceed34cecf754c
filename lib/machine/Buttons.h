// TButtons: joystick 2's fire button and the space key, held down together for
// a moment when the user asks (pressButtons), for tunes that wait for fire or
// space before they play. CIA 1's port reads ask it what the lines show while
// the buttons are held; it remembers whether the tune looked, so that a tune
// that was waiting and has not sounded yet can start its song over.
//
//   TButtons buttons;
//   buttons.press();
//   uint8_t a = buttons.portA(0xFF);      // $EF: fire pulls bit 4 low
//   buttons.elapse(985);                  // a slice later
#pragma once

#include <cstdint>
#include <optional>

class TButtons {
 public:
  // Three PAL frames.
  static constexpr int32_t holdCycles = 58968;

  void press() {
    held = true;
    heldCycles = 0;
    looked = false;
  }
  void release() {
    held = false;
    looked = false;
  }
  // Port A of CIA 1 as the port's lines show it: fire is bit 4.
  uint8_t portA(uint8_t lines) {
    if (!held) return lines;
    looked = true;
    return lines & 0xEF;
  }
  // Port B of CIA 1 while held: the space key sits in row 7 (port A bit 7 low
  // selects it) and column 4. Nothing while the buttons are up.
  std::optional<uint8_t> portB(uint8_t portAOutput) {
    if (!held) return std::nullopt;
    looked = true;
    return (portAOutput & 0x80) ? 0xFF : 0xEF;
  }
  // The buttons come up once held longer than holdCycles.
  void elapse(uint32_t cycles) {
    if (!held) return;
    heldCycles += static_cast<int32_t>(cycles);
    if (heldCycles > holdCycles) held = false;
  }
  // Whether the tune read a held button since the press; the driver clears it
  // once it has acted on it.
  bool tuneLooked() const { return looked; }
  void forgetLook() { looked = false; }
  bool isHeld() const { return held; }

 private:
  bool held = false;
  bool looked = false;
  int32_t heldCycles = 0;
};
