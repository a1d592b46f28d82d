"""The main window end to end: reading Chrome's file, every kind of replacement, the backup
list in the registry, restarts, and the error paths. Chrome's file is checked byte for byte."""
import unittest

from harness import keys, reg_query, screenshot
from window_cases import FORM_KEY, GUID, ID_A, UNIFORM, WindowTest, classic_file, crlf


class MainWindowTest(WindowTest):
    # Tests -----------------------------------------------------------------------------

    def test_first_showing_and_uniform_replacement(self):
        original = classic_file(ID_A)
        self.write_file(original)
        w = self.open_window()
        self.assertEqual(self.driver.text(w["edit"]), ID_A)
        self.assertEqual(self.driver.items(w["list"]), [])
        self.assertTrue(self.driver.enabled(w["uniform"]))
        self.assertTrue(self.driver.enabled(w["random"]))
        screenshot("main-first-showing")

        self.act("click", w["uniform"])
        self.assertEqual(self.driver.text(w["edit"]), UNIFORM)
        self.assertFalse(self.driver.enabled(w["uniform"]), "the uniform ID is shown now")
        self.assertEqual(self.driver.items(w["list"]), [ID_A])
        self.assertEqual(self.backup_in_registry(), [ID_A], "the list is saved at once")
        self.assertEqual(self.local_state.read_bytes(), crlf(original.replace(ID_A.encode(), UNIFORM.encode())))
        screenshot("main-after-uniform")
        self.close(w)

    def test_random_replacement_and_double_click_swap(self):
        self.write_file(classic_file(ID_A))
        w = self.open_window()
        self.act("click", w["random"])
        new_id = self.driver.text(w["edit"])
        self.assertRegex(new_id, GUID)
        self.assertNotEqual(new_id, ID_A)
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(new_id)))
        self.assertEqual(self.driver.items(w["list"]), [ID_A])

        self.act("dblclick", w["list"], 0)
        self.assertEqual(self.driver.text(w["edit"]), ID_A)
        self.assertEqual(self.driver.items(w["list"]), [ID_A, new_id])
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(ID_A)))

        self.act("dblclick", w["list"], 1)
        self.assertEqual(self.driver.text(w["edit"]), new_id)
        self.assertEqual(self.driver.items(w["list"]), [ID_A, new_id], "swapping does not grow the list")
        self.assertEqual(self.backup_in_registry(), [ID_A, new_id])
        self.assertEqual(self.local_state.read_bytes(), crlf(classic_file(new_id)))
        screenshot("main-after-swap")
        self.close(w)

    def test_keyboard_accelerator_and_default_button(self):
        self.write_file(classic_file(ID_A))
        w = self.open_window()
        self.act("keys", "alt+r")  # "New &random ID"
        random_id = self.driver.text(w["edit"])
        self.assertRegex(random_id, GUID)
        self.act("keys", "Return")  # the default button, "Replace with &uniform ID"
        self.assertEqual(self.driver.text(w["edit"]), UNIFORM)
        self.assertEqual(self.driver.items(w["list"]), [ID_A, random_id])
        self.close(w)

    def test_look_alike_key_keeps_its_value(self):
        data = classic_file(ID_A, other=ID_A)  # the same ID text stands earlier, under another key
        self.write_file(data)
        w = self.open_window()
        self.act("click", w["uniform"])
        expected = crlf(classic_file(UNIFORM, other=ID_A))
        self.assertEqual(self.local_state.read_bytes(), expected, "Chrome's entry changes, the look-alike stays")
        self.assertEqual(self.driver.text(w["edit"]), UNIFORM)
        self.close(w)

    def test_restart_restores_list_and_size(self):
        self.write_file(classic_file(ID_A))
        w = self.open_window()
        self.act("click", w["uniform"])
        self.driver("size", w["hwnd"], 600, 300)
        self.settle()
        self.close(w)
        self.assertIsNotNone(reg_query(FORM_KEY, "Width"))

        w = self.open_window()
        self.assertEqual(self.driver.items(w["list"]), [ID_A])
        self.assertEqual(self.driver.text(w["edit"]), UNIFORM)
        self.assertFalse(self.driver.enabled(w["uniform"]))
        left, top, width, height, _, _ = self.driver.rect(w["hwnd"])
        self.assertEqual((width, height), (600, 300))
        # Centred on the 1024 x 768 desktop although a position was stored.
        self.assertEqual((left, top), ((1024 - 600) // 2, (768 - 300) // 2))
        screenshot("main-restarted")
        self.close(w)

    def test_modern_minified_file(self):
        modern = ('{"browser":{"enabled_labs_experiments":[]},"user_experience_metrics":'
                  '{"client_id2":"3f2a9c1e-7b4d-4e8a-9c2f-1a2b3c4d5e6f","low_entropy_source3":1234}}').encode()
        self.write_file(modern)
        w = self.open_window()
        self.assertEqual(self.driver.text(w["edit"]), "3f2a9c1e-7b4d-4e8a-9c2f-1a2b3c4d5e6f")
        self.act("click", w["uniform"])
        self.assertEqual(self.local_state.read_bytes(),
                         modern.replace(b"3f2a9c1e-7b4d-4e8a-9c2f-1a2b3c4d5e6f", UNIFORM.encode()) + b"\r\n")
        self.close(w)

    def test_missing_file_message_keeps_the_stored_list(self):
        self.write_file(classic_file(ID_A))
        w = self.open_window()
        self.act("click", w["uniform"])
        self.close(w)
        self.local_state.unlink()

        program = self.start()
        box, caption, text = self.driver.msgbox()
        self.assertEqual(caption, "Error")
        self.assertEqual(text, 'Did not find the Google Chrome configuration file "Local State". '
                               'Please use after Chrome has been installed.')
        screenshot("main-missing-file")
        self.driver("press", box, "OK")
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(self.backup_in_registry(), [ID_A], "closing must not erase the stored list")

    def test_file_without_id(self):
        data = b'{\r\n   "client_id":"0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"\r\n}\r\n'
        self.write_file(data)
        program = self.start()
        box, caption, text = self.driver.msgbox()
        self.assertEqual((caption, text), ("Error", "No client ID found in the config file."))
        self.driver("press", box, "OK")
        hwnd = self.driver.wait("TformVeilmark")
        edit = self.driver.child(hwnd, "Edit")
        self.assertEqual(self.driver.text(edit), "")
        uniform = self.driver.child(hwnd, "Button", "Replace with &uniform ID")
        self.assertTrue(self.driver.enabled(uniform))
        self.driver("click", uniform)
        box, caption, text = self.driver.msgbox()
        self.assertEqual(text, "No client ID found in the config file.")
        self.driver("press", box, "OK")
        self.settle()
        self.assertEqual(self.driver.text(edit), "", "the field shows only what the file holds")
        self.assertTrue(self.driver.enabled(uniform))
        self.assertEqual(self.local_state.read_bytes(), data, "the file is unchanged")
        self.driver("close", hwnd)
        self.assertEqual(program.wait_exit(), 0)

    def check_write_refused(self, share, message, backup):
        original = classic_file(ID_A)
        self.write_file(original)
        w = self.open_window()
        self.driver("hold", self.windows_local_state, share)
        self.driver("click", w["uniform"])
        box, caption, text = self.driver.msgbox()
        self.assertEqual(caption, "Error")
        self.assertTrue(text.startswith(f'{message} "{self.windows_local_state}". '), text)
        screenshot(f"main-file-held-{share}")
        self.driver("press", box, "OK")
        self.driver("release")
        self.settle()
        self.assertEqual(self.local_state.read_bytes(), original, "Chrome's file is unchanged")
        self.assertEqual(self.driver.text(w["edit"]), ID_A, "the field still shows the file's ID")
        self.assertTrue(self.driver.enabled(w["uniform"]), "the button follows the field")
        self.assertEqual(self.backup_in_registry(), backup)
        leftovers = [p.name for p in self.local_state.parent.iterdir() if p.name != "Local State"]
        self.assertEqual(leftovers, [], "no temporary file is left behind")
        self.close(w)

    def test_write_while_another_program_holds_the_file_for_reading(self):
        # The file could be read, so its ID was backed up before the write was refused.
        self.check_write_refused("read", "Cannot create file", [ID_A])

    def test_write_while_another_program_holds_the_file_without_sharing(self):
        # Not even read: nothing was replaced, so nothing is backed up.
        self.check_write_refused("none", "Cannot open file", None)


if __name__ == "__main__":
    unittest.main()
