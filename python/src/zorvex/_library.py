"""Finding libzorvex and declaring its exports to ctypes."""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from typing import List, Optional

from ._errors import ZorvexError

CMD_IDLE, CMD_DELAY, CMD_WRITE, CMD_READ, CMD_RESTART, CMD_INIT_DONE = range(6)

_i32 = ctypes.c_int32
_text = ctypes.c_char_p
_bytes = ctypes.POINTER(ctypes.c_uint8)

# Every export with (result, arguments). Declaring them all up front means a
# library that lacks one is refused at load time, not in the middle of a play.
_PROTOTYPES = {
    "createC64": (_i32, []),
    "closeC64": (_i32, [_i32]),
    "loadFile": (_i32, [_i32, _text]),
    "setSongToPlay": (None, [_i32, _i32]),
    "getNumberOfSongs": (_i32, [_i32]),
    "getDefaultSong": (_i32, [_i32]),
    "getLoadAddress": (_i32, [_i32]),
    "getLoadEndAddress": (_i32, [_i32]),
    "getInitAddress": (_i32, [_i32]),
    "getPlayAddress": (_i32, [_i32]),
    "getTitle": (_text, [_i32]),
    "getAuthor": (_text, [_i32]),
    "getReleased": (_text, [_i32]),
    "getMD5Hash": (_text, [_i32]),
    "getSIDModel": (_i32, [_i32]),
    "getC64Version": (_i32, [_i32]),
    "setC64Version": (None, [_i32, _i32]),
    "run": (_i32, [_i32]),
    "getCommand": (_i32, [_i32]),
    "getRegister": (_i32, [_i32]),
    "getData": (_i32, [_i32]),
    "getCycles": (_i32, [_i32]),
    "getTime": (_i32, [_i32]),
    "pressButtons": (None, [_i32]),
    "enableFixedStartup": (None, [_i32]),
    "skipSilence": (None, [_i32, _i32]),
    "enableVolumeFix": (None, [_i32, _i32]),
    "getMemory": (None, [_i32, _bytes, _i32]),
    "getMemoryUsageRam": (None, [_i32, _bytes, _i32]),
    "getMemoryUsageRom": (None, [_i32, _bytes, _i32]),
    "clearMemUsageOnFirstSIDAccess": (None, [_i32, _i32]),
    "checkSLDB": (_i32, [_text]),
    "checkSLDBFromBuffer": (_i32, [_bytes, _i32]),
    "loadSLDB": (_i32, [_text]),
    "loadSLDBFromBuffer": (_i32, [_bytes, _i32]),
    "loadSTIL": (_i32, [_text]),
    "loadSTILFromBuffer": (_i32, [_bytes, _i32]),
    "getSTILEntry": (_text, [_i32]),
    "getFileName": (_text, [_text]),
    "getSongLength": (_i32, [_i32]),
    "getVersion": (_i32, []),
}

# The oldest library whose exports behave as this package expects.
_OLDEST_VERSION = 0x137

if sys.platform == "win32":
    _NAMES = ["zorvex.dll", "libzorvex.dll"]
elif sys.platform == "darwin":
    _NAMES = ["libzorvex.dylib"]
else:
    _NAMES = ["libzorvex.so", "libzorvex.so.1"]

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None
_path: Optional[str] = None


def _candidates() -> List[str]:
    """Where to look, in order: ZORVEX_LIBRARY alone when it is set, else beside
    this package, else wherever the system's loader finds it."""
    given = os.environ.get("ZORVEX_LIBRARY")
    if given:
        return [given]
    here = os.path.dirname(os.path.abspath(__file__))
    found = [os.path.join(here, name) for name in _NAMES if os.path.isfile(os.path.join(here, name))]
    found += _NAMES
    system = ctypes.util.find_library("zorvex")
    if system and system not in found:
        found.append(system)
    return found


def _declare(library: ctypes.CDLL, path: str) -> None:
    missing = [name for name in _PROTOTYPES if not hasattr(library, name)]
    if missing:
        raise ZorvexError("%s is not a zorvex library or too old: it lacks %s" % (path, ", ".join(missing)))
    for name, (result, arguments) in _PROTOTYPES.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    version = library.getVersion()
    if version < _OLDEST_VERSION:
        raise ZorvexError("%s is version %s; this package needs %s or later"
                          % (path, format_version(version), format_version(_OLDEST_VERSION)))


def format_version(packed: int) -> str:
    return "%d.%d.%d" % (packed >> 8, (packed >> 4) & 15, packed & 15)


def lib() -> ctypes.CDLL:
    """The loaded library, loaded on first use so that importing never fails."""
    global _library, _path
    if _library is not None:
        return _library
    with _lock:
        if _library is None:
            failures = []
            for candidate in _candidates():
                try:
                    loaded = ctypes.CDLL(candidate)
                except OSError as error:
                    failures.append("%s (%s)" % (candidate, error))
                    continue
                _declare(loaded, candidate)
                _library, _path = loaded, candidate
                break
            else:
                raise ZorvexError("libzorvex not found; set ZORVEX_LIBRARY to its path. Tried: "
                                  + "; ".join(failures))
    return _library


def library_path() -> str:
    """The file name the library was loaded from (loading it if need be)."""
    lib()
    assert _path is not None
    return _path
