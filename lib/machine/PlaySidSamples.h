// TPlaySidSamples: the extended sample registers of playSID's environment.
//
// Tunes made for playSID write sample parameters into the unused top of each
// 32-byte SID image ($D41D-$D41F, $D43D-$D43F, ... and the same at $D500) and
// start 4-bit sample playback or Galway noise with a command byte. Both sound by
// rewriting the SID's volume register, so what this part produces is a list of
// volume register values; the machine hands them to the SID in order. Samples
// are read from the machine's RAM.
//
//   TPlaySidSamples samples(ram);
//   samples.write(0, 0x1D, 0xFF, lastVolume);        // channel 0: start a sample
//   for (uint8_t v : samples.clock(cycles, lastVolume)) sid.write(0x18, v);
#pragma once

#include <array>
#include <cstdint>

class TPlaySidSamples {
 public:
  // Volume register values, in the order they are written (at most three a step:
  // both channels and the noise).
  struct Volumes {
    std::array<uint8_t, 3> values{};
    uint8_t count = 0;
    void add(uint8_t v) { values[count++] = v; }
    const uint8_t* begin() const { return values.data(); }
    const uint8_t* end() const { return values.data() + count; }
  };
  struct Channel {
    bool running = false;
    uint8_t shift = 0;
    uint16_t address = 0;
    uint16_t endAddress = 0;
    uint16_t repeatAddress = 0;
    uint8_t repeatCount = 0;
    int32_t period = 0;
    int32_t counter = 0;
    uint8_t nibbleOrder = 0;
    uint8_t phase = 0;
    uint8_t value = 0;
    std::array<uint8_t, 0x80> registers{};  // $D400-$D47F (or $D500-$D57F) as written
  };
  struct GalwayNoise {
    bool running = false;
    int32_t remainingTones = 0;
    int32_t toneLength = 0;
    int32_t period = 0;
    int32_t counter = 0;
    uint8_t volume = 0;
  };

  explicit TPlaySidSamples(const std::array<uint8_t, 65536>& ram) : ram_(ram) {}

  // playSID's registers: the top three of each 32-byte SID image in $D400-$D47F
  // and $D500-$D57F.
  static bool isSampleRegister(uint16_t address) {
    const unsigned offset = address & 0xFF;
    return (address & 0xFE00) == 0xD400 && offset < 0x80 && (offset & 0x1F) >= 0x1D;
  }
  // A write to channel 0 ($D4xx) or 1 ($D5xx); volume is the last value the tune
  // wrote to the volume register.
  Volumes write(int channel, uint8_t offset, uint8_t value, uint8_t volume);
  // Runs the channels and the noise for cycles.
  Volumes clock(int32_t cycles, uint8_t volume);
  // Cycles until the next step could write (a large number when nothing runs).
  int64_t cyclesToStep() const;
  void stop();

  std::array<Channel, 2> channels{};
  GalwayNoise galway{};

 private:
  void startSample(int channel, uint8_t shift);
  void stepSample(int channel, uint8_t volume, Volumes& out);
  void startGalway(uint8_t tones, uint8_t volume, Volumes& out);
  void stepGalway(uint8_t volume, Volumes& out);

  const std::array<uint8_t, 65536>& ram_;
};
