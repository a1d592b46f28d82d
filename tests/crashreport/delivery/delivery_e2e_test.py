#!/usr/bin/env python3
"""A faulting Windows program, captured by the crash reporter, uploads its report and
screenshot to the local upload server.

Run under ctest in the Windows build: the upload server runs on the host, the program
(delivery_fault_demo.exe) under Wine with the reporter's automatic send turned on; the
test presses OK on the reporter's box, the program closes after its send, and the server's
decoded parts are compared with the bug-report file and the screenshot the program took at
the moment of the report; the PNG is decoded here and compared with the BMP of that screen.
    delivery_e2e_test.py DEMO_EXE        (VM_BUILD names the Windows build folder)
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
SERVERS = HERE.parent / "common" / "servers"
sys.path.insert(0, str(HERE.parents[1] / "e2e"))
import harness  # noqa: E402

DEMO = sys.argv[1]


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


def start_upload_server(folder, *options):
    """The tests' upload server keeping its requests in `folder`; returns it and its port."""
    server = subprocess.Popen([sys.executable, str(SERVERS / "upload_server.py"), "--dir", str(folder), *options])
    for _ in range(200):
        if (folder / "port").exists():
            break
        time.sleep(0.05)
    return server, (folder / "port").read_text()


def type_contact_address(driver, page, address):
    """Into the contact page's address edit (its second), as typing does: the page checks the
    address on each change and opens Continue once it is valid."""
    email = [c["hwnd"] for c in driver.children(page) if c["cls"] == "Edit"][1]
    driver("settext", email, address)
    continue_button = driver.child(page, "Button", "Continue")
    for _ in range(50):
        if driver.enabled(continue_button):
            return
        time.sleep(0.1)
    raise AssertionError(f"Continue stays disabled for {address}")


class FaultingProgramUploads(harness.E2ETest):
    def test_report_and_screenshot_reach_the_server(self):
        with tempfile.TemporaryDirectory(prefix="vm-delivery-e2e-") as tmp:
            server_dir, out_dir = pathlib.Path(tmp, "server"), pathlib.Path(tmp, "out")
            server_dir.mkdir()
            out_dir.mkdir()
            server, port = start_upload_server(server_dir)
            try:
                windows_out = "Z:" + str(out_dir).replace("/", "\\") + "\\"
                proc = subprocess.Popen([harness.WINE_RUN, DEMO, port, windows_out])
                self.addCleanup(lambda: proc.poll() is None and proc.kill())
                hwnd = self.driver.wait("TExceptionBox", "delivery_fault_demo.exe", 30000)
                # Close at once: the send runs in the background and the close waits for it.
                self.driver("press", hwnd, "close application")
                self.assertEqual(proc.wait(timeout=90), 1, "the reporter closes the program")
            finally:
                (server_dir / "stop").touch()
                server.wait(timeout=10)

            def got(name):
                return (server_dir / f"request-1.{name}").read_bytes()

            self.assertFalse((server_dir / "request-2.bin").exists(), "one automatic send per report")
            report = got("file.BugReport")
            self.assertTrue(report.startswith(b"an earlier report\r\n"), report[:200])
            current = report[len(b"an earlier report\r\n"):].decode("cp1252")
            self.assertIn("exception class   : EAccessViolation", current)
            self.assertRegex(current, r"\r\nexception message : Access violation at address [0-9A-F]{8,} ")
            self.assertIn("main thread (", current)
            self.assertRegex(current, r"[0-9a-f]{8,} .*DeliveryFaultDemo_win32\s+\d+\s+\+\d+ .*WriteThroughNull\(\)")
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


    def test_send_button_runs_the_send_assistant_and_uploads(self):
        with tempfile.TemporaryDirectory(prefix="vm-delivery-e2e-") as tmp:
            server_dir, out_dir = pathlib.Path(tmp, "server"), pathlib.Path(tmp, "out")
            server_dir.mkdir()
            out_dir.mkdir()
            harness.reg_delete(r"HKCU\Software\Kelvorn\ContactForm")
            server, port = start_upload_server(server_dir)
            try:
                windows_out = "Z:" + str(out_dir).replace("/", "\\") + "\\"
                proc = subprocess.Popen([harness.WINE_RUN, DEMO, port, windows_out, "manual"])
                self.addCleanup(lambda: proc.poll() is None and proc.kill())
                box = self.driver.wait("TExceptionBox", "delivery_fault_demo.exe", 30000)
                self.driver("press", box, "send bug report")
                # The contact page: the address is required; typed into its edit, Continue opens.
                page = self.driver.wait("TNVForm", "*", 30000)
                type_contact_address(self.driver, page, "a@b.cd")
                self.driver("click", self.driver.child(page, "Button", "Continue"))
                self.wait_gone(page)
                # The details page: skipped; the screenshot page: continue.
                page = self.driver.wait("TNVForm", "*", 30000)
                self.driver("click", self.driver.child(page, "Button", "Skip"))
                self.wait_gone(page)
                page = self.driver.wait("TNVForm", "*", 30000)
                self.driver("click", self.driver.child(page, "Button", "Continue"))
                self.wait_gone(page)
                for _ in range(300):
                    if (server_dir / "request-1.bin").exists():
                        break
                    time.sleep(0.1)
                harness.screenshot("crash-dialog-after-send")
                self.driver("press", box, "close application")
                self.assertEqual(proc.wait(timeout=90), 1)
            finally:
                (server_dir / "stop").touch()
                server.wait(timeout=10)
            report = (server_dir / "request-1.file.BugReport").read_bytes().decode("cp1252")
            self.assertRegex(report, r"\r\ncontact email\s*: a@b\.cd\r\n")
            self.assertNotIn("error details", report)
            self.assertTrue((server_dir / "request-1.file.ScreenShot").exists(), "the screenshot is attached")
            self.assertFalse((server_dir / "request-2.bin").exists(), "one send")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
