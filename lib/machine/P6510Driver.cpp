// The tune driver: starts a sub-tune with its init routine, calls the play
// routine at the tune's speed or lets the tune's own interrupts run, and runs
// the machine in slices of about a millisecond of C64 time.
#include <algorithm>
#include <cmath>

#include "P6510.h"
#include "SidWrapper.h"

namespace {

constexpr uint32_t idleNotifyThreshold = 19655;
constexpr uint32_t idleKeep = 1965;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Fuzzing wants thousands of inputs a second: an init that never returns gets
// a hundredth of a second instead of a minute.
constexpr int initSliceLimit = 1;
constexpr float initSliceShare = 0.1f;
#else
constexpr int initSliceLimit = 591;
constexpr float initSliceShare = 1.0f;
#endif
// A runaway init that fills the access queue stops being run in long slices;
// it carries on in ordinary slices, which the caller drains.
constexpr int32_t initQueueLimit = 1 << 22;

}  // namespace

bool T6510::speedBitSet(uint32_t speed, int32_t song, bool playSid) {
  const int32_t index = std::max(song, 1) - 1;
  const int32_t bit = playSid ? index % 32 : std::min(index, 31);
  return (speed >> bit) & 1;
}

void T6510::setPal(bool pal) {
  palMachine = pal;
  vic.setPal(pal);
  cyclesPerMs = pal ? 985.248f : 1022.727f;
  songClock.setPal(pal);
  if (tuneLoadAddress > 0x02A6) ram[0x02A6] = pal ? 1 : 0;
}

TTuneStart::TimerSetup TTuneStart::cia1Timer(int32_t song) const {
  // The values follow the PAL bit alone: a tune that states no clock gets the
  // NTSC values on its PAL machine. Kept as it is: changing it would change the
  // stream of every such tune, and with it its data hash.
  if (realC64) return {static_cast<uint16_t>(pal ? 16421 : 17045), false};
  if (T6510::speedBitSet(speed, song, playSid)) return {static_cast<uint16_t>(pal ? 16380 : 17095), true};
  // One frame: 312 lines of 63 cycles (PAL), 263 of 65 (NTSC).
  return {static_cast<uint16_t>(pal ? 19656 : 17095), false};
}

void T6510::setPortForAddress(uint16_t address) {
  uint8_t value = 0x36;
  if (address >= 0xD000 && address < 0xE000)
    value = 0x34;
  else if (address >= 0xE000)
    value = 0x35;
  else if (address < 0xA000)
    value = 0x37;
  writePort(value);
}

void T6510::callPlayRoutine() {
  setPortForAddress(playRoutine);
  push(0xFF);
  push(0xFE);
  stackDepth += 2;
  PC = playRoutine;
  A = X = Y = 0;
  ioImage[0xC0D] &= 0x7F;
  ioImage[0x019] &= 0x7F;
}

void T6510::startTune(const TTuneStart& start, int32_t song) {
  setPal(start.palMachine());
  for (TCia& cia : cias) cia.loadCounters();
  const TTuneStart::TimerSetup timer = start.cia1Timer(song);
  cias[0].timerALatch = timer.latch;
  if (timer.alsoCounter) cias[0].timerACounter = timer.latch;
  const uint16_t initAddress = start.initAddress;
  uint16_t playAddress = start.playAddress;
  const uint32_t speed = start.speed;

  sidFilter.reset();
  firstSidAccessSeen = false;
  if (basicTrapHandler) basicTrapHandler->reset();
  // Nothing of an earlier tune may reach this one: an instance that played
  // other tunes before gives the same stream as a new one.
  lastSidWrite = 0;
  lastVolume = 0;
  sliceOvershoot = 0;

  resetTimers();
  samples.stop();
  buttons.release();
  volumeIsZero = true;
  resetSongClock();
  PC = 0;
  playRoutine = 0;
  initPhase = true;
  initReturned = false;
  initDoneSignalled = false;
  branchDelay = 0;
  pageCrossed = 0;

  conventions.realC64 = start.realC64;
  const int32_t songIndex = std::max(song - 1, 0);
  conventions.vblank = !speedBitSet(speed, song, conventions.playSid);
  conventions.hasPlayAddress = playAddress != 0;

  if (conventions.realC64) {
    vic.rasterCompare = 311;
    ioImage[0x011] = 0x9B;
    // On a C64 the raster has met its compare line many times since power-on
    // and nothing acknowledged it: a tune that enables the raster interrupt
    // gets its first one at once.
    ioImage[0x019] |= 0x01;
  } else {
    vic.rasterCompare = conventions.vblank ? 0 : 55;
    ioImage[0x011] = 0x1B;
  }
  vic.rasterLine = 55;
  ioImage[0x012] = 55;

  TCia& cia1 = cias[0];
  cia1.timerAStopped = false;
  cia1.timerAIrqEnabled = !conventions.rasterDrivesPlay();
  ioImage[0x01A] = conventions.rasterDrivesPlay() ? 1 : 0;
  ioImage[0xC0E] = 0x01;
  ioImage[0xC0D] = 0x00;
  cia1.interruptMask = 0x01;
  cias[1].interruptMask = 0x00;
  ioImage[0xC02] = 0xFF;
  ioImage[0xC03] = 0x00;
  // A real machine reaches the tune at an arbitrary point of the timer period.
  cia1.timerACounter = 8192 + (fixedStartup ? 0 : static_cast<int32_t>(startupJitter() & 0xFF));

  if (D) setBinaryMode();
  C = Z = I = D = V = N = 0;
  B = U = 1;

  auto realC64Stack = [this, songIndex] {
    SP = 0xFA;
    static constexpr uint8_t frames[] = {0xA4, 0x79, 0xA6, 0x0A, 0x00};
    for (int i = 0; i < 5; ++i) ram[0x01FB + i] = frames[i];
    for (uint16_t a = 0x030C; a <= 0x030E; ++a)
      if (tuneLoadAddress > a) ram[a] = static_cast<uint8_t>(songIndex);
  };
  if (initAddress != 0) {
    A = X = Y = static_cast<uint8_t>(songIndex);
    if (conventions.realC64)
      realC64Stack();
    else
      SP = 0xFF;
    if (initAddress >= 0xD000 && initAddress < 0xE000)
      writePort(0x34);
    else if (initAddress >= 0xE000)
      writePort(0x35);
    else
      writePort((tuneLoadEnd < 0xA000 || conventions.realC64) ? 0x37 : 0x36);
    PC = initAddress;
    push(0xFF);
    push(0xFE);
    stackDepth = 2;
  } else {
    A = X = Y = 0;
    realC64Stack();
    writePort(0x37);
    vic.rasterLine = 131;
    ioImage[0x019] |= 0x01;
    PC = 0xA7AE;  // BASIC's RUN
    stackDepth = 0;
  }

  clock.restartCount();
  clock.sidAccessAt = 0;  // the SID idle from here
  cyclesPerMs = palMachine ? 985.248f : 1022.727f;

  if (PC != 0 && playAddress != 0 && !conventions.realC64) {
    const float initBudget = (palMachine ? 98280.0f : 102570.0f) * initSliceShare;
    for (int i = 0; i < initSliceLimit && !isIdle(); ++i) {
      if (sidFilter.queued() > initQueueLimit) break;
      runSliceLoop(initBudget, true);
    }
    initReturned = isIdle();
  }

  if (initReturned) {
    initReturnedBookkeeping();
    SP = 0xFF;
    PC = 0xFFFF;
    push(0xFF);
    push(0xFE);
    stackDepth = 2;
    I = 0;
    setPortForAddress(playAddress);
    // A play address holding BRK would only end at once: play from the vectors.
    if (memory.readPages[playAddress >> 12][playAddress & 0xFFF] == 0x00) playAddress = 0;
    playRoutine = playAddress;
    if (playRoutine != 0) {
      push(0xFF);
      push(0xFE);
      stackDepth = 2;
    } else {
      stackDepth = 3;
      SP = 0xFF;
      push(0xFF);
      push(0xFE);
      push(static_cast<uint8_t>((packStatus() & ~0x10) | 0x20));
      I = 1;
      PC = readVector(irqVector);
      if (PC == 0) PC = static_cast<uint16_t>(ram[0x0314] | ram[0x0315] << 8);
    }
  }

  initPhase = false;
  if (conventions.realC64) {
    initDoneSignalled = true;
    sidFilter.pushMarker(markerInitDone);
  }
  clock.eventNow();
}

void T6510::idleStep(uint32_t limit) {
  syncTimers();
  uint32_t skip = static_cast<uint32_t>(std::clamp<int64_t>(clock.cyclesToEvent(), 1, 0x7FFFFFFF));
  if (clock.executedCycles + skip > limit) skip = limit > clock.executedCycles ? limit - clock.executedCycles : 1;
  clock.executedCycles += skip;
  advanceRaster();
  // The idle loop behaves like a JMP to itself for the VIC's bus takeover.
  currentOpcode = 0x4C;
  instructionCycles = 3;
  pageCrossed = 0;
  branchDelay = 0;
  stolenCycles = vicMaySteal() ? stealCycles(vic.cycleInLine + 3) : 0;
  clock.executedCycles += stolenCycles;
  advanceRaster();
  dispatchDue();
}

// The instructions of one slice. Init's slices end early, when init returns;
// the rest is the same (the template takes that test out of the other slices).
// After an instruction the loop only compares the count with the next stop;
// the VIC's steal, the raster's line end, the dispatch, playSID's samples and a
// found loop are all handled there (reachStop).
void T6510::reachStop() {
  // The VIC takes its cycles at the end of the instruction.
  stolenCycles = vicMaySteal() ? stealCycles(cycleInLineNow()) : 0;
  clock.executedCycles += stolenCycles;
  advanceRaster();
  if (conventions.playSid) clockSamples(static_cast<int32_t>(instructionCycles + stolenCycles));
  if (loopFound != LoopKind::none) {
    if (clock.executedCycles < clock.eventAt && stolenCycles == 0)
      skipLoopIterations();
    else
      loopFound = LoopKind::none;
  }
  const bool dispatch = clock.executedCycles >= clock.eventAt;
  if (dispatch) dispatchDue();  // which plans the next stop itself
  // The instructions up to the next stop lose nothing to the VIC: the stop
  // comes at once while it may steal.
  stolenCycles = 0;
  if (!dispatch) planStop();
}

template <bool initLoop>
void T6510::runInstructions(uint32_t cycleLimit, uint32_t idleLimit) {
  const bool playSid = conventions.playSid;
  // The slice's end is a stop too: the count is compared with it only there.
  clock.sliceEndAt = cycleLimit;
  planStop();
  if (clock.executedCycles >= cycleLimit) return;
  for (;;) {
    irqAllowedAtStart = I == 0;
    if (PC >= 0xFFFE) {
      PC = 0xFFFE;
      if (initLoop) break;
      if (!playSid) {
        idleStep(idleLimit);
        if (clock.executedCycles >= cycleLimit) break;
        continue;
      }
      // playSID keeps the processor busy in a loop at the sentinel.
      currentOpcode = 0x4C;
      instructionCycles = 3;
      pageCrossed = 0;
      branchDelay = 0;
    } else {
      executeInstruction();
    }
    clock.executedCycles += instructionCycles;
    bool sliceOver = false;
    if (clock.executedCycles >= clock.stopAt) [[unlikely]] {
      const bool selfJump = loopFound != LoopKind::none && endedSelfJump();
      const uint32_t interrupts = interruptsTaken;
      reachStop();
      sliceOver = clock.executedCycles >= cycleLimit;
      // A JMP to itself runs again and again until an interrupt takes the
      // processor away; each run is followed by a stop.
      if (selfJump) {
        while (!sliceOver && !(initLoop && stackDepth <= 0) && interruptsTaken == interrupts &&
               PC == loopWatch.head) {
          repeatSelfJump();
          reachStop();
          sliceOver = clock.executedCycles >= cycleLimit;
        }
      }
    }
    if (initLoop && stackDepth <= 0) {
      stackDepth = 0;
      break;
    }
    if (sliceOver) break;
  }
}

void T6510::runSliceLoop(float budget, bool initLoop) {
  clock.restartCount();
  clock.timersAt = 0;  // what a slice did not clock is not owed to the next
  clock.sliceBudget = budget;
  // The same test as clock.executedCycles < budget for every count a slice reaches.
  const uint32_t cycleLimit = budget > 0 ? static_cast<uint32_t>(std::ceil(budget)) : 0;
  // An idle step ends no later than one cycle past the budget, rounded.
  const uint32_t idleLimit = static_cast<uint32_t>(std::lround(budget)) + 1;
  loopWatch.head = -1;  // its cycle stamps count from the slice's start
  vic.rearm();          // the driver and the placement set the raster's fields directly
  if (!conventions.realC64 && stackDepth < 0) {
    stackDepth = 0;
    PC = 0xFFFE;
    initReturnedBookkeeping();
  }
  if (initLoop)
    runInstructions<true>(cycleLimit, idleLimit);
  else
    runInstructions<false>(cycleLimit, idleLimit);
  advanceRaster();  // the part's fields up to date for whoever looks between slices
  if (clock.pendingTimerCycles() > 0) dispatchDue();

  buttons.elapse(clock.executedCycles);
  // A tune that waited for a key and has not sounded yet starts over from here.
  if (buttons.tuneLooked() && volumeIsZero) {
    resetSongClock();
    buttons.forgetLook();
    sidFilter.restart();
    firstSidAccessSeen = false;
  }
  for (TCia& cia : cias) cia.tickTimeOfDay(clock.executedCycles);
  if (!initPhase && sidFilter.clockRunning()) songClock.advance(clock.executedCycles);
  // Long silences reach the SID model in one piece, not as one huge delay later.
  if (clock.cyclesSinceSid() > idleNotifyThreshold) {
    if (sidFilter.clock(static_cast<int32_t>(clock.cyclesSinceSid() - idleKeep)) > 0) clock.setCyclesSinceSid(idleKeep);
  }
}

bool T6510::runSlice() {
  const float budget = cyclesPerMs - sliceOvershoot;
  runSliceLoop(budget, false);
  sliceOvershoot = static_cast<float>(clock.executedCycles) - budget;
  return clock.cyclesSinceSid() < 2 * clock.executedCycles;
}
