"""The About dialog: opened from veilmark.exe's system menu with the program's own version
information, and from a demonstration program with other values (caption rule, normalised
version, translators)."""
import subprocess
import unittest

from harness import BUILD, WINE_RUN, E2ETest, keys, screenshot

ABOUT_COMMAND = 5666


class AboutTest(E2ETest):
    def labels(self, hwnd):
        return [c["text"] for c in self.driver.children(hwnd) if c["cls"] == "Static" and c["text"]]

    def buttons(self, hwnd):
        return {c["text"]: c for c in self.driver.children(hwnd) if c["cls"] == "Button"}

    def test_veilmark_about_from_the_system_menu(self):
        self.install_local_state()
        program = self.start()
        main = self.driver.wait("TformVeilmark")
        self.driver("syscmd", main, ABOUT_COMMAND)
        about = self.driver.wait("TdlgAbout")
        self.assertEqual(self.driver.text(about), "About Veilmark")
        self.assertEqual(self.labels(about), [
            "Copyright (C) 2026 Quembrix Limited. All rights reserved.\r\n",
            "Veilmark",
            "Version 0.1.0.0",
            "Anonymizes Googles Chrome browser. 0.1.0.0",
        ])
        buttons = self.buttons(about)
        self.assertTrue(buttons["OK"]["visible"])
        self.assertFalse(buttons["Translations"]["visible"])
        self.assertFalse(buttons["Updates"]["visible"], "no update name in Veilmark")
        self.assertFalse(self.driver.enabled(main), "the dialog is modal")
        screenshot("about-veilmark")

        self.driver("click", buttons["OK"]["hwnd"])
        self.wait_gone(about)
        self.assertTrue(self.driver.enabled(main))
        # The close box ends it too, and it opens again.
        self.driver("syscmd", main, ABOUT_COMMAND)
        about = self.driver.wait("TdlgAbout")
        self.driver("close", about)
        self.driver("sleep", 300)
        self.assertTrue(self.driver.enabled(main))
        self.driver("close", main)
        self.assertEqual(program.wait_exit(), 0)

    def test_about_entry_in_the_system_menu(self):
        self.install_local_state()
        program = self.start()
        main = self.driver.wait("TformVeilmark")
        self.driver("sleep", 500)
        self.driver("focus", main)
        keys("alt+space")  # the window's system menu, where the entry sits above Close
        self.driver("sleep", 500)
        screenshot("about-system-menu")
        keys("a")  # its accelerator: "&About Veilmark..."
        about = self.driver.wait("TdlgAbout")
        self.assertEqual(self.driver.text(about), "About Veilmark")
        keys("Return")  # Enter presses OK
        self.wait_gone(about)
        self.driver("close", main)
        self.assertEqual(program.wait_exit(), 0)

    def run_demo(self, title):
        proc = subprocess.Popen([WINE_RUN, str(BUILD / "tests" / "e2e" / "aboutdemo.exe"), title],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        return proc

    def test_demo_program_with_translators(self):
        proc = self.run_demo("Demo Tool")
        about = self.driver.wait("TdlgAbout")
        self.assertEqual(self.driver.text(about), "About Demo Tool", "the title wins over ProductName")
        labels = self.labels(about)
        self.assertIn("Version 1.0.0.3", labels)
        self.assertIn("About dialog demonstration. 1.0.0.3", labels)
        self.assertIn("Copyright (C) 2026 Quembrix Limited\r\nQBX is a mark of Quembrix Limited", labels)
        buttons = self.buttons(about)
        self.assertTrue(buttons["Translations"]["visible"])
        screenshot("about-demo")
        self.driver("click", buttons["Translations"]["hwnd"])
        box, caption, text = self.driver.msgbox()
        self.assertEqual(caption, "Demo Tool")
        self.assertEqual(text, "de: Name1\r\nfr: Name2\r\n")
        screenshot("about-demo-translations")
        self.driver("press", box, "OK")
        self.driver("sleep", 300)
        self.driver("click", buttons["OK"]["hwnd"])
        self.assertEqual(proc.wait(timeout=30), 0)

    def test_demo_program_without_title_uses_the_product_name(self):
        proc = self.run_demo("-")
        about = self.driver.wait("TdlgAbout")
        self.assertEqual(self.driver.text(about), "About Demo Product")
        self.driver("close", about)
        self.assertEqual(proc.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main()
