#!/usr/bin/env python3
"""Draws the error dialog's images: the large icon and one image per button (and the
can't-continue variant of the continue image), each at 96 and 144 DPI sizes, as 32-bit BMPs
with premultiplied alpha (drawn with AlphaBlend).

    make-dialog-images.py OUT-FOLDER

The images are checked in (crashreport/dialog/res/); this script documents how they were
made and remakes them.
"""
import math
import pathlib
import struct
import sys

SAMPLES = 4  # per axis: edges are anti-aliased by supersampling


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def in_poly(x, y, pts):
    inside = False
    for (x1, y1), (x2, y2) in zip(pts, pts[1:] + pts[:1]):
        if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
            inside = not inside
    return inside


# Each shape maps a point of the unit square (0..1, y downwards) to a colour or None.
RED, WHITE, GREEN, BLUE, GREY, DARK = (200, 40, 40), (255, 255, 255), (40, 150, 60), (40, 90, 180), (150, 150, 150), (60, 60, 70)


def icon(x, y):
    r = math.hypot(x - 0.5, y - 0.5)
    if r > 0.47:
        return None
    if r > 0.43:
        return (150, 20, 20)
    # A white exclamation mark on the red disc.
    if seg_dist(x, y, 0.5, 0.22, 0.5, 0.58) < 0.065 or math.hypot(x - 0.5, y - 0.75) < 0.07:
        return WHITE
    return RED


def send(x, y):  # an envelope
    if not (0.08 <= x <= 0.92 and 0.22 <= y <= 0.78):
        return None
    if x < 0.14 or x > 0.86 or y < 0.28 or y > 0.72:
        return BLUE
    if seg_dist(x, y, 0.1, 0.25, 0.5, 0.55) < 0.06 or seg_dist(x, y, 0.9, 0.25, 0.5, 0.55) < 0.06:
        return BLUE
    return WHITE


def save(x, y):  # an arrow down into a tray
    if in_poly(x, y, [(0.38, 0.08), (0.62, 0.08), (0.62, 0.4), (0.78, 0.4), (0.5, 0.66), (0.22, 0.4), (0.38, 0.4)]):
        return BLUE
    if 0.1 <= x <= 0.9 and 0.6 <= y <= 0.9 and (y > 0.8 or x < 0.2 or x > 0.8):
        return DARK
    return None


def print_(x, y):  # a printer with its sheet
    if 0.28 <= x <= 0.72 and 0.08 <= y <= 0.4:
        return WHITE if 0.32 <= x <= 0.68 and y >= 0.12 else DARK
    if 0.08 <= x <= 0.92 and 0.38 <= y <= 0.72:
        return (90, 200, 90) if math.hypot(x - 0.78, y - 0.48) < 0.04 else DARK
    if 0.26 <= x <= 0.74 and 0.7 <= y <= 0.92:
        return WHITE if 0.3 <= x <= 0.7 and y <= 0.88 else DARK
    return None


def show(x, y):  # a magnifying glass
    r = math.hypot(x - 0.42, y - 0.42)
    if r < 0.22:
        return (200, 225, 250)
    if r < 0.3:
        return DARK
    if seg_dist(x, y, 0.62, 0.62, 0.88, 0.88) < 0.08:
        return (120, 80, 40)
    return None


def continue_(x, y):  # a green arrow to the right
    if in_poly(x, y, [(0.1, 0.38), (0.5, 0.38), (0.5, 0.15), (0.9, 0.5), (0.5, 0.85), (0.5, 0.62), (0.1, 0.62)]):
        return GREEN
    return None


def cant_continue(x, y):  # the arrow greyed, struck through in red
    if seg_dist(x, y, 0.15, 0.85, 0.85, 0.15) < 0.07:
        return RED
    return GREY if continue_(x, y) else None


def restart(x, y):  # a circular arrow
    r, a = math.hypot(x - 0.5, y - 0.52), math.degrees(math.atan2(y - 0.52, x - 0.5))
    if 0.24 < r < 0.36 and not (-80 < a < -20):
        return BLUE
    if in_poly(x, y, [(0.55, 0.04), (0.9, 0.2), (0.6, 0.42)]):
        return BLUE
    return None


def close(x, y):  # a red cross
    if seg_dist(x, y, 0.2, 0.2, 0.8, 0.8) < 0.1 or seg_dist(x, y, 0.8, 0.2, 0.2, 0.8) < 0.1:
        return RED
    return None


IMAGES = {"icon": (icon, 32), "btnsend": (send, 16), "btnsave": (save, 16), "btnprint": (print_, 16),
          "btnshow": (show, 16), "btncontinue": (continue_, 16), "btncantcontinue": (cant_continue, 16),
          "btnrestart": (restart, 16), "btnclose": (close, 16)}


def render(shape, size):
    rows = []
    for py in reversed(range(size)):  # bottom-up, as in a BMP
        row = bytearray()
        for px in range(size):
            acc, hits = [0, 0, 0], 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = shape((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    if c:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            n = SAMPLES * SAMPLES
            # Premultiplied: each channel is the covered share of its colour.
            r, g, b = (round(acc[i] / n) for i in range(3))
            row += bytes((b, g, r, round(255 * hits / n)))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(pixels), 0, 0, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info)) + info + pixels


def main(out):
    folder = pathlib.Path(out)
    folder.mkdir(parents=True, exist_ok=True)
    for name, (shape, size) in IMAGES.items():
        for dpi in (96, 144):
            (folder / f"{name}{dpi}.bmp").write_bytes(render(shape, size * dpi // 96))


if __name__ == "__main__":
    main(sys.argv[1])
