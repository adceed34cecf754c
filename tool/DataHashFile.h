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
#include <unordered_map>
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

  std::size_t size() const { return values_.size(); }

 private:
  std::mutex lock_;
  std::vector<std::string> keys_;
  std::vector<std::string> values_;
  std::unordered_map<std::string_view, uint32_t> index_;
};
