// A processor on a JAM byte, or in a loop that only waits, passes the time in
// which nothing happens in one go. Everything a tune shows must stay exactly as
// with every cycle and instruction stepped: the SID stream with its delays,
// interrupts taken from the JAM or the loop, bad lines, sample channels, the
// usage maps and the whole machine state at the end.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "P6510.h"
#include "ROMs.h"
#include "SidWrapper.h"

namespace {

using Entry = std::tuple<uint8_t, uint8_t, uint32_t>;  // register, value, delay

struct Outcome {
  std::vector<Entry> stream;
  std::vector<uint8_t> ram, ramUsage, romUsage, io;
  std::vector<int64_t> registers;  // processor, raster, timers and clocks
  bool jammedAtEnd = false;
};

// One tune set-up, run on a machine that passes quiet JAM cycles and waiting
// loop iterations at once, or on one that steps every cycle and instruction.
struct Tune {
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> memory;
  std::vector<uint8_t> wholeRam;  // when set, the machine's RAM before the pieces above
  uint16_t init = 0x1000, play = 0;
  bool realC64 = true, playSid = false;
  uint32_t speed = 0;
  int slices = 300;
};

bool isJamOpcode(uint8_t op) { return (op & 0x0F) == 0x02 && op != 0x82 && op != 0xA2 && op != 0xC2 && op != 0xE2; }

Outcome play(const Tune& tune, bool stepEveryCycle) {
  static const TRoms roms = TRoms::fromDirectories({});
  TSidWrapper sid;
  auto c64 = std::make_unique<T6510>(sid, roms);
  c64->fastForward = !stepEveryCycle;
  c64->enableFixedStartup();
  c64->resetIoDefaults();
  if (!tune.wholeRam.empty()) std::copy(tune.wholeRam.begin(), tune.wholeRam.end(), c64->ram.begin());
  for (const auto& [address, bytes] : tune.memory)
    for (std::size_t i = 0; i < bytes.size(); ++i) c64->ram[(address + i) & 0xFFFF] = bytes[i];
  c64->tuneLoadAddress = 0x0801;
  c64->tuneLoadEnd = 0x9FFF;
  if (tune.playSid) c64->setPlaySidSpecific(true);
  TTuneStart start;
  start.realC64 = tune.realC64;
  start.playSid = tune.playSid;
  start.initAddress = tune.init;
  start.playAddress = tune.play;
  start.speed = tune.speed;
  start.pal = true;
  c64->startTune(start, 1);
  sid.setClockRunning(true);

  Outcome out;
  for (int slice = 0; slice < tune.slices; ++slice) {
    c64->runSlice();
    for (; !sid.empty(); sid.pop()) out.stream.emplace_back(sid.peekRegister(), sid.peekData(), sid.peekDelay());
  }
  const T6510& m = *c64;
  out.ram.assign(m.ram.begin(), m.ram.end());
  out.ramUsage.assign(m.memory.ramUsage.begin(), m.memory.ramUsage.end());
  out.romUsage.assign(m.memory.romUsage.begin(), m.memory.romUsage.end());
  out.io.assign(m.ioImage.begin(), m.ioImage.end());
  out.registers = {m.A, m.X, m.Y, m.SP, m.PC, m.packStatus(), m.vic.rasterLine, m.vic.cycleInLine, m.vic.badLineTaken,
                   m.vic.badLinesEnabled, m.clock.executedCycles, m.clock.cyclesSinceSid(), m.clock.cyclesToEvent(),
                   m.lines.irqCountdownActive, m.lines.irqCountdown, m.lines.nmiCountdownActive, m.lines.nmiCountdown, m.songClock.milliseconds,
                   m.songClock.seconds, m.cias[0].timerACounter, m.cias[0].timerBCounter, m.cias[1].timerACounter,
                   m.cias[1].timerBCounter, m.cias[0].todTenths, m.samples.channels[0].counter, m.samples.galway.counter};
  out.jammedAtEnd = !m.isIdle() && isJamOpcode(m.memory.readPages[m.PC >> 12][m.PC & 0xFFF]);
  return out;
}

// Which part of two outcomes differs, if any.
::testing::AssertionResult sameOutcome(const Outcome& quick, const Outcome& stepped) {
  if (quick.stream != stepped.stream) return ::testing::AssertionFailure() << "streams differ";
  if (quick.registers != stepped.registers) return ::testing::AssertionFailure() << "registers differ";
  if (quick.ram != stepped.ram || quick.io != stepped.io) return ::testing::AssertionFailure() << "memory differs";
  if (quick.ramUsage != stepped.ramUsage || quick.romUsage != stepped.romUsage)
    return ::testing::AssertionFailure() << "usage maps differ";
  return ::testing::AssertionSuccess();
}

// Returns how many SID accesses the tune made.
std::size_t expectSame(const Tune& tune, const std::string& label, bool endsJammed = true) {
  const Outcome quick = play(tune, false), stepped = play(tune, true);
  EXPECT_EQ(quick.jammedAtEnd, endsJammed) << label;
  EXPECT_EQ(quick.stream, stepped.stream) << label;
  EXPECT_EQ(quick.registers, stepped.registers) << label;
  EXPECT_TRUE(quick.ram == stepped.ram) << label;
  EXPECT_TRUE(quick.ramUsage == stepped.ramUsage) << label;
  EXPECT_TRUE(quick.romUsage == stepped.romUsage) << label;
  EXPECT_TRUE(quick.io == stepped.io) << label;
  return quick.stream.size();
}

// Handlers end by counting into $3000 and writing the count to a SID register,
// so that every interrupt taken shows in the stream with its delay.
std::vector<uint8_t> handler(uint8_t acknowledgeLo, uint8_t acknowledgeHi, uint8_t sidRegister) {
  return {0x48,                                // PHA
          0xAD, acknowledgeLo, acknowledgeHi,  // LDA ack (CIA: read ICR; VIC: read $D019)
          0x8D, acknowledgeLo, acknowledgeHi,  // STA ack (VIC: acknowledge)
          0xEE, 0x00, 0x30,                    // INC $3000
          0xAD, 0x00, 0x30,                    // LDA $3000
          0x8D, sidRegister, 0xD4,             // STA $D4xx
          0x68,                                // PLA
          0x40};                               // RTI
}

TEST(JammedProcessor, InterruptsTakenFromAJamKeepTheirCycles) {
  // Common start: SEI, KERNAL out ($35), vectors in RAM, screen on (bad lines),
  // the KERNAL's timer interrupt off.
  const std::vector<uint8_t> prologue = {0x78, 0xA9, 0x35, 0x85, 0x01, 0xA9, 0x1B, 0x8D,
                                         0x11, 0xD0, 0xA9, 0x7F, 0x8D, 0x0D, 0xDC};
  const uint16_t body = static_cast<uint16_t>(0x1000 + prologue.size());

  Tune ciaIrq;
  ciaIrq.memory = {{0x1000, prologue},
                   {body, {0xA9, 0x31, 0x8D, 0x04, 0xDC, 0xA9, 0x07, 0x8D, 0x05, 0xDC,  // timer A $0731
                             0xA9, 0x81, 0x8D, 0x0D, 0xDC, 0xA9, 0x11, 0x8D, 0x0E, 0xDC,  // IRQ on, start
                             0x58, 0x02}},                                                // CLI, JAM
                   {0xFFFE, {0x00, 0x20}},
                   {0x2000, handler(0x0D, 0xDC, 0x01)}};
  EXPECT_GT(expectSame(ciaIrq, "CIA 1 timer interrupts"), 150u);

  Tune raster;
  raster.memory = {{0x1000, prologue},
                   {body, {0xA9, 0x33, 0x8D, 0x12, 0xD0, 0xA9, 0x01, 0x8D, 0x1A, 0xD0,  // line $33, enable
                             0x58, 0x12}},                                                // CLI, JAM ($12)
                   {0xFFFE, {0x00, 0x20}},
                   // The handler also moves the compare line 37 lines on each time.
                   {0x2000, {0xAD, 0x01, 0x30, 0x18, 0x69, 0x25, 0x8D, 0x01, 0x30, 0x8D, 0x12, 0xD0}},
                   {0x200C, handler(0x19, 0xD0, 0x04)}};
  EXPECT_GT(expectSame(raster, "raster interrupts on bad lines"), 90u);

  Tune nmi;
  nmi.memory = {{0x1000, prologue},
                {body, {0xA9, 0x63, 0x8D, 0x04, 0xDD, 0xA9, 0x02, 0x8D, 0x05, 0xDD,  // timer A $0263
                          0xA9, 0x81, 0x8D, 0x0D, 0xDD, 0xA9, 0x11, 0x8D, 0x0E, 0xDD,  // NMI on, start
                          0xF2}},                                                      // JAM, I still set
                {0xFFFA, {0x00, 0x21}},
                {0x2100, handler(0x0D, 0xDD, 0x07)}};
  EXPECT_GT(expectSame(nmi, "CIA 2 timer NMIs"), 450u);

  // No interrupt at all: only the bad lines' stolen cycles shape the slices.
  Tune badLinesOnly;
  badLinesOnly.memory = {{0x1000, prologue}, {body, {0x52}}};
  EXPECT_EQ(expectSame(badLinesOnly, "bad lines only"), 1u);

  // The screen switched on and off every eight timer interrupts: bad lines
  // start and stop where line 48 is crossed, mostly while the processor is
  // jammed, and the next interrupt often falls inside the cycles a bad line takes.
  Tune screenToggled;
  screenToggled.slices = 3000;
  screenToggled.memory = {{0x1000, prologue},
                          {body, {0xA9, 0xE5, 0x8D, 0x04, 0xDC, 0xA9, 0x03, 0x8D, 0x05, 0xDC,  // timer A $03E5
                                  0xA9, 0x81, 0x8D, 0x0D, 0xDC, 0xA9, 0x11, 0x8D, 0x0E, 0xDC,  // IRQ on, start
                                  0x58, 0x72}},                                                // CLI, JAM
                          {0xFFFE, {0x00, 0x20}},
                          // LDA $3000, ASL, AND #$10, ORA #$0B, STA $D011
                          {0x2000, {0xAD, 0x00, 0x30, 0x0A, 0x29, 0x10, 0x09, 0x0B, 0x8D, 0x11, 0xD0}},
                          {0x200B, handler(0x0D, 0xDC, 0x05)}};
  EXPECT_GT(expectSame(screenToggled, "screen toggled"), 2900u);

  // Sprites on: their DMA makes the machine step every cycle; still the same.
  Tune sprites = raster;
  sprites.memory.push_back({body, {0xA9, 0x33, 0x8D, 0x12, 0xD0, 0xA9, 0x01, 0x8D, 0x1A, 0xD0, 0x8D, 0x15, 0xD0,
                                     0xA9, 0x40, 0x8D, 0x01, 0xD0, 0x58, 0x12}});
  EXPECT_GT(expectSame(sprites, "raster interrupts with a sprite on"), 90u);
}

TEST(JammedProcessor, PlayerConventionsAroundAJam) {
  // A PSID whose init writes the volume and jams: init never returns, and the
  // first slice runs the whole time a player gives an init.
  Tune jammedInit;
  jammedInit.realC64 = false;
  jammedInit.play = 0x1010;
  jammedInit.speed = 1;  // CIA-timed
  jammedInit.memory = {{0x1000, {0xA9, 0x0F, 0x8D, 0x18, 0xD4, 0x02}}, {0x1010, {0x8D, 0x01, 0xD4, 0x60}}};
  jammedInit.slices = 1200;
#ifndef ZORVEX_SANITIZED_BUILD
  // Stepping through the whole init time takes half a minute under the sanitizers.
  EXPECT_EQ(expectSame(jammedInit, "PSID init that jams"), 1u);
#endif

  // A PSID whose play routine jams after its first write.
  Tune jammedPlay = jammedInit;
  jammedPlay.speed = 0;
  jammedPlay.memory = {{0x1000, {0xA9, 0x0F, 0x8D, 0x18, 0xD4, 0x60}}, {0x1010, {0x8D, 0x01, 0xD4, 0x22}}};
  EXPECT_EQ(expectSame(jammedPlay, "PSID play that jams"), 3u);

  // playSID samples keep stepping the volume while the processor is jammed.
  Tune samples;
  samples.realC64 = false;
  samples.playSid = true;
  samples.play = 0x1100;
  samples.memory = {{0x3000, {0x21, 0x43, 0x65, 0x87, 0xA9, 0xCB}},
                    {0x1000, {0xA9, 0x1F, 0x8D, 0x18, 0xD4,                                // volume
                              0xA9, 0x00, 0x8D, 0x1E, 0xD4, 0xA9, 0x30, 0x8D, 0x1F, 0xD4,  // start $3000
                              0xA9, 0x06, 0x8D, 0x3D, 0xD4, 0xA9, 0x30, 0x8D, 0x3E, 0xD4,  // end $3006
                              0xA9, 0x95, 0x8D, 0x5D, 0xD4, 0xA9, 0x00, 0x8D, 0x5E, 0xD4,  // period 149
                              0xA9, 0x20, 0x8D, 0x3F, 0xD4,                                // 32 repeats
                              0xA9, 0xFF, 0x8D, 0x1D, 0xD4, 0x60}},                        // start, RTS
                    {0x1100, {0x32}}};                                                     // play: JAM
  EXPECT_GT(expectSame(samples, "playSID sample under a jammed play routine"), 1900u);
}

// Random code jams within a few dozen instructions, after it has written
// whatever registers it met: timers, interrupt masks, the VIC, the port.
TEST(JammedProcessor, RandomCodeThatJamsPlaysAsWithSingleSteps) {
#ifdef ZORVEX_SANITIZED_BUILD
  constexpr int programs = 40;
#else
  constexpr int programs = 300;
#endif
  std::mt19937 rng(20261209);
  std::uniform_int_distribution<int> byte(0, 255);
  int jammed = 0;
  for (int p = 0; p < programs; ++p) {
    Tune tune;
    tune.wholeRam.resize(65536);
    for (auto& b : tune.wholeRam) b = static_cast<uint8_t>(byte(rng));
    tune.realC64 = p % 4 != 3;
    tune.playSid = p % 8 == 7;
    tune.init = static_cast<uint16_t>(std::uniform_int_distribution<int>(0x0800, 0x9FFF)(rng));
    tune.speed = static_cast<uint32_t>(byte(rng) & 1);
    tune.slices = 120;
    const Outcome quick = play(tune, false);
    jammed += quick.jammedAtEnd;
    const Outcome stepped = play(tune, true);
    ASSERT_TRUE(sameOutcome(quick, stepped)) << "program " << p;
  }
  // Most random programs end on a JAM byte: the comparison is about them.
  EXPECT_GT(jammed, programs / 3);
}

// ---- loops that wait ----------------------------------------------------------

// SEI, KERNAL out, vectors in RAM, screen on, KERNAL timer IRQ off; then CIA 1
// timer A interrupts every $0731 cycles, a raster interrupt at line $83 and
// CIA 2 NMIs every $0263 cycles, all acknowledged by handlers that count into
// $3000 and write the count to a SID register.
std::vector<std::pair<uint16_t, std::vector<uint8_t>>> busyMachine(uint16_t mainLoop) {
  std::vector<uint8_t> init = {0x78, 0xA9, 0x35, 0x85, 0x01, 0xA9, 0x1B, 0x8D, 0x11, 0xD0, 0xA9, 0x7F, 0x8D,
                               0x0D, 0xDC,
                               0xA9, 0x31, 0x8D, 0x04, 0xDC, 0xA9, 0x07, 0x8D, 0x05, 0xDC,  // timer A $0731
                               0xA9, 0x81, 0x8D, 0x0D, 0xDC, 0xA9, 0x11, 0x8D, 0x0E, 0xDC,  // IRQ on, start
                               0xA9, 0x63, 0x8D, 0x04, 0xDD, 0xA9, 0x02, 0x8D, 0x05, 0xDD,  // timer A $0263
                               0xA9, 0x81, 0x8D, 0x0D, 0xDD, 0xA9, 0x11, 0x8D, 0x0E, 0xDD,  // NMI on, start
                               0xA9, 0x83, 0x8D, 0x12, 0xD0, 0xA9, 0x01, 0x8D, 0x1A, 0xD0,  // raster line $83
                               0x58, 0x4C, static_cast<uint8_t>(mainLoop), static_cast<uint8_t>(mainLoop >> 8)};
  // The IRQ handler tells the two sources apart by the VIC's latch.
  std::vector<uint8_t> irq = {0xAD, 0x19, 0xD0, 0x30, 0x03, 0x4C, 0x20, 0x21,  // LDA $D019, BMI, JMP $2120
                              0x8D, 0x19, 0xD0, 0xA9, 0x01, 0x85, 0x31, 0x4C, 0x00, 0x21};  // ack, flag $31
  return {{0x1000, init},          {0xFFFE, {0x00, 0x20}},         {0xFFFA, {0x00, 0x22}},
          {0x2000, irq},           {0x2100, handler(0x19, 0xD0, 0x04)},
          {0x2120, handler(0x0D, 0xDC, 0x01)}, {0x2200, handler(0x0D, 0xDD, 0x07)}};
}

TEST(WaitingLoop, MainLoopsThatOnlyWaitKeepEveryInterruptsCycle) {
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> loops = {
      {"JMP to itself", {0x4C, 0x00, 0x40}},
      {"branch to itself", {0xA9, 0x01, 0xD0, 0xFE}},
      // Waits for the raster handler's flag, then clears it and writes a SID register.
      {"flag polled in RAM",
       {0xA5, 0x31, 0xF0, 0xFC, 0xA9, 0x00, 0x85, 0x31, 0xEE, 0x02, 0x30, 0xAD, 0x02, 0x30, 0x8D, 0x0E, 0xD4, 0x4C,
        0x00, 0x40}},
      // The same flag polled by a subroutine: every JSR pushes the same return
      // address again, a store that changes nothing.
      {"flag polled by a subroutine",
       {0x20, 0x20, 0x40, 0xF0, 0xFB, 0xA9, 0x00, 0x85, 0x31, 0xEE, 0x02, 0x30, 0xAD, 0x02, 0x30, 0x8D, 0x0E,
        0xD4, 0x4C, 0x00, 0x40, 0xEA, 0xEA, 0xEA, 0xEA, 0xEA, 0xEA, 0xEA, 0xEA, 0xEA, 0xEA, 0xEA, 0xA5, 0x31, 0x60}},
      // Not waiting: a count in RAM changes every time, the same registers or not.
      {"counter in RAM", {0xEE, 0x10, 0x30, 0x4C, 0x00, 0x40}},
      // A longer body: indexed and indirect reads, a compare, a second branch.
      // Timer-polled samples: CIA 2's interrupt data polled until a timer
      // underflows (the NMIs of the busy machine read it too), then a write.
      {"CIA 2 polled",
       {0xAE, 0x0D, 0xDD, 0xF0, 0xFB, 0xEE, 0x04, 0x30, 0xAD, 0x04, 0x30, 0x8D, 0x0B, 0xD4, 0x4C, 0x00, 0x40}},
      // CIA 1's timer interrupt masked off, its underflows polled beside the
      // raster interrupts.
      {"CIA 1 polled",
       {0xA9, 0x01, 0x8D, 0x0D, 0xDC, 0xAD, 0x0D, 0xDC, 0x29, 0x01, 0xF0, 0xF9, 0xEE, 0x05, 0x30, 0xAD, 0x05, 0x30,
        0x8D, 0x0C, 0xD4, 0x4C, 0x05, 0x40}},
      // The carry alternates: two iterations of different lengths make one round.
      {"two alternating paths", {0xB0, 0x04, 0x38, 0x4C, 0x00, 0x40, 0x18, 0xEA, 0xEA, 0x4C, 0x00, 0x40}},
      {"several reads a round",
       {0xA0, 0x03, 0xB9, 0x00, 0x50, 0xB1, 0x40, 0xC9, 0x77, 0xF0, 0x03, 0x2C, 0x00, 0x50, 0x50, 0xF2, 0x4C, 0x02,
        0x40}},
  };
  for (const auto& [label, code] : loops) {
    Tune tune;
    tune.memory = busyMachine(0x4000);
    tune.memory.push_back({0x4000, code});
    tune.slices = 600;
    EXPECT_GT(expectSame(tune, label, false), 1000u) << label;
  }

  // The raster handler switches the screen on and off every eighth time, so
  // bad lines start and stop where line 48 is crossed during a wait; then the
  // same with a sprite on, whose DMA steals on lines of its own.
  Tune screenToggled;
  screenToggled.memory = busyMachine(0x4000);
  screenToggled.memory.push_back({0x4000, {0x4C, 0x00, 0x40}});
  // LDA $3000, ASL, AND #$10, ORA #$0B, STA $D011, then the raster handler
  screenToggled.memory.push_back({0x2008, {0xAD, 0x00, 0x30, 0x0A, 0x29, 0x10, 0x09, 0x0B, 0x8D, 0x11, 0xD0, 0xAD,
                                           0x19, 0xD0, 0x8D, 0x19, 0xD0, 0xA9, 0x01, 0x85, 0x31, 0x4C, 0x00, 0x21}});
  screenToggled.slices = 2000;
  EXPECT_GT(expectSame(screenToggled, "screen toggled", false), 4000u);
  Tune sprite = screenToggled;
  sprite.memory.push_back({0x1000, {0xA9, 0x01, 0x8D, 0x15, 0xD0, 0xA9, 0x60, 0x8D, 0x01, 0xD0}});
  sprite.memory.push_back({0x100A, busyMachine(0x4000)[0].second});
  sprite.memory[0].second.clear();
  EXPECT_GT(expectSame(sprite, "screen toggled, a sprite on", false), 4000u);
}

TEST(WaitingLoop, CountdownDelaysKeepTheirLength) {
  // A sample player's main loop: a volume write, then a delay loop of each
  // kind, once across a page boundary (the branch then takes four cycles).
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> delays = {
      {"DEX BNE", {0xA2, 0x37, 0xCA, 0xD0, 0xFD}},
      {"DEY BPL", {0xA0, 0x52, 0x88, 0x10, 0xFD}},
      {"INX BNE", {0xA2, 0x80, 0xE8, 0xD0, 0xFD}},
      {"INY BMI", {0xA0, 0x90, 0xC8, 0x30, 0xFD}},
      {"DEX BEQ", {0xA2, 0x01, 0xCA, 0xF0, 0xFD}},
      {"DEY BMI", {0xA0, 0x85, 0x88, 0x30, 0xFD}},
      {"INX BPL", {0xA2, 0x70, 0xE8, 0x10, 0xFD}},
      {"INY BEQ", {0xA0, 0xFF, 0xC8, 0xF0, 0xFD}},
      {"DEY BNE from 0, a whole turn", {0xA0, 0x00, 0x88, 0xD0, 0xFD}},
      {"INX BCC, until the carry changes", {0x18, 0xE8, 0x90, 0xFD}},
  };
  for (const auto& [label, delay] : delays) {
    for (const uint16_t at : {uint16_t{0x4000}, uint16_t{0x40FC}}) {
      Tune tune;
      tune.memory = busyMachine(at);
      // Built byte by byte: GCC 12 warns falsely about inserting into the vector.
      std::vector<uint8_t> code;
      code.reserve(32);
      for (const uint8_t b : {0xEE, 0x03, 0x30, 0xAD, 0x03, 0x30, 0x29, 0x0F, 0x8D, 0x18, 0xD4}) code.push_back(b);
      for (const uint8_t b : delay) code.push_back(b);
      for (const uint8_t b : {uint8_t{0x4C}, static_cast<uint8_t>(at), static_cast<uint8_t>(at >> 8)}) code.push_back(b);
      tune.memory.push_back({at, code});
      tune.slices = 400;
      EXPECT_GT(expectSame(tune, label, false), 700u) << label << " at " << at;
    }
  }
}

// Random loops over random memory: bodies of reads, compares, register steps
// and branches, jumping back to their head, under the busy machine's interrupts.
TEST(WaitingLoop, RandomLoopsPlayAsWithSingleSteps) {
#ifdef ZORVEX_SANITIZED_BUILD
  constexpr int programs = 30;
#else
  constexpr int programs = 200;
#endif
  static constexpr uint8_t implied[] = {0xEA, 0xAA, 0x8A, 0xA8, 0x98, 0xE8, 0xC8, 0xCA, 0x88, 0x18, 0x38, 0xB8};
  static constexpr uint8_t withZp[] = {0xA5, 0xA6, 0xA4, 0xC5, 0x24, 0x05, 0x25, 0x45, 0xB5, 0xB1, 0xA1};
  static constexpr uint8_t withImm[] = {0xA9, 0xA2, 0xA0, 0xC9, 0xE0, 0xC0, 0x29, 0x09, 0x49, 0x69};
  static constexpr uint8_t withAbs[] = {0xAD, 0xAE, 0xAC, 0xCD, 0x2C, 0xBD, 0xB9, 0x0D};
  static constexpr uint8_t branches[] = {0x10, 0x30, 0x50, 0x70, 0x90, 0xB0, 0xD0, 0xF0};
  std::mt19937 rng(20261210);
  auto pick = [&rng](auto& table) { return table[std::uniform_int_distribution<std::size_t>(0, std::size(table) - 1)(rng)]; };
  std::uniform_int_distribution<int> byte(0, 255);
  for (int p = 0; p < programs; ++p) {
    Tune tune;
    tune.wholeRam.resize(65536);
    for (auto& b : tune.wholeRam) b = static_cast<uint8_t>(byte(rng));
    tune.memory = busyMachine(0x4000);
    std::vector<uint8_t> body;
    const int length = std::uniform_int_distribution<int>(0, 6)(rng);
    for (int i = 0; i < length; ++i) {
      switch (byte(rng) % 4) {
        case 0: body.push_back(pick(implied)); break;
        case 1: body.insert(body.end(), {pick(withZp), static_cast<uint8_t>(byte(rng))}); break;
        case 2: body.insert(body.end(), {pick(withImm), static_cast<uint8_t>(byte(rng))}); break;
        // Absolute reads stay out of the I/O area most of the time.
        default: body.insert(body.end(), {pick(withAbs), static_cast<uint8_t>(byte(rng)),
                                          static_cast<uint8_t>(0x50 + byte(rng) % 0x90)}); break;
      }
    }
    body.push_back(pick(branches));
    body.push_back(static_cast<uint8_t>(-static_cast<int>(body.size()) - 1));
    body.insert(body.end(), {0x4C, 0x00, 0x40});
    tune.memory.push_back({0x4000, body});
    tune.slices = 150;
    const Outcome quick = play(tune, false), stepped = play(tune, true);
    ASSERT_TRUE(sameOutcome(quick, stepped)) << "program " << p;
  }
}

}  // namespace
