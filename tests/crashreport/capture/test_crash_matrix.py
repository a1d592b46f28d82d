"""The crash matrix under Wine: crashmatrix.exe fails in each way a user may meet; each case
is checked by the program's exit code, its box, the report beside it and a screenshot.
"""
import os
import re
import pathlib
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "e2e"))
import harness  # noqa: E402

PROGRAM = pathlib.Path(os.environ["VM_CRASHMATRIX"])
WORK = harness.BUILD / "test-artifacts" / "crash-matrix"
# The error dialog's text in the shipped settings; the exception's own message is in the report.
DIALOG_TEXT = "An error occurred in the application."


class CrashMatrix(harness.E2ETest):
    def run_case(self, case, boxes=1, press=None):
        """Runs one case in a folder of its own and answers each error dialog: with the button
        `press` names (a caption, or a function of the box's number; False: none, the box
        answers itself), else continue when it is enabled and close when not. The exit code, the report (or None) and the dialogs'
        message texts come back."""
        folder = WORK / case
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        exe = folder / "crashmatrix.exe"
        shutil.copy(PROGRAM, exe)
        proc = subprocess.Popen([harness.WINE_RUN, str(exe), case], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        texts, self.buttons = [], []
        for i in range(boxes):
            hwnd = self.driver.wait("TExceptionBox", "*", 30000)
            children = self.driver.children(hwnd)
            texts.append(next(c["text"] for c in children if c["cls"] == "Static"))
            buttons = {c["text"]: c for c in children if c["cls"] == "Button"}
            self.buttons.append(sorted(buttons))
            if i == 0:
                harness.screenshot(f"crash-{case}")
            choice = press(i) if callable(press) else press
            if choice is None:
                choice = "continue application" if buttons["continue application"]["enabled"] else "close application"
            if choice is not False:
                self.driver("press", hwnd, choice)
            self.wait_gone(hwnd, 30000)
        code = proc.wait(timeout=60)
        report = folder / "bugreport.txt"
        return code, (report.read_bytes().decode("cp1252") if report.exists() else None), texts, folder

    def assertMessage(self, report, message):
        self.assertIn(f"\r\nexception message : {message}\r\n", report)

    def assertStack(self, report, *functions):
        """Each function name appears on a symbolised stack line (unit and line filled). GCC
        moves a function's unlikely paths into a cold part of it, "F() [clone .cold]"; 32-bit
        names spell the calling convention of a function pointer, "( stdcall*)"."""
        def plain(line):
            return re.sub(r" \[clone \.cold\]$", "", line.rstrip()).replace("( stdcall*)", "(*)")
        for name in functions:
            lines = [l for l in report.split("\r\n") if re.match(r"[0-9a-f]{8,} ", l) and plain(l).endswith(name)]
            self.assertTrue(lines, f"{name} not on any stack line:\n{report}")
            self.assertRegex(lines[0], r"CrashMatrix_win32\s+\d+\s+\+\d+ ", report)

    def test_access_violation_main_thread(self):
        code, report, texts, _ = self.run_case("av-main")
        self.assertEqual(code, 1)
        self.assertIn("exception class   : EAccessViolation", report)
        self.assertEqual(texts, [DIALOG_TEXT])
        self.assertRegex(report, r"\r\nexception message : Access violation at address [0-9A-F]{8,} in module "
                                 r"\"crashmatrix.exe\"\. Write of address 00000000\.\r\n")
        self.assertIn("main thread (", report)
        self.assertStack(report, "WriteThroughNull()", "Run()", "main")

    def test_access_violation_second_thread(self):
        code, report, _, _ = self.run_case("av-thread")
        self.assertEqual(code, 1)
        self.assertStack(report, "WriteThroughNull()", "FaultingThread(void*)")
        # The crashed thread first, with its creator; then the main thread waiting for it.
        self.assertRegex(report, r"\r\nthread \$[0-9a-f]+:\r\n")
        self.assertIn(">> created by main thread (", report)
        self.assertStack(report, "InThread(unsigned long (*)(void*))")

    def test_stack_overflow_main_thread(self):
        code, report, _, _ = self.run_case("overflow-main")
        self.assertEqual(code, 1)
        self.assertIn("EStackOverflow", report)
        self.assertStack(report, "Recurse(int)")

    def test_stack_overflow_second_thread(self):
        code, report, _, _ = self.run_case("overflow-thread")
        self.assertEqual(code, 1)
        self.assertIn("EStackOverflow", report)
        self.assertStack(report, "Recurse(int)")
        self.assertIn("main thread (", report)

    def test_exception_in_window_procedure_continues(self):
        code, report, texts, _ = self.run_case("throw-wndproc")
        self.assertEqual(code, 0, "the program goes on after continue")
        self.assertEqual(texts, [DIALOG_TEXT])
        self.assertMessage(report, "Thrown on purpose in a window procedure.")
        self.assertIn("exception class   : Exception", report)
        self.assertStack(report, "WindowProc(HWND__*, unsigned int, unsigned long long, long long)"
                         if "64" in harness.wine("--arch").stdout else "WindowProc(HWND__*, unsigned int, unsigned int, long)")

    def test_exception_in_second_thread(self):
        code, report, texts, _ = self.run_case("throw-thread")
        self.assertEqual(code, 1)
        self.assertMessage(report, "Thrown on purpose in a second thread.")
        self.assertIn(">> created by main thread (", report)

    # The exiting main thread holds the runtime's exit lock while static objects end; the
    # report must still be composed and shown on the handler thread.
    def test_exception_at_exit(self):
        code, report, texts, _ = self.run_case("throw-exit")
        self.assertEqual(code, 1)
        self.assertMessage(report, "Thrown on purpose at exit.")
        self.assertStack(report, "ThrowNow()")

    def test_stuck_handling_ends_the_process(self):
        # stuck-handler: the handler waits for a lock the faulting thread holds, and the
        # faulting thread's bounded wait ends the process. blocked: another thread keeps the
        # loader lock, the fault is handled on its own thread and stops where the lock is
        # needed; the guard ends the process. No box ever comes, and the code is a fault's.
        for case in ["stuck-handler", "blocked"]:
            with self.subTest(case):
                started = time.monotonic()
                code, _, texts, _ = self.run_case(case, boxes=0)
                self.assertEqual((code, texts), (1, []))
                self.assertLess(time.monotonic() - started, 55)

    def test_runtime_failures(self):
        for case, cls in [("abort", "EAbnormalEnd"), ("purecall", "EPureVirtualCall"),
                          ("invalid-parameter", "EInvalidParameter"), ("out-of-memory", "EOutOfMemory")]:
            with self.subTest(case):
                code, report, _, _ = self.run_case(case)
                self.assertEqual(code, 1)
                self.assertIn(f"exception class   : {cls}", report)
                self.assertStack(report, "Run()")

    def test_identical_exceptions_merge_with_a_count(self):
        code, report, _, _ = self.run_case("twice", boxes=2)
        self.assertEqual(code, 0)
        self.assertEqual(len(re.findall(r"^date/time", report, re.M)), 1, report)
        self.assertRegex(report, r"callstack crc     : \$[0-9a-f]{8}, \$[0-9a-f]{8}, \$[0-9a-f]{8}\r\ncount\s+: 2\r\n")

    def test_auto_clip_puts_the_report_on_the_clipboard(self):
        clipboard = []
        code, report, _, _ = self.run_case("autoclip", press=lambda i: clipboard.append(harness.unescape(self.driver("clipboard"))))
        self.assertEqual(code, 0)
        # On the clipboard while the dialog is up: the complete report, as it was saved.
        self.assertIn("exception message : Thrown on purpose in a window procedure.", clipboard[0])
        self.assertIn(clipboard[0], report)

    def test_filtered_class_shows_the_simple_box_and_ok_continues(self):
        code, report, texts, _ = self.run_case("edit-error", press="&OK")
        self.assertEqual(code, 0)
        self.assertEqual(self.buttons, [["&OK"]])
        # The exception's own message, broken after its first sentence; no report.
        self.assertEqual(texts, ["Field value required.\r\nEdit not saved."])
        self.assertIsNone(report)

    def test_eabort_is_silent(self):
        code, report, _, _ = self.run_case("eabort", boxes=0)
        self.assertEqual(code, 0)
        self.assertIsNone(report)

    def test_toolkit_thread_is_titled_by_its_class(self):
        code, report, _, _ = self.run_case("toolkit-thread")
        self.assertEqual(code, 1)
        # The crashed thread leads, titled by its class, with the thread that started it.
        self.assertRegex(report, r"\r\n\r\nthread \$[0-9a-f]+ \(TFaultingWorker\):\r\n")
        self.assertStack(report, "WriteThroughNull()", "TFaultingWorker::Execute()")
        self.assertIn(">> created by main thread (", report)

    def test_thread_the_program_did_not_create(self):
        code, report, _, _ = self.run_case("foreign-thread")
        self.assertEqual(code, 1)
        self.assertStack(report, "FaultingThread(void*)")
        self.assertNotIn(">> created by", report.split("main thread (")[0])

    def test_auto_restart_after_ten_quick_exceptions(self):
        # The tenth exception within the time limit: the restart button counts down (2 s
        # here) and presses itself.
        started = time.monotonic()
        code, report, _, folder = self.run_case("autorestart", boxes=10, press=lambda i: False if i == 9 else None)
        self.assertGreater(time.monotonic() - started, 2)
        self.assertEqual(code, 2)
        # Ten reports of one place, merged into one with its count.
        self.assertEqual(len(re.findall(r"^date/time", report, re.M)), 1, report)
        self.assertRegex(report, r"\r\ncount\s+: 10\r\n")
        marker = folder / "restarted.txt"
        for _ in range(200):
            if marker.exists():
                break
            time.sleep(0.1)
        self.assertEqual(marker.read_text(), "restarted with history\n")

    def test_exceptions_while_static_objects_are_made(self):
        for case, cls, function in [("static-throw", "Exception", "ThrowInStaticObject()"),
                                    ("static-fault", "EAccessViolation", "WriteThroughNull()")]:
            with self.subTest(case):
                code, report, _, _ = self.run_case(case)
                self.assertEqual(code, 1)
                self.assertIn(f"exception class   : {cls}", report)
                self.assertStack(report, function)
                # Below it the runtime's loop over the static constructors, not main.
                self.assertRegex(report, r"\r\n[0-9a-f]{8,} [^\r]* __do_global_ctors\r\n")
                self.assertNotRegex(report, r"\r\n[0-9a-f]{8,} [^\r]* main\r\n")

    def test_freeze_of_the_main_thread(self):
        frozen = "The application seems to be frozen."
        code, report, texts, folder = self.run_case("freeze", boxes=2)
        self.assertEqual(code, 0, "the program goes on after a freeze")
        self.assertEqual(texts, [frozen, frozen])
        self.assertRegex(report, r"\r\nexception message +: The application seems to be frozen\.\r\n")
        self.assertNotIn("exception class", report)
        self.assertNotIn("AntiFreezeThread", report)
        # The main thread's section leads, with the place where it stands.
        self.assertRegex(report, r"\r\n\r\nmain thread \(\$[0-9a-f]+\):[^\r]*\r\n")
        self.assertStack(report, "StayFrozen()", "FreezeAndThaw()")
        # Answered stalls never add up to a freeze; ten silent rounds of 100 ms do, and the
        # next report waits for ten rounds half as long again (after the first report ended).
        notes = [line.split() for line in (folder / "freezes.txt").read_text().splitlines()]
        self.assertEqual([phase for phase, _ in notes], ["frozen", "frozen"], notes)
        self.assertGreaterEqual(float(notes[0][1]), 850, notes)
        self.assertGreaterEqual(float(notes[1][1]), 1400, notes)
        print(f"\nfreeze reported after {notes[0][1]} ms, the next after {notes[1][1]} ms")

    def test_timing_with_five_threads(self):
        code, report, _, folder = self.run_case("timing")
        self.assertEqual(code, 1)
        self.assertEqual(len(re.findall(r"\r\n(?:main thread|thread) [^\r]*:\r\n", report)), 5, report)
        print("\n" + (folder / "timing.txt").read_text(), end="")


if __name__ == "__main__":
    unittest.main()
