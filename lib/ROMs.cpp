#include "ROMs.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;

// Writes 6502 code into a ROM image by C64 address.
class TCodeWriter {
 public:
  TCodeWriter(std::span<uint8_t> image, uint16_t base) : image_(image), base_(base) {}

  TCodeWriter& at(uint16_t address) {
    position_ = static_cast<std::size_t>(address - base_);
    return *this;
  }
  TCodeWriter& bytes(std::initializer_list<uint8_t> code) {
    for (uint8_t b : code) image_[position_++] = b;
    return *this;
  }
  TCodeWriter& op(uint8_t opcode, uint16_t operand) {
    return bytes({opcode, static_cast<uint8_t>(operand), static_cast<uint8_t>(operand >> 8)});
  }

 private:
  std::span<uint8_t> image_;
  uint16_t base_;
  std::size_t position_ = 0;
};

// The opcodes the placeholder needs.
constexpr uint8_t PHA = 0x48, PLA = 0x68, TAX = 0xAA, TAY = 0xA8, TXA = 0x8A, TYA = 0x98, TSX = 0xBA;
constexpr uint8_t SEI = 0x78, CLD = 0xD8, RTI = 0x40, RTS = 0x60;
constexpr uint8_t LDA_IMM = 0xA9, LDA_ABS = 0xAD, LDA_ABS_X = 0xBD, LDY_ABS = 0xAC, STA_ABS = 0x8D;
constexpr uint8_t AND_IMM = 0x29, BEQ = 0xF0, JMP_ABS = 0x4C, JMP_IND = 0x6C;

struct TImageKind {
  std::string_view stem;
  // Names tried before any other file with the stem, best first: VICE's file for
  // the C64 model it emulates by default, before older revisions and other models.
  std::array<std::string_view, 3> preferred;
  std::size_t size;
};

constexpr TImageKind basicKind{"basic", {{"basic", "basic.bin", "basic-901226-01.bin"}}, TRoms::basicSize};
constexpr TImageKind kernalKind{"kernal", {{"kernal", "kernal.bin", "kernal-901227-03.bin"}}, TRoms::kernalSize};
constexpr TImageKind chargenKind{"chargen", {{"chargen", "chargen.bin", "chargen-901225-01.bin"}}, TRoms::charSize};

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Files in dir whose name starts with the kind's stem, in the order they are tried.
std::vector<fs::path> candidates(const fs::path& dir, const TImageKind& kind) {
  struct TEntry {
    int rank;
    std::string lower;
    fs::path path;
  };
  std::vector<TEntry> found;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    // Reading a FIFO or a device of that name could block.
    if (!it->is_regular_file(error)) continue;
    const std::string name = it->path().filename().string();
    std::string lower = lowerCase(name);
    if (!lower.starts_with(kind.stem)) continue;
    const auto preferred = std::find(kind.preferred.begin(), kind.preferred.end(), lower);
    const int rank = static_cast<int>(preferred - kind.preferred.begin());
    found.push_back({rank, std::move(lower), it->path()});
  }
  // Directory order is arbitrary; sorting keeps the choice the same on every system.
  std::sort(found.begin(), found.end(), [](const TEntry& a, const TEntry& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (a.lower != b.lower) return a.lower < b.lower;
    return a.path.filename() < b.path.filename();
  });
  std::vector<fs::path> paths;
  for (TEntry& e : found) paths.push_back(std::move(e.path));
  return paths;
}

// Fills image from the first acceptable file and returns its path; empty when none is.
template <std::size_t N>
std::string loadGenuine(const std::vector<fs::path>& dirs, const TImageKind& kind, std::array<uint8_t, N>& image) {
  for (const fs::path& dir : dirs) {
    for (const fs::path& file : candidates(dir, kind)) {
      // One byte more than the image, so that a longer file shows as the wrong size.
      const std::optional<std::vector<uint8_t>> bytes = Platform::readFile(file, kind.size + 1);
      if (!bytes || bytes->size() != kind.size) continue;
      std::copy(bytes->begin(), bytes->end(), image.begin());
      return file.string();
    }
  }
  return {};
}

}  // namespace

std::array<uint8_t, TRoms::kernalSize> TRoms::placeholderKernal() {
  std::array<uint8_t, kernalSize> image{};
  // Tunes call KERNAL routines through the jump table at $FF81-$FFF3 and at a few
  // well-known addresses ($E544 clear screen, $FF8A restore vectors, ...). RTS
  // everywhere makes such a call return at once with the registers untouched, so
  // the tune goes on without the routine's effect; BRK or a JAM opcode would end it
  // there.
  image.fill(RTS);
  TCodeWriter rom(image, 0xE000);

  // $EA31, the IRQ handler behind the $0314 vector: the genuine one updates the
  // clock, blinks the cursor and scans the keyboard, then joins the end below.
  rom.at(0xEA31).op(JMP_ABS, 0xEA7E);
  // Tunes also enter the genuine handler part-way ($EA34 after their own clock
  // update, for one): NOPs slide any such entry down to the acknowledge and exit.
  std::fill(image.begin() + (0xEA34 - 0xE000), image.begin() + (0xEA7E - 0xE000), uint8_t{0xEA});
  // $EA7E: acknowledge CIA 1, so that its timer interrupt does not fire again at
  // once; tunes also jump here (or to $EA81) to end their own handlers.
  rom.at(0xEA7E).op(LDA_ABS, 0xDC0D);
  // $EA81: restore Y, X and A as the IRQ entry pushed them, and return.
  rom.at(0xEA81).bytes({PLA, TAY, PLA, TAX, PLA, RTI});

  // $FCE2, the reset entry. Nothing here resets the machine: the tune driver
  // prepares it itself, so a reset only parks the processor.
  rom.at(0xFCE2).bytes({SEI, CLD}).op(JMP_ABS, 0xFCE4);

  // $FE43, the NMI entry: through the RAM vector at $0318.
  rom.at(0xFE43).bytes({SEI}).op(JMP_IND, 0x0318);
  // $FE47, the default NMI handler behind $0318: save the registers as the genuine
  // one does, switch off and acknowledge the CIA 2 interrupt sources, then return.
  // The NMI input is edge triggered and CIA 2 holds its line low until $DD0D is
  // read: without the read no later NMI could come.
  rom.at(0xFE47)
      .bytes({PHA, TXA, PHA, TYA, PHA, LDA_IMM, 0x7F})
      .op(STA_ABS, 0xDD0D)
      .op(LDY_ABS, 0xDD0D)
      .op(JMP_ABS, 0xFEBC);
  // $FE66, the BRK handler behind $0316: the genuine one warm-starts BASIC; without
  // a BASIC to return to, execution resumes after the BRK's padding byte.
  rom.at(0xFE66).op(JMP_ABS, 0xFEBC);
  // $FEBC: restore Y, X and A and return from the interrupt.
  rom.at(0xFEBC).bytes({PLA, TAY, PLA, TAX, PLA, RTI});

  // $FF48, the IRQ and BRK entry: save A, X and Y, then tell BRK from IRQ by the B
  // bit of the pushed status ($0104 + SP after the three pushes). The order of the
  // branch and the two jumps is the genuine one, so an IRQ costs the same 29 cycles
  // to reach the $0314 handler.
  rom.at(0xFF48)
      .bytes({PHA, TXA, PHA, TYA, PHA, TSX})
      .op(LDA_ABS_X, 0x0104)
      .bytes({AND_IMM, 0x10, BEQ, 0x03})
      .op(JMP_IND, 0x0316)
      .op(JMP_IND, 0x0314);

  // Hardware vectors: NMI, reset, IRQ/BRK.
  rom.at(0xFFFA).bytes({0x43, 0xFE, 0xE2, 0xFC, 0x48, 0xFF});
  return image;
}

TRoms TRoms::fromDirectories(const std::vector<std::filesystem::path>& dirs) {
  TRoms roms;
  roms.basicSource = loadGenuine(dirs, basicKind, roms.basic);
  roms.kernalSource = loadGenuine(dirs, kernalKind, roms.kernal);
  roms.chargenSource = loadGenuine(dirs, chargenKind, roms.chargen);
  // BASIC and the character generator stay blank: tunes do not draw with the
  // character set, and a BASIC program needs the real interpreter to run.
  if (roms.basicSource.empty()) roms.basicSource = placeholderSource;
  if (roms.chargenSource.empty()) roms.chargenSource = placeholderSource;
  if (roms.kernalSource.empty()) {
    roms.kernal = placeholderKernal();
    roms.kernalSource = placeholderSource;
  }
  return roms;
}

std::vector<std::filesystem::path> TRoms::searchDirectories() {
  // An explicit directory is the only one, so that a run can be pinned to one set
  // (or to the placeholders, with an empty directory) whatever else is installed.
  if (const std::string explicitDir = Platform::environment("ZORVEX_ROMS"); !explicitDir.empty()) return {explicitDir};
  std::vector<fs::path> dirs;
  if (const fs::path own = Platform::moduleDirectory(); !own.empty()) dirs.push_back(own / "roms");
  for (const char* vice : {"/usr/share/vice/C64", "/usr/lib/vice/C64", "/usr/local/share/vice/C64",
                           "/usr/local/lib/vice/C64", "/usr/lib64/vice/C64"})
    dirs.emplace_back(vice);
  if (const std::string home = Platform::environment("HOME"); !home.empty()) {
    dirs.push_back(fs::path(home) / ".local/share/vice/C64");
    dirs.push_back(fs::path(home) / ".vice/C64");
  }
  return dirs;
}

const TRoms& TRoms::shared() {
  static const TRoms roms = fromDirectories(searchDirectories());
  return roms;
}
