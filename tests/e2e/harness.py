"""Drives the real veilmark.exe under Wine from outside, as a user would.

The driver program (tools/driver) runs under the same Wine and answers one line per
command; this module starts the program and the driver, maps Windows paths into the
prefix, reads the registry with Wine's reg.exe and saves screenshots as test artifacts.
"""
import os
import pathlib
import subprocess
import time
import unittest

BUILD = pathlib.Path(os.environ["VM_BUILD"])
SOURCE = pathlib.Path(__file__).resolve().parents[2]
WINE_RUN = str(SOURCE / "tools" / "wine-run")
STATE = pathlib.Path(os.environ.get("VM_WINE_STATE", BUILD / "wine"))
PREFIX = STATE / "prefix"
ARTIFACTS = pathlib.Path(os.environ.get("VM_ARTIFACTS", BUILD / "test-artifacts"))
VEILMARK = BUILD / "app" / "veilmark.exe"
DRIVER = BUILD / "tools" / "vmdriver.exe"
CHROME_STANDIN = BUILD / "tests" / "e2e" / "chromestandin.exe"


class DriverError(Exception):
    pass


def unescape(text):
    """Undoes the driver's escaping of backslash, tab, CR and LF in texts."""
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "r": "\r", "n": "\n"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


class Driver:
    """One long-lived driver process: a Wine process start costs more than a command."""

    def __init__(self):
        self.proc = subprocess.Popen([WINE_RUN, str(DRIVER)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, encoding="cp1252", errors="replace", bufsize=1)

    def __call__(self, *fields):
        self.proc.stdin.write("\t".join(str(f) for f in fields) + "\n")
        self.proc.stdin.flush()
        lines = [self.proc.stdout.readline().rstrip("\n")]
        if fields[0] == "children" and lines[0].startswith("ok"):
            while lines[-1] != "end":
                lines.append(self.proc.stdout.readline().rstrip("\n"))
            lines.pop()
        status, _, rest = lines[0].partition("\t")
        if status != "ok":
            raise DriverError(f"{fields[0]}: {rest or 'driver ended'}")
        return "\n".join([rest] + lines[1:])

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)

    # Conveniences over the raw commands.
    def wait(self, cls="*", title="*", ms=30000):
        return self("wait", cls, title, ms)

    def children(self, hwnd):
        rows = []
        for line in self("children", hwnd).splitlines():
            if not line:
                continue
            h, cls, ident, enabled, visible, text = (line.split("\t") + [""] * 6)[:6]
            rows.append(dict(hwnd=h, cls=cls, id=int(ident), enabled=enabled == "1", visible=visible == "1",
                             text=unescape(text)))
        return rows

    def child(self, hwnd, cls, text="*"):
        return self("child", hwnd, cls, text)

    def items(self, hwnd):
        fields = self("items", hwnd).split("\t")
        return [unescape(f) for f in fields[1:]] if int(fields[0]) else []

    def text(self, hwnd):
        return unescape(self("text", hwnd))

    def enabled(self, hwnd):
        return self("state", hwnd).split("\t")[0] == "1"

    def rect(self, hwnd):
        return [int(v) for v in self("rect", hwnd).split("\t")]

    def msgbox(self, ms=30000):
        hwnd, caption, text = (self("msgbox", ms).split("\t") + ["", ""])[:3]
        return hwnd, unescape(caption), unescape(text)


def wine(*args, check=True):
    return subprocess.run([WINE_RUN, *args], capture_output=True, text=True, encoding="cp1252",
                          errors="replace", check=check, timeout=120)


def unix_path(windows_path):
    """A path of the prefix's C: drive as seen from Linux."""
    drive, _, rest = windows_path.partition(":")
    assert drive.upper() == "C", windows_path
    return PREFIX / "drive_c" / rest.strip("\\").replace("\\", "/")


def screenshot(name):
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    path = ARTIFACTS / f"{name}.png"
    subprocess.run([WINE_RUN, "--screenshot", str(path)], check=True, capture_output=True, timeout=60)
    return path


def keys(*names):
    """Presses keys on the test display, as a user at the keyboard would (xdotool names)."""
    display = ":" + (STATE / "display").read_text().strip()
    subprocess.run(["xdotool", "key", "--delay", "100", *names], check=True, timeout=30,
                   env=dict(os.environ, DISPLAY=display))


def reg_query(key, value=None):
    """The data of a registry value as reg.exe prints it, or None when it is missing."""
    args = ["reg", "query", key] + (["/v", value] if value else [])
    out = wine(*args, check=False)
    if out.returncode != 0:
        return None
    return out.stdout


def reg_delete(key):
    wine("reg", "delete", key, "/f", check=False)


class Program:
    """veilmark.exe started under Wine; ended by the test or killed at tear-down."""

    def __init__(self, driver, exe=VEILMARK):
        self.driver = driver
        self.proc = subprocess.Popen([WINE_RUN, str(exe)], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)

    def wait_exit(self, timeout=30):
        return self.proc.wait(timeout=timeout)

    def running(self):
        return self.proc.poll() is None

    def kill(self):
        if self.running():
            self.proc.kill()
            self.proc.wait(timeout=30)
            # Wine's process lives on in the server; end it from inside too.
            wine("taskkill", "/f", "/im", "veilmark.exe", check=False)


class ChromeStandIn:
    """A process that holds Chrome's lock file as a running Chrome does, until it ends."""

    def __init__(self, windows_lockfile):
        self.proc = subprocess.Popen([WINE_RUN, str(CHROME_STANDIN), windows_lockfile], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline().strip()
        if line != "ready":
            self.proc.kill()
            raise DriverError(f"the Chrome stand-in did not start: {line!r}")

    def end(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.wait(timeout=60)
            self.proc.stdout.close()


def local_state_path(driver):
    """Chrome's file in the prefix's local application-data folder: Linux and Windows paths."""
    folder = driver("folder", 28)
    return (unix_path(folder) / "Google" / "Chrome" / "User Data" / "Local State",
            folder + r"\Google\Chrome\User Data\Local State")


SAMPLE_LOCAL_STATE = b'{"client_id": "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"}'


class E2ETest(unittest.TestCase):
    """Base class: one driver for the class, a fresh program per test."""

    @classmethod
    def setUpClass(cls):
        cls.driver = Driver()

    @classmethod
    def tearDownClass(cls):
        cls.driver.close()

    def start(self, exe=VEILMARK):
        program = Program(self.driver, exe)
        self.addCleanup(program.kill)
        return program

    def install_local_state(self, data=SAMPLE_LOCAL_STATE):
        """Puts a Chrome file in place for this test; it is removed afterwards."""
        path, _ = local_state_path(self.driver)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        self.addCleanup(lambda: path.exists() and path.unlink())
        return path

    def wait_gone(self, hwnd, ms=30000):
        self.driver("gone", hwnd, ms)
