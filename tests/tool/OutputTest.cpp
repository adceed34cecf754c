// The output channels: the exact text lines, the JSON lines, and whole lines
// when many workers write at once.
#include "Output.h"

#include "platform/Files.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace {

TEST(Output, ResultLinesDropTheDotOfTheCurrentDirectoryAndJsonCarriesEveryField) {
  std::string out;
  TOutput output({[&](std::string_view t) { out += t; }, [](std::string_view) {}, [](std::string_view) {}},
                 TOutput::Format::text);
  output.Report({TOutcome::Kind::found, "./x.sid", 2, "abc", "PAL", "/M/Y.sid (50%)"});
  output.Report({TOutcome::Kind::notFound, "./x.sid", 2, "abc", "PAL", ""});
  EXPECT_EQ(out, "abc=/x.sid #2 -> found as: /M/Y.sid (50%)\nNo known entry found for ./x.sid #2\n");
  // Names in the platform's own form: result lines, database lines among them,
  // show "/" whatever the platform separates with; status lines keep the name.
  out.clear();
  const std::string sep(1, Platform::pathSeparator);
  const std::string name = "." + sep + "M" + sep + "x.sid";
  output.Report({TOutcome::Kind::hash, name, 1, "abc", "PAL", ""});
  output.Report({TOutcome::Kind::notLoadable, name, 0, "", "", ""});
  EXPECT_EQ(out, "abc=/M/x.sid #1\nFile type not supported or file not found: " + name + "\n");

  EXPECT_EQ(TOutput::JsonLine({TOutcome::Kind::sameOtherClock, "./a \"b\"\\\x01\xe9.sid", 1, "h", "NTSC", "/M.sid #1"}),
            "{\"file\":\"./a \\\"b\\\"\\\\\\u0001\\u00e9.sid\",\"subtune\":1,\"hash\":\"h\",\"clock\":\"NTSC\","
            "\"outcome\":\"same-other-clock\",\"match\":\"/M.sid #1\"}");
  EXPECT_EQ(TOutput::JsonLine({TOutcome::Kind::notLoadable, "\xc3\xa9.sid", 0, "", "", ""}),
            "{\"file\":\"\xc3\xa9.sid\",\"subtune\":null,\"hash\":null,\"clock\":null,\"outcome\":\"not-loadable\","
            "\"match\":null}");
}

TEST(Output, LinesOfManyWritersNeverMix) {
  // A channel that takes one character at a time, as a slow stream might.
  std::string out;
  std::mutex outLock;
  auto byCharacter = [&](std::string_view t) {
    for (char c : t) {
      std::lock_guard guard(outLock);
      out += c;
    }
  };
  TOutput output({byCharacter, byCharacter, byCharacter}, TOutput::Format::text);
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w)
    writers.emplace_back([&, w] {
      for (int i = 0; i < 200; ++i) {
        output.OutputResult("./w" + std::to_string(w) + ".sid #" + std::to_string(i), "hash" + std::to_string(w),
                            true, "/M/T" + std::to_string(i) + ".sid #1");
        output.OutputLine("No known entry found for w" + std::to_string(w));
      }
    });
  for (auto& writer : writers) writer.join();
  std::set<std::string> expected;
  for (int w = 0; w < 4; ++w) {
    for (int i = 0; i < 200; ++i)
      expected.insert("hash" + std::to_string(w) + "=/w" + std::to_string(w) + ".sid #" + std::to_string(i) +
                      " -> same as: /M/T" + std::to_string(i) + ".sid #1");
    expected.insert("No known entry found for w" + std::to_string(w));
  }
  std::multiset<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
    lines.insert(out.substr(start, end - start));
  EXPECT_EQ(start, out.size());
  EXPECT_EQ(lines.size(), 4u * 400u);
  for (const std::string& line : lines) EXPECT_EQ(expected.count(line), 1u) << line;
}

TEST(Output, ConsoleLinesClearTheProgressLineFirst) {
  std::string console;
  auto text = [&](std::string_view t) { console += t; };
  TOutput output({[](std::string_view) {}, text, [&](std::string_view t) { console += std::string(t) + "\n"; }},
                 TOutput::Format::text);
  output.ShowProgress("3 files");
  output.WriteConsoleLine("Processing...");
  output.WriteConsoleLine("again");
  EXPECT_EQ(console, "\r3 files\x1b[K\r\x1b[KProcessing...\nagain\n");
}

}  // namespace
