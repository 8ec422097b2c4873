"""The stub's choice of temporary directory, seen from outside under Wine.

Most runs here have no archive appended, so the extraction fails and the stub shows its error
box; while the box is open the worker still sits in the new directory, which the harness
snapshots. What each directory must hold is checked at that moment and after the run.
"""

import struct
import time
import unittest
import zipfile
from pathlib import Path

from stubtools import MSG_NO_TEMP_DIR, TEXT_ENGLISH, StubTestCase, in_snapshot, numbered_dirs
from wine import snapshot_tree


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


def damage_last_member(stub):
    """Flip one byte in the middle of the last member's data of the archive appended to `stub`."""
    with zipfile.ZipFile(stub) as archive:
        last = archive.infolist()[-1]
    data = bytearray(Path(stub).read_bytes())
    name_len, extra_len = struct.unpack_from("<HH", data, last.header_offset + 26)
    data[last.header_offset + 30 + name_len + extra_len + last.compress_size // 2] ^= 0xFF
    Path(stub).write_bytes(bytes(data))


class Leftovers(StubTestCase):
    """Numbered directories of earlier runs: left whole while in use, else removed whole."""

    def setUp(self):
        super().setUp()
        self.place_start_and_temp()

    def test_a_running_installers_directory_keeps_every_file(self):
        package_dir = self.work / "package"
        hold = self.work / "hold"  # the installer runs while this file exists
        hold.write_bytes(b"")
        self.addCleanup(hold.unlink, missing_ok=True)
        members = {"installer.exe": self.wine.program("recorder.exe").read_bytes(),
                   "data.txt": b"data", "lib/app.jar": b"jar"}
        self.place_stub(package_dir, members)
        first = self.run_stub(package_dir, env={"TEMP": self.temp, "RECORDER_HOLD": hold},
                              artifacts_name="first")
        self.assertEqual((first.boxes, first.exit_code), ([], 0), first)
        running = self.temp / "tmpqel01"
        deadline = time.time() + 30
        while not (running / "recorded.txt").exists() and time.time() < deadline:
            time.sleep(0.1)
        before = snapshot_tree(running)
        self.assertIn("recorded.txt", before)
        # A second package starts meanwhile; its run fails and removes its own directory.
        second = self.run_stub(self.start, env={"TEMP": self.temp}, snapshot=[self.temp])
        self.assertEqual(second.box_text, TEXT_ENGLISH, second)
        made = in_snapshot(second.snapshot, self.temp, "tmpqel02")
        self.assertEqual(made.get("startdir.txt"), self.wine.winpath(self.start).encode() + b"\r\n")
        self.assertEqual(snapshot_tree(running), before)
        self.assertEqual(numbered_dirs(self.temp), ["tmpqel01"])

    def test_99_free_leftover_trees_are_removed_whole(self):
        for n in range(1, 100):
            old = self.temp / f"tmpqel{n:02d}"
            (old / "lib" / "deep").mkdir(parents=True)
            (old / "lib" / "deep" / "x.txt").write_bytes(b"x")
            (old / "empty").mkdir()
            (old / "installer.exe").write_bytes(b"ended long ago")
            (old / "startdir.txt").write_bytes(b"Z:\\elsewhere\r\n")
        read_only = self.temp / "tmpqel50" / "installer.exe"
        read_only.chmod(0o444)
        result = self.run_stub(self.start, env={"TEMP": self.temp}, snapshot=[self.temp])
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        while_shown = in_snapshot(result.snapshot, self.temp)
        self.assertEqual(sorted(while_shown), ["tmpqel01", "tmpqel01/__qelexpand.sem",
                                               "tmpqel01/errors.log", "tmpqel01/startdir.txt"])
        self.assertEqual(while_shown["tmpqel01/startdir.txt"],
                         self.wine.winpath(self.start).encode() + b"\r\n")
        self.assertEqual(list(self.temp.iterdir()), [])
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


class FailedRun(StubTestCase):
    def test_a_failed_run_leaves_nothing_at_any_depth(self):
        self.place_start_and_temp()
        stub = self.place_stub(self.start, {"lib/app.jar": b"jar " * 500,
                                            "lib/deep/x.txt": b"x " * 500,
                                            "zz-last.bin": b"0123456789" * 1000},
                               compression=zipfile.ZIP_DEFLATED)
        damage_last_member(stub)
        result = self.run_stub(self.start, env={"TEMP": self.temp}, snapshot=[self.temp])
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        extracted = in_snapshot(result.snapshot, self.temp, "tmpqel01")
        self.assertEqual(extracted.get("lib/deep/x.txt"), b"x " * 500)
        self.assertEqual(list(self.temp.iterdir()), [])
        self.assertEqual(result.exit_code, 0)


def block_base(base):
    """Fill `base` with files named tmpqel01..99: no numbered directory can be made there."""
    for n in range(1, 100):
        (Path(base) / f"tmpqel{n:02d}").write_bytes(b"x")


def unblock_base(base):
    for n in range(1, 100):
        (Path(base) / f"tmpqel{n:02d}").unlink(missing_ok=True)


class NoUsableBase(StubTestCase):
    """Every base fails: the box is shown, the start directory gets the log line, exit code 1.

    With TEMP, TMP and the home variables removed, the bases left are the Windows directory's
    temp, tmp (absent in a fresh prefix) and the Windows directory itself, then the start
    directory; all the existing ones are filled with 99 files in the numbered directories' place.
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
        self.assertEqual(sorted(p.name for p in self.start.iterdir()
                                if not p.name.startswith("tmpqel")),
                         ["errors.log", "installer.exe"])
        for base in self.blocked:
            self.assertEqual(len([p for p in base.glob("tmpqel[0-9][0-9]") if p.is_file()]), 99)


if __name__ == "__main__":
    unittest.main()
