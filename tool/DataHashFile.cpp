#include "DataHashFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "platform/Files.h"

namespace {

// Keys are nearly always 32 hex digits: four words, each folded in with one
// multiplication, and a final mix so that the low bits, which pick the slot,
// depend on every byte.
std::size_t hashKey(std::string_view key) {
  constexpr uint64_t multiplier = 0x9E3779B97F4A7C15u;
  uint64_t hash = key.size() * multiplier;
  std::size_t i = 0;
  for (; i + 8 <= key.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, key.data() + i, 8);
    hash = std::rotl((hash ^ word) * multiplier, 31);
  }
  if (i < key.size()) {
    uint64_t word = 0;
    std::memcpy(&word, key.data() + i, key.size() - i);
    hash = std::rotl((hash ^ word) * multiplier, 31);
  }
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9u;
  hash ^= hash >> 32;
  return static_cast<std::size_t>(hash);
}

constexpr char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A line of this length or shorter cannot hold a hash and a name.
constexpr std::size_t shortestEntryLine = 33;
// A ";" among the first 31 characters is part of the key, not a comment tail.
constexpr std::size_t firstTailPosition = 31;
// Names and comment tails copied from a line are cut to this length.
constexpr std::size_t longestCopy = 10000;

// Database lines run to about 75 bytes; the guess only sizes the first
// allocations, the tables grow past it when it is short.
constexpr std::size_t typicalLineBytes = 64;

// The next occurrence of one character at or after a position that only moves
// forward. Each search starts beyond the previous find, so a whole file costs
// one pass per character, however its lines are laid out.
class TNextOf {
 public:
  TNextOf(char c, const char* text, const char* end) : c_(c), end_(end), found_(search(text)) {}
  const char* from(const char* position) {
    if (found_ < position) found_ = search(position);
    return found_;
  }

 private:
  const char* search(const char* position) const {
    const auto hit = static_cast<const char*>(std::memchr(position, c_, static_cast<std::size_t>(end_ - position)));
    return hit != nullptr ? hit : end_;
  }
  char c_;
  const char* end_;
  const char* found_;
};

// The text that later lines without "=" take as their name. It stays a view of
// the source until the first such line needs it, then it is copied into the
// arena once and shared by every line that takes it.
struct TCarried {
  const char* source = nullptr;
  std::size_t length = 0;
  bool inArena = true;  // the initial empty text needs no copy
  std::size_t arenaOffset = 0;

  void fromSource(const char* text, std::size_t size) {
    source = text;
    length = size;
    inArena = false;
  }
  void fromArena(std::size_t offset, std::size_t size) {
    arenaOffset = offset;
    length = size;
    inArena = true;
  }
};

}  // namespace

bool THashDatabase::Load(const std::string& name, const std::function<void(const std::string&)>& outputLine) {
  auto mapping = Platform::TFileMapping::open(name);
  if (!mapping) {
    const std::string programDirectory = Platform::programDirectory();
    if (!programDirectory.empty()) mapping = Platform::TFileMapping::open(programDirectory + name);
  }
  if (!mapping) {
    if (outputLine) outputLine("File not found: " + name);
    return false;
  }
  if (mapping->size() < minFileSize || mapping->size() > maxFileSize) return false;
  Parse(reinterpret_cast<const char*>(mapping->data()), mapping->size());
  return true;
}

void THashDatabase::clear() {
  arena_.clear();
  entries_.clear();
  slots_.clear();
  header_.clear();
  distinctKeys_ = 0;
}

void THashDatabase::Parse(const char* text, std::size_t size) {
  std::lock_guard guard(lock_);
  clear();
  if (size == 0) return;
  // Keys, names and carried texts are disjoint pieces of the lines and each is
  // copied at most once, so the text's size bounds the arena: no regrowth.
  arena_.reserve(size);
  const std::size_t expectedEntries = size / typicalLineBytes + 1;
  entries_.reserve(expectedEntries);
  growIndex(std::bit_ceil(expectedEntries * 2));

  const auto append = [this](const char* from, std::size_t length) {
    const std::size_t offset = arena_.size();
    arena_.insert(arena_.end(), from, from + length);
    return offset;
  };

  // Entries join the index a few lines after they are parsed: the slot is
  // prefetched at once and filled later, so the cache misses of successive
  // lines overlap. Entries still join in file order, so the last duplicate wins.
  std::array<std::size_t, 16> pendingHash{};

  TCarried carried;
  const char* const end = text + size;
  TNextOf nextLf('\n', text, end);
  TNextOf nextCr('\r', text, end);
  TNextOf nextSemicolon(';', text, end);
  const char* p = text;
  while (p < end) {
    while (p < end && (*p == '\r' || *p == '\n')) ++p;
    if (p == end) break;
    const char* const lineEnd = std::min(nextLf.from(p), nextCr.from(p));
    const char* const line = p;
    const std::size_t length = static_cast<std::size_t>(lineEnd - line);
    p = lineEnd;

    if (line[0] == ';') {
      carried.fromSource(line, length);
      // The comments before the first entry tell how the hashes were made.
      if (entries_.empty() && header_.size() < maxHeaderLines)
        header_.emplace_back(line, std::min(longestCopy, length));
      continue;
    }
    if (length < shortestEntryLine || !isHexDigit(line[0])) continue;

    const char* const semicolon = nextSemicolon.from(line + firstTailPosition);
    const char* const tail = semicolon < lineEnd ? semicolon : nullptr;
    const char* const cut = tail != nullptr ? tail : lineEnd;
    const char* const equals = static_cast<const char*>(std::memchr(line, '=', static_cast<std::size_t>(cut - line)));

    TEntry entry{};
    if (equals == nullptr) {
      // The name is the carried text from before this line.
      if (!carried.inArena) carried.fromArena(append(carried.source, carried.length), carried.length);
      entry.valueOffset = carried.arenaOffset;
      entry.valueLength = carried.length;
      if (tail != nullptr) carried.fromSource(tail, std::min(longestCopy, static_cast<std::size_t>(lineEnd - tail)));
    } else {
      // A tail would be carried here, but this line's own name replaces it at once.
      const std::size_t valueLength = std::min(longestCopy, static_cast<std::size_t>(cut - equals - 1));
      entry.valueOffset = append(equals + 1, valueLength);
      entry.valueLength = valueLength;
      carried.fromArena(entry.valueOffset, valueLength);
    }

    const char* const keyEnd = equals != nullptr ? equals : cut;
    entry.keyLength = static_cast<std::size_t>(keyEnd - line);
    entry.keyOffset = append(line, entry.keyLength);
    char* const key = arena_.data() + entry.keyOffset;
    std::transform(key, key + entry.keyLength, key, lowerAscii);

    if (entries_.size() >= std::numeric_limits<uint32_t>::max() - 1)
      throw std::length_error("hash database: too many entries");
    entries_.push_back(entry);
    const std::size_t hash = hashKey(keyOf(entry));
    __builtin_prefetch(&slots_[hash & (slots_.size() - 1)], 1);
    const std::size_t n = entries_.size() - 1;
    std::size_t& waiting = pendingHash[n % pendingHash.size()];
    if (n >= pendingHash.size()) addToIndex(static_cast<uint32_t>(n - pendingHash.size() + 1), waiting);
    waiting = hash;
  }
  const std::size_t n = entries_.size();
  for (std::size_t i = n > pendingHash.size() ? n - pendingHash.size() : 0; i < n; ++i)
    addToIndex(static_cast<uint32_t>(i + 1), pendingHash[i % pendingHash.size()]);
}

void THashDatabase::growIndex(std::size_t slotCount) {
  std::vector<TSlot> old(slotCount, TSlot{0, 0});
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const TSlot& slot : old) {
    if (slot.entry == 0) continue;
    std::size_t position = slot.hash & mask;
    while (slots_[position].entry != 0) position = (position + 1) & mask;
    slots_[position] = slot;
  }
}

void THashDatabase::addToIndex(uint32_t entry, std::size_t hash) {
  if ((distinctKeys_ + 1) * 2 > slots_.size()) growIndex(slots_.size() * 2);
  const auto shortHash = static_cast<uint32_t>(hash);
  const std::string_view key = keyOf(entries_[entry - 1]);
  const std::size_t mask = slots_.size() - 1;
  std::size_t position = shortHash & mask;
  while (slots_[position].entry != 0) {
    TSlot& slot = slots_[position];
    if (slot.hash == shortHash && keyOf(entries_[slot.entry - 1]) == key) {
      slot.entry = entry;  // the later line wins
      return;
    }
    position = (position + 1) & mask;
  }
  slots_[position] = TSlot{entry, shortHash};
  ++distinctKeys_;
}

std::string THashDatabase::Find(std::string_view hash) const {
  if (slots_.empty()) return {};
  // Computed hashes are 32 characters; only unusual callers pay for a heap copy.
  char shortKey[64];
  std::string longKey;
  char* key = shortKey;
  if (hash.size() > sizeof shortKey) {
    longKey.resize(hash.size());
    key = longKey.data();
  }
  std::transform(hash.begin(), hash.end(), key, lowerAscii);
  const std::string_view lowered(key, hash.size());

  const auto shortHash = static_cast<uint32_t>(hashKey(lowered));
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t position = shortHash & mask; slots_[position].entry != 0; position = (position + 1) & mask) {
    const TSlot& slot = slots_[position];
    if (slot.hash != shortHash) continue;
    const TEntry& entry = entries_[slot.entry - 1];
    if (keyOf(entry) == lowered) return std::string(arena_.data() + entry.valueOffset, entry.valueLength);
  }
  return {};
}
