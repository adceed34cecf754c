// TSongLength: HVSC's song-length database (DOCUMENTS/Songlengths.txt, or
// Songlengths.md5 in releases after #70), keyed by MD5 and naming each tune's
// collection path in the comment line before its entry.
//
//   TSongLength db;
//   db.LoadFile("/data/C64Music");                 // finds DOCUMENTS/Songlengths.*
//   db.GetSongLengthText(md5, 2);                  // "1:20" for sub-tune 2
//   TSongLength::ParseTime("1:23.456");            // 83456 ms
//   db.GetHvscPathForMd5(md5);                     // "/MUSICIANS/X/Tune.sid"
//
// Loading and look-ups serialise on the object's own lock; the format checks
// touch no state. Look-ups are exact: the stored keys are lower case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Splits 8-bit text into lines: CR, LF, CR LF and LF CR each end one line, and
// the last line ends with the data. Lines carry neither byte. Shared by the
// collection's text documents.
class TTextLines {
 public:
  TTextLines(const uint8_t* data, std::size_t size)
      : text_(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size) {}

  // The next line, or false at the end of the data.
  bool next(std::string_view& line);

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// Bytes up to 32 (space and control characters) removed from both ends.
std::string_view TrimControls(std::string_view text);

class TSongLength {
 public:
  // Files of this size or less carry no database; larger ones are refused.
  static constexpr std::size_t minFileSize = 50;
  static constexpr std::size_t maxFileSize = 1'048'576'000;

  // Out of line, so that the containers' code stays inside the library's own
  // units and never becomes a symbol of the shared object.
  TSongLength();
  ~TSongLength();
  TSongLength(const TSongLength&) = delete;
  TSongLength& operator=(const TSongLength&) = delete;

  // The file a path stands for: the path itself when it is a file, else the
  // database in the DOCUMENTS directory of the collection found from it.
  static std::string FindSongLengthFile(const std::string& path);
  // Whether the data looks like a song-length database.
  static bool CheckSongLengthBuffer(const uint8_t* data, std::size_t size);
  // Milliseconds of a time "m:ss", "m:ss.f" to "m:ss.fff"; 0 when it is none.
  static int32_t ParseTime(std::string_view time);

  // The file test; false when no file is found, readable and within the sizes.
  static bool CheckFile(const std::string& path);
  // Replaces the database; a file that cannot be found, read or sized leaves it as it was.
  bool LoadFile(const std::string& path);
  // Empties the database, then fills it when the data passes the format test.
  bool LoadSongLengthBuffer(const uint8_t* data, std::size_t size);

  // The time text of sub-tune `song` (1-based; past the last the last applies),
  // empty when the MD5 is unknown.
  std::string GetSongLengthText(const std::string& md5, int32_t song);
  // The collection path of the comment line before the MD5's entry, or empty.
  std::string GetHvscPathForMd5(const std::string& md5);
  // Whether the MD5 has an entry.
  bool Contains(const std::string& md5);
  std::size_t size();

 private:
  struct TEntry {
    std::string times;
    uint32_t comment;  // index into comments_
  };

  const TEntry* find(const std::string& md5) const;

  std::mutex lock_;
  std::vector<TEntry> entries_;
  // Many entries share one comment: each distinct comment line is kept once.
  std::vector<std::string> comments_;
  struct TKeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };
  // A repeated MD5 answers from its later line.
  std::unordered_map<std::string, uint32_t, TKeyHash, std::equal_to<>> index_;
};
