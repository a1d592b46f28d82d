"""tools/check-test-pointers on a small repository: which pointers it finds false.

Usage: test_check_test_pointers.py PATH_TO_CHECKER
"""
import pathlib
import subprocess
import sys
import tempfile
import unittest

CHECKER = sys.argv.pop(1) if len(sys.argv) > 1 else str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "check-test-pointers")

# The test files present in every case.
PRESENT = ["tests/area/part/PartTest.cpp", "tests/area/part/OtherTest.cpp", "tests/other/LoneTest.cpp",
           "tests/area/part/data/x.txt"]

# (opening comment of area/part/Part.h, the words reported false)
CASES = [
    ("// Tests: tests/area/part/PartTest.cpp.", []),
    ("// Tests: tests/area/part/Missing.cpp.", ["tests/area/part/Missing.cpp"]),
    # A bare first name lies in the file's tests folder, a later one beside the path before it.
    ("// Tests: PartTest.cpp, OtherTest.cpp.", []),
    ("// Tests: tests/other/LoneTest.cpp, PartTest.cpp.", ["PartTest.cpp"]),
    ("// Tests: tests/area/part/data/x.txt, PartTest.cpp.", ["PartTest.cpp"]),
    # A pointer runs over lines until its sentence ends; a fuzzer named in it counts too.
    ("// Tests: tests/area/part/PartTest.cpp,\n// fuzzer: NoFuzzer.cpp.", ["NoFuzzer.cpp"]),
    ("// Fuzzer: tests/area/part/NoFuzzer.cpp.", ["tests/area/part/NoFuzzer.cpp"]),
    ("// Fuzzed elsewhere; fuzzed by tests/area/NoFuzzer.cpp.", ["tests/area/NoFuzzer.cpp"]),
    # Folders, and a file where a folder is named.
    ("// Tests: tests/area/part/ (all of them).", []),
    ("// Tests: tests/area/gone/.", ["tests/area/gone/"]),
    ("// Tests: tests/area/part/PartTest.cpp/.", ["tests/area/part/PartTest.cpp/"]),
    # Only the pointer's sentence is read, and only the opening comment.
    ("// Tests: PartTest.cpp. Built from Template.cpp.", []),
    ("// A header.\n#pragma once\n// Tests: Missing.cpp.", []),
]


class CheckTestPointers(unittest.TestCase):
    def run_checker(self, head):
        with tempfile.TemporaryDirectory() as folder:
            root = pathlib.Path(folder)
            for name in PRESENT + ["area/part/Part.h"]:
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text("")
            (root / "area/part/Part.h").write_text(head + "\n#pragma once\n")
            subprocess.run(["git", "init", "-q", folder], check=True)
            subprocess.run(["git", "-C", folder, "add", "."], check=True)
            return subprocess.run([sys.executable, CHECKER, folder], capture_output=True, text=True)

    def test_cases(self):
        for head, false_words in CASES:
            with self.subTest(head=head):
                result = self.run_checker(head)
                reported = [line.split(": ")[1] for line in result.stdout.splitlines() if line.startswith("area/")]
                self.assertEqual(reported, false_words, result.stdout)
                self.assertEqual(result.returncode, 1 if false_words else 0, result.stdout)


if __name__ == "__main__":
    unittest.main()
