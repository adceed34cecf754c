// The processor: decimal mode, cycle counts, stack bookkeeping, interrupt entry
// and the environment-dependent BRK and RTI.
#include "MachineFixture.h"

namespace {

class ProcessorTest : public MachineTest {
 protected:
  ProcessorTest() { bank(0x34); }  // all RAM: no ROM or I/O in the way
};

TEST_F(ProcessorTest, DecimalAdcTakesZeroFromTheBinarySum) {
  code(0x1000, {0xF8, 0x18, 0xA9, 0x99, 0x69, 0x01});  // SED CLC LDA #$99 ADC #$01
  for (int i = 0; i < 4; ++i) step();
  EXPECT_EQ(c64->A, 0x00);
  EXPECT_EQ(c64->C, 1);
  EXPECT_EQ(c64->Z, 0);  // binary $9A is not zero
}

TEST_F(ProcessorTest, DecimalHandlersFollowTheDFlag) {
  // PLP of $08 switches to decimal, CLD back: the same ADC gives $10, then $0A.
  poke(0x01FF, {0x08});
  c64->SP = 0xFE;
  code(0x1000, {0x28, 0xA9, 0x09, 0x18, 0x69, 0x01, 0xD8, 0xA9, 0x09, 0x18, 0x69, 0x01});
  for (int i = 0; i < 4; ++i) step();
  EXPECT_EQ(c64->D, 1);
  EXPECT_EQ(c64->A, 0x10);
  for (int i = 0; i < 4; ++i) step();
  EXPECT_EQ(c64->D, 0);
  EXPECT_EQ(c64->A, 0x0A);
}

TEST_F(ProcessorTest, DecimalSbcAndIscAdjustOnlyTheAccumulator) {
  // SED SEC LDA #$10 SBC #$01 -> $09, C set; then ISC $20 with $20 = $00 -> $09 - 1 = $08.
  poke(0x0020, {0x00});
  code(0x1000, {0xF8, 0x38, 0xA9, 0x10, 0xE9, 0x01, 0xE7, 0x20});
  for (int i = 0; i < 4; ++i) step();
  EXPECT_EQ(c64->A, 0x09);
  EXPECT_EQ(c64->C, 1);
  step();
  EXPECT_EQ(c64->ram[0x20], 0x01);
  EXPECT_EQ(c64->A, 0x08);
}

TEST_F(ProcessorTest, IndexedReadsPayForPageCrossingsWritesAlwaysPay) {
  c64->X = 1;
  code(0x2000, {0xBD, 0xFF, 0x10});  // LDA $10FF,X
  EXPECT_EQ(step(), 5u);
  EXPECT_EQ(c64->pageCrossed, 1);
  EXPECT_TRUE(memory().ramUsage[0x1000] & TMemoryMap::usageDummyRead);  // the unfixed address
  code(0x2000, {0xBD, 0x00, 0x10});  // LDA $1000,X
  EXPECT_EQ(step(), 4u);
  EXPECT_EQ(c64->pageCrossed, 0);
  code(0x2000, {0x9D, 0xFF, 0x10});  // STA $10FF,X
  EXPECT_EQ(step(), 5u);
  code(0x2000, {0x9D, 0x00, 0x10});  // STA $1000,X
  EXPECT_EQ(step(), 5u);
  // (zp),Y crossing a page
  poke(0x0080, {0xFF, 0x30});
  c64->Y = 1;
  code(0x2000, {0xB1, 0x80});
  EXPECT_EQ(step(), 6u);
}

TEST_F(ProcessorTest, BranchCyclesAndInterruptDelay) {
  c64->Z = 0;
  code(0x1000, {0xD0, 0x10});  // taken, same page
  EXPECT_EQ(step(), 3u);
  EXPECT_EQ(c64->branchDelay, 1);
  EXPECT_EQ(c64->PC, 0x1012);
  code(0x10F0, {0xD0, 0x20});  // taken, across a page
  EXPECT_EQ(step(), 4u);
  EXPECT_EQ(c64->branchDelay, 0);
  EXPECT_EQ(c64->PC, 0x1112);
  code(0x1000, {0xF0, 0x10});  // not taken
  EXPECT_EQ(step(), 2u);
  EXPECT_EQ(c64->PC, 0x1002);
  EXPECT_EQ(c64->branchDelay, 0);
}

TEST_F(ProcessorTest, IndirectJumpWrapsWithinThePage) {
  poke(0x10FF, {0x34});
  poke(0x1000, {0x12});
  poke(0x1100, {0x99});
  code(0x2000, {0x6C, 0xFF, 0x10});
  EXPECT_EQ(step(), 5u);
  EXPECT_EQ(c64->PC, 0x1234);
}

TEST_F(ProcessorTest, JamStaysOnItsByteOneCycleAStep) {
  code(0x1000, {0x02});
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(step(), 1u);
    EXPECT_EQ(c64->PC, 0x1000);
  }
}

TEST_F(ProcessorTest, StackDepthFollowsPushesCallsAndReturns) {
  c64->SP = 0xFF;
  code(0x1000, {0x20, 0x00, 0x20});  // JSR $2000
  poke(0x2000, {0x48, 0x08, 0x68, 0x28, 0x60});  // PHA PHP PLA PLP RTS
  const int expected[] = {2, 3, 4, 3, 2, 0};
  for (int depth : expected) {
    step();
    EXPECT_EQ(c64->stackDepth, depth);
  }
  EXPECT_EQ(c64->PC, 0x1003);
  EXPECT_EQ(c64->SP, 0xFF);
  c64->X = 0xF0;
  code(0x1000, {0x9A});  // TXS
  step();
  EXPECT_EQ(c64->stackDepth, 15);
}

TEST_F(ProcessorTest, RtsFromTheIdleSentinelLandsOnFFFF) {
  c64->SP = 0xFF;
  c64->push(0xFF);
  c64->push(0xFE);
  code(0x1000, {0x60});
  step();
  EXPECT_EQ(c64->PC, 0xFFFF);
  EXPECT_TRUE(c64->isIdle());
}

TEST_F(ProcessorTest, InterruptEntryPushesAndLoadsTheVector) {
  c64->SP = 0xFF;
  c64->PC = 0x1234;
  c64->C = 1;
  c64->D = 1;
  c64->setDecimalMode();
  poke(0xFFFE, {0x00, 0x30});  // RAM vector: HIRAM is off
  EXPECT_EQ(c64->interruptEntry(T6510::irqVector), 7u);
  EXPECT_EQ(c64->PC, 0x3000);
  EXPECT_EQ(c64->I, 1);
  EXPECT_EQ(c64->D, 1);  // the NMOS entry leaves D alone
  EXPECT_EQ(c64->stackDepth, 3);
  EXPECT_EQ(c64->ram[0x01FF], 0x12);
  EXPECT_EQ(c64->ram[0x01FE], 0x34);
  EXPECT_EQ(c64->ram[0x01FD], 0x29);  // C, D and bit 5; B clear
  EXPECT_TRUE(memory().ramUsage[0xFFFE] & TMemoryMap::usageRead);
  bank(0x37);
  c64->PC = 0x1234;
  c64->interruptEntry(T6510::nmiVector);
  EXPECT_EQ(c64->PC, roms->kernalWord(0xFFFA));
  EXPECT_TRUE(memory().romUsage[0xFFFA] & TMemoryMap::usageRead);
}

TEST_F(ProcessorTest, InterruptWithoutHandlerCostsOnlyItsTime) {
  c64->SP = 0xF0;
  c64->PC = 0x1234;
  c64->N = 1;
  EXPECT_EQ(c64->interruptEntry(T6510::nmiVector), 7u);  // RAM vector $0000
  EXPECT_EQ(c64->PC, 0x1234);
  EXPECT_EQ(c64->SP, 0xF0);
  EXPECT_EQ(c64->I, 0);
  EXPECT_EQ(c64->N, 1);
  EXPECT_EQ(c64->stackDepth, 0);
  // A real C64 jumps to $0000 regardless.
  conventions().realC64 = true;
  c64->interruptEntry(T6510::nmiVector);
  EXPECT_EQ(c64->PC, 0x0000);
  EXPECT_EQ(c64->SP, 0xED);
}

TEST_F(ProcessorTest, BrkEndsThePsidRoutineOnce) {
  c64->SP = 0xFF;
  c64->push(0xFF);
  c64->push(0xFE);
  code(0x1000, {0x00});
  step();
  EXPECT_EQ(c64->PC, 0xFFFF);
  EXPECT_TRUE(c64->initReturned);
  c64->push(0xFF);
  c64->push(0xFE);
  code(0x1000, {0x00});
  step();
  const auto queued = drain();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].reg, markerInitDone);
}

TEST_F(ProcessorTest, BrkInPlaySidModeGoesIdle) {
  c64->setPlaySidSpecific(true);
  c64->SP = 0xFF;
  code(0x1000, {0x00});
  step();
  EXPECT_EQ(c64->PC, 0xFFFE);
  EXPECT_EQ(c64->SP, 0xFF);
  ASSERT_EQ(drain().size(), 1u);
}

TEST_F(ProcessorTest, BrkOnARealC64GoesThroughTheKernalVector) {
  conventions().realC64 = true;
  bank(0x37);
  c64->SP = 0xFF;
  code(0x1000, {0x00, 0xEA});
  EXPECT_EQ(step(), 7u);
  EXPECT_EQ(c64->PC, roms->kernalWord(0xFFFE));
  EXPECT_EQ(c64->ram[0x01FF], 0x10);
  EXPECT_EQ(c64->ram[0x01FE], 0x02);  // past the padding byte
  EXPECT_EQ(c64->ram[0x01FD] & 0x30, 0x30);
  EXPECT_EQ(c64->I, 1);
  EXPECT_EQ(c64->stackDepth, 3);
  EXPECT_TRUE(drain().empty());
}

TEST_F(ProcessorTest, RtiEndsAPsidPlayCallWithoutPulling) {
  conventions().hasPlayAddress = true;
  c64->SP = 0xF0;
  code(0x1000, {0x40});
  step();
  EXPECT_EQ(c64->PC, 0xFFFF);
  EXPECT_EQ(c64->SP, 253);
  ASSERT_EQ(drain().size(), 1u);
  // Without a play address, or returning from an NMI, RTI pulls as usual.
  c64->nmiInService = true;
  c64->SP = 0xFC;
  poke(0x01FD, {0x08, 0x34, 0x12});
  code(0x1000, {0x40});
  step();
  EXPECT_EQ(c64->PC, 0x1234);
  EXPECT_EQ(c64->D, 1);
  EXPECT_FALSE(c64->nmiInService);
  EXPECT_EQ(c64->SP, 0xFF);
}

TEST_F(ProcessorTest, UndocumentedImmediateOperations) {
  struct Case {
    uint8_t opcode, a, x, operand, carry, wantA, wantX, wantC;
  } cases[] = {
      {0x0B, 0x81, 0, 0xFF, 0, 0x81, 0, 1},     // ANC copies N to C
      {0x4B, 0x03, 0, 0x03, 0, 0x01, 0, 1},     // ALR
      {0x6B, 0xFF, 0, 0xFF, 1, 0xFF, 0, 1},     // ARR: C from bit 6
      {0x8B, 0x00, 0xFF, 0x0F, 0, 0x0E, 0xFF, 0},  // ANE with $EE
      {0xAB, 0x00, 0x00, 0xFF, 0, 0xEE, 0xEE, 0},  // LXA with $EE
      {0xCB, 0x0F, 0xF3, 0x02, 0, 0x0F, 0x01, 1},  // SBX
  };
  for (const Case& k : cases) {
    c64->A = k.a;
    c64->X = k.x;
    c64->C = k.carry;
    code(0x1000, {k.opcode, k.operand});
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(c64->A, k.wantA) << std::hex << int(k.opcode);
    EXPECT_EQ(c64->X, k.wantX) << std::hex << int(k.opcode);
    EXPECT_EQ(c64->C, k.wantC) << std::hex << int(k.opcode);
  }
}

}  // namespace
