#!/usr/bin/env python3
"""Writes chargen.asm, our own 8x8 character generator ROM ($D000-$DFFF).

Run from anywhere: python3 lib/rom/make_chargen.py
The glyphs are drawn below as text art, one string per pixel row, bit 7 on
the left. Rows not drawn are blank; row 7 is kept for descenders and commas.

Layout, as the VIC-II expects it: two sets of 256 glyphs, 8 bytes each.
Set 1 holds upper case and graphics, set 2 lower case, upper case and the
same graphics. Codes 128-255 of each set are 0-127 with every bit flipped,
which is how the screen editor shows reverse video.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def art(text):
    rows = text.split()
    assert 1 <= len(rows) <= 8, text
    rows += ["........"] * (8 - len(rows))
    for r in rows:
        assert len(r) == 8 and set(r) <= {".", "#"}, text
    return rows


def bits(value):
    return "".join("#" if value & (0x80 >> i) else "." for i in range(8))


# ---- letters ---------------------------------------------------------------

UPPER = {
    "A": "...##... ..#..#.. .#....#. .#....#. .######. .#....#. .#....#.",
    "B": ".#####.. .#....#. .#....#. .#####.. .#....#. .#....#. .#####..",
    "C": "..####.. .#....#. .#...... .#...... .#...... .#....#. ..####..",
    "D": ".####... .#...#.. .#....#. .#....#. .#....#. .#...#.. .####...",
    "E": ".######. .#...... .#...... .#####.. .#...... .#...... .######.",
    "F": ".######. .#...... .#...... .#####.. .#...... .#...... .#......",
    "G": "..####.. .#....#. .#...... .#..###. .#....#. .#....#. ..####..",
    "H": ".#....#. .#....#. .#....#. .######. .#....#. .#....#. .#....#.",
    "I": "..###... ...#.... ...#.... ...#.... ...#.... ...#.... ..###...",
    "J": "....###. .....#.. .....#.. .....#.. .#...#.. .#...#.. ..###...",
    "K": ".#....#. .#...#.. .#..#... .###.... .#..#... .#...#.. .#....#.",
    "L": ".#...... .#...... .#...... .#...... .#...... .#...... .######.",
    "M": ".#....#. .##..##. .#.##.#. .#....#. .#....#. .#....#. .#....#.",
    "N": ".#....#. .##...#. .#.#..#. .#..#.#. .#...##. .#....#. .#....#.",
    "O": "..####.. .#....#. .#....#. .#....#. .#....#. .#....#. ..####..",
    "P": ".#####.. .#....#. .#....#. .#####.. .#...... .#...... .#......",
    "Q": "..####.. .#....#. .#....#. .#....#. .#..#.#. .#...#.. ..###.#.",
    "R": ".#####.. .#....#. .#....#. .#####.. .#..#... .#...#.. .#....#.",
    "S": "..####.. .#....#. .#...... ..####.. ......#. .#....#. ..####..",
    "T": ".#####.. ...#.... ...#.... ...#.... ...#.... ...#.... ...#....",
    "U": ".#....#. .#....#. .#....#. .#....#. .#....#. .#....#. ..####..",
    "V": ".#....#. .#....#. .#....#. .#....#. ..#..#.. ..#..#.. ...##...",
    "W": ".#....#. .#....#. .#....#. .#....#. .#.##.#. .##..##. .#....#.",
    "X": ".#....#. .#....#. ..#..#.. ...##... ..#..#.. .#....#. .#....#.",
    "Y": ".#...#.. .#...#.. ..#.#... ...#.... ...#.... ...#.... ...#....",
    "Z": ".######. .....#.. ....#... ...#.... ..#..... .#...... .######.",
}

# x-height is rows 2-6; g, j, p, q and y squeeze their bowl to reach row 7
LOWER = {
    "a": "........ ........ ..####.. ......#. ..#####. .#....#. ..#####.",
    "b": ".#...... .#...... .#####.. .#....#. .#....#. .#....#. .#####..",
    "c": "........ ........ ..####.. .#...... .#...... .#...... ..####..",
    "d": "......#. ......#. ..#####. .#....#. .#....#. .#....#. ..#####.",
    "e": "........ ........ ..####.. .#....#. .######. .#...... ..####..",
    "f": "....##.. ...#.... .#####.. ...#.... ...#.... ...#.... ...#....",
    "g": "........ ........ ..#####. .#....#. .#....#. ..#####. ......#. ..####..",
    "h": ".#...... .#...... .#####.. .#....#. .#....#. .#....#. .#....#.",
    "i": "...#.... ........ ..##.... ...#.... ...#.... ...#.... ..###...",
    "j": ".....#.. ........ ....##.. .....#.. .....#.. .....#.. .#...#.. ..###...",
    "k": ".#...... .#...... .#...#.. .#..#... .###.... .#..#... .#...#..",
    "l": "..##.... ...#.... ...#.... ...#.... ...#.... ...#.... ..###...",
    "m": "........ ........ .##.##.. .#.#.#.. .#.#.#.. .#...#.. .#...#..",
    "n": "........ ........ .#####.. .#....#. .#....#. .#....#. .#....#.",
    "o": "........ ........ ..####.. .#....#. .#....#. .#....#. ..####..",
    "p": "........ ........ .#####.. .#....#. .#....#. .#####.. .#...... .#......",
    "q": "........ ........ ..#####. .#....#. .#....#. ..#####. ......#. ......#.",
    "r": "........ ........ .#.###.. .##..... .#...... .#...... .#......",
    "s": "........ ........ ..#####. .#...... ..####.. ......#. .#####..",
    "t": "...#.... ...#.... .#####.. ...#.... ...#.... ...#.... ....##..",
    "u": "........ ........ .#....#. .#....#. .#....#. .#....#. ..#####.",
    "v": "........ ........ .#....#. .#....#. .#....#. ..#..#.. ...##...",
    "w": "........ ........ .#...#.. .#...#.. .#.#.#.. .#.#.#.. ..#.#...",
    "x": "........ ........ .#....#. ..#..#.. ...##... ..#..#.. .#....#.",
    "y": "........ ........ .#....#. .#....#. .#....#. ..#####. ......#. ..####..",
    "z": "........ ........ .######. .....#.. ...##... ..#..... .######.",
}

# ---- codes 0 and 27-63: symbols, digits, punctuation -----------------------

SYMBOLS = [  # (screen code, name for the comment, drawing)
    (0, "@", "..####.. .#....#. .#.####. .#.#..#. .#.####. .#...... ..####.."),
    (27, "[", "..####.. ..#..... ..#..... ..#..... ..#..... ..#..... ..####.."),
    (28, "pound sign", "...###.. ..#...#. ..#..... .####... ..#..... ..#...#. .######."),
    (29, "]", "..####.. .....#.. .....#.. .....#.. .....#.. .....#.. ..####.."),
    (30, "up arrow", "...#.... ..###... .#.#.#.. ...#.... ...#.... ...#.... ...#...."),
    (31, "left arrow", "........ ..#..... .#...... #######. .#...... ..#..... ........"),
    (32, "space", "........"),
    (33, "!", "...#.... ...#.... ...#.... ...#.... ...#.... ........ ...#...."),
    (34, '"', "..#..#.. ..#..#.. ..#..#.."),
    (35, "#", "..#..#.. ..#..#.. .######. ..#..#.. .######. ..#..#.. ..#..#.."),
    (36, "$", "...#.... ..####.. .#.#.... ..###... ...#.#.. .####... ...#...."),
    (37, "%", ".##..... .##...#. .....#.. ....#... ...#.... ..#..##. .#...##."),
    (38, "&", "..##.... .#..#... .#..#... ..##.... .#..#.#. .#...#.. ..###.#."),
    (39, "'", "...#.... ...#.... ..#....."),
    (40, "(", "....#... ...#.... ..#..... ..#..... ..#..... ...#.... ....#..."),
    (41, ")", "..#..... ...#.... ....#... ....#... ....#... ...#.... ..#....."),
    (42, "*", "........ .#...#.. ..#.#... .#####.. ..#.#... .#...#.. ........"),
    (43, "+", "........ ...#.... ...#.... .#####.. ...#.... ...#.... ........"),
    (44, ",", "........ ........ ........ ........ ........ ...##... ...##... ..#....."),
    (45, "-", "........ ........ ........ .#####.."),
    (46, ".", "........ ........ ........ ........ ........ ...##... ...##..."),
    (47, "/", "........ ......#. .....#.. ....#... ...#.... ..#..... .#......"),
    (48, "0", "..####.. .#....#. .#...##. .#..#.#. .#.#..#. .##...#. ..####.."),
    (49, "1", "...#.... ..##.... .#.#.... ...#.... ...#.... ...#.... .#####.."),
    (50, "2", "..####.. .#....#. ......#. ....##.. ..##.... .#...... .######."),
    (51, "3", "..####.. .#....#. ......#. ...###.. ......#. .#....#. ..####.."),
    (52, "4", "....##.. ...#.#.. ..#..#.. .#...#.. .######. .....#.. .....#.."),
    (53, "5", ".######. .#...... .#####.. ......#. ......#. .#....#. ..####.."),
    (54, "6", "..####.. .#...... .#...... .#####.. .#....#. .#....#. ..####.."),
    (55, "7", ".######. ......#. .....#.. ....#... ...#.... ...#.... ...#...."),
    (56, "8", "..####.. .#....#. .#....#. ..####.. .#....#. .#....#. ..####.."),
    (57, "9", "..####.. .#....#. .#....#. ..#####. ......#. ......#. ..####.."),
    (58, ":", "........ ...##... ...##... ........ ........ ...##... ...##..."),
    (59, ";", "........ ...##... ...##... ........ ........ ...##... ...##... ..#....."),
    (60, "<", "....#... ...#.... ..#..... .#...... ..#..... ...#.... ....#..."),
    (61, "=", "........ ........ .#####.. ........ .#####.."),
    (62, ">", ".#...... ..#..... ...#.... ....#... ...#.... ..#..... .#......"),
    (63, "?", "..####.. .#....#. ......#. ....##.. ...#.... ........ ...#...."),
]


# ---- codes 64-127: block and line graphics, built from pixel rules ---------

def shape(test):
    return [bits(sum(0x80 >> x for x in range(8) if test(x, y))) for y in range(8)]


def quadrants(mask):
    # mask bits: 1 top-left, 2 top-right, 4 bottom-left, 8 bottom-right
    return shape(lambda x, y: mask & (1 << ((y >= 4) * 2 + (x >= 4))))


QUADRANT_NAMES = {
    1: "top-left", 2: "top-right", 3: "top half", 4: "bottom-left",
    5: "left half", 6: "top-right and bottom-left", 7: "all but bottom-right",
    8: "bottom-right", 9: "top-left and bottom-right", 10: "right half",
    11: "all but bottom-left", 12: "bottom half", 13: "all but top-right",
    14: "all but top-left", 15: "full block",
}


def graphics():
    g = []
    for r in range(8):
        g.append((f"horizontal line, row {r}", shape(lambda x, y, r=r: y == r)))
    for c in range(8):
        g.append((f"vertical line, column {c}", shape(lambda x, y, c=c: x == c)))
    # box lines run through row 3 and column 3 so that neighbouring cells join
    g += [
        ("box corner, down and right", shape(lambda x, y: (y == 3 and x >= 3) or (x == 3 and y >= 3))),
        ("box corner, down and left", shape(lambda x, y: (y == 3 and x <= 3) or (x == 3 and y >= 3))),
        ("box corner, up and right", shape(lambda x, y: (y == 3 and x >= 3) or (x == 3 and y <= 3))),
        ("box corner, up and left", shape(lambda x, y: (y == 3 and x <= 3) or (x == 3 and y <= 3))),
        ("box tee, vertical and right", shape(lambda x, y: x == 3 or (y == 3 and x >= 3))),
        ("box tee, vertical and left", shape(lambda x, y: x == 3 or (y == 3 and x <= 3))),
        ("box tee, horizontal and down", shape(lambda x, y: y == 3 or (x == 3 and y >= 3))),
        ("box tee, horizontal and up", shape(lambda x, y: y == 3 or (x == 3 and y <= 3))),
        ("box cross", shape(lambda x, y: x == 3 or y == 3)),
    ]
    for mask in range(1, 16):
        g.append((f"quadrant block, {QUADRANT_NAMES[mask]}", quadrants(mask)))
    g += [
        ("fine checker", shape(lambda x, y: (x + y) % 2 == 0)),
        ("fine checker, shifted", shape(lambda x, y: (x + y) % 2 == 1)),
        ("coarse checker", shape(lambda x, y: (x // 2 + y // 2) % 2 == 0)),
        ("diagonal, top-left to bottom-right", shape(lambda x, y: x == y)),
        ("diagonal, bottom-left to top-right", shape(lambda x, y: x + y == 7)),
        ("diagonal cross", shape(lambda x, y: x == y or x + y == 7)),
        ("triangle, bottom-left", shape(lambda x, y: x <= y)),
        ("triangle, bottom-right", shape(lambda x, y: x + y >= 7)),
        ("triangle, top-left", shape(lambda x, y: x + y <= 7)),
        ("triangle, top-right", shape(lambda x, y: x >= y)),
        ("frame", shape(lambda x, y: x in (0, 7) or y in (0, 7))),
        ("ring", art("..####.. .#....#. #......# #......# #......# #......# .#....#. ..####..")),
        ("ball", art("........ ..####.. .######. .######. .######. .######. ..####.. ........")),
        ("diamond", art("...##... ..####.. .######. ######## .######. ..####.. ...##... ........")),
        ("bottom quarter", shape(lambda x, y: y >= 6)),
        ("top quarter", shape(lambda x, y: y <= 1)),
        ("left quarter", shape(lambda x, y: x <= 1)),
        ("right quarter", shape(lambda x, y: x >= 6)),
        ("bottom three quarters", shape(lambda x, y: y >= 2)),
        ("top three quarters", shape(lambda x, y: y <= 5)),
        ("left three quarters", shape(lambda x, y: x <= 5)),
        ("right three quarters", shape(lambda x, y: x >= 2)),
        ("horizontal stripes", shape(lambda x, y: y % 2 == 0)),
        ("vertical stripes", shape(lambda x, y: x % 2 == 0)),
    ]
    assert len(g) == 64, len(g)
    return g


def build_sets():
    common = {code: (name, art(text)) for code, name, text in SYMBOLS}
    for i, (name, rows) in enumerate(graphics()):
        common[64 + i] = (name, rows)

    upper = dict(common)
    mixed = dict(common)
    for i, ch in enumerate("ABCDEFGHIJKLMNOPQRSTUVWXYZ"):
        upper[1 + i] = (ch, art(UPPER[ch]))
        mixed[1 + i] = (ch.lower(), art(LOWER[ch.lower()]))
        mixed[65 + i] = (ch, art(UPPER[ch]))

    sets = []
    for glyphs in (upper, mixed):
        assert sorted(glyphs) == list(range(128))
        full = [glyphs[c] for c in range(128)]
        for c in range(128):
            name, rows = glyphs[c]
            full.append((f"reverse {name}", [bits(~int(r.replace(".", "0").replace("#", "1"), 2) & 0xFF) for r in rows]))
        sets.append(full)
    return sets


def main():
    out = [
        "; Our own C64 character generator ROM: two sets of 256 8x8 glyphs, one",
        "; byte per pixel row with bit 7 leftmost, drawn for this project.",
        "; Generated by make_chargen.py: edit the drawings there and run it again.",
        "; Assemble with: acme chargen.asm   (4,096 bytes, $D000-$DFFF)",
        "",
        "* = $D000",
    ]
    titles = [
        "set 1, $D000: upper case and graphics",
        "set 2, $D800: lower case, upper case and graphics",
    ]
    for title, glyphs in zip(titles, build_sets()):
        out += ["", f"; ---- {title} " + "-" * max(0, 70 - len(title)), ""]
        for code, (name, rows) in enumerate(glyphs):
            out.append(f"; ${code:02X} {name}")
            out += [f"!byte %{r}" for r in rows]
    out.append("")
    with open(os.path.join(HERE, "chargen.asm"), "w", newline="\n") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
