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
std::array<uint8_t, 16> digestOf(const uint8_t* data, std::size_t size) {
  TMd5Stream md5;
  md5.write(data, size);
  const std::string hex = md5.digest();
  std::array<uint8_t, 16> bytes{};
  auto nibble = [](char c) { return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10); };
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
  return bytes;
}

// The 0-terminated string at pos inside [0, end); false when no 0 byte ends it there.
bool readString(const std::vector<uint8_t>& buffer, std::size_t& pos, std::size_t end, std::string& text) {
  const auto first = buffer.begin() + static_cast<std::ptrdiff_t>(pos);
  const auto last = buffer.begin() + static_cast<std::ptrdiff_t>(end);
  const auto zero = std::find(first, last, uint8_t{0});
  if (zero == last) return false;
  text.assign(first, zero);
  pos = static_cast<std::size_t>(zero - buffer.begin()) + 1;
  return true;
}

}  // namespace

THVSCIndexer::THVSCIndexer() : scratch_(maxTuneData) {}

std::string THVSCIndexer::DefaultIndexFile() { return Platform::programDirectory() + indexFileName; }

bool THVSCIndexer::IndexFileExists() const { return Platform::isFile(DefaultIndexFile()); }

const uint8_t* THVSCIndexer::GetItemData(int index) const {
  return data_.data() + items_[static_cast<std::size_t>(index)].dataOffset;
}

bool THVSCIndexer::BuildIndex(const std::string& path, const std::atomic<bool>& interrupted) {
  // A second build replaces the first instead of appending to it.
  items_.clear();
  data_.clear();
  root_ = Hvsc::GetHvscRootLoose(path);
  const std::string level = Hvsc::GetHvscVersion(path);
  version_ = 0;
  if (!level.empty() && std::all_of(level.begin(), level.end(), [](char c) { return c >= '0' && c <= '9'; }))
    version_ = std::stoi(level);

  TFileSearch search;
  const bool endsInSeparator = !path.empty() && path.back() == Platform::pathSeparator;
  search.StartSearch(path + (endsInSeparator ? "" : std::string(1, Platform::pathSeparator)) + "*.sid", true);
  for (std::string name = search.GetNextFile(); !name.empty();) {
    AddFile(name);
    name = search.GetNextFile();
    if (interrupted.load()) return false;
  }
  return true;
}

bool THVSCIndexer::AddFile(const std::string& fileName) {
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
  for (std::size_t i = 0; i + 3 * periodK < length; ++i) {
    const std::size_t window = std::min((length - i) / 3 + periodK, periodWindow);
    if (window < periodPattern) continue;
    TBMSearch::PrepareTable(data + i, periodPattern, skipTable_);
    const int64_t found = TBMSearch::FindPattern(data + i + periodK, window, skipTable_, periodPattern, data + i);
    if (found < 0) continue;
    const std::size_t p = periodK + static_cast<std::size_t>(found);
    const uint8_t* b0 = data + i;
    if (std::memcmp(data + i + 2 * p, b0, p) != 0) continue;
    if (p > periodPattern && std::memcmp(data + i + p + periodPattern, b0 + periodPattern, p - periodPattern) != 0)
      continue;
    std::size_t c = 1;
    while (i + (c + 3) * p <= length && std::memcmp(data + i + (c + 2) * p, b0, p) == 0) ++c;
    // Two copies of the repeated block stay.
    std::memmove(data + i + 2 * p, data + i + (c + 2) * p, length - (i + (c + 2) * p));
    length -= c * p;
  }
  return length;
}

bool THVSCIndexer::SaveIndex(const std::function<void(const std::string&)>& outputLine) {
  return SaveIndexTo(DefaultIndexFile(), outputLine);
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
  out.insert(out.end(), data_.begin(), data_.end());
  const auto digest = digestOf(out.data() + countOffset, out.size() - countOffset);
  std::copy(digest.begin(), digest.end(), out.begin() + digestOffset);

  // Written aside first, so a failed write leaves an earlier index intact.
  const std::string partial = file + ".tmp";
  {
    std::ofstream stream(partial, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
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
  std::ifstream stream(file, std::ios::binary | std::ios::ate);
  if (!stream) {
    reason = "cannot open " + file;
    return false;
  }
  const std::streamoff fileSize = stream.tellg();
  stream.seekg(0);
  auto refuse = [&reason, &file](const std::string& why) {
    reason = file + ": " + why;
    return false;
  };
  if (fileSize < static_cast<std::streamoff>(countOffset + 4)) return refuse("too short to be an index file");

  std::array<uint8_t, 12> start{};
  if (!stream.read(reinterpret_cast<char*>(start.data()), start.size())) return refuse("cannot read the file");
  if (std::memcmp(start.data(), magic, sizeof magic) != 0) return refuse("not an HVSC index file");
  if (start[7] != formatVersion) return refuse("unknown index format version " + std::to_string(start[7]));
  const uint32_t dataOffset = getU32(start.data() + 8);
  // Count, root terminator and version byte at least, and within the file.
  if (dataOffset < countOffset + 6 || dataOffset > fileSize) return refuse("data offset outside the file");

  std::vector<uint8_t> header(dataOffset - digestOffset);
  if (!stream.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size())))
    return refuse("cannot read the header");
  std::vector<uint8_t> data(static_cast<std::size_t>(fileSize) - dataOffset);
  if (!data.empty() && !stream.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size())))
    return refuse("cannot read the data area");

  TMd5Stream md5;
  md5.write(header.data() + 16, header.size() - 16);
  md5.write(data.data(), data.size());
  const std::string hex = md5.digest();
  std::array<uint8_t, 16> expected{};
  for (std::size_t i = 0; i < expected.size(); ++i)
    expected[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  if (!std::equal(expected.begin(), expected.end(), header.begin())) return refuse("checksum mismatch");

  // Positions below count from the digest field, as the header buffer holds it.
  const std::size_t end = header.size();
  const uint32_t count = getU32(header.data() + 16);
  if (count == 0) return refuse("no items");
  std::size_t pos = 20;
  std::string root;
  if (!readString(header, pos, end, root) || pos >= end) return refuse("root or version missing");
  const int32_t version = header[pos++];
  // Each item needs at least a name terminator and an entry.
  if (count > (end - pos) / (1 + entrySize)) return refuse("item count larger than the header");
  std::vector<TSidItem> items(count);
  for (TSidItem& item : items)
    if (!readString(header, pos, end, item.name)) return refuse("item names cut short");
  if (end - pos != static_cast<std::size_t>(count) * entrySize) return refuse("entry table size mismatch");
  for (TSidItem& item : items) {
    const uint32_t offset = getU32(header.data() + pos);
    const uint16_t size = static_cast<uint16_t>(header[pos + 4] | header[pos + 5] << 8);
    pos += entrySize;
    if (static_cast<uint64_t>(offset) + size > data.size()) return refuse("item data outside the data area");
    item.dataOffset = static_cast<int32_t>(offset);
    item.dataSize = size;
  }

  root_ = std::move(root);
  version_ = version;
  items_ = std::move(items);
  data_ = std::move(data);
  reason.clear();
  return true;
}
