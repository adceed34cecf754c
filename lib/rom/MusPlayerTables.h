// The two Sidplayer players of our own, assembled from musplayer_mono.asm and
// musplayer_stereo.asm (make_tables.py writes MusPlayerTables.cpp).
#pragma once

#include <array>
#include <cstdint>

extern const std::array<uint8_t, 3215> musPlayerMonoImage;
extern const std::array<uint8_t, 3228> musPlayerStereoImage;
