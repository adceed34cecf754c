// Recognising PSID, RSID, PRG, P00 and Sidplayer MUS files, reading their
// headers into the tune record, placing their data and computing the
// song-length fingerprint.
#include "SidLoader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <filesystem>
#include <fstream>
#include <limits>

#include "Musplayer.h"
#include "P6510.h"
#include "WMD5.h"
#include "platform/Files.h"

namespace {

constexpr uint32_t allCiaTimed = 0xFFFFFFFF;
constexpr uint16_t basicRun = 0xA7AE;  // BASIC's RUN entry, for RSIDs that start from BASIC
constexpr uint16_t basicStart = 0x0801;
// An autostart program loads over the CHROUT vector at $0326: the KERNAL's first
// character output after LOAD then jumps into it.
constexpr uint16_t vectorLoadAddress = 0x0326;
constexpr std::size_t p00HeaderLength = 26;
constexpr std::array<uint8_t, 8> p00Magic = {'C', '6', '4', 'F', 'i', 'l', 'e', 0};

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of(Platform::directoryEnds);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".PRG" gives ".prg"; a name without a dot has none.
std::string lowerExtension(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return {};
  std::string ext = name.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

// Sidplayer text is in the C64 character set: printable codes become their
// nearest Windows-1252 character, graphics become line-drawing look-alikes.
constexpr std::array<uint8_t, 256> musCharacters = {
    0x00, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x0D, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x97, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0xA3, 0x5D, 0x5E, 0x3C,
    0x97, 0x2A, 0x7C, 0x97, 0x97, 0x97, 0x97, 0x7C, 0x7C, 0x5C, 0x5C, 0x2F, 0x20, 0x5C, 0x2F, 0xAF,
    0xAF, 0x4F, 0x5F, 0x2A, 0x7C, 0x2F, 0x58, 0x4F, 0x2A, 0x7C, 0x2A, 0x2B, 0x7C, 0x7C, 0xB6, 0x5C,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x7C, 0x97, 0xAF, 0x5F, 0x7C, 0x23, 0x7C, 0x97, 0x2F, 0x7C, 0x7C, 0x2F, 0x5C, 0x5C, 0x5F,
    0x2F, 0x97, 0x97, 0x7C, 0x7C, 0x7C, 0x7C, 0xAF, 0xAF, 0x5F, 0x5F, 0x5C, 0x5C, 0x2F, 0x2F, 0x58,
    0x97, 0x2A, 0x7C, 0x97, 0x97, 0x97, 0x97, 0x7C, 0x7C, 0x5C, 0x5C, 0x2F, 0x20, 0x5C, 0x2F, 0x20,
    0xAF, 0x4F, 0x5F, 0x2A, 0x7C, 0x2F, 0x58, 0x4F, 0x2A, 0x7C, 0x2A, 0x2B, 0x7C, 0x7C, 0xB6, 0x5C,
    0x20, 0x7C, 0x97, 0xAF, 0x5F, 0x7C, 0x23, 0x7C, 0x97, 0x2F, 0x7C, 0x7C, 0x2F, 0x5C, 0x5C, 0x5F,
    0x2F, 0x97, 0x97, 0x7C, 0x7C, 0x7C, 0x7C, 0xAF, 0xAF, 0x5F, 0x5F, 0x5C, 0x5C, 0x2F, 0x2F, 0xB6,
};

// Colour, case and cursor codes do not print; cursor left takes back the
// character before it.
bool musControlCode(uint8_t c) {
  switch (c) {
    case 5: case 8: case 9: case 14: case 17: case 18: case 19: case 20:
    case 28: case 29: case 30: case 31: case 129: case 142:
      return true;
    default:
      return c >= 144 && c <= 159;
  }
}
constexpr uint8_t musCursorLeft = 157;

std::string convertMusText(std::span<const uint8_t> text) {
  std::string out;
  for (uint8_t c : text) {
    if (musControlCode(c)) {
      if (c == musCursorLeft && !out.empty()) out.pop_back();
      continue;
    }
    out.push_back(static_cast<char>(musCharacters[c]));
  }
  // Lines end in CR on the C64; give them CR LF unless the text already has them.
  if (out.find("\r\n") != std::string::npos) return out;
  std::string lines;
  lines.reserve(out.size() + out.size() / 8);
  for (char c : out) {
    lines.push_back(c);
    if (c == '\r') lines.push_back('\n');
  }
  return lines;
}

// Reads the first TSidFile::bufferSize bytes of a file into `buffer` (the rest
// zero); the file's size, or -1 when it is no readable regular file.
int64_t readHead(const std::string& path, std::vector<uint8_t>& buffer) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return -1;
  std::ifstream file(path, std::ios::binary);
  if (!file) return -1;
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();
  if (end < 0) return -1;
  buffer.assign(TSidFile::bufferSize, 0);
  file.seekg(0);
  file.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  return end;
}

}  // namespace

TSidFile::TSidFile(T6510& c64) : machine(c64), fileBuffer(bufferSize) {}

uint16_t TSidFile::wordBigEndian(std::size_t offset) const {
  return static_cast<uint16_t>(fileBuffer[offset] << 8 | fileBuffer[offset + 1]);
}

uint16_t TSidFile::wordLittleEndian(std::size_t offset) const {
  return static_cast<uint16_t>(fileBuffer[offset] | fileBuffer[offset + 1] << 8);
}

std::string TSidFile::headerText(std::size_t offset, std::size_t maxLength) const {
  const auto begin = fileBuffer.begin() + static_cast<std::ptrdiff_t>(offset);
  return std::string(begin, std::find(begin, begin + static_cast<std::ptrdiff_t>(maxLength), uint8_t{0}));
}

void TSidFile::resetRecord() {
  playSidSpecific = false;
  musText.clear();
  loadAddress = playAddress = initAddress = 0;
  title.clear();
  author.clear();
  released.clear();
  dataLength = songs = startSong = 0;
  speed = 0;
  md5.clear();
  fileMd5.clear();
  pal = ntsc = sid6581 = sid8580 = realC64 = false;
  dataOffset = 0;
  fileSize = 0;
  trueFileSize = 0;
  secondFileSize = 0;
  mus = musStereo = false;
  musStereoAddress = 0;
}

bool TSidFile::load(const std::string& path, int32_t song) {
  resetRecord();
  currentSong = song;
  fileName = path;
  if (path.empty()) return false;

  // A directory opens as a stream on POSIX but is no tune.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();
  if (end < 0) return false;
  trueFileSize = static_cast<uint64_t>(end);
  fileSize = static_cast<int32_t>(std::min<uint64_t>(trueFileSize, std::numeric_limits<int32_t>::max()));
  // Bytes past the end of a short file read as 0, never as the previous tune's.
  std::fill(fileBuffer.begin(), fileBuffer.end(), uint8_t{0});
  file.seekg(0);
  file.read(reinterpret_cast<char*>(fileBuffer.data()), static_cast<std::streamsize>(bufferSize));
  // Every file of the collection fits a PSID header with 64 KB of data, so the
  // buffer holds the whole of any file that Songlengths.md5 can list.
  if (trueFileSize <= bufferSize && static_cast<uint64_t>(file.gcount()) == trueFileSize) {
    TMd5Stream whole;
    whole.write(fileBuffer.data(), static_cast<std::size_t>(trueFileSize));
    fileMd5 = whole.digest();
  }

  const bool psid = std::memcmp(fileBuffer.data(), "PSID", 4) == 0;
  const bool rsid = std::memcmp(fileBuffer.data(), "RSID", 4) == 0;
  if (psid || rsid) {
    if (!psidHoldsATune()) return false;
    realC64 = rsid;
    readPsidHeader(file, rsid);
    return true;
  }

  const std::string name = baseName(path);
  const std::string ext = lowerExtension(name);
  if (fileSize > 2) loadAddress = wordLittleEndian(0);

  const bool programExtension = ext == ".prg" || ext == ".dat";
  // Without an extension only a BASIC program that reaches past its first line counts.
  const bool bareProgram = ext.empty() && loadAddress <= basicStart && int64_t{loadAddress} + fileSize > 0x0803;
  if (programExtension || bareProgram) {
    if (!loadProgram(file, 0)) return false;
    realC64 = true;
    title = name.substr(0, 36);
    return true;
  }

  if ((ext == ".mus" || ext == ".str") && fileSize > 10) return loadMus(ext);

  if (ext.starts_with(".p") && fileSize > static_cast<int32_t>(p00HeaderLength) &&
      std::equal(p00Magic.begin(), p00Magic.end(), fileBuffer.begin())) {
    if (!loadProgram(file, p00HeaderLength)) return false;
    realC64 = true;
    title = headerText(8, 16);
    return true;
  }
  return false;
}

void TSidFile::restartSong(int32_t songIndex) { machine.prepareSong(tuneStart(), songIndex); }

TTuneStart TSidFile::tuneStart() const {
  TTuneStart s;
  s.loadAddress = static_cast<uint16_t>(loadAddress);
  s.realC64 = realC64;
  s.playSid = playSidSpecific;
  s.mus = mus;
  s.stereo = musStereo;
  s.stereoAddress = musStereoAddress;
  s.fileName = fileName;
  s.initAddress = static_cast<uint16_t>(initAddress);
  s.playAddress = static_cast<uint16_t>(playAddress);
  s.speed = speed;
  s.pal = pal;
  s.ntsc = ntsc;
  return s;
}

// The whole header its version states (118 bytes for version 1, 124 for the
// later ones), a data offset behind it and inside the file, and at least one
// data byte after the load address: anything less holds no tune.
bool TSidFile::psidHoldsATune() const {
  const int64_t headerLength = wordBigEndian(0x04) == 1 ? 0x76 : 0x7C;
  const auto size = static_cast<int64_t>(std::min<uint64_t>(trueFileSize, std::numeric_limits<int64_t>::max()));
  if (size < headerLength) return false;
  const int64_t offset = wordBigEndian(0x06);
  if (offset < headerLength || offset >= size) return false;
  const int64_t dataStart = offset + (wordBigEndian(0x08) == 0 ? 2 : 0);
  return dataStart < size;
}

void TSidFile::readPsidHeader(std::ifstream& file, bool rsid) {
  dataOffset = wordBigEndian(0x06);
  loadAddress = wordBigEndian(0x08);

  // A version 1 header ends at $76: what lies at $77 is already tune data.
  const uint8_t flags = dataOffset >= 0x77 ? fileBuffer[0x77] : 0;
  playSidSpecific = !rsid && (flags & 0x02);
  pal = flags & 0x04;
  ntsc = flags & 0x08;
  sid6581 = flags & 0x10;
  sid8580 = flags & 0x20;

  startSong = wordBigEndian(0x10);
  songs = std::clamp<int32_t>(wordBigEndian(0x0E), 1, 256);
  if (startSong > songs) startSong = 1;

  int64_t dataStart = dataOffset;
  if (loadAddress == 0) {
    loadAddress = wordLittleEndian(static_cast<std::size_t>(dataOffset));
    dataStart += 2;
  }
  dataLength = static_cast<int32_t>(int64_t{fileSize} - dataStart);
  placeData(file, dataStart, static_cast<uint16_t>(loadAddress), startSong - 1);

  initAddress = wordBigEndian(0x0A);
  if (initAddress == 0) initAddress = (loadAddress == basicStart && (flags & 0x02)) ? basicRun : loadAddress;
  playAddress = wordBigEndian(0x0C);

  title = headerText(0x16, 32);
  author = headerText(0x36, 32);
  released = headerText(0x56, 32);

  speed = rsid ? allCiaTimed : (static_cast<uint32_t>(wordBigEndian(0x12)) << 16) | wordBigEndian(0x14);
  md5 = psidFingerprint(rsid);
}

bool TSidFile::loadProgram(std::ifstream& file, int32_t headerLength) {
  int64_t length = int64_t{fileSize} - headerLength - 2;
  if (length >= 65536) length = 65536 - headerLength;
  dataLength = static_cast<int32_t>(length);
  if (dataLength <= 2) return false;

  const std::size_t dataStart = static_cast<std::size_t>(headerLength) + 2;
  TMd5Stream stream;
  stream.write(fileBuffer.data() + dataStart, static_cast<std::size_t>(dataLength));
  md5 = stream.digest();

  playSidSpecific = false;
  realC64 = true;
  dataOffset = 0;
  loadAddress = wordLittleEndian(static_cast<std::size_t>(headerLength));
  const bool basicProgram = loadAddress <= basicStart && loadAddress + dataLength > 0x0805;
  if (!basicProgram && loadAddress != vectorLoadAddress) return false;

  placeData(file, static_cast<int64_t>(dataStart), static_cast<uint16_t>(loadAddress), currentSong);

  initAddress = playAddress = 0;
  pal = true;
  ntsc = sid6581 = sid8580 = false;
  title.clear();
  author.clear();
  released.clear();
  songs = startSong = 1;
  speed = allCiaTimed;
  return true;
}

void TSidFile::placeData(std::ifstream& file, int64_t position, uint16_t address, int32_t songIndex) {
  std::vector<uint8_t> data;
  if (position >= 0 && static_cast<uint64_t>(position) < trueFileSize) {
    const uint64_t available = trueFileSize - static_cast<uint64_t>(position);
    data.resize(static_cast<std::size_t>(std::min<uint64_t>(available, 0x10000u - address)));
    file.clear();
    file.seekg(position);
    file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    // The file may have shrunk since its size was taken.
    data.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
  }
  machine.placeTuneData(tuneStart(), data, address, TTuneStart::Part::main, songIndex);
}

std::string TSidFile::psidFingerprint(bool rsid) const {
  const uint16_t offset = wordBigEndian(0x06);
  const uint16_t load = wordBigEndian(0x08);
  const uint16_t songCount = std::max<uint16_t>(wordBigEndian(0x0E), 1);
  if (songCount > 256) return {};
  const uint32_t speedWord =
      rsid ? allCiaTimed : (static_cast<uint32_t>(wordBigEndian(0x12)) << 16) | wordBigEndian(0x14);
  bool ntscOnly = false;
  bool playSid = false;
  if (offset >= 0x77) {
    const uint8_t flags = fileBuffer[0x77];
    ntscOnly = (flags & 0x0C) == 0x08;
    playSid = !rsid && (flags & 0x02);
  }

  // The load address in front of the data is not part of it.
  const int64_t start = offset + (load == 0 ? 2 : 0);
  const int64_t size = fileSize;
  const int64_t room = static_cast<int64_t>(bufferSize) - start - (load != 0 ? 2 : 0);
  if (start >= size || size <= 118 || room < size - start) return {};

  TMd5Stream stream;
  stream.write(fileBuffer.data() + start, static_cast<std::size_t>(size - start));
  for (std::size_t at : {0x0B, 0x0A, 0x0D, 0x0C}) stream.write(fileBuffer[at]);
  stream.write(static_cast<uint8_t>(songCount & 0xFF));
  stream.write(static_cast<uint8_t>(songCount >> 8));
  for (unsigned song = 0; song < songCount; ++song) {
    // PlaySID repeats the 32 bits; everyone else gives all songs from 32 on bit 31.
    const unsigned bit = playSid ? song % 32 : std::min(song, 31u);
    stream.write(static_cast<uint8_t>((speedWord >> bit) & 1 ? 60 : 0));
  }
  if (ntscOnly) stream.write(uint8_t{2});
  return stream.digest();
}

// The three voices its lengths announce, and the text behind them up to its 0
// byte, all within the first `available` bytes of buffer.
bool TSidFile::holdsVoices(const std::vector<uint8_t>& buffer, std::size_t available) {
  constexpr std::size_t lengthsEnd = 8;
  if (available <= lengthsEnd) return false;
  auto word = [&buffer](std::size_t at) { return std::size_t{buffer[at]} | std::size_t{buffer[at + 1]} << 8; };
  const std::size_t textStart = word(2) + word(4) + word(6) + lengthsEnd;
  if (textStart >= available) return false;
  return std::find(buffer.begin() + static_cast<std::ptrdiff_t>(textStart),
                   buffer.begin() + static_cast<std::ptrdiff_t>(available), uint8_t{0}) !=
         buffer.begin() + static_cast<std::ptrdiff_t>(available);
}

bool TSidFile::loadMus(const std::string& extension) {
  constexpr std::size_t lengthsEnd = 8;  // load address and three voice lengths
  // Windows finds the companion whatever the case of its extension; here the
  // case of the named file's extension is tried first, then lower case.
  const std::string stem = fileName.substr(0, fileName.size() - 4);
  std::string otherExtension = extension == ".mus" ? ".str" : ".mus";
  std::string sameCase = otherExtension;
  for (std::size_t i = 1; i < 4; ++i)
    if (fileName[fileName.size() - 4 + i] >= 'A' && fileName[fileName.size() - 4 + i] <= 'Z')
      sameCase[i] = static_cast<char>(sameCase[i] - 'a' + 'A');
  int64_t companionSize = readHead(stem + sameCase, secondFileBuffer);
  if (companionSize < 0 && sameCase != otherExtension) companionSize = readHead(stem + otherExtension, secondFileBuffer);
  // An empty or cut companion would turn the tune into a stereo one with its own
  // silence beside it: only one with whole voices and their text is a part.
  auto whole = [](const std::vector<uint8_t>& buffer, int64_t size) {
    return holdsVoices(buffer, std::min<std::size_t>(static_cast<std::size_t>(size), bufferSize));
  };
  bool hasCompanion = companionSize >= 0 && whole(secondFileBuffer, companionSize);
  if (hasCompanion && extension == ".str") {
    // The .mus holds the first part: it becomes the main file.
    std::swap(fileBuffer, secondFileBuffer);
    const auto namedSize = static_cast<int64_t>(trueFileSize);
    trueFileSize = static_cast<uint64_t>(companionSize);
    companionSize = namedSize;
    fileSize = static_cast<int32_t>(std::min<uint64_t>(trueFileSize, std::numeric_limits<int32_t>::max()));
    // The named .str is the second part now, and must be whole as well.
    hasCompanion = whole(secondFileBuffer, companionSize);
  }
  if (hasCompanion)
    secondFileSize = static_cast<int32_t>(std::min<int64_t>(companionSize, std::numeric_limits<int32_t>::max()));

  dataOffset = 0;
  loadAddress = TMusplayer::musicAddress;
  playSidSpecific = false;

  // The text follows the voices and ends at the first 0 byte. Without one the
  // voice lengths are wrong or the file is cut short: not a tune we can play.
  const std::size_t available = std::min<std::size_t>(static_cast<std::size_t>(fileSize), bufferSize);
  if (!holdsVoices(fileBuffer, available)) return false;
  const std::size_t textStart =
      std::size_t{wordLittleEndian(2)} + wordLittleEndian(4) + wordLittleEndian(6) + lengthsEnd;
  const auto textBegin = fileBuffer.begin() + static_cast<std::ptrdiff_t>(textStart);
  const auto textEnd = std::find(textBegin, fileBuffer.begin() + static_cast<std::ptrdiff_t>(available), uint8_t{0});
  if (textEnd == fileBuffer.begin() + static_cast<std::ptrdiff_t>(available)) return false;
  const std::size_t zero = static_cast<std::size_t>(textEnd - fileBuffer.begin());

  // A second part that follows the text's 0 byte is played by the stereo player.
  // Disk copies often carry a few stray bytes there instead; only a tail whose
  // own voice lengths leave room for its text counts as a part.
  const std::size_t tail = zero + 1;
  const bool embedded = tail < static_cast<std::size_t>(fileSize) && tail + lengthsEnd < available &&
                        tail + lengthsEnd + wordLittleEndian(tail + 2) + wordLittleEndian(tail + 4) +
                                wordLittleEndian(tail + 6) < available;
  const bool stereo = hasCompanion || embedded;
  const unsigned stereoData = embedded ? TMusplayer::musicAddress + zero + 1
                                       : TMusplayer::musicAddress + static_cast<unsigned>(fileSize);
  musText = convertMusText(std::span<const uint8_t>(&*textBegin, zero - textStart));

  // Both parts lie in memory from $1000 up to the players, without their load addresses.
  const std::size_t room = TMusplayer::dataLimit() - TMusplayer::musicAddress;
  const std::span<const uint8_t> mainData(fileBuffer.data() + 2, std::min(available - 2, room));
  mus = true;
  musStereo = stereo;
  musStereoAddress = static_cast<uint16_t>(stereoData);
  const TTuneStart start = tuneStart();
  machine.placeTuneData(start, mainData, TMusplayer::musicAddress, TTuneStart::Part::main, currentSong);
  int64_t loadedEnd = TMusplayer::musicAddress + static_cast<int64_t>(mainData.size());
  if (hasCompanion) {
    const int64_t secondAddress = int64_t{TMusplayer::musicAddress} + fileSize;
    const std::size_t secondAvailable = std::min<std::size_t>(static_cast<std::size_t>(secondFileSize), bufferSize);
    // A main file that fills the memory up to the players leaves no room for the companion.
    if (secondAvailable > 2 && secondAddress < TMusplayer::dataLimit()) {
      const std::size_t secondRoom = static_cast<std::size_t>(TMusplayer::dataLimit() - secondAddress);
      const std::span<const uint8_t> secondData(secondFileBuffer.data() + 2,
                                                std::min(secondAvailable - 2, secondRoom));
      machine.placeTuneData(start, secondData, static_cast<uint16_t>(secondAddress), TTuneStart::Part::second,
                            currentSong);
      loadedEnd = secondAddress + static_cast<int64_t>(secondData.size());
    }
  }
  // One past the last music byte in memory, so that getLoadEndAddress covers both parts.
  dataLength = static_cast<int32_t>(loadedEnd - TMusplayer::musicAddress);

  initAddress = stereo ? TMusplayer::stereoInit : TMusplayer::monoInit;
  playAddress = stereo ? TMusplayer::stereoPlay : TMusplayer::monoPlay;
  md5 = musFingerprint(hasCompanion, embedded, zero);
  pal = true;
  ntsc = false;
  sid6581 = false;
  sid8580 = true;
  title.clear();
  author.clear();
  released.clear();
  songs = startSong = 1;
  speed = allCiaTimed;
  return true;
}

std::string TSidFile::musFingerprint(bool companion, bool embedded, std::size_t textEnd) const {
  const std::size_t mainEnd = std::min<std::size_t>(static_cast<std::size_t>(fileSize), bufferSize);
  TMd5Stream stream;
  if (companion) {
    stream.write(fileBuffer.data() + 2, mainEnd - 2);
    const std::size_t secondEnd = std::min<std::size_t>(static_cast<std::size_t>(secondFileSize), bufferSize);
    if (secondEnd > 2) stream.write(secondFileBuffer.data() + 2, secondEnd - 2);
  } else if (embedded) {
    // The second part's own load address is not music.
    stream.write(fileBuffer.data() + 2, textEnd - 1);
    if (textEnd + 3 < mainEnd) stream.write(fileBuffer.data() + textEnd + 3, mainEnd - textEnd - 3);
  } else {
    stream.write(fileBuffer.data() + 2, mainEnd - 2);
  }
  return stream.digest();
}
