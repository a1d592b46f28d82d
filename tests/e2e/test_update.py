"""The About dialog's update check end to end: a demonstration program with the check
switched on asks a real update server on 127.0.0.1 and downloads to the desktop. The
desktop is moved into the test prefix for the run, so that nothing lands in the real home.
veilmark.exe itself offers no check (test_about.py sees its Updates button hidden)."""
import subprocess
import unittest

from harness import BUILD, WINE_RUN, E2ETest, reg_query, screenshot, unix_path, wine
from testserver import Route, Server, sign

DEMO = BUILD / "tests" / "e2e" / "updatedemo.exe"
RELEASE = (BUILD / "tests" / "e2e" / "updatemarker.exe").read_bytes()
SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
SEARCH_FAILED = "An unknown error occured while trying to search for updates:\r\n"
DOWNLOAD_FAILED = "An unknown error occured while trying to download the update:\r\n"


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

    @classmethod
    def tearDownClass(cls):
        if cls.old_desktop:
            wine("reg", "add", SHELL_FOLDERS, "/v", "Desktop", "/t", cls.old_desktop[0], "/d", cls.old_desktop[1], "/f")
        else:
            wine("reg", "delete", SHELL_FOLDERS, "/v", "Desktop", "/f", check=False)
        cls.server.stop()
        super().tearDownClass()

    def setUp(self):
        for f in self.desktop.iterdir():
            f.unlink()
        self.server.routes.clear()
        self.server.agents.clear()

    def info(self, text):
        self.server.routes["/updates/demo.txt"] = Route(text.encode("cp1252"))

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

    def check(self, info, expected_caption, expected_text, button="OK", base=None):
        if info is not None:
            self.info(info)
        proc = self.run_demo(base)
        self.assertEqual(self.answer(button), (expected_caption, expected_text))
        self.finish(proc)

    def serve_release(self, path, data, signature):
        self.server.routes[path] = Route(data)
        return f"CurrentVersion=1.0.0.0\r\nNotifyText=Faster.\r\nURL={self.server.base}{path}\r\nSignature={signature}\r\n"

    def test_signed_program_is_downloaded_and_started(self):
        self.info(self.serve_release("/files/setup.exe", RELEASE, sign(RELEASE)))
        proc = self.run_demo()
        caption, text = self.answer("&Yes")
        self.assertEqual((caption, text), ("Confirm", "There's a new version, 1.0.0.0, available.\r\nFaster.\r\n"
                                                      "Do you want to download and install it?"))
        self.assertEqual(self.server.agents[0], "Update Demo", "the product name is the agent")
        self.finish(proc)
        self.assertEqual((self.desktop / "setup.exe").read_bytes(), RELEASE)
        self.assertTrue(self.wait_for(self.desktop / "setup.exe.started"), "the release was started")

    def test_forged_program_is_kept_but_never_started(self):
        forged = RELEASE + b"\0tampered"
        cases = {
            "signature of another file": sign(RELEASE),
            "no signature": "",
            "garbage": "zz" * 256,
            "signed with another key": sign(forged, {"n": hex(0xC5 << 2040 | 0x1F), "d": "0x3"}),
        }
        for name, signature in cases.items():
            with self.subTest(name):
                for f in self.desktop.iterdir():
                    f.unlink()
                self.info(self.serve_release("/files/setup.exe", forged, signature))
                proc = self.run_demo()
                self.assertEqual(self.answer("&Yes")[0], "Confirm")
                caption, text = self.answer()
                self.assertEqual((caption, text), (
                    "Warning", "The update has been downloaded and saved as setup.exe on your desktop, but it was "
                               "not started: its signature could not be verified."))
                self.finish(proc)
                self.assertEqual((self.desktop / "setup.exe").read_bytes(), forged)
                self.assertFalse(self.wait_for(self.desktop / "setup.exe.started", 3), "a forged program ran")

    def test_other_release_is_saved(self):
        self.info(self.serve_release("/files/notes.zip", b"PK zip bytes", ""))
        proc = self.run_demo(mode="click")
        about = self.driver.wait("TdlgAbout")
        buttons = {c["text"]: c for c in self.driver.children(about) if c["cls"] == "Button"}
        self.assertTrue(buttons["Updates"]["visible"], "an update name shows the button")
        self.assertEqual(self.server.agents, [], "no check before the click")
        self.driver("click", buttons["Updates"]["hwnd"])
        self.assertEqual(self.answer("&Yes"), ("Confirm", "There's a new version, 1.0.0.0, available.\r\nFaster.\r\n"
                                                          "Do you want to download it?"))
        self.driver.msgbox()  # on screen before the picture is taken
        screenshot("update-saved")
        self.assertEqual(self.answer(), ("Information",
                                         "The update has been downloaded and saved as notes.zip on your desktop."))
        self.finish(proc)
        self.assertEqual((self.desktop / "notes.zip").read_bytes(), b"PK zip bytes")

    def test_upper_case_exe_counts_as_no_program(self):
        self.info(self.serve_release("/files/SETUP.EXE", RELEASE, sign(RELEASE)))
        proc = self.run_demo()
        self.assertTrue(self.answer("&Yes")[1].endswith("Do you want to download it?"))
        self.assertEqual(self.answer(), ("Information",
                                         "The update has been downloaded and saved as SETUP.EXE on your desktop."))
        self.finish(proc)
        self.assertFalse(self.wait_for(self.desktop / "SETUP.EXE.started", 3))

    def test_answering_no_writes_nothing(self):
        self.info(self.serve_release("/files/setup.exe", RELEASE, sign(RELEASE)))
        proc = self.run_demo()
        self.assertEqual(self.answer("&No")[0], "Confirm")
        self.finish(proc)
        self.assertEqual(list(self.desktop.iterdir()), [])
        self.assertEqual(self.server.paths[-1], "/updates/demo.txt", "the release was never asked for")

    def test_messages_without_a_download(self):
        nothing = ("Information", "Nothing to update - you're still using the newest version.")
        cases = [
            ("newer, no URL", "currentversion=1.0.0.0\nNotifyText=See the site.\n",
             ("Warning", "There's a new version, 1.0.0.0, available.\r\nSee the site.")),
            ("same version", "CurrentVersion=0.9.0.0\r\nURL=http://x/setup.exe\r\n", nothing),
            ("compared as text", "CurrentVersion=0.10.0.0\r\nURL=http://x/setup.exe\r\n", nothing),
            ("no version line", "NotifyText=hello\r\n", nothing),
        ]
        for name, info, expected in cases:
            with self.subTest(name):
                self.check(info, *expected)

    def test_search_failures(self):
        self.check(None, "Error", SEARCH_FAILED + "File not found on server!")  # nothing served: 404
        self.check(None, "Error", SEARCH_FAILED + "Could not find server!", base="http://no-such-host.invalid/updates/")

    def test_target_that_cannot_be_created(self):
        cases = [("no file name", "/files/", ""),
                 ("a name that leaves the desktop", "/files/..\\escaped.zip", "..\\escaped.zip")]
        for name, path, file_name in cases:
            with self.subTest(name):
                self.server.routes[path] = Route(b"bytes")
                self.info(f"CurrentVersion=1.0.0.0\r\nURL={self.server.base}{path}\r\n")
                proc = self.run_demo()
                self.assertEqual(self.answer("&Yes")[0], "Confirm")
                caption, text = self.answer()
                self.assertEqual(caption, "Error")
                prefix = f'{DOWNLOAD_FAILED}Cannot create file "{self.desktop_windows}\\{file_name}". '
                self.assertTrue(text.startswith(prefix), text)
                self.finish(proc)
                self.assertFalse((self.desktop.parent / "escaped.zip").exists())
        self.assertEqual(list(self.desktop.iterdir()), [])

    def test_failed_release_download(self):
        self.info(f"CurrentVersion=2.0\r\nURL={self.server.base}/files/gone.zip\r\n")
        proc = self.run_demo()
        self.answer("&Yes")
        self.assertEqual(self.answer(), ("Error", DOWNLOAD_FAILED + "File not found on server!"))
        self.finish(proc)
        self.assertEqual((self.desktop / "gone.zip").read_bytes(), b"", "the empty file stays")

    def wait_for(self, path, seconds=15):
        for _ in range(seconds * 10):
            if path.exists():
                return True
            self.driver("sleep", 100)
        return False


if __name__ == "__main__":
    unittest.main()
