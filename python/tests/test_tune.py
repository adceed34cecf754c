import gc
import math

import pytest

import zorvex
from conftest import psid, wait

RTS = b"\x60"


def sta(address):
    return bytes([0x8D, address & 0xFF, address >> 8])


def lda_abs(address):
    return bytes([0xAD, address & 0xFF, address >> 8])


# Init writes the song number (A on entry) to the volume register.
SONG_TO_VOLUME = psid(sta(0xD418) + RTS, play=RTS, songs=3, start=2, flags=0x24,
                      title=b"Fixture Title", author=b"Some One", released=b"2024 Us")


def test_header_facts(write_tune):
    with zorvex.open(write_tune(SONG_TO_VOLUME)) as tune:
        info = tune.info
    assert (info.title, info.author, info.released) == ("Fixture Title", "Some One", "2024 Us")
    assert (info.songs, info.default_song, info.clock, info.sid_model) == (3, 2, "PAL", "8580")
    assert (info.load_address, info.load_end_address, info.init_address, info.play_address) == \
        (0x1000, 0x1005, 0x1000, 0x1004)
    assert len(info.fingerprint) == 32 and int(info.fingerprint, 16) >= 0


# The screen is blanked and line 48 passed first, so no bad line steals a cycle.
TIMED = (b"\xA9\x0B" + sta(0xD011) + wait(25000) + b"\xA9\x0F" + sta(0xD418) + wait(1000) + lda_abs(0xD41B)
         + b"\xA9\x0F" + wait(200000) + sta(0xD418) + lda_abs(0xD405) + wait(300) + sta(0xD418) + RTS)


def test_times_add_up_write_delays_and_place_reads_between(write_tune):
    assert len(TIMED) < 256  # a branch across a page would cost a cycle more
    with zorvex.open(write_tune(psid(TIMED, play=RTS))) as tune:
        accesses = list(tune.play(seconds=0.5))
    start = accesses[0].time
    assert [(a.time - start, a.register, a.write) for a in accesses] == [
        (0, 24, True), (1004, 27, False), (201010, 24, True), (201014, 5, False), (201318, 24, True)]


def test_play_array_holds_the_same_stream(write_tune):
    pytest.importorskip("numpy", reason="NumPy not installed")
    with zorvex.open(write_tune(psid(TIMED, play=RTS))) as tune:
        accesses = list(tune.play(seconds=0.5))
        array = tune.play_array(seconds=0.5)
    assert array.dtype.names == ("time", "register", "value", "write")
    assert array.tolist() == [tuple(a) for a in accesses]


def test_bad_arguments_raise_and_leave_the_tune_playable(write_tune):
    with zorvex.open(write_tune(SONG_TO_VOLUME)) as tune:
        for song in (0, 4, -1, 2 ** 40):
            with pytest.raises(ValueError, match="song"):
                tune.play(song=song)
        for song in (True, "1", 1.0):
            with pytest.raises(TypeError):
                tune.play(song=song)
        for seconds in (0, -1, math.nan, math.inf, 1e9):
            with pytest.raises(ValueError, match="seconds"):
                tune.play(seconds=seconds)
        with pytest.raises(TypeError):
            tune.play(seconds="5")
        with pytest.raises(ValueError, match="clock"):
            tune.play(clock="SECAM")
        with pytest.raises(ValueError):
            tune.song_length(9)
        assert next(tune.play(song=3))[1:] == (24, 2, True)


def test_bad_paths_raise(tmp_path, write_tune):
    with pytest.raises(FileNotFoundError):
        zorvex.open(tmp_path / "missing.sid")
    with pytest.raises(IsADirectoryError):
        zorvex.open(tmp_path)
    for name, data in (("empty.sid", b""), ("text.sid", b"no tune here\n"), ("short.sid", b"PSID")):
        with pytest.raises(zorvex.ZorvexError, match=name):
            zorvex.open(write_tune(data, name))
    with pytest.raises(ValueError, match="NUL"):
        zorvex.open(str(tmp_path / "a\0b.sid"))


def test_paths_reach_the_library_byte_for_byte(tmp_path, write_tune):
    # A program's title is its file name, so the name shows what the library got.
    program = bytes([0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36, 0x31, 0, 0, 0, 0x60])
    raw = bytes(tmp_path) + b"/\xff\xe4 Sys.prg"  # not UTF-8
    with open(raw, "wb") as file:
        file.write(program)
    for path in (raw, str(tmp_path / b"\xff\xe4 Sys.prg".decode(errors="surrogateescape"))):
        with zorvex.open(path) as tune:
            assert tune.info.title == "\xff\xe4 Sys.prg"
    with zorvex.open(write_tune(SONG_TO_VOLUME, "Tüne ☃.sid")) as tune:
        assert tune.info.title == "Fixture Title"


def test_closed_or_restarted_tunes_raise(write_tune):
    path = write_tune(SONG_TO_VOLUME)
    tune = zorvex.open(path)
    stream = tune.play(seconds=10)
    next(stream)
    later = tune.play(seconds=10)
    tune.close()
    tune.close()
    for call in (tune.play, tune.play_array, tune.memory, tune.ram_usage, tune.rom_usage, tune.press_buttons,
                 tune.song_length, lambda: tune.stil, lambda: next(stream)):
        with pytest.raises(ValueError, match="closed"):
            call()
    with zorvex.open(path) as other:  # very likely the same handle number
        with pytest.raises(ValueError):
            next(later)
        first = other.play(seconds=1)
        assert next(first)[1:] == (24, 1, True)  # the start song, 2
        other.play(song=1)
        with pytest.raises(zorvex.ZorvexError, match="started over"):
            next(first)


def test_instances_are_freed(write_tune):
    path = write_tune(SONG_TO_VOLUME)
    gc.collect()
    for _ in range(600):  # more than the library's 255: dropped tunes give theirs back
        zorvex.open(path)
    tunes = [zorvex.open(path) for _ in range(255)]
    with pytest.raises(zorvex.ZorvexError, match="no free emulator instance"):
        zorvex.open(path)
    tunes.pop().close()
    tunes.append(zorvex.open(path))
