#!/usr/bin/env python3
"""Makes "new rips" of the example collection's tunes, for kelvary to find.

    make-rips.py COLLECTION_DIR OUT_DIR [--lib LIBZORVEX]

COLLECTION_DIR is what make-collection.py built. OUT_DIR receives, in
folders of their own and under other names:
  copies of PSID files with other title, author and released texts,
  tunes re-wrapped as BASIC programs by scripts/psid2prg.py (some on a song
  other than the first, a CIA-timed one, the NTSC one, the RSID one),
  the program rip that make-collection.py built.
Each of them plays music of the collection, so kelvary should name the
collection's file and song for every one. --lib is handed to psid2prg.py
(which then keeps its driver out of the memory each tune uses). Standard
library only.
"""
import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PSID2PRG = os.path.join(HERE, "..", "scripts", "psid2prg.py")

# collection file, new place, new title, author, released
RENAMED = [
    ("MUSICIANS/E/Example_Composer/Harbour_Lights.sid", "renamed/Tune_01.sid",
     "Tune 01", "Unknown", "199? Found on a disk"),
    ("MUSICIANS/E/Example_Composer/Copper_Kettle.sid", "renamed/Kettle.sid",
     "Kettle (3 tunes)", "<?>", "<?>"),
    ("DEMOS/N/Night_Shift.sid", "from_a_demo/intermission.sid",
     "Intermission", "Unknown Group", "2025 Unknown Group"),
]

# collection file, song (None: the start song), program
PROGRAMS = [
    ("MUSICIANS/E/Example_Composer/Harbour_Lights.sid", None, "programs/harbour.prg"),
    ("MUSICIANS/E/Example_Composer/Copper_Kettle.sid", 3, "programs/kettle_3.prg"),
    ("DEMOS/N/Night_Shift.sid", 1, "programs/night_cia.prg"),
    ("MUSICIANS/S/Sample_Musician/Square_Dance.sid", None, "programs/square_ntsc.prg"),
    ("GAMES/L/Lantern_Quest.sid", None, "programs/lantern_rsid.prg"),
]

PROGRAM_RIP = ("program-rip/harbour_lights.prg", "program-rip/intro.prg")


def text_field(text):
    raw = text.encode("latin-1")
    if len(raw) > 32:
        raise ValueError("header text longer than 32 bytes: " + text)
    return raw.ljust(32, b"\0")


def retitled(raw, title, author, released):
    """The PSID file with other texts at $16, $36 and $56; data unchanged."""
    return raw[:0x16] + text_field(title) + text_field(author) + text_field(released) + raw[0x76:]


def main():
    parser = argparse.ArgumentParser(description="Makes new rips of the example collection's tunes.")
    parser.add_argument("collection_dir")
    parser.add_argument("out_dir")
    parser.add_argument("--lib", metavar="LIBZORVEX")
    args = parser.parse_args()
    root = os.path.join(args.collection_dir, "C64Music")

    if os.path.isdir(args.out_dir):
        shutil.rmtree(args.out_dir)

    def target(place):
        path = os.path.join(args.out_dir, place)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        return path

    for source, place, title, author, released in RENAMED:
        with open(os.path.join(root, source), "rb") as f:
            raw = f.read()
        with open(target(place), "wb") as f:
            f.write(retitled(raw, title, author, released))
        print("%-28s copy of %s, retitled" % (place, source))

    for source, song, place in PROGRAMS:
        command = [sys.executable, PSID2PRG, "-q", os.path.join(root, source), target(place)]
        if song:
            command += ["--song", str(song)]
        if args.lib:
            command += ["--lib", args.lib]
        subprocess.run(command, check=True)
        print("%-28s %s song %s, wrapped as a program" % (place, source, song or "(start)"))

    source, place = PROGRAM_RIP
    shutil.copyfile(os.path.join(args.collection_dir, source), target(place))
    print("%-28s the program rip, copied" % place)
    return 0


if __name__ == "__main__":
    sys.exit(main())
