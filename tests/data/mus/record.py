#!/usr/bin/env python3
"""Records the original Sidplayer's note events of the files make_cases.py
writes: python3 record.py PATH/TO/refplay > events.txt. refplay (the shared
tools folder) plays .mus files with libsidplayfp's copy of the original player,
a .str beside a .mus as its second part on a second chip. Both chips are
folded onto one, as our machine maps them, before the gate openings are taken."""
import os
import subprocess
import sys

SECONDS = 14
here = os.path.dirname(os.path.abspath(__file__))
print(f"# note events of the original Sidplayer: refplay -t {SECONDS + 1} FILE, chips folded onto one,")
print("# a gate opening per line: FILE VOICE CYCLE FREQUENCY (first " + str(SECONDS) + " s, PAL cycles)")
for name in sorted(os.listdir(here)):
    if not name.endswith('.mus'):
        continue
    out = subprocess.run([sys.argv[1], '-t', str(SECONDS + 1), os.path.join(here, name)], capture_output=True,
                         text=True, check=True).stdout
    regs = [0] * 32
    for line in out.splitlines():
        cycle, reg, value = map(int, line.split())
        reg &= 31
        if cycle > 985248 * SECONDS or cycle < 100 or reg >= 25:
            continue  # the reference player's own volume write at power-on
        old, regs[reg] = regs[reg], value
        if reg % 7 == 4 and reg < 21 and value & 1 and not old & 1:
            v = reg // 7
            print(name, v, cycle, regs[v * 7] | regs[v * 7 + 1] << 8)
