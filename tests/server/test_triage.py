"""Triage against the real server: honest counts, one group across versions, resolve and
regression, deletion, forms that other sites cannot forge, and the accounts."""
import re
import sqlite3
import subprocess
import unittest
import urllib.parse

from developer import Developer
from uploads import SERVER, Server, bug_report_file, png, report, send, status_of, upload_request

ROW = re.compile(r'<tr><td><a href="/groups/(\d+)">([^<]*)</a>.*?</tr>', re.S)


class Triage(unittest.TestCase):
    def setUp(self):
        self.server = Server()
        self.addCleanup(self.server.stop)
        self.dev = Developer(self.server.port)
        self.assertEqual(self.dev.login("dev", self.server.password)[0], 303)

    def upload(self, *reports, screenshot=None, fields=None):
        answer = send(self.server.port, upload_request("127.0.0.1", self.server.port, bug_report_file(*reports),
                                                       screenshot, fields=fields))
        self.assertEqual(status_of(answer), 200, answer)

    def listed(self, query=""):
        """(group id, class, row html) of the list's rows, in order."""
        page = self.dev.page("/groups" + query)
        return [(int(m.group(1)), m.group(2), m.group(0)) for m in ROW.finditer(page)]

    def classes(self, query=""):
        return [klass for _, klass, _ in self.listed(query)]

    def group_id(self, klass="EAccessViolation"):
        return next(gid for gid, k, _ in self.listed("?state=all") if k == klass)

    def state_action(self, gid, action, **fields):
        return self.dev.post(f"/groups/{gid}/{action}", fields, token_from=f"/groups/{gid}")

    def test_a_forged_count_never_tops_groups_with_more_senders(self):
        self.upload(report(klass="EForged", crc="$11111111, $22222222, $33333333", count=1000000))
        # One file of 20 made-up reports, each naming another computer.
        self.upload(*[report(klass="EFlood", crc="$44444444, $55555555, $66666666", computer=f"FAKE-{i}",
                             when=f"2026-12-10, 09:00:{i:02}, 1ms") for i in range(20)])
        for computer in ("PC-1", "PC-2"):
            self.upload(report(klass="EReal", computer=computer))
        rows = self.listed("?sort=count")
        self.assertEqual([klass for _, klass, _ in rows], ["EReal", "EFlood", "EForged"])
        forged = rows[2][2]
        self.assertIn("claims 1000000", forged)  # the claim is shown beside what arrived
        self.assertRegex(forged, r'<td class="n">1</td><td class="n">1<span class="claim">')

    def test_two_versions_of_one_crash_are_one_group(self):
        for computer, version in (("PC-1", "1.0.0.7"), ("PC-2", "1.0.0.10"), ("PC-3", "1.0.0.8")):
            self.upload(report(computer=computer, version=version))
        rows = self.listed()
        self.assertEqual(len(rows), 1)
        self.assertIn("1.0.0.7 &ndash; 1.0.0.10", rows[0][2])  # first and last, as numbers
        page = self.dev.page(f"/groups/{rows[0][0]}")
        self.assertIn("<dt>Versions</dt><dd>1.0.0.7, 1.0.0.8, 1.0.0.10</dd>", page)
        self.assertEqual(len(self.listed("?version=1.0.0.8")), 1)
        self.assertEqual(self.listed("?version=1.0.0.9"), [])
        self.assertEqual(len(self.listed("?exe=VEILMARK.EXE")), 1)
        self.assertEqual(self.listed("?exe=other.exe"), [])

    def test_a_resolved_group_regresses_only_for_a_newer_version(self):
        self.upload(report(computer="PC-1", version="1.0.0.7"))
        self.upload(report(computer="PC-2", version="1.0.0.8"))
        gid = self.group_id()
        self.assertEqual(self.state_action(gid, "resolve", version="")[0], 303)  # the newest seen
        self.assertIn("resolved in 1.0.0.8", self.dev.page(f"/groups/{gid}"))
        self.assertEqual(self.classes(), [])  # the list shows open groups by default
        self.assertEqual(self.classes("?state=resolved"), ["EAccessViolation"])

        self.upload(report(computer="PC-3", version="1.0.0.8"))
        self.upload(report(computer="PC-4", version="1.0.0.7"))
        self.assertEqual(self.classes(), [], "the fixed version and older ones do not reopen it")
        self.upload(report(computer="PC-5", version="1.0.0.9"))
        self.assertEqual(self.classes("?state=regressed"), ["EAccessViolation"])
        self.assertIn('<span class="regressed">regressed</span>', self.listed()[0][2])

        # A typed version; a newer one than it reopens, up to it does not.
        status, _, body = self.state_action(gid, "resolve", version="1.0 beta")
        self.assertEqual(status, 400, body)
        self.assertEqual(self.state_action(gid, "resolve", version=" 1.0.0.10 ")[0], 303)
        self.upload(report(computer="PC-6", version="1.0.0.10"))
        self.assertEqual(self.classes("?state=resolved"), ["EAccessViolation"])
        self.upload(report(computer="PC-7", version="1.0.1.0"))
        self.assertEqual(self.classes("?state=regressed"), ["EAccessViolation"])

        self.assertEqual(self.state_action(gid, "ignore")[0], 303)
        self.upload(report(computer="PC-8", version="2.0.0.0"))
        self.assertEqual(self.classes("?state=ignored"), ["EAccessViolation"])
        self.assertEqual(self.state_action(gid, "reopen")[0], 303)
        self.assertEqual(self.classes(), ["EAccessViolation"])

    def test_search_finds_stack_lines_computers_and_addresses(self):
        self.upload(report(computer="LAB-7", stack="TCacheFlush.Run", contact_email="anna@example.com"))
        self.upload(report(klass="EOther", crc="$11111111, $22222222, $33333333"),
                    fields=[("MailFrom", "Bert <bert@example.org>")])
        for query, found in (("tcacheflush", ["EAccessViolation"]), ("LAB-7", ["EAccessViolation"]),
                             ("anna@example", ["EAccessViolation"]), ("bert@example", ["EOther"]),
                             ("nothing like it", [])):
            with self.subTest(query):
                self.assertEqual(self.classes("?state=all&q=" + urllib.parse.quote(query)), found)

    def test_delete_asks_first_and_takes_reports_and_screenshots(self):
        self.upload(report(), screenshot=png())
        self.upload(report(klass="EKeep", crc="$11111111, $22222222, $33333333"))
        gid = self.group_id()
        confirm = self.dev.page(f"/groups/{gid}/delete")
        self.assertIn("Delete this group?", confirm)
        self.assertIn(f'action="/groups/{gid}/delete"', confirm)
        self.assertEqual(self.classes("?state=all"), ["EKeep", "EAccessViolation"], "asking deletes nothing")
        status, headers, _ = self.dev.post(f"/groups/{gid}/delete", token_from=f"/groups/{gid}/delete")
        self.assertEqual((status, headers["location"]), (303, "/groups"))
        self.assertEqual(self.classes("?state=all"), ["EKeep"])
        for path in (f"/groups/{gid}", "/reports/1", "/reports/1/screenshot.png", "/reports/1/bugreport.txt"):
            self.assertEqual(self.dev.get(path)[0], 404, path)
        with sqlite3.connect(f"file:{self.server.database()}?mode=ro", uri=True) as db:
            self.assertEqual([db.execute(f"SELECT COUNT(*) FROM {t}").fetchone()[0]
                              for t in ("uploads", "reports", "screenshots")], [1, 1, 0])

    def test_a_report_downloads_as_bugreport_txt(self):
        self.upload(report(computer="M\xfcller-PC"))
        status, headers, body = self.dev.get("/reports/1/bugreport.txt")
        self.assertEqual(status, 200)
        self.assertEqual(headers["content-disposition"], 'attachment; filename="bugreport.txt"')
        self.assertEqual(body, report(computer="M\xfcller-PC"))  # byte for byte, in its code page
        self.assertIn('href="/reports/1/bugreport.txt"', self.dev.page("/reports/1"))

    def test_changes_without_the_session_token_are_refused(self):
        self.upload(report())
        gid = self.group_id()
        other = Developer(self.server.port)
        self.assertEqual(other.login("dev", self.server.password)[0], 303)
        foreign = other.form_token(other.page("/groups"))
        stranger = Developer(self.server.port)  # a page of another site: no cookie goes along
        cases = [(f"/groups/{gid}/resolve", {"version": "1.0.0.7"}), (f"/groups/{gid}/ignore", {}),
                 (f"/groups/{gid}/delete", {}), ("/account/password", {"current": self.server.password,
                                                                      "new": "0123456789", "repeat": "0123456789"}),
                 ("/logout", {})]
        for path, fields in cases:
            for who, token in (("no token", None), ("wrong token", "0" * 64), ("another session's", foreign)):
                with self.subTest(path=path, token=who):
                    sent = dict(fields, **({"csrf": token} if token else {}))
                    self.assertEqual(self.dev.request("POST", path, sent)[0], 403)
            with self.subTest(path=path, token="cross-site"):
                self.assertEqual(stranger.request("POST", path, dict(fields, csrf=foreign))[0], 403)
        # Nothing changed: the group is open and there, the password and the session hold.
        self.assertEqual(self.classes(), ["EAccessViolation"])
        self.assertEqual(Developer(self.server.port).login("dev", self.server.password)[0], 303)
        # A change is never made by a GET.
        self.assertEqual(self.dev.get(f"/groups/{gid}/ignore")[0], 404)
        self.assertEqual(self.classes(), ["EAccessViolation"])

    def test_a_login_form_from_elsewhere_is_refused(self):
        fields = {"name": "dev", "password": self.server.password, "next": "/groups"}
        for who, developer, token in (("no token", Developer(self.server.port), None),
                                      ("token without its cookie", Developer(self.server.port), "ab" * 16)):
            with self.subTest(who):
                if token:
                    developer.page("/login")
                    developer.cookies.clear()
                status, _, _ = developer.request("POST", "/login", dict(fields, **({"csrf": token} if token else {})))
                self.assertEqual(status, 403)
                self.assertNotIn("vmsession", developer.cookies)

    def test_accounts_on_the_command_line_and_the_password_page(self):
        def command(*args):
            done = subprocess.run([SERVER, "--data", self.server.folder, *args], capture_output=True, text=True,
                                  timeout=60)
            return done.returncode, done.stdout + done.stderr

        rc, out = command("--add-account", "anna")
        self.assertEqual(rc, 0, out)
        password = re.search(r'account "anna" created, password: (\S+)', out).group(1)
        self.assertEqual(command("--add-account", "anna"), (1, 'reportserver: the account "anna" exists already\n'))
        # Each browser from an address of its own: the login limit is not what this tests.
        browsers = iter(Developer(self.server.port, f"127.0.0.{n}") for n in range(2, 20))
        anna, elsewhere = next(browsers), next(browsers)
        self.assertEqual(anna.login("anna", password)[0], 303)
        self.assertEqual(elsewhere.login("anna", password)[0], 303)

        change = lambda current, new, repeat: anna.post("/account/password",
                                                        {"current": current, "new": new, "repeat": repeat},
                                                        token_from="/account")
        for why, args, status, text in (
                ("wrong current", ("nope", "a new password", "a new password"), 403, "current password is wrong"),
                ("too short", (password, "short", "short"), 400, "too short"),
                ("repeated wrongly", (password, "a new password", "a new passw0rd"), 400, "differ")):
            with self.subTest(why):
                got, _, body = change(*args)
                self.assertEqual(got, status)
                self.assertIn(text, body.decode())
        got, _, body = change(password, "a new password", "a new password")
        self.assertEqual(got, 200)
        self.assertIn("The password is changed.", body.decode())
        self.assertEqual(anna.get("/groups")[0], 200, "this browser stays logged in")
        self.assertEqual(elsewhere.get("/groups")[0], 302, "the other session ends")
        self.assertEqual(next(browsers).login("anna", password)[0], 403)
        self.assertEqual(next(browsers).login("anna", "a new password")[0], 303)

        rc, out = command("--reset-password", "anna")
        self.assertEqual(rc, 0, out)
        reset = re.search(r'password of "anna" reset, new password: (\S+)', out).group(1)
        self.assertEqual(anna.get("/groups")[0], 302, "a reset ends the running server's sessions")
        anna = next(browsers)
        self.assertEqual(anna.login("anna", reset)[0], 303)

        self.assertEqual(command("--remove-account", "anna"), (0, 'account "anna" removed; 1 account(s) left\n'))
        self.assertEqual(anna.get("/groups")[0], 302)
        self.assertEqual(next(browsers).login("anna", reset)[0], 403)
        self.assertEqual(command("--remove-account", "anna"), (1, 'reportserver: there is no account "anna"\n'))
        self.assertEqual(command("--reset-password", "nobody")[0], 1)
        self.assertEqual(self.dev.get("/groups")[0], 200, "other accounts are untouched")


if __name__ == "__main__":
    unittest.main()
