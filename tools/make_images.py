#!/usr/bin/python3
"""Draws the 16 x 16 bitmaps of the test tree into data/Imgs/ (24-bit BMP).

   tools/make_images.py

qc.img names the node images (a test, a level, the settings line) and 2.img
the check-box state images (none, unchecked, partly checked, checked,
locked), in the order the tree indexes them. Check.bmp and Check1.bmp are the
report's false and true cells; arrow1r.bmp and add.bmp the wizard's NEXT and
CHECK glyphs.
"""
import os
import struct

WHITE, BLACK, GREY = (255, 255, 255), (0, 0, 0), (128, 128, 128)
NAVY, GREEN, SILVER = (0, 0, 128), (0, 128, 0), (192, 192, 192)
TEAL, YELLOW = (0, 128, 128), (255, 215, 0)


def bmp(path, pixels):
    """pixels: 16 rows top to bottom of 16 (r, g, b)."""
    rows = b""
    for row in reversed(pixels):  # BMP stores the bottom row first
        rows += b"".join(struct.pack("BBB", b, g, r) for r, g, b in row)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + rows)


def canvas(colour=WHITE):
    return [[colour] * 16 for _ in range(16)]


def box(p, x0, y0, x1, y1, colour, fill=None):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            edge = x in (x0, x1) or y in (y0, y1)
            if edge:
                p[y][x] = colour
            elif fill:
                p[y][x] = fill


def check_box(mark):
    p = canvas()
    box(p, 2, 2, 13, 13, GREY, WHITE)
    if mark == "checked":
        for x, y in ((4, 7), (5, 8), (6, 9), (7, 8), (8, 7), (9, 6), (10, 5), (11, 4)):
            p[y][x] = p[y + 1][x] = BLACK
    elif mark == "partly":
        box(p, 5, 5, 10, 10, GREY, GREY)
    elif mark == "locked":
        box(p, 5, 7, 10, 11, NAVY, NAVY)
        box(p, 6, 4, 9, 7, NAVY)
    return p


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "Imgs")
    os.makedirs(out, exist_ok=True)
    test = canvas()
    box(test, 1, 3, 14, 12, NAVY, TEAL)
    box(test, 4, 6, 11, 9, YELLOW, YELLOW)
    level = canvas()
    box(level, 3, 3, 12, 12, GREEN, SILVER)
    settings = canvas()
    for y in (4, 8, 12):
        for x in range(2, 14):
            settings[y][x] = GREY
        box(settings, 3 + y // 2, y - 1, 5 + y // 2, y + 1, NAVY, NAVY)
    bmp(os.path.join(out, "qc_test.bmp"), test)
    bmp(os.path.join(out, "qc_level.bmp"), level)
    bmp(os.path.join(out, "qc_settings.bmp"), settings)
    bmp(os.path.join(out, "state_none.bmp"), canvas())
    for mark in ("unchecked", "partly", "checked", "locked"):
        bmp(os.path.join(out, "state_%s.bmp" % mark), check_box(mark))
    # The report's Boolean cells: an empty box for false, a ticked one for true.
    bmp(os.path.join(out, "Check.bmp"), check_box("unchecked"))
    bmp(os.path.join(out, "Check1.bmp"), check_box("checked"))
    # The wizard's NEXT glyph (steps 0 to 2) and its CHECK glyph (step 3).
    arrow = canvas(SILVER)
    for y in range(3, 13):
        half = 5 - abs(y - 8) if abs(y - 8) <= 5 else 0
        for x in range(3, 9):
            if 6 <= y <= 10:
                arrow[y][x] = GREEN
        for x in range(9, 9 + half):
            arrow[y][x] = GREEN
    bmp(os.path.join(out, "arrow1r.bmp"), arrow)
    plus = canvas(SILVER)
    box(plus, 6, 2, 9, 13, NAVY, TEAL)
    box(plus, 2, 6, 13, 9, NAVY, TEAL)
    for y in range(7, 9):
        for x in range(7, 9):
            plus[y][x] = TEAL
    bmp(os.path.join(out, "add.bmp"), plus)


if __name__ == "__main__":
    main()
