// What a read or write of $D400-$D7FF does: the hand-off to the SID stage and,
// in playSID's environment, the extended sample registers (TPlaySidSamples),
// whose playback sounds by rewriting the volume register.
#include <algorithm>

#include "P6510.h"
#include "SidWrapper.h"

namespace {

constexpr uint8_t volumeRegister = 0x18;

}  // namespace

void T6510::sidWrite(uint16_t address, uint8_t value) {
  const uint8_t reg = (address & 0xF4FF) & 0x1F;
  if (conventions.playSid) {
    if (TPlaySidSamples::isSampleRegister(address)) {
      handOffVolumes(samples.write((address >> 8) & 1, address & 0x7F, value, lastVolume));
      return;
    }
  }
  if (reg == volumeRegister) {
    lastVolume = value;
    volumeIsZero = (value & 0x0F) == 0;
  }
  // playSID keeps its NMI sample routines away from the SID itself.
  if (conventions.playSid && nmiInService) return;
  handOffSidWrite(reg, value);
}

void T6510::handOffSidWrite(uint8_t reg, uint8_t value) {
  if (clearUsageOnFirstSid && !firstSidAccessSeen && reg != volumeRegister && value != 0) clearUsageMaps();
  sidFilter.write(reg, value, static_cast<int32_t>(std::max(clock.cyclesSinceSid(), 1u)));
  clock.sidAccessed();
  lastSidWrite = value;
}

void T6510::clearUsageMaps() {
  // From here on only what the music itself touches counts; bytes the loader
  // or the set-up wrote before reading stay marked as loaded data.
  firstSidAccessSeen = true;
  for (uint8_t& usage : memory.ramUsage) {
    if (usage & TMemoryMap::usageWrittenFirst) usage |= TMemoryMap::usageLoaded;
    usage &= TMemoryMap::usageLoaded;
  }
  memory.romUsage.fill(0);
}

uint8_t T6510::sidRead(uint16_t address) {
  const uint8_t reg = address & 0x1F;
  if (reg == 0x19 || reg == 0x1A) return 0xFF;  // paddles: nothing connected
  if (reg == 0x1B || reg == 0x1C) {
    const uint8_t value = sidFilter.read(reg, static_cast<int32_t>(clock.cyclesSinceSid()));
    clock.sidAccessed();
    return value;
  }
  // Write-only registers read back what is left on the data bus.
  sidFilter.queueRead(reg, lastSidWrite, static_cast<int32_t>(clock.cyclesSinceSid()));
  clock.sidAccessed();
  return lastSidWrite;
}

void T6510::handOffVolumes(const TPlaySidSamples::Volumes& volumes) {
  for (const uint8_t volume : volumes) handOffSidWrite(volumeRegister, volume);
}
