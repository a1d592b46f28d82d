#!/usr/bin/env python3
"""The crash-report upload server of the tests: accepts "POST /submit.php" multipart bodies.

--answer picks the reply: 200; 100-200 (an interim 100, then 200, in one write);
100-split (the 100 alone, the 200 a moment later); 302 (with --location); 500; silent
(reads the request, answers nothing and holds the connection); close (reads the first
bytes of the request, keeps them and closes without an answer). --delay holds every answer back for
that many seconds, so that a test can look at the sender's progress box meanwhile.
Each request is kept as D/request-N.bin, its raw bytes; a request whose body came in whole
is also decoded: D/request-N.field.NAME (a field's value), D/request-N.file.NAME (an
attachment's bytes) and D/request-N.filename.NAME (its file name). Once a connection is
over, D/request-N.size holds how many bytes of request came (0: nothing was sent).
--tls KIND serves TLS with a throwaway certificate for --tls-name (testpki.py names the
kinds), issued by the test CA of --ca-dir (default D): its ca.der is there before D/port.
"""
import pathlib
import re
import ssl
import time

import serverbase
import testpki


def options(parser):
    parser.add_argument("--answer", default="200")
    parser.add_argument("--location", default="http://127.0.0.1/thanks.html")
    parser.add_argument("--delay", type=float, default=0)
    parser.add_argument("--tls", choices=testpki.KINDS)
    parser.add_argument("--tls-name", default="localhost")
    parser.add_argument("--ca-dir")


ARGS = serverbase.arguments(options)


def tls_context():
    if not ARGS.tls:
        return None
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    folder = pathlib.Path(ARGS.dir)
    context.load_cert_chain(*testpki.make(folder, ARGS.tls, ARGS.tls_name, pathlib.Path(ARGS.ca_dir or folder)))
    return context


TLS = tls_context()


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
    data = b""
    try:
        if TLS:
            conn = TLS.wrap_socket(conn, server_side=True)
        data = answer(conn, folder, number, stop)
    except OSError:  # ssl.SSLError among them: a client that refused the certificate
        pass
    finally:
        conn.close()
        serverbase.write_atomic(folder / f"request-{number}.size", str(len(data)).encode())


def answer(conn, folder, number, stop):
    """Reads one request, keeps it and answers as --answer says; returns the request's bytes."""
    if ARGS.answer == "close":
        data = conn.recv(64)
        serverbase.write_atomic(folder / f"request-{number}.bin", data)
        return data
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
        return data
    for i, piece in enumerate(answers[ARGS.answer]):
        if i:
            time.sleep(0.3)
        conn.sendall(piece)
    return data


serverbase.serve(ARGS.dir, handle, ARGS.lifetime)
