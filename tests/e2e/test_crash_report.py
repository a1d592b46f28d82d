"""veilmark.exe reports its own faults: a fault while its window is up ends in the error
dialog with the shipped settings' buttons (send, show, continue, restart, close), a report in
"bugreport.txt" beside the program with the stacks of its threads, and what the user picks.
A thread started from outside at address 0 cannot go on: continue is disabled.
"""
import unittest

from harness import VEILMARK, E2ETest, keys, screenshot

SHIPPED_BUTTONS = ["send bug report", "show bug report", "continue application", "restart application",
                   "close application"]


class CrashReportTest(E2ETest):
    def fault(self):
        """Starts Veilmark, faults it from outside and returns the program and its dialog."""
        report_file = VEILMARK.parent / "bugreport.txt"
        report_file.unlink(missing_ok=True)
        self.addCleanup(lambda: report_file.unlink(missing_ok=True))
        self.install_local_state()
        program = self.start()
        hwnd = self.driver.wait("TformVeilmark")
        self.driver("fault", hwnd)
        return program, self.driver.wait("TExceptionBox", "veilmark.exe"), report_file

    def buttons(self, box):
        return {c["text"]: c for c in self.driver.children(box) if c["cls"] == "Button"}

    def test_full_dialog_without_continue_and_esc_closes(self):
        program, box, report_file = self.fault()
        buttons = self.buttons(box)
        self.assertEqual(sorted(buttons), sorted(SHIPPED_BUTTONS), "save and print are hidden")
        self.assertEqual({t: b["enabled"] for t, b in buttons.items()},
                         {t: t != "continue application" for t in SHIPPED_BUTTONS})
        text = [c["text"] for c in self.driver.children(box) if c["cls"] == "Static"]
        self.assertEqual(text, ["An error occurred in the application."])
        screenshot("crash-dialog")
        self.driver("focus", box)
        keys("Escape")
        self.assertEqual(program.wait_exit(), 1)
        report = report_file.read_bytes().decode("cp1252")
        self.assertIn("exception class   : EAccessViolation", report)
        self.assertIn("exception message : Access violation at address 00000000. Execution of address 00000000.",
                      report)
        self.assertIn("executable        : veilmark.exe", report)
        # The main thread, waiting in its message loop, with symbols from the embedded table.
        # When the fault finds it answering a message sent to it instead, a 32-bit walk ends
        # at the system's callback entry (a known limit), and only that end can be checked.
        main = report.split("\r\nmain thread (")[1].split("\r\n\r\n")[0]
        if "TApplication::Run()" not in main and main.rstrip().endswith("KiUserCallbackDispatcher"):
            return
        self.assertRegex(main, r"veilmark\.exe\s+Application_win32\s+\d+\s+\+\d+\s+vm::TApplication::Run\(\)")
        self.assertRegex(main, r"veilmark\.exe\s+main_win32\s+\d+\s+\+\d+\s+WinMain")

    def test_show_bug_report_reopens_the_dialog_with_the_details_view(self):
        program, box, _ = self.fault()
        _, _, _, _, client_w, client_h = self.driver.rect(box)
        self.driver("press", box, "show bug report")
        self.wait_gone(box)
        shown = self.driver.wait("TExceptionBox", "veilmark.exe")
        view = next(c["hwnd"] for c in self.driver.children(shown) if c["cls"] == "VmDetailsView")
        tabs = next(c["hwnd"] for c in self.driver.children(view) if c["cls"] == "SysTabControl32")
        self.assertTrue(self.driver.enabled(tabs))
        _, _, width2, height2, client_w2, client_h2 = self.driver.rect(shown)
        self.assertEqual(client_w2, client_w)
        # 474 pixels taller, plus a margin; resizable.
        self.assertGreaterEqual(client_h2 - client_h, 474)
        self.assertLess(client_h2 - client_h, 474 + 30)
        screenshot("crash-dialog-details")
        self.driver("size", shown, width2 + 120, height2)
        self.assertEqual(self.driver.rect(shown)[2:4], [width2 + 120, height2])
        screenshot("crash-dialog-details-resized")
        self.driver("press", shown, "close application")
        self.assertEqual(program.wait_exit(), 1)

    def test_restart_brings_the_program_back(self):
        program, box, _ = self.fault()
        self.driver("press", box, "restart application")
        self.assertEqual(program.wait_exit(), 2)
        again = self.driver.wait("TformVeilmark")
        screenshot("crash-dialog-restarted")
        self.driver("close", again)
        self.wait_gone(again)

    def test_send_runs_the_send_assistant_and_cancel_keeps_the_dialog(self):
        program, box, _ = self.fault()
        self.driver("press", box, "send bug report")
        page = self.driver.wait("TNVForm")
        self.assertFalse(self.driver.enabled(box), "the dialog waits for the assistant")
        screenshot("crash-dialog-send-assistant")
        self.driver("press", page, "Cancel")
        self.wait_gone(page)
        self.assertTrue(self.driver.enabled(box))
        self.assertEqual(self.driver.wait("TExceptionBox", "veilmark.exe"), box)
        self.driver("close", box)  # the close box: continue cannot, so close
        self.assertEqual(program.wait_exit(), 1)


if __name__ == "__main__":
    unittest.main()
