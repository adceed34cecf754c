#!/usr/bin/env python3
"""Writes the Sidplayer files of the player tests into this folder: situations
the corpus lacks (tempo changes, the ends of voices, release points, the
interrupt rate, utility lengths, triplets and dots, stereo parts of different
lengths). Run: python3 make_cases.py; then record.py records their note events."""
import os

LETTER = {'R': 0, 'C': 1, 'D': 2, 'E': 3, 'F': 4, 'G': 5, 'A': 6, 'B': 7}
LENGTH = {'64': 0, 'u': 1, 'w': 2, 'h': 3, 'q': 4, 'e': 5, 's': 6, 't': 7}


def n(name, length='q', tie=False, dot=False, trip=False):
    """A note pair: name like C4, F#3, Bb5 or R (rest)."""
    pitch = 0
    if name != 'R':
        accidental, rest = 0x80, name[1:]
        if rest[0] in '#b':
            accidental, rest = (0x40 if rest[0] == '#' else 0xC0), rest[1:]
        pitch = accidental | (7 - int(rest)) << 3 | LETTER[name[0]]
    return [LENGTH[length] << 2 | tie << 6 | dot << 5 | trip << 7, pitch]


def tem(v): return [0x06, v]
def utl(v): return [0x16, v]
def utv(v): return [0xF6, v]
def pnt(v): return [0x26, v]
def jif(high, low): return [high << 6 | 0x3E, low]


HLT = [0x01, 0x4F]


def voice(*parts):
    return [b for p in parts for b in p] + HLT


def mus(v1, v2, v3):
    data = bytearray(2)
    for v in (v1, v2, v3):
        data += bytes([len(v) & 255, len(v) >> 8])
    for v in (v1, v2, v3):
        data += bytes(v)
    return data + b"TEST\r\0"


SCALE = ['C4', 'D4', 'E4', 'F4', 'G4', 'A4', 'B4', 'C5']
CASES = {
    # voice 1 changes the tempo under the held notes of the others, last to 200,
    # where voice 3's dotted eighth is 37.5 interrupts: the part stops there
    'tempo.mus': mus(
        voice(tem(96), *[n(x) for x in SCALE[:4]], tem(48), *[n(x) for x in SCALE[4:]], tem(200),
              *[n(x, 'e') for x in SCALE]),
        voice(*[n(x, 'w') for x in ['C3', 'E3', 'G3', 'C3']]),
        voice(*[n(x, 'e', dot=True) for x in SCALE * 3])),
    # a rest before the halt, ties into a halt, into a note and into a rest
    'ends.mus': mus(
        voice(tem(96), n('C4'), n('D4'), n('R')),
        voice(n('E4'), n('F4', tie=True), n('F4'), n('G4', tie=True)),
        voice(n('G3'), n('A3', tie=True), n('R'), n('B3', 'e'), n('C4', 'e', tie=True), n('C4', 's', tie=True))),
    # release points at, above and below the note's length
    'point.mus': mus(
        voice(tem(64), pnt(10), n('C4'), n('D4', 'e'), n('E4', 's'), pnt(0), n('F4', 's'), pnt(255), n('G4'),
              n('A4')),
        voice(tem(64), pnt(20), n('C3', 's', tie=True), n('C3', 's'), n('R', 't'), n('D3', 't'), n('R', 's')),
        voice()),
    # interrupt rate steps up and down, and back to 60 a second
    'jiffy.mus': mus(
        voice(*[p for step in [(0, 0x10), (0, 0xF0), (1, 0x00), (3, 0xE0), (0, 0x40), (0, 0x00)]
                for p in [n(x, 'e') for x in SCALE] + [jif(*step)]]),
        voice(*[n(x, 'h') for x in SCALE * 2]),
        voice()),
    # the shared utility length (0: 256) and each voice's own (dotted utility notes)
    'utility.mus': mus(
        voice(utl(10), n('C4', 'u'), n('D4', 'u'), utl(3), n('E4', 'u'), n('F4', 'u'), n('G4', 'u'), utl(0),
              n('A4', 'u'), utl(25), n('B4', 'u', dot=True), n('C5', 'u', tie=True), n('C5', 'u'), n('R', 'u'),
              n('D5', 'u')),
        voice(*[n(x, 'u') for x in ['C3', 'D3', 'E3', 'F3', 'G3', 'A3', 'B3', 'C4']]),
        voice(n('C2', 's'), utv(7), n('D2', 'u', dot=True), n('E2', 'u'), n('F2', 'u', dot=True),
              utv(0), n('G2', 'u', dot=True), n('A2', 'u', dot=True))),
    # triplets, double dots and 64th notes, then a dotted 32nd of 4.5 interrupts
    # (before it, tempo 100 has the triplet length of 96)
    'triplets.mus': mus(
        voice(tem(96), *[n(x, 'q', trip=True) for x in ['C4', 'D4', 'E4']], n('F4', 't', trip=True),
              n('G4', 's', trip=True), n('A4', 's', dot=True), n('B4', 'q', dot=True, trip=True), tem(192),
              n('C5', '64', tie=True), n('D5', '64', trip=True), n('E5', 'q', trip=True), tem(100),
              n('F5', 'q', trip=True), tem(96), n('G5', 't', dot=True), n('A5')),
        voice(n('C3', 'h'), n('D3', 'q', trip=True), n('E3'), n('F3', 'h', dot=True, trip=True)),
        voice()),
}
SHORT = voice(n('C4'), n('D4'), n('E4'))
LONG = voice(*[n(x) for x in SCALE * 3])
# stereo pairs: the first part ends long before the second, and the other way round
CASES['firstshort.mus'] = mus(SHORT, voice(n('C3', 'h')), voice())
CASES['firstshort.str'] = mus(LONG, voice(*[n(x, 'h') for x in SCALE]), voice())
CASES['secondshort.mus'] = mus(LONG, voice(*[n(x, 'h') for x in SCALE]), voice())
CASES['secondshort.str'] = mus(SHORT, voice(), voice(n('G2', 'h')))

if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for name, data in CASES.items():
        with open(os.path.join(here, name), 'wb') as f:
            f.write(data)
