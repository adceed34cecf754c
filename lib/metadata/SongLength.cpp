// Reading HVSC's song-length database: a "[Database]" header, comment lines
// naming tunes, and entry lines "<md5>=<time> <time> ...".
#include "SongLength.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "Hvsc.h"
#include "platform/Platform.h"

namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lowerAscii(c);
  return out;
}

// Trailing comments start at character 32 or later: an MD5 of 32 digits never holds one.
constexpr std::size_t trailingCommentFrom = 31;

// A whole decimal number of at most nine digits, so that no time overflows.
std::optional<int64_t> wholeNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Seconds with an optional fraction of one to three digits, in milliseconds.
std::optional<int64_t> secondsInMs(std::string_view text) {
  const std::size_t dot = text.find('.');
  const auto whole = wholeNumber(text.substr(0, dot));
  if (!whole) return std::nullopt;
  int64_t ms = *whole * 1000;
  if (dot != std::string_view::npos) {
    const std::string_view fraction = text.substr(dot + 1);
    if (fraction.size() > 3) return std::nullopt;
    const auto digits = wholeNumber(fraction);
    if (!digits) return std::nullopt;
    int64_t scaled = *digits;
    for (std::size_t i = fraction.size(); i < 3; ++i) scaled *= 10;
    ms += scaled;
  }
  return ms;
}

std::string joinPath(const std::string& directory, const char* name) {
  return directory.ends_with(Platform::pathSeparator) ? directory + name : directory + Platform::pathSeparator + name;
}

std::optional<Platform::TFileMapping> mapDatabase(const std::string& path) {
  const std::string file = TSongLength::FindSongLengthFile(path);
  if (file.empty()) return std::nullopt;
  auto mapping = Platform::TFileMapping::open(file);
  if (!mapping || mapping->size() <= TSongLength::minFileSize || mapping->size() > TSongLength::maxFileSize)
    return std::nullopt;
  return mapping;
}

}  // namespace

bool TTextLines::next(std::string_view& line) {
  if (at_ >= text_.size()) return false;
  const std::size_t end = std::min(text_.find_first_of("\r\n", at_), text_.size());
  line = text_.substr(at_, end - at_);
  at_ = end;
  if (at_ < text_.size()) {
    const char first = text_[at_++];
    // CR LF and LF CR are one break; CR CR or LF LF are two.
    if (at_ < text_.size() && (text_[at_] == '\r' || text_[at_] == '\n') && text_[at_] != first) ++at_;
  }
  return true;
}

std::string_view TrimControls(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

TSongLength::TSongLength() = default;
TSongLength::~TSongLength() = default;

std::string TSongLength::FindSongLengthFile(const std::string& path) {
  if (Platform::isFile(path)) return path;
  const std::string root = Hvsc::FindHvscRoot(path);
  if (root.empty()) return {};
  // HVSC stopped shipping the fingerprint-keyed file after release #70; the
  // file keyed by whole-file MD5 took its place.
  for (const char* name : {"Songlengths.txt", "Songlengths.md5"}) {
    std::string file = joinPath(joinPath(root, "DOCUMENTS"), name);
    if (Platform::isFile(file)) return file;
  }
  return {};
}

bool TSongLength::CheckSongLengthBuffer(const uint8_t* data, std::size_t size) {
  if (data == nullptr || size <= minFileSize) return false;
  TTextLines lines(data, size);
  std::string_view line;
  if (!lines.next(line) || lowerCopy(TrimControls(line)) != "[database]") return false;
  while (lines.next(line)) {
    const std::string_view trimmed = TrimControls(line);
    if (!trimmed.empty() && trimmed.front() != ';') break;
  }
  // The first entry must start at the line's first byte: an indented one fails.
  return !line.empty() && isHexDigit(line.front());
}

bool TSongLength::CheckFile(const std::string& path) {
  const auto mapping = mapDatabase(path);
  return mapping && CheckSongLengthBuffer(mapping->data(), mapping->size());
}

bool TSongLength::LoadFile(const std::string& path) {
  const auto mapping = mapDatabase(path);
  return mapping && LoadSongLengthBuffer(mapping->data(), mapping->size());
}

bool TSongLength::LoadSongLengthBuffer(const uint8_t* data, std::size_t size) {
  std::lock_guard guard(lock_);
  entries_.clear();
  comments_.clear();
  index_.clear();
  if (!CheckSongLengthBuffer(data, size)) return false;

  // Roughly one entry per 80 bytes in HVSC's files.
  entries_.reserve(size / 80);
  index_.reserve(size / 80);
  comments_.emplace_back();
  TTextLines lines(data, size);
  std::string_view line;
  while (lines.next(line)) {
    if (!line.empty() && line.front() == ';') {
      comments_.emplace_back(line);
      continue;
    }
    if (line.size() <= 32 || !isHexDigit(line.front())) continue;
    const auto comment = static_cast<uint32_t>(comments_.size() - 1);
    const std::size_t trailing = line.find(';', trailingCommentFrom);
    if (trailing != std::string_view::npos) {
      // Names the tunes of the entry lines that follow, not this one.
      comments_.emplace_back(line.substr(trailing));
      line = line.substr(0, trailing);
    }
    const std::size_t equals = line.find('=');
    const std::string key = lowerCopy(line.substr(0, equals));
    std::string times = equals == std::string_view::npos ? key : lowerCopy(line.substr(equals + 1));
    index_.insert_or_assign(key, static_cast<uint32_t>(entries_.size()));
    entries_.push_back({std::move(times), comment});
  }
  return true;
}

const TSongLength::TEntry* TSongLength::find(const std::string& md5) const {
  const auto it = index_.find(md5);
  return it == index_.end() ? nullptr : &entries_[it->second];
}

std::string TSongLength::GetSongLengthText(const std::string& md5, int32_t song) {
  std::lock_guard guard(lock_);
  const TEntry* entry = find(md5);
  if (entry == nullptr) return {};
  std::string_view text = entry->times;
  // Sub-tunes past the last time keep the last time.
  for (int32_t n = 1; n < song; ++n) {
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) break;
    text.remove_prefix(space + 1);
  }
  text = text.substr(0, text.find(' '));
  text = text.substr(0, text.find('('));  // attributes such as "(G)"
  text = text.substr(0, text.find(';'));
  return std::string(TrimControls(text));
}

int32_t TSongLength::ParseTime(std::string_view time) {
  const std::size_t colon = time.find(':');
  if (colon == std::string_view::npos) return 0;
  const std::string_view rest = time.substr(colon + 1);
  const int64_t minutes = wholeNumber(time.substr(0, colon)).value_or(0);
  const int64_t seconds = secondsInMs(rest.substr(0, rest.find(':'))).value_or(0);
  const int64_t ms = minutes * 60'000 + seconds;
  return ms > std::numeric_limits<int32_t>::max() ? 0 : static_cast<int32_t>(ms);
}

std::string TSongLength::GetHvscPathForMd5(const std::string& md5) {
  std::lock_guard guard(lock_);
  const TEntry* entry = find(md5);
  if (entry == nullptr) return {};
  std::string_view comment = TrimControls(comments_[entry->comment]);
  if (comment.empty()) return {};
  comment.remove_prefix(1);  // the ";"
  while (!comment.empty() && static_cast<unsigned char>(comment.front()) <= 32) comment.remove_prefix(1);
  return std::string(comment);
}

bool TSongLength::Contains(const std::string& md5) {
  std::lock_guard guard(lock_);
  return find(md5) != nullptr;
}

std::size_t TSongLength::size() {
  std::lock_guard guard(lock_);
  return entries_.size();
}
