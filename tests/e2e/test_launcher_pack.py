"""The packing tool's launcher step, tools/pack_launcher.py, on the host (no Wine needed): the
fields of the built launchers, the patched copy byte for byte, and every refusal.
"""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
TOOL = REPO / "tools" / "pack_launcher.py"

NAME_FIELD = b"QzjQzjVelmoraPropertiesFilename".ljust(300) + b"\0"
DIR_FIELD = b"QzyQzyVelmoraPropertiesAltDir".ljust(300) + b"\0"
# Anything with the two fields in it serves as a launcher for the tool.
LAUNCHER = b"MZ" + bytes(range(256)) * 4 + NAME_FIELD + b"\x90" * 33 + DIR_FIELD + b"end"


def run_tool(*args):
    return subprocess.run([sys.executable, str(TOOL)] + [str(a) for a in args],
                          capture_output=True, text=True)


class BuiltLaunchers(unittest.TestCase):
    def test_each_field_occurs_once_in_every_build(self):
        builds = [REPO / "build" / preset / "Velmora.exe" for preset in ("win32", "win64")]
        built = [b for b in builds if b.exists()]
        if not built:
            self.skipTest("no Windows build of Velmora.exe")
        for launcher in built:
            data = launcher.read_bytes()
            self.assertEqual((data.count(NAME_FIELD), data.count(DIR_FIELD)), (1, 1), launcher)


class PackLauncher(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="pack-launcher-")
        self.dir = Path(self.tmp.name)
        self.launcher = self.dir / "Velmora.exe"
        self.launcher.write_bytes(LAUNCHER)
        self.out = self.dir / "MyApp.exe"

    def tearDown(self):
        self.tmp.cleanup()

    def test_patches_both_fields_in_place(self):
        done = run_tool("-l", self.launcher, "-o", self.out, "-p", " app.properties",
                        "--alt-dir", "C:\\Program Files\\My App")
        self.assertEqual(done.returncode, 0, done.stderr)
        expected = (LAUNCHER.replace(NAME_FIELD, b" app.properties".ljust(300) + b"\0")
                    .replace(DIR_FIELD, b"C:\\Program Files\\My App".ljust(300) + b"\0"))
        self.assertEqual(self.out.read_bytes(), expected)
        self.assertEqual(self.launcher.read_bytes(), LAUNCHER)
        self.assertTrue(os.access(self.out, os.X_OK))

    def test_limits_are_inclusive(self):
        name, folder = "n" * 260, "\xe9" * 300  # one byte each in Windows-1252
        done = run_tool("-l", self.launcher, "-o", self.out, "-p", name, "-a", folder)
        self.assertEqual(done.returncode, 0, done.stderr)
        data = self.out.read_bytes()
        self.assertIn(name.encode().ljust(300) + b"\0", data)
        self.assertIn(b"\xe9" * 300 + b"\0", data)

    def test_refusals(self):
        patched = self.dir / "patched.exe"
        patched.write_bytes(LAUNCHER.replace(NAME_FIELD, b"app".ljust(300) + b"\0"))
        twice = self.dir / "twice.exe"
        twice.write_bytes(LAUNCHER + NAME_FIELD)
        rows = [
            ("name too long", ["-p", "n" * 261], "at most 260"),
            ("directory too long", ["-p", "a", "-a", "d" * 301], "at most 300"),
            ("trailing space", ["-p", "app.properties "], "ends in a space"),
            ("empty name", ["-p", ""], "is empty"),
            ("control character", ["-p", "a\tb"], "control character"),
            ("outside Windows-1252", ["-p", "\u4e2d.properties"], "outside Windows-1252"),
            ("marker text", ["-p", "QzjQzjVelmoraPropertiesFilename.x"], "marker"),
            ("already patched", ["-p", "a", "-l", patched], "not found"),
            ("field twice", ["-p", "a", "-l", twice], "found 2 times"),
            ("output is the launcher", ["-p", "a", "-o", self.launcher], "overwrite"),
        ]
        for label, args, message in rows:
            with self.subTest(label):
                self.out.unlink(missing_ok=True)
                options = {"-l": self.launcher, "-o": self.out}
                for i in range(0, len(args), 2):
                    options[args[i]] = args[i + 1]
                done = run_tool(*[x for item in options.items() for x in item])
                self.assertEqual(done.returncode, 1, done.stderr)
                self.assertIn(message, done.stderr)
                self.assertFalse(self.out.exists())
                self.assertEqual(self.launcher.read_bytes(), LAUNCHER)

    def test_help(self):
        done = run_tool("--help")
        self.assertEqual(done.returncode, 0)
        self.assertIn("--alt-dir", done.stdout)


if __name__ == "__main__":
    unittest.main()
