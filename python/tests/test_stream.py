"""The Python stream against the C exports driven directly."""
import hashlib
import os
import shutil
import subprocess

import pytest

import zorvex
from conftest import REPOSITORY

# The exports in their plain C-call order, printing what Tune.play yields:
# time (write delays summed; a read after the access before it), register, value, write.
PLAYER_C = r"""
#include <stdio.h>
#include <stdlib.h>
#include "zorvex.h"

int main(int argc, char **argv) {  /* tune song(0: start song) ms clock(0: header) skip-silence volume-fix */
  if (argc != 7) return 2;
  int32_t h = createC64();
  enableFixedStartup(h);
  skipSilence(h, atoi(argv[5]));
  enableVolumeFix(h, atoi(argv[6]));
  if (!loadFile(h, argv[1])) return 3;
  if (atoi(argv[4])) setC64Version(h, atoi(argv[4]));
  int32_t song = atoi(argv[2]) ? atoi(argv[2]) - 1 : getDefaultSong(h);
  setSongToPlay(h, song < 0 ? 0 : song);
  unsigned long long clock = 0, last = 0;
  while (getTime(h) < atoi(argv[3])) {
    run(h);
    switch (getCommand(h)) {
      case ZORVEX_CMD_DELAY: clock += getCycles(h); last = clock; break;
      case ZORVEX_CMD_WRITE:
        clock += getCycles(h);
        last = clock;
        printf("%llu %d %d 1\n", clock, getRegister(h), getData(h));
        break;
      case ZORVEX_CMD_READ:
        last += getCycles(h);
        printf("%llu %d %d 0\n", last, getRegister(h), getData(h));
        break;
    }
  }
  closeC64(h);
  return 0;
}
"""

VALISE = "C64Music/MUSICIANS/M/Moogle_Charm/Forget_the_Valise.sid"  # NTSC, samples, reads, long delays
SKIER = "C64Music/MUSICIANS/S/Southern_Shaun/Olympic_Skier.sid"  # six songs, reads


@pytest.fixture(scope="module")
def c_player(tmp_path_factory):
    header = REPOSITORY / "lib/include/zorvex.h"
    compiler = shutil.which("cc")
    if not header.is_file() or compiler is None:
        pytest.skip("needs a C compiler (cc) and the repository's lib/include/zorvex.h")
    library = zorvex.library_path()
    link = [library, "-Wl,-rpath," + os.path.dirname(os.path.abspath(library))] if os.path.isfile(library) \
        else ["-lzorvex"]
    source = tmp_path_factory.mktemp("player") / "player.c"
    source.write_text(PLAYER_C)
    program = source.with_suffix("")
    subprocess.run([compiler, "-std=c99", "-O1", "-I", str(header.parent), str(source), "-o", str(program)] + link,
                   check=True)
    return program


@pytest.mark.parametrize("tune, song, seconds, clock, skip_silence, volume_fix", [
    (VALISE, None, 5.0, None, False, False),
    (SKIER, 1, 3.0, "NTSC", False, False),
    (SKIER, 2, 4.0, None, False, False),
    (SKIER, 3, 2.0, None, True, True),
])
def test_stream_equals_the_c_exports(corpus, c_player, tune, song, seconds, clock, skip_silence, volume_fix):
    path = corpus / tune
    output = subprocess.run([str(c_player), str(path), str(song or 0), str(int(seconds * 1000)),
                             str({None: 0, "PAL": 1, "NTSC": 2}[clock]), str(int(skip_silence)),
                             str(int(volume_fix))], check=True, capture_output=True, text=True).stdout
    expected = [(int(t), int(r), int(v), w == "1") for t, r, v, w in map(str.split, output.splitlines())]
    with zorvex.open(path) as tune_:
        played = list(tune_.play(song, seconds, clock=clock, skip_silence=skip_silence, volume_fix=volume_fix))
    assert len(expected) > 100
    assert played == expected


def test_maps_after_thirty_seconds_equal_the_golden_digests(corpus):
    # GoldenOutputs asserts these digests for the exports' own loop over the same 30 seconds.
    golden = REPOSITORY / "tests/golden/streams.txt"
    lines = golden.read_text().splitlines() if golden.is_file() else []
    line = next((l for l in lines if l.startswith(VALISE + " #")), None)
    if line is None:
        pytest.skip("no golden line for %s" % VALISE)
    fields = line.split()
    expected = {fields[i]: fields[i + 1] for i in range(len(fields) - 6, len(fields), 2)}
    with zorvex.open(corpus / VALISE) as tune:
        for _ in tune.play(seconds=30, clear_usage_on_first_sid_access=True):
            pass
        digests = {name: hashlib.md5(image()).hexdigest()
                   for name, image in (("mem", tune.memory), ("ram", tune.ram_usage), ("rom", tune.rom_usage))}
    assert digests == expected
