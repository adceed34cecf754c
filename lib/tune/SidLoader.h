// TSidFile: recognises a tune file (PSID, RSID, PRG, P00, Sidplayer MUS),
// reads its header into the tune record, places its C64 data into the machine's
// memory and computes the tune's fingerprint.
//
//   TSidFile tune(machine);
//   if (tune.load("/path/Commando.sid", 0)) {   // currentSong 0 until a song is chosen
//     tune.songs; tune.initAddress; tune.md5;    // the tune record
//     tune.restartSong(2);                       // memory as loaded, for sub-tune 3
//   }
//
// Header fields, texts and the fingerprint come from the first 65662 bytes of the
// file; the data placed into memory is read from the whole file. A failed load
// leaves the fields it set so far; callers then treat the tune as absent.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "TuneStart.h"

class T6510;

class TSidFile {
 public:
  static constexpr std::size_t bufferSize = 65662;

  explicit TSidFile(T6510& machine);

  bool load(const std::string& path, int32_t song);
  void restartSong(int32_t songIndex);
  // What the machine needs of the record to place the tune and start it.
  TTuneStart tuneStart() const;

  // The tune record.
  int32_t currentSong = 0;
  bool playSidSpecific = false;
  std::string musText;
  int32_t loadAddress = 0;
  int32_t playAddress = 0;
  int32_t initAddress = 0;
  std::string title;
  std::string author;
  std::string released;
  int32_t dataLength = 0;
  int32_t songs = 0;
  int32_t startSong = 0;
  uint32_t speed = 0;
  std::string md5;
  // MD5 of the whole file, the key of HVSC's Songlengths.md5 since release #70;
  // empty for files larger than bufferSize, which no collection tune is.
  std::string fileMd5;
  bool pal = false;
  bool ntsc = false;
  bool sid6581 = false;
  bool sid8580 = false;
  bool realC64 = false;
  int32_t dataOffset = 0;
  std::string fileName;
  int32_t fileSize = 0;

 private:
  void resetRecord();
  static bool holdsVoices(const std::vector<uint8_t>& buffer, std::size_t available);
  bool psidHoldsATune() const;
  void readPsidHeader(std::ifstream& file, bool rsid);
  bool loadProgram(std::ifstream& file, int32_t headerLength);
  // Reads the data from file position `position` on, as much as fits from
  // `address` to $FFFF, and hands it to the machine.
  void placeData(std::ifstream& file, int64_t position, uint16_t address, int32_t songIndex);
  std::string psidFingerprint(bool rsid) const;
  // Sidplayer music: a .mus or .str file, with its companion when one exists.
  bool loadMus(const std::string& extension);
  std::string musFingerprint(bool companion, bool embedded, std::size_t textEnd) const;

  uint16_t wordBigEndian(std::size_t offset) const;
  uint16_t wordLittleEndian(std::size_t offset) const;
  std::string headerText(std::size_t offset, std::size_t maxLength) const;

  T6510& machine;
  std::vector<uint8_t> fileBuffer;
  std::vector<uint8_t> secondFileBuffer;
  uint64_t trueFileSize = 0;  // fileSize saturates at 2 GB
  int32_t secondFileSize = 0;  // of the MUS companion in secondFileBuffer
  bool mus = false;             // Sidplayer music
  bool musStereo = false;       // in two parts
  uint16_t musStereoAddress = 0;
};
