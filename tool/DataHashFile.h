// THashDatabase: the known data hashes of database.txt and the name each one
// stands for. Loaded once before the workers start; Find is then called from
// many threads at once without a lock, since nothing changes any more.
//
//   THashDatabase db;
//   if (!db.Load("database.txt")) fail();           // "File not found: ..." printed
//   std::string name = db.Find(hash);                // "" when unknown
//
// Line format: 32 hex digits, "=", the name ("/MUSICIANS/X/Tune.sid #1"); keys
// are compared case-insensitively, the last of two equal keys wins; lines
// starting with ";" are comments whose text is carried to later lines without
// a name of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class THashDatabase {
 public:
  // Smallest and largest file sizes that are read at all.
  static constexpr std::size_t minFileSize = 51;
  static constexpr std::size_t maxFileSize = 0x3E800000;

  // Reads name (else the same name beside the program) and replaces every
  // entry. False, after "File not found: " + name on standard output when it
  // exists in neither place, or silently when it is too small, too large or
  // cannot be mapped. The message goes through the given writer.
  bool Load(const std::string& name, const std::function<void(const std::string&)>& outputLine);

  // Parses database text held in memory; replaces every entry.
  void Parse(const char* text, std::size_t size);

  // The name stored for hash (compared case-insensitively), "" when unknown.
  std::string Find(std::string_view hash) const;

  std::size_t size() const { return entries_.size(); }

  // The comment lines before the first entry (at most maxHeaderLines), ";" included.
  static constexpr std::size_t maxHeaderLines = 64;
  const std::vector<std::string>& header() const { return header_; }

 private:
  // Keys (lower-cased) and values live in one arena, addressed by offset so
  // the arena may grow; an entry line whose value is carried over from an
  // earlier line shares that line's bytes.
  struct TEntry {
    std::size_t keyOffset;
    std::size_t keyLength;
    std::size_t valueOffset;
    std::size_t valueLength;
  };
  // Open addressing with linear probing; entry 0 marks a free slot, so slots
  // hold the entry's position + 1. The low 32 bits of the key's hash sit
  // beside it so most probes are rejected without touching the arena.
  struct TSlot {
    uint32_t entry;
    uint32_t hash;
  };

  std::string_view keyOf(const TEntry& entry) const { return {arena_.data() + entry.keyOffset, entry.keyLength}; }
  void clear();
  void growIndex(std::size_t slotCount);
  void addToIndex(uint32_t entry, std::size_t hash);

  std::mutex lock_;
  std::vector<char> arena_;
  std::vector<TEntry> entries_;
  std::vector<TSlot> slots_;  // a power of two in size, at most half in use
  std::size_t distinctKeys_ = 0;
  std::vector<std::string> header_;
};
