// libzorvex.so exports the C interface and nothing else: no C++ symbol of the
// library or of the runtime templates it instantiates.
#include <gtest/gtest.h>

#include "InterfaceNames.h"

#include <stdio.h>

#include <set>
#include <sstream>
#include <string>

TEST(ExportedSymbols, ExactlyTheInterfaceFunctions) {
  ASSERT_EQ(interfaceNames.size(), 41u);
  const std::string command = std::string("nm -D --defined-only '") + ZORVEX_LIBRARY_FILE + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr) << command;
  std::string listing;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) listing.append(buffer, n);
  ASSERT_EQ(pclose(pipe), 0) << command;

  // Lines are "address type name"; every one must be a text symbol of the interface.
  std::set<std::string> exported;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string address, type, name;
    fields >> address >> type >> name;
    EXPECT_EQ(type, "T") << line;
    exported.insert(name);
  }
  EXPECT_EQ(exported, interfaceNames);
}
