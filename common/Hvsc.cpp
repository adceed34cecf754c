#include "Hvsc.h"

#include <array>
#include <string_view>

#include "platform/Platform.h"

namespace Hvsc {

namespace {

// Precedence order, not position order: a path that holds "/demos" anywhere is
// cut there even when "/musicians" comes earlier.
constexpr std::array<std::string_view, 4> markers = {"/demos", "/documents", "/games/", "/musicians"};
constexpr std::array<std::string_view, 4> subDirectories = {"/DOCUMENTS", "/DEMOS", "/GAMES", "/MUSICIANS"};

bool holdsCollection(const std::string& candidate) {
  for (std::string_view sub : subDirectories)
    if (!Platform::isDirectory(candidate + std::string(sub))) return false;
  return true;
}

}  // namespace

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string GetHvscRoot(const std::string& path) {
  const std::string lower = LowerAscii(path);
  std::string candidate = path;
  for (std::string_view marker : markers) {
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

std::string FindHvscRoot(const std::string& path) {
  std::string root = GetHvscRoot(path);
  if (!root.empty()) return root;

  // A parent of the collection, such as the directory HVSC was unpacked into.
  if (Platform::isDirectory(path + "/C64Music")) return path + (path.ends_with('/') ? "" : "/") + "C64Music";

  const std::size_t at = LowerAscii(path).find("c64music");
  std::string candidate = path;
  if (at != std::string::npos) {
    candidate = path.substr(0, at + 8);
    if (!Platform::isDirectory(candidate)) return GetHvscRoot(path.substr(0, at));
  }
  return Platform::isDirectory(candidate) ? candidate : std::string();
}

}  // namespace Hvsc
