// TDataHashCalc: turns the SID writes of one pass into the data hash, the MD5
// of a selection of (register, value) pairs. Writes before the music really
// starts are ignored; the selection keeps the voices' control and envelope
// writes once a voice is keyed, volume writes, and fast runs on any register.
//
//   TDataHashCalc calc;
//   for each write (reg, value) at elapsed cycles t:
//     if (!started) started = calc.CheckStart(reg, value);   // the start write is not kept
//     else calc.AddWrite(reg, value, t);
//   std::string hash = calc.GetHash(true);
//   if (hash == TDataHashCalc::emptyDigest) hash = calc.GetHash(false);
//
// Every rule and number here decides whether a computed hash equals one stored
// in a database, so none may change.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "WMD5.h"

class TDataHashCalc {
 public:
  // The digest of no bytes: a pass in which nothing was hashed.
  static constexpr const char* emptyDigest = "d41d8cd98f00b204e9800998ecf8427e";
  // At most this many writes are stored per pass.
  static constexpr int32_t maxStoredWrites = 24999999;

  TDataHashCalc();

  void Reset();
  bool CheckStart(uint8_t reg, uint8_t value);
  bool AddWrite(uint8_t reg, uint8_t value, uint32_t time);
  std::string GetHash(bool filtered);

  bool started() const { return started_; }
  int32_t writeCount() const { return writeCount_; }

 private:
  // The store grows in blocks that are never moved, so growing costs no copy of
  // what is already stored. Pairs and times sit in separate arrays: 6 bytes a write.
  static constexpr int32_t blockRecords = 500000;
  struct TBlock {
    std::array<uint16_t, blockRecords> pairs;  // register in the low byte, value in the high byte
    std::array<uint32_t, blockRecords> times;
  };

  bool started_ = false;
  int32_t preStartWrites_ = 0;
  std::array<uint8_t, 256> lastValue_{};
  std::array<int32_t, 256> changeCount_{};
  std::array<bool, 3> voiceActive_{};
  int32_t volumeMidChanges_ = 0;
  int32_t volumeEdgeChanges_ = 0;
  uint8_t lastVolume_ = 0;
  std::vector<std::unique_ptr<TBlock>> blocks_;
  int32_t writeCount_ = 0;
  int32_t capacity_ = 0;
  TMd5Stream md5_;
};
