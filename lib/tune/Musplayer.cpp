#include "Musplayer.h"

#include <algorithm>

#include "MusPlayerTables.h"

void TMusplayer::install(std::array<uint8_t, 65536>& ram, bool stereo, uint16_t secondPartAddress) {
  std::copy(musPlayerMonoImage.begin(), musPlayerMonoImage.end(), ram.begin() + monoAddress);
  ram[monoDataLow] = static_cast<uint8_t>(musicAddress & 0xFF);
  ram[monoDataHigh] = static_cast<uint8_t>(musicAddress >> 8);
  if (!stereo) return;
  std::copy(musPlayerStereoImage.begin(), musPlayerStereoImage.end(), ram.begin() + stereoAddress);
  ram[stereoDataLow] = static_cast<uint8_t>(secondPartAddress & 0xFF);
  ram[stereoDataHigh] = static_cast<uint8_t>(secondPartAddress >> 8);
}
