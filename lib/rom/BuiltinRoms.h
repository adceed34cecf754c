// The ROM images of our own, assembled from the sources in this folder
// (make_tables.py writes BuiltinRoms.cpp). The library uses them wherever no
// genuine image is found.
#pragma once

#include <array>
#include <cstdint>

extern const std::array<uint8_t, 8192> builtinKernalImage;
extern const std::array<uint8_t, 8192> builtinBasicImage;
extern const std::array<uint8_t, 4096> builtinCharImage;
