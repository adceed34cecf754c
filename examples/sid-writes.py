#!/usr/bin/env python3
"""Plays tunes in libzorvex.so and prints or compares their SID writes.

    sid-writes.py [--lib PATH] [--seconds S] [--ntsc] FILE[#SONG]
        prints "cycles register value" per write from the start of the music
    sid-writes.py [--lib PATH] [--seconds S] [--ntsc] --compare FILE[#SONG] FILE[#SONG] ...
        compares the first file's writes with each other file's; prints one
        line per other file and exits with 1 when any differ

SONG counts from 1 (default: the file's start song). --lib defaults to
build/bin/libzorvex.so beside the sources. The music is taken to
start at the write where kelvary starts hashing (a voice keyed with a waveform
while it has a frequency, and the other rules of its start detection); the
writes from there for S seconds (default 60) are compared as (register, value)
pairs. A sequence that stops a few writes before the other (the last play
call falls on the other side of the time limit) still agrees.

Runs with the standard library only (ctypes).
"""
import argparse
import ctypes
import os
import sys

CMD_DELAY, CMD_WRITE, CMD_READ, CMD_RESTART = 1, 2, 3, 4
PAL_HZ = 985248.444
NTSC_HZ = 1022727.143

# Writes in the last play call before the time limit may fall on either side
# of it; a tune writes far fewer than this per call.
TAIL_SLACK = 64


def find_library(given):
    """--lib, else the library of the usual build beside the sources."""
    if given:
        return given
    return os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "bin",
                                         "libzorvex.so"))


class StartDetector:
    """Where the music starts: the same rules as kelvary's data hash."""

    def __init__(self):
        self.count = 0
        self.last = [0] * 256
        self.changes = [0] * 256
        self.voice = [False] * 3
        self.mid = 0
        self.edge = 0
        self.volume = 0

    def feed(self, r, v):
        self.count += 1
        if self.count > 65535:
            return True
        for n, (lo, hi) in enumerate(((0, 1), (7, 8), (14, 15))):
            if self.voice[n] and r in (lo, hi) and v:
                return True
        if v != self.last[r] or r in (4, 11, 18):
            self.changes[r] += 1
        if v or r == 23:
            self.last[r] = v
        if any(self.voice) and self.changes[r] > 4:
            return True
        if r == 24:
            if self.mid > 2 or self.edge > 4:
                return True
            if v != self.volume:
                self.volume = v
                if v & 15 in (0, 15):
                    self.edge += 1
                else:
                    self.mid += 1
            return False
        if not v or r not in (4, 11, 18) or not v & 9 or not v & 0xF0:
            return False
        n = (4, 11, 18).index(r)
        self.voice[n] = True
        lo, hi = ((0, 1), (7, 8), (14, 15))[n]
        return bool(self.last[lo] or self.last[hi])


class Player:
    def __init__(self, library):
        self.lib = ctypes.CDLL(library)
        self.lib.loadFile.argtypes = [ctypes.c_int32, ctypes.c_char_p]
        self.handle = self.lib.createC64()
        if self.handle <= 0:
            raise RuntimeError("no free emulator instance")

    def writes(self, path, song, seconds, ntsc):
        """(cycles since the start, register, value) from the start of the music on."""
        lib, h = self.lib, self.handle
        if lib.loadFile(h, path.encode()) != 1:
            raise RuntimeError("cannot load " + path)
        lib.enableFixedStartup(h)
        if song is None:
            song = lib.getDefaultSong(h) + 1
        if not 1 <= song <= lib.getNumberOfSongs(h):
            raise RuntimeError("%s has no song %d" % (path, song))
        lib.setSongToPlay(h, song - 1)
        lib.setC64Version(h, 2 if ntsc else 1)
        budget = int(seconds * (NTSC_HZ if ntsc else PAL_HZ))
        elapsed, idle, result = 0, 0, []
        detector = StartDetector()
        started = False
        last_delay = 0
        written = False
        # Idle limits as kelvary's: a silent stretch after some writes, or no
        # write within the whole time.
        while elapsed <= budget and idle <= (70000000 if written else budget):
            lib.run(h)
            command = lib.getCommand(h)
            if command in (CMD_DELAY, CMD_WRITE):
                last_delay = lib.getCycles(h) & 0xFFFF
                elapsed += last_delay
                idle = 0
                if command == CMD_WRITE:
                    written = True
                    r, v = lib.getRegister(h) & 0xFF, lib.getData(h) & 0xFF
                    if started:
                        result.append((elapsed, r, v))
                    elif detector.feed(r, v):
                        started, elapsed = True, 0
            elif command == CMD_READ:
                elapsed += last_delay
            elif command == CMD_RESTART:
                detector, started, elapsed, result = StartDetector(), False, 0, []
            else:
                idle += 1000
        if result and result[-1][0] > budget:
            result.pop()
        return result


def split_song(arg):
    path, _, song = arg.rpartition("#")
    if path and song.isdigit():
        return path, int(song)
    return arg, None


def compare(a, b):
    """None when b plays a's writes, else a description of the first difference."""
    pairs_a = [(r, v) for _, r, v in a]
    pairs_b = [(r, v) for _, r, v in b]
    n = min(len(pairs_a), len(pairs_b))
    for i in range(n):
        if pairs_a[i] != pairs_b[i]:
            return "differ at write %d: $%02X=$%02X against $%02X=$%02X" % (
                i, pairs_a[i][0], pairs_a[i][1], pairs_b[i][0], pairs_b[i][1])
    if abs(len(pairs_a) - len(pairs_b)) > TAIL_SLACK:
        return "%d writes against %d" % (len(pairs_a), len(pairs_b))
    if n == 0:
        return "no music"
    return None


def time_shift(a, b):
    """Largest difference in cycles between the times of matching writes."""
    return max((abs(x[0] - y[0]) for x, y in zip(a, b)), default=0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--lib")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--ntsc", action="store_true", help="play on the NTSC machine")
    parser.add_argument("--compare", action="store_true")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    player = Player(find_library(args.lib))

    if not args.compare:
        for arg in args.files:
            path, song = split_song(arg)
            for t, r, v in player.writes(path, song, args.seconds, args.ntsc):
                print("%10d %2d $%02X" % (t, r, v))
        return 0

    if len(args.files) < 2:
        parser.error("--compare needs two files or more")
    path, song = split_song(args.files[0])
    reference = player.writes(path, song, args.seconds, args.ntsc)
    status = 0
    for arg in args.files[1:]:
        path, song = split_song(arg)
        try:
            other = player.writes(path, song, args.seconds, args.ntsc)
        except RuntimeError as error:
            print("%s: %s" % (arg, error))
            status = 1
            continue
        difference = compare(reference, other)
        if difference:
            status = 1
        if difference:
            print("%s: %s (%d writes)" % (arg, difference, len(other)))
        else:
            print("%s: same writes (%d writes, times within %d cycles)" % (arg, len(other),
                                                                        time_shift(reference, other)))
    return status


if __name__ == "__main__":
    sys.exit(main())
