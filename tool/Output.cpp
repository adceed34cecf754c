#include "Output.h"

#include <algorithm>
#include <cstdio>

#include "platform/Console.h"
#include "platform/Files.h"

namespace {

const char* KindName(TOutcome::Kind kind) {
  switch (kind) {
    case TOutcome::Kind::hash: return "hash";
    case TOutcome::Kind::same: return "same";
    case TOutcome::Kind::sameOtherClock: return "same-other-clock";
    case TOutcome::Kind::found: return "found";
    case TOutcome::Kind::notFound: return "not-found";
    case TOutcome::Kind::noSound: return "no-sound";
    case TOutcome::Kind::noSoundWarning: return "no-sound-warning";
    case TOutcome::Kind::notLoadable: return "not-loadable";
    case TOutcome::Kind::error: return "error";
  }
  return "error";
}

// Length of the UTF-8 sequence that starts at text[i], or 0 when it is not one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  std::size_t n = 0;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) n = 3;
  else if (c >= 0xF0 && c <= 0xF4) n = 4;
  else return 0;
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms and surrogates are not UTF-8.
  if (c == 0xE0 && byte(i + 1) < 0xA0) return 0;
  if (c == 0xED && byte(i + 1) > 0x9F) return 0;
  if (c == 0xF0 && byte(i + 1) < 0x90) return 0;
  if (c == 0xF4 && byte(i + 1) > 0x8F) return 0;
  return n;
}

// File names are bytes; a byte that does not start valid UTF-8 is taken as
// Latin-1, so every name gives valid JSON and none is lost.
void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if (const std::size_t n = Utf8Length(text, i); n > 0) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    }
  }
  out += '"';
}

void AppendField(std::string& out, const char* name, std::string_view value, bool present) {
  out += ",\"";
  out += name;
  out += "\":";
  if (present) AppendJsonString(out, value);
  else out += "null";
}

}  // namespace

TOutput::TChannels TOutput::StandardChannels() {
  return {[](std::string_view text) { Platform::writeOutputText(text); },
          [](std::string_view text) { Platform::writeErrorText(text); },
          [](std::string_view text) { Platform::writeErrorLine(text); }};
}

std::string TOutput::JsonLine(const TOutcome& outcome) {
  const bool perSubTune = outcome.subTune > 0;
  std::string line = "{\"file\":";
  AppendJsonString(line, outcome.file);
  line += ",\"subtune\":";
  line += perSubTune ? std::to_string(outcome.subTune) : std::string("null");
  AppendField(line, "hash", outcome.hash, !outcome.hash.empty());
  AppendField(line, "clock", outcome.clock, !outcome.clock.empty());
  AppendField(line, "outcome", KindName(outcome.kind), true);
  AppendField(line, "match", outcome.match, !outcome.match.empty());
  line += '}';
  return line;
}

void TOutput::Report(const TOutcome& o) {
  if (format_ == Format::json) {
    OutputLine(JsonLine(o));
    return;
  }
  const std::string label = o.file + " #" + std::to_string(o.subTune);
  switch (o.kind) {
    case TOutcome::Kind::hash:
      OutputResult(label, o.hash, true, "");
      break;
    case TOutcome::Kind::same:
      OutputResult(label, o.hash, true, o.match);
      break;
    case TOutcome::Kind::sameOtherClock: {
      // The hash came from the other clock's pass: the label names the tune's own.
      const std::string other = o.clock;
      const std::string own = other == "PAL" ? "NTSC" : "PAL";
      OutputResult(label + "(" + own + ")", o.hash, true, o.match + "(" + other + ")");
      break;
    }
    case TOutcome::Kind::found:
      OutputResult(label, o.hash, false, o.match);
      break;
    case TOutcome::Kind::notFound:
      OutputLine("No known entry found for " + label);
      break;
    case TOutcome::Kind::noSound:
      OutputLine("No sound detected for " + label);
      break;
    case TOutcome::Kind::noSoundWarning:
      OutputLine("WARNING: No sound detected for " + label + ". Please check init/play address.");
      break;
    case TOutcome::Kind::notLoadable:
      OutputLine("File type not supported or file not found: " + o.file);
      break;
    case TOutcome::Kind::error:
      OutputLine("Exception during processing file: " + o.file);
      break;
  }
}

void TOutput::OutputLine(std::string_view text) {
  std::lock_guard guard(lock_);
  ClearProgressLocked();
  std::string line(text);
  line += '\n';
  channels_.standardOutput(line);
}

void TOutput::OutputResult(std::string_view name, std::string_view hash, bool sameAs, std::string_view match) {
  std::lock_guard guard(lock_);
  ClearProgressLocked();
  // A name from a mask without a directory part begins with "./" (".\\" on
  // Windows); the result
  // line shows it from the separator on, as a collection-relative name. Result
  // lines are database lines: "/" separates their directories on every platform.
  if (name.size() >= 2 && name[0] == '.' && (name[1] == '/' || name[1] == Platform::pathSeparator))
    name.remove_prefix(1);
  std::string head(hash);
  head += '=';
  const std::size_t nameStart = head.size();
  head += name;
  std::replace(head.begin() + static_cast<std::ptrdiff_t>(nameStart), head.end(), Platform::pathSeparator, '/');
  channels_.standardOutput(head);
  // Built, not assigned: GCC 12's 32-bit build sees a false overlap in the
  // assignment (-Wrestrict).
  std::string tail(match.empty() ? "" : sameAs ? " -> same as: " : " -> found as: ");
  tail += match;
  tail += '\n';
  channels_.standardOutput(tail);
}

void TOutput::WriteConsoleText(std::string_view text) {
  std::lock_guard guard(lock_);
  ClearProgressLocked();
  channels_.consoleText(text);
}

void TOutput::WriteConsoleLine(std::string_view text) {
  std::lock_guard guard(lock_);
  ClearProgressLocked();
  channels_.consoleLine(text);
}

void TOutput::ShowProgress(std::string_view text) {
  std::lock_guard guard(lock_);
  std::string line = "\r";
  line += text;
  line += "\x1b[K";
  channels_.consoleText(line);
  progressShown_ = true;
}

void TOutput::ClearProgress() {
  std::lock_guard guard(lock_);
  ClearProgressLocked();
}

void TOutput::ClearProgressLocked() {
  if (!progressShown_) return;
  channels_.consoleText("\r\x1b[K");
  progressShown_ = false;
}
