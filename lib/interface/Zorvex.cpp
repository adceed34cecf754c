// The library's C interface. Only the functions declared in include/zorvex.h
// are exported; everything else in the library stays hidden.
//
// Every export finds its instance through the handle under one of two locks:
// instanceLock for creation, loading, the tune record, the options and the
// metadata; the access spin lock for the stream accessors, the play clock and the
// memory images. run takes the spin lock only for the look-up, so instances on
// different threads emulate in parallel. A handle without a live instance gets the
// neutral answer (0, "", null, nothing copied), and no exception leaves an export.
#include "zorvex.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "C64Instance.h"
#include "ROMs.h"
#include "STIL.h"
#include "SongLength.h"

namespace {

constexpr int32_t slotCount = 255;
constexpr char emptyText[] = "";

// A spin lock on an interlocked counter whose idle value is -1: the increment
// that yields 0 owns it. The accessors it guards are short, so a waiter only
// yields its time slice instead of sleeping.
class TAccessLock {
 public:
  explicit TAccessLock(std::atomic<int32_t>& counter) : counter_(counter) {}
  void lock() {
    while (counter_.fetch_add(1, std::memory_order_acquire) + 1 > 0) {
      counter_.fetch_sub(1, std::memory_order_relaxed);
      std::this_thread::yield();
    }
  }
  void unlock() { counter_.fetch_sub(1, std::memory_order_release); }

 private:
  std::atomic<int32_t>& counter_;
};

// What the library keeps for all instances.
class TLibrary {
 public:
  static TLibrary& get() {
    static TLibrary library;
    return library;
  }

  TC64* find(int32_t handle) const {
    if (handle < 1 || handle > slotCount) return nullptr;
    return instanceTable[static_cast<std::size_t>(handle - 1)].get();
  }

  std::mutex instanceLock;
  std::atomic<int32_t> accessCounter{-1};
  std::array<std::unique_ptr<TC64>, slotCount> instanceTable;
  int32_t instanceCount = 0;
  // Collection metadata, one copy for all instances.
  TSongLength metadataStore;
  TStil stil;
  // What getFileName and getSTILEntry hand out, valid until their next call.
  std::string fileNameResult;
  std::string stilEntryResult;

 private:
  // The ROM set is built first, so that it outlives every instance that reads it.
  TLibrary() { TRoms::shared(); }
};

enum class TLock { instance, access };

template <TLock lockKind, typename Result, typename Body>
Result onInstance(int32_t handle, Result neutral, Body&& body) noexcept {
  try {
    TLibrary& library = TLibrary::get();
    auto call = [&]() -> Result {
      TC64* c64 = library.find(handle);
      return c64 ? static_cast<Result>(body(*c64)) : neutral;
    };
    if constexpr (lockKind == TLock::instance) {
      std::lock_guard guard(library.instanceLock);
      return call();
    } else {
      TAccessLock spin(library.accessCounter);
      std::lock_guard guard(spin);
      return call();
    }
  } catch (...) {
    return neutral;
  }
}

template <TLock lockKind, typename Body>
void onInstance(int32_t handle, Body&& body) noexcept {
  onInstance<lockKind>(handle, 0, [&](TC64& c64) {
    body(c64);
    return 0;
  });
}

// Exports without an instance, under instanceLock.
template <typename Result, typename Body>
Result underInstanceLock(Result neutral, Body&& body) noexcept {
  try {
    TLibrary& library = TLibrary::get();
    std::lock_guard guard(library.instanceLock);
    return body(library);
  } catch (...) {
    return neutral;
  }
}

template <std::size_t N>
void copyImage(const std::array<uint8_t, N>& image, uint8_t* buffer, int32_t length, uint8_t mask = 0xFF) {
  if (buffer == nullptr || length <= 0) return;
  const std::size_t count = std::min(static_cast<std::size_t>(length), N);
  std::transform(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(count), buffer,
                 [mask](uint8_t b) { return static_cast<uint8_t>(b & mask); });
}

constexpr int32_t libraryVersion() {
#if defined(ZORVEX_VERSION_MAJOR) && defined(ZORVEX_VERSION_MINOR) && defined(ZORVEX_VERSION_PATCH)
  return (ZORVEX_VERSION_MAJOR & 0xFF) * 256 + (ZORVEX_VERSION_MINOR & 0xF) * 16 + (ZORVEX_VERSION_PATCH & 0xF);
#else
  return 0x100;
#endif
}

constexpr bool lowByteSet(int32_t flag) { return (flag & 0xFF) != 0; }

// A caller's buffer: no bytes when the pointer is null or the length not positive.
std::size_t bufferLength(const uint8_t* buffer, int32_t length) {
  return buffer == nullptr || length <= 0 ? 0 : static_cast<std::size_t>(length);
}

std::string textArgument(const char* text) { return text ? std::string(text) : std::string(); }

// The tune's key in the song-length database: its fingerprint for Songlengths.txt,
// else the MD5 of the whole file for Songlengths.md5; empty when neither is listed.
std::string databaseKey(TSongLength& store, const TSidFile& tune) {
  for (const std::string* key : {&tune.md5, &tune.fileMd5})
    if (!key->empty() && store.Contains(*key)) return *key;
  return {};
}

}  // namespace

extern "C" {

// ---- instances ----------------------------------------------------------------

int32_t createC64(void) {
  return underInstanceLock(0, [](TLibrary& library) -> int32_t {
    if (library.instanceCount >= slotCount) return 0;
    const auto slot = std::find(library.instanceTable.begin(), library.instanceTable.end(), nullptr);
    if (slot == library.instanceTable.end()) return 0;
    *slot = std::make_unique<TC64>();
    ++library.instanceCount;
    return static_cast<int32_t>(slot - library.instanceTable.begin()) + 1;
  });
}

int32_t closeC64(int32_t handle) {
  return underInstanceLock(0, [handle](TLibrary& library) -> int32_t {
    if (handle < 1 || handle > slotCount || library.instanceCount == 0) return 0;
    std::unique_ptr<TC64>& slot = library.instanceTable[static_cast<std::size_t>(handle - 1)];
    if (!slot) return 0;
    slot.reset();
    --library.instanceCount;
    return 1;
  });
}

// ---- tune loading and tune data -------------------------------------------------

int32_t loadFile(int32_t handle, const char* path) {
  return onInstance<TLock::instance>(handle, 0, [path](TC64& c64) -> int32_t {
    return c64.loadFile(path ? std::string(path) : std::string()) ? 1 : 0;
  });
}

void setSongToPlay(int32_t handle, int32_t song) {
  onInstance<TLock::instance>(handle, [song](TC64& c64) { c64.setSongToPlay(song); });
}

int32_t getNumberOfSongs(int32_t handle) {
  return onInstance<TLock::instance>(handle, 0, [](TC64& c64) { return c64.tune->songs; });
}

int32_t getDefaultSong(int32_t handle) {
  return onInstance<TLock::instance>(handle, 0, [](TC64& c64) { return c64.tune->startSong - 1; });
}

int32_t getLoadAddress(int32_t handle) {
  return onInstance<TLock::instance>(handle, 0, [](TC64& c64) { return c64.tune->loadAddress; });
}

int32_t getLoadEndAddress(int32_t handle) {
  // One past the last byte placed, which is never beyond the 64 KB the machine has.
  return onInstance<TLock::instance>(handle, 0, [](TC64& c64) {
    return std::min(c64.tune->loadAddress + c64.tune->dataLength, 0x10000);
  });
}

int32_t getInitAddress(int32_t handle) {
  return onInstance<TLock::instance>(handle, 0, [](TC64& c64) { return c64.tune->initAddress; });
}

int32_t getPlayAddress(int32_t handle) {
  return onInstance<TLock::instance>(handle, 0, [](TC64& c64) { return c64.tune->playAddress; });
}

// Texts point into the tune record, which keeps them until the next load.
const char* getTitle(int32_t handle) {
  return onInstance<TLock::instance>(handle, emptyText, [](TC64& c64) {
    const TSidFile& t = *c64.tune;
    return (t.title.empty() && !t.musText.empty() ? t.musText : t.title).c_str();
  });
}

const char* getAuthor(int32_t handle) {
  return onInstance<TLock::instance>(handle, emptyText, [](TC64& c64) { return c64.tune->author.c_str(); });
}

const char* getReleased(int32_t handle) {
  return onInstance<TLock::instance>(handle, emptyText, [](TC64& c64) { return c64.tune->released.c_str(); });
}

const char* getMD5Hash(int32_t handle) {
  return onInstance<TLock::instance>(handle, emptyText, [](TC64& c64) { return c64.tune->md5.c_str(); });
}

int32_t getSIDModel(int32_t handle) {
  return onInstance<TLock::instance>(handle, 0, [](TC64& c64) { return c64.tune->sid8580 * 2 + c64.tune->sid6581; });
}

int32_t getC64Version(int32_t handle) {
  return onInstance<TLock::instance>(handle, 0, [](TC64& c64) { return c64.tune->ntsc * 2 + c64.tune->pal; });
}

void setC64Version(int32_t handle, int32_t value) {
  onInstance<TLock::instance>(handle, [value](TC64& c64) {
    c64.tune->pal = (value & 1) != 0;
    c64.tune->ntsc = (value & 2) != 0;
  });
}

// ---- playback -------------------------------------------------------------------

int32_t run(int32_t handle) {
  try {
    TLibrary& library = TLibrary::get();
    TC64* c64 = nullptr;
    {
      TAccessLock spin(library.accessCounter);
      std::lock_guard guard(spin);
      c64 = library.find(handle);
    }
    return c64 ? c64->run() : 0;
  } catch (...) {
    return 0;
  }
}

int32_t getCommand(int32_t handle) {
  return onInstance<TLock::access>(handle, 0, [](TC64& c64) { return c64.command; });
}

int32_t getRegister(int32_t handle) {
  return onInstance<TLock::access>(handle, 0, [](TC64& c64) -> int32_t { return c64.sidWrapper->getRegister(); });
}

int32_t getData(int32_t handle) {
  return onInstance<TLock::access>(handle, 0, [](TC64& c64) -> int32_t { return c64.sidWrapper->getData(); });
}

int32_t getCycles(int32_t handle) {
  return onInstance<TLock::access>(handle, 0,
                                   [](TC64& c64) { return static_cast<int32_t>(c64.sidWrapper->getCycles()); });
}

int32_t getTime(int32_t handle) {
  return onInstance<TLock::access>(handle, 0, [](TC64& c64) { return static_cast<int32_t>(c64.machine->songTime()); });
}

void pressButtons(int32_t handle) {
  onInstance<TLock::access>(handle, [](TC64& c64) { c64.machine->pressButtons(); });
}

void enableFixedStartup(int32_t handle) {
  onInstance<TLock::access>(handle, [](TC64& c64) { c64.machine->enableFixedStartup(); });
}

void skipSilence(int32_t handle, int32_t flag) {
  onInstance<TLock::instance>(handle, [flag](TC64& c64) { c64.setSkipSilence(lowByteSet(flag)); });
}

void enableVolumeFix(int32_t handle, int32_t flag) {
  onInstance<TLock::instance>(handle, [flag](TC64& c64) { c64.setVolumeFix(lowByteSet(flag)); });
}

// ---- memory images ----------------------------------------------------------------

void getMemory(int32_t handle, uint8_t* buffer, int32_t length) {
  onInstance<TLock::access>(handle, [=](TC64& c64) { copyImage(c64.machine->ram, buffer, length); });
}

void getMemoryUsageRam(int32_t handle, uint8_t* buffer, int32_t length) {
  onInstance<TLock::access>(handle, [=](TC64& c64) { copyImage(c64.machine->memory.ramUsage, buffer, length); });
}

void getMemoryUsageRom(int32_t handle, uint8_t* buffer, int32_t length) {
  onInstance<TLock::access>(handle, [=](TC64& c64) { copyImage(c64.machine->memory.romUsage, buffer, length, 0xEB); });
}

void clearMemUsageOnFirstSIDAccess(int32_t handle, int32_t flag) {
  onInstance<TLock::access>(handle, [flag](TC64& c64) { c64.machine->clearUsageOnFirstSid = lowByteSet(flag); });
}

// ---- HVSC metadata ------------------------------------------------------------------

int32_t checkSLDB(const char* path) {
  return underInstanceLock(0, [path](TLibrary&) { return TSongLength::CheckFile(textArgument(path)) ? 1 : 0; });
}

int32_t checkSLDBFromBuffer(const uint8_t* buffer, int32_t length) {
  return underInstanceLock(0, [=](TLibrary&) {
    return TSongLength::CheckSongLengthBuffer(buffer, bufferLength(buffer, length)) ? 1 : 0;
  });
}

int32_t loadSLDB(const char* path) {
  return underInstanceLock(0, [path](TLibrary& library) {
    return library.metadataStore.LoadFile(textArgument(path)) ? 1 : 0;
  });
}

int32_t loadSLDBFromBuffer(const uint8_t* buffer, int32_t length) {
  return underInstanceLock(0, [=](TLibrary& library) {
    return library.metadataStore.LoadSongLengthBuffer(buffer, bufferLength(buffer, length)) ? 1 : 0;
  });
}

int32_t loadSTIL(const char* path) {
  return underInstanceLock(0, [path](TLibrary& library) { return library.stil.loadSTIL(textArgument(path)) ? 1 : 0; });
}

int32_t loadSTILFromBuffer(const uint8_t* buffer, int32_t length) {
  return underInstanceLock(0, [=](TLibrary& library) {
    // A null buffer with a length is a caller's mistake, not an empty list.
    if (buffer == nullptr && length > 0) return 0;
    library.stil.loadSTILFromBuffer(buffer, bufferLength(buffer, length));
    return 1;
  });
}

const char* getSTILEntry(int32_t handle) {
  return underInstanceLock(static_cast<const char*>(nullptr), [handle](TLibrary& library) -> const char* {
    const TC64* c64 = library.find(handle);
    if (c64 == nullptr) return nullptr;
    std::string text = library.stil.GetStilEntry(c64->fileName);
    if (text.empty()) {
      // A tune outside the tree is still found under its collection path.
      const std::string key = databaseKey(library.metadataStore, *c64->tune);
      if (!key.empty()) {
        const std::string path = library.metadataStore.GetHvscPathForMd5(key);
        if (!path.empty()) text = library.stil.GetStilEntry(path);
      }
    }
    if (text.empty()) return nullptr;
    library.stilEntryResult = std::move(text);
    return library.stilEntryResult.c_str();
  });
}

const char* getFileName(const char* md5) {
  return underInstanceLock(emptyText, [md5](TLibrary& library) {
    library.fileNameResult = library.metadataStore.GetHvscPathForMd5(textArgument(md5));
    return library.fileNameResult.c_str();
  });
}

int32_t getSongLength(int32_t handle) {
  return underInstanceLock(0, [handle](TLibrary& library) -> int32_t {
    const TC64* c64 = library.find(handle);
    if (c64 == nullptr) return 0;
    const std::string key = databaseKey(library.metadataStore, *c64->tune);
    if (key.empty()) return 0;
    return TSongLength::ParseTime(library.metadataStore.GetSongLengthText(key, c64->tune->currentSong));
  });
}

// ---- version -----------------------------------------------------------------------

int32_t getVersion(void) {
  return underInstanceLock(0x100, [](TLibrary&) { return libraryVersion(); });
}

}  // extern "C"
