"""Chrome's other copies of its identity end to end: the client ID's backup in the registry
and the crash reporter's ID in "Crashpad\\settings.dat". After every action the window, Chrome's
file, the registry value (read with reg.exe) and the record's bytes are checked from outside."""
import re
import struct
import time
import unittest
import uuid

from harness import ChromeStandIn, E2ETest, reg_delete, reg_query, screenshot, unix_path, wine
from window_cases import GUID, ID_A, UNIFORM, classic_file, crlf

SETTINGS_KEY = r"HKCU\Software\Quembrix Limited\Veilmark"
BACKUP_KEY = r"HKCU\Software\Google\Update\ClientState\{8A69D345-D564-463c-AFF1-A69D9E530F96}"
INSTALL_DATE, ENABLED_DATE = "1700000000", "1700000100"

CRASH_ID = "00112233-4455-6677-8899-aabbccddeeff"
NO_RECORD = "(no crash reporter settings)"
UNREADABLE = "(unreadable crash reporter settings)"


def record(crash_id, version=1):
    """A settings record as the crash reporter writes it: uploads on, an upload time."""
    return struct.pack("<IIIIq", 0x43506473, version, 1, 0, 0x0123456789) + uuid.UUID(crash_id).bytes_le


def reg32(*args):
    wine("reg", *args, "/reg:32")


class IdCopiesTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        folder = cls.driver("folder", 28)
        cls.user_data = unix_path(folder) / "Google" / "Chrome" / "User Data"
        cls.windows_user_data = folder + r"\Google\Chrome\User Data"
        cls.local_state = cls.user_data / "Local State"
        cls.settings_dat = cls.user_data / "Crashpad" / "settings.dat"

    def setUp(self):
        reg_delete(SETTINGS_KEY)
        reg_delete(r"HKCU\Software\Google")
        self.addCleanup(reg_delete, r"HKCU\Software\Google")
        self.settings_dat.parent.mkdir(parents=True, exist_ok=True)
        self.local_state.write_bytes(classic_file(ID_A))

    def tearDown(self):
        self.driver("release")
        for path in [self.settings_dat, self.local_state]:
            if path.exists():
                path.unlink()
        for leftover in self.settings_dat.parent.iterdir():
            leftover.unlink()
        self.settings_dat.parent.rmdir()

    # Helpers ---------------------------------------------------------------------------

    def put_backup(self, client_id):
        reg32("add", BACKUP_KEY, "/v", "metricsid", "/t", "REG_SZ", "/d", client_id, "/f")
        reg32("add", BACKUP_KEY, "/v", "metricsid_installdate", "/t", "REG_SZ", "/d", INSTALL_DATE, "/f")
        reg32("add", BACKUP_KEY, "/v", "metricsid_enableddate", "/t", "REG_SZ", "/d", ENABLED_DATE, "/f")

    def backup(self, name="metricsid"):
        out = reg_query(BACKUP_KEY, name)
        if out is None:
            return None
        m = re.search(re.escape(name) + r"\s+REG_SZ\s+(\S*)", out)
        return m.group(1) if m else ""

    def open_window(self):
        program = self.start()
        hwnd = self.driver.wait("TformVeilmark")
        self.driver("sleep", 300)
        kids = self.driver.children(hwnd)
        buttons = {c["text"]: c["hwnd"] for c in kids if c["cls"] == "Button"}
        edits = [c["hwnd"] for c in kids if c["cls"] == "Edit"]
        labels = [c["text"] for c in kids if c["cls"] == "Static"]
        self.assertIn("Crash reporter ID:", labels)
        return dict(hwnd=hwnd, program=program, edit=edits[0], crash=edits[1],
                    list=self.driver.child(hwnd, "ListBox"), uniform=buttons["Replace with &uniform ID"],
                    random=buttons["New &random ID"], exit=buttons["E&xit"])

    def act(self, *command):
        """Runs the command and waits until Chrome's file has been rewritten; the other
        copies are written right after it, in the same click."""
        before = self.local_state.read_bytes()
        self.driver(*command)
        deadline = time.monotonic() + 30
        while self.local_state.read_bytes() == before and time.monotonic() < deadline:
            time.sleep(0.1)
        self.driver("sleep", 500)

    def close(self, w):
        self.driver("click", w["exit"])
        self.wait_gone(w["hwnd"])
        self.assertEqual(w["program"].wait_exit(), 0)

    def assert_copies(self, w, chrome_id, crash_id):
        """Every copy holds the IDs that the window shows."""
        self.assertEqual(self.driver.text(w["edit"]), chrome_id)
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(chrome_id)))
        self.assertEqual(self.backup(), chrome_id)
        self.assertEqual((self.backup("metricsid_installdate"), self.backup("metricsid_enableddate")),
                         (INSTALL_DATE, ENABLED_DATE), "the dates are left alone")
        self.assertEqual(self.driver.text(w["crash"]), crash_id)
        self.assertEqual(self.settings_dat.read_bytes(), record(crash_id), "only the UUID changes")

    # Tests -----------------------------------------------------------------------------

    def test_each_action_reaches_every_copy(self):
        self.put_backup(ID_A)
        self.settings_dat.write_bytes(record(CRASH_ID))
        w = self.open_window()
        self.assertEqual(self.driver.text(w["crash"]), CRASH_ID)
        screenshot("id-copies-first-showing")

        self.act("click", w["random"])
        random_id = self.driver.text(w["edit"])
        crash_id = self.driver.text(w["crash"])
        self.assertRegex(random_id, GUID)
        self.assertRegex(crash_id.upper(), GUID)
        self.assertNotIn(crash_id.upper(), (CRASH_ID.upper(), random_id), "the crash reporter gets an ID of its own")
        self.assert_copies(w, random_id, crash_id)

        self.act("click", w["uniform"])
        self.assert_copies(w, UNIFORM, UNIFORM)
        screenshot("id-copies-after-uniform")

        self.act("dblclick", w["list"], 0)  # ID_A written back; the crash reporter's ID stays
        self.assert_copies(w, ID_A, UNIFORM)
        self.assertEqual(self.driver.items(w["list"]), [ID_A, random_id, UNIFORM])
        self.close(w)

    def test_missing_key_and_record_stay_missing(self):
        w = self.open_window()
        self.assertEqual(self.driver.text(w["crash"]), NO_RECORD)
        self.act("click", w["random"])
        self.act("click", w["uniform"])
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(UNIFORM)))
        self.assertIsNone(reg_query(r"HKCU\Software\Google"), "no key is created")
        self.assertEqual(list(self.settings_dat.parent.iterdir()), [], "no record is created")
        self.assertEqual(self.driver.text(w["crash"]), NO_RECORD)
        screenshot("id-copies-missing")
        self.close(w)

    def test_unreadable_record_is_never_rewritten(self):
        self.put_backup(ID_A)
        damaged = record(CRASH_ID, version=2)
        self.settings_dat.write_bytes(damaged)
        w = self.open_window()
        self.assertEqual(self.driver.text(w["crash"]), UNREADABLE)
        self.act("click", w["uniform"])
        self.assertEqual(self.backup(), UNIFORM)
        self.assertEqual(self.settings_dat.read_bytes(), damaged)
        self.assertEqual(self.driver.text(w["crash"]), UNREADABLE)
        self.close(w)

    def test_record_held_by_another_program(self):
        self.put_backup(ID_A)
        self.settings_dat.write_bytes(record(CRASH_ID))
        w = self.open_window()
        self.driver("hold", self.windows_user_data + r"\Crashpad\settings.dat", "read")
        self.driver("click", w["uniform"])
        box, caption, text = self.driver.msgbox()
        self.assertEqual(caption, "Error")
        self.assertIn(f'Cannot create file "{self.windows_user_data}\\Crashpad\\settings.dat". ', text)
        self.assertIn("crash reporter keeps its old ID", text)
        screenshot("id-copies-record-held")
        self.driver("press", box, "OK")
        self.driver("release")
        self.driver("sleep", 300)
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(UNIFORM)))
        self.assertEqual(self.backup(), UNIFORM, "the registry copy is written all the same")
        self.assertEqual(self.settings_dat.read_bytes(), record(CRASH_ID), "the record is unchanged")
        self.assertEqual(self.driver.text(w["crash"]), CRASH_ID)
        self.assertEqual([p.name for p in self.settings_dat.parent.iterdir()], ["settings.dat"])
        self.close(w)

    def test_nothing_is_written_while_chrome_runs(self):
        self.put_backup(ID_A)
        self.settings_dat.write_bytes(record(CRASH_ID))
        chrome = ChromeStandIn(self.windows_user_data + r"\lockfile")
        self.addCleanup(chrome.end)
        w = self.open_window()

        self.driver("click", w["uniform"])
        box, caption, _ = self.driver.msgbox()
        self.assertEqual(caption, "Warning")
        self.driver("press", box, "Cancel")
        self.driver("sleep", 500)
        self.assertEqual(self.local_state.read_bytes(), classic_file(ID_A))
        self.assertEqual(self.backup(), ID_A, "the registry copy waits for Chrome too")
        self.assertEqual(self.settings_dat.read_bytes(), record(CRASH_ID), "and so does the record")

        self.driver("click", w["uniform"])
        box, _, _ = self.driver.msgbox()
        chrome.end()
        self.act("press", box, "&Retry")
        self.assert_copies(w, UNIFORM, UNIFORM)
        self.close(w)


if __name__ == "__main__":
    unittest.main()
