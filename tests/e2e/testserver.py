"""A real HTTP server on 127.0.0.1 for the download and update tests, on a free port.

Routes map a path to (status, headers, body); a body may be cut short with "cut" (the
connection closes after that many bytes), and every request's User-Agent is kept.
"""
import hashlib
import http.server
import json
import pathlib
import socket
import threading

KEYS = pathlib.Path(__file__).parent / "updatedemo"
KEY = json.loads((KEYS / "test_key.json").read_text())
NEXT_KEY = json.loads((KEYS / "test_key_next.json").read_text())
SHA256_PREFIX = bytes.fromhex("3031300d060960864801650304020105000420")


def sign(data, key=KEY):
    """PKCS #1 v1.5 signature over SHA-256, most significant byte first, in hexadecimal."""
    n, d = int(key["n"], 16), int(key["d"], 16)
    size = (n.bit_length() + 7) // 8
    digest = SHA256_PREFIX + hashlib.sha256(data).digest()
    block = b"\x00\x01" + b"\xff" * (size - len(digest) - 3) + b"\x00" + digest
    return pow(int.from_bytes(block, "big"), d, n).to_bytes(size, "big").hex()


def signed_update(body, key=KEY):
    """An update file: `body` (bytes) and the line that signs every byte of it."""
    return body + b"FileSignature=" + sign(body, key).encode() + b"\r\n"


def closed_port():
    """A port on 127.0.0.1 that nothing listens on."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Route:
    def __init__(self, body=b"", status=200, headers=None, length=True, cut=None):
        self.body, self.status, self.headers, self.length, self.cut = body, status, headers or {}, length, cut


class Server:
    def __init__(self):
        self.routes = {}
        self.agents = []
        self.paths = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def do_GET(self):
                server.agents.append(self.headers.get("User-Agent"))
                server.paths.append(self.path)
                route = server.routes.get(self.path, Route(b"not here", 404))
                if self.path == "/echo-agent":
                    route = Route(self.headers.get("User-Agent", "").encode())
                self.send_response(route.status)
                for name, value in route.headers.items():
                    self.send_header(name, value)
                if route.length:
                    self.send_header("Content-Length", str(len(route.body)))
                self.end_headers()
                self.wfile.write(route.body[:route.cut] if route.cut is not None else route.body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.base = f"http://127.0.0.1:{self.port}"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()
