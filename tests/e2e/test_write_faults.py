"""The main window under faults and odd input: two windows at once, a file changed or held
behind the window's back, a tampered backup entry, read-only and hidden files, leftovers of
a killed write, and a profile folder outside the ANSI code page. Each case checks that no ID
is lost, that the window shows only what Chrome's file holds, and that no process is left."""
import unittest

from harness import screenshot, unix_path, wine
from window_cases import GUID, ID_A, ID_B, KEY, UNIFORM, WindowTest, classic_file, crlf

SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
SC_MINIMIZE = 0xF020


class WriteFaultsTest(WindowTest):
    def expect_error(self, starts):
        box, caption, text = self.driver.msgbox()
        self.assertEqual(caption, "Error")
        self.assertTrue(text.startswith(starts), text)
        self.driver("press", box, "OK")
        self.settle()
        return text

    def test_two_windows_closed_in_either_order_keep_both_lists(self):
        for first_closed in (0, 1):
            with self.subTest(first_closed=first_closed):
                self.setUp()
                self.write_file(classic_file(ID_A))
                w1 = self.open_window()
                w2 = self.open_window(besides=w1)
                self.act("click", w1["uniform"])  # A backed up by the first window
                self.act("click", w2["random"])   # the second replaces the file's uniform ID
                r2 = self.driver.text(w2["edit"])
                self.assertRegex(r2, GUID)
                self.act("click", w1["random"])   # the first replaces the second's ID
                r1 = self.driver.text(w1["edit"])
                self.assertEqual(self.driver.items(w1["list"]), [ID_A, UNIFORM, r2],
                                 "the list shows what the other window stored")
                windows = [w1, w2]
                self.close(windows[first_closed])
                self.close(windows[1 - first_closed])
                self.assertEqual(self.backup_in_registry(), [ID_A, UNIFORM, r2])
                self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(r1)))

    def test_file_changed_between_start_and_click(self):
        self.write_file(classic_file(ID_A))
        w = self.open_window()
        self.write_file(classic_file(ID_B))  # Chrome, say, wrote another ID meanwhile
        self.act("click", w["uniform"])
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(UNIFORM)))
        self.assertEqual(self.driver.items(w["list"]), [ID_B, ID_A], "the file's ID and the shown one")
        self.assertEqual(self.backup_in_registry(), [ID_B, ID_A])
        self.assertEqual(self.driver.text(w["edit"]), UNIFORM)
        self.close(w)

    def test_tampered_backup_entry_is_not_written(self):
        tampered = ID_B + '", "injected": "1'
        wine("reg", "add", KEY, "/v", "IDBackup", "/t", "REG_MULTI_SZ", "/d", tampered, "/f")
        original = classic_file(ID_A)
        self.write_file(original)
        w = self.open_window()
        self.assertEqual(self.driver.items(w["list"]), [tampered])
        self.driver("dblclick", w["list"], 0)
        text = self.expect_error(f'"{tampered}" is not a client ID')
        screenshot("faults-tampered-entry")
        self.assertIn("XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", text)
        self.assertEqual(self.local_state.read_bytes(), original, "nothing written")
        self.assertEqual(self.driver.text(w["edit"]), ID_A)
        self.assertEqual(self.driver.items(w["list"]), [tampered], "nothing backed up")
        self.close(w)

    def test_file_held_at_start_gives_a_usable_window(self):
        original = classic_file(ID_A)
        self.write_file(original)
        self.driver("hold", self.windows_local_state, "none")
        program = self.start()
        box, caption, text = self.driver.msgbox()
        self.assertEqual(caption, "Error")
        self.assertTrue(text.startswith(f'Cannot open file "{self.windows_local_state}". '), text)
        self.driver("press", box, "OK")
        hwnd = self.driver.wait("TformVeilmark")
        edit = self.driver.child(hwnd, "Edit")
        self.assertEqual(self.driver.text(edit), "", "no ID shown")
        screenshot("faults-held-at-start")
        self.driver("release")
        uniform = self.driver.child(hwnd, "Button", "Replace with &uniform ID")
        self.act("click", uniform)
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(UNIFORM)), "usable once the file is free")
        self.assertEqual(self.backup_in_registry(), [ID_A])
        self.driver("close", hwnd)
        self.assertEqual(program.wait_exit(), 0, "no process is left")

    def test_file_too_large_to_load_is_reported_in_words(self):
        self.write_file(b" " * (65 << 20))
        program = self.start()
        box, caption, text = self.driver.msgbox(60000)
        self.assertEqual((caption, text), ("Error", f'Cannot open file "{self.windows_local_state}". '
                                                    'It is larger than 64 MB, too large to load'))
        self.driver("press", box, "OK")
        hwnd = self.driver.wait("TformVeilmark")
        self.assertEqual(self.driver.text(self.driver.child(hwnd, "Edit")), "")
        self.driver("close", hwnd)
        self.assertEqual(program.wait_exit(), 0, "no process is left")

    def test_read_only_file_is_refused_and_hidden_is_kept(self):
        original = classic_file(ID_A)
        self.write_file(original)
        wine("attrib", "+r", self.windows_local_state)
        self.addCleanup(wine, "attrib", "-r", "-h", self.windows_local_state, check=False)
        w = self.open_window()
        self.driver("click", w["uniform"])
        self.expect_error(f'Chrome\'s file "{self.windows_local_state}" is read-only')
        self.assertEqual(self.local_state.read_bytes(), original)
        self.assertEqual(self.driver.text(w["edit"]), ID_A)
        self.assertIsNone(self.backup_in_registry(), "nothing replaced, nothing backed up")

        wine("attrib", "-r", "+h", self.windows_local_state)
        self.act("click", w["uniform"])
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(UNIFORM)))
        flags = wine("attrib", self.windows_local_state).stdout.split(self.windows_local_state[:2])[0]
        self.assertIn("H", flags, "the file stays hidden")
        self.assertNotIn("R", flags)
        self.close(w)

    def test_leftovers_of_a_killed_write_are_removed_at_start(self):
        self.write_file(classic_file(ID_A))
        for name in ("Local State.vmnew4242", "Local State.vmold4242", "Local State.keep"):
            (self.local_state.parent / name).write_bytes(b"x")
        w = self.open_window()
        self.assertEqual(self.leftovers(), ["Local State.keep"], "only files of our own naming go")
        self.close(w)

    def test_plain_string_backup_and_minimised_close(self):
        wine("reg", "add", KEY, "/v", "IDBackup", "/t", "REG_SZ", "/d", ID_B, "/f")
        self.write_file(classic_file(ID_A))
        w = self.open_window()
        self.assertEqual(self.driver.items(w["list"]), [ID_B], "read as a one-item list")
        self.driver("syscmd", w["hwnd"], SC_MINIMIZE)
        self.settle()
        self.assertEqual(self.driver("state", w["hwnd"]).split("\t")[2], "1")
        self.driver("close", w["hwnd"])
        self.wait_gone(w["hwnd"])
        self.assertEqual(w["program"].wait_exit(), 0)
        self.assertEqual(self.backup_in_registry(), [ID_B], "kept, not erased at close")

        w = self.open_window()
        self.assertEqual(self.driver("state", w["hwnd"]).split("\t")[2], "0", "comes back normal, not minimised")
        self.close(w)


class UnicodeProfileTest(WindowTest):
    """A profile folder with characters outside the ANSI code page (Greek under 1252)."""

    FOLDER = "C:\\users\\\u03a9\u03bb\\AppData\\Local"

    @classmethod
    def setUpClass(cls):
        # The shell reports a folder only when it exists, and a fresh prefix has none.
        unix_path(cls.FOLDER).mkdir(parents=True, exist_ok=True)
        wine("reg", "add", SHELL_FOLDERS, "/v", "Local AppData", "/t", "REG_EXPAND_SZ", "/d", cls.FOLDER, "/f")
        try:
            super().setUpClass()
        except BaseException:
            cls.restore_folder()
            raise
        # The driver's own ANSI lookup cannot spell the folder; Linux sees it in UTF-8.
        cls.local_state = unix_path(cls.FOLDER) / "Google" / "Chrome" / "User Data" / "Local State"

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.restore_folder()

    @staticmethod
    def restore_folder():
        wine("reg", "add", SHELL_FOLDERS, "/v", "Local AppData", "/t", "REG_EXPAND_SZ", "/d",
             r"%USERPROFILE%\AppData\Local", "/f")

    def test_chrome_file_in_a_unicode_profile_is_found_and_written(self):
        self.write_file(classic_file(ID_A))
        w = self.open_window()
        self.assertEqual(self.driver.text(w["edit"]), ID_A)
        self.act("click", w["uniform"])
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(UNIFORM)))
        self.assertEqual(self.backup_in_registry(), [ID_A])
        screenshot("faults-unicode-profile")
        self.close(w)


if __name__ == "__main__":
    unittest.main()
