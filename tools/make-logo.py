#!/usr/bin/env python3
"""Draws the maker's logo for the About dialog: a 137 x 65 bitmap with a 256-colour palette.

    make-logo.py OUT.bmp

The bitmap is checked in; this script documents how it was made and remakes it.
"""
import struct
import sys

W, H = 137, 65
GLYPHS = {  # 5 x 7 block letters
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
}


def palette():
    """Index 0 white, 1..64 a blue ramp, 65..128 an orange ramp, the rest grey."""
    colours = [(255, 255, 255)]
    colours += [(20 + i, 50 + i, 110 + 2 * i) for i in range(64)]
    colours += [(255, 120 + i * 2, 20 + i) for i in range(64)]
    colours += [(i * 2, i * 2, i * 2) for i in range(256 - len(colours))]
    return colours


def draw():
    px = [[0] * W for _ in range(H)]
    for y in range(4, H - 4):  # blue panel, lighter towards the top
        for x in range(4, W - 4):
            corner = min(x - 4, W - 5 - x, y - 4, H - 5 - y)
            if corner >= 0 and not (min(x - 4, W - 5 - x) < 3 and min(y - 4, H - 5 - y) < 3 and corner < 1):
                px[y][x] = 1 + (63 * (H - y)) // H
    for i, letter in enumerate("QBX"):  # white letters, 5 pixels a dot
        for gy, row in enumerate(GLYPHS[letter]):
            for gx, bit in enumerate(row):
                if bit == "1":
                    for dy in range(5):
                        for dx in range(5):
                            px[10 + gy * 5 + dy][16 + i * 38 + gx * 5 + dx] = 0
    for x in range(12, W - 12):  # orange bar under the letters
        for y in range(50, 54):
            px[y][x] = 65 + (63 * (x - 12)) // (W - 24)
    return px


def main(out):
    px = draw()
    stride = (W + 3) & ~3
    pixels = b"".join(bytes(row) + b"\0" * (stride - W) for row in reversed(px))
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette())
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(pixels), 3780, 3780, 256, 0)
    offset = 14 + len(info) + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(out, "wb") as f:
        f.write(header + info + pal + pixels)


if __name__ == "__main__":
    main(sys.argv[1])
