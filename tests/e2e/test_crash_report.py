"""veilmark.exe reports its own faults: a fault while its window is up ends in the error box,
a report in "bugreport.txt" beside the program with the stacks of its threads, and exit code 1.
"""
import unittest

from harness import VEILMARK, E2ETest, screenshot


class CrashReportTest(E2ETest):
    def test_fault_in_a_foreign_thread_is_reported_beside_the_program(self):
        report_file = VEILMARK.parent / "bugreport.txt"
        report_file.unlink(missing_ok=True)
        self.addCleanup(lambda: report_file.unlink(missing_ok=True))
        self.install_local_state()
        program = self.start()
        hwnd = self.driver.wait("TformVeilmark")
        # A thread started from outside at address 0: no frame of Veilmark's surrounds it.
        self.driver("fault", hwnd)
        box, caption, text = self.driver.msgbox()
        self.assertEqual(caption, "veilmark")
        self.assertEqual(text, "Access violation at address 00000000. Execution of address 00000000.")
        screenshot("crash-report-box")
        self.driver("press", box, "OK")
        self.assertEqual(program.wait_exit(), 1)
        report = report_file.read_bytes().decode("cp1252")
        self.assertIn("exception class   : EAccessViolation", report)
        self.assertIn("executable        : veilmark.exe", report)
        # The main thread, waiting in its message loop, with symbols from the embedded table.
        main = report.split("\r\nmain thread (")[1]
        self.assertRegex(main, r"veilmark\.exe\s+Application_win32\s+\d+\s+\+\d+\s+vm::TApplication::Run\(\)")
        self.assertRegex(main, r"veilmark\.exe\s+main_win32\s+\d+\s+\+\d+\s+WinMain")


if __name__ == "__main__":
    unittest.main()
