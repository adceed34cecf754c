// The training run of a profile-guided Release build: an instrumented library
// plays tunes of the kinds the machine spends its time on, through the exports
// as kelvary drives them, and the real library is compiled with the profile.
// The tunes are our own, written here, so the build needs no data from outside:
// a vertical-blank PSID player, the same player CIA-timed, RSIDs driven by a CIA
// 1 timer IRQ, by the raster IRQ and by a CIA 2 timer NMI sample loop (with main
// loops that wait), and a BASIC program.
//
//   profile_training [DIR]     writes the tunes to DIR (a temporary folder by default)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "zorvex.h"

namespace fs = std::filesystem;

namespace {

uint8_t lo(uint16_t v) { return static_cast<uint8_t>(v); }
uint8_t hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }

// Just enough of an assembler for the tunes below: opcodes as bytes, branches
// back to addresses already placed.
class Code {
 public:
  explicit Code(uint16_t origin) : origin_(origin) {}
  uint16_t here() const { return static_cast<uint16_t>(origin_ + bytes_.size()); }
  Code& op(std::initializer_list<uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes);
    return *this;
  }
  Code& abs(uint8_t opcode, uint16_t address) { return op({opcode, lo(address), hi(address)}); }
  Code& branch(uint8_t opcode, uint16_t target) {
    return op({opcode, static_cast<uint8_t>(target - (here() + 2))});
  }
  // Moves on to address, which must not be behind.
  Code& at(uint16_t address) {
    bytes_.resize(address - origin_, 0xEA);
    return *this;
  }
  Code& append(const Code& other) {
    bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
    return *this;
  }
  uint16_t origin() const { return origin_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  uint16_t origin_;
  std::vector<uint8_t> bytes_;
};

// A small three-voice player: init sets the volume and clears its counters,
// play steps the voices through a frequency table.
struct Player {
  uint16_t init, play;
};

Player placePlayer(Code& c, uint16_t tables) {
  Player p{};
  p.init = c.here();
  c.op({0xA9, 0x0F}).abs(0x8D, 0xD418);  // LDA #$0F : STA $D418
  c.op({0xA9, 0x00, 0x85, 0xFB, 0x85, 0xFC, 0x60});  // LDA #0 : STA $FB : STA $FC : RTS
  const uint16_t mix = c.here();  // LDA $FC : ASL : ROL $FB : LSR : ROR : EOR $FB : STA $D416 : RTS
  c.op({0xA5, 0xFC, 0x0A, 0x26, 0xFB, 0x4A, 0x6A, 0x45, 0xFB}).abs(0x8D, 0xD416).op({0x60});
  p.play = c.here();
  c.op({0xE6, 0xFC, 0xA5, 0xFC, 0x29, 0x3F, 0xA8, 0xA2, 0x0E});  // INC $FC : LDA $FC : AND #$3F : TAY : LDX #14
  const uint16_t voice = c.here();
  c.abs(0xB9, tables).abs(0x9D, 0xD400);          // LDA lo,Y : STA $D400,X
  c.abs(0xB9, tables + 64).abs(0x9D, 0xD401);     // LDA hi,Y : STA $D401,X
  c.op({0xA9, 0x21}).abs(0x9D, 0xD404);           // LDA #$21 : STA $D404,X
  c.op({0xA9, 0x09}).abs(0x9D, 0xD405);           // LDA #$09 : STA $D405,X
  c.op({0x98, 0x18, 0x69, 0x05, 0x29, 0x3F, 0xA8});  // TYA : CLC : ADC #5 : AND #$3F : TAY
  c.op({0x8A, 0x38, 0xE9, 0x07, 0xAA});           // TXA : SEC : SBC #7 : TAX
  c.branch(0x10, voice);                          // BPL voice
  c.abs(0x20, mix).op({0x60});                    // JSR mix : RTS
  c.at(tables);
  for (int i = 0; i < 64; ++i) c.op({lo(static_cast<uint16_t>(0x1000 + i * 0x123))});
  for (int i = 0; i < 64; ++i) c.op({hi(static_cast<uint16_t>(0x1000 + i * 0x123))});
  return p;
}

// A version 2 header (clock PAL, SID 6581) followed by the load address and the data.
std::vector<uint8_t> sidFile(bool rsid, const Code& c, uint16_t init, uint16_t play, uint16_t songs, uint32_t speed,
                             bool basic = false) {
  std::vector<uint8_t> f(0x7C, 0);
  const char* magic = rsid ? "RSID" : "PSID";
  for (int i = 0; i < 4; ++i) f[i] = static_cast<uint8_t>(magic[i]);
  auto word = [&f](int at, uint16_t v) {
    f[at] = hi(v);
    f[at + 1] = lo(v);
  };
  word(0x04, 2);
  word(0x06, 0x7C);
  word(0x0A, init);
  word(0x0C, play);
  word(0x0E, songs);
  word(0x10, 1);
  word(0x12, static_cast<uint16_t>(speed >> 16));
  word(0x14, static_cast<uint16_t>(speed));
  const std::string title = "Training";
  for (std::size_t i = 0; i < title.size(); ++i) f[0x16 + i] = static_cast<uint8_t>(title[i]);
  word(0x76, static_cast<uint16_t>(0x14 | (basic ? 0x02 : 0)));
  f.push_back(lo(c.origin()));
  f.push_back(hi(c.origin()));
  f.insert(f.end(), c.bytes().begin(), c.bytes().end());
  return f;
}

std::vector<uint8_t> vblankPsid(uint32_t speed) {
  Code c(0x1000);
  const Player p = placePlayer(c, 0x1200);
  return sidFile(false, c, p.init, p.play, 2, speed);
}

// An RSID whose init installs an interrupt handler that calls the player and
// waits in a main loop; source picks CIA 1's timer (IRQ), the raster (IRQ) or
// CIA 2's timer (NMI, a sample loop writing the volume register). The main
// loop polls or counts down, or with jumpToItself is a JMP to itself, as most
// sample players' are.
enum class Source { ciaIrq, raster, ciaNmi };

std::vector<uint8_t> interruptRsid(Source source, bool jumpToItself = false) {
  // The player with its tables at $0A00, the handler after them, init at $0900.
  Code body(0x0A00);
  const Player p = placePlayer(body, 0x0B00);
  const uint16_t handler = body.here();
  if (source == Source::ciaNmi) {
    body.op({0x48}).abs(0xAD, 0xDD0D);                              // PHA : LDA $DD0D
    body.op({0xE6, 0xFE, 0xA5, 0xFE, 0x4A, 0x4A, 0x4A, 0x29, 0x0F});  // INC $FE : LDA $FE : LSR x3 : AND #$0F
    body.abs(0x8D, 0xD418).op({0x68, 0x40});                        // STA $D418 : PLA : RTI
  } else {
    if (source == Source::ciaIrq)
      body.abs(0xAD, 0xDC0D);                                       // LDA $DC0D
    else
      body.op({0xA9, 0x01}).abs(0x8D, 0xD019);                      // LDA #1 : STA $D019
    body.abs(0x20, p.play).op({0xE6, 0x02});                        // JSR play : INC $02
    body.op({0x68, 0xA8, 0x68, 0xAA, 0x68, 0x40});                  // PLA : TAY : PLA : TAX : PLA : RTI
  }

  Code c(0x0900);
  c.op({0x78}).abs(0x20, p.init);  // SEI : JSR init
  const uint16_t vector = source == Source::ciaNmi ? 0x0318 : 0x0314;
  c.op({0xA9, lo(handler)}).abs(0x8D, vector).op({0xA9, hi(handler)}).abs(0x8D, vector + 1);
  c.op({0xA9, 0x7F}).abs(0x8D, 0xDC0D).abs(0x8D, 0xDD0D).abs(0xAD, 0xDC0D).abs(0xAD, 0xDD0D);
  if (source == Source::raster) {
    c.op({0xA9, 0x1B}).abs(0x8D, 0xD011).op({0xA9, 0x80}).abs(0x8D, 0xD012);  // compare line $80
    c.op({0xA9, 0x01}).abs(0x8D, 0xD01A);
  } else {
    const uint16_t base = source == Source::ciaIrq ? 0xDC00 : 0xDD00;
    const uint16_t period = source == Source::ciaIrq ? 0x4025 : 0x007C;
    c.op({0xA9, lo(period)}).abs(0x8D, base + 4).op({0xA9, hi(period)}).abs(0x8D, base + 5);
    c.op({0xA9, 0x81}).abs(0x8D, base + 0x0D).op({0xA9, 0x11}).abs(0x8D, base + 0x0E);
  }
  c.op({0x58});  // CLI
  const uint16_t main = c.here();
  if (jumpToItself) {
    c.abs(0x4C, main);  // JMP main
  } else if (source == Source::ciaNmi) {
    // LDX #0 : DEX : BNE * : INC $FB : JMP main
    c.op({0xA2, 0x00});
    const uint16_t wait = c.here();
    c.op({0xCA}).branch(0xD0, wait).op({0xE6, 0xFB}).abs(0x4C, main);
  } else {
    // LDA $02 : BEQ main : LDA #0 : STA $02 : INC $D020 : JMP main
    c.op({0xA5, 0x02}).branch(0xF0, main).op({0xA9, 0x00, 0x85, 0x02}).abs(0xEE, 0xD020).abs(0x4C, main);
  }
  c.at(body.origin()).append(body);
  return sidFile(true, c, 0x0900, 0, 1, 0);
}

// 10 POKE54296,15:FORI=0TO255:POKE54272,I:A=SIN(I)*7+8:POKE54296,A:NEXT:GOTO10
std::vector<uint8_t> basicRsid() {
  const std::vector<uint8_t> line = {
      0x0A, 0x00, 0x97, '5', '4', '2', '9', '6', ',', '1', '5', ':', 0x81, 'I', 0xB2, '0', 0xA4, '2', '5', '5',
      ':', 0x97, '5', '4', '2', '7', '2', ',', 'I', ':', 'A', 0xB2, 0xBF, '(', 'I', ')', 0xAC, '7', 0xAA, '8',
      ':', 0x97, '5', '4', '2', '9', '6', ',', 'A', ':', 0x82, ':', 0x89, '1', '0', 0x00};
  Code c(0x0801);
  const auto next = static_cast<uint16_t>(0x0801 + 2 + line.size());
  c.op({lo(next), hi(next)});
  for (uint8_t b : line) c.op({b});
  c.op({0x00, 0x00});
  return sidFile(true, c, 0, 0, 1, 0, true);
}

// Plays every sub-tune for seconds of C64 time, reading each entry as kelvary does.
int64_t play(int32_t handle, const fs::path& file, int32_t seconds) {
  if (!loadFile(handle, file.string().c_str())) {
    std::fprintf(stderr, "profile_training: %s did not load\n", file.string().c_str());
    return -1;
  }
  int64_t sum = 0;
  for (int32_t song = 1; song <= getNumberOfSongs(handle); ++song) {
    setSongToPlay(handle, song);
    for (uint64_t calls = 0;; ++calls) {
      run(handle);
      const int32_t command = getCommand(handle);
      if (command == ZORVEX_CMD_DELAY || command == ZORVEX_CMD_WRITE) {
        sum += getCycles(handle);
        if (command == ZORVEX_CMD_WRITE) sum += getRegister(handle) ^ getData(handle);
      }
      if (calls % 64 == 0 && getTime(handle) >= seconds * 1000) break;
    }
  }
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "zorvex-profile-training";
  fs::create_directories(dir);
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> tunes = {
      {"vblank.sid", vblankPsid(0)},
      {"cia.sid", vblankPsid(0xFFFFFFFF)},
      {"cia_irq.sid", interruptRsid(Source::ciaIrq)},
      {"raster_irq.sid", interruptRsid(Source::raster)},
      {"nmi_samples.sid", interruptRsid(Source::ciaNmi)},
      {"nmi_waiting.sid", interruptRsid(Source::ciaNmi, true)},
      {"irq_waiting.sid", interruptRsid(Source::ciaIrq, true)},
      {"basic.sid", basicRsid()},
  };
  const int32_t handle = createC64();
  enableFixedStartup(handle);
  clearMemUsageOnFirstSIDAccess(handle, 1);
  int failed = 0;
  for (const auto& [name, bytes] : tunes) {
    const fs::path file = dir / name;
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    const int64_t sum = play(handle, file, 60);
    if (sum < 0) ++failed;
    std::printf("%-16s %lld\n", name.c_str(), static_cast<long long>(sum));
  }
  closeC64(handle);
  std::error_code ignored;
  if (argc <= 1) fs::remove_all(dir, ignored);
  return failed ? 1 : 0;
}
