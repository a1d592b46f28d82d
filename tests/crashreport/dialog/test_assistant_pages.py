"""The send assistant's pages under Wine: assistantrun.exe runs them over a real record, the
driver works them as a user would, and the program's output shows what reached the record.
"""
import os
import pathlib
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "e2e"))
import harness  # noqa: E402

PROGRAM = pathlib.Path(os.environ["VM_ASSISTANTRUN"])
CONTACT_KEY = r"HKCU\Software\Kelvorn\ContactForm"


def small_bmp(width, height, bgr):
    """A 24-bit BMP of one colour."""
    row = bytes(bgr) * width
    row += b"\0" * (-len(row) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


class Run:
    """One run of the program; its output is read when it has ended."""

    def __init__(self, test):
        self.proc = subprocess.Popen([harness.WINE_RUN, str(PROGRAM)], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, encoding="cp1252")
        test.addCleanup(self.kill)
        first = self.proc.stdout.readline().strip()
        test.assertTrue(first.startswith("temp="), first)
        self.temp = first[len("temp="):]

    def finish(self):
        out, _ = self.proc.communicate(timeout=60)
        values, headers, sections = {}, {}, {}
        for line in out.splitlines():
            key, _, value = line.partition("=")
            if key.startswith("header:"):
                headers[key[7:]] = value
            elif key.startswith("section:"):
                sections[key[8:]] = value
            else:
                values[key] = value
        return values, headers, sections

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=30)
            harness.wine("taskkill", "/f", "/im", PROGRAM.name, check=False)


class AssistantPages(harness.E2ETest):
    def setUp(self):
        harness.reg_delete(CONTACT_KEY)
        self.addCleanup(harness.reg_delete, CONTACT_KEY)

    def page(self, headline, previous=None):
        """The page window showing `headline`, with its controls by kind in creation order."""
        deadline = time.time() + 30
        while time.time() < deadline:
            hwnd = self.driver.wait("TNVForm", "Send Assistant", 30000)
            if hwnd != previous:
                rows = self.driver.children(hwnd)
                if any(r["text"] == headline for r in rows):
                    return hwnd, rows
            time.sleep(0.2)
        self.fail(f"no page {headline!r}")

    @staticmethod
    def of(rows, cls, text=None):
        return [r for r in rows if r["cls"] == cls and (text is None or r["text"] == text)]

    def button(self, rows, caption):
        return self.of(rows, "Button", caption)[0]["hwnd"]

    def type_details(self, memo):
        """Puts two lines into the details memo; a multi-line edit tells its parent of a
        change only when typed into, so the last character comes from the keyboard."""
        self.driver("settext", memo, r"I pressed Change.\r\nThen it failed")
        harness.keys("ctrl+End", "period")
        deadline = time.time() + 10
        while self.driver.text(memo) != "I pressed Change.\r\nThen it failed." and time.time() < deadline:
            time.sleep(0.1)

    def test_contact_page_checks_the_address_and_remembers_it_for_the_next_run(self):
        run = Run(self)
        hwnd, rows = self.page("Contact Information")
        parent = self.driver.wait("AssistantRunParent", "Assistant run")
        self.assertFalse(self.driver.enabled(parent), "the parent is disabled while the assistant runs")
        name, email = [r["hwnd"] for r in self.of(rows, "Edit")]
        cont = self.button(rows, "Continue")
        self.assertFalse(self.driver.enabled(cont), "the address is required")
        self.assertFalse(self.driver.enabled(self.button(rows, "Skip")), "this page cannot be skipped")
        for bad in ("jane@examplecom", "jane doe@example.com", "@example.com"):
            self.driver("settext", email, bad)
            self.driver("sleep", 100)
            self.assertFalse(self.driver.enabled(cont), bad)
        harness.screenshot("assistant-contact-invalid")
        self.driver("settext", name, "Jane Doe")
        self.driver("settext", email, "jane@example.com")
        self.driver("check", self.of(rows, "Button", "remember me")[0]["hwnd"], 1)
        self.driver("sleep", 100)
        self.assertTrue(self.driver.enabled(cont))
        harness.screenshot("assistant-contact-valid")
        self.driver("click", cont)

        hwnd, rows = self.page("Error Details", hwnd)
        memo = self.of(rows, "Edit")[0]["hwnd"]
        self.assertFalse(self.driver.enabled(self.button(rows, "Continue")), "the details are required")
        self.type_details(memo)
        harness.screenshot("assistant-details")
        self.driver("click", self.button(rows, "Skip"))

        hwnd, rows = self.page("Screenshot Configuration", hwnd)
        harness.screenshot("assistant-screenshot")
        self.driver("check", self.of(rows, "Button", "attach a screenshot to the bug report")[0]["hwnd"], 0)
        self.driver("click", self.button(rows, "Continue"))

        values, headers, sections = run.finish()
        self.assertEqual(values["result"], "1")
        self.assertEqual(values["parent"], "1", "the parent is enabled again")
        self.assertEqual(values["mailfrom"], "Jane Doe <jane@example.com>")
        self.assertEqual(values["attach"], "0")
        self.assertEqual(headers.get("contact name"), "Jane Doe")
        self.assertEqual(headers.get("contact email"), "jane@example.com")
        self.assertNotIn("error details", sections, "the details page was skipped")
        self.assertIn("jane@example.com", harness.reg_query(CONTACT_KEY, "RememberEmail") or "")
        self.assertIn("Jane Doe", harness.reg_query(CONTACT_KEY, "RememberName") or "")

        # The next run starts with what was remembered, the focus on Continue; "remember me"
        # taken off forgets both values as the page closes; Cancel on the details page ends
        # the assistant and nothing reaches the report.
        run = Run(self)
        hwnd, rows = self.page("Contact Information")
        name, email = [r["hwnd"] for r in self.of(rows, "Edit")]
        self.assertEqual(self.driver.text(name), "Jane Doe")
        self.assertEqual(self.driver.text(email), "jane@example.com")
        self.assertEqual(self.driver("state", self.of(rows, "Button", "remember me")[0]["hwnd"]).split("\t")[0], "1")
        self.assertTrue(self.driver.enabled(self.button(rows, "Continue")))
        harness.screenshot("assistant-contact-remembered")
        self.driver("check", self.of(rows, "Button", "remember me")[0]["hwnd"], 0)
        self.driver("click", self.button(rows, "Continue"))
        hwnd, rows = self.page("Error Details", hwnd)
        self.driver("settext", self.of(rows, "Edit")[0]["hwnd"], "typed, then cancelled")
        self.driver("click", self.button(rows, "Cancel"))
        values, headers, sections = run.finish()
        self.assertEqual(values["result"], "3")
        self.assertNotIn("contact email", headers, "cancelled: the contact page's values stay out")
        self.assertNotIn("error details", sections)
        self.assertIsNone(harness.reg_query(CONTACT_KEY, "RememberEmail"), "not remembered any more")
        self.assertIsNone(harness.reg_query(CONTACT_KEY, "RememberName"))

    def test_details_go_into_a_section_and_an_edited_screenshot_comes_back(self):
        run = Run(self)
        hwnd, rows = self.page("Contact Information")
        self.driver("settext", self.of(rows, "Edit")[1]["hwnd"], "jane@example.com")
        self.driver("click", self.button(rows, "Continue"))
        hwnd, rows = self.page("Error Details", hwnd)
        self.type_details(self.of(rows, "Edit")[0]["hwnd"])
        self.driver("click", self.button(rows, "Continue"))
        hwnd, rows = self.page("Screenshot Configuration", hwnd)
        image = [r for r in rows if r["cls"] == "Static" and r["text"] == ""][0]["hwnd"]
        # The click writes the picture for the editor; no editor is registered in the test
        # prefix, so the user hears a beep and the file stays until the page closes.
        self.driver("click", image)
        edited = harness.unix_path(run.temp) / "screenShot.bmp"
        deadline = time.time() + 10
        while not edited.exists() and time.time() < deadline:
            time.sleep(0.1)
        self.assertTrue(edited.exists(), "the picture is written for the editor")
        time.sleep(1.1)  # a later modification time than the page noted
        edited.write_bytes(small_bmp(64, 40, (0, 0, 255)))
        time.sleep(1)  # several timer ticks
        harness.screenshot("assistant-screenshot-edited")
        self.driver("click", self.button(rows, "Continue"))
        values, headers, sections = run.finish()
        self.assertEqual(values["result"], "1")
        self.assertEqual(values["screenshot"], "64x40", "the edited file became the record's screenshot")
        self.assertEqual(values["attach"], "1")
        self.assertEqual(sections.get("error details"), r"I pressed Change.\nThen it failed.")
        self.assertNotIn("error details", headers)
        self.assertFalse(edited.exists(), "the file goes when the page closes")
        self.assertEqual(values["mailfrom"], "", "no name: the sender stays as the settings have it")


if __name__ == "__main__":
    unittest.main()
