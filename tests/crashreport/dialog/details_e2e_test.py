#!/usr/bin/env python3
"""The details view over real report texts and the progress box during a real upload.

Run under ctest in the Windows build: details_demo.exe (DetailsDemo_win32.cpp) runs under
Wine and is driven through tools/driver; the upload server runs on the host. The first
report is the fixture record's golden report as it reads while its stacks are still being
walked, the newer one the finished golden report: the refresh must keep the user's tab.
Screenshots go to the build's test-artifacts folder.
    details_e2e_test.py DEMO_EXE        (VM_BUILD names the Windows build folder)
"""
import pathlib
import subprocess
import sys
import tempfile
import time
import unittest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "e2e"))
import harness  # noqa: E402

sys.path.insert(0, str(HERE.parent / "delivery"))
from delivery_e2e_test import start_upload_server  # noqa: E402

DEMO = sys.argv[1]
GOLDEN = (HERE.parent / "report" / "data" / "golden_report.txt").read_bytes().replace(b"@NUMBER@", b"7")


def pending(report):
    """The report as it reads before its stacks are walked: each thread's first line only."""
    head, _, body = report.partition(b"\r\n\r\n")
    sections = []
    for section in body.split(b"\r\n\r\n"):
        lines = section.split(b"\r\n")
        if lines[1].startswith(b">>"):
            sections.append(section)
        else:
            sections.append(b"\r\n".join(lines[:2] + [b">> stack will be calculated soon"]))
    sections.append(b"cpu registers:\r\n>> will be calculated soon")
    return head.replace(b"$81f6615e, $5be31aa8, $8d5a0220", b"will be calculated soon") + b"\r\n\r\n" + \
        b"\r\n\r\n".join(sections)


def rows(driver, hwnd):
    fields = driver("rows", hwnd).split("\t")
    assert int(fields[0]) == len(fields) - 1, fields[:3]
    return [[harness.unescape(c) for c in r.split("\x1f")] for r in fields[1:]]


def tabs(driver, hwnd):
    fields = driver("tabs", hwnd).split("\t")
    return int(fields[0]), [harness.unescape(f) for f in fields[1:]]


class DetailsViewAndProgressBox(harness.E2ETest):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="vm-details-e2e-")
        self.addCleanup(tmp.cleanup)
        self.tmp = pathlib.Path(tmp.name)
        self.server_dir = self.tmp / "server"
        self.server_dir.mkdir()
        (self.tmp / "first.txt").write_bytes(pending(GOLDEN))
        (self.tmp / "newer.txt").write_bytes(GOLDEN)
        # The answer waits three seconds: time to find the progress box and photograph it.
        self.server, port = start_upload_server(self.server_dir, "--delay", "3")
        self.addCleanup(self.stop_server)
        win = lambda p: "Z:" + str(p).replace("/", "\\")  # noqa: E731
        self.proc = subprocess.Popen([harness.WINE_RUN, DEMO, port, win(self.tmp) + "\\",
                                      win(self.tmp / "first.txt"), win(self.tmp / "newer.txt")])
        self.addCleanup(lambda: self.proc.poll() is None and self.proc.kill())
        try:
            self.window = self.driver.wait("VmDetailsDemo", "Details demo", 60000)
        except harness.DriverError:
            self.fail(f"no demo window; the demo's exit code: {self.proc.poll()}")
        self.addCleanup(self.close_demo)
        children = {c["cls"]: c for c in self.driver.children(self.window)}
        host = children["VmDetailsView"]["hwnd"]
        inner = {c["cls"]: c["hwnd"] for c in self.driver.children(host)}
        self.tab_control, self.list, self.edit = inner["SysTabControl32"], inner["SysListView32"], inner["Edit"]
        self.buttons = {c["text"]: c["hwnd"] for c in self.driver.children(self.window) if c["cls"] == "Button"}

    def close_demo(self):
        self.driver("close", self.window)
        self.assertEqual(self.proc.wait(timeout=30), 0)

    def stop_server(self):
        (self.server_dir / "stop").touch()
        self.server.wait(timeout=10)

    def visible(self, hwnd):
        return self.driver("state", hwnd).split("\t")[1] == "1"

    def select_tab(self, index):
        self.driver("tab", self.tab_control, index)
        for _ in range(100):
            if tabs(self.driver, self.tab_control)[0] == index:
                return
            time.sleep(0.05)
        self.fail(f"tab {index} not selected")

    def test_tabs_refresh_keeping_the_tab(self):
        current, captions = tabs(self.driver, self.tab_control)
        self.assertEqual((current, captions), (0, ["general", "call stacks", "cpu regs"]))
        general = rows(self.driver, self.list)
        self.assertEqual(general[0], ["date/time", "2026-01-05, 09:07:03, 45ms"])
        self.assertIn(["callstack crc", "will be calculated soon"], general)
        self.assertTrue(self.visible(self.list))

        self.select_tab(2)  # a section still being made: text in the fixed-pitch edit
        self.assertTrue(self.visible(self.edit))
        self.assertFalse(self.visible(self.list))
        self.assertEqual(self.driver.text(self.edit), ">> will be calculated soon")
        harness.screenshot("details-view-text")

        self.select_tab(1)
        self.assertTrue(self.visible(self.list))
        before = rows(self.driver, self.list)
        self.assertEqual(before[0], [">> main thread ($1a2c):"] + [""] * 6)
        self.assertEqual(before[2][0], ">> stack will be calculated soon")
        harness.screenshot("details-view-pending")

        # The record changes: the stacks are in, "cpu registers" is gone; the tab stays.
        self.driver("click", self.buttons["Refresh"])
        # The click is posted: the driver's reads may fall before, within or after the
        # refill, so the rows count once two reads in a row agree and differ from before.
        for _ in range(100):
            after = rows(self.driver, self.list)
            if after != before and rows(self.driver, self.list) == after:
                break
            time.sleep(0.05)
        self.assertEqual(tabs(self.driver, self.tab_control), (1, ["general", "call stacks"]))
        self.assertEqual(after[1], ["00401234", "+014", "veilmark.exe", "FormVeilmark", "210", "+12",
                                    "TFormVeilmark.ChangeID"])
        self.assertIn([">> created by main thread ($1a2c) at:"] + [""] * 6, after)
        self.assertEqual(len(after), 13)
        harness.screenshot("details-view-call-stacks")

    def test_please_wait_and_send_progress(self):
        self.driver("click", self.buttons["Wait"])
        box = self.driver.wait("VmProgressAlert", "Information", 10000)
        inner = {c["cls"]: c for c in self.driver.children(box)}
        self.assertEqual(inner["Static"]["text"], "Please wait a moment...")
        bar = inner["msctls_progress32"]["hwnd"]
        time.sleep(1)
        position, low, high = (int(v) for v in self.driver("progress", bar).split("\t"))
        self.assertEqual((low, high), (0, 1000))
        self.assertTrue(0 < position < 1000, position)
        self.assertFalse(self.driver.enabled(self.window), "the owner waits")
        harness.screenshot("progress-please-wait")
        self.driver("gone", box, 10000)
        self.assertTrue(self.driver.enabled(self.window))

        self.driver("click", self.buttons["Send"])
        # Found by its class: while the send waits for the server's answer, the box's thread
        # answers no messages, so its title cannot be read then (the screenshot shows it).
        box = self.driver.wait("VmProgressAlert", "*", 20000)
        self.assertFalse(self.driver.enabled(self.window), "a send in the foreground keeps its owner waiting")
        time.sleep(0.5)
        harness.screenshot("progress-send")
        self.driver("gone", box, 30000)
        self.driver.wait("VmDetailsDemo", "Details demo: sent", 10000)
        self.assertTrue(self.driver.enabled(self.window))
        uploaded = (self.server_dir / "request-1.file.BugReport").read_bytes()
        self.assertIn(pending(GOLDEN), uploaded)
        self.assertFalse((self.server_dir / "request-2.bin").exists())


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
