"""The program as `make dist` makes it (stripped, its symbol table and stamp given again, signed
with osslsigncode), from this build: the signature verifies against the throwaway certificate,
the signed program starts without the "corrupt" message and its reports still name units and
functions, and a signed copy with one code byte changed says it is corrupt.
"""
import shutil
import struct
import subprocess
import sys
import unittest

from harness import BUILD, SOURCE, DriverError, E2ETest

RELEASE = BUILD / "test-artifacts" / "signed-release"
CERTIFICATE = BUILD / "signing" / "throwaway-cert.pem"
CORRUPT = 'The file "veilmark.exe" seems to be corrupt!'


def middle_of_the_code(data):
    """A file offset in the middle of the code section: library code that the start-up does not run."""
    nt = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", data, nt + 6)
    for i in range(sections):
        s = nt + 24 + optional_size + 40 * i
        if data[s:s + 5] == b".text":
            vsize, _, _, raw_at = struct.unpack_from("<IIII", data, s + 8)
            return raw_at + vsize // 2
    raise AssertionError("no code section")


class SignedReleaseTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(RELEASE, ignore_errors=True)
        subprocess.run([sys.executable, str(SOURCE / "tools" / "make-dist.py"), "--build", str(BUILD),
                        "--out", str(RELEASE / "signed")], check=True, capture_output=True, timeout=300)
        cls.signed = RELEASE / "signed" / "veilmark.exe"
        super().setUpClass()

    def test_signature_verifies_against_the_throwaway_certificate(self):
        out = subprocess.run(["osslsigncode", "verify", "-CAfile", str(CERTIFICATE), "-in", str(self.signed)],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
        self.assertIn("Signature verification: ok", out.stdout)

    def test_signed_program_starts_and_reports_with_symbols(self):
        report_file = self.signed.parent / "bugreport.txt"
        report_file.unlink(missing_ok=True)
        self.install_local_state()
        program = self.start(self.signed)
        # The check runs before the window is made; its box would hold the start up.
        hwnd = self.driver.wait("TformVeilmark")
        self.assertRaises(DriverError, self.driver.msgbox, 0)
        self.driver("fault", hwnd)
        box = self.driver.wait("TExceptionBox", "veilmark.exe")
        self.driver("press", box, "close application")
        self.assertEqual(program.wait_exit(), 1)
        report = report_file.read_bytes().decode("cp1252")
        main = report.split("\r\nmain thread (")[1].split("\r\n\r\n")[0]
        # The main thread is walked wherever the fault finds it: waiting in the message loop,
        # or answering a message sent to it. A 32-bit walk of the latter ends at the system's
        # callback entry (a known limit); our frames above it, if any, still carry symbols.
        if "TApplication::Run()" not in main and main.rstrip().endswith("KiUserCallbackDispatcher"):
            if "veilmark.exe" in main:
                self.assertRegex(main, r"veilmark\.exe\s+Form_win32\s+\d+\s+\+\d+\s+vm::TForm::WndProc\(")
            return
        self.assertRegex(main, r"veilmark\.exe\s+Application_win32\s+\d+\s+\+\d+\s+vm::TApplication::Run\(\)")
        self.assertRegex(main, r"veilmark\.exe\s+main_win32\s+\d+\s+\+\d+\s+WinMain")

    def test_signed_copy_with_a_changed_code_byte_is_corrupt(self):
        changed = RELEASE / "changed" / "veilmark.exe"
        changed.parent.mkdir(parents=True, exist_ok=True)
        data = bytearray(self.signed.read_bytes())
        data[middle_of_the_code(data)] ^= 0x01
        changed.write_bytes(data)
        program = self.start(changed)
        _, _, text = self.driver.msgbox()
        self.assertEqual(text, CORRUPT)
        self.assertTrue(program.running(), "the box waits for the user")


if __name__ == "__main__":
    unittest.main()
