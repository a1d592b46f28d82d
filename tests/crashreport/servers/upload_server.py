#!/usr/bin/env python3
"""The crash-report upload server of the tests: accepts "POST /submit.php" multipart bodies.

--answer picks the reply: 200; 100-200 (an interim 100, then 200, in one write);
100-split (the 100 alone, the 200 a moment later); 302 (with --location); 500; silent
(reads the request, answers nothing and holds the connection); close (reads the first
bytes of the request and closes without an answer). --delay holds every answer back for
that many seconds, so that a test can look at the sender's progress box meanwhile.
Each request is kept as D/request-N.bin, its raw bytes; a request whose body came in whole
is also decoded: D/request-N.field.NAME (a field's value), D/request-N.file.NAME (an
attachment's bytes) and D/request-N.filename.NAME (its file name).
"""
import re
import time

import serverbase


def options(parser):
    parser.add_argument("--answer", default="200")
    parser.add_argument("--location", default="http://127.0.0.1/thanks.html")
    parser.add_argument("--delay", type=float, default=0)


ARGS = serverbase.arguments(options)


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return data, False
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    match = re.search(rb"\r\nContent-Length: *(\d+)", head, re.I)
    if not match:
        return data, False
    want = len(head) + 4 + int(match.group(1))
    while len(data) < want:
        chunk = conn.recv(65536)
        if not chunk:
            return data, False
        data += chunk
    return data, len(data) == want


def decode(folder, number, data):
    # The empty line that ends the header block is the first part's leading CR LF.
    head_end = data.index(b"\r\n\r\n") + 2
    head, body = data[:head_end], data[head_end:]
    boundary = re.search(rb"boundary=([^\r\n;]+)", head).group(1)
    for part in body.split(b"\r\n--" + boundary)[1:]:
        if part.startswith(b"--"):
            break
        headers, _, content = part[2:].partition(b"\r\n\r\n")
        name = re.search(rb'name="([^"]*)"', headers).group(1).decode("latin-1")
        filename = re.search(rb'filename="([^"]*)"', headers)
        prefix = f"request-{number}"
        if filename:
            serverbase.write_atomic(folder / f"{prefix}.file.{name}", content)
            serverbase.write_atomic(folder / f"{prefix}.filename.{name}", filename.group(1))
        else:
            serverbase.write_atomic(folder / f"{prefix}.field.{name}", content)


def handle(conn, folder, number, stop):
    with conn:
        if ARGS.answer == "close":
            conn.recv(64)
            return
        try:
            data, whole = read_request(conn)
        except OSError:
            data, whole = b"", False
        if whole:
            decode(folder, number, data)
        serverbase.write_atomic(folder / f"request-{number}.bin", data)
        answers = {
            "200": [b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK"],
            "100-200": [b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK"],
            "100-split": [b"HTTP/1.1 100 Continue\r\n\r\n", b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK"],
            "302": [b"HTTP/1.1 302 Found\r\nLocation: " + ARGS.location.encode() + b"\r\nContent-Length: 0\r\n\r\n"],
            "500": [b"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"],
        }
        if ARGS.delay:
            stop.wait(ARGS.delay)
        if ARGS.answer == "silent":
            stop.wait(30)
            return
        for i, piece in enumerate(answers[ARGS.answer]):
            if i:
                time.sleep(0.3)
            conn.sendall(piece)


serverbase.serve(ARGS.dir, handle, ARGS.lifetime)
