#include "ROMs.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "platform/Platform.h"
#include "BuiltinRoms.h"

namespace {

namespace fs = std::filesystem;



struct TImageKind {
  std::string_view stem;
  // Names tried before any other file with the stem, best first: VICE's file for
  // the C64 model it emulates by default, before older revisions and other models.
  std::array<std::string_view, 3> preferred;
  std::size_t size;
  // CRC-32 of the genuine revisions: BASIC 901226-01; KERNAL 901227-01, -02 and
  // -03; character generator 901225-01. 0 marks an unused place.
  std::array<uint32_t, 3> revisions;
};

constexpr TImageKind basicKind{
    "basic", {{"basic", "basic.bin", "basic-901226-01.bin"}}, TRoms::basicSize, {{0xF833D117u, 0, 0}}};
constexpr TImageKind kernalKind{"kernal",
                                {{"kernal", "kernal.bin", "kernal-901227-03.bin"}},
                                TRoms::kernalSize,
                                {{0xDCE782FAu, 0xA5C687B3u, 0xDBE3E7C7u}}};
constexpr TImageKind chargenKind{
    "chargen", {{"chargen", "chargen.bin", "chargen-901225-01.bin"}}, TRoms::charSize, {{0xEC4272EEu, 0, 0}}};

bool knownRevision(const TImageKind& kind, const std::vector<uint8_t>& bytes) {
  const uint32_t crc = TRoms::crc32(bytes.data(), bytes.size());
  return std::find(kind.revisions.begin(), kind.revisions.end(), crc) != kind.revisions.end();
}

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
std::string loadGenuine(const std::vector<fs::path>& dirs, const TImageKind& kind, TRoms::TTrust trust,
                        std::array<uint8_t, N>& image) {
  for (const fs::path& dir : dirs) {
    for (const fs::path& file : candidates(dir, kind)) {
      // One byte more than the image, so that a longer file shows as the wrong size.
      const std::optional<std::vector<uint8_t>> bytes = Platform::readFile(file, kind.size + 1);
      if (!bytes || bytes->size() != kind.size) continue;
      // A file that merely lies about would change tunes' streams unseen: an
      // all-zero or patched image found by searching is passed over.
      if (trust == TRoms::TTrust::knownRevisions && !knownRevision(kind, *bytes)) continue;
      std::copy(bytes->begin(), bytes->end(), image.begin());
      return file.string();
    }
  }
  return {};
}

}  // namespace

std::array<uint8_t, TRoms::kernalSize> TRoms::builtinKernal() { return builtinKernalImage; }
std::array<uint8_t, TRoms::basicSize> TRoms::builtinBasic() { return builtinBasicImage; }

uint32_t TRoms::crc32(const uint8_t* data, std::size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

TRoms TRoms::fromDirectories(const std::vector<std::filesystem::path>& dirs, TTrust trust) {
  TRoms roms;
  roms.basicSource = loadGenuine(dirs, basicKind, trust, roms.basic);
  roms.kernalSource = loadGenuine(dirs, kernalKind, trust, roms.kernal);
  roms.chargenSource = loadGenuine(dirs, chargenKind, trust, roms.chargen);
  if (roms.basicSource.empty()) {
    roms.basic = builtinBasic();
    roms.basicSource = builtinSource;
  }
  if (roms.chargenSource.empty()) {
    roms.chargen = builtinCharImage;
    roms.chargenSource = builtinSource;
  }
  if (roms.kernalSource.empty()) {
    roms.kernal = builtinKernal();
    roms.kernalSource = builtinSource;
  }
  return roms;
}

std::vector<std::filesystem::path> TRoms::searchDirectories() {
  // An explicit directory is the only one, so that a run can be pinned to one set
  // (or to our own images, with an empty directory) whatever else is installed.
  if (const std::string explicitDir = Platform::environment("ZORVEX_ROMS"); !explicitDir.empty()) {
    if (explicitDir == builtinOnly) return {};
    return {explicitDir};
  }
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
  // Images the user named are taken as given; images that happen to lie about
  // only when they are a genuine revision.
  static const TRoms roms = fromDirectories(
      searchDirectories(),
      Platform::environment("ZORVEX_ROMS").empty() ? TTrust::knownRevisions : TTrust::asGiven);
  return roms;
}
