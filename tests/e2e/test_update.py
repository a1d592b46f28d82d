"""The About dialog's update check end to end: a demonstration program (version 0.9.0.0)
with the check switched on asks a real update server on 127.0.0.1 and downloads to the
desktop. The desktop is moved into the test prefix for the run, so that nothing lands in
the real home. The server plays the attacker too: every way of changing the update file or
the release must be refused with nothing left on the desktop. veilmark.exe itself offers
no check (test_about.py sees its Updates button hidden)."""
import hashlib
import subprocess
import unittest

from harness import BUILD, WINE_RUN, E2ETest, reg_delete, reg_query, screenshot, unix_path, wine
from testserver import KEY, NEXT_KEY, Route, Server, sign, signed_update

DEMO = BUILD / "tests" / "e2e" / "updatedemo.exe"
RELEASE = (BUILD / "tests" / "e2e" / "updatemarker.exe").read_bytes()
SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
SEARCH_FAILED = "An unknown error occured while trying to search for updates:\r\n"
DOWNLOAD_FAILED = "An unknown error occured while trying to download the update:\r\n"
NOTHING = ("Information", "Nothing to update - you're still using the newest version.")
UNTRUSTED = ("Error", "The update information could not be trusted. Nothing has been downloaded.")
SETTINGS = r"HKCU\Software\Quembrix Limited\Update Demo"
# A key of the right size that the program does not know.
STRANGER_KEY = {"n": hex(0xC5 << 2040 | 0x1F), "d": "0x3"}


def refused(name):
    return "Error", f"The download of {name} was refused: it is not the file that the maker signed. Nothing has been kept."


def question(version, install=True):
    return "Confirm", (f"There's a new version, {version}, available.\r\nFaster.\r\n"
                       f"Do you want to download{' and install' if install else ''} it?")


class UpdateTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.server = Server()
        cls.desktop_windows = r"C:\users\Public\UpdateTestDesktop"
        cls.desktop = unix_path(cls.desktop_windows)
        cls.desktop.mkdir(parents=True, exist_ok=True)
        # The value as it was, put back afterwards: "Desktop    REG_EXPAND_SZ    <data>".
        cls.old_desktop = None
        for line in (reg_query(SHELL_FOLDERS, "Desktop") or "").splitlines():
            fields = line.strip().split(None, 2)
            if len(fields) == 3 and fields[0] == "Desktop":
                cls.old_desktop = fields[1:]
        wine("reg", "add", SHELL_FOLDERS, "/v", "Desktop", "/t", "REG_EXPAND_SZ", "/d", cls.desktop_windows, "/f")
        # Where the unverified download waits; it must be gone after every check.
        cls.temp = unix_path(wine("cmd", "/c", "echo %TEMP%").stdout.strip())

    @classmethod
    def tearDownClass(cls):
        if cls.old_desktop:
            wine("reg", "add", SHELL_FOLDERS, "/v", "Desktop", "/t", cls.old_desktop[0], "/d", cls.old_desktop[1], "/f")
        else:
            wine("reg", "delete", SHELL_FOLDERS, "/v", "Desktop", "/f", check=False)
        reg_delete(SETTINGS)
        cls.server.stop()
        super().tearDownClass()

    def setUp(self):
        self.reset()
        self.server.routes.clear()
        self.server.agents.clear()
        self.server.paths.clear()

    def reset(self):
        """An empty desktop, and a program that has accepted no update information yet."""
        for f in self.desktop.iterdir():
            f.unlink()
        reg_delete(SETTINGS)

    def info(self, data):
        self.server.routes["/updates/demo.txt"] = Route(data)

    def update_body(self, **fields):
        """The lines of an update file for this program: `fields` over the usual ones (None leaves one out)."""
        fields = dict(CurrentVersion="1.0.0.0", NotifyText="Faster.", Product="Update Demo",
                      Published="2026-05-01") | fields
        return "".join(f"{k}={v}\r\n" for k, v in fields.items() if v is not None).encode("cp1252")

    def offer(self, path, release, served=None, key=KEY, **fields):
        """Serves `served` (the release itself unless given) at `path`, and returns an update file
        that names the release there with its size, digest and signature, all signed with `key`."""
        self.server.routes[path] = served or Route(release)
        fields = dict(URL=self.server.base + path, Size=len(release), SHA256=hashlib.sha256(release).hexdigest(),
                      Signature=sign(release, key)) | fields
        return signed_update(self.update_body(**fields), key)

    def run_demo(self, base=None, mode="show"):
        base = base or self.server.base + "/updates/"
        proc = subprocess.Popen([WINE_RUN, str(DEMO), base, "demo.txt", mode],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        return proc

    def answer(self, button="OK"):
        """The next message box's caption and text, answered with `button`."""
        box, caption, text = self.driver.msgbox()
        self.driver("press", box, button)
        self.wait_gone(box)
        return caption, text

    def finish(self, proc):
        about = self.driver.wait("TdlgAbout")
        self.driver("close", about)
        self.assertEqual(proc.wait(timeout=30), 0)

    def check(self, info, expected, button="OK", base=None):
        """One check from start to end: `info` served, one message answered with `button`."""
        if info is not None:
            self.info(info)
        proc = self.run_demo(base)
        self.assertEqual(self.answer(button), expected)
        self.finish(proc)

    def assert_nothing_left(self):
        self.assertEqual(list(self.desktop.iterdir()), [], "the desktop is as it was")
        self.assertTrue(self.temp.is_dir(), self.temp)
        self.assertEqual(list(self.temp.glob("vmu*.tmp")), [], "the unverified download is gone")

    def test_genuine_programs_are_started(self):
        cases = [("signed with the current key", "setup.exe", KEY),
                 ("signed with the next key", "update.exe", NEXT_KEY),
                 ("an upper-case extension", "SETUP.EXE", KEY)]
        for name, file_name, key in cases:
            with self.subTest(name):
                self.reset()
                self.info(self.offer(f"/files/{file_name}", RELEASE, key=key))
                proc = self.run_demo()
                self.assertEqual(self.answer("&Yes"), question("1.0.0.0"))
                self.finish(proc)
                self.assertEqual((self.desktop / file_name).read_bytes(), RELEASE)
                self.assertTrue(self.wait_for(self.desktop / f"{file_name}.started"), "the release was started")
        self.assertEqual(self.server.agents[0], "Update Demo", "the product name is the agent")
        accepted = reg_query(SETTINGS, "UpdateAccepted") or ""
        self.assertIn("CurrentVersion=1.0.0.0", accepted)
        self.assertIn("Published=2026-05-01", accepted)

    def test_untrusted_update_information(self):
        genuine = self.offer("/files/setup.exe", RELEASE)
        # An older release that the maker signed, announced as the newest: the only file
        # signature an attacker has is that of another file.
        old = self.offer("/files/setup.exe", RELEASE, CurrentVersion="0.8.0.0", Published="2026-01-01")
        downgrade = (self.update_body(URL=f"{self.server.base}/files/setup.exe", Size=len(RELEASE),
                                      SHA256=hashlib.sha256(RELEASE).hexdigest(), Signature=sign(RELEASE))
                     + old[old.rindex(b"FileSignature="):])
        cases = {
            "unsigned": genuine[:genuine.rindex(b"FileSignature=")],
            "forged notes": genuine.replace(b"Faster.", b"Call us"),
            "signed with another key": signed_update(genuine[:genuine.rindex(b"FileSignature=")], STRANGER_KEY),
            "for another product": self.offer("/files/setup.exe", RELEASE, Product="Other Tool"),
            "an older release announced as newer": downgrade,
            "a signed file with a line added": b"NotifyText=Call us\r\n" + genuine,
        }
        for name, info in cases.items():
            with self.subTest(name):
                self.check(info, UNTRUSTED)
                self.assertNotIn("/files/setup.exe", self.server.paths, "nothing was downloaded")
                self.assert_nothing_left()
        with self.subTest("an error page"):
            self.server.routes["/updates/demo.txt"] = Route(b"<html>Internal error</html>", 500)
            self.check(None, UNTRUSTED)

    def test_replayed_older_file_is_refused(self):
        newest = self.offer("/files/setup.exe", RELEASE, CurrentVersion="1.1.0.0", Published="2026-06-01")
        self.check(newest, question("1.1.0.0"), "&No")
        accepted = reg_query(SETTINGS, "UpdateAccepted") or ""
        self.assertIn("CurrentVersion=1.1.0.0", accepted)
        self.assertIn("Published=2026-06-01", accepted)
        replays = {"an older version": dict(CurrentVersion="1.0.0.0", Published="2026-05-01"),
                   "the same version, published earlier": dict(CurrentVersion="1.1.0.0", Published="2026-05-15")}
        for name, fields in replays.items():
            with self.subTest(name):
                self.check(self.offer("/files/setup.exe", RELEASE, **fields), UNTRUSTED)
                self.assert_nothing_left()
        self.check(newest, question("1.1.0.0"), "&No")  # the newest one stays good

    def test_releases_that_are_not_the_signed_one_are_refused(self):
        flipped = RELEASE[:-1] + bytes([RELEASE[-1] ^ 1])
        cases = [
            ("wrong hash", "setup.exe", RELEASE, Route(flipped), {}),
            ("wrong size: longer", "setup.exe", RELEASE, Route(RELEASE + b"more"), {}),
            ("wrong size: cut short", "setup.exe", RELEASE, Route(RELEASE, cut=len(RELEASE) // 2), {}),
            ("an upper-case extension", "SETUP.EXE", RELEASE, Route(flipped), {}),
            (".msi", "setup.msi", RELEASE, Route(flipped), {}),
            # The digest holds, but a program needs its own signature too.
            (".msi without its own signature", "setup.msi", RELEASE, None, {"Signature": None}),
            ("not a program", "notes.zip", b"PK zip bytes", Route(b"PK zip byteZ"), {}),
        ]
        for name, file_name, release, served, fields in cases:
            with self.subTest(name):
                self.info(self.offer(f"/files/{file_name}", release, served, **fields))
                proc = self.run_demo()
                self.assertEqual(self.answer("&Yes"), question("1.0.0.0", install=release is RELEASE))
                self.assertEqual(self.answer(), refused(file_name))
                self.finish(proc)
                self.assert_nothing_left()

    def test_other_release_is_saved(self):
        self.info(self.offer("/files/notes.zip", b"PK zip bytes"))
        proc = self.run_demo(mode="click")
        about = self.driver.wait("TdlgAbout")
        buttons = {c["text"]: c for c in self.driver.children(about) if c["cls"] == "Button"}
        self.assertTrue(buttons["Updates"]["visible"], "an update name shows the button")
        self.assertEqual(self.server.agents, [], "no check before the click")
        self.driver("click", buttons["Updates"]["hwnd"])
        self.assertEqual(self.answer("&Yes"), question("1.0.0.0", install=False))
        self.driver.msgbox()  # on screen before the picture is taken
        screenshot("update-saved")
        self.assertEqual(self.answer(), ("Information",
                                         "The update has been downloaded and saved as notes.zip on your desktop."))
        self.finish(proc)
        self.assertEqual((self.desktop / "notes.zip").read_bytes(), b"PK zip bytes")

    def test_answering_no_writes_nothing(self):
        self.check(self.offer("/files/setup.exe", RELEASE), question("1.0.0.0"), "&No")
        self.assertEqual(list(self.desktop.iterdir()), [])
        self.assertEqual(self.server.paths[-1], "/updates/demo.txt", "the release was never asked for")

    def test_versions(self):
        cases = [
            ("0.10 is after 0.9", self.offer("/files/setup.exe", RELEASE, CurrentVersion="0.10.0.0"),
             question("0.10.0.0"), "&No"),
            ("newer, no URL, the key in small letters",
             signed_update(self.update_body(CurrentVersion=None, NotifyText="See the site.", currentversion="1.0.0.0")),
             ("Warning", "There's a new version, 1.0.0.0, available.\r\nSee the site."), "OK"),
            ("same version", self.offer("/files/setup.exe", RELEASE, CurrentVersion="0.9.0.0"), NOTHING, "OK"),
            ("an older release", self.offer("/files/setup.exe", RELEASE, CurrentVersion="0.8.0.0"), NOTHING, "OK"),
            ("no version line", signed_update(self.update_body(CurrentVersion=None)), NOTHING, "OK"),
        ]
        for name, info, expected, button in cases:
            with self.subTest(name):
                self.reset()
                self.check(info, expected, button)
                self.assertEqual(list(self.desktop.iterdir()), [])

    def test_search_failures(self):
        self.check(None, ("Error", SEARCH_FAILED + "File not found on server!"))  # nothing served: 404
        self.check(None, ("Error", SEARCH_FAILED + "Could not find server!"), base="http://no-such-host.invalid/updates/")

    def test_target_that_cannot_be_created(self):
        cases = [("no file name", "/files/", ""),
                 ("a name that leaves the desktop", "/files/..\\escaped.zip", "..\\escaped.zip")]
        for name, path, file_name in cases:
            with self.subTest(name):
                self.info(self.offer(path, b"bytes"))
                proc = self.run_demo()
                self.assertEqual(self.answer("&Yes")[0], "Confirm")
                caption, text = self.answer()
                self.assertEqual(caption, "Error")
                prefix = f'{DOWNLOAD_FAILED}Cannot create file "{self.desktop_windows}\\{file_name}". '
                self.assertTrue(text.startswith(prefix), text)
                self.finish(proc)
                self.assertFalse((self.desktop.parent / "escaped.zip").exists())
                self.assertNotIn(path, self.server.paths, "refused before anything was downloaded")
        self.assert_nothing_left()

    def test_failed_release_download(self):
        self.info(self.offer("/files/gone.zip", b"bytes", Route(b"not here", 404)))
        proc = self.run_demo()
        self.answer("&Yes")
        self.assertEqual(self.answer(), ("Error", DOWNLOAD_FAILED + "File not found on server!"))
        self.finish(proc)
        self.assert_nothing_left()

    def wait_for(self, path, seconds=15):
        for _ in range(seconds * 10):
            if path.exists():
                return True
            self.driver("sleep", 100)
        return False


if __name__ == "__main__":
    unittest.main()
