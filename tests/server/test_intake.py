"""The server as an attacker on the open internet meets it: chunked bodies over the limit,
clients that trickle, many connections, forged proxy fields, password guessing, a full disk.
Every case runs against the real server on a free port of 127.0.0.1."""
import os
import resource
import signal
import socket
import sqlite3
import threading
import time
import unittest
import urllib.parse

from test_receiving import counts
from uploads import Server, bug_report_file, report, send, status_of, upload_request


def chunked(request, piece=65536):
    """The same upload with its body sent in chunks instead of under a Content-Length."""
    head, body = request.split(b"\r\n\r\n", 1)
    lines = [l for l in head.split(b"\r\n") if not l.lower().startswith(b"content-length:")]
    out = [b"\r\n".join(lines) + b"\r\nTransfer-Encoding: chunked\r\n\r\n"]
    for at in range(0, len(body), piece):
        part = body[at:at + piece]
        out.append(b"%x\r\n" % len(part) + part + b"\r\n")
    return b"".join(out) + b"0\r\n\r\n"


def get(port, path, cookie="", source="127.0.0.1", headers="", timeout=15):
    extra = f"Cookie: {cookie}\r\n" if cookie else ""
    return send(port, f"GET {path} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n{extra}{headers}\r\n".encode(),
                source=source, timeout=timeout)


def login(port, password, name="dev", source="127.0.0.1", headers=""):
    body = urllib.parse.urlencode({"name": name, "password": password, "next": "/groups"})
    return send(port, (f"POST /login HTTP/1.1\r\nHost: x\r\nConnection: close\r\n{headers}"
                       "Content-Type: application/x-www-form-urlencoded\r\n"
                       f"Content-Length: {len(body)}\r\n\r\n{body}").encode(), source=source)


def cookie_of(answer):
    for line in answer.split(b"\r\n"):
        if line.lower().startswith(b"set-cookie: vmsession="):
            return line.split(b": ", 1)[1].decode()
    return ""


def remote_addresses(server):
    with sqlite3.connect(f"file:{server.database()}?mode=ro", uri=True) as db:
        return [a for (a,) in db.execute("SELECT remote_addr FROM uploads ORDER BY id")]


class Trickle:
    """Clients that each send a request head one line every `every` seconds, from a spread of
    loopback addresses, holding their connections open until stop()."""

    def __init__(self, port, clients, every=3.0, addresses=8):
        self.sockets = []
        for i in range(clients):
            s = socket.create_connection(("127.0.0.1", port), timeout=5,
                                         source_address=(f"127.0.1.{10 + i % addresses}", 0))
            s.sendall(b"GET /login HTTP/1.1\r\n")
            self.sockets.append(s)
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while not self.stopped.wait(3.0):
            for s in self.sockets:
                try:
                    s.sendall(b"X-Slow: 1\r\n")
                except OSError:
                    pass

    def stop(self):
        self.stopped.set()
        self.thread.join()
        for s in self.sockets:
            s.close()


def timed(call):
    start = time.monotonic()
    answer = call()
    return status_of(answer), time.monotonic() - start


class Limits(unittest.TestCase):
    def test_a_chunked_upload_counts_against_the_limit(self):
        server = Server()
        self.addCleanup(server.stop)
        port = server.port
        small = chunked(upload_request("127.0.0.1", port, bug_report_file(report())), piece=333)
        self.assertEqual(status_of(send(port, small)), 200)
        self.assertEqual(counts(server)[:3], (1, 1, 1))
        # 40 MB against the default 16 MB: refused, and nothing of it stored.
        big = chunked(upload_request("127.0.0.1", port, bug_report_file(report(stack="x" * (40 << 20)))))
        answer = send(port, big, timeout=60)
        self.assertEqual(status_of(answer), 413, answer[:200])
        self.assertEqual(counts(server)[:3], (1, 1, 1))

    def test_a_request_must_arrive_whole_within_its_deadline(self):
        server = Server("--request-timeout", "3", "--read-timeout", "2")
        self.addCleanup(server.stop)
        # Never silent for long, but never done: cut off when the deadline of the whole passes.
        start = time.monotonic()
        with socket.create_connection(("127.0.0.1", server.port), timeout=15) as s:
            s.sendall(b"GET /login HTTP/1.1\r\n")
            answer = b""
            while time.monotonic() - start < 12:
                time.sleep(0.5)
                try:
                    s.sendall(b"X-Slow: 1\r\n")
                except OSError:
                    break
                s.setblocking(False)
                try:
                    answer += s.recv(4096)
                except BlockingIOError:
                    pass
                s.setblocking(True)
                if answer:
                    break
        self.assertEqual(status_of(answer), 408, answer)
        self.assertLess(time.monotonic() - start, 8)
        # A body that keeps coming at a fair pace gets time beyond the deadline for its size.
        request = upload_request("127.0.0.1", server.port, bug_report_file(report(stack="y" * 300000)))
        with socket.create_connection(("127.0.0.1", server.port), timeout=15) as s:
            start = time.monotonic()
            for at in range(0, len(request), 20000):
                s.sendall(request[at:at + 20000])
                time.sleep(0.25)
            self.assertGreater(time.monotonic() - start, 3.5)
            self.assertEqual(status_of(s.recv(4096)), 200)

    def test_connections_per_address_are_bounded(self):
        server = Server("--max-connections-per-address", "4")
        self.addCleanup(server.stop)
        held = [socket.create_connection(("127.0.0.1", server.port), source_address=("127.0.0.5", 0)) for _ in range(4)]
        for s in held:
            s.sendall(b"GET / HTTP/1.1\r\n")
        refused = get(server.port, "/login", source="127.0.0.5")
        self.assertEqual(status_of(refused), 503, refused)
        self.assertEqual(status_of(get(server.port, "/login", source="127.0.0.6")), 200)
        held.pop().close()
        time.sleep(0.3)
        self.assertEqual(status_of(get(server.port, "/login", source="127.0.0.5")), 200)
        for s in held:
            s.close()

    def test_uploads_held_in_memory_are_bounded_all_together(self):
        server = Server("--max-upload", "200000", "--max-buffered", "300000")
        self.addCleanup(server.stop)
        first, second = (upload_request("127.0.0.1", server.port, bug_report_file(report(computer=name, stack="s" * 190000)))
                         for name in ("PC-1", "PC-2"))
        with socket.create_connection(("127.0.0.1", server.port), timeout=15) as a:
            a.sendall(first[:-5000])
            time.sleep(0.3)
            # Together over the bound: the upload that comes on top is refused ...
            answer = send(server.port, second[:-5000], timeout=5)
            self.assertEqual(status_of(answer), 503, answer[:200])
            # ... and the one held already goes through.
            a.sendall(first[-5000:])
            self.assertEqual(status_of(a.recv(4096)), 200)
        self.assertEqual(counts(server)[1], 1)

    def test_120_slow_clients_do_not_hold_up_pages_or_uploads(self):
        server = Server()
        self.addCleanup(server.stop)
        port = server.port
        self.assertEqual(status_of(send(port, upload_request("127.0.0.1", port, bug_report_file(report())))), 200)
        cookie = cookie_of(login(port, server.password))
        self.assertTrue(cookie)
        trickle = Trickle(port, 120)
        self.addCleanup(trickle.stop)
        time.sleep(1)
        request = upload_request("127.0.0.1", port, bug_report_file(report(computer="PC-2")))
        for name, call in [("login page", lambda: get(port, "/login", timeout=10)),
                           ("report page", lambda: get(port, "/reports/1", cookie=cookie, timeout=10)),
                           ("upload", lambda: send(port, request, timeout=10))]:
            with self.subTest(name):
                status, seconds = timed(call)
                self.assertEqual(status, 200)
                self.assertLess(seconds, 3)
        self.assertEqual(counts(server)[1], 2)


class BehindAProxy(unittest.TestCase):
    def setUp(self):
        self.server = Server("--trusted-proxy", "127.0.0.1", "--upload-burst", "2", "--uploads-per-second", "0.01")
        self.addCleanup(self.server.stop)

    def upload(self, source, forwarded_for):
        port = self.server.port
        return status_of(send(port, upload_request("127.0.0.1", port, bug_report_file(report(computer=forwarded_for)),
                                                   headers=f"X-Forwarded-For: {forwarded_for}\r\n"), source=source))

    def test_forwarded_for_is_believed_only_from_a_trusted_proxy(self):
        # From an untrusted address the field is the sender's own word: one address, one limit.
        self.assertEqual([self.upload("127.0.0.2", f"198.51.100.{i}") for i in (1, 2, 3)], [200, 200, 429])
        # Through the proxy each real sender has a limit of its own.
        self.assertEqual([self.upload("127.0.0.1", f"198.51.100.{i}") for i in (1, 2, 3)], [200, 200, 200])
        self.assertEqual([self.upload("127.0.0.1", "198.51.100.1") for _ in range(2)], [200, 429])
        self.assertEqual(remote_addresses(self.server),
                         ["127.0.0.2", "127.0.0.2", "198.51.100.1", "198.51.100.2", "198.51.100.3", "198.51.100.1"])

    def test_the_session_cookie_is_secure_over_https(self):
        https = "X-Forwarded-Proto: https\r\n"
        for source, headers, secure in [("127.0.0.1", https, True), ("127.0.0.1", "", False), ("127.0.0.2", https, False)]:
            with self.subTest(source=source, headers=headers):
                cookie = cookie_of(login(self.server.port, self.server.password, source=source, headers=headers))
                self.assertTrue(cookie)
                self.assertEqual("; Secure" in cookie, secure, cookie)

    def test_password_guessing_is_slowed_without_locking_the_developers_out(self):
        port, password = self.server.port, self.server.password

        def attempt(sender, secret):
            answer = login(port, secret, headers=f"X-Forwarded-For: {sender}\r\n")
            return status_of(answer)

        # Five wrong passwords for the account: it is closed to the address that guessed ...
        guesser = "203.0.113.66"
        self.assertEqual([attempt(guesser, f"guess {i}") for i in range(5)], [403] * 5)
        answer = login(port, "guess 6", headers=f"X-Forwarded-For: {guesser}\r\n")
        self.assertEqual(status_of(answer), 429)
        self.assertIn(b"\r\nRetry-After: ", answer)
        self.assertEqual(attempt(guesser, password), 429)  # throttled, even with the right one
        # ... and to any other that failed lately ...
        self.assertEqual([attempt("203.0.113.67", "typo"), attempt("203.0.113.67", password)], [403, 429])
        # ... but a developer elsewhere logs in.
        self.assertEqual(attempt("198.51.100.20", password), 303)
        # Made-up account names are throttled per address all the same.
        self.assertEqual([status_of(login(port, "x", name=f"nobody{i}", headers="X-Forwarded-For: 203.0.113.68\r\n"))
                          for i in range(11)], [403] * 10 + [429])


def listening_ports(pid):
    """The TCP ports the process listens on (from /proc: its sockets' inodes)."""
    inodes = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            link = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        if link.startswith("socket:["):
            inodes.add(link[8:-1])
    with open("/proc/net/tcp") as f:
        rows = [line.split() for line in f.readlines()[1:]]
    return {int(r[1].split(":")[1], 16) for r in rows if r[3] == "0A" and r[9] in inodes}


class Failures(unittest.TestCase):
    def test_the_routes_serve_only_the_intake(self):
        server = Server()
        self.addCleanup(server.stop)
        (routes,) = listening_ports(server.process.pid) - {server.port}
        forged = (f"GET /login HTTP/1.1\r\nHost: x\r\nConnection: close\r\nX-Intake-Sender: 198.51.100.1\r\n"
                  "X-Intake-Key: guess\r\n\r\n").encode()
        self.assertEqual(status_of(send(routes, forged)), 403)
        # Through the door the same request is served, the forged fields dropped.
        self.assertEqual(status_of(send(server.port, forged)), 200)

    def test_a_full_disk_answers_a_plain_500(self):
        def small_files():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (400000, 400000))

        server = Server(preexec_fn=small_files)
        self.addCleanup(server.stop)
        port = server.port
        answer = send(port, upload_request("127.0.0.1", port, bug_report_file(report(stack="z" * 600000))))
        self.assertEqual(status_of(answer), 500, answer[:300])
        self.assertTrue(answer.endswith(b"\r\n\r\ninternal error; nothing was stored\n"), answer[-200:])
        server.log.seek(0)
        self.assertIn("database", server.log.read())
        # Still serving what fits.
        self.assertEqual(status_of(send(port, upload_request("127.0.0.1", port, bug_report_file(report())))), 200)


if __name__ == "__main__":
    unittest.main()
