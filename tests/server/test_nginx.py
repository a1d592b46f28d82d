"""The shipped nginx site (server/deploy/) in front of the real server, over HTTPS with a
throwaway certificate: uploads through it keep their real sender, the size limit holds for
chunked bodies, and a developer logs in with headless chromium and gets a Secure cookie.
nginx runs as the test's own user, with every path inside the test's folder."""
import base64
import os
import shutil
import socket
import sqlite3
import ssl
import subprocess
import tempfile
import time
import unittest

from browser import Browser
from test_intake import chunked
from uploads import Server, bug_report_file, free_port, report, status_of, stop_process, upload_request

DEPLOY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "server", "deploy")
NGINX = shutil.which("nginx") or "/usr/sbin/nginx"


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def certificate(folder):
    """A self-signed certificate for 127.0.0.1, and the hash of its key as chromium pins it."""
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
        "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert)
    der = subprocess.run(["openssl", "x509", "-in", cert, "-pubkey", "-noout"], check=True, capture_output=True).stdout
    der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "der"], input=der, check=True,
                         capture_output=True).stdout
    digest = subprocess.run(["openssl", "dgst", "-sha256", "-binary"], input=der, check=True,
                            capture_output=True).stdout
    return cert, key, base64.b64encode(digest).decode()


def site(folder, upstream, http, https, cert, key):
    """The shipped site with this test's ports, certificate and folders put in."""
    with open(os.path.join(DEPLOY, "reportserver.nginx")) as f:
        text = f.read()
    swaps = [("server 127.0.0.1:8080;", f"server 127.0.0.1:{upstream};"),
             ("listen 80;", f"listen 127.0.0.1:{http};"), ("listen [::]:80;", ""),
             ("listen 443 ssl http2;", f"listen 127.0.0.1:{https} ssl http2;"), ("listen [::]:443 ssl http2;", ""),
             ("/etc/ssl/reportserver/fullchain.pem", cert), ("/etc/ssl/reportserver/privkey.pem", key),
             ("/etc/nginx/snippets/", os.path.abspath(DEPLOY) + "/"),
             ("server_name crashreport.example.com;", "server_name 127.0.0.1;")]
    for old, new in swaps:
        assert old in text, f"the site no longer says {old!r}"
        text = text.replace(old, new)
    path = os.path.join(folder, "site.conf")
    with open(path, "w") as f:
        f.write(text)
    return path


class Nginx:
    def __init__(self, upstream):
        self.folder = tempfile.mkdtemp(prefix="nginx-")
        self.http, self.https = free_port(), free_port()
        self.cert, key, self.pin = certificate(self.folder)
        conf = os.path.join(self.folder, "nginx.conf")
        temp = {name: os.path.join(self.folder, name) for name in ("body", "proxy", "fastcgi", "uwsgi", "scgi")}
        with open(conf, "w") as f:
            f.write(f"""daemon off;
master_process off;
pid {self.folder}/nginx.pid;
error_log {self.folder}/error.log info;
events {{ worker_connections 256; }}
http {{
    access_log {self.folder}/access.log;
    client_body_temp_path {temp['body']};
    proxy_temp_path {temp['proxy']};
    fastcgi_temp_path {temp['fastcgi']};
    uwsgi_temp_path {temp['uwsgi']};
    scgi_temp_path {temp['scgi']};
    include {site(self.folder, upstream, self.http, self.https, self.cert, key)};
}}
""")
        self.process = subprocess.Popen([NGINX, "-p", self.folder, "-c", conf, "-e", f"{self.folder}/error.log"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.https), timeout=1).close()
                return
            except OSError:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("nginx did not start: " + self.log())
                time.sleep(0.1)

    def log(self):
        path = os.path.join(self.folder, "error.log")
        return open(path).read() if os.path.exists(path) else ""

    def stop(self):
        stop_process(self.process)
        shutil.rmtree(self.folder, ignore_errors=True)

    def exchange(self, port, request, tls, source="127.0.0.1"):
        raw = socket.create_connection(("127.0.0.1", port), timeout=30, source_address=(source, 0))
        context = ssl.create_default_context(cafile=self.cert)
        with context.wrap_socket(raw, server_hostname="127.0.0.1") if tls else raw as s:
            s.sendall(request)
            answer = b""
            while piece := s.recv(65536):
                answer += piece
            return answer


class BehindNginx(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server("--trusted-proxy", "127.0.0.1", "--thank-you", "/thanks")
        try:
            cls.nginx = Nginx(cls.server.port)
        except Exception:
            cls.server.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.nginx.stop()
        cls.server.stop()

    def upload(self, port, tls, source, **kwargs):
        request = upload_request("127.0.0.1", port, bug_report_file(report(computer=source, **kwargs)))
        return self.nginx.exchange(port, request, tls, source)

    def test_1_uploads_keep_their_sender_and_scheme(self):
        n = self.nginx
        answer = self.upload(n.https, True, "127.0.0.2")
        self.assertEqual(status_of(answer), 302, answer[:300])
        self.assertIn(f"\r\nLocation: https://127.0.0.1:{n.https}/thanks\r\n".encode(), answer)
        # The reporter's own way: plain HTTP on port 80 is taken for uploads ...
        answer = self.upload(n.http, False, "127.0.0.3", version="1.0.0.8")
        self.assertEqual(status_of(answer), 302, answer[:300])
        self.assertIn(f"\r\nLocation: http://127.0.0.1:{n.http}/thanks\r\n".encode(), answer)
        # ... but the pages move to HTTPS.
        page = n.exchange(n.http, b"GET /login HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", False)
        self.assertEqual(status_of(page), 301)
        with sqlite3.connect(f"file:{self.server.database()}?mode=ro", uri=True) as db:
            self.assertEqual([a for (a,) in db.execute("SELECT remote_addr FROM uploads ORDER BY id")],
                             ["127.0.0.2", "127.0.0.3"])

    def test_2_a_chunked_upload_over_the_limit_is_refused(self):
        n = self.nginx
        big = chunked(upload_request("127.0.0.1", n.https, bug_report_file(report(stack="x" * (20 << 20)))))
        answer = n.exchange(n.https, big, True)
        self.assertEqual(status_of(answer), 413, answer[:300])
        with sqlite3.connect(f"file:{self.server.database()}?mode=ro", uri=True) as db:
            self.assertEqual(db.execute("SELECT COUNT(*) FROM reports WHERE text LIKE '%xxxxxxxx%'").fetchone()[0], 0)

    def test_3_a_developer_logs_in_over_https(self):
        browser = Browser(args=[f"--ignore-certificate-errors-spki-list={self.nginx.pin}"])
        self.addCleanup(browser.quit)
        base = f"https://127.0.0.1:{self.nginx.https}"
        browser.open(base + "/groups")
        self.assertIn("/login", browser.url())
        browser.submit("document.querySelector('[name=name]').value = 'dev';"
                       f"document.querySelector('[name=password]').value = {self.server.password!r};"
                       "document.querySelector('form[action=\"/login\"]').submit()")
        self.assertEqual(browser.url(), base + "/groups")
        self.assertIn("EAccessViolation", browser.text())
        cookies = browser.call("Network.getCookies", urls=[base])["cookies"]
        for name in ("vmsession", "vmlogin"):  # the session's and the login form's
            cookie = [c for c in cookies if c["name"] == name]
            self.assertEqual(len(cookie), 1, cookies)
            self.assertTrue(cookie[0]["secure"])
            self.assertTrue(cookie[0]["httpOnly"])


if __name__ == "__main__":
    unittest.main()
