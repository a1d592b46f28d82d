"""The developers' pages in a real headless chromium, after logging in through the form.
Screenshots of the group list and of a report page land in the test-artifacts folder."""
import os
import unittest

from browser import Browser
from uploads import Server, bug_report_file, png, report, send, status_of, upload_request

ARTIFACTS = os.environ.get("VM_ARTIFACTS", os.path.join(os.getcwd(), "test-artifacts"))


class Pages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(ARTIFACTS, exist_ok=True)
        cls.server = Server()
        port = cls.server.port
        cls.base = f"http://127.0.0.1:{port}"
        uploads = [
            (bug_report_file(report(computer="PC-1"), report(computer="PC-2", when="2026-12-10, 09:20:00, 5ms", count=2)), None),
            (bug_report_file(report(computer="PC-3", when="2026-12-10, 09:30:00, 7ms", version="1.0.0.8",
                                    contact_name="Anna Berg", contact_email="anna@example.com")), png(320, 200)),
            (bug_report_file(report(klass="EConvertError", crc="$11111111, $22222222, $33333333",
                                    message="'12a' is not a valid integer value <script>alert(1)</script>")), None),
        ]
        for bugreport, shot in uploads:
            answer = send(port, upload_request("127.0.0.1", port, bugreport, shot))
            assert status_of(answer) == 200, answer
        cls.browser = Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.server.stop()

    def login(self, password):
        b = self.browser
        b.call("Network.clearBrowserCookies")
        b.open(self.base + "/groups?sort=count")
        self.assertIn("/login", b.url())
        b.submit("document.querySelector('[name=name]').value = 'dev';"
                 f"document.querySelector('[name=password]').value = {password!r};"
                 "document.querySelector('form[action=\"/login\"]').submit()")

    def test_1_every_page_asks_for_a_login(self):
        for path in ("/groups", "/groups/1", "/reports/1", "/reports/1/screenshot.png"):
            with self.subTest(path):
                answer = send(self.server.port, f"GET {path} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
                self.assertEqual(status_of(answer), 302)
                self.assertIn(b"\r\nLocation: /login?next=", answer)
                self.assertNotIn(b"EAccessViolation", answer)
        self.login("wrong password")
        self.assertIn("Account or password is wrong", self.browser.text())

    def test_2_group_list_report_and_search(self):
        b = self.browser
        self.login(self.server.password)
        self.assertTrue(b.url().endswith("/groups?sort=count"), b.url())
        rows = b.evaluate("[...document.querySelectorAll('table tr')].slice(1).map(r => r.cells[0].querySelector('a').textContent + ' ' + r.cells[1].textContent)")
        # Sorted by count, the newer group first among equals: the access violation of 1.0.0.7
        # stands for three occurrences (one report carries "count 2").
        self.assertEqual(rows, ["EAccessViolation 3", "EConvertError 1", "EAccessViolation 1"])
        # The message's markup is shown as text, never run.
        self.assertIn("<script>alert(1)</script>", b.text())
        self.assertEqual(b.evaluate("document.querySelectorAll('script').length"), 0)
        b.screenshot(os.path.join(ARTIFACTS, "server-group-list.png"))

        b.open(self.base + "/groups?q=valid+integer")
        self.assertEqual(b.evaluate("document.querySelectorAll('table tr').length"), 2)
        self.assertIn("EConvertError", b.text())

        b.open(self.base + "/groups?sort=last")
        b.open(b.evaluate("[...document.querySelectorAll('table a')].find(a => a.closest('tr').textContent.includes('1.0.0.8')).href"))
        self.assertIn("PC-3", b.text())
        b.open(b.evaluate("document.querySelector('table a').href"))
        text = b.text()
        for expected in ("Anna Berg", "anna@example.com", "Anna <anna@example.com>", "PC-3", "callstack crc",
                         "main thread ($1a2c):"):
            self.assertIn(expected, text)
        self.assertEqual(b.evaluate("document.querySelector('img.shot').naturalWidth"), 320)
        b.screenshot(os.path.join(ARTIFACTS, "server-report.png"))

    def test_3_phone_width_and_logout(self):
        b = self.browser
        self.login(self.server.password)
        b.call("Emulation.setDeviceMetricsOverride", width=390, height=800, deviceScaleFactor=1, mobile=True)
        b.open(self.base + "/groups")
        # Nothing wider than the phone's screen: no sideways scrolling.
        self.assertLessEqual(b.evaluate("document.documentElement.scrollWidth"), 390)
        b.screenshot(os.path.join(ARTIFACTS, "server-group-list-phone.png"))
        b.call("Emulation.clearDeviceMetricsOverride")
        b.submit("document.querySelector('form[action=\"/logout\"]').submit()")
        b.open(self.base + "/groups")
        self.assertIn("/login", b.url())


if __name__ == "__main__":
    unittest.main()
