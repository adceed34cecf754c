// The processor core: dispatch, status byte, interrupt entry and the opcodes
// whose effect depends on the machine environment (BRK, RTI, RTS, PLP).
#include "P6510.h"

#include "SidWrapper.h"

T6510::T6510(TSidWrapper& sid, const TRoms& romSet)
    : roms(romSet), sidFilter(sid) {
  installBinaryTable();
  memory.resetPort();
  memory.selectUsageMaps(PC);
}

void TProcessor::pullStatusFlags(uint8_t p) {
  C = p & 1;
  Z = (p >> 1) & 1;
  I = (p >> 2) & 1;
  B = (p >> 4) & 1;
  U = (p >> 5) & 1;
  V = (p >> 6) & 1;
  N = p >> 7;
  const uint8_t decimal = (p >> 3) & 1;
  if (decimal != D) {
    D = decimal;
    if (decimal)
      setDecimalMode();
    else
      setBinaryMode();
  }
}

uint16_t T6510::readVector(uint16_t vector) {
  // The vectors are in the top page: KERNAL ROM when the banking shows it.
  if (memory.romVisible[0xF]) {
    TMemoryMap::markRead(memory.romUsage[vector], TMemoryMap::usageRead);
    TMemoryMap::markRead(memory.romUsage[vector + 1], TMemoryMap::usageRead);
    return roms.kernalWord(vector);
  }
  TMemoryMap::markRead(memory.ramUsage[vector], TMemoryMap::usageRead);
  TMemoryMap::markRead(memory.ramUsage[vector + 1], TMemoryMap::usageRead);
  return static_cast<uint16_t>(ram[vector] | ram[vector + 1] << 8);
}

uint32_t T6510::interruptEntry(uint16_t vector, bool breakFlag) {
  push(static_cast<uint8_t>(PC >> 8));
  push(static_cast<uint8_t>(PC));
  push(static_cast<uint8_t>((packStatus() & ~0x10) | 0x20 | (breakFlag ? 0x10 : 0)));
  I = 1;
  PC = readVector(vector);
  stackDepth += 3;
  if (PC == 0 && !conventions.realC64) {
    // No handler installed: the entry is undone at once and only costs its time.
    pullStatusFlags(pull());
    const uint8_t lo = pull();
    const uint8_t hi = pull();
    PC = static_cast<uint16_t>(lo | hi << 8);
    stackDepth -= 3;
  }
  return 7;
}

void T6510::initReturnedBookkeeping() {
  ++sideEffects;
  if (initDoneSignalled) return;
  initDoneSignalled = true;
  initReturned = true;
  if (fixedStartup && !conventions.realC64) restartPlayTiming();
  sidFilter.pushMarker(markerInitDone);
}

void T6510::executeRts() {
  instructionCycles = 6;
  dummyRead(PC);
  const uint8_t lo = pull();
  const uint8_t hi = pull();
  PC = static_cast<uint16_t>((lo | hi << 8) + 1);
  stackDepth -= 2;
}

void T6510::executeBrk() {
  switch (conventions.brkMeaning()) {
    case TPlayerConventions::BrkMeaning::stopAtIdle:
      instructionCycles = 7;
      PC = 0xFFFE;
      initReturnedBookkeeping();
      return;
    case TPlayerConventions::BrkMeaning::returnLikeRts:
      initReturnedBookkeeping();
      executeRts();
      return;
    case TPlayerConventions::BrkMeaning::interrupt:
      break;
  }
  instructionCycles = 7;
  dummyRead(PC);
  ++PC;
  B = 1;
  // An NMI already signalled takes over the BRK's pushes and pushes B set.
  if (lines.nmiDue) {
    lines.breakTakenOver = true;
    return;
  }
  push(static_cast<uint8_t>(PC >> 8));
  push(static_cast<uint8_t>(PC));
  push(packStatus() | 0x30);
  I = 1;
  PC = readVector(irqVector);
  stackDepth += 3;
}

void T6510::executeRti() {
  instructionCycles = 6;
  dummyRead(PC);
  const bool endsNmi = nmiInService;
  nmiInService = false;
  if (conventions.rtiEndsPlay(endsNmi)) {
    // The stack is left as it is.
    PC = 0xFFFF;
    SP = 253;
    initReturnedBookkeeping();
    return;
  }
  pullStatusFlags(pull());
  const uint8_t lo = pull();
  const uint8_t hi = pull();
  PC = static_cast<uint16_t>(lo | hi << 8);
  stackDepth -= 3;
  if (conventions.realC64 && !endsNmi) rederiveInterrupts();
}

void T6510::executePlp() {
  instructionCycles = 4;
  const uint8_t wasI = I;
  pullStatusFlags(pull() | 0x30);
  --stackDepth;
  if (wasI && !I) rederiveInterrupts();
}
