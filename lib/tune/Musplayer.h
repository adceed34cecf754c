// TMusplayer: the two Sidplayer players the library carries as C64 code, and
// where a MUS tune finds them.
//
//   TMusplayer::install(ram, stereo, secondPartAddress);   // after the music data is in RAM
//   // start the tune at TMusplayer::monoInit / monoPlay, or stereoInit / stereoPlay
//
// The mono player plays the music data at $1000; the stereo player plays a
// second part on a second SID at $D500 and runs the mono player from its own
// entry points, so a stereo tune is started through the stereo player alone.
#pragma once

#include <array>
#include <cstdint>

class TMusplayer {
 public:
  static constexpr uint16_t musicAddress = 0x1000;
  static constexpr uint16_t monoAddress = 0xE000;
  static constexpr uint16_t monoInit = 0xEC60;
  static constexpr uint16_t monoPlay = 0xEC80;
  static constexpr uint16_t monoDataLow = 0xEC6E;
  static constexpr uint16_t monoDataHigh = 0xEC70;
  static constexpr uint16_t stereoAddress = 0xF000;
  static constexpr uint16_t stereoInit = 0xFC90;
  static constexpr uint16_t stereoPlay = 0xFC96;
  static constexpr uint16_t stereoDataLow = 0xFC6E;
  static constexpr uint16_t stereoDataHigh = 0xFC70;

  // Copies the mono player (and with `stereo` the stereo player) into RAM and
  // points them at their music data.
  static void install(std::array<uint8_t, 65536>& ram, bool stereo, uint16_t secondPartAddress);
  // Music data that reaches the players' memory is cut where they begin.
  static constexpr unsigned dataLimit() { return monoAddress; }
};
