"""Real packages under Wine: installer.exe with an appended archive, extracted and handed off.

Archives are made with Python's zipfile, Java's jar, bsdtar and 7z (stored members), put
behind the stub with tools/pack_installer.py, with offsets counted from the archive (the
normal case) and corrected to the whole file. The payload's "installer.exe" is
recorder.exe, which writes down how the stub started it.

The helpers here (Package, run_package, ...) are shared by the other test_package_*
modules.
"""

import os
import random
import shutil
import subprocess
import sys
import time
import unittest
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "harness"))  # wine.py
import wine  # noqa: E402

sys.path.insert(0, str(REPO / "tools"))
import pack_installer  # noqa: E402

BOX_TITLE = "Brevanto Installer: Error"
# Files the stub itself leaves in its temporary directory after a clean run.
STUB_FILES = {"startdir.txt"}
# Files the recorder writes there.
RECORDER_FILES = {"recorded.txt"}


def have_tool(name):
    return shutil.which(name) is not None


def sample_payload(root, recorder):
    """A small payload: the recorder as installer.exe, text, binary data, a subfolder."""
    rnd = random.Random(4)
    files = {
        "installer.exe": Path(recorder).read_bytes(),
        "readme.txt": b"Brevanto sample\r\n" * 3,
        # Longer than the 8192-byte read block, the 32 KiB copy window and two of the
        # writer's 256 KiB stages, so that its thread writes some of it.
        "data/blob.bin": rnd.randbytes(600_000),
        "data/deep/notes.txt": b"deep\n",
        "empty.txt": b"",
    }
    for name, data in files.items():
        p = Path(root, *name.split("/"))
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data)
    Path(root, "emptydir").mkdir(exist_ok=True)
    return files


def zip_with_python(payload, out, deflate=False):
    names = sorted(str(p.relative_to(payload)) for p in Path(payload).rglob("*"))
    method = zipfile.ZIP_DEFLATED if deflate else zipfile.ZIP_STORED
    with zipfile.ZipFile(out, "w", method) as zf:
        for n in names:
            zf.write(Path(payload, n), n)


def zip_with_jar(payload, out, deflate=False):
    subprocess.run(["jar", "cfM" if deflate else "cf0M", str(out), "-C", str(payload), "."],
                   check=True, capture_output=True)


def zip_with_bsdtar(payload, out, deflate=False):
    top = sorted(os.listdir(payload))
    method = "deflate" if deflate else "store"
    subprocess.run(["bsdtar", "--format", "zip", "--options", "zip:compression=" + method,
                    "-cf", str(out), "-C", str(payload)] + top, check=True, capture_output=True)


def zip_with_7z(payload, out, deflate=False):
    subprocess.run(["7z", "a", "-tzip", "-mx9" if deflate else "-mx0", str(Path(out).absolute()),
                    "*"], cwd=str(payload), check=True, capture_output=True)


PACKERS = {
    "zipfile": (zip_with_python, None),
    "jar": (zip_with_jar, "jar"),
    "bsdtar": (zip_with_bsdtar, "bsdtar"),
    "7z": (zip_with_7z, "7z"),
}


def build_package(session, work, archive, correct=False, name="package.exe"):
    """stub + archive (a ZIP file path) -> package path."""
    out = Path(work) / name
    pack_installer.build_package(str(session.program("installer.exe")), str(archive), str(out),
                                 correct=correct, allow_missing_installer=True)
    return out


def write_zip(path, members):
    """members: list of (member record or name, data)."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as zf:
        for info, data in members:
            zf.writestr(info, data)
    return path


class PackageRun:
    """One start of a package and what it left behind."""

    def __init__(self, result, temp_base, record_log):
        self.result = result
        self.temp_base = Path(temp_base)
        self.record_log = Path(record_log)

    @property
    def extract_dirs(self):
        return sorted(self.temp_base.glob("tmpqel[0-9][0-9]"))

    @property
    def extract_dir(self):
        dirs = self.extract_dirs
        return dirs[0] if dirs else None

    def wait_for_record(self, timeout=30.0):
        """The recorder's lines (dict of key -> value, argv as a list), or None."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.record_log.exists():
                text = self.record_log.read_bytes().decode("cp1252")
                if text.rstrip().endswith("end"):
                    return parse_record(text)
            time.sleep(0.2)
        return None


def parse_record(text):
    rec = {"argv": []}
    for line in text.splitlines():
        key, _, value = line.partition("=")
        if key.startswith("argv["):
            rec["argv"].append(value)
        elif key:
            rec[key] = value
    return rec


def run_package(session, work, package, tail="", env=None, timeout=60.0, box_wait=None,
                snapshot=True):
    """Start package with the command-line tail `tail`; its temp base is work/temp."""
    temp_base = Path(work) / "temp"
    temp_base.mkdir(exist_ok=True)
    record_log = Path(work) / "recorder.log"
    record_log.unlink(missing_ok=True)
    edits = {"TEMP": session.winpath(temp_base), "TMP": session.winpath(temp_base),
             "RECORDER_OUT": session.winpath(record_log)}
    edits.update(env or {})
    cmdline = '"%s"' % session.winpath(package) + (" " + tail if tail else "")
    result = session.run(cmdline, cwd=Path(work), env=edits, box_title=BOX_TITLE,
                         snapshot=[Path(work)] if snapshot else (),
                         artifacts=Path(work) / "artifacts", timeout=timeout,
                         box_wait=box_wait)
    return PackageRun(result, temp_base, record_log)


def tree(root, ignore=()):
    """{relative posix path: bytes, or None for a directory} below root."""
    out = {}
    for dirpath, dirs, files in os.walk(root):
        for d in dirs:
            rel = Path(dirpath, d).relative_to(root).as_posix()
            out[rel] = None
        for f in files:
            rel = Path(dirpath, f).relative_to(root).as_posix()
            if rel not in ignore:
                out[rel] = Path(dirpath, f).read_bytes()
    return out


class PackageTestCase(wine.WineTestCase):
    def setUp(self):
        super().setUp()
        self.recorder = self.wine.program("recorder.exe")

    def assertCleanRun(self, run, payload_files, quiet_dir=None, extra_dirs=()):
        """The run succeeded, extracted payload_files exactly and started the recorder."""
        r = run.result
        self.assertEqual(r.status, "exit", r)
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.boxes, [], "no error box on a clean run")
        rec = run.wait_for_record()
        self.assertIsNotNone(rec, "installer.exe (the recorder) was not started")
        d = run.extract_dir
        self.assertIsNotNone(d, "no tmpqelNN directory")
        got = tree(d)
        for name, data in payload_files.items():
            self.assertIn(name, got, name)
            self.assertEqual(got[name], data, "%s differs" % name)
        # installer.exe is always there: it is the recorder that reported back.
        expected = (set(payload_files) | STUB_FILES | RECORDER_FILES | set(extra_dirs) |
                    {"installer.exe"})
        for name in payload_files:
            parts = name.split("/")
            expected |= {"/".join(parts[:k]) for k in range(1, len(parts))}
        self.assertEqual(set(got) - expected, set(), "unexpected files")
        self.assertNotIn("qelpand.log", got, "the empty extraction log is removed")
        self.assertNotIn("__qelexpand.sem", got)
        self.assertEqual(rec["cwd"].lower(), self.wine.winpath(d).lower())
        if quiet_dir is None:
            self.assertEqual(len(rec["argv"]), 1, rec)
        else:
            self.assertEqual(rec["argv"][1:], ["-q", quiet_dir], rec)
            # Backslashes before the closing quote are doubled so that they arrive as typed.
            trailing = len(quiet_dir) - len(quiet_dir.rstrip("\\"))
            self.assertTrue(rec["cmdline"].endswith(' -q "%s"' % (quiet_dir + "\\" * trailing)),
                            rec["cmdline"])
        self.assertTrue(rec["argv"][0].lower().endswith("installer.exe"), rec)
        return got, rec

    def assertFailedRun(self, run):
        """The run failed: error box shown, recorder not started, temp directory cleaned up."""
        r = run.result
        self.assertEqual(r.status, "exit", r)
        self.assertEqual(r.exit_code, 0, "a failed extraction still exits 0")
        self.assertEqual(len(r.boxes), 1, r)
        self.assertTrue(r.boxes[0].strip(), "the box has a text")
        self.assertIsNone(run.wait_for_record(timeout=2), "installer.exe must not start")
        for d in run.extract_dirs:
            left = tree(d)
            self.assertEqual(left, {}, "temporary directory cleaned up: %s" % sorted(left))


class PackerFormats(PackageTestCase):
    """Every packer, offsets as they are and corrected, quiet and normal start."""

    def check_packer(self, packer, correct, deflate=False):
        make, tool = PACKERS[packer]
        if tool and not have_tool(tool):
            self.skipTest("%s not installed" % tool)
        work = self.work / ("%s-%s" % (packer, "deflated" if deflate else "stored"))
        payload = work / "payload"
        files = sample_payload(payload, self.recorder)
        archive = work / "archive.zip"
        make(payload, archive, deflate)
        package = build_package(self.wine, work, archive, correct=correct)
        run = run_package(self.wine, work, package)
        self.assertCleanRun(run, files, extra_dirs={"emptydir"})

    def test_zipfile_plain(self):
        self.check_packer("zipfile", False)

    def test_zipfile_corrected(self):
        self.check_packer("zipfile", True)

    def test_jar_plain(self):
        self.check_packer("jar", False)

    def test_jar_corrected(self):
        self.check_packer("jar", True)

    def test_bsdtar_plain(self):
        self.check_packer("bsdtar", False)

    def test_bsdtar_corrected(self):
        self.check_packer("bsdtar", True)

    def test_7z_plain(self):
        self.check_packer("7z", False)

    def test_7z_corrected(self):
        self.check_packer("7z", True)

    def test_deflated_by_every_packer(self):
        for packer in PACKERS:
            with self.subTest(packer=packer):
                self.check_packer(packer, False, deflate=True)

    def test_stub_holds_no_zip_signature(self):
        # A reader searching a package from its end must find only the appended archive's
        # records: zipfile, appending to a bare 32-bit stub, took the stub's own for one.
        image = self.wine.program("installer.exe").read_bytes()
        for sig in (b"PK\x03\x04", b"PK\x01\x02", b"PK\x05\x06"):
            self.assertNotIn(sig, image)

    def test_folder_through_pack_tool(self):
        payload = self.work / "payload"
        files = sample_payload(payload, self.recorder)
        out = self.work / "package.exe"
        pack_installer.build_package(str(self.wine.program("installer.exe")), str(payload),
                                     str(out))
        self.assertCleanRun(run_package(self.wine, self.work, out), files,
                            extra_dirs={"emptydir"})


class HandOff(PackageTestCase):
    """What installer.exe receives."""

    def package(self):
        payload = self.work / "payload"
        files = sample_payload(payload, self.recorder)
        archive = self.work / "archive.zip"
        zip_with_python(payload, archive)
        return files, build_package(self.wine, self.work, archive)

    def test_normal_start_passes_nothing(self):
        files, package = self.package()
        self.assertCleanRun(run_package(self.wine, self.work, package), files,
                            extra_dirs={"emptydir"})

    def test_quiet_start_passes_quoted_directory(self):
        files, package = self.package()
        run = run_package(self.wine, self.work, package, tail=r'-q "C:\Program Files\App"')
        self.assertCleanRun(run, files, quiet_dir=r"C:\Program Files\App",
                            extra_dirs={"emptydir"})

    def test_quiet_start_plain_directory(self):
        files, package = self.package()
        run = run_package(self.wine, self.work, package, tail=r"-q C:\Apps")
        self.assertCleanRun(run, files, quiet_dir=r"C:\Apps", extra_dirs={"emptydir"})

    def test_quiet_start_directory_with_trailing_backslash(self):
        files, package = self.package()
        run = run_package(self.wine, self.work, package, tail=r'-q "C:\Program Files\App\"')
        self.assertCleanRun(run, files, quiet_dir="C:\\Program Files\\App\\",
                            extra_dirs={"emptydir"})

    def test_lone_quiet_marker_is_not_quiet(self):
        files, package = self.package()
        run = run_package(self.wine, self.work, package, tail="-q")
        self.assertCleanRun(run, files, extra_dirs={"emptydir"})

    def test_no_installer_in_archive_starts_nothing(self):
        archive = write_zip(self.work / "a.zip", [("readme.txt", b"x")])
        package = build_package(self.wine, self.work, archive)
        run = run_package(self.wine, self.work, package)
        self.assertEqual(run.result.exit_code, 0, run.result)
        self.assertEqual(run.result.boxes, [])
        self.assertIsNone(run.wait_for_record(timeout=3))
        self.assertEqual(tree(run.extract_dir).get("readme.txt"), b"x")


def demo():
    """Pack a sample payload with the recorder as installer.exe, run it under Wine quietly
    and normally, and show what the recorder wrote down and what was extracted."""
    session = wine.session()
    root = REPO / "build" / "demo" / "package"
    shutil.rmtree(root, ignore_errors=True)
    payload = root / "payload"
    payload.mkdir(parents=True)
    Path(payload, "installer.exe").write_bytes(session.program("recorder.exe").read_bytes())
    Path(payload, "readme.txt").write_text("Brevanto demo package\n")
    Path(payload, "license.txt").write_text("Sample licence text\n")
    Path(payload, "lib").mkdir()
    Path(payload, "lib", "app.jar").write_bytes(bytes(range(256)) * 64)
    Path(payload, "lib", "config.properties").write_text("name=Demo\n")
    package = root / "DemoSetup.exe"
    stub = session.program("installer.exe")
    print("== Installer package: %s + payload folder -> %s" % (stub, package))
    pack_installer.main(["-s", str(stub), "-o", str(package), str(payload)])
    for label, tail in (("quiet start", r'-q "C:\Program Files\Demo"'), ("normal start", "")):
        work = root / label.replace(" ", "-")
        work.mkdir()
        print("\n-- %s: DemoSetup.exe %s" % (label, tail))
        run = run_package(session, work, package, tail=tail, snapshot=False)
        rec = run.wait_for_record()
        print("   stub exit code %s, error boxes: %s" % (run.result.exit_code,
                                                        run.result.boxes or "none"))
        print("   recorded.txt (written by installer.exe = recorder):")
        text = run.record_log.read_bytes().decode("cp1252") if rec else "(not started)\n"
        for line in text.splitlines():
            print("     | " + line)
        d = run.extract_dir
        print("   extracted into %s:" % (session.winpath(d) if d else "(nothing)"))
        for name, data in sorted(tree(d).items()) if d else []:
            print("     %s%s" % (name, "/" if data is None else "  (%d bytes)" % len(data)))
    print("\n(kept in %s)" % root)
    return 0


if __name__ == "__main__":
    if "--demo" in sys.argv:
        sys.exit(demo())
    unittest.main()
