#include "Zorvex_Wrapper.h"

#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/Files.h"
#include "platform/Library.h"
#include "zorvex.h"

// Where an installed tree keeps the library, seen from bin/.
#ifndef KELVARY_LIB_FROM_BIN
#define KELVARY_LIB_FROM_BIN "../lib"
#endif

namespace {

// The import table: one pointer per export the tool calls, typed from the
// library's own header so that a change of a signature shows at compile time.
struct TImports {
  decltype(&::getVersion) getVersion = nullptr;
  decltype(&::createC64) createC64 = nullptr;
  decltype(&::closeC64) closeC64 = nullptr;
  decltype(&::loadFile) loadFile = nullptr;
  decltype(&::enableFixedStartup) enableFixedStartup = nullptr;
  decltype(&::clearMemUsageOnFirstSIDAccess) clearMemUsageOnFirstSIDAccess = nullptr;
  decltype(&::getC64Version) getC64Version = nullptr;
  decltype(&::getNumberOfSongs) getNumberOfSongs = nullptr;
  decltype(&::setSongToPlay) setSongToPlay = nullptr;
  decltype(&::setC64Version) setC64Version = nullptr;
  decltype(&::run) run = nullptr;
  decltype(&::getCommand) getCommand = nullptr;
  decltype(&::getCycles) getCycles = nullptr;
  decltype(&::getRegister) getRegister = nullptr;
  decltype(&::getData) getData = nullptr;
  decltype(&::pressButtons) pressButtons = nullptr;
  decltype(&::getMemoryUsageRam) getMemoryUsageRam = nullptr;
  decltype(&::getMemory) getMemory = nullptr;
};

// Bound once by the main thread before any worker starts, read-only after.
struct TBinding {
  std::unique_ptr<Platform::TSharedLibrary> library;
  TImports imports;
};
TBinding& binding() {
  static TBinding bound;
  return bound;
}
const TImports& imports() { return binding().imports; }

template <typename F>
bool bindOne(const Platform::TSharedLibrary& library, const char* name, F& function, std::string& missing) {
  function = reinterpret_cast<F>(library.symbol(name));
  if (function == nullptr) missing = name;
  return function != nullptr;
}

bool bindAll(const Platform::TSharedLibrary& lib, TImports& t, std::string& missing) {
  return bindOne(lib, "getVersion", t.getVersion, missing) && bindOne(lib, "createC64", t.createC64, missing) &&
         bindOne(lib, "closeC64", t.closeC64, missing) && bindOne(lib, "loadFile", t.loadFile, missing) &&
         bindOne(lib, "enableFixedStartup", t.enableFixedStartup, missing) &&
         bindOne(lib, "clearMemUsageOnFirstSIDAccess", t.clearMemUsageOnFirstSIDAccess, missing) &&
         bindOne(lib, "getC64Version", t.getC64Version, missing) &&
         bindOne(lib, "getNumberOfSongs", t.getNumberOfSongs, missing) &&
         bindOne(lib, "setSongToPlay", t.setSongToPlay, missing) &&
         bindOne(lib, "setC64Version", t.setC64Version, missing) && bindOne(lib, "run", t.run, missing) &&
         bindOne(lib, "getCommand", t.getCommand, missing) && bindOne(lib, "getCycles", t.getCycles, missing) &&
         bindOne(lib, "getRegister", t.getRegister, missing) && bindOne(lib, "getData", t.getData, missing) &&
         bindOne(lib, "pressButtons", t.pressButtons, missing) &&
         bindOne(lib, "getMemoryUsageRam", t.getMemoryUsageRam, missing) &&
         bindOne(lib, "getMemory", t.getMemory, missing);
}

}  // namespace

namespace Zorvex {

std::string LibraryFileName() { return Platform::sharedLibraryFileName("zorvex"); }

bool Bind(std::string& why) {
  TBinding& bound = binding();
  if (bound.library) return true;
  // Beside the program (the build tree, a portable copy), in an installed
  // tree's lib/, then wherever the system looks.
  const std::string file = Platform::sharedLibraryFileName("zorvex", ZORVEX_VERSION_MAJOR);
  std::vector<std::string> candidates;
  if (const std::string own = Platform::programDirectory(); !own.empty()) {
    candidates.push_back(own + file);
    candidates.push_back(own + KELVARY_LIB_FROM_BIN + "/" + file);
  }
  candidates.push_back(file);
  std::string firstReason;
  for (const std::string& candidate : candidates) {
    if (candidate != file && !Platform::isFile(candidate)) continue;
    std::string reason;
    auto library = Platform::TSharedLibrary::open(candidate, reason);
    if (!library) {
      if (firstReason.empty()) firstReason = reason;
      continue;
    }
    TImports imports;
    std::string missing;
    if (!bindAll(*library, imports, missing)) {
      why = candidate + " does not export " + missing;
      return false;
    }
    bound.library = std::move(library);
    bound.imports = imports;
    return true;
  }
  why = firstReason.empty() ? file + " not found" : firstReason;
  return false;
}

void BindOrThrow() {
  if (std::string why; !Bind(why)) throw std::runtime_error(why);
}

int32_t GetVersion() { return imports().getVersion(); }

}  // namespace Zorvex

TZorvexInstance::TZorvexInstance() {
  if (imports().createC64 == nullptr) throw std::logic_error("the library is not bound");
  handle_ = imports().createC64();
  // Every call on handle 0 would quietly do nothing, and every file would look
  // unloadable: better to say so once.
  if (handle_ == 0) throw std::runtime_error("no free emulator instance in the library");
}

TZorvexInstance::~TZorvexInstance() { imports().closeC64(handle_); }

bool TZorvexInstance::LoadFile(const std::string& name) { return imports().loadFile(handle_, name.c_str()) == 1; }

void TZorvexInstance::PrepareFile() {
  imports().enableFixedStartup(handle_);
  imports().clearMemUsageOnFirstSIDAccess(handle_, 1);
}

int32_t TZorvexInstance::GetC64Version() { return imports().getC64Version(handle_); }

int32_t TZorvexInstance::GetNumberOfSongs() { return imports().getNumberOfSongs(handle_); }

void TZorvexInstance::SetSongToPlay(int32_t song) { imports().setSongToPlay(handle_, song); }

void TZorvexInstance::SetC64Version(int32_t version) { imports().setC64Version(handle_, version); }

void TZorvexInstance::Next(TStreamEntry& entry) {
  const TImports& z = imports();
  z.run(handle_);
  entry.command = z.getCommand(handle_);
  if (entry.command == cmdDelay || entry.command == cmdWrite) {
    entry.cycles = static_cast<uint32_t>(z.getCycles(handle_)) & 0xFFFF;
    if (entry.command == cmdWrite) {
      entry.reg = static_cast<uint8_t>(z.getRegister(handle_));
      entry.value = static_cast<uint8_t>(z.getData(handle_));
    }
  }
}

void TZorvexInstance::PressButtons() { imports().pressButtons(handle_); }

void TZorvexInstance::CopyMemory(uint8_t* memory, uint8_t* usage) {
  imports().getMemoryUsageRam(handle_, usage, 65536);
  imports().getMemory(handle_, memory, 65536);
}
