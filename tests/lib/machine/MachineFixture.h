// A machine with test ROMs, and helpers to place code and step it.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "P6510.h"
#include "SidWrapper.h"

class MachineTest : public ::testing::Test {
 public:
  struct Access {
    uint8_t reg;
    uint8_t data;
    uint32_t delay;
    bool operator==(const Access&) const = default;
  };

 protected:
  MachineTest() {
    // Recognisable ROM contents: every byte tells which image and offset it is.
    for (std::size_t i = 0; i < TRoms::basicSize; ++i) roms->basic[i] = static_cast<uint8_t>(0xB0 ^ i);
    for (std::size_t i = 0; i < TRoms::kernalSize; ++i) roms->kernal[i] = static_cast<uint8_t>(0xE0 ^ i);
    for (std::size_t i = 0; i < TRoms::charSize; ++i) roms->chargen[i] = static_cast<uint8_t>(0xC0 ^ i);
    c64 = std::make_unique<T6510>(sid, *roms);
  }

  void poke(uint16_t address, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) c64->ram[address++] = b;
  }
  // Places code at address and points the processor at it.
  void code(uint16_t address, std::initializer_list<uint8_t> bytes) {
    poke(address, bytes);
    c64->PC = address;
  }
  uint32_t step() {
    c64->executeInstruction();
    c64->clock.executedCycles += c64->instructionCycles;
    return c64->instructionCycles;
  }
  // Banks with the port as the KERNAL does: direction $2F, then the value.
  void bank(uint8_t value) {
    const bool wasReal = c64->conventions.realC64;
    c64->conventions.realC64 = true;
    c64->writeByte(0x0001, value);
    c64->conventions.realC64 = wasReal;
  }

  // The machine's parts, handed out by name.
  TMemoryMap& memory() { return c64->memory; }
  TVicRaster& vic() { return c64->vic; }
  TCia& cia(int number) { return c64->cias[number - 1]; }  // 1 ($DC00) or 2 ($DD00)
  TInterruptLines& lines() { return c64->lines; }
  TMachineClock& clock() { return c64->clock; }
  TPlaySidSamples& samples() { return c64->samples; }
  TPlayerConventions& conventions() { return c64->conventions; }

  std::vector<Access> drain() {
    std::vector<Access> out;
    for (; !sid.empty(); sid.pop()) out.push_back({sid.peekRegister(), sid.peekData(), sid.peekDelay()});
    return out;
  }

  std::unique_ptr<TRoms> roms = std::make_unique<TRoms>();
  TSidWrapper sid;
  std::unique_ptr<T6510> c64;
};

inline std::ostream& operator<<(std::ostream& os, const MachineTest::Access& a) {
  return os << "{reg $" << std::hex << int(a.reg) << ", data $" << int(a.data) << std::dec << ", delay " << a.delay
            << "}";
}
