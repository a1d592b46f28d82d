"""Byte-exact uploads as Veilmark's reporter sends them, and a server started for a test.

The request is written by hand over a plain socket, header lines and multipart parts in the
reporter's order, so that the server is tested against the bytes it will really receive.
"""
import os
import socket
import subprocess
import tempfile
import time
import zlib
import struct

BOUNDARY = "ZtpxBoundary7d2f9c0e41"
SERVER = os.environ.get("REPORTSERVER", "")


def report(computer="OFFICE-PC", crc="$0a1b2c3d, $4e5f6071, $8293a4b5", klass="EAccessViolation",
           message="Access violation at address 0040A1B2 in module 'veilmark.exe'. Read of address 00000000",
           version="1.0.0.7", count=None, when="2026-12-10, 09:15:02, 250ms", user="anna",
           contact_email="", contact_name="", executable="veilmark.exe", stack="main"):
    """One report in the program's text layout: padded labels, then the thread sections."""
    header = [("date/time", when), ("computer name", computer), ("user name", user),
              ("operating system", "Windows 10 Pro build 19045"), ("executable", executable)]
    if version:
        header.append(("version", version))
    if contact_name:
        header.append(("contact name", contact_name))
    if contact_email:
        header.append(("contact email", contact_email))
    header += [("Zentrapix version", "3.0h"), ("callstack crc", crc)]
    if count is not None:
        header.append(("count", str(count)))
    header.append(("exception number", "1"))
    if klass:
        header.append(("exception class", klass))
    if message:
        header.append(("exception message", message))
    width = max(len(name) for name, _ in header) + 1
    text = "\r\n".join(name.ljust(width) + ": " + value for name, value in header)
    text += ("\r\n\r\nmain thread ($1a2c):\r\n0040a1b2 +012 veilmark.exe ClientIdFile.cpp  88 +3 "
             + stack + "\r\n00401010 +000 veilmark.exe main.cpp           12 +1 WinMain")
    return text.encode("latin-1")


def bug_report_file(*reports):
    """The bug-report file: each report followed by CR LF CR LF."""
    return b"".join(r + b"\r\n\r\n" for r in reports)


def png(width=4, height=3):
    """A small valid PNG (8-bit grey)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes([(x * 60 + y * 20) & 255 for x in range(width)]) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def upload_request(host, port, bugreport, screenshot=None, fields=None, path="/submit.php",
                   content_length=None, sender=None, boundary=BOUNDARY, headers=""):
    """The request bytes: header block, then field parts, attachment parts and the closing line."""
    fields = fields if fields is not None else [("MailFrom", "Anna <anna@example.com>"),
                                                ("MailSubject", "bug report"),
                                                ("MailBody", "please find the bug report attached")]
    body = b""
    for name, value in fields:
        body += (f"\r\n--{boundary}\r\nContent-Disposition: form-data; name=\"{name}\"\r\n\r\n").encode() + value.encode("latin-1")
    attachments = [("BugReport", "bugreport.txt", bugreport)]
    if screenshot is not None:
        attachments.append(("ScreenShot", "screenshot.png", screenshot))
    for name, filename, data in attachments:
        if not data:
            continue  # an empty file is not sent at all
        body += (f"\r\n--{boundary}\r\nContent-Disposition: form-data; name=\"{name}\"; filename=\"{filename}\"\r\n"
                 "Content-Type: application/octet-stream\r\n\r\n").encode() + data
    body += f"\r\n--{boundary}--\r\n".encode()
    # The first part's leading CR LF ends the header block; the body starts after it.
    assert body.startswith(b"\r\n")
    content = body[2:]
    length = len(content) if content_length is None else content_length
    head = (f"POST {path} HTTP/1.1\r\nHost: {host}:{port}\r\nConnection: close\r\nPragma: no-cache\r\n"
            "User-Agent: Zentrapix/3.0\r\n"
            f"Content-Type: multipart/form-data; boundary={boundary}\r\nContent-Length: {length}\r\n")
    if sender:
        head += f"From: <{sender}>\r\n"
    return (head + headers).encode() + body


def send(port, request, source="127.0.0.1", timeout=15, pause_after=None):
    """Sends the request in pieces of 1024 bytes and reads the answer (bounded in time)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout, source_address=(source, 0)) as s:
        end = len(request) if pause_after is None else pause_after
        for at in range(0, end, 1024):
            s.sendall(request[at:min(at + 1024, end)])
        answer = b""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                piece = s.recv(65536)
            except (ConnectionResetError, socket.timeout):
                break
            if not piece:
                break
            answer += piece
        return answer


def status_of(answer):
    line = answer.split(b"\r\n", 1)[0].split()
    return int(line[1]) if len(line) > 1 else 0


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stop_process(process, grace=10):
    """Asks the process to end, and ends it when it has not within `grace` seconds."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Server:
    """The real server on a free port of 127.0.0.1 with a database of its own, or on the
    PostgreSQL `database` that it may share with others; stopped by stop()."""

    def __init__(self, *args, account="dev", database=None, preexec_fn=None):
        self.folder = tempfile.mkdtemp(prefix="reportserver-")
        self.port = free_port()
        store = ["--database", database] if database else ["--data", self.folder]
        command = [SERVER, *store, "--host", "127.0.0.1", "--port", str(self.port)]
        command += (["--first-account", account] if account else []) + list(args)
        self.log = open(os.path.join(self.folder, "server.log"), "w+")
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self.log, text=True,
                                        preexec_fn=preexec_fn)
        self.password = None
        for _ in range(2):
            line = self.process.stdout.readline()
            if "password:" in line:
                self.password = line.rsplit(" ", 1)[1].strip()
            if line.startswith("listening"):
                return
        self.stop()
        raise RuntimeError("server did not start")

    def database(self):
        return os.path.join(self.folder, "reports.sqlite")

    def stop(self):
        stop_process(self.process)
        self.process.stdout.close()
        self.log.close()
