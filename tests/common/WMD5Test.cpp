#include "WMD5.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::string md5Bulk(const void* data, std::size_t len) {
  TMd5Stream md5;
  md5.write(data, len);
  return md5.digest();
}

std::string md5Bytes(const uint8_t* data, std::size_t len) {
  TMd5Stream md5;
  for (std::size_t i = 0; i < len; ++i) md5.write(data[i]);
  return md5.digest();
}

// The system's md5sum on a temporary file; empty when it cannot be run.
std::string md5sum(const std::vector<uint8_t>& data) {
#ifdef _WIN32
  (void)data;
  return {};  // no md5sum to ask there
#else
  char name[] = "/tmp/wmd5testXXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return {};
  const bool written = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  close(fd);
  std::string out;
  if (written) {
    if (FILE* p = popen((std::string("md5sum ") + name).c_str(), "r")) {
      char line[128] = {};
      if (fgets(line, sizeof line, p)) out.assign(line, 32);
      pclose(p);
    }
  }
  unlink(name);
  return out;
#endif
}

}  // namespace

TEST(Md5Stream, MatchesTheRfc1321TestSuite) {
  const std::pair<std::string, std::string> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, hash] : suite) {
    EXPECT_EQ(md5Bulk(text.data(), text.size()), hash) << '"' << text << '"';
    EXPECT_EQ(md5Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()), hash) << '"' << text << '"';
  }
}

TEST(Md5Stream, PaddingBoundariesAgreeWithMd5sum) {
  std::vector<uint8_t> data;
  for (std::size_t len : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u}) {
    data.assign(len, 0);
    for (std::size_t i = 0; i < len; ++i) data[i] = static_cast<uint8_t>(i * 37 + len);
    const std::string expected = md5sum(data);
    if (expected.empty()) GTEST_SKIP() << "md5sum could not be run";
    EXPECT_EQ(md5Bulk(data.data(), len), expected) << len << " bytes";
  }
}

TEST(Md5Stream, ByteAndBulkFeedingAgreeWithMd5sumOnMegabytes) {
  std::mt19937 rng(1321);
  std::vector<uint8_t> data(3 * 1024 * 1024 + 17);
  for (auto& b : data) b = static_cast<uint8_t>(rng());

  TMd5Stream pieces;
  std::size_t at = 0;
  while (at < data.size()) {
    // Runs that start and end inside blocks as well as runs of many whole blocks.
    std::size_t len = rng() % 4 == 0 ? rng() % 20000 : rng() % 130;
    len = std::min(len, data.size() - at);
    if (len == 1) {
      pieces.write(data[at]);
    } else {
      pieces.write(data.data() + at, len);
    }
    at += len;
  }
  const std::string bulk = md5Bulk(data.data(), data.size());
  EXPECT_EQ(md5Bytes(data.data(), data.size()), bulk);
  EXPECT_EQ(pieces.digest(), bulk);
  const std::string expected = md5sum(data);
  if (expected.empty()) GTEST_SKIP() << "md5sum could not be run";
  EXPECT_EQ(bulk, expected);
}

TEST(Md5Stream, DigestStartsAFreshMessage) {
  TMd5Stream md5;
  md5.write("some earlier message that spans more than one 64-byte block of input", 69);
  md5.write(uint8_t{'x'});
  md5.digest();
  EXPECT_EQ(md5.digest(), "d41d8cd98f00b204e9800998ecf8427e");
  md5.write("ab", 2);
  md5.write(uint8_t{'c'});
  EXPECT_EQ(md5.digest(), "900150983cd24fb0d6963f7d28e17f72");
}
