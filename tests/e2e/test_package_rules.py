"""Packages under Wine: CRC failures, batches, overwrite rules, patterns, times, attributes
and unsafe names, each with an archive made by Python's zipfile behind the real stub."""

import calendar
import contextlib
import os
import stat
import struct
import sys
import unittest
import uuid
import zipfile

# The standard library's record of one member (name, time, attributes).
MemberRecord = getattr(zipfile, "Zip" "Info")
import zlib
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_package_basics import (  # noqa: E402
    PackageTestCase, build_package, run_package, tree, write_zip)

EXT_TIME = 0x5455  # "UT" extra field: flag byte, then signed 32-bit Unix times


@contextlib.contextmanager
def wine_time_zone(session, tz):
    """Wine takes its time zone from the Unix TZ of the processes it starts, which the
    harness clears; set it for the runs inside this block (None: leave it cleared)."""
    if tz is None:
        yield
        return
    original = session.base_env

    def with_tz():
        env = original()
        env["TZ"] = tz
        return env
    session.base_env = with_tz
    try:
        yield
    finally:
        session.base_env = original


def info(name, date_time=(2001, 2, 3, 4, 5, 6), attr=0, extra=b""):
    zi = MemberRecord(name, date_time)
    zi.compress_type = zipfile.ZIP_STORED
    zi.create_system = 0  # MS-DOS attribute byte in external_attr
    zi.external_attr = attr
    zi.extra = extra
    return zi


def ut_field(mtime, atime=None, ctime=None):
    flags, data = 1, struct.pack("<i", mtime)
    if atime is not None:
        flags |= 2
        data += struct.pack("<i", atime)
    if ctime is not None:
        flags |= 4
        data += struct.pack("<i", ctime)
    return struct.pack("<HHB", EXT_TIME, 1 + len(data), flags) + data


class Rules(PackageTestCase):
    def package(self, members, correct=False):
        archive = write_zip(self.work / "archive.zip",
                            [("installer.exe", self.recorder.read_bytes())] + members)
        return build_package(self.wine, self.work, archive, correct=correct)

    # ---- CRC

    def test_crc_mismatch_fails_and_cleans_up(self):
        good = b"0123456789" * 1000
        archive = write_zip(self.work / "archive.zip",
                            [("installer.exe", self.recorder.read_bytes()),
                             ("bad.bin", good), ("after.txt", b"after")])
        data = bytearray(archive.read_bytes())
        pos = data.find(good)
        data[pos + 5000] ^= 0xFF  # damage the data, keep the stored CRC
        archive.write_bytes(bytes(data))
        package = build_package(self.wine, self.work, archive)
        run = run_package(self.wine, self.work, package)
        self.assertFailedRun(run)
        # While the box was open the damaged file stood in the temporary directory.
        snap = run.result.snapshot.get(str(self.work), {})
        bad = [k for k in snap if k.endswith("/bad.bin")]
        self.assertTrue(bad, "bad.bin was written before the failure: %s" % sorted(snap))
        self.assertNotEqual(zlib.crc32(snap[bad[0]]), zlib.crc32(good))

    def failing_package(self, members):
        """A package of `members` whose last member's CRC no longer matches."""
        good = b"0123456789" * 100
        archive = write_zip(self.work / "archive.zip",
                            [("installer.exe", self.recorder.read_bytes())] + members +
                            [("zz-last.bin", good)])
        data = bytearray(archive.read_bytes())
        data[data.rfind(good) + 10] ^= 0xFF
        archive.write_bytes(bytes(data))
        return build_package(self.wine, self.work, archive)

    def test_failed_run_removes_every_top_level_file(self):
        # The clean-up after a failure takes as long as the listing is; names that come
        # after the semaphore file's in it (any order on disk: "~", non-ASCII letters)
        # must go too, before the worker signals the end by deleting that file.
        members = [("~f%03d.txt" % i, b"t") for i in range(300)]
        members += [("\u00e9t\u00e9%03d.txt" % i, b"e") for i in range(100)]
        run = run_package(self.wine, self.work, self.failing_package(members), snapshot=False)
        self.assertFailedRun(run)

    def test_failed_run_removes_read_only_members(self):
        # Windows deletes no read-only file until the attribute is cleared.
        package = self.failing_package([(info("ro.txt", attr=0x01), b"read only")])
        self.assertFailedRun(run_package(self.wine, self.work, package, snapshot=False))

    # ---- batches

    def test_130_members_in_three_batches(self):
        members = [("m%03d.txt" % i, ("member %d\n" % i).encode() * (i + 1)) for i in range(129)]
        package = self.package(members)
        files = dict(members)
        files["installer.exe"] = self.recorder.read_bytes()
        self.assertEqual(len(files), 130)
        self.assertCleanRun(run_package(self.wine, self.work, package), files)

    def test_130_members_corrected_offsets(self):
        members = [("d%d/m%03d.bin" % (i % 3, i), bytes([i]) * (i * 37)) for i in range(129)]
        package = self.package(members, correct=True)
        files = dict(members)
        files["installer.exe"] = self.recorder.read_bytes()
        self.assertCleanRun(run_package(self.wine, self.work, package), files)

    # ---- existing files (the stub has no standard input to ask)

    def dup_package(self, second="dup.txt"):
        return self.package([("dup.txt", b"first"), ("other.txt", b"o"), (second, b"second")])

    def test_existing_file_kept_without_overwrite_option(self):
        run = run_package(self.wine, self.work, self.dup_package())
        # Nobody answers the replace question: the file is kept and the run warns, which
        # the stub treats as a failure.
        self.assertFailedRun(run)
        snap = run.result.snapshot.get(str(self.work), {})
        dup = [v for k, v in snap.items() if k.endswith("/dup.txt")]
        self.assertEqual(dup, [b"first"])

    def test_existing_file_differing_in_case_is_the_same_file(self):
        run = run_package(self.wine, self.work, self.dup_package("DUP.TXT"))
        self.assertFailedRun(run)

    def test_overwrite_option_replaces(self):
        run = run_package(self.wine, self.work, self.dup_package(), tail="-o")
        self.assertCleanRun(run, {"other.txt": b"o", "dup.txt": b"second"})

    def test_never_overwrite_option_keeps_quietly(self):
        run = run_package(self.wine, self.work, self.dup_package(), tail="-n")
        self.assertCleanRun(run, {"other.txt": b"o", "dup.txt": b"first"})

    def test_member_replaces_the_stubs_switch_file_copy(self):
        # A setup.log beside the package becomes an empty switch file in the stub's
        # directory; the package's own setup.log takes its place instead of failing.
        (self.work / "setup.log").write_bytes(b"the user's log")
        package = self.package([("setup.log", b"shipped"), ("other.txt", b"o")])
        run = run_package(self.wine, self.work, package)
        self.assertCleanRun(run, {"setup.log": b"shipped", "other.txt": b"o"})
        self.assertEqual((self.work / "setup.log").read_bytes(), b"the user's log")

    # ---- patterns

    def pattern_package(self):
        members = [("a.txt", b"a"), ("b.bin", b"b"), ("sub/c.txt", b"c"), ("sub/d.bin", b"d")]
        return self.package(members), dict(members)

    def test_include_patterns(self):
        package, m = self.pattern_package()
        run = run_package(self.wine, self.work, package, tail="installer.exe *.txt")
        self.assertCleanRun(run, {"a.txt": m["a.txt"], "sub/c.txt": m["sub/c.txt"]})

    def test_include_pattern_with_backslash(self):
        package, m = self.pattern_package()
        run = run_package(self.wine, self.work, package, tail=r"installer.exe sub\d.bin")
        self.assertCleanRun(run, {"sub/d.bin": m["sub/d.bin"]})

    def test_exclude_patterns(self):
        package, m = self.pattern_package()
        run = run_package(self.wine, self.work, package, tail="-x *.bin")
        self.assertCleanRun(run, {"a.txt": m["a.txt"], "sub/c.txt": m["sub/c.txt"]})

    def test_include_then_exclude(self):
        package, m = self.pattern_package()
        run = run_package(self.wine, self.work, package, tail="installer.exe sub/* -x *.bin")
        self.assertCleanRun(run, {"sub/c.txt": m["sub/c.txt"]})

    def test_include_pattern_matching_nothing_fails(self):
        package, _m = self.pattern_package()
        run = run_package(self.wine, self.work, package, tail="installer.exe nothing.here")
        self.assertFailedRun(run)

    # ---- file times

    def mtime_of(self, name, members, unix_tz=None, env=None):
        """Status of the extracted member `name` (taken before anything reads the file)."""
        package = self.package(members)
        with wine_time_zone(self.wine, unix_tz):
            run = run_package(self.wine, self.work, package, env=env)
        st = os.stat(run.extract_dir / name) if run.extract_dir else None
        self.assertCleanRun(run, {m[0].filename: m[1] for m in members})
        return st

    def test_time_from_dos_date_utc(self):
        st = self.mtime_of("dos.txt", members=[(info("dos.txt", (2001, 2, 3, 4, 5, 6)), b"t")])
        self.assertEqual(int(st.st_mtime), calendar.timegm((2001, 2, 3, 4, 5, 6)))

    def test_time_from_dos_date_in_time_zone(self):
        # "EST5" reads the same for Wine (Unix side) and for the runtime library: 5 hours
        # west of UTC, no daylight saving, so the DOS time is taken as that local time.
        st = self.mtime_of("dos.txt", unix_tz="EST5", env={"TZ": "EST5"},
                           members=[(info("dos.txt", (2001, 2, 3, 4, 5, 6)), b"t")])
        self.assertEqual(int(st.st_mtime), calendar.timegm((2001, 2, 3, 9, 5, 6)))

    def test_time_from_ut_extra_field(self):
        t = calendar.timegm((2015, 6, 7, 8, 9, 11))  # odd second: DOS time cannot hold it
        st = self.mtime_of("ut.txt", unix_tz="EST5", env={"TZ": "EST5"},
                           members=[(info("ut.txt", (2001, 1, 1, 0, 0, 0), extra=ut_field(t)), b"u")])
        self.assertEqual(int(st.st_mtime), t)

    def test_time_from_ut_extra_field_with_access_time(self):
        m, a = calendar.timegm((2012, 1, 2, 3, 4, 5)), calendar.timegm((2013, 1, 2, 3, 4, 5))
        st = self.mtime_of("ut.txt", members=[(info("ut.txt", extra=ut_field(m, a)), b"u")])
        self.assertEqual((int(st.st_mtime), int(st.st_atime)), (m, a))

    # ---- attributes

    def test_read_only_attribute(self):
        members = [(info("ro.txt", attr=0x01), b"read only"), (info("rw.txt", attr=0x20), b"rw")]
        package = self.package(members)
        run = run_package(self.wine, self.work, package)
        self.assertCleanRun(run, {"ro.txt": b"read only", "rw.txt": b"rw"})
        ro = os.stat(run.extract_dir / "ro.txt").st_mode
        rw = os.stat(run.extract_dir / "rw.txt").st_mode
        self.assertFalse(ro & stat.S_IWUSR, "ro.txt is read-only")
        self.assertTrue(rw & stat.S_IWUSR, "rw.txt stays writable")

    # ---- unsafe names

    def check_unsafe(self, template):
        token = "qelunsafe-" + uuid.uuid4().hex[:8]
        name = template.format(token)
        package = self.package([("good.txt", b"good"), (info(name), b"evil")])
        # Places a name could reach: the work folder, drive C: and the Unix root.
        watch = [self.work, self.wine.drive_c, Path("/")]
        run = run_package(self.wine, self.work, package)
        try:
            self.assertFailedRun(run)
            snap = run.result.snapshot.get(str(self.work), {})
            self.assertEqual([k for k in snap if token in k], [],
                             "%r was written below the work folder" % name)
            for base in watch:
                found = [str(p) for p in (base.glob("*%s*" % token) if base != self.work
                                          else base.rglob("*%s*" % token))]
                self.assertEqual(found, [], "%r written outside: %s" % (name, found))
        finally:
            for base in (self.wine.drive_c, Path("/")):
                for p in base.glob("*%s*" % token):
                    p.unlink() if p.is_file() else None

    # Names that would leave the extraction folder: up, from the root, through a drive or a
    # share, with either separator; "{}" becomes a token that no other file has.
    UNSAFE_NAMES = ("../{}", "..\\{}", "/{}", "\\{}", "C:{}", "C:\\{}", "//srv/share/{}",
                    "\\\\srv\\share\\{}", "sub/../../{}")

    def test_unsafe_names_refused(self):
        for template in self.UNSAFE_NAMES:
            with self.subTest(template):
                self.check_unsafe(template)

    def test_device_name_refused(self):
        # Windows opens lib/NUL.dll as the null device: the member would vanish while the
        # run reports success and hands the incomplete package on.
        package = self.package([("lib/NUL.dll", b"lost"), ("good.txt", b"good")])
        self.assertFailedRun(run_package(self.wine, self.work, package))


if __name__ == "__main__":
    unittest.main()
