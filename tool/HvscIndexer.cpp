#include "HvscIndexer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "FileSearch.h"
#include "Hvsc.h"
#include "WMD5.h"
#include "platform/Files.h"

namespace {

constexpr char magic[7] = {'H', 'V', 'S', 'C', 'I', 'D', 'X'};
constexpr uint8_t formatVersion = 1;
constexpr std::size_t digestOffset = 12;
constexpr std::size_t countOffset = 28;
constexpr std::size_t entrySize = 6;

// Period reduction: patterns of 2k bytes, windows of at most 512 bytes.
constexpr std::size_t periodK = 15;
constexpr std::size_t periodPattern = 2 * periodK;
constexpr std::size_t periodWindow = 512;

void putU32(std::vector<uint8_t>& out, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// The 16 digest bytes from TMd5Stream's hexadecimal text.
std::array<uint8_t, 16> digestBytes(TMd5Stream& md5) {
  const std::string hex = md5.digest();
  std::array<uint8_t, 16> bytes{};
  auto nibble = [](char c) { return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10); };
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
  return bytes;
}

std::array<uint8_t, 16> digestOf(const uint8_t* data, std::size_t size) {
  TMd5Stream md5;
  md5.write(data, size);
  return digestBytes(md5);
}

// The 0-terminated string at pos inside [pos, end); false when no 0 byte ends it there.
bool readString(const uint8_t* buffer, std::size_t& pos, std::size_t end, std::string& text) {
  const uint8_t* first = buffer + pos;
  const auto* zero = static_cast<const uint8_t*>(std::memchr(first, 0, end - pos));
  if (zero == nullptr) return false;
  text.assign(first, zero);
  pos = static_cast<std::size_t>(zero - buffer) + 1;
  return true;
}

}  // namespace

THVSCIndexer::THVSCIndexer() = default;

std::string THVSCIndexer::DefaultIndexFile() {
  // Beside the program, as it always was; an installed program's directory is
  // not the user's to write, and then the index is the user's own cache.
  const std::string own = Platform::programDirectory();
  if (own.empty() || Platform::isFile(own + indexFileName) || Platform::isWritableDirectory(own))
    return own + indexFileName;
  const std::string cache = Platform::userCacheDirectory();
  if (cache.empty()) return own + indexFileName;
  return cache + Platform::pathSeparator + "kelvary" + Platform::pathSeparator + indexFileName;
}

bool THVSCIndexer::IndexFileExists() const { return Platform::isFile(DefaultIndexFile()); }

const uint8_t* THVSCIndexer::DataArea() const {
  return loadedArea_ != nullptr ? loadedArea_ : data_.data();
}

std::size_t THVSCIndexer::DataAreaSize() const { return loadedArea_ != nullptr ? loadedAreaSize_ : data_.size(); }

void THVSCIndexer::ReleaseLoaded() {
  loadedMapping_.reset();
  loadedBytes_.clear();
  loadedBytes_.shrink_to_fit();
  loadedArea_ = nullptr;
  loadedAreaSize_ = 0;
}

const uint8_t* THVSCIndexer::GetItemData(int index) const {
  return DataArea() + items_[static_cast<std::size_t>(index)].dataOffset;
}

int32_t THVSCIndexer::VersionAt(const std::string& path) {
  const std::string level = Hvsc::GetHvscVersion(path);
  if (level.empty() || !std::all_of(level.begin(), level.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  return std::stoi(level);
}

bool THVSCIndexer::BuildIndex(const std::string& path, const std::atomic<bool>& interrupted,
                              const std::function<void(int32_t)>& progress) {
  // A second build replaces the first (or a loaded index) instead of appending to it.
  items_.clear();
  data_.clear();
  ReleaseLoaded();
  root_ = Hvsc::GetHvscRootLoose(path);
  version_ = VersionAt(path);

  TFileSearch search;
  const bool endsInSeparator = !path.empty() && Platform::directoryEnds.find(path.back()) != std::string_view::npos;
  search.StartSearch(path + (endsInSeparator ? "" : std::string(1, Platform::pathSeparator)) + "*.sid", true);
  int32_t files = 0;
  for (std::string name = search.GetNextFile(); !name.empty();) {
    AddFile(name);
    if (progress) progress(++files);
    name = search.GetNextFile();
    if (interrupted.load()) return false;
  }
  return true;
}

bool THVSCIndexer::AddFile(const std::string& fileName) {
  // Items added to a loaded index go behind its data, in a buffer of our own.
  if (loadedArea_ != nullptr) {
    data_.assign(DataArea(), DataArea() + DataAreaSize());
    ReleaseLoaded();
  }
  const auto mapping = Platform::TFileMapping::open(fileName);
  if (!mapping || mapping->size() <= minFileSize) return false;
  const uint8_t* bytes = mapping->data();
  const std::size_t size = std::min(mapping->size(), maxReadSize);

  const std::size_t offsetField = static_cast<std::size_t>(bytes[6]) << 8 | bytes[7];
  // An offset inside the header's first fields or past the file cannot be a
  // real tune's; such a file would index header bytes or nothing at all.
  if (offsetField < 12 || offsetField > mapping->size()) return false;
  std::size_t offset = offsetField;
  // A load address of 0 means the data begins with its own two-byte address.
  if ((bytes[8] | bytes[9]) == 0) offset += 2;
  const std::size_t tuneSize = offset >= size ? 0 : std::min(size - offset, maxTuneData);
  // Work areas come with the first file: an indexer that only loads never needs them.
  if (scratch_.empty()) scratch_.resize(maxTuneData);

  std::size_t reduced = ReduceRuns(bytes + offset, tuneSize, scratch_.data());
  reduced = ReducePeriods(scratch_.data(), reduced);
  // The file's size field has 16 bits, and offsets are signed 32-bit numbers.
  if (reduced > std::numeric_limits<uint16_t>::max()) return false;
  if (data_.size() + reduced > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return false;

  TSidItem item;
  item.name = fileName.size() >= 4 ? fileName.substr(0, fileName.size() - 4) : fileName;
  item.dataOffset = static_cast<int32_t>(data_.size());
  item.dataSize = static_cast<uint16_t>(reduced);
  data_.insert(data_.end(), scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(reduced));
  items_.push_back(std::move(item));
  return true;
}

std::size_t THVSCIndexer::ReduceRuns(const uint8_t* in, std::size_t size, uint8_t* out) {
  std::size_t run = 0;
  uint8_t previous = 0;
  std::size_t length = 0;
  std::size_t block = 0;
  for (std::size_t n = 0; n < size; ++n) {
    const uint8_t b = in[n];
    run = (n > 0 && b == previous) ? run + 1 : 0;
    previous = b;
    if (run >= 16) continue;
    out[length++] = b;
    ++block;
    if (block >= 48) {
      const uint8_t* last48 = out + length - 48;
      if (std::memcmp(last48, last48 + 16, 16) == 0 && std::memcmp(last48 + 16, last48 + 32, 16) == 0) {
        length -= 16;
        // The test comes back after 16 more bytes, not at once.
        block = 32;
      } else {
        block = 48;
      }
    }
  }
  return length;
}

std::size_t THVSCIndexer::ReducePeriods(uint8_t* data, std::size_t length) {
  if (length < 3 * periodK) return length;
  if (length > windowHash_.size()) {
    windowHash_.resize(std::max(length, maxTuneData));
    nextInBucket_.resize(std::max(length, maxTuneData));
  }
  if (bucketHead_.empty()) {
    bucketHead_.resize(std::size_t{1} << bucketBits);
    bucketStamp_.resize(std::size_t{1} << bucketBits);
  }
  ChainWindows(data, 0, length);
  for (std::size_t i = 0; i + 3 * periodK < length; ++i) {
    const std::size_t window = std::min((length - i) / 3 + periodK, periodWindow);
    if (window < periodPattern) continue;
    const std::size_t p = FirstRepeat(data, i, window - periodK);
    if (p == 0) continue;
    const uint8_t* b0 = data + i;
    if (std::memcmp(data + i + 2 * p, b0, p) != 0) continue;
    if (p > periodPattern && std::memcmp(data + i + p + periodPattern, b0 + periodPattern, p - periodPattern) != 0)
      continue;
    std::size_t c = 1;
    while (i + (c + 3) * p <= length && std::memcmp(data + i + (c + 2) * p, b0, p) == 0) ++c;
    // Two copies of the repeated block stay.
    std::memmove(data + i + 2 * p, data + i + (c + 2) * p, length - (i + (c + 2) * p));
    length -= c * p;
    // Everything behind i moved or may find new repeats; only windows ahead are looked up.
    if (i + 1 + 3 * periodK < length) ChainWindows(data, i + 1, length);
  }
  return length;
}

// A rolling hash of every 30-byte window from `from` on, and for each window the
// next one that falls into the same bucket: the repeats of a window are then a
// short walk instead of a Boyer-Moore-Horspool search with a table per position.
void THVSCIndexer::ChainWindows(const uint8_t* data, std::size_t from, std::size_t length) {
  constexpr uint32_t base = 0x01000193;
  uint32_t outFactor = 1;  // base to the power of the window length minus one
  for (std::size_t k = 1; k < periodPattern; ++k) outFactor *= base;

  const std::size_t last = length - periodPattern;
  uint32_t h = 0;
  for (std::size_t k = 0; k < periodPattern; ++k) h = h * base + data[from + k];
  windowHash_[from] = h;
  for (std::size_t j = from + 1; j <= last; ++j) {
    h = (h - data[j - 1] * outFactor) * base + data[j + periodPattern - 1];
    windowHash_[j] = h;
  }

  // Stamps instead of clearing the bucket heads for every file.
  if (++chainStamp_ == 0) {
    std::fill(bucketStamp_.begin(), bucketStamp_.end(), 0u);
    chainStamp_ = 1;
  }
  for (std::size_t j = last + 1; j-- > from;) {
    const uint32_t bucket = (windowHash_[j] * 0x9E3779B1u) >> (32 - bucketBits);
    nextInBucket_[j] = bucketStamp_[bucket] == chainStamp_ ? bucketHead_[bucket] : -1;
    bucketHead_[bucket] = static_cast<int32_t>(j);
    bucketStamp_[bucket] = chainStamp_;
  }
}

std::size_t THVSCIndexer::FirstRepeat(const uint8_t* data, std::size_t i, std::size_t maxDistance) const {
  // The chain runs in increasing position, so the first match is the leftmost.
  for (int32_t j = nextInBucket_[i]; j >= 0; j = nextInBucket_[static_cast<std::size_t>(j)]) {
    const std::size_t distance = static_cast<std::size_t>(j) - i;
    if (distance > maxDistance) break;
    if (distance >= periodK && windowHash_[static_cast<std::size_t>(j)] == windowHash_[i] &&
        std::memcmp(data + j, data + i, periodPattern) == 0)
      return distance;
  }
  return 0;
}

bool THVSCIndexer::SaveIndex(const std::function<void(const std::string&)>& outputLine) {
  const std::string file = DefaultIndexFile();
  // The user's cache folder may not be there yet.
  if (const auto folder = std::filesystem::path(file).parent_path(); !folder.empty()) {
    std::error_code ignored;  // a folder that cannot be made shows as the write's failure
    std::filesystem::create_directories(folder, ignored);
  }
  return SaveIndexTo(file, outputLine);
}

bool THVSCIndexer::SaveIndexTo(const std::string& file, const std::function<void(const std::string&)>& outputLine) {
  if (items_.empty()) {
    if (outputLine) outputLine("No SID file(s) found to index.");
    return false;
  }
  for (TSidItem& item : items_) {
    std::string name = Hvsc::GetHvscRelativePath(item.name);
    std::replace(name.begin(), name.end(), Platform::pathSeparator, '/');
    // The names a search of this run sees equal those of a later load.
    item.name = std::move(name);
  }

  std::vector<uint8_t> out(countOffset + 4);
  std::memcpy(out.data(), magic, sizeof magic);
  out[7] = formatVersion;
  putU32(out, countOffset, static_cast<uint32_t>(items_.size()));
  out.insert(out.end(), root_.begin(), root_.end());
  out.push_back(0);
  out.push_back(static_cast<uint8_t>(version_ & 0xFF));
  for (const TSidItem& item : items_) {
    out.insert(out.end(), item.name.begin(), item.name.end());
    out.push_back(0);
  }
  for (const TSidItem& item : items_) {
    const std::size_t at = out.size();
    out.resize(at + entrySize);
    putU32(out, at, static_cast<uint32_t>(item.dataOffset));
    out[at + 4] = static_cast<uint8_t>(item.dataSize);
    out[at + 5] = static_cast<uint8_t>(item.dataSize >> 8);
  }
  if (out.size() > std::numeric_limits<uint32_t>::max()) throw std::runtime_error("index header too large");
  putU32(out, 8, static_cast<uint32_t>(out.size()));
  TMd5Stream md5;
  md5.write(out.data() + countOffset, out.size() - countOffset);
  md5.write(DataArea(), DataAreaSize());
  const auto digest = digestBytes(md5);
  std::copy(digest.begin(), digest.end(), out.begin() + digestOffset);

  // Written aside first, so a failed write leaves an earlier index intact.
  const std::string partial = file + ".tmp";
  {
    std::ofstream stream(partial, std::ios::binary | std::ios::trunc);
    // Whatever stands in the way (a folder of that name, say) is not ours to remove.
    if (!stream.is_open()) throw std::runtime_error("cannot write " + file);
    stream.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    stream.write(reinterpret_cast<const char*>(DataArea()), static_cast<std::streamsize>(DataAreaSize()));
    stream.close();
    if (!stream) {
      std::error_code ignored;
      std::filesystem::remove(partial, ignored);
      throw std::runtime_error("cannot write " + file);
    }
  }
  std::error_code error;
  std::filesystem::rename(partial, file, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
    throw std::runtime_error("cannot write " + file + ": " + error.message());
  }
  return true;
}

bool THVSCIndexer::LoadIndex(std::string& reason) { return LoadIndexFrom(DefaultIndexFile(), reason); }

bool THVSCIndexer::LoadIndexFrom(const std::string& file, std::string& reason) {
  // Mapped rather than read: the pages come straight from the file cache, and
  // the digest check touches each of them once.
  auto mapping = Platform::TFileMapping::open(file);
  if (!mapping) {
    reason = "cannot open " + file;
    return false;
  }
  if (!Adopt(mapping->data(), mapping->size(), file, reason)) return false;
  loadedMapping_ = std::move(mapping);
  return true;
}

bool THVSCIndexer::LoadIndexFromBytes(std::vector<uint8_t> bytes, const std::string& name, std::string& reason) {
  if (!Adopt(bytes.data(), bytes.size(), name, reason)) return false;
  loadedBytes_ = std::move(bytes);  // moving keeps the buffer, and so the data area, where it is
  return true;
}

// Checks every field of an index file's bytes; only when all of them hold does
// it replace the index (the caller then keeps the bytes alive).
bool THVSCIndexer::Adopt(const uint8_t* bytes, std::size_t fileSize, const std::string& file, std::string& reason) {
  auto refuse = [&reason, &file](const std::string& why) {
    reason = file + ": " + why;
    return false;
  };
  if (fileSize < countOffset + 6) return refuse("too short to be an index file");
  if (std::memcmp(bytes, magic, sizeof magic) != 0) return refuse("not an HVSC index file");
  if (bytes[7] != formatVersion) return refuse("unknown index format version " + std::to_string(bytes[7]));
  const uint32_t dataOffset = getU32(bytes + 8);
  // Count, root terminator and version byte at least, and within the file.
  if (dataOffset < countOffset + 6 || dataOffset > fileSize) return refuse("data offset outside the file");
  const auto digest = digestOf(bytes + countOffset, fileSize - countOffset);
  if (!std::equal(digest.begin(), digest.end(), bytes + digestOffset)) return refuse("checksum mismatch");

  const std::size_t end = dataOffset;
  const std::size_t dataSize = fileSize - dataOffset;
  const uint32_t count = getU32(bytes + countOffset);
  if (count == 0) return refuse("no items");
  std::size_t pos = countOffset + 4;
  std::string root;
  if (!readString(bytes, pos, end, root) || pos >= end) return refuse("root or version missing");
  const int32_t version = bytes[pos++];
  // Each item needs at least a name terminator and an entry.
  if (count > (end - pos) / (1 + entrySize)) return refuse("item count larger than the header");
  std::vector<TSidItem> items(count);
  for (TSidItem& item : items)
    if (!readString(bytes, pos, end, item.name)) return refuse("item names cut short");
  if (end - pos != static_cast<std::size_t>(count) * entrySize) return refuse("entry table size mismatch");
  for (TSidItem& item : items) {
    const uint32_t offset = getU32(bytes + pos);
    const uint16_t size = static_cast<uint16_t>(bytes[pos + 4] | bytes[pos + 5] << 8);
    pos += entrySize;
    if (static_cast<uint64_t>(offset) + size > dataSize) return refuse("item data outside the data area");
    item.dataOffset = static_cast<int32_t>(offset);
    item.dataSize = size;
  }

  ReleaseLoaded();
  root_ = std::move(root);
  version_ = version;
  items_ = std::move(items);
  data_.clear();
  data_.shrink_to_fit();
  loadedArea_ = bytes + dataOffset;
  loadedAreaSize_ = dataSize;
  reason.clear();
  return true;
}
