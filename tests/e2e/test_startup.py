"""veilmark.exe starts under Wine with its main window, and closes cleanly."""
import unittest

from harness import E2ETest, local_state_path, reg_delete, screenshot


class StartupTest(E2ETest):
    def test_main_window_caption_and_size(self):
        reg_delete(r"HKCU\Software\Quembrix Limited\Veilmark")  # no stored size from earlier runs
        local_state, _ = local_state_path(self.driver)
        local_state.parent.mkdir(parents=True, exist_ok=True)
        local_state.write_bytes(b'{"client_id": "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"}')
        self.addCleanup(local_state.unlink)
        program = self.start()
        hwnd = self.driver.wait("TformVeilmark")
        self.assertEqual(self.driver.text(hwnd), "Veilmark")
        left, top, width, height, client_w, client_h = self.driver.rect(hwnd)
        self.assertEqual((client_w, client_h), (417, 128), "design size at 96 DPI")
        screenshot("startup")
        self.driver("close", hwnd)
        self.wait_gone(hwnd)
        self.assertEqual(program.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
