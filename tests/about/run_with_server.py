"""Runs a Windows test program under Wine while a real HTTP server on 127.0.0.1 answers it."""
import os
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))
from testserver import Route, Server, closed_port  # noqa: E402

WINE_RUN = str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "wine-run")


def main():
    server = Server()
    ok = b"begin" + b"x" * 9995
    server.routes.update({
        "/ok.txt": Route(ok),
        "/nolength": Route(b"sent without a length", length=False),
        "/short": Route(b"s" * 1000, cut=100),
        "/redirect": Route(b"", 302, {"Location": "/ok.txt"}),
        "/error": Route(b"server broke", 500),
        "/lines": Route(b"a=1\r\nb=2"),
    })
    env = dict(os.environ, VM_HTTP_BASE=server.base, VM_CLOSED_PORT=str(closed_port()))
    try:
        return subprocess.run([WINE_RUN, *sys.argv[1:]], env=env, timeout=240).returncode
    finally:
        server.stop()


if __name__ == "__main__":
    sys.exit(main())
