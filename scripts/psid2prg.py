#!/usr/bin/env python3
"""Re-wraps a PSID or RSID tune as a C64 program.

    psid2prg.py PSID_IN PRG_OUT [--song N] [--lib LIBZORVEX] [--driver-at ADDR]
                [--acme PATH] [-q]

The program is a BASIC line "10 SYS 2062", a small driver and the tune data.
Run, the driver moves the data to its load address and plays song N (from 1;
default: the file's start song) the way the library's PSID player does: the
init call with the song in A, X and Y, then the play routine from a raster
interrupt on line 0 (vertical-blank songs) or from CIA 1 timer A (CIA songs),
memory banked for each call by the routine's address, the RAM from $0800 up
outside the data and (when the driver calls play) page zero cleared, and the
flags, timer and raster where that player has them when init and play are
called. A tune without a play address sets up its own interrupts in init; an
RSID tune gets the machine as BASIC leaves it.

The driver stays low in the stack page, else in the tape buffer at $0334,
else in the tune's free pages when the header names them, else next to the
data. Tunes that use those places too are better wrapped with --lib: the
song is played in libzorvex.so first and the driver goes where the tune
never reads or writes. --driver-at overrides.

Needs acme (the driver is scripts/psid2prg_driver.asm) and the standard
library.
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

DRIVER_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "psid2prg_driver.asm")
# Below $0400 no tune loads: the mover and the driver wait there while the
# data moves, one low in the stack page, the other in the tape buffer. The
# driver may stay in either (tunes seldom go that deep into the stack).
STACK_PAGE = 0x0100
TAPE_BUFFER = 0x0334
STACK_ROOM = 0xC0           # what the driver may take of the stack page
MOVER_STACK_ROOM = 0xF0     # for the mover: it only makes a call
TAPE_BUFFER_ROOM = 0x0400 - TAPE_BUFFER
PRG_START = 0x0801

# CIA 1 timer A latches on a PAL and an NTSC machine, the same the library's
# player uses, so that a program made here calls play at the rate the PSID
# plays at in the library on that machine. The driver picks by $02A6.
TIMERS_CIA = (0x3FFC, 0x42C7)
TIMERS_RASTER = (0x4CC8, 0x42C7)    # one frame; the timer runs, its interrupt is off
TIMERS_KERNAL = (0x4025, 0x4295)    # as the KERNAL sets them, for RSID tunes


class TuneError(Exception):
    pass


class Tune:
    def __init__(self, raw):
        if len(raw) < 0x76 or raw[:4] not in (b"PSID", b"RSID"):
            raise TuneError("not a PSID or RSID file")
        self.rsid = raw[:4] == b"RSID"
        (_, data_offset, load, init, self.play, songs, start,
         self.speed) = struct.unpack(">HHHHHHHI", raw[4:0x16])
        self.flags = raw[0x77] if data_offset >= 0x78 and len(raw) > 0x77 else 0
        self.free_start = self.free_pages = 0
        if data_offset >= 0x7C and len(raw) > 0x79:
            self.free_start, self.free_pages = raw[0x78], raw[0x79]
        data = raw[data_offset:]
        if load == 0:
            if len(data) < 2:
                raise TuneError("no load address in the data")
            load = data[0] | data[1] << 8
            data = data[2:]
        self.load = load
        self.data = data[:0x10000 - load]
        if not self.data:
            raise TuneError("no tune data")
        self.end = load + len(self.data) - 1
        self.basic = self.rsid and bool(self.flags & 0x02)
        self.init = init or load
        self.songs = min(max(songs, 1), 256)
        self.start_song = max(start if start <= self.songs else 1, 1)

    def cia_timed(self, song):
        if self.rsid:
            return True
        if self.flags & 0x02:            # PlaySID's own rule for songs above 32
            bit = (song - 1) % 32
        else:
            bit = min(song, 32) - 1
        return bool(self.speed >> bit & 1)


def init_bank(init, load_end, real_c64):
    """$01 for the init call, as the library's PSID driver sets it."""
    if 0xD000 <= init < 0xE000:
        return 0x34
    if init >= 0xE000:
        return 0x35
    return 0x37 if load_end < 0xA000 or real_c64 else 0x36


def play_bank(play):
    """$01 for each play call: by the routine's address alone."""
    if 0xD000 <= play < 0xE000:
        return 0x34
    if play >= 0xE000:
        return 0x35
    return 0x37 if play < 0xA000 else 0x36


def overlaps(start, length, ranges):
    return any(start < hi and lo < start + length for lo, hi in ranges)


def memory_in_use(library, path, song, seconds=60):
    """Usage marks of every RAM byte while the library plays the song as a
    PSID for the given time, init included."""
    import ctypes
    try:
        lib = ctypes.CDLL(library)
    except OSError as error:
        raise TuneError("cannot use %s: %s" % (library, error))
    lib.loadFile.argtypes = [ctypes.c_int32, ctypes.c_char_p]
    handle = lib.createC64()
    if handle <= 0 or lib.loadFile(handle, path.encode()) != 1:
        raise TuneError("the library cannot play the file")
    try:
        lib.enableFixedStartup(handle)
        lib.setSongToPlay(handle, song - 1)
        cycles, budget = 0, int(seconds * 985248)
        while cycles < budget:
            lib.run(handle)
            command = lib.getCommand(handle)
            # Empty slices are one millisecond; a delay or access reports its cycles.
            cycles += lib.getCycles(handle) & 0xFFFF if command in (1, 2) else 985
        marks = (ctypes.c_uint8 * 65536)()
        lib.getMemoryUsageRam(handle, marks, 65536)
        return bytes(marks)
    finally:
        lib.closeC64(handle)


def resident_place(tune, length, wanted, in_use=None):
    """Where the driver stays: low in the stack page, in the tape buffer, in
    the tune's free pages when the header names them, next to the data, or
    anywhere from $0800 up outside the data and the ROM and I/O areas; with
    the tune's memory use at hand, only where the tune never reads or writes."""
    taken = [(0xA000, 0xC000), (0xD000, 0x10000), (tune.load, tune.end + 1)]
    room = {STACK_PAGE: STACK_ROOM, TAPE_BUFFER: TAPE_BUFFER_ROOM}

    def fits(place):
        if place in room:
            if length > room[place]:
                return False
        elif place < 0x0800 or place + length > 0x10000 or overlaps(place, length, taken):
            return False
        return in_use is None or not any(in_use[place:place + length])

    if wanted is not None:
        if not fits(wanted):
            raise TuneError("the driver (%d bytes) does not fit at $%04X" % (length, wanted))
        return wanted
    candidates = [STACK_PAGE, TAPE_BUFFER]
    if tune.free_start not in (0x00, 0xFF) and tune.free_pages:
        lo = tune.free_start << 8
        candidates += range(lo, lo + (tune.free_pages << 8) - length + 1, 0x100)
    candidates += [(tune.end + 0x100) & 0xFF00, (tune.load & 0xFF00) - ((length + 0xFF) & 0xFF00)]
    candidates += range(0x0800, 0xD000, 0x100)
    for place in candidates:
        if fits(place):
            return place
    raise TuneError("no free memory for the driver")


def assemble(acme, symbols, data, work):
    """Assembles the driver with symbols and the data behind it; returns the
    program and acme's symbol values."""
    data_path = os.path.join(work, "tune.bin")
    with open(data_path, "wb") as f:
        f.write(data)
    top = os.path.join(work, "wrap.asm")
    with open(top, "w", encoding="ascii") as f:
        for name, value in symbols.items():
            f.write("%s = %d\n" % (name, value))  # decimal: acme reads "$0037" as a 16-bit number
        f.write('!source "%s"\n' % DRIVER_SOURCE.replace("\\", "/"))
        f.write('tune_data:\n!binary "%s"\ntune_end:\n+driver\n' % data_path.replace("\\", "/"))
    out = os.path.join(work, "wrap.prg")
    labels = os.path.join(work, "wrap.lbl")
    result = subprocess.run([acme, "-f", "cbm", "-o", out, "-l", labels, top],
                            cwd=work, capture_output=True, text=True)
    if result.returncode != 0:
        raise TuneError("acme failed:\n" + result.stdout + result.stderr)
    values = {}
    with open(labels, encoding="ascii") as f:
        for line in f:
            m = re.match(r"\s*(\w+)\s*=\s*\$([0-9a-fA-F]+)", line)
            if m:
                values[m.group(1)] = int(m.group(2), 16)
    with open(out, "rb") as f:
        return f.read(), values


def wrap(tune, song, driver_at, acme, clear_ram=True, clear_zp=True, in_use=None):
    if tune.basic:
        raise TuneError("a BASIC tune (RSID with the C64 BASIC flag) is a program already")
    if tune.load < 0x0400:
        raise TuneError("loads at $%04X, below $0400 where the driver needs the stack page" % tune.load)
    if not 1 <= song <= tune.songs:
        raise TuneError("no song %d (the file has %d)" % (song, tune.songs))
    cia = tune.cia_timed(song)
    timers = TIMERS_KERNAL if tune.rsid else TIMERS_CIA if cia else TIMERS_RASTER
    play = tune.play if not tune.rsid else 0
    pbank = play_bank(play) if play else 0x37
    # Between play calls the KERNAL must show, so that interrupts reach $0314.
    idle_bank = pbank if pbank in (0x36, 0x37) else (0x37 if tune.end < 0xA000 else 0x36)
    symbols = {
        "LOAD": tune.load, "DATA_LEN": len(tune.data), "INIT": tune.init, "PLAY": play,
        "SONG": song - 1, "TIMING": 1 if cia else 0,
        "TIMER_PAL": timers[0], "TIMER_NTSC": timers[1],
        "INIT_BANK": init_bank(tune.init, tune.end, tune.rsid), "PLAY_BANK": pbank, "IDLE_BANK": idle_bank,
        "RSID": 1 if tune.rsid else 0,
        "STAGING": TAPE_BUFFER, "HOLD": STACK_PAGE, "RESIDENT": STACK_PAGE,
        "CLEAR_RAM": 1 if clear_ram and not tune.rsid else 0,
        "CLEAR_ZP": 1 if clear_zp and play and not tune.rsid else 0,
    }
    with tempfile.TemporaryDirectory() as work:
        _, values = assemble(acme, symbols, tune.data, work)
        resident = resident_place(tune, values["RESIDENT_LEN"], driver_at, in_use)
        if resident == TAPE_BUFFER:
            symbols.update(STAGING=STACK_PAGE, HOLD=TAPE_BUFFER)
        symbols["RESIDENT"] = resident
        program, values = assemble(acme, symbols, tune.data, work)
    mover_room = MOVER_STACK_ROOM if symbols["STAGING"] == STACK_PAGE else TAPE_BUFFER_ROOM
    driver_room = STACK_ROOM if symbols["HOLD"] == STACK_PAGE else TAPE_BUFFER_ROOM
    if values["MOVER_LEN"] > mover_room or values["RESIDENT_LEN"] > driver_room:
        raise TuneError("the mover or the driver has grown too long")
    if values["tune_end"] - values["tune_data"] != len(tune.data):
        raise TuneError("the data does not follow the driver whole")
    if PRG_START + len(program) - 2 > 0xD000:
        raise TuneError("the program would reach into the I/O area ($D000); the tune is too long")
    how = "own interrupts" if not play else ("CIA 1 timer $%04X/$%04X" % timers if cia else "raster line 0")
    summary = "song %d of %d, data $%04X-$%04X, init $%04X, play %s, driver at $%04X" % (
        song, tune.songs, tune.load, tune.end, tune.init,
        "$%04X from %s" % (play, how) if play else "by the tune's " + how, symbols["RESIDENT"])
    return program, summary


def main():
    parser = argparse.ArgumentParser(description="Re-wraps a PSID or RSID tune as a C64 program.")
    parser.add_argument("psid_in")
    parser.add_argument("prg_out")
    parser.add_argument("--song", type=int, help="song to play, from 1 (default: the start song)")
    parser.add_argument("--driver-at", type=lambda s: int(s.lstrip("$"), 16),
                        help="address (hexadecimal) for the resident driver")
    parser.add_argument("--acme", default=shutil.which("acme") or "acme")
    parser.add_argument("--lib", metavar="LIBZORVEX",
                        help="play the song in this libzorvex.so first and keep the driver out "
                             "of the memory the tune uses")
    parser.add_argument("-q", "--quiet", action="store_true")
    args = parser.parse_args()
    try:
        with open(args.psid_in, "rb") as f:
            tune = Tune(f.read())
        song = args.song or tune.start_song
        in_use = memory_in_use(os.path.abspath(args.lib), args.psid_in, song) if args.lib else None
        program, summary = wrap(tune, song, args.driver_at, args.acme, in_use=in_use)
    except (OSError, TuneError) as error:
        print("psid2prg: %s: %s" % (args.psid_in, error), file=sys.stderr)
        return 1
    with open(args.prg_out, "wb") as f:
        f.write(program)
    if not args.quiet:
        print("%s -> %s: %s" % (args.psid_in, args.prg_out, summary))
    return 0


if __name__ == "__main__":
    sys.exit(main())
