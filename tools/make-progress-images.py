#!/usr/bin/env python3
"""Draws the progress box's two images as 32-bit BMPs with premultiplied alpha.

    make-progress-images.py OUTDIR

send.bmp / send144.bmp: a paper plane over a report sheet (48 and 72 pixels square, for 96
and 144 DPI); wait.bmp / wait144.bmp: an hourglass. Each size is drawn from the shapes at
its own resolution with 4x4 supersampling, so edges stay crisp instead of being scaled.
The BMPs are checked in; this script documents how they were made and remakes them.
"""
import pathlib
import struct
import sys

SS = 4  # supersamples per axis


def inside_polygon(x, y, points):
    hit = False
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def send_shapes(u, v):
    """Colour (r, g, b) at u, v in 0..1 (y downwards), or None: the last shape that covers it wins."""
    colour = None
    # The report: a white sheet with a grey rim and text lines, its corner folded.
    if 0.10 <= u <= 0.62 and 0.16 <= v <= 0.90 and not (u > 0.50 and v < 0.28 and u - 0.50 > v - 0.16):
        rim = min(u - 0.10, 0.62 - u, v - 0.16, 0.90 - v) < 0.03
        colour = (120, 128, 140) if rim else (252, 252, 252)
        if not rim and 0.17 <= u <= 0.55 and any(abs(v - line) < 0.018 for line in (0.36, 0.46, 0.56, 0.66, 0.76)):
            colour = (150, 160, 175)
    # The plane: two blue wings and a darker fold, flying up to the right.
    wing = [(0.30, 0.58), (0.96, 0.10), (0.52, 0.70)]
    lower = [(0.52, 0.70), (0.96, 0.10), (0.70, 0.88)]
    fold = [(0.52, 0.70), (0.96, 0.10), (0.58, 0.86)]
    if inside_polygon(u, v, wing):
        colour = (52, 120, 220)
    if inside_polygon(u, v, lower):
        colour = (30, 86, 180)
    if inside_polygon(u, v, fold):
        colour = (20, 60, 140)
    return colour


def wait_shapes(u, v):
    """An hourglass: wooden caps, a glass outline and sand running down."""
    if 0.18 <= u <= 0.82 and (0.06 <= v <= 0.14 or 0.86 <= v <= 0.94):
        return (150, 96, 44)
    if not 0.14 < v < 0.86:
        return None
    d = abs(v - 0.5) / 0.36  # 0 at the waist, 1 at the caps
    half = 0.05 + 0.24 * d
    if abs(u - 0.5) > half:
        return None
    if abs(u - 0.5) > half - 0.035:
        return (90, 110, 140)  # the glass
    top_sand = 0.30 <= v < 0.5 and abs(u - 0.5) < half - 0.035
    bottom_sand = v > 0.70
    stream = abs(u - 0.5) < 0.02 and 0.5 <= v <= 0.72
    if top_sand or bottom_sand or stream:
        return (222, 178, 76)
    return (232, 240, 250)


def bmp(size, shapes):
    rows = []
    for y in reversed(range(size)):  # bottom-up
        row = b""
        for x in range(size):
            r = g = b = a = 0
            for sy in range(SS):
                for sx in range(SS):
                    c = shapes((x + (sx + 0.5) / SS) / size, (y + (sy + 0.5) / SS) / size)
                    if c:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            n = SS * SS
            # Premultiplied: the colour sums already carry the coverage.
            row += bytes((b // n, g // n, r // n, 255 * a // n))
        rows.append(row)
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(pixels), 3780, 3780, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info)) + info + pixels


def main(out):
    out = pathlib.Path(out)
    for name, shapes in (("send", send_shapes), ("wait", wait_shapes)):
        (out / f"{name}.bmp").write_bytes(bmp(48, shapes))
        (out / f"{name}144.bmp").write_bytes(bmp(72, shapes))


if __name__ == "__main__":
    main(sys.argv[1])
