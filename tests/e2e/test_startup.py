"""veilmark.exe starts under Wine with its main window, and closes cleanly."""
import unittest

from harness import E2ETest, reg_delete, screenshot


class StartupTest(E2ETest):
    def test_main_window_caption_and_size(self):
        reg_delete(r"HKCU\Software\Quembrix Limited\Veilmark")  # no stored size from earlier runs
        self.install_local_state()
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
