#!/usr/bin/env python3
"""Runs the bmp2png tool on BMP files and reads its PNGs back with Python's zlib.
   bmp2png_test.py PATH_TO_BMP2PNG"""
import os, struct, subprocess, sys, tempfile, zlib

tool = sys.argv[1]
LEVELS = [0, 28, 52, 73, 92, 109, 125, 140, 155, 170, 185, 199, 213, 227, 241, 255]

def bmp24(pixels):  # pixels: rows top first of (r, g, b)
    h, w = len(pixels), len(pixels[0])
    rows = b''
    for row in reversed(pixels):
        data = b''.join(bytes((b, g, r)) for r, g, b in row)
        rows += data + b'\0' * (-len(data) % 4)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return b'BM' + struct.pack('<IHHI', 54 + len(rows), 0, 0, 54) + info + rows

def read_png(data):
    assert data[:8] == b'\x89PNG\r\n\x1a\n'
    at, chunks = 8, []
    while at < len(data):
        n, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        assert struct.unpack('>I', data[at + 8 + n:at + 12 + n])[0] == zlib.crc32(kind + body), kind
        chunks.append((kind, body))
        at += 12 + n
    assert [k for k, _ in chunks] == [b'IHDR', b'PLTE', b'IDAT', b'IEND'], chunks
    w, h, depth, ctype = struct.unpack('>IIBB', chunks[0][1][:10])
    assert ctype == 3
    plte = chunks[1][1]
    palette = [tuple(plte[i:i + 3]) for i in range(0, len(plte), 3)]
    idat = chunks[2][1]
    assert idat[:2] == b'\x78\x01'
    raw = zlib.decompress(idat)  # checks the Adler-32 too
    stride = (w * depth + 7) // 8
    assert len(raw) == h * (stride + 1)
    indices = []
    for y in range(h):
        row = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        assert row[0] == 0, 'filter byte'
        if depth == 8:
            indices.append(list(row[1:]))
        else:
            indices.append([(row[1 + x // 2] >> (4 if x % 2 == 0 else 0)) & 15 for x in range(w)])
    return depth, palette, indices

def grey_index(r, g, b):
    v = (77 * r + 151 * g + 28 * b) // 256
    return min(range(16), key=lambda i: (abs(LEVELS[i] - v), i))

def run(*args):
    return subprocess.run([tool, *args], capture_output=True, text=True)

failures = 0
def check(cond, what):
    global failures
    if not cond:
        failures += 1
        print('FAIL:', what)

colours = [(255, 0, 0), (0, 128, 0), (0, 0, 255), (40, 40, 40), (41, 41, 41), (250, 250, 250), (13, 200, 77)]
pixels = [[colours[(x * 3 + y * 5) % len(colours)] for x in range(7)] for y in range(5)]
with tempfile.TemporaryDirectory() as d:
    src, out = os.path.join(d, 'in.bmp'), os.path.join(d, 'out.png')
    open(src, 'wb').write(bmp24(pixels))
    for mode in ['8', '51200']:
        r = run(src, out, mode)
        check(r.returncode == 0, f'mode {mode}: {r.stderr}')
        depth, palette, idx = read_png(open(out, 'rb').read())
        check(depth == 8, f'mode {mode}: depth {depth}')
        # 40 and 41 share a histogram cell and so a palette entry; every other colour is exact.
        check(all(max(abs(a - b) for a, b in zip(palette[idx[y][x]], pixels[y][x])) <= (1 if pixels[y][x][0] in (40, 41) else 0)
                  for y in range(5) for x in range(7)), f'mode {mode}: colours')
    r = run(src, out, '4')
    check(r.returncode == 0, f'mode 4: {r.stderr}')
    depth, palette, idx = read_png(open(out, 'rb').read())
    check(depth == 4 and palette == [(v, v, v) for v in LEVELS], 'mode 4: grey palette')
    check(all(idx[y][x] == grey_index(*pixels[y][x]) for y in range(5) for x in range(7)), 'mode 4: grey indices')

    for args in [[src, out], [src, out, 'eight'], [src, out, '0'], [src, out, '-4']]:
        check(run(*args).returncode == 2, f'usage error for {args[2:]}')
    bad, badout = os.path.join(d, 'bad.bmp'), os.path.join(d, 'bad.png')
    open(bad, 'wb').write(b'BM not really')
    r = run(bad, badout, '8')
    check(r.returncode == 1 and 'Bitmap image is not valid' in r.stderr, f'bad bmp: {r.returncode} {r.stderr}')
    check(not os.path.exists(badout), 'no PNG from a bad BMP')
    r = run(os.path.join(d, 'missing.bmp'), badout, '8')
    check(r.returncode == 1 and 'Cannot open file' in r.stderr, f'missing bmp: {r.stderr}')

print('bmp2png: %s' % ('ok' if failures == 0 else '%d failures' % failures))
sys.exit(1 if failures else 0)
