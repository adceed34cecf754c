"""Python access to libzorvex, the C64 emulation library: load C64 music files,
read their header facts, play them and get their SID register accesses, look
up HVSC song lengths and STIL entries. Pure Python over ctypes.

The library is looked for in ``ZORVEX_LIBRARY`` when that is set, else beside
this package, else on the system's library path.

>>> import zorvex
>>> with zorvex.open("Commando.sid") as tune:
...     print(tune.info.title, "by", tune.info.author)
...     for access in tune.play(seconds=0.05):
...         if access.write:
...             print(access.time, access.register, hex(access.value))
"""
from __future__ import annotations

from ._errors import ZorvexError
from ._hvsc import hvsc_path, load_song_lengths, load_stil
from ._library import format_version as _format_version
from ._library import lib as _lib
from ._library import library_path
from ._tune import ACCESS_DTYPE, Access, PathLike, Tune, TuneInfo, Usage

__version__ = "1.3.7"

__all__ = [
    "ACCESS_DTYPE",
    "Access",
    "Tune",
    "TuneInfo",
    "Usage",
    "ZorvexError",
    "hvsc_path",
    "library_path",
    "library_version",
    "load_song_lengths",
    "load_stil",
    "open",
]


def open(path: PathLike, *, fixed_startup: bool = True) -> Tune:
    """Loads a tune file (PSID, RSID, PRG, P00, MUS/STR) into an emulator
    instance of its own. ``fixed_startup`` makes every play start from the
    same machine state, so that plays repeat exactly.

    Raises ``FileNotFoundError`` or ``IsADirectoryError`` for a bad path,
    ``ZorvexError`` for a file that is not a tune or when all 255 instances
    are in use.
    """
    return Tune(path, fixed_startup=fixed_startup)


def library_version() -> str:
    """The loaded library's version, such as ``"1.3.7"``."""
    return _format_version(_lib().getVersion())
