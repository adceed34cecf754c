// TStil: the SID Tune Information List (DOCUMENTS/STIL.txt) with the bug notes of
// DOCUMENTS/BUGlist.txt, filed under collection paths of tunes ("/GAMES/X/Tune.sid")
// and of whole directories ("/GAMES/X/").
//
//   TStil stil;
//   stil.loadSTIL("/data/C64Music");     // or its parent, or its DOCUMENTS directory
//   stil.GetStilEntry("/data/C64Music/GAMES/X/Tune.sid");
//   // directory notes, CR LF, the tune's notes, CR LF, its bug notes; "&" doubled
//
// Not locked: the library calls it only under its instance lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

struct TSTILInfo {
  std::string stilText;
  std::string bugText;
};

class TStil {
 public:
  // Documents of this size or less hold nothing; larger ones are refused.
  static constexpr std::size_t minFileSize = 50;
  static constexpr std::size_t maxFileSize = 1'048'576'000;

  // Out of line, so that the list's code stays inside the library's own units.
  TStil();
  ~TStil();
  TStil(const TStil&) = delete;
  TStil& operator=(const TStil&) = delete;

  // Loads STIL.txt and then BUGlist.txt of the collection that the path names;
  // true only when both were read. Sets the base that tune paths are taken relative to.
  bool loadSTIL(const std::string& path);
  // Replaces the list by the entries of STIL text; the base stays.
  void loadSTILFromBuffer(const uint8_t* data, std::size_t size);
  // The joined notes for a tune path, on disk below the base or collection-relative;
  // empty when there are none.
  std::string GetStilEntry(const std::string& path) const;

  const std::string& base() const { return base_; }
  std::size_t size() const { return entries_.size(); }

 private:
  enum class TMode { stil, bugList };
  void ParseStilText(const uint8_t* data, std::size_t size, TMode mode);

  // Look-ups by string_view without building a key string.
  struct TPathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
  };

  // Exact, case-sensitive paths, trailing spaces included.
  std::unordered_map<std::string, TSTILInfo, TPathHash, std::equal_to<>> entries_;
  std::string base_;  // lower case, ending in the separator
};
