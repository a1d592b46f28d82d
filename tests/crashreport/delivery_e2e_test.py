#!/usr/bin/env python3
"""A faulting Windows program uploads its report and screenshot to the local upload server.

Run under ctest in the Windows build: the upload server runs on the host, the program
(delivery_fault_demo.exe) under Wine; the server's decoded parts are compared with what
the program says it sent, and the PNG is decoded here and compared with the BMP of the
same screenshot.
    delivery_e2e_test.py WINE_RUN DEMO_EXE
"""
import pathlib
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

HERE = pathlib.Path(__file__).resolve().parent
WINE_RUN, DEMO = sys.argv[1], sys.argv[2]


def decode_png(data):
    """Width, height and the rows of (r, g, b) of an 8-bit palette PNG, checking every CRC."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, chunks = 8, {}
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc, = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        assert crc == zlib.crc32(kind + body), kind
        chunks[kind] = chunks.get(kind, b"") + body
        at += 12 + length
    width, height, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
    assert (depth, colour) == (8, 3)
    palette = [tuple(chunks[b"PLTE"][i:i + 3]) for i in range(0, len(chunks[b"PLTE"]), 3)]
    raw = zlib.decompress(chunks[b"IDAT"])
    assert len(raw) == height * (width + 1)
    rows = []
    for y in range(height):
        line = raw[y * (width + 1):(y + 1) * (width + 1)]
        assert line[0] == 0
        rows.append([palette[i] for i in line[1:]])
    return width, height, rows


def decode_bmp(data):
    width, height = struct.unpack("<ii", data[18:26])
    offset, = struct.unpack("<I", data[10:14])
    rows = []
    for y in range(abs(height)):
        line = data[offset + y * width * 4:offset + (y + 1) * width * 4]
        rows.append([(line[x * 4 + 2], line[x * 4 + 1], line[x * 4]) for x in range(width)])
    if height > 0:
        rows.reverse()
    return width, abs(height), rows


class FaultingProgramUploads(unittest.TestCase):
    def test_report_and_screenshot_reach_the_server(self):
        with tempfile.TemporaryDirectory(prefix="vm-delivery-e2e-") as tmp:
            server_dir, out_dir = pathlib.Path(tmp, "server"), pathlib.Path(tmp, "out")
            server_dir.mkdir()
            out_dir.mkdir()
            server = subprocess.Popen([sys.executable, str(HERE / "servers" / "upload_server.py"), "--dir", str(server_dir)])
            try:
                for _ in range(200):
                    if (server_dir / "port").exists():
                        break
                    time.sleep(0.05)
                port = (server_dir / "port").read_text()
                windows_out = "Z:" + str(out_dir).replace("/", "\\") + "\\"
                run = subprocess.run([WINE_RUN, DEMO, port, windows_out], timeout=60)
                self.assertEqual(run.returncode, 0, "the program did not report a successful send")
            finally:
                (server_dir / "stop").touch()
                server.wait(timeout=10)

            def got(name):
                return (server_dir / f"request-1.{name}").read_bytes()

            self.assertEqual(got("file.BugReport"), (out_dir / "expected-report.txt").read_bytes())
            self.assertIn(b"exception message  : Access violation at address ", got("file.BugReport"))
            self.assertTrue(got("file.BugReport").startswith(b"an earlier report\r\n"))
            self.assertEqual(got("filename.BugReport"), b"bugreport.txt")
            self.assertEqual(got("field.MailSubject"), b"bug report")
            self.assertFalse((out_dir / "bugreport.txt").exists(), "the sent bug-report file is deleted")

            png = got("file.ScreenShot")
            self.assertEqual(got("filename.ScreenShot"), b"screenshot.png")
            self.assertEqual(png, (out_dir / "expected-screenshot.png").read_bytes())
            width, height, rows = decode_png(png)
            bmp_width, bmp_height, bmp_rows = decode_bmp((out_dir / "expected-screenshot.bmp").read_bytes())
            self.assertEqual((width, height), (bmp_width, bmp_height))
            self.assertGreater(width, 100)
            # 256 colours of a picture with few colours: every pixel close to the original.
            worst = max(abs(a - b) for row, bmp_row in zip(rows, bmp_rows) for p, q in zip(row, bmp_row)
                        for a, b in zip(p, q))
            self.assertLessEqual(worst, 24)
            blue = sum(1 for row in rows for p in row if p[2] > 150 and p[0] < 60)
            self.assertGreater(blue, width * height // 8, "the window's blue half is in the picture")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
