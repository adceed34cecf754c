// Banking through the processor port and the usage marks of every access.
#include "MachineFixture.h"
#include "MemoryMap.h"

namespace {

TEST(MemoryMapPart, PortChoosesThePagesAndAFlatMapHasNoPort) {
  std::array<uint8_t, 65536> ram{};
  std::array<uint8_t, 4096> io{};
  const TRoms& roms = TRoms::shared();
  TPlayerConventions conventions;
  TMemoryMap map(ram, io, roms, conventions);
  map.resetPort();
  EXPECT_EQ(ram[0], 0x2F);
  EXPECT_EQ(ram[1], 0x37);
  EXPECT_EQ(map.readPages[0xA], roms.basic.data());
  EXPECT_EQ(map.readPages[0xD], io.data());
  EXPECT_EQ(map.readPages[0xF], roms.kernal.data() + 0x1000);
  EXPECT_EQ(map.usagePages[0xE], map.romUsage.data());
  map.writePort(0x34);
  for (unsigned page = 0; page < 16; ++page) {
    EXPECT_EQ(map.readPages[page], ram.data() + page * 0x1000) << page;
    EXPECT_FALSE(map.romVisible[page]) << page;
  }
  EXPECT_FALSE(map.ioVisible);

  ram[0] = ram[1] = 0x99;
  map.makeFlat();
  EXPECT_FALSE(map.hasPort());
  map.resetPort();  // nothing to reset: the bytes and the banking stay
  EXPECT_EQ(ram[0], 0x99);
  EXPECT_EQ(ram[1], 0x99);
  EXPECT_EQ(map.readPages[0xA], ram.data() + 0xA000);
}

using Memory = MachineTest;

uint8_t basicByte(uint16_t a) { return static_cast<uint8_t>(0xB0 ^ (a - 0xA000)); }
uint8_t kernalByte(uint16_t a) { return static_cast<uint8_t>(0xE0 ^ (a - 0xE000)); }
uint8_t charByte(uint16_t a) { return static_cast<uint8_t>(0xC0 ^ (a - 0xD000)); }

TEST_F(Memory, ConfigurationTableSelectsRomsAndIo) {
  c64->ram[0xA123] = 0x11;
  c64->ram[0xD123] = 0x22;
  c64->ram[0xE123] = 0x33;
  c64->ioImage[0x0123 & 0x3F] = 0x44;  // the VIC register $D123 folds to
  enum Sees { Ram, Rom, Io };
  const struct {
    Sees a, d, e;
  } table[8] = {{Ram, Ram, Ram}, {Ram, Rom, Ram}, {Ram, Rom, Rom}, {Rom, Rom, Rom},
                {Ram, Ram, Ram}, {Ram, Io, Ram},  {Ram, Io, Rom},  {Rom, Io, Rom}};
  conventions().realC64 = true;
  c64->writeByte(0x0000, 0xFF);  // all lines outputs
  for (uint8_t config = 0; config < 8; ++config) {
    c64->writeByte(0x0001, config);
    SCOPED_TRACE(int(config));
    EXPECT_EQ(c64->readByte(0xA123), table[config].a == Rom ? basicByte(0xA123) : 0x11);
    EXPECT_EQ(c64->readByte(0xE123), table[config].e == Rom ? kernalByte(0xE123) : 0x33);
    const uint8_t d = table[config].d == Io ? 0x44 : table[config].d == Rom ? charByte(0xD123) : 0x22;
    EXPECT_EQ(c64->readByte(0xD123), d);
    EXPECT_EQ(memory().ioVisible, table[config].d == Io);
  }
}

TEST_F(Memory, AllPortLinesAsInputsShowTheDefaultMap) {
  c64->writeByte(0x0000, 0x00);
  EXPECT_EQ(memory().configuration, 7);
  EXPECT_TRUE(memory().ioVisible);
  EXPECT_EQ(c64->readByte(0xA000), basicByte(0xA000));
  EXPECT_EQ(c64->ram[0], 0x00);
  EXPECT_EQ(c64->ram[1] & 0x20, 0);  // undriven motor line reads low
}

TEST_F(Memory, WritesUnderRomAndIoLandWhereTheyBelong) {
  bank(0x35);  // RAM, I/O, RAM
  c64->writeByte(0xE000, 0x5A);
  EXPECT_EQ(c64->ram[0xE000], 0x5A);
  EXPECT_EQ(c64->readByte(0xE000), 0x5A);
  bank(0x36);  // KERNAL over it now
  EXPECT_EQ(c64->readByte(0xE000), kernalByte(0xE000));
  c64->writeByte(0xE001, 0x77);  // still RAM underneath
  EXPECT_EQ(c64->ram[0xE001], 0x77);
  // I/O swallows the write; $DE00-$DFFF read back the stored image.
  c64->writeByte(0xDE12, 0x99);
  EXPECT_EQ(c64->ram[0xDE12], 0x00);
  EXPECT_EQ(c64->readByte(0xDE12), 0x99);
}

TEST_F(Memory, CodeUnderRomCannotBankThatRomInOverItself) {
  bank(0x35);
  code(0xE100, {0xA9, 0x37, 0x85, 0x01});  // LDA #$37 STA $01, from RAM under the KERNAL
  step();
  step();
  EXPECT_EQ(memory().portValue, 0x35);
  // BASIC area: the same from $A100 with LORAM+HIRAM.
  bank(0x34);
  code(0xA100, {0xA9, 0x37, 0x85, 0x01});
  step();
  step();
  EXPECT_EQ(memory().portValue, 0x34);
  // Code in ordinary RAM may bank freely, and a real C64 has no such rule.
  code(0x1000, {0xA9, 0x37, 0x85, 0x01});
  step();
  step();
  EXPECT_EQ(memory().portValue, 0x37);
  bank(0x35);
  conventions().realC64 = true;
  code(0xE100, {0xA9, 0x37, 0x85, 0x01});
  step();
  step();
  EXPECT_EQ(memory().portValue, 0x37);
}

TEST_F(Memory, CodeInTheIoAreaRunsFromTheChipsAndCodeElsewhereFromItsPage) {
  bank(0x35);  // RAM, I/O, RAM
  // $D040 is VIC register $D000 again: the bytes stored at $D040 itself and
  // the RAM under it are not what runs there.
  const uint8_t registers[] = {0xA9, 0x42, 0xA0, 0x24, 0x4C, 0x00, 0x10};  // LDA #$42 : LDY #$24 : JMP $1000
  const uint8_t stored[] = {0xA9, 0x11, 0xA2, 0x99, 0x4C, 0x00, 0x10};   // LDA #$11 : LDX #$99 : ...
  for (int i = 0; i < 7; ++i) {
    c64->ioImage[i] = registers[i];
    c64->ioImage[0x40 + i] = stored[i];
    c64->ram[0xD040 + i] = stored[i];
  }
  poke(0x1000, {0xA2, 0x07, 0x4C, 0x40, 0xD0});  // LDX #$07 : JMP $D040
  c64->PC = 0xD040;
  for (int pass = 0; pass < 2; ++pass) {
    step();
    EXPECT_EQ(c64->A, 0x42);
    step();  // the next opcode on the same page comes through the chips too
    EXPECT_EQ(c64->Y, 0x24);
    step();
    step();
    EXPECT_EQ(c64->X, 0x07);
    c64->X = 0;
    step();
    ASSERT_EQ(c64->PC, 0xD040);
  }
  bank(0x34);  // all RAM: the same address runs the RAM's bytes
  step();
  EXPECT_EQ(c64->A, 0x11);
}

TEST_F(Memory, UsageMarksTellHowEachByteWasUsed) {
  bank(0x34);
  poke(0x3000, {0x42});
  code(0x1000, {0xAD, 0x00, 0x30,    // LDA $3000
                0x8D, 0x01, 0x30,    // STA $3001
                0xEE, 0x00, 0x30});  // INC $3000
  step();
  step();
  step();
  EXPECT_EQ(memory().ramUsage[0x1000], TMemoryMap::usageFetched | TMemoryMap::usageFirstAccess);
  EXPECT_EQ(memory().ramUsage[0x3000], TMemoryMap::usageRead | TMemoryMap::usageFirstAccess | TMemoryMap::usageWritten);
  EXPECT_EQ(memory().ramUsage[0x3001],
            TMemoryMap::usageWritten | TMemoryMap::usageWrittenFirst | TMemoryMap::usageFirstAccess);
  EXPECT_EQ(memory().ramUsage[0x3002], 0);
  for (uint8_t u : memory().romUsage) ASSERT_EQ(u, 0);
}

TEST_F(Memory, RomCodeAndRomReadsAreMarkedInTheRomMap) {
  bank(0x37);
  // Read of visible BASIC from RAM code goes to the ROM map; a write there lands in RAM.
  code(0x1000, {0xAD, 0x00, 0xA0, 0x8D, 0x00, 0xA0});
  step();
  step();
  EXPECT_TRUE(memory().romUsage[0xA000] & TMemoryMap::usageRead);
  EXPECT_EQ(memory().ramUsage[0xA000] & TMemoryMap::usageRead, 0);
  EXPECT_TRUE(memory().ramUsage[0xA000] & TMemoryMap::usageWritten);
  // Everything code in ROM touches is marked in the ROM map, RAM included, but the stack.
  roms->kernal[0x0000] = 0x8D;  // STA $2000 at $E000
  roms->kernal[0x0001] = 0x00;
  roms->kernal[0x0002] = 0x20;
  roms->kernal[0x0003] = 0x48;  // PHA
  c64->PC = 0xE000;
  c64->SP = 0xFF;
  step();
  step();
  EXPECT_TRUE(memory().romUsage[0xE000] & TMemoryMap::usageFetched);
  EXPECT_TRUE(memory().romUsage[0x2000] & TMemoryMap::usageWritten);
  EXPECT_EQ(memory().ramUsage[0x2000], 0);
  EXPECT_TRUE(memory().ramUsage[0x01FF] & TMemoryMap::usageWritten);
  EXPECT_EQ(c64->ram[0x2000], c64->A);
}

TEST_F(Memory, PlaySidModeReadsRamEverywhereButWritesStillReachTheSid) {
  c64->setPlaySidSpecific(true);
  c64->ram[0xD418] = 0x12;
  c64->ram[0xE000] = 0x34;
  EXPECT_EQ(c64->readByte(0xD418), 0x12);
  EXPECT_EQ(c64->readByte(0xE000), 0x34);
  clock().setCyclesSinceSid(10);
  c64->writeByte(0xD418, 0x0F);
  EXPECT_EQ(c64->ram[0xD418], 0x12);
  EXPECT_EQ(drain(), (std::vector<Access>{{0x18, 0x0F, 10}}));
}

TEST_F(Memory, ZeroPageAccessesReachThePortButNeverIo) {
  bank(0x37);
  code(0x1000, {0xA9, 0x35, 0x85, 0x01, 0xA5, 0x01});  // LDA #$35 STA $01 LDA $01
  step();
  step();
  EXPECT_EQ(memory().configuration, 5);
  step();
  EXPECT_EQ(c64->A, 0x35);
}

}  // namespace
