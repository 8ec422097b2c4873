"""The stub's choice of temporary directory, seen from outside under Wine.

Every run here has no archive appended, so the extraction fails and the stub shows its error
box; while the box is open the worker still sits in the new directory, which the harness
snapshots. What each directory must hold is checked at that moment and after the run.
"""

import shutil
import unittest
from pathlib import Path

from stubtools import (MSG_NO_TEMP_DIR, TEXT_ENGLISH, StubTestCase, in_snapshot, numbered_dirs,
                       top_level)


class BaseOrder(StubTestCase):
    """TEMP first, then TMP; a TEMP naming nothing is passed over."""

    def setUp(self):
        super().setUp()
        self.start = self.work / "start"
        self.place_stub(self.start)
        self.temp = self.work / "temp"
        self.tmp = self.work / "tmp"
        self.temp.mkdir()
        self.tmp.mkdir()

    def assertMadeIn(self, result, base, number="tmpqel01"):
        """The run showed the box with `base`\\`number` holding "startdir.txt" meanwhile."""
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        made = in_snapshot(result.snapshot, base, number)
        self.assertEqual(made.get("startdir.txt"), self.wine.winpath(self.start).encode() + b"\r\n")
        self.assertEqual(result.exit_code, 0, result)

    def test_temp_is_used_when_it_exists(self):
        result = self.run_stub(self.start, env={"TEMP": self.temp, "TMP": self.tmp},
                               snapshot=[self.temp, self.tmp])
        self.assertMadeIn(result, self.temp)
        self.assertEqual(result.snapshot[str(self.tmp)], {})
        self.assertEqual(numbered_dirs(self.tmp), [])

    def test_tmp_is_used_when_temp_is_missing(self):
        result = self.run_stub(self.start, env={"TMP": self.tmp}, snapshot=[self.tmp])
        self.assertMadeIn(result, self.tmp)

    def test_temp_naming_a_missing_directory_is_skipped(self):
        result = self.run_stub(self.start, env={"TEMP": self.work / "absent", "TMP": self.tmp},
                               snapshot=[self.tmp])
        self.assertMadeIn(result, self.tmp)
        self.assertFalse((self.work / "absent").exists())

    def test_temp_named_outside_the_code_page_holds_the_directory(self):
        # Code page 1252 cannot spell the name: the stub reaches it by its short form.
        temp = self.work / "\u4e34\u65f6"
        temp.mkdir()
        result = self.run_stub(self.start, env={"TEMP": temp, "TMP": self.tmp},
                               snapshot=[temp, self.tmp])
        self.assertMadeIn(result, temp)
        self.assertEqual(result.snapshot[str(self.tmp)], {})

    def test_nothing_is_left_in_the_start_directory(self):
        self.run_stub(self.start, env={"TEMP": self.temp})
        self.assertEqual(sorted(p.name for p in self.start.iterdir()), ["installer.exe"])


class Leftovers(StubTestCase):
    """Numbered directories of earlier runs."""

    def setUp(self):
        super().setUp()
        self.place_start_and_temp()

    def test_leftover_holding_only_files_is_cleaned_and_reused(self):
        old = self.temp / "tmpqel01"
        (old / "empty-subdir").mkdir(parents=True)
        (old / "old.txt").write_bytes(b"from an earlier run")
        (old / "startdir.txt").write_bytes(b"Z:\\elsewhere\r\n")
        result = self.run_stub(self.start, env={"TEMP": self.temp}, snapshot=[self.temp])
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        made = top_level(in_snapshot(result.snapshot, self.temp, "tmpqel01"))
        self.assertNotIn("old.txt", made)
        self.assertNotIn("empty-subdir", made)
        self.assertEqual(made.get("startdir.txt"), self.wine.winpath(self.start).encode() + b"\r\n")
        self.assertNotIn("tmpqel02", result.snapshot[str(self.temp)])
        self.assertEqual(result.exit_code, 0)

    def test_leftover_with_a_non_empty_subdirectory_survives_and_tmpqel02_is_used(self):
        old = self.temp / "tmpqel01"
        (old / "sub").mkdir(parents=True)
        (old / "sub" / "inner.txt").write_bytes(b"inner")
        (old / "top.txt").write_bytes(b"top")
        result = self.run_stub(self.start, env={"TEMP": self.temp}, snapshot=[self.temp])
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        survivor = in_snapshot(result.snapshot, self.temp, "tmpqel01")
        self.assertEqual(survivor, {"sub": None, "sub/inner.txt": b"inner"})
        made = in_snapshot(result.snapshot, self.temp, "tmpqel02")
        self.assertEqual(made.get("startdir.txt"), self.wine.winpath(self.start).encode() + b"\r\n")
        self.assertEqual((old / "sub" / "inner.txt").read_bytes(), b"inner")
        self.assertEqual(result.exit_code, 0)

    def test_start_directory_that_is_itself_tmpqel01_is_never_cleaned(self):
        start = self.temp / "tmpqel01"
        self.place_stub(start)
        (start / "keep.txt").write_bytes(b"mine")
        result = self.run_stub(start, env={"TEMP": self.temp}, snapshot=[self.temp])
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        made = in_snapshot(result.snapshot, self.temp, "tmpqel02")
        self.assertEqual(made.get("startdir.txt"), self.wine.winpath(start).encode() + b"\r\n")
        self.assertEqual(sorted(p.name for p in start.iterdir()), ["installer.exe", "keep.txt"])
        self.assertEqual((start / "keep.txt").read_bytes(), b"mine")
        self.assertEqual(result.exit_code, 0)


def block_base(base):
    """Fill `base` with tmpqel01..99 that cannot be removed (each keeps a non-empty subdirectory)."""
    for n in range(1, 100):
        keep = Path(base) / f"tmpqel{n:02d}" / "keep"
        keep.mkdir(parents=True, exist_ok=True)
        (keep / "x.txt").write_bytes(b"x")


def unblock_base(base):
    for n in range(1, 100):
        shutil.rmtree(Path(base) / f"tmpqel{n:02d}", ignore_errors=True)


class NoUsableBase(StubTestCase):
    """Every base fails: the box is shown, the start directory gets the log line, exit code 1.

    With TEMP, TMP and the home variables removed, the bases left are the Windows directory's
    temp, tmp (absent in a fresh prefix) and the Windows directory itself, then the start
    directory; all the existing ones are filled with 99 directories that cannot be removed.
    """

    def setUp(self):
        super().setUp()
        windows = self.wine.drive_c / "windows"
        self.blocked = [windows / "temp", windows]
        self.start = self.work / "start"
        self.place_stub(self.start)
        self.blocked.append(self.start)
        for base in self.blocked:
            self.addCleanup(unblock_base, base)
            block_base(base)

    def test_no_temp_directory_gives_exit_code_1(self):
        self.assertFalse((self.wine.drive_c / "windows" / "tmp").exists())
        result = self.run_stub(self.start)
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        self.assertEqual(result.exit_code, 1, result)
        self.assertErrorsLog((self.start / "errors.log").read_bytes(), [MSG_NO_TEMP_DIR])
        self.assertEqual(sorted(p.name for p in self.start.iterdir() if p.is_file()),
                         ["errors.log", "installer.exe"])
        for base in self.blocked:
            self.assertEqual(len(numbered_dirs(base)), 99, base)
            for n in (1, 50, 99):
                self.assertEqual(sorted(p.name for p in (base / f"tmpqel{n:02d}").iterdir()),
                                 ["keep"])


if __name__ == "__main__":
    unittest.main()
