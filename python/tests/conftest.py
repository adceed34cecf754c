import os
import pathlib
import struct

import pytest

# The built-in ROM set, so that results never depend on images lying about.
os.environ["ZORVEX_ROMS"] = "builtin"

import zorvex  # noqa: E402

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
SHARED = pathlib.Path(os.environ.get("ZORVEX_SHARED_DIR", REPOSITORY.parent / "shared"))

try:
    zorvex.library_path()
except zorvex.ZorvexError as error:
    raise pytest.UsageError("%s (scripts/python-test.sh builds it and sets ZORVEX_LIBRARY)" % error)


@pytest.fixture(scope="session")
def corpus():
    path = SHARED / "corpus"
    if not path.is_dir():
        pytest.skip("shared test data not found: %s" % path)
    return path


def wait(cycles):
    """6502 code taking exactly `cycles` (>= 2) cycles, A untouched."""
    code = b""
    while cycles >= 1286 + 9:  # LDY #m / LDX #0 / DEX / BNE / DEY / BNE: 1286 m + 1
        m = min(255, (cycles - 9) // 1286)
        code += bytes([0xA0, m, 0xA2, 0x00, 0xCA, 0xD0, 0xFD, 0x88, 0xD0, 0xF8])
        cycles -= 1286 * m + 1
    while cycles > 1283:
        code += bytes([0xA2, 0x00, 0xCA, 0xD0, 0xFD])  # 256 rounds: 1281
        cycles -= 1281
    if cycles >= 8:  # LDX #k / DEX / BNE: 5 k + 1
        k = (cycles - 3) // 5
        code += bytes([0xA2, k & 0xFF, 0xCA, 0xD0, 0xFD])
        cycles -= 5 * k + 1
    if cycles % 2:
        code += bytes([0x24, 0xFB])  # BIT $FB
        cycles -= 3
    return code + bytes([0xEA]) * (cycles // 2)


def psid(init, play=b"", songs=1, start=1, flags=0x14, title=b"Fixture", author=b"Zorvex tests", released=b"2024"):
    """A version 2 PSID loading its code at $1000; play follows init."""
    header = bytearray(0x7C)
    play_address = 0x1000 + len(init) if play else 0
    struct.pack_into(">4sHHHHHHHI", header, 0, b"PSID", 2, 0x7C, 0x1000, 0x1000, play_address, songs, start, 0)
    header[0x16:0x16 + len(title)] = title
    header[0x36:0x36 + len(author)] = author
    header[0x56:0x56 + len(released)] = released
    header[0x77] = flags
    return bytes(header) + init + play


@pytest.fixture
def write_tune(tmp_path):
    def write(data, name="tune.sid"):
        path = tmp_path / name
        path.write_bytes(data)
        return path
    return write
