// C64 RAM $0000-$0802 after a cold start with BASIC ready: the zero page
// ($2F/$37 at the port), the KERNAL work area, the vectors at $0300-$0333
// (IRQ $EA31, BRK $FE66, NMI $FE47), the screen with the power-on banner at
// $0400-$07E7 and an empty BASIC program at $0800-$0802. Every tune's memory
// starts from it.
//
// ZeroPage.cpp is generated: lib/rom/make_zeropage.py ram_0000_0802.bin lib/rom/ZeroPage.cpp
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t coldStartRamSize = 0x0803;

extern const std::array<uint8_t, coldStartRamSize> coldStartRam;
