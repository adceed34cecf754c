// T6510: the emulated C64 of one library instance. It is the façade the rest
// of the library talks to (the design's operations keep their names here); the
// chips are parts held by value and wired to the machine's memory:
//   TCia ×2 (Cia.h)            timers, interrupt mask, time of day
//   TVicRaster (VicRaster.h)   raster line, compare line, bad lines, sprite DMA
//   TInterruptLines            what the sources pull, the countdowns to the interrupt
//   TPlaySidSamples            playSID's sample channels and Galway noise
//   TMachineClock              the one cycle count and the positions measured from it
//                              (timers, raster line, next event, next stop of the run loop)
//   TMemoryMap                 port, banking, page tables, usage maps
//   TProcessor                 registers and flags (TRegisters), the instruction's
//                              cost, the opcode table (a base: A, PC, C... read as before)
//   TSongClock, TButtons       the tune driver's song time and held buttons
//   TPlayerConventions         what the tune's player does differently from a C64
//   TTuneStart                 the record a tune is placed and started from
// The bus accessors, the interrupt dispatch and the tune driver's start and
// slices are this class's own.
//
// Usage:
//   TSidWrapper sid;
//   auto c64 = std::make_unique<T6510>(sid);      // ~350 KB: keep it on the heap
//   c64->ram[0x1000] = 0xA9; ...                   // place code
//   c64->PC = 0x1000;
//   c64->executeInstruction();                     // one whole instruction
//   c64->instructionCycles;                        // what it cost
//   c64->clock.executedCycles += c64->instructionCycles;  // the run loop's job
//
// The processor is not cycle-stepped: a handler performs its whole bus sequence
// and reports the cycle count; timers and raster catch up afterwards. Every SID
// access of the code ends up in the TSidWrapper's access stream through the
// machine's TSidFilter.
//
// The class is spread over files by concern: P6510.cpp (processor core, status,
// interrupt entry, BRK and RTI), P6510Instructions.cpp with P6510Operations.h
// (the opcode handlers), P6510Memory.cpp (the machine's side of the memory
// map, TMemoryMap), P6510Sid.cpp (SID read/write paths), P6510Io.cpp (the I/O
// area's dispatch), P6510Timers.cpp (the bus side of the CIA and VIC registers,
// the interrupt dispatch), P6510Driver.cpp (the tune driver), P6510Placement.cpp
// (a tune's memory), P6510FastForward.cpp (waiting passed in one go).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <string_view>

#include "Buttons.h"
#include "Cia.h"
#include "InterruptLines.h"
#include "MachineClock.h"
#include "MemoryMap.h"
#include "PlaySidSamples.h"
#include "PlayerConventions.h"
#include "Processor.h"
#include "SongClock.h"
#include "TuneStart.h"
#include "VicRaster.h"
#include "ROMs.h"
#include "RomTrap.h"
#include "SidFilter.h"

// The memory accessors sit on every bus cycle of every instruction.
#if defined(_MSC_VER)
#define ZORVEX_HOT __forceinline
#else
#define ZORVEX_HOT inline __attribute__((always_inline))
#endif

class TSidWrapper;

class T6510 : public TProcessor {
 public:
  static constexpr uint16_t nmiVector = 0xFFFA;
  static constexpr uint16_t irqVector = 0xFFFE;

  explicit T6510(TSidWrapper& sid, const TRoms& roms = TRoms::shared());
  T6510(const T6510&) = delete;
  T6510& operator=(const T6510&) = delete;

  // ---- processor (TProcessor: registers, flags, opcode table) ---------------
  // What the tune's player does differently from a bare C64 (set at the start).
  TPlayerConventions conventions;

  // State owned by the interrupt dispatch and the tune driver that the
  // processor consults for BRK, RTI and interrupt entry.
  bool nmiInService = false;
  bool initReturned = false;
  bool initDoneSignalled = false;
  bool fixedStartup = false;

  void executeInstruction();
  // The built-in BASIC runs natively: its ROM holds traps, not 6502 code. The
  // owner of the machine registers the interpreter when the ROM set has it.
  void setBasicTrapHandler(TRomTrapHandler* handler) { basicTrapHandler = handler; }
  // An opcode $02 fetched from the visible BASIC ROM with a handler is a trap.
  bool isBasicTrap() const {
    const uint16_t at = static_cast<uint16_t>(PC - 1);
    return basicTrapHandler && at >= 0xA000 && at < 0xC000 && memory.romVisible[at >> 12] && conventions.ioReadable();
  }
  void basicTrap() { basicTrapHandler->trap(); }
  // A processor on a JAM byte steps one cycle at a time while time, timers and
  // interrupts go on. The steps that change nothing but the clocks (no interrupt
  // dispatch, no stolen cycle, no sample step, the slice not over) pass in one go;
  // the step that meets the next event is left to the run loop.
  struct QuietRun {
    uint32_t cycles = 0;
    bool stolenOnItsLastLine = false;  // the run took the bad line's cycles of the line it ends on
  };
  void passQuietJamCycles();
  QuietRun quietJamCycles() const;
  // Off: every JAM cycle and every loop iteration through the run loop (tests
  // compare the two).
  bool fastForward = true;

  // A loop that waits repeats itself exactly until something happens: an
  // iteration that wrote nothing, touched no I/O (but for CIA interrupt data
  // polled and found empty), took no interrupt and lost no cycle to the VIC, and
  // came back to its head with the registers it left with, will do the same
  // again. So does a countdown (DEX, DEY, INX or INY and
  // a branch back to it) but for its counter. Taken backward jumps report their
  // target; the run loop then skips whole iterations up to the next event,
  // stolen cycle or slice end, so the cycle at which anything happens stays the
  // same (P6510FastForward.cpp).
  enum class LoopKind : uint8_t { none, repeating, countdown };
  struct LoopWatch {
    int32_t head = -1;  // -1: none
    TRegisters registers;  // at the end of the last jump
    uint32_t effects = 0;
    uint32_t endCycle = 0;  // clock.executedCycles at the end of the jump that arrived
    uint32_t period = 0;    // cycles of one iteration
    // How far the timers were behind at the arrival. An iteration that polls a
    // CIA brings them up to its read, so the lag stays the same; otherwise it
    // grows by the period.
    int64_t timersLag = 0;
    bool polls = false;
    uint8_t counterStep = 0;  // a countdown's DEX, DEY, INX or INY
    bool selfJump = false;    // the loop is a JMP to itself (noteSelfJump)
  };
  // Counts what makes an iteration more than waiting: writes, I/O reads,
  // interrupt dispatch, stolen cycles, BASIC traps.
  uint32_t sideEffects = 0;
  LoopWatch loopWatch;
  LoopKind loopFound = LoopKind::none;
  // On every taken backward jump. Most loops write: that cheap test is made
  // inline, and the state at the jump is kept for the next one. One whole
  // iteration in which nothing happened and after which the registers are as
  // they were proves the loop: every usage mark it makes is made by then.
  void noteBackwardJump(uint16_t from) {
    LoopWatch& w = loopWatch;
    if (w.head != PC || w.effects != sideEffects) [[likely]] {
      w.head = PC;
      w.effects = sideEffects;
      takeLoopState();
      return;
    }
    noteRepeatedJump(from);
  }
  void takeLoopState() {
    loopWatch.selfJump = false;
    loopWatch.registers = *this;
    stampLoopEnd();
  }
  // The end of the current instruction, and how far the timers are behind there.
  void stampLoopEnd() {
    LoopWatch& w = loopWatch;
    w.endCycle = clock.executedCycles + instructionCycles;
    w.timersLag = int64_t{w.endCycle} - clock.timersAt;
  }
  // The same jump again with nothing done in between: the registers decide.
  void noteRepeatedJump(uint16_t from);
  // A JMP to itself: it reads only its own bytes, which its first run has
  // marked, and changes nothing, so it is a loop from the first run on.
  void noteSelfJump();
  // Whether the instruction that just ended is a JMP to itself that
  // noteSelfJump found (or repeatSelfJump ran): while only time passes, the
  // run loop repeats it with repeatSelfJump instead of fetching it again.
  bool endedSelfJump() const {
    const LoopWatch& w = loopWatch;
    return w.selfJump && w.endCycle == clock.executedCycles && PC == w.head && !conventions.playSid;
  }
  // Another run of that JMP: what its fetch, its handler and noteSelfJump do
  // when they find everything as the last run left it.
  void repeatSelfJump() {
    irqAllowedAtStart = I == 0;
    pageCrossed = 0;
    branchDelay = 0;
    instructionCycles = 3;
    stampLoopEnd();
    loopWatch.effects = sideEffects;
    loopFound = LoopKind::repeating;
    clock.executedCycles += instructionCycles;
  }
  // Interrupts the dispatch has taken: a self jump repeats only while none is.
  uint32_t interruptsTaken = 0;
  void skipLoopIterations();
  // Cycles from now to the start of the first raster line on which the VIC could
  // steal from an instruction; 0 when it could on this line.
  int64_t cyclesFreeOfSteals(int64_t horizon) const;

  // Interrupt entry through vector (nmiVector or irqVector); returns its cycles.
  uint32_t interruptEntry(uint16_t vector, bool breakFlag = false);
  // BRK/RTI/RTS returning from the routine the driver called; runs once per start.
  void initReturnedBookkeeping();
  bool isIdle() const { return PC >= 0xFFFE; }

  // Opcode implementations that depend on the environment.
  void executeBrk();
  void executeRti();
  void executeRts();
  void executePlp();

  // ---- memory --------------------------------------------------------------
  std::array<uint8_t, 65536> ram{};
  std::array<uint8_t, 4096> ioImage{};
  std::array<uint8_t, 65536> pristineRam{};
  bool clearUsageOnFirstSid = false;
  bool firstSidAccessSeen = false;

  uint8_t lastSidWrite = 0;
  uint8_t lastVolume = 0;
  bool volumeIsZero = true;

  const TRoms& roms;
  // Port, banking, page tables and usage maps over ram and ioImage.
  TMemoryMap memory{ram, ioImage, roms, conventions};

  uint8_t readByte(uint16_t address);
  void writeByte(uint16_t address, uint8_t value);
  void writeRam(uint16_t address, uint8_t value, uint8_t& usage);
  uint8_t fetchByte();
  uint8_t fetchOpcode();
  uint8_t readZeroPage(uint8_t address);
  void writeZeroPage(uint8_t address, uint8_t value);
  void push(uint8_t value);
  uint8_t pull();
  // A bus cycle whose data is discarded.
  void dummyRead(uint16_t address);
  // Reads an interrupt vector from KERNAL ROM or RAM as the banking shows, marking it.
  uint16_t readVector(uint16_t vector);

  // A port write as the player lets it through (TPlayerConventions::portMaySwitch).
  void writePort(uint8_t value);
  void setPlaySidSpecific(bool flag);

  // ---- SID paths and playSID sample registers (P6510Sid.cpp) --------------
  TPlaySidSamples samples{ram};

  void sidWrite(uint16_t address, uint8_t value);
  uint8_t sidRead(uint16_t address);
  void handOffSidWrite(uint8_t reg, uint8_t value);
  void clearUsageMaps();
  void clockSamples(int32_t cycles) { handOffVolumes(samples.clock(cycles, lastVolume)); }
  void handOffVolumes(const TPlaySidSamples::Volumes& volumes);

  // ---- initial memory of a tune (P6510Placement.cpp) -----------------------
  uint16_t tuneLoadAddress = 0;
  uint16_t tuneLoadEnd = 0;
  // data: the file's bytes from the first C64 data byte on, placed at address.
  // The main part sets the whole memory up; a second part only adds its data.
  void placeTuneData(const TTuneStart& start, std::span<const uint8_t> data, uint16_t address,
                     TTuneStart::Part part, int32_t songIndex);
  // Memory as loaded again, for another sub-tune.
  void prepareSong(const TTuneStart& start, int32_t songIndex);
  // The I/O register image and timer latches a tune finds at its start.
  void resetIoDefaults();

  // ---- tune driver (P6510Driver.cpp) ----------------------------------------
  bool palMachine = true;
  float cyclesPerMs = 985.248f;
  float sliceOvershoot = 0;
  bool initPhase = false;
  uint16_t playRoutine = 0;
  TButtons buttons;
  // ---- time (TMachineClock) -------------------------------------------------
  TMachineClock clock;
  // Clocks the timers up to now and runs the dispatch.
  void dispatchDue() { dispatchInterrupts(clock.takePendingTimerCycles()); }
  // The song's playing time; it runs once init is over and the filter's clock is running.
  TSongClock songClock;

  // Sets the clock and CIA 1's timer as the tune's player does and calls init of
  // sub-tune song (1-based).
  void startTune(const TTuneStart& start, int32_t song);
  // One slice of about a millisecond; returns whether the SID was accessed recently.
  bool runSlice();
  void pressButtons() { buttons.press(); }
  void enableFixedStartup() { fixedStartup = true; }
  uint32_t songTime() const { return songClock.time(); }
  void resetSongClock() { songClock.reset(); }
  // Whether sub-tune song (1-based) is timed by a CIA timer.
  static bool speedBitSet(uint32_t speed, int32_t song, bool playSid);

  // ---- CIA, VIC-II and interrupts (P6510Timers.cpp) ------------------------
  // CIA 1 ($DC00, IRQ) and CIA 2 ($DD00, NMI); their registers are bytes of ioImage.
  std::array<TCia, 2> cias{TCia(&ioImage[0xC00]), TCia(&ioImage[0xD00])};

  TInterruptLines lines;
  uint32_t stolenCycles = 0;
  bool irqAllowedAtStart = false;

  // The raster and the bus the VIC takes; its registers are bytes of ioImage.
  TVicRaster vic{&ioImage[0]};

  // The raster is a position on the clock (clock.lineStartAt): the part's
  // cycleInLine is brought up to the count before the part is asked anything,
  // and the lines are crossed when the count reaches the line's end.
  int32_t cycleInLineNow() const { return static_cast<int32_t>(clock.executedCycles - clock.lineStartAt); }
  void syncRaster() { vic.cycleInLine = cycleInLineNow(); }
  void advanceRaster() {
    syncRaster();
    if (vic.cycleInLine >= vic.cyclesPerLine) crossRasterLines();
  }
  void crossRasterLines();
  // The raster's position restarts from the part's cycleInLine (set directly).
  void rasterMoved() {
    clock.lineStartAt = int64_t{clock.executedCycles} - vic.cycleInLine;
    planStop();
  }
  // The run loop's next stop (TMachineClock::stopAt).
  void planStop() {
    const int64_t lineEnd = clock.lineStartAt + int64_t{vic.cyclesPerLine} * vic.quietLines;
    const bool atOnce = conventions.playSid || loopFound != LoopKind::none || vic.stealArmed;
    clock.stopAt = atOnce ? 0 : std::min({clock.eventAt, lineEnd, int64_t{clock.sliceEndAt}});
  }
  // What the run loop does at a stop, after an instruction.
  void reachStop();
  bool vicMaySteal() const { return vic.stealArmed; }
  uint32_t stealCycles(int32_t cycleInLinePlusInstruction);
  void clockTimers(uint32_t cycles);
  void dispatchInterrupts(uint32_t cycles);
  // Cycles until the slice ends, a timer underflows or the raster reaches the
  // compare line, whichever comes first.
  int64_t cyclesToTimedEvent() const;
  // Brings the timers up to cycle position within the current instruction.
  void syncTimers(uint32_t position = 0);
  bool irqAcceptable() const;
  void resetTimers();
  void setPortForAddress(uint16_t address);

  // ---- VIC and CIA registers (P6510Io.cpp) --------------------------------
  uint8_t ioRead(uint16_t address);
  void ioWrite(uint16_t address, uint8_t value);
  uint8_t vicRead(uint8_t reg);
  void vicWrite(uint8_t reg, uint8_t value);
  uint8_t ciaRead(uint16_t foldedAddress);
  void ciaWrite(uint16_t foldedAddress, uint8_t value);
  void ciaDummyRead(uint16_t foldedAddress);
  // PLP or RTI let IRQs in again: latched interrupt sources raise them anew.
  void rederiveInterrupts();
  // Puts the play timing at its fixed starting point once init has returned.
  void restartPlayTiming();
  bool irqPending() const { return lines.irqPending(); }

 private:
  void setPal(bool pal);
  void ciaTimerUnderflows(TCia& cia, bool nmi);
  uint8_t readCiaRegister(int chip, uint8_t reg, bool dummy);
  void writeCiaRegister(int chip, uint8_t reg, uint8_t value);
  // The VIC's compare line reached: latch it, and raise the IRQ if enabled.
  void rasterCompareReached();
  void takeInterrupt();
  void callPlayRoutine();
  void runSliceLoop(float budget, bool initLoop);
  template <bool initLoop>
  void runInstructions(uint32_t cycleLimit, uint32_t idleLimit);
  void idleStep(uint32_t limit);
  uint8_t ioByte(uint16_t address) const { return ioImage[address - 0xD000]; }
  uint8_t& ioByte(uint16_t address) { return ioImage[address - 0xD000]; }

  std::minstd_rand startupJitter{std::random_device{}()};


  TSidFilter sidFilter;
  TRomTrapHandler* basicTrapHandler = nullptr;
};

// ---- hot paths ---------------------------------------------------------------

ZORVEX_HOT void T6510::executeInstruction() {
  pageCrossed = 0;
  branchDelay = 0;
  // The maps only change with the page of the code or the banking.
  if ((PC >> 12) != memory.codePage) [[unlikely]]
    currentOpcode = memory.selectUsageMaps(PC) ? fetchByte() : fetchOpcode();
  else
    currentOpcode = fetchOpcode();
  opcodeHandlers[currentOpcode](*this);
}

// fetchByte for an opcode on the chosen code page, which is never I/O.
ZORVEX_HOT uint8_t T6510::fetchOpcode() {
  const uint16_t address = PC++;
  TMemoryMap::markRead(memory.codeUsage[address], TMemoryMap::usageFetched);
  return memory.codeBytes[address & 0xFFF];
}

ZORVEX_HOT uint8_t T6510::readByte(uint16_t address) {
  const unsigned page = address >> 12;
  TMemoryMap::markRead(memory.activeUsagePages[page][address], TMemoryMap::usageRead);
  if (memory.ioReadPage[page]) [[unlikely]] return ioRead(address);
  return memory.readPages[page][address & 0xFFF];
}

ZORVEX_HOT uint8_t T6510::fetchByte() {
  const uint16_t address = PC++;
  const unsigned page = address >> 12;
  TMemoryMap::markRead(memory.activeUsagePages[page][address], TMemoryMap::usageFetched);
  if (memory.ioReadPage[page]) [[unlikely]] return ioRead(address);
  return memory.readPages[page][address & 0xFFF];
}

ZORVEX_HOT void T6510::writeByte(uint16_t address, uint8_t value) {
  if (address >= 0xD000 && memory.ioVisible) {
    if (address < 0xE000) {
      ++sideEffects;
      ioWrite(address, value);
      TMemoryMap::markWrite(memory.writeUsage(address, true));
      return;
    }
  } else if (address < 2 && memory.hasPort()) {
    ++sideEffects;
    if (address == 0)
      memory.writePortDirection(value);
    else
      writePort(value);
    TMemoryMap::markWrite(memory.writeUsage(address, false));
    return;
  }
  writeRam(address, value, memory.writeUsage(address, false));
}

// A store of the value a byte already holds, marked written before, changes
// nothing a later instruction could see: a waiting loop may make it (a JSR to
// a poll routine pushes the same return address every time).
ZORVEX_HOT void T6510::writeRam(uint16_t address, uint8_t value, uint8_t& usage) {
  if (ram[address] != value || !(usage & TMemoryMap::usageWritten)) ++sideEffects;
  ram[address] = value;
  TMemoryMap::markWrite(usage);
}

ZORVEX_HOT void T6510::dummyRead(uint16_t address) {
  TMemoryMap::markRead(memory.readUsage(address), TMemoryMap::usageDummyRead);
  // A discarded read of a CIA register still acknowledges it, as on the real bus.
  if (memory.ioReadPage[address >> 12] && address >= 0xDC00 && address < 0xDE00) [[unlikely]]
    ciaDummyRead(address & 0xFF0F);
}

ZORVEX_HOT uint8_t T6510::readZeroPage(uint8_t address) {
  TMemoryMap::markRead(memory.activeRamUsage[address], TMemoryMap::usageRead);
  return ram[address];
}

ZORVEX_HOT void T6510::writeZeroPage(uint8_t address, uint8_t value) {
  if (address < 2) {
    writeByte(address, value);
    return;
  }
  writeRam(address, value, memory.writeUsage(address, false));
}

ZORVEX_HOT void T6510::push(uint8_t value) {
  const uint16_t address = 0x0100 | SP;
  writeRam(address, value, memory.ramUsage[address]);
  --SP;
}

ZORVEX_HOT uint8_t T6510::pull() {
  ++SP;
  const uint16_t address = 0x0100 | SP;
  TMemoryMap::markRead(memory.ramUsage[address], TMemoryMap::usageRead);
  return ram[address];
}
