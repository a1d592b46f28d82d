"""Two server processes on one PostgreSQL database: concurrent uploads spread over both (some
the same file to both) are stored once each, a login on one process reads pages on the
other, and an SQLite server's database moves over with --copy-to. The database server is
Debian's PostgreSQL, started for this test in a temporary folder (tools/pg-sandbox)."""
import glob
import os
import subprocess
import tempfile
import threading
import unittest

from developer import Developer
from uploads import SERVER, Server, bug_report_file, png, report, send, status_of, upload_request

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SANDBOX = os.path.join(ROOT, "tools", "pg-sandbox")
PSQL = (sorted(glob.glob("/usr/lib/postgresql/*/bin/psql")) or ["psql"])[-1]


class TwoServersOnePostgres(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="pgsandbox-")
        started = subprocess.run([SANDBOX, "start", cls.folder, str(os.getpid())], capture_output=True, text=True)
        if started.returncode == 3:
            raise unittest.SkipTest("no PostgreSQL server to test against: " + started.stderr.strip())
        assert started.returncode == 0, started.stderr
        cls.connection = started.stdout.strip().splitlines()[-1]

    @classmethod
    def tearDownClass(cls):
        subprocess.run([SANDBOX, "stop", cls.folder], check=False)

    def database(self, name):
        """A fresh database on the sandbox server; its connection string."""
        self.sql(f"DROP DATABASE IF EXISTS {name}")
        self.sql(f"CREATE DATABASE {name}")
        return self.connection.replace("dbname=postgres", f"dbname={name}")

    def sql(self, statement, connection=None):
        answer = subprocess.run([PSQL, connection or self.connection, "-Atc", statement],
                                capture_output=True, text=True, check=True)
        return answer.stdout.strip()

    def start(self, database, **kwargs):
        server = Server("--uploads-per-second", "0", database=database, **kwargs)
        self.addCleanup(server.stop)
        return server

    def test_concurrent_uploads_and_sessions_across_two_processes(self):
        db = self.database("twoservers")
        a = self.start(db)
        b = self.start(db, account=None)
        # Ten crashes from ten computers; 14 files go to one server each, 3 to both at once.
        files = [(bug_report_file(report(computer=f"PC-{i}", crc=f"$0a1b2c3d, ${10000000 + i % 4}, $8293a4b5",
                                         when=f"2026-12-10, 09:{i:02}:00, 1ms")), png() if i % 2 else None)
                 for i in range(17)]
        sends = [((a, b)[i % 2], f) for i, f in enumerate(files[:14])]
        sends += [(server, f) for f in files[14:] for server in (a, b)]
        self.assertEqual(len(sends), 20)
        answers = [None] * len(sends)

        def upload(i, server, bugreport, shot):
            answers[i] = send(server.port, upload_request("127.0.0.1", server.port, bugreport, shot))

        threads = [threading.Thread(target=upload, args=(i, s, *f)) for i, (s, f) in enumerate(sends)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual([status_of(x) for x in answers], [200] * 20, answers)
        stored = [int(x.split(b"stored ")[1].split()[0]) for x in answers]
        self.assertEqual(sum(stored), 17)
        self.assertEqual(sorted(stored[14:][0::2] + stored[14:][1::2]), [0, 0, 0, 1, 1, 1])

        counts = self.sql("SELECT (SELECT COUNT(*) FROM reports) || ' ' || (SELECT COUNT(DISTINCT digest) FROM reports)"
                          " || ' ' || (SELECT COUNT(*) FROM uploads) || ' ' || (SELECT COUNT(*) FROM report_groups)"
                          " || ' ' || (SELECT SUM(reports) FROM report_groups)"
                          " || ' ' || (SELECT SUM(computers) FROM report_groups)"
                          " || ' ' || (SELECT COUNT(*) FROM screenshots)", db)
        self.assertEqual(counts, "17 17 20 4 17 17 8")

        # A login on one process reads the pages of the other; logging out ends it on both.
        dev = Developer(a.port)
        self.assertEqual(dev.login("dev", a.password)[0], 303)
        dev.port = b.port
        groups = dev.page("/groups")
        self.assertIn("EAccessViolation", groups)
        status, _, _ = dev.post("/logout", token_from="/groups")
        self.assertEqual(status, 303)
        dev.port = a.port
        self.assertEqual(dev.get("/groups")[0], 302)

    def test_an_sqlite_server_moves_over_with_copy_to(self):
        old = Server()
        self.addCleanup(old.stop)
        for i in range(3):
            answer = send(old.port, upload_request("127.0.0.1", old.port, bug_report_file(
                report(computer=f"PC-{i}", when=f"2026-12-10, 10:0{i}:00, 1ms")), png()))
            self.assertEqual(status_of(answer), 200)
        old.stop()
        db = self.database("moved")
        command = [SERVER, "--data", old.folder, "--copy-to", db]
        first = subprocess.run(command, capture_output=True, text=True, check=True).stdout
        self.assertEqual(first.strip(), "copied 3 uploads, 3 reports (3 with a screenshot), 1 group, 1 account; "
                                        "already there: 0 reports, 0 groups, 0 accounts")
        again = subprocess.run(command, capture_output=True, text=True, check=True).stdout
        self.assertIn("copied 0 uploads, 0 reports (0 with a screenshot), 0 groups, 0 accounts", again)
        # The old password works on the new server, and the old report numbers still lead to them.
        new = self.start(db, account=None)
        dev = Developer(new.port)
        self.assertEqual(dev.login("dev", old.password)[0], 303)
        self.assertIn("PC-2", dev.page("/reports/3"))


if __name__ == "__main__":
    unittest.main()
