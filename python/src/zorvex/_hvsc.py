"""HVSC documents: song lengths and STIL, loaded once for the whole library."""
from __future__ import annotations

import os
import threading
from typing import Optional, Union

from ._errors import ZorvexError
from ._library import lib

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# The library answers getSTILEntry and getFileName in one buffer each, valid
# until the next call from any thread: the copy is made under this lock.
_lock = threading.Lock()


def _encode(path: PathLike) -> bytes:
    encoded = os.fsencode(path)
    if b"\0" in encoded:
        raise ValueError("path contains a NUL byte: %r" % (path,))
    return encoded


def load_song_lengths(path: PathLike) -> None:
    """Loads the song-length database for every tune: Songlengths.txt (or
    Songlengths.md5) given directly, or found from a path at, in or above the
    collection root.

    >>> zorvex.load_song_lengths(os.path.expanduser("~/C64Music"))
    """
    encoded = _encode(path)
    with _lock:
        if lib().loadSLDB(encoded) != 1:
            raise ZorvexError("no song-length database (DOCUMENTS/Songlengths.txt or .md5) found from %r"
                              % (os.fspath(path),))


def load_stil(path: PathLike) -> None:
    """Loads STIL.txt and BUGlist.txt for every tune from the collection root,
    its parent or its DOCUMENTS directory."""
    encoded = _encode(path)
    with _lock:
        if lib().loadSTIL(encoded) != 1:
            raise ZorvexError("no STIL (DOCUMENTS/STIL.txt) found from %r" % (os.fspath(path),))


def hvsc_path(fingerprint: str) -> Optional[str]:
    """The collection path (``/MUSICIANS/...``) the loaded song-length
    database gives for a tune fingerprint, or None."""
    if not isinstance(fingerprint, str):
        raise TypeError("fingerprint must be a str, not %s" % type(fingerprint).__name__)
    key = fingerprint.encode("ascii", "replace")
    if b"\0" in key:
        raise ValueError("fingerprint contains a NUL character")
    with _lock:
        found = lib().getFileName(key)
    return found.decode("latin-1") if found else None


def song_length(handle: int) -> int:
    with _lock:
        return lib().getSongLength(handle)


def stil_entry(handle: int) -> Optional[str]:
    with _lock:
        entry = lib().getSTILEntry(handle)
    return entry.decode("latin-1") if entry is not None else None
