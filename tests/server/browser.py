"""Debian's headless chromium, driven over its DevTools socket with nothing but the standard
library: the page tests log in through the real form and take screenshots as a user sees them."""
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import urllib.request

from uploads import stop_process

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"


def read(path):
    with open(path) as f:
        return f.read()


class WebSocket:
    """Just enough of RFC 6455 for DevTools: masked text frames out, text frames in."""

    def __init__(self, url, timeout=30):
        host_port, path = url[len("ws://"):].split("/", 1)
        host, port = host_port.split(":")
        self.sock = socket.create_connection((host, int(port)), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /{path} HTTP/1.1\r\nHost: {host_port}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
        answer = b""
        while b"\r\n\r\n" not in answer:
            piece = self.sock.recv(4096)
            if not piece:
                raise RuntimeError("DevTools refused the socket")
            answer += piece
        if b" 101 " not in answer.split(b"\r\n", 1)[0]:
            raise RuntimeError(answer.decode(errors="replace"))
        self.buffer = answer.split(b"\r\n\r\n", 1)[1]

    def send(self, text):
        data = text.encode()
        mask = os.urandom(4)
        n = len(data)
        head = bytes([0x81]) + (bytes([0x80 | n]) if n < 126 else bytes([0x80 | 126]) + struct.pack(">H", n)
                                if n < 65536 else bytes([0x80 | 127]) + struct.pack(">Q", n))
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def _read(self, n):
        while len(self.buffer) < n:
            piece = self.sock.recv(1 << 20)
            if not piece:
                raise RuntimeError("DevTools closed the socket")
            self.buffer += piece
        out, self.buffer = self.buffer[:n], self.buffer[n:]
        return out

    def receive(self):
        message = b""
        while True:
            b0, b1 = self._read(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._read(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._read(8))[0]
            message += self._read(n)
            if b0 & 0x80:
                return message.decode()

    def close(self):
        self.sock.close()


class Browser:
    def __init__(self, width=1100, height=800, args=()):
        self.profile = tempfile.mkdtemp(prefix="chromium-profile-")
        self.process = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             f"--user-data-dir={self.profile}", "--remote-debugging-address=127.0.0.1",
             "--remote-debugging-port=0", f"--window-size={width},{height}", *args, "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + 30
        while not (os.path.exists(port_file) and read(port_file).strip()):
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.quit()
                raise RuntimeError("chromium did not start")
            time.sleep(0.1)
        port = int(read(port_file).split()[0])
        deadline = time.monotonic() + 30
        while True:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=10) as r:
                pages = [p for p in json.load(r) if p.get("type") == "page"]
            if pages or time.monotonic() > deadline:
                break
            time.sleep(0.1)
        self.ws = WebSocket(pages[0]["webSocketDebuggerUrl"])
        self.next_id = 0
        self.call("Page.enable")

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            message = json.loads(self.ws.receive())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            if message.get("method") == "Page.loadEventFired":
                self.loaded = True
        raise TimeoutError(method)

    def wait_loaded(self):
        deadline = time.monotonic() + 30
        while not self.loaded and time.monotonic() < deadline:
            message = json.loads(self.ws.receive())
            if message.get("method") == "Page.loadEventFired":
                self.loaded = True
        if not self.loaded:
            raise TimeoutError("page did not load")

    def open(self, url):
        self.loaded = False
        self.call("Page.navigate", url=url)
        self.wait_loaded()

    def evaluate(self, expression):
        return self.call("Runtime.evaluate", expression=expression, returnByValue=True)["result"].get("value")

    def submit(self, form_script):
        """Runs a script that submits a form, and waits for the page it leads to."""
        self.loaded = False
        self.evaluate(form_script)
        self.wait_loaded()

    def url(self):
        return self.evaluate("location.href")

    def text(self):
        return self.evaluate("document.body.innerText")

    def screenshot(self, path, full_page=True):
        params = {"format": "png"}
        if full_page:
            size = self.call("Page.getLayoutMetrics")["cssContentSize"]
            params["clip"] = {"x": 0, "y": 0, "width": size["width"], "height": min(size["height"], 4000), "scale": 1}
            params["captureBeyondViewport"] = True
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("Page.captureScreenshot", **params)["data"]))

    def quit(self):
        if getattr(self, "ws", None):
            self.ws.close()
        stop_process(self.process)
        shutil.rmtree(self.profile, ignore_errors=True)
