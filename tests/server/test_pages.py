"""The developers' pages in a real headless chromium, after logging in through the form.
Screenshots of the group list, a report page, the triage controls and the account page land
in the test-artifacts folder."""
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
        message = [("MailFrom", "Anna <anna@example.com>"), ("MailSubject", "crash on save"),
                   ("MailBody", "Steps:\r\n1. open a file\r\n2. press <Save>\r\n\r\nThen it crashed.")]
        for bugreport, shot in uploads:
            answer = send(port, upload_request("127.0.0.1", port, bugreport, shot, fields=message if shot else None))
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
        rows = b.evaluate("[...document.querySelectorAll('table tr')].slice(1).map(r => [...r.cells].slice(0, 4)"
                          ".map(c => c.innerText.split('\\n')[0]).join(' | '))")
        # Sorted by count: the access violation came from two computers (three reports, one of
        # them claiming two occurrences), in 1.0.0.7 and 1.0.0.8 alike.
        self.assertEqual(rows, ["EAccessViolation | open | 2 | 3", "EConvertError | open | 1 | 1"])
        self.assertIn("claims 4", b.text())
        self.assertIn("1.0.0.7 \u2013 1.0.0.8", b.text())
        # The message's markup is shown as text, never run.
        self.assertIn("<script>alert(1)</script>", b.text())
        self.assertEqual(b.evaluate("document.querySelectorAll('script').length"), 0)
        b.screenshot(os.path.join(ARTIFACTS, "server-group-list.png"))

        b.open(self.base + "/groups?q=valid+integer")
        self.assertEqual(b.evaluate("document.querySelectorAll('table tr').length"), 2)
        self.assertIn("EConvertError", b.text())

        b.open(self.base + "/groups?sort=last")
        b.open(b.evaluate("[...document.querySelectorAll('table a')].find(a => a.closest('tr').textContent.includes('1.0.0.8')).href"))
        b.open(b.evaluate("[...document.querySelectorAll('table a')].find(a => a.closest('tr').textContent.includes('PC-3')).href"))
        text = b.text()
        for expected in ("Anna Berg", "anna@example.com", "Anna <anna@example.com>", "PC-3", "callstack crc",
                         "main thread ($1a2c):"):
            self.assertIn(expected, text)
        # The user's message keeps its lines, and its markup stays text.
        self.assertIn("Steps:\n1. open a file\n2. press <Save>\n\nThen it crashed.", text)
        self.assertEqual(b.evaluate("document.querySelector('a[download]').getAttribute('download')"), "bugreport.txt")
        self.assertEqual(b.evaluate("document.querySelector('img.shot').naturalWidth"), 320)
        b.screenshot(os.path.join(ARTIFACTS, "server-report.png"))

    def test_3_triage_controls(self):
        b = self.browser
        self.login(self.server.password)
        b.open(self.base + "/groups?sort=count")
        b.open(b.evaluate("document.querySelector('table a').href"))
        group = b.url()
        controls = b.evaluate("[...document.querySelectorAll('.triage button, .triage a')].map(e => e.textContent)")
        self.assertEqual(controls, ["Resolve", "Ignore", "Delete\u2026"])
        self.assertEqual(b.evaluate("document.querySelector('.triage [name=version]').value"), "1.0.0.8")
        self.assertEqual(b.evaluate("document.querySelectorAll('form[method=post] [name=csrf]').length"), 3)
        b.screenshot(os.path.join(ARTIFACTS, "server-group-triage.png"))
        b.call("Emulation.setDeviceMetricsOverride", width=390, height=800, deviceScaleFactor=1, mobile=True)
        b.open(group)
        self.assertLessEqual(b.evaluate("document.documentElement.scrollWidth"), 390)
        b.screenshot(os.path.join(ARTIFACTS, "server-group-triage-phone.png"))
        b.call("Emulation.clearDeviceMetricsOverride")

        # Resolve in the version the form offers (the newest seen): the group leaves the open list.
        b.submit("document.querySelector('.triage form[action$=\"/resolve\"]').submit()")
        self.assertEqual(b.url(), group)
        self.assertIn("State: resolved in 1.0.0.8", b.text())
        self.assertEqual(b.evaluate("[...document.querySelectorAll('.triage button')].map(e => e.textContent)"),
                         ["Resolve", "Ignore", "Reopen"])
        b.open(self.base + "/groups")
        self.assertNotIn("EAccessViolation", b.text())
        b.open(self.base + "/groups?state=resolved")
        self.assertIn("resolved in 1.0.0.8", b.text())

        # Delete the other group, through its confirmation page.
        b.open(self.base + "/groups?q=valid+integer")
        b.open(b.evaluate("document.querySelector('table a').href"))
        b.open(b.evaluate("document.querySelector('.triage a.danger').href"))
        self.assertIn("Delete this group?", b.text())
        b.screenshot(os.path.join(ARTIFACTS, "server-group-delete.png"))
        b.submit("document.querySelector('main form[action$=\"/delete\"]').submit()")
        self.assertTrue(b.url().endswith("/groups"), b.url())
        b.open(self.base + "/groups?state=all")
        self.assertNotIn("EConvertError", b.text())
        self.assertIn("resolved in 1.0.0.8", b.text())
        b.screenshot(os.path.join(ARTIFACTS, "server-group-list-all.png"))

    def test_4_phone_width_account_and_logout(self):
        b = self.browser
        self.login(self.server.password)
        b.call("Emulation.setDeviceMetricsOverride", width=390, height=800, deviceScaleFactor=1, mobile=True)
        b.open(self.base + "/groups?state=all")
        # Nothing wider than the phone's screen: no sideways scrolling.
        self.assertLessEqual(b.evaluate("document.documentElement.scrollWidth"), 390)
        b.screenshot(os.path.join(ARTIFACTS, "server-group-list-phone.png"))
        b.open(self.base + "/account")
        self.assertIn("Change the password", b.text())
        self.assertLessEqual(b.evaluate("document.documentElement.scrollWidth"), 390)
        b.screenshot(os.path.join(ARTIFACTS, "server-account-phone.png"))
        b.call("Emulation.clearDeviceMetricsOverride")
        b.submit("document.querySelector('form[action=\"/logout\"]').submit()")
        b.open(self.base + "/groups")
        self.assertIn("/login", b.url())


if __name__ == "__main__":
    unittest.main()
