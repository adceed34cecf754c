// THVSCIndexer: a reduced copy of the C64 data of every SID file of an HVSC
// tree, kept in memory and in hvscindex.dat beside the program, for the binary
// search to scan instead of the tree itself.
//
//   THVSCIndexer indexer;
//   if (indexer.IndexFileExists() && indexer.LoadIndex(reason)) ...   // else print reason
//   else if (indexer.BuildIndex(hvscPath, interrupted)) indexer.SaveIndex(consoleLine);
//   indexer.Lock();
//   const uint8_t* data = indexer.GetItemData(i);   // with GetItemName, GetItemSize
//   indexer.Unlock();
//
// Built or loaded on one thread before any search; afterwards only read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"


struct TSidItem {
  // While building: the full file name without its extension; after saving or
  // loading: the collection-relative, "/"-separated name without extension.
  std::string name;
  int32_t dataOffset = 0;  // into the indexer's data buffer
  uint16_t dataSize = 0;
};

class THVSCIndexer {
 public:
  static constexpr const char* indexFileName = "hvscindex.dat";
  // Files this size or smaller have no room for data behind a PSID header.
  static constexpr std::size_t minFileSize = 118;
  // The most bytes of a file read: a 126-byte header and 64 KB of data.
  static constexpr std::size_t maxReadSize = 65662;
  static constexpr std::size_t maxTuneData = 65536;

  THVSCIndexer();

  // Indexes every *.sid file below path, in file-search order. False when the
  // flag was found set after a file (nothing should be saved then). progress,
  // when given, hears the number of files looked at after each one.
  bool BuildIndex(const std::string& path, const std::atomic<bool>& interrupted,
                  const std::function<void(int32_t)>& progress = {});

  // Adds one file; false when it is left out (unreadable, too small, offset
  // field outside the file, or a reduced size the file format cannot hold).
  bool AddFile(const std::string& fileName);

  // Writes the index beside the program, or to file. With no items it writes
  // nothing and passes "No SID file(s) found to index." to outputLine, and
  // returns false. Throws std::runtime_error when the file cannot be written.
  bool SaveIndex(const std::function<void(const std::string&)>& outputLine);
  bool SaveIndexTo(const std::string& file, const std::function<void(const std::string&)>& outputLine);

  bool IndexFileExists() const;

  // Replaces the index by the file's contents only when the whole file checks
  // out; otherwise keeps what it held, returns false and sets reason to one line.
  bool LoadIndex(std::string& reason);
  bool LoadIndexFrom(const std::string& file, std::string& reason);
  // The same for an index file's bytes held in memory; name goes into the reason.
  bool LoadIndexFromBytes(std::vector<uint8_t> bytes, const std::string& name, std::string& reason);

  int GetVersion() const { return version_; }
  const std::string& GetRoot() const { return root_; }
  int GetItemCount() const { return static_cast<int>(items_.size()); }

  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }
  const std::string& GetItemName(int index) const { return items_[static_cast<std::size_t>(index)].name; }
  const uint8_t* GetItemData(int index) const;
  int GetItemSize(int index) const { return items_[static_cast<std::size_t>(index)].dataSize; }
  // The reduced data of all items, concatenated; every item's data lies inside it.
  const uint8_t* DataArea() const;
  std::size_t DataAreaSize() const;

  // The two reduction passes, public so that each can be checked alone.
  // Runs and repeated 16-byte blocks: writes to out (room for size bytes), returns the length.
  static std::size_t ReduceRuns(const uint8_t* in, std::size_t size, uint8_t* out);
  // Repeated periods of 15 bytes or more, in place; returns the new length.
  // Finds each repeat where a Boyer-Moore-Horspool search of the 30 bytes at a
  // position in the window behind it would, without a skip table per position.
  std::size_t ReducePeriods(uint8_t* data, std::size_t length);

  // The collection's update level at path as a number (0 when it is none),
  // as an index built there records it before it is cut to 8 bits.
  static int32_t VersionAt(const std::string& path);

  // Where the index file lives by default: beside the running program.
  static std::string DefaultIndexFile();

 private:
  std::mutex lock_;
  std::string root_;
  int32_t version_ = 0;
  std::vector<TSidItem> items_;
  // The data area: built in data_, or the mapped file's after a load.
  std::vector<uint8_t> data_;
  // The data area of a loaded file lies in its mapping or its bytes.
  std::optional<Platform::TFileMapping> loadedMapping_;
  std::vector<uint8_t> loadedBytes_;
  const uint8_t* loadedArea_ = nullptr;
  std::size_t loadedAreaSize_ = 0;
  bool Adopt(const uint8_t* bytes, std::size_t size, const std::string& file, std::string& reason);
  void ReleaseLoaded();
  void ChainWindows(const uint8_t* data, std::size_t from, std::size_t length);
  // Distance from i to the first copy of the 30 bytes at i that starts 15 to
  // maxDistance bytes behind it; 0 when there is none.
  std::size_t FirstRepeat(const uint8_t* data, std::size_t i, std::size_t maxDistance) const;

  static constexpr int bucketBits = 16;

  // Work areas of one file's reduction, allocated once per indexer.
  std::vector<uint8_t> scratch_;
  std::vector<uint32_t> windowHash_;
  std::vector<int32_t> nextInBucket_;
  std::vector<int32_t> bucketHead_;
  std::vector<uint32_t> bucketStamp_;
  uint32_t chainStamp_ = 0;
};
