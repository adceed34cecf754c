// Arbitrary bytes as hvscindex.dat. The loader must refuse them or accept them
// whole: every accepted item's data inside the data area, and saving what was
// loaded giving back the same bytes. Most inputs fail the digest at once, so
// each is tried a second time with its digest made right: the fields behind
// it get tried too.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "HvscIndexer.h"
#include "WMD5.h"

namespace {

const std::string& savedFile() {
  static const std::string name = "/tmp/index_load_fuzz-" + std::to_string(::getpid()) + ".dat";
  return name;
}

void fixDigest(std::vector<uint8_t>& file) {
  if (file.size() < 28) return;
  TMd5Stream md5;
  md5.write(file.data() + 28, file.size() - 28);
  const std::string hex = md5.digest();
  for (std::size_t i = 0; i < 16; ++i) file[12 + i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
}

void check(const std::vector<uint8_t>& file) {
  THVSCIndexer indexer;
  std::string reason;
  // A buffer of exactly the input's size: any read past its end is reported.
  const bool loaded = indexer.LoadIndexFromBytes(file, "input", reason);
  if (loaded != reason.empty()) __builtin_trap();
  if (!loaded) return;

  const uint8_t* area = indexer.DataArea();
  const uint8_t* areaEnd = area + indexer.DataAreaSize();
  if (indexer.GetItemCount() < 1) __builtin_trap();
  for (int i = 0; i < indexer.GetItemCount(); ++i) {
    const uint8_t* item = indexer.GetItemData(i);
    if (item < area || item + indexer.GetItemSize(i) > areaEnd) __builtin_trap();
  }
  if (indexer.GetVersion() < 0 || indexer.GetVersion() > 255) __builtin_trap();

  if (!indexer.SaveIndexTo(savedFile(), nullptr)) __builtin_trap();
  std::ifstream in(savedFile(), std::ios::binary);
  const std::vector<uint8_t> saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (saved != file) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::vector<uint8_t> file(data, data + size);
  check(file);
  if (size >= 28) {
    fixDigest(file);
    check(file);
  }
  return 0;
}
