// TSongClock: how long the song has played, as a player's display counts it:
// hours (wrapping at 100), minutes, seconds and milliseconds. It runs in fixed
// point: each machine cycle is 126 units, a second is the clock rate times 126
// and a millisecond a thousandth of that, so the count never drifts from the
// cycles. Milliseconds are only recounted within the second and stop at 999
// until the second is complete.
//
//   TSongClock song;
//   song.setPal(true);
//   song.advance(985);             // a slice of the machine
//   uint32_t ms = song.time();     // 0 to 99:59:59.999 in milliseconds
#pragma once

#include <algorithm>
#include <cstdint>

class TSongClock {
 public:
  void setPal(bool pal) {
    perSecond = pal ? 124141304 : 128863629;
    perMs = pal ? 124141 : 128863;
  }
  void reset() {
    fraction = msFraction = 0;
    milliseconds = seconds = minutes = hours = 0;
  }
  void advance(uint32_t cycles) {
    const uint64_t f = uint64_t{cycles} * 126;
    fraction += f;
    msFraction += f;
    milliseconds = static_cast<uint32_t>(std::min<uint64_t>(msFraction / perMs, 999));
    if (fraction < perSecond) return;
    fraction -= perSecond;
    msFraction = 0;
    milliseconds = 0;
    if (++seconds < 60) return;
    seconds = 0;
    if (++minutes < 60) return;
    minutes = 0;
    if (++hours == 100) hours = 0;
  }
  uint32_t time() const { return ((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds; }

  uint32_t milliseconds = 0, seconds = 0, minutes = 0, hours = 0;

 private:
  uint64_t fraction = 0;    // units into the current second
  uint64_t msFraction = 0;  // the same, for the milliseconds
  uint32_t perSecond = 124141304;
  uint32_t perMs = 124141;
};
