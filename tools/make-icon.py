#!/usr/bin/env python3
"""Draws Veilmark's application icon (a mask over a blue disc) into an .ico file.

    make-icon.py OUT.ico

The icon is checked in; this script only documents how it was made and remakes it.
"""
import math
import struct
import sys


def pixel(x, y, size):
    """RGBA of one pixel: a blue disc with a white eye mask, two dark eye holes."""
    c = (size - 1) / 2
    u, v = (x - c) / (size / 2), (y - c) / (size / 2)  # -1..1, y downwards
    r = math.hypot(u, v)
    if r > 0.96:
        return (0, 0, 0, 0)
    edge = min(1.0, (0.96 - r) * size / 2)  # soft rim
    colour = (32, 78, 160)
    mask = abs(v + 0.05) < 0.28 - 0.18 * u * u and abs(u) < 0.82
    hole = any(math.hypot(u - ex, (v + 0.05) * 1.6) < 0.17 for ex in (-0.36, 0.36))
    if mask:
        colour = (24, 24, 40) if hole else (245, 245, 250)
    return colour + (int(255 * edge),)


def image(size):
    rows = []
    for y in reversed(range(size)):  # bottom-up, as in a BMP
        rows.append(b"".join(bytes((b, g, r, a)) for (r, g, b, a) in (pixel(x, y, size) for x in range(size))))
    mask_row = b"\0" * (((size + 31) // 32) * 4)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + mask_row * size


def main(out):
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
