"""Tunes: loading, header facts, playing, memory maps."""
from __future__ import annotations

import array
import ctypes
import enum
import errno
import math
import numbers
import operator
import os
import threading
from typing import TYPE_CHECKING, Any, Iterator, List, NamedTuple, Optional, Tuple, Union

from . import _hvsc
from ._errors import ZorvexError
from ._library import CMD_DELAY, CMD_IDLE, CMD_READ, CMD_WRITE, lib

if TYPE_CHECKING:
    import numpy

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

MEMORY_SIZE = 65536
# Beyond a day of play the library's millisecond clock is no use to anyone.
LONGEST_PLAY_SECONDS = 24 * 3600.0

_CLOCKS = {0: "unknown", 1: "PAL", 2: "NTSC", 3: "PAL/NTSC"}
_CLOCK_VALUES = {"PAL": 1, "NTSC": 2}
_SID_MODELS = {0: "unknown", 1: "6581", 2: "8580", 3: "6581/8580"}


class Usage(enum.IntFlag):
    """The flags of a usage map byte (one per address)."""

    LOADED = 0x02
    WRITTEN_BEFORE_READ = 0x04
    WRITTEN = 0x08
    FIRST_ACCESS = 0x10
    READ = 0x20
    DUMMY_READ = 0x40
    FETCHED = 0x80


class Access(NamedTuple):
    """One SID register access.

    ``time`` counts C64 clock cycles from the start of the sub-tune. A write's
    is exact: the library gives each write the cycles since the write before
    (reads between do not split them) and they are summed here. A read's is
    the time of the access before it plus the read's own delay, which after a
    silence of more than about 20 ms falls short of the true time by that
    silence: the library hands silences on only with the next write.
    """

    time: int
    register: int
    value: int
    write: bool


class TuneInfo(NamedTuple):
    """What a tune file says about itself, read when it is opened.

    Songs count from 1 as in HVSC. ``clock`` is ``"PAL"``, ``"NTSC"``,
    ``"PAL/NTSC"`` or ``"unknown"``; ``sid_model`` is ``"6581"``, ``"8580"``,
    ``"6581/8580"`` or ``"unknown"``. ``fingerprint`` is the HVSC song-length
    MD5 of the tune (the key of Songlengths.txt). Texts are decoded as Latin-1,
    HVSC's character set, so no byte is lost.
    """

    title: str
    author: str
    released: str
    songs: int
    default_song: int
    clock: str
    sid_model: str
    load_address: int
    load_end_address: int
    init_address: int
    play_address: int
    fingerprint: str


ACCESS_DTYPE: List[Tuple[str, str]] = [("time", "<u8"), ("register", "u1"), ("value", "u1"), ("write", "?")]
"""The NumPy dtype of :meth:`Tune.play_array`, field for field :class:`Access`."""


def _encode_path(path: PathLike) -> bytes:
    """The path's bytes as the operating system sees them (undecodable names
    included), refusing what C would cut short."""
    encoded = os.fsencode(path)
    if b"\0" in encoded:
        raise ValueError("path contains a NUL byte: %r" % (path,))
    return encoded


def _text(raw: Optional[bytes]) -> str:
    return raw.decode("latin-1") if raw else ""


class Tune:
    """A tune file loaded into an emulator instance of its own.

    Open it with :func:`zorvex.open`; close it (or leave a ``with`` block)
    to free the instance: the library has 255. Every method of a closed tune
    raises ``ValueError``. One tune may be used from any thread, one call at a
    time; tunes on different threads play in parallel.

    >>> with zorvex.open("Commando.sid") as tune:
    ...     print(tune.info.title, tune.info.songs)
    ...     writes = [a for a in tune.play(seconds=1) if a.write]
    """

    def __init__(self, path: PathLike, *, fixed_startup: bool = True) -> None:
        encoded = _encode_path(path)
        self._lib = lib()
        self._lock = threading.RLock()
        self._handle = 0
        # Each play (and each song selection) starts a new generation; a
        # stream of an older one stops instead of reading someone else's.
        self._generation = 0
        self._selected: Optional[int] = None
        self.path: Union[str, bytes] = os.fspath(path)
        if not os.path.exists(encoded):
            raise FileNotFoundError(errno.ENOENT, "no such tune file", self.path)
        if os.path.isdir(encoded):
            raise IsADirectoryError(errno.EISDIR, "a directory, not a tune file", self.path)
        if not os.access(encoded, os.R_OK):
            raise PermissionError(errno.EACCES, "tune file not readable", self.path)
        handle = self._lib.createC64()
        if handle == 0:
            raise ZorvexError("no free emulator instance: all 255 are in use; close tunes no longer needed")
        self._handle = handle
        if fixed_startup:
            self._lib.enableFixedStartup(handle)
        if self._lib.loadFile(handle, encoded) != 1:
            self.close()
            raise ZorvexError("not a tune the library can play (PSID, RSID, PRG, P00, MUS, STR): %r" % (self.path,))
        self.info = self._read_info(handle)
        self._header_clock = self._lib.getC64Version(handle)

    def _read_info(self, h: int) -> TuneInfo:
        lib_ = self._lib
        return TuneInfo(
            title=_text(lib_.getTitle(h)),
            author=_text(lib_.getAuthor(h)),
            released=_text(lib_.getReleased(h)),
            songs=lib_.getNumberOfSongs(h),
            # A PSID without a start song plays its first.
            default_song=max(lib_.getDefaultSong(h), 0) + 1,
            clock=_CLOCKS.get(lib_.getC64Version(h), "unknown"),
            sid_model=_SID_MODELS.get(lib_.getSIDModel(h), "unknown"),
            load_address=lib_.getLoadAddress(h),
            load_end_address=lib_.getLoadEndAddress(h),
            init_address=lib_.getInitAddress(h),
            play_address=lib_.getPlayAddress(h),
            fingerprint=_text(lib_.getMD5Hash(h)),
        )

    # ---- life ------------------------------------------------------------

    @property
    def closed(self) -> bool:
        return self._handle == 0

    def close(self) -> None:
        """Frees the emulator instance; closing again does nothing."""
        with self._lock:
            if self._handle:
                self._lib.closeC64(self._handle)
                self._handle = 0
                self._generation += 1

    def __enter__(self) -> "Tune":
        self._live()
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def __del__(self) -> None:
        # At interpreter exit the module globals may already be gone.
        try:
            self.close()
        except Exception:
            pass

    def __repr__(self) -> str:
        state = "closed" if self.closed else "handle %d" % self._handle
        return "<zorvex.Tune %r %s>" % (self.path, state)

    def _live(self) -> int:
        """The handle; a closed tune's is 0, and the library may have given
        the number to another tune since."""
        if self._handle == 0:
            raise ValueError("operation on a closed tune: %r" % (self.path,))
        return self._handle

    def _check_song(self, song: Optional[int]) -> int:
        if song is None:
            return self.info.default_song
        if isinstance(song, bool):
            raise TypeError("song must be an int, not bool")
        song = operator.index(song)
        if not 1 <= song <= self.info.songs:
            raise ValueError("song %d out of range: %r has songs 1 to %d" % (song, self.path, self.info.songs))
        return song

    def _select(self, song: int) -> None:
        """Selects a song (under the lock); the tune starts over."""
        self._lib.setSongToPlay(self._live(), song - 1)
        self._generation += 1
        self._selected = song

    # ---- playing ---------------------------------------------------------

    def play(self, song: Optional[int] = None, seconds: float = 60.0, *, clock: Optional[str] = None,
             skip_silence: bool = False, volume_fix: bool = False,
             clear_usage_on_first_sid_access: bool = False) -> Iterator[Access]:
        """Starts ``song`` (from 1; default: the tune's start song) and returns
        its SID accesses for ``seconds`` of play time as :class:`Access`
        tuples, in the order the library hands them out.

        ``clock`` (``"PAL"`` or ``"NTSC"``) overrides the header's video clock.
        ``skip_silence`` shortens a silent lead-in, ``volume_fix`` puts a volume
        write first when the tune sets none, ``clear_usage_on_first_sid_access``
        clears the usage maps at the first SID access so that they show what
        the music uses. The play time is the library's play clock in whole
        milliseconds (``seconds`` is rounded up), which runs from the end of
        the tune's init routine.

        Starting another play (or asking another song's length) starts the
        tune over: a stream of the earlier play then raises ``ZorvexError``.

        >>> for access in tune.play(song=2, seconds=0.1):
        ...     print(access.time, access.register, access.value, access.write)
        """
        return map(Access._make, self._start(song, seconds, clock, skip_silence, volume_fix,
                                             clear_usage_on_first_sid_access))

    def play_array(self, song: Optional[int] = None, seconds: float = 60.0, *, clock: Optional[str] = None,
                   skip_silence: bool = False, volume_fix: bool = False,
                   clear_usage_on_first_sid_access: bool = False) -> "numpy.ndarray":
        """The whole stream of :meth:`play` at once, as a NumPy structured
        array of :data:`ACCESS_DTYPE` (fields ``time``, ``register``, ``value``,
        ``write``). Needs NumPy.

        >>> a = tune.play_array(seconds=10)
        >>> a[a["write"] & (a["register"] == 24)]["value"]   # the volume writes
        """
        try:
            import numpy
        except ImportError:
            raise ImportError("play_array needs NumPy (apt-get install python3-numpy, or pip install numpy)") from None
        times, registers, values, writes = array.array("Q"), array.array("B"), array.array("B"), array.array("B")
        for time, register, value, write in self._start(song, seconds, clock, skip_silence, volume_fix,
                                                       clear_usage_on_first_sid_access):
            times.append(time)
            registers.append(register)
            values.append(value)
            writes.append(write)
        result = numpy.empty(len(times), dtype=ACCESS_DTYPE)
        result["time"] = numpy.frombuffer(times, dtype=numpy.uint64) if times else 0
        result["register"] = numpy.frombuffer(registers, dtype=numpy.uint8) if registers else 0
        result["value"] = numpy.frombuffer(values, dtype=numpy.uint8) if values else 0
        result["write"] = numpy.frombuffer(writes, dtype=numpy.uint8) if writes else 0
        return result

    def _start(self, song: Optional[int], seconds: float, clock: Optional[str], skip_silence: bool,
               volume_fix: bool, clear_usage: bool) -> Iterator[Tuple[int, int, int, bool]]:
        """Checks the arguments and starts the song now, so that mistakes raise
        at the call, not at the first item."""
        song = self._check_song(song)
        if isinstance(seconds, bool) or not isinstance(seconds, numbers.Real):
            raise TypeError("seconds must be a number, not %s" % type(seconds).__name__)
        if not (0 < seconds <= LONGEST_PLAY_SECONDS):  # NaN fails this too
            raise ValueError("seconds must be above 0 and at most %d, not %r" % (LONGEST_PLAY_SECONDS, seconds))
        if clock is None:
            version = self._header_clock
        elif clock in _CLOCK_VALUES:
            version = _CLOCK_VALUES[clock]
        else:
            raise ValueError("clock must be 'PAL', 'NTSC' or None, not %r" % (clock,))
        milliseconds = int(math.ceil(seconds * 1000))  # the play clock counts whole milliseconds
        lib_ = self._lib
        with self._lock:
            h = self._live()
            lib_.skipSilence(h, int(skip_silence))
            lib_.enableVolumeFix(h, int(volume_fix))
            lib_.clearMemUsageOnFirstSIDAccess(h, int(clear_usage))
            # The header's clock is written back too: an earlier play may have changed it.
            lib_.setC64Version(h, version)
            self._select(song)
            generation = self._generation
        return self._stream(generation, milliseconds)

    def _stream(self, generation: int, milliseconds: int) -> Iterator[Tuple[int, int, int, bool]]:
        lib_ = self._lib
        run, command, get_cycles = lib_.run, lib_.getCommand, lib_.getCycles
        get_register, get_data, get_time = lib_.getRegister, lib_.getData, lib_.getTime
        # Stops a tune whose play clock keeps starting over (a program that
        # waits for a key in silence): each empty answer is a slice of about a
        # millisecond, and together with the reported delays they overstate
        # the C64 time that passed at most twice over; init takes under a minute.
        emulated_limit = (4 * milliseconds + 240_000) * 1000
        clock = 0  # cycles up to the last write
        last = 0  # time of the last access
        idle_slices = 0
        while True:
            with self._lock:
                if generation != self._generation:
                    if self._handle == 0:
                        raise ValueError("tune closed while playing: %r" % (self.path,))
                    raise ZorvexError("tune started over by another play or song selection: %r" % (self.path,))
                h = self._handle
                if get_time(h) >= milliseconds:
                    return
                run(h)
                kind = command(h)
                if kind == CMD_WRITE:
                    clock += get_cycles(h)
                    last = clock
                    item = (clock, get_register(h), get_data(h), True)
                elif kind == CMD_READ:
                    last += get_cycles(h)
                    item = (last, get_register(h), get_data(h), False)
                else:
                    if kind == CMD_DELAY:
                        clock += get_cycles(h)
                        last = clock
                    elif kind == CMD_IDLE:
                        idle_slices += 1
                    if clock + idle_slices * 1000 > emulated_limit:
                        return
                    continue
            yield item

    def press_buttons(self) -> None:
        """Presses the space key and the joystick fire button, as multi-part
        programs want to go on to their next tune."""
        with self._lock:
            self._lib.pressButtons(self._live())

    # ---- memory ------------------------------------------------------------

    def _image(self, function: Any) -> bytes:
        buffer = (ctypes.c_uint8 * MEMORY_SIZE)()
        with self._lock:
            function(self._live(), buffer, MEMORY_SIZE)
        return bytes(buffer)

    def memory(self) -> bytes:
        """The C64's 64 KB of RAM as it stands now."""
        return self._image(self._lib.getMemory)

    def ram_usage(self) -> bytes:
        """One byte of :class:`Usage` flags per RAM address.

        >>> code = [a for a, f in enumerate(tune.ram_usage()) if f & zorvex.Usage.FETCHED]
        """
        return self._image(self._lib.getMemoryUsageRam)

    def rom_usage(self) -> bytes:
        """One byte of :class:`Usage` flags per address, for accesses that
        reached ROM or I/O instead of RAM."""
        return self._image(self._lib.getMemoryUsageRom)

    # ---- HVSC documents ------------------------------------------------------

    def song_length(self, song: Optional[int] = None) -> Optional[float]:
        """The song's length in seconds from the song-length database loaded
        with :func:`zorvex.load_song_lengths`, or None when it is not listed.
        Asking for another song than the one playing starts the tune over."""
        song = self._check_song(song)
        with self._lock:
            if song != self._selected:
                self._select(song)
            milliseconds = _hvsc.song_length(self._live())
        return milliseconds / 1000.0 if milliseconds else None

    @property
    def stil(self) -> Optional[str]:
        """The tune's STIL entry (all its songs) from the STIL loaded with
        :func:`zorvex.load_stil`, or None when it has none."""
        with self._lock:
            return _hvsc.stil_entry(self._live())
