"""Uploads against the real server: what is stored, how it is grouped, what is refused."""
import sqlite3
import threading
import unittest

from uploads import Server, bug_report_file, png, report, send, status_of, upload_request


def counts(server):
    with sqlite3.connect(f"file:{server.database()}?mode=ro", uri=True) as db:
        return tuple(db.execute(f"SELECT COUNT(*) FROM {t}").fetchone()[0]
                     for t in ("uploads", "reports", "report_groups", "screenshots"))


def groups(server):
    with sqlite3.connect(f"file:{server.database()}?mode=ro", uri=True) as db:
        rows = db.execute("SELECT id, exception_class, reports, computers FROM report_groups ORDER BY id").fetchall()
        return [(klass, n, computers, [v for (v,) in db.execute(
            "SELECT version FROM group_versions WHERE group_id = ? ORDER BY version", (gid,))])
            for gid, klass, n, computers in rows]


class Receiving(unittest.TestCase):
    def setUp(self):
        self.server = Server()
        self.addCleanup(self.server.stop)

    def upload(self, *args, **kwargs):
        return send(self.server.port, upload_request("127.0.0.1", self.server.port, *args, **kwargs))

    def test_upload_is_stored_with_its_fields_and_screenshot(self):
        picture = png()
        answer = self.upload(bug_report_file(report(contact_email="anna@example.com")), picture)
        self.assertEqual(status_of(answer), 200, answer)
        self.assertEqual(counts(self.server), (1, 1, 1, 1))
        with sqlite3.connect(self.server.database()) as db:
            mail_from, text, email, shot = db.execute(
                "SELECT u.mail_from, r.text, r.contact_email, s.png FROM reports r JOIN uploads u ON u.id = r.upload_id "
                "JOIN screenshots s ON s.report_id = r.id").fetchone()
        self.assertEqual(mail_from, "Anna <anna@example.com>")
        self.assertEqual(text, report(contact_email="anna@example.com"))
        self.assertEqual(email, "anna@example.com")
        self.assertEqual(shot, picture)

    def test_a_boundary_that_starts_with_dashes(self):
        answer = self.upload(bug_report_file(report()), png(), boundary="----ZentrapixBoundary7d93b2c41e")
        self.assertEqual(status_of(answer), 200, answer)
        self.assertEqual(counts(self.server), (1, 1, 1, 1))

    def test_duplicates_fall_into_one_group_and_a_file_sent_again_is_stored_once(self):
        a = report(computer="PC-1", when="2026-12-10, 09:00:00, 1ms")
        b = report(computer="PC-2", when="2026-12-10, 09:05:00, 2ms", version="1.0.0.8")
        self.assertEqual(status_of(self.upload(bug_report_file(a, b))), 200)
        # The same file again with a newer report that merged two more on PC-1 (count 3).
        c = report(computer="PC-1", when="2026-12-10, 10:00:00, 3ms", count=3)
        self.assertEqual(status_of(self.upload(bug_report_file(a, b, c), png())), 200)
        self.assertEqual(counts(self.server), (2, 3, 2, 1))
        self.assertEqual(groups(self.server), [("EAccessViolation", 4, 1, ["1.0.0.7"]),
                                               ("EAccessViolation", 1, 1, ["1.0.0.8"])])

    def test_grouping_rule(self):
        cases = [  # (report, joins the first group?)
            (report(computer="PC-9", message="other text, same place"), True),
            (report(crc="$0a1b2c3d, $4e5f6071, $ffffffff"), True),   # third checksum is not compared
            (report(crc="$0a1b2c3d, $00000000, $8293a4b5"), False),  # second checksum differs
            (report(klass="EConvertError"), False),
            (report(executable="other.exe"), False),
            (report(crc="will be calculated soon"), False),
        ]
        self.assertEqual(status_of(self.upload(bug_report_file(report()))), 200)
        for i, (r, joins) in enumerate(cases):
            with self.subTest(i=i):
                before = len(groups(self.server))
                self.assertEqual(status_of(self.upload(bug_report_file(r))), 200)
                self.assertEqual(len(groups(self.server)), before + (0 if joins else 1))

    def test_thank_you_page_is_a_redirect_that_needs_no_login(self):
        server = Server("--thank-you", "/thanks")
        self.addCleanup(server.stop)
        answer = send(server.port, upload_request("127.0.0.1", server.port, bug_report_file(report())))
        self.assertEqual(status_of(answer), 302, answer)
        self.assertIn(f"\r\nLocation: http://127.0.0.1:{server.port}/thanks\r\n".encode(), answer)
        page = send(server.port, f"GET /thanks HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n".encode())
        self.assertEqual(status_of(page), 200)
        self.assertIn(b"Thank you", page)
        self.assertEqual(counts(server)[1], 1)


class BadInput(unittest.TestCase):
    def setUp(self):
        self.server = Server("--max-upload", "200000", "--read-timeout", "2")
        self.addCleanup(self.server.stop)
        self.port = self.server.port

    def request(self, bugreport=None, **kwargs):
        return upload_request("127.0.0.1", self.port, bugreport or bug_report_file(report()), **kwargs)

    def test_each_bad_upload_is_refused_and_leaves_nothing(self):
        good = self.request()
        body_len = len(good) - good.index(b"\r\n\r\n") - 4
        cases = [
            ("too large", self.request(bug_report_file(report()) + b"x" * 300000), 413),
            # A body shorter than its length is a request that never arrives whole.
            ("no closing line", good[:good.rindex(b"--\r\n") - len("ZtpxBoundary7d2f9c0e41") - 4], 408),
            ("length says more than is sent", self.request(content_length=body_len + 500), 408),
            ("length says less", self.request(content_length=body_len - 40), 400),
            ("screenshot not a PNG", self.request(screenshot=b"GIF89a" + b"\0" * 64), 400),
            ("report without header", self.request(b"this is no report\r\nat all\r\n"), 400),
            ("header without callstack crc", self.request(b"date/time  : 2026-12-10\r\nexecutable : a.exe\r\n\r\n"), 400),
            ("no bug report part", upload_request("127.0.0.1", self.port, b"", screenshot=png()), 400),
            ("not multipart", b"POST /submit.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                              b"Content-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello", 400),
        ]
        for name, request, status in cases:
            with self.subTest(name):
                answer = send(self.port, request)
                self.assertEqual(status_of(answer), status, answer[:300])
                self.assertEqual(counts(self.server), (0, 0, 0, 0))
        # Still serving, and a good upload goes through.
        self.assertEqual(status_of(send(self.port, good)), 200)
        self.assertEqual(counts(self.server)[:3], (1, 1, 1))

    def test_a_slow_client_is_cut_off_while_others_are_served(self):
        request = self.request()
        results = {}
        slow = threading.Thread(target=lambda: results.setdefault(
            "slow", send(self.port, request, pause_after=len(request) - 100)))
        slow.start()
        self.assertEqual(status_of(send(self.port, request)), 200)
        slow.join(timeout=20)
        self.assertFalse(slow.is_alive())
        self.assertEqual(status_of(results["slow"]), 408)
        self.assertEqual(counts(self.server)[:2], (1, 1))

    def test_a_burst_from_one_address_is_limited_without_losing_others(self):
        server = Server("--upload-burst", "3", "--uploads-per-second", "0.01")
        self.addCleanup(server.stop)
        request = upload_request("127.0.0.1", server.port, bug_report_file(report()))
        answers = [send(server.port, request) for _ in range(5)]
        self.assertEqual([status_of(a) for a in answers], [200, 200, 200, 429, 429])
        self.assertIn(b"\r\nRetry-After: ", answers[3])
        self.assertEqual(status_of(send(server.port, request, source="127.0.0.2")), 200)


if __name__ == "__main__":
    unittest.main()
