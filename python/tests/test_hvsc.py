import re

import pytest

import zorvex
from conftest import psid

SKIER = "/MUSICIANS/S/Southern_Shaun/Olympic_Skier.sid"


def test_song_lengths_and_names_from_the_collection(corpus):
    documents = corpus / "C64Music/DOCUMENTS"
    lines = (documents / "Songlengths.txt").read_text(encoding="latin-1").splitlines()
    fingerprint, times = lines[lines.index("; " + SKIER) + 1].split("=")
    expected = [int(m) * 60 + int(s) + int((ms or "0").ljust(3, "0")) / 1000
                for m, s, ms in re.findall(r"(\d+):(\d+)(?:\.(\d+))?", times)]
    zorvex.load_song_lengths(corpus / "C64Music")
    with zorvex.open(corpus / ("C64Music" + SKIER)) as tune:
        assert tune.info.fingerprint == fingerprint
        assert [tune.song_length(song) for song in range(1, tune.info.songs + 1)] == expected
    assert zorvex.hvsc_path(fingerprint) == SKIER
    assert zorvex.hvsc_path("0" * 32) is None


def test_stil_entries(corpus, write_tune):
    zorvex.load_stil(corpus / "C64Music")
    with zorvex.open(corpus / ("C64Music" + SKIER)) as tune:
        entry = tune.stil
    assert "Pop Looks Bach" in entry and "(#3)" in entry and "The Entertainer" in entry
    with zorvex.open(write_tune(psid(b"\x60", play=b"\x60"))) as tune:
        assert tune.stil is None and tune.song_length() is None


def test_missing_documents_raise(tmp_path):
    with pytest.raises(zorvex.ZorvexError, match="song-length"):
        zorvex.load_song_lengths(tmp_path)
    with pytest.raises(zorvex.ZorvexError, match="STIL"):
        zorvex.load_stil(tmp_path / "nowhere")
    with pytest.raises(ValueError):
        zorvex.load_stil("a\0b")
