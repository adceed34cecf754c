#include "Hvsc.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace Hvsc {

namespace {

using TMarkers = std::array<std::string, 4>;

// Written with "/" here, used with the platform's separator ("\\demos" on Windows).
TMarkers inPlatformForm(TMarkers texts) {
  for (std::string& text : texts) std::replace(text.begin(), text.end(), '/', Platform::pathSeparator);
  return texts;
}

// Precedence order, not position order: a path that holds "/demos" anywhere is
// cut there even when "/musicians" comes earlier.
const TMarkers& markers() {
  static const TMarkers texts = inPlatformForm({"/demos", "/documents", "/games/", "/musicians"});
  return texts;
}
// The index builder also cuts at a path that ends in GAMES.
const TMarkers& looseMarkers() {
  static const TMarkers texts = inPlatformForm({"/demos", "/documents", "/games", "/musicians"});
  return texts;
}

bool holdsCollection(const std::string& candidate) {
  for (const char* sub : {"DOCUMENTS", "DEMOS", "GAMES", "MUSICIANS"})
    if (!Platform::isDirectory(candidate + Platform::pathSeparator + sub)) return false;
  return true;
}

std::string rootBefore(const std::string& path, const TMarkers& cuts) {
  const std::string lower = LowerAscii(path);
  std::string candidate = path;
  for (const std::string& marker : cuts) {
    const std::size_t at = lower.find(marker);
    if (at != std::string::npos) {
      // Cut in the given case: lower-casing the root would name another
      // directory on a case-sensitive file system.
      candidate = path.substr(0, at);
      break;
    }
  }
  return holdsCollection(candidate) ? candidate : std::string();
}

// The three-character update level an "Update<n>.hvs" name carries, or "" when
// the name carries none. Only the first character has to be a digit; callers
// convert leniently.
std::string updateLevel(const std::string& fileName) {
  const std::string lower = LowerAscii(fileName);
  const std::size_t at = lower.find("pdate");
  if (at == std::string::npos) return {};
  // Between "pdate" and the four-character extension.
  const std::size_t start = at + 5;
  if (lower.size() < start + 4) return {};
  const std::string number = lower.substr(start, lower.size() - start - 4);
  if (number.empty() || number.size() > 3 || number.front() < '0' || number.front() > '9') return {};
  return std::string(3 - number.size(), '0') + number;
}

}  // namespace

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string GetHvscRoot(const std::string& path) { return rootBefore(path, markers()); }

std::string GetHvscRootLoose(const std::string& path) { return rootBefore(path, looseMarkers()); }

std::string FindHvscRoot(const std::string& path) {
  std::string root = GetHvscRoot(path);
  if (!root.empty()) return root;

  // A parent of the collection, such as the directory HVSC was unpacked into.
  constexpr char separator = Platform::pathSeparator;
  if (Platform::isDirectory(path + separator + "C64Music"))
    return path + (path.ends_with(separator) ? "" : std::string(1, separator)) + "C64Music";

  const std::size_t at = LowerAscii(path).find("c64music");
  std::string candidate = path;
  if (at != std::string::npos) {
    candidate = path.substr(0, at + 8);
    if (!Platform::isDirectory(candidate)) return GetHvscRoot(path.substr(0, at));
  }
  return Platform::isDirectory(candidate) ? candidate : std::string();
}

std::string GetHvscVersion(const std::string& path) {
  if (path.empty()) return {};
  std::string best = "000";
  const std::string root = GetHvscRoot(path);
  // An empty root would list DOCUMENTS at the top of the file system.
  if (root.empty()) return best;
  std::vector<Platform::TDirEntry> entries;
  if (!Platform::listDirectory(root + Platform::pathSeparator + "DOCUMENTS" + Platform::pathSeparator, "Update*.hvs",
                               entries))
    return best;
  for (const Platform::TDirEntry& entry : entries) {
    // Only files count, as the file search hands them out.
    if (entry.isDirectory || entry.isHidden) continue;
    const std::string level = updateLevel(entry.name);
    // Byte order: "05a" beats "059", which callers then read as 0.
    if (!level.empty() && level > best) best = level;
  }
  return best;
}

std::string GetHvscRelativePath(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of(Platform::pathSeparator);
  // A bare name, or one already written in the collection's own form elsewhere,
  // lies in no directory and so in no collection.
  if (slash == std::string::npos) return fileName;
  // The file-system root keeps its separator: "/" is a directory, "" is none.
  const std::string directory = fileName.substr(0, slash == 0 ? 1 : slash);
  const std::string root = GetHvscRoot(directory);
  if (root.empty()) return fileName;
  const std::string lowerDirectory = LowerAscii(directory);
  if (lowerDirectory.find(LowerAscii(root)) == std::string::npos) return fileName;
  // Still in the platform's form: callers that store the collection's own "/"
  // form convert the separators themselves.
  return directory.substr(root.size()) + Platform::pathSeparator + fileName.substr(slash + 1);
}

}  // namespace Hvsc
