#!/usr/bin/env python3
"""Builds the example collection from the tunes' 6502 sources.

    make-collection.py OUT_DIR [--acme PATH]

Assembles every tune in examples/tunes with acme and writes
  OUT_DIR/C64Music/...           a small tree laid out like HVSC: DEMOS,
                                 DOCUMENTS (with an update marker), GAMES,
                                 MUSICIANS; PSID/RSID v2 files whose header
                                 load address is 0, the real one leading the
                                 data, as in HVSC
  OUT_DIR/program-rip/harbour_lights.prg
                                 a BASIC program that plays Harbour Lights
                                 from its own interrupt
Standard library only.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

TUNES_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tunes")

# Header flags (low byte at $77): clock in bits 2-3, SID model in bits 4-5.
PAL = 0x04
NTSC = 0x08
MOS6581 = 0x10

# source, place in the tree, kind, title, author, released, songs, start
# song, speed bits (bit n-1: song n runs from the CIA timer), flags.
# The player's entry points are JMP init at the load address and JMP play
# three bytes on; the RSID tune plays from its own interrupt (play 0).
TUNES = [
    ("harbour_lights.asm", "MUSICIANS/E/Example_Composer/Harbour_Lights.sid", "PSID",
     "Harbour Lights", "Example Composer", "2024 Zorvex Examples", 1, 1, 0, PAL | MOS6581),
    ("copper_kettle.asm", "MUSICIANS/E/Example_Composer/Copper_Kettle.sid", "PSID",
     "Copper Kettle", "Example Composer", "2024 Zorvex Examples", 3, 1, 0, PAL | MOS6581),
    ("square_dance.asm", "MUSICIANS/S/Sample_Musician/Square_Dance.sid", "PSID",
     "Square Dance", "Sample Musician", "2025 Zorvex Examples", 1, 1, 0, NTSC | MOS6581),
    ("night_shift.asm", "DEMOS/N/Night_Shift.sid", "PSID",
     "Night Shift", "Example Composer", "2025 Example Demo Group", 2, 1, 0b01, PAL | MOS6581),
    ("lantern_quest.asm", "GAMES/L/Lantern_Quest.sid", "RSID",
     "Lantern Quest", "Sample Musician", "2025 Example Games", 1, 1, 0, PAL | MOS6581),
]

PROGRAM_RIP = ("harbour_lights_prg.asm", "program-rip/harbour_lights.prg")

UPDATE_MARKER = """Example collection, update 1

The tunes of the zorvex examples, written for the library's own tests and
its README: five files in the four folders of a collection tree.
"""


def assemble(acme, source, work):
    """Returns the program acme makes of source: load address, then data."""
    out = os.path.join(work, os.path.splitext(source)[0] + ".prg")
    subprocess.run([acme, "-f", "cbm", "-o", out, source], cwd=TUNES_DIR, check=True)
    with open(out, "rb") as f:
        return f.read()


def text_field(text):
    raw = text.encode("latin-1")
    if len(raw) > 32:
        raise ValueError("header text longer than 32 bytes: " + text)
    return raw.ljust(32, b"\0")


def sid_file(kind, program, title, author, released, songs, start_song, speed, flags):
    """A version 2 header with load address 0, then the program as acme wrote it."""
    load = program[0] | program[1] << 8
    init = load
    play = load + 3 if kind == "PSID" else 0
    if kind == "RSID":
        speed = 0  # RSID tunes set up their own timing
    header = b"".join([
        kind.encode("ascii"),
        struct.pack(">HHHHHHHI", 2, 0x7C, 0, init, play, songs, start_song, speed),
        text_field(title), text_field(author), text_field(released),
        struct.pack(">HBBBB", flags, 0, 0, 0, 0),
    ])
    assert len(header) == 0x7C
    return header + program


def main():
    parser = argparse.ArgumentParser(description="Builds the example collection.")
    parser.add_argument("out_dir")
    parser.add_argument("--acme", default=shutil.which("acme") or "acme")
    args = parser.parse_args()

    root = os.path.join(args.out_dir, "C64Music")
    if os.path.isdir(root):
        shutil.rmtree(root)
    for top in ("DEMOS", "DOCUMENTS", "GAMES", "MUSICIANS"):
        os.makedirs(os.path.join(root, top))
    with open(os.path.join(root, "DOCUMENTS", "Update001.hvs"), "w", encoding="ascii") as f:
        f.write(UPDATE_MARKER)

    with tempfile.TemporaryDirectory() as work:
        for source, place, kind, title, author, released, songs, start, speed, flags in TUNES:
            program = assemble(args.acme, source, work)
            path = os.path.join(root, place)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(sid_file(kind, program, title, author, released, songs, start, speed, flags))
            print("%-52s %s at $%04X, %d song%s" % (place, kind, program[0] | program[1] << 8, songs,
                                                    "" if songs == 1 else "s"))
        source, place = PROGRAM_RIP
        program = assemble(args.acme, source, work)
        path = os.path.join(args.out_dir, place)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(program)
        print("%-52s BASIC program, %d bytes" % (place, len(program)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
