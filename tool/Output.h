// TOutput: the tool's two channels. Result and status lines go to standard
// output, a whole line at a time under one lock, as text (the database line
// format) or as JSON objects; program messages and the progress line go to the
// console (standard error). Nothing else in the tool writes to either.
//
//   TOutput output(TOutput::StandardChannels(), TOutput::Format::text);
//   output.Report({TOutcome::Kind::same, "./x.sid", 1, hash, "PAL", match});
//   output.WriteConsoleLine("Processing...");
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

// One thing the worker has to say about a file or a sub-tune.
struct TOutcome {
  enum class Kind {
    hash,            // -g: the hash of a sub-tune
    same,            // a known entry on the tune's own clock
    sameOtherClock,  // a known entry on the other clock
    found,           // found by the binary search
    notFound,
    noSound,         // silent, program file
    noSoundWarning,  // silent, tune file: init or play address may be wrong
    notLoadable,
    error,
  };
  Kind kind = Kind::notFound;
  std::string file;     // as the file search returned it
  int subTune = 0;      // 1-based label number, 0 for whole-file outcomes
  std::string hash;     // empty for whole-file outcomes
  std::string clock;    // "PAL" or "NTSC": the clock of the reported pass
  std::string match;    // the known name, or the binary search's result text
};

class TOutput {
 public:
  enum class Format { text, json };

  struct TChannels {
    std::function<void(std::string_view)> standardOutput;  // writes and flushes
    std::function<void(std::string_view)> consoleText;
    std::function<void(std::string_view)> consoleLine;     // adds the line end
  };
  static TChannels StandardChannels();

  TOutput(TChannels channels, Format format) : channels_(std::move(channels)), format_(format) {}

  // Set before the workers start.
  void SetFormat(Format format) { format_ = format; }

  void Report(const TOutcome& outcome);

  // The two writers of standard output.
  void OutputLine(std::string_view text);
  void OutputResult(std::string_view name, std::string_view hash, bool sameAs, std::string_view match);

  // Console messages; they clear a progress line first.
  void WriteConsoleText(std::string_view text);
  void WriteConsoleLine(std::string_view text);
  // Replaces the progress line on the console (a terminal): no line end.
  void ShowProgress(std::string_view text);
  void ClearProgress();

  static std::string JsonLine(const TOutcome& outcome);

 private:
  void ClearProgressLocked();

  std::mutex lock_;
  TChannels channels_;
  Format format_;
  bool progressShown_ = false;
};
