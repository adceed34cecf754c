// Reading STIL.txt and BUGlist.txt: an entry is a line starting with "/" (its
// path) and the lines after it up to the next blank line (its text).
#include "STIL.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "Hvsc.h"
#include "SongLength.h"
#include "platform/Platform.h"

namespace {

constexpr std::string_view lineBreak = "\r\n";

// A path below the collection root, written with "/", as this platform writes it.
std::string inPlatformForm(std::string path) {
  std::replace(path.begin(), path.end(), '/', Platform::pathSeparator);
  return path;
}

std::optional<Platform::TFileMapping> mapDocument(const std::string& file) {
  auto mapping = Platform::TFileMapping::open(file);
  if (!mapping || mapping->size() <= TStil::minFileSize || mapping->size() > TStil::maxFileSize) return std::nullopt;
  return mapping;
}

// Callers of the library's C interface print the text through menus and labels
// that take "&" as an accelerator prefix.
std::string doubleAmpersands(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

}  // namespace

TStil::TStil() = default;
TStil::~TStil() = default;

bool TStil::loadSTIL(const std::string& given) {
  if (given.size() <= 1) return false;
  const std::string path = given.ends_with(Platform::pathSeparator) ? given : given + Platform::pathSeparator;

  std::string file;
  std::string base;
  if (Platform::isFile(path + inPlatformForm("C64Music/DOCUMENTS/STIL.txt"))) {
    file = path + inPlatformForm("C64Music/DOCUMENTS/STIL.txt");
    base = path + inPlatformForm("C64Music/");
  } else if (Platform::isFile(path + inPlatformForm("DOCUMENTS/STIL.txt"))) {
    file = path + inPlatformForm("DOCUMENTS/STIL.txt");
    base = path;
  } else if (Platform::isFile(path + "STIL.txt")) {
    // The DOCUMENTS directory itself: its parent is the collection root.
    file = path + "STIL.txt";
    const std::string directory = path.substr(0, path.size() - 1);
    base = directory.substr(0, directory.find_last_of(Platform::directoryEnds) + 1);
    if (base.empty()) base = std::string(".") + Platform::pathSeparator;
  } else {
    return false;
  }
  // Windows takes "/" as well: the base keeps one form, and paths compare in it.
  base_ = inPlatformForm(Hvsc::LowerAscii(base));

  const auto stil = mapDocument(file);
  if (!stil) return false;
  loadSTILFromBuffer(stil->data(), stil->size());

  const auto bugs = mapDocument(base + inPlatformForm("DOCUMENTS/BUGlist.txt"));
  if (!bugs) return false;
  ParseStilText(bugs->data(), bugs->size(), TMode::bugList);
  return true;
}

void TStil::loadSTILFromBuffer(const uint8_t* data, std::size_t size) {
  entries_.clear();
  entries_.reserve(10'000);
  ParseStilText(data, size, TMode::stil);
}

void TStil::ParseStilText(const uint8_t* data, std::size_t size, TMode mode) {
  TTextLines lines(data, size);
  std::string_view line;
  bool more = lines.next(line);
  while (more) {
    if (line.empty() || line.front() != '/') {
      more = lines.next(line);
      continue;
    }
    TSTILInfo& info = entries_[std::string(line)];
    std::string& target = mode == TMode::stil ? info.stilText : info.bugText;
    // A path listed twice keeps one entry: its texts run together without a break.
    bool first = true;
    while ((more = lines.next(line)) && !TrimControls(line).empty()) {
      if (!first) target += lineBreak;
      target += line;
      first = false;
    }
  }
}

std::string TStil::GetStilEntry(const std::string& given) const {
  std::string_view path = given;
  if (!base_.empty()) {
    // Keep the separator that ends the base: the rest is the collection path.
    const auto lowerEqual = [](char a, char b) {
      if (a == '/') a = Platform::pathSeparator;
      return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b;
    };
    const auto at = std::search(path.begin(), path.end(), base_.begin(), base_.end(), lowerEqual);
    if (at != path.end()) path.remove_prefix(static_cast<std::size_t>(at - path.begin()) + base_.size() - 1);
  }
  // The list is keyed by collection paths, which separate with "/" everywhere.
  std::string key(path);
  std::replace(key.begin(), key.end(), Platform::pathSeparator, '/');

  std::string text;
  if (const auto tune = entries_.find(key); tune != entries_.end()) {
    text = tune->second.stilText;
    if (!text.empty() && !tune->second.bugText.empty()) text += lineBreak;
    text += tune->second.bugText;
  }

  const std::size_t slash = key.find_last_of('/');
  const std::string_view directory =
      slash == std::string::npos ? std::string_view("/") : std::string_view(key).substr(0, slash + 1);
  if (const auto dir = entries_.find(directory); dir != entries_.end())
    text = dir->second.stilText + std::string(lineBreak) + text;
  return doubleAmpersands(text);
}
