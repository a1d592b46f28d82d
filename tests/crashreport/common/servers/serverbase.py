"""What the test servers share: a folder through which the test talks to them.

The test starts a server with --dir D. The server listens on 127.0.0.1 on a free port and
writes that port to D/port; it keeps what it received in D; it stops when D/stop appears
(checked every tenth of a second) or after --lifetime seconds, and then writes D/stopped.
A folder works the same for a host test and for a Windows test under Wine, which can start
the server but cannot wait on it.
"""
import argparse
import os
import pathlib
import socket
import threading
import time


def arguments(extra=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--lifetime", type=float, default=120)
    if extra:
        extra(parser)
    return parser.parse_args()


def write_atomic(path, data):
    tmp = path.with_name(path.name + ".tmp")
    tmp.write_bytes(data)
    os.replace(tmp, path)


def serve(folder, handle, lifetime):
    """Accepts connections until told to stop; each one is handled on a thread of its own."""
    folder = pathlib.Path(folder)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    listener.settimeout(0.1)
    write_atomic(folder / "port", str(listener.getsockname()[1]).encode())
    end = time.monotonic() + lifetime
    count = 0
    stop = threading.Event()
    while not (folder / "stop").exists() and time.monotonic() < end:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        count += 1
        conn.settimeout(10)
        threading.Thread(target=handle, args=(conn, folder, count, stop), daemon=True).start()
    stop.set()
    listener.close()
    write_atomic(folder / "stopped", b"")
