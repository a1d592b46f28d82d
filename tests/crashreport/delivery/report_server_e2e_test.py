#!/usr/bin/env python3
"""From a user's fault to a developer's page: a program faulting under Wine sends its report
and screenshot to the real report server, where a logged-in developer reads them.

Run under ctest in the Windows build: the report server (a host program, REPORTSERVER) runs
on a free port of 127.0.0.1 with a database of its own, delivery_fault_demo.exe faults under
the reporter with its automatic send aimed at it, and Debian's headless chromium logs in and
opens the group and the report. Screenshots of both pages land in the test artifacts.
The send goes over plain HTTP to the server itself; the shipped program sends over HTTPS,
and this test is to do so too once the report server runs behind its TLS site.
    report_server_e2e_test.py DEMO_EXE      (VM_BUILD names the Windows build folder)
"""
import os
import pathlib
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "e2e"))
sys.path.insert(0, str(HERE.parents[1] / "server"))
import harness  # noqa: E402
from delivery_e2e_test import type_contact_address  # noqa: E402

DEMO = sys.argv[1]


class FaultReachesTheReportPage(harness.E2ETest):
    def setUp(self):
        if not os.path.exists(os.environ.get("REPORTSERVER", "")):
            self.fail(f"the report server is not built: {os.environ.get('REPORTSERVER')} (make asan builds it)")
        from uploads import Server  # noqa: E402 (reads REPORTSERVER when imported)
        self.server = Server()
        self.addCleanup(self.server.stop)

    def stored_reports(self):
        with sqlite3.connect(self.server.database()) as db:
            return db.execute("SELECT COUNT(*) FROM reports").fetchone()[0]

    def fault_and_send(self, folder):
        """The user's path: the error dialog's send button, the send assistant's pages (an
        address typed on the contact page, the details skipped, the screenshot kept), then
        close once the server holds the report."""
        windows_folder = "Z:" + str(folder).replace("/", "\\") + "\\"
        proc = subprocess.Popen([harness.WINE_RUN, DEMO, str(self.server.port), windows_folder, "manual"])
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        box = self.driver.wait("TExceptionBox", "delivery_fault_demo.exe", 30000)
        self.driver("press", box, "send bug report")
        for button, types_address in (("Continue", True), ("Skip", False), ("Continue", False)):
            page = self.driver.wait("TNVForm", "*", 30000)
            if types_address:
                type_contact_address(self.driver, page, "a@b.cd")
            self.driver("click", self.driver.child(page, "Button", button))
            self.wait_gone(page)
        for _ in range(300):
            if self.stored_reports():
                break
            time.sleep(0.1)
        self.driver("press", box, "close application")
        self.assertEqual(proc.wait(timeout=90), 1, "the reporter closes the program")

    def test_report_and_screenshot_on_the_report_page(self):
        with tempfile.TemporaryDirectory(prefix="vm-server-e2e-") as tmp:
            self.fault_and_send(pathlib.Path(tmp))
            shot = (pathlib.Path(tmp) / "expected-screenshot.png").read_bytes()
        # The demo's bug-report file held a line before the new report: only the report counts.
        self.assertEqual(self.stored_reports(), 1)

        from browser import Browser  # noqa: E402
        browser = Browser()
        self.addCleanup(browser.quit)
        base = f"http://127.0.0.1:{self.server.port}"
        browser.open(base + "/groups")
        browser.submit("document.querySelector('[name=name]').value = 'dev';"
                       f"document.querySelector('[name=password]').value = {self.server.password!r};"
                       "document.querySelector('form[action=\"/login\"]').submit()")
        self.assertIn("EAccessViolation", browser.text())
        browser.screenshot(str(harness.ARTIFACTS / "server-e2e-groups.png"))
        browser.open(browser.evaluate("document.querySelector('table a').href"))
        browser.open(browser.evaluate("document.querySelector('table a').href"))
        page = browser.text()
        self.assertRegex(page, r"Access violation at address [0-9A-F]{8,} in module \"delivery_fault_demo.exe\"\. "
                               r"Write of address 00000000\.")
        self.assertIn("a@b.cd", page, "the contact page's address")
        self.assertIn("delivery_fault_demo.exe", page)
        self.assertRegex(page, r"DeliveryFaultDemo_win32\s+\d+\s+\+\d+\s+.*WriteThroughNull\(\)")
        # The screenshot shown is the one the program took, byte for byte.
        source = browser.evaluate("document.querySelector('img.shot').getAttribute('src')")
        self.assertGreater(browser.evaluate("document.querySelector('img.shot').naturalWidth"), 100)
        # Fetched with the browser's session: what the page shows is what the server stored.
        cookies = "; ".join(f"{c['name']}={c['value']}" for c in browser.call("Network.getCookies")["cookies"])
        request = urllib.request.Request(base + source, headers={"Cookie": cookies})
        with urllib.request.urlopen(request, timeout=10) as answer:
            served = answer.read()
        self.assertEqual(served, shot)
        browser.screenshot(str(harness.ARTIFACTS / "server-e2e-report.png"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
