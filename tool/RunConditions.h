// TRunConditions: what a data hash depends on besides the tune: the ROM set the
// library plays with and the time each sub-tune is played. -g heads its output
// with them as comment lines, which a database made from that output keeps at
// its head; a look-up run compares its own conditions with the database's.
//
//   TRomChoice roms = SettleRomSet(settings.romDirectory);   // before the library loads
//   TRunConditions run{MadeBy(0x137), roms.description, PlayTime(3)};
//   for (const std::string& line : run.CommentLines()) output.OutputLine(line);
//   if (auto warning = run.DifferenceFrom(TRunConditions::FromComments(database.header()))) ...
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TRunConditions {
  std::string madeBy;    // the program and library versions
  std::string romSet;    // "built-in", or "images from <directory>"
  std::string playTime;  // "3 minutes"

  std::vector<std::string> CommentLines() const;
  // The conditions named in a database's head; a field stays empty when the
  // head does not name it (a database made by hand or by an older kelvary).
  static TRunConditions FromComments(const std::vector<std::string>& lines);
  // A warning when the database names a ROM set or play time other than this
  // run's: its hashes then need not match this run's for the same tune.
  std::optional<std::string> DifferenceFrom(const TRunConditions& database) const;
};

// "3 minutes", "1 minute".
std::string PlayTime(int32_t minutes);

// "kelvary 1.05 with libzorvex 1.3.7", from the library's packed version.
std::string MadeBy(int32_t libraryVersion);

// Settles, before the library is loaded, which ROM set it loads: the images of
// romDirectory when one is given, else those of $ZORVEX_ROMS when the user set
// it, else our built-in set (never whatever happens to be installed, so that
// the same tune hashes the same on every machine).
struct TRomChoice {
  std::string description;  // "built-in", or "images from <dir> (kernal, basic, chargen)"
  std::string warning;      // when a directory was named but holds no image
};
TRomChoice SettleRomSet(const std::string& romDirectory);
