"""Veilmark while Chrome is open: a stand-in process holds Chrome's "lockfile" as Chrome does.
No replacement is written or backed up, the user is told why and may retry once Chrome has
ended; a lockfile that nobody holds (left by a crash) changes nothing."""
import unittest

from harness import ChromeStandIn, screenshot
from window_cases import ID_A, UNIFORM, WindowTest, classic_file, crlf

NOTICE = "Veilmark - Chrome is open: close it to change the ID"
WARNING = ("Google Chrome is open. It keeps its settings in memory and puts its own client ID back when it "
           "closes, so Veilmark has changed nothing.\n\nClose every Chrome window, then choose Retry.")


class ChromeOpenTest(WindowTest):
    def lockfile(self):
        return self.windows_local_state.rsplit("\\", 1)[0] + "\\lockfile"

    def test_write_refused_while_chrome_runs_and_retry_after_it_ends(self):
        original = classic_file(ID_A)
        self.write_file(original)
        chrome = ChromeStandIn(self.lockfile())
        self.addCleanup(chrome.end)
        w = self.open_window()
        self.assertEqual(self.driver.text(w["hwnd"]), NOTICE, "said once, in the caption, without a box")
        screenshot("chrome-open-window")

        self.driver("click", w["uniform"])
        box, caption, text = self.driver.msgbox()
        self.assertEqual((caption, text), ("Warning", WARNING))
        screenshot("chrome-open-warning")
        self.driver("press", box, "Cancel")
        self.settle()
        self.assertEqual(self.local_state.read_bytes(), original, "byte for byte unchanged")
        self.assertEqual(self.driver.text(w["edit"]), ID_A)
        self.assertEqual(self.driver.items(w["list"]), [])
        self.assertIsNone(self.backup_in_registry(), "nothing backed up")

        self.driver("click", w["uniform"])
        box, caption, text = self.driver.msgbox()
        self.assertEqual(text, WARNING)
        chrome.end()
        self.assertFalse(self.lock_path().exists(), "Chrome's lock goes with it")
        self.act("press", box, "&Retry")
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(UNIFORM)))
        self.assertEqual(self.driver.text(w["edit"]), UNIFORM)
        self.assertEqual(self.backup_in_registry(), [ID_A])
        self.assertEqual(self.driver.text(w["hwnd"]), "Veilmark", "the notice goes when Chrome has ended")
        self.close(w)

    def lock_path(self):
        return self.local_state.parent / "lockfile"

    def test_stale_lockfile_gives_no_warning(self):
        self.write_file(classic_file(ID_A))
        self.lock_path().write_bytes(b"")  # left behind by a Chrome that crashed
        w = self.open_window()
        self.assertEqual(self.driver.text(w["hwnd"]), "Veilmark")
        self.act("click", w["uniform"])
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(UNIFORM)), "written without a box")
        self.assertEqual(self.backup_in_registry(), [ID_A])
        self.assertTrue(self.lock_path().exists(), "Chrome's file is left as it was")
        self.close(w)


if __name__ == "__main__":
    unittest.main()
