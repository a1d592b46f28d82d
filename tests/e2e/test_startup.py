"""veilmark.exe starts under Wine with its main window, and closes cleanly."""
import unittest

from harness import E2ETest, reg_delete, screenshot, wine


class StartupTest(E2ETest):
    def test_main_window_caption_and_size(self):
        reg_delete(r"HKCU\Software\Quembrix Limited\Veilmark")  # no stored size from earlier runs
        self.install_local_state()
        program = self.start()
        hwnd = self.driver.wait("TformVeilmark")
        self.assertEqual(self.driver.text(hwnd), "Veilmark")
        left, top, width, height, client_w, client_h = self.driver.rect(hwnd)
        self.assertEqual((client_w, client_h), (417, 155), "design size at 96 DPI")
        screenshot("startup")
        self.driver("close", hwnd)
        self.wait_gone(hwnd)
        self.assertEqual(program.wait_exit(), 0)

    def test_layout_follows_the_system_dpi(self):
        reg_delete(r"HKCU\Software\Quembrix Limited\Veilmark")
        desktop = r"HKCU\Control Panel\Desktop"
        wine("reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "144", "/f")
        self.addCleanup(wine, "reg", "delete", desktop, "/v", "LogPixels", "/f", check=False)
        self.install_local_state()
        program = self.start()
        hwnd = self.driver.wait("TformVeilmark")
        *_, client_w, client_h = self.driver.rect(hwnd)
        self.assertEqual((client_w, client_h), (626, 233), "417 x 155 at 150 %")
        edit = self.driver.child(hwnd, "Edit")
        self.assertEqual(self.driver.rect(edit)[2:4], [434, 33], "289 x 22 at 150 %")
        screenshot("startup-144dpi")
        self.driver("close", hwnd)
        self.assertEqual(program.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
