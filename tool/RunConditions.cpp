#include "RunConditions.h"

#include <filesystem>
#include <utility>

#include "Settings.h"
#include "platform/System.h"

namespace {

constexpr const char* madeByKey = "; made by: ";
constexpr const char* romSetKey = "; ROM set: ";
constexpr const char* playTimeKey = "; play time: ";
// What the library takes as "our own set only" (TRoms::builtinOnly).
constexpr const char* builtinRomsWord = "builtin";
constexpr const char* builtinDescription = "built-in";

std::string ValueOf(const std::string& line, const std::string& key) {
  return line.compare(0, key.size(), key) == 0 ? line.substr(key.size()) : std::string();
}

// Whether dir holds a file of the image's size whose name starts with stem, in
// any case, as the library looks for them ("kernal-901227-03.bin" and the like).
bool HoldsImage(const std::string& dir, const std::string& stem, std::uintmax_t size) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (name.compare(0, stem.size(), stem) != 0 || !it->is_regular_file(error)) continue;
    if (it->file_size(error) == size && !error) return true;
  }
  return false;
}

std::string Describe(const TRunConditions& c) { return "ROM set " + c.romSet + ", play time " + c.playTime; }

}  // namespace

std::vector<std::string> TRunConditions::CommentLines() const {
  return {madeByKey + madeBy, romSetKey + romSet, playTimeKey + playTime};
}

TRunConditions TRunConditions::FromComments(const std::vector<std::string>& lines) {
  TRunConditions c;
  for (const std::string& line : lines) {
    if (std::string v = ValueOf(line, madeByKey); !v.empty()) c.madeBy = v;
    if (std::string v = ValueOf(line, romSetKey); !v.empty()) c.romSet = v;
    if (std::string v = ValueOf(line, playTimeKey); !v.empty()) c.playTime = v;
  }
  return c;
}

std::optional<std::string> TRunConditions::DifferenceFrom(const TRunConditions& database) const {
  // A head that names neither says nothing either way.
  if (database.romSet.empty() && database.playTime.empty()) return std::nullopt;
  const bool romsDiffer = !database.romSet.empty() && database.romSet != romSet;
  const bool timeDiffers = !database.playTime.empty() && database.playTime != playTime;
  if (!romsDiffer && !timeDiffers) return std::nullopt;
  TRunConditions named = database;
  if (named.romSet.empty()) named.romSet = "(not named)";
  if (named.playTime.empty()) named.playTime = "(not named)";
  return "WARNING: the database was made with " + Describe(named) + "; this run uses " + Describe(*this) +
         ", so the same tune may hash differently.";
}

std::string PlayTime(int32_t minutes) { return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes"); }

std::string MadeBy(int32_t libraryVersion) {
  return std::string("kelvary ") + toolVersion + " with libzorvex " + std::to_string((libraryVersion >> 8) & 0xFF) + "." +
         std::to_string((libraryVersion >> 4) & 0x0F) + "." + std::to_string(libraryVersion & 0x0F);
}

TRomChoice SettleRomSet(const std::string& romDirectory) {
  std::string directory = romDirectory;
  if (directory.empty()) {
    const std::string chosen = Platform::environment("ZORVEX_ROMS");
    if (chosen.empty() || chosen == builtinRomsWord) {
      Platform::setEnvironment("ZORVEX_ROMS", builtinRomsWord);
      return {builtinDescription, ""};
    }
    directory = chosen;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(directory, error);
  if (!error) directory = absolute.lexically_normal().string();
  Platform::setEnvironment("ZORVEX_ROMS", directory);
  // The library takes our own image for any it does not find there: name which it finds.
  std::string found;
  for (const auto& [stem, size] : {std::pair<std::string, std::uintmax_t>{"kernal", 8192}, {"basic", 8192},
                                   {"chargen", 4096}}) {
    if (!HoldsImage(directory, stem, size)) continue;
    found += (found.empty() ? "" : ", ") + stem;
  }
  if (found.empty()) return {builtinDescription, "WARNING: no ROM images in " + directory + "; the built-in set is used."};
  return {"images from " + directory + " (" + found + ")", ""};
}
