#!/usr/bin/env python3
"""A proxy of the tests that opens "CONNECT" tunnels and relays their bytes both ways.

Each tunnel's request head is kept as D/connect-N.bin and the bytes the client sent through
it as D/tunnel-N.bin (written when the tunnel closes), so that a test can see what the proxy
could read. --refuse STATUS answers every CONNECT with that status instead.
"""
import select
import socket

import serverbase


def options(parser):
    parser.add_argument("--refuse", type=int)


ARGS = serverbase.arguments(options)


def relay(client, server):
    """Carries bytes until either side closes; returns what the client sent."""
    sent = b""
    ends = {client: server, server: client}
    while True:
        ready, _, _ = select.select(list(ends), [], [], 10)
        if not ready:
            return sent
        for side in ready:
            data = side.recv(65536)
            if not data:
                return sent
            if side is client:
                sent += data
            ends[side].sendall(data)


def handle(conn, folder, number, stop):
    with conn:
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = conn.recv(4096)
            if not chunk:
                return
            head += chunk
        serverbase.write_atomic(folder / f"connect-{number}.bin", head)
        if ARGS.refuse:
            conn.sendall(b"HTTP/1.1 %d Refused\r\nContent-Length: 0\r\n\r\n" % ARGS.refuse)
            return
        host, _, port = head.split(b" ")[1].decode().rpartition(":")
        with socket.create_connection((host, int(port)), timeout=10) as server:
            conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            sent = relay(conn, server)
        serverbase.write_atomic(folder / f"tunnel-{number}.bin", sent)


serverbase.serve(ARGS.dir, handle, ARGS.lifetime)
