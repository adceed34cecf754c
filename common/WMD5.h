// TMd5Stream: an MD5 (RFC 1321) accumulator.
//
// Feed it bytes one at a time with write(b) or in runs with write(data, len); both
// paths give the same digest for the same byte sequence, however the sequence is cut
// up. digest() returns the 32 lower-case hexadecimal characters of the hash of
// everything written so far and leaves the stream fresh for the next message:
//
//   TMd5Stream md5;
//   md5.write(bytes, size);
//   md5.write(uint8_t{0x18});
//   std::string hash = md5.digest();   // and md5 is empty again
//
// Used by the data hash, the index file checksum and the tune fingerprint.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TMd5Stream {
 public:
  TMd5Stream() { restart(); }

  void write(uint8_t b) {
    block_[blockUsed_++] = b;
    if (blockUsed_ == block_.size()) {
      transform(block_.data());
      blockUsed_ = 0;
    }
    ++length_;
  }

  void write(const void* data, std::size_t len);

  std::string digest();

 private:
  void restart();
  void transform(const uint8_t* block);

  std::array<uint32_t, 4> state_{};
  std::array<uint8_t, 64> block_{};
  std::size_t blockUsed_ = 0;
  uint64_t length_ = 0;  // in bytes
};
