"""The package builder tools/pack_installer.py, on the host (no Wine needed).

A package is the stub's bytes followed by a ZIP archive; these tests take packages apart
again with Python's zipfile and check offsets, attributes, names and the error exits.
"""

import io
import os
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.path.join(REPO, "tools", "pack_installer.py")

STUB = b"MZ" + bytes(range(256)) * 20  # anything works as a stub for the packer


def run_tool(*args):
    return subprocess.run([sys.executable, TOOL] + list(args), capture_output=True, text=True)


def end_record(data):
    pos = data.rfind(b"PK\x05\x06")
    _sig, _d, _cd, _nd, count, cd_size, cd_offset, _cl = struct.unpack_from("<4sHHHHIIH", data, pos)
    return pos, count, cd_size, cd_offset


def raw_local_offsets(data, cd_start, count):
    """Local-header offsets exactly as stored in the central directory at cd_start."""
    offsets, pos = [], cd_start
    for _ in range(count):
        assert data[pos:pos + 4] == b"PK\x01\x02"
        n, e, c = struct.unpack_from("<HHH", data, pos + 28)
        offsets.append(struct.unpack_from("<I", data, pos + 42)[0])
        pos += 46 + n + e + c
    return offsets


class PackTool(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="pack-tool-")
        self.dir = self.tmp.name
        self.stub = os.path.join(self.dir, "installer.exe")
        with open(self.stub, "wb") as f:
            f.write(STUB)
        self.payload = os.path.join(self.dir, "payload")
        self.files = {
            "installer.exe": b"recorder stand-in",
            "readme.txt": b"hello\r\n" * 10,
            "lib/app.jar": bytes(range(256)) * 40,
            "lib/deep/er/x.bin": b"\x00" * 3,
            "caf\u00e9/na\u00efve.txt": b"utf-8 name",
            "empty.txt": b"",
        }
        for name, data in self.files.items():
            path = os.path.join(self.payload, *name.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        os.makedirs(os.path.join(self.payload, "emptydir"))
        self.ro = os.path.join(self.payload, "lib", "app.jar")
        os.chmod(self.ro, stat.S_IRUSR | stat.S_IRGRP)
        os.utime(os.path.join(self.payload, "readme.txt"), (1262347200, 1262347200))  # 2010-01-01 12:00 UTC

    def tearDown(self):
        os.chmod(self.ro, stat.S_IRUSR | stat.S_IWUSR)
        self.tmp.cleanup()

    def pack(self, *extra, source=None):
        out = os.path.join(self.dir, "package.exe")
        r = run_tool("-s", self.stub, "-o", out, source or self.payload, *extra)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(out, "rb") as f:
            return f.read()

    def check_members(self, zf, method=zipfile.ZIP_DEFLATED):
        names = zf.namelist()
        self.assertEqual(names, sorted(names))
        for name, data in self.files.items():
            self.assertEqual(zf.read(name), data, name)
            info = zf.getinfo(name)
            self.assertEqual(info.compress_type, method, name)
            self.assertLessEqual(info.extract_version, 20, name)
            self.assertFalse(info.flag_bits & 0x08, "no data descriptors")
        self.assertIn("emptydir/", names)
        self.assertIn("lib/", names)
        self.assertIsNone(zf.testzip())
        # Read-only files carry the Windows read-only attribute.
        self.assertEqual(zf.getinfo("lib/app.jar").external_attr & 0xFF, 0x01)
        self.assertEqual(zf.getinfo("readme.txt").external_attr & 0x01, 0)
        # Non-ASCII names are UTF-8 and flagged; ASCII names are not flagged.
        self.assertTrue(zf.getinfo("caf\u00e9/na\u00efve.txt").flag_bits & 0x800)
        self.assertFalse(zf.getinfo("readme.txt").flag_bits & 0x800)
        # File times are kept (DOS time, local time of the packing machine).
        import time
        want = time.localtime(1262347200)[:6]
        self.assertEqual(zf.getinfo("readme.txt").date_time, tuple(want[:5]) + (want[5] // 2 * 2,))

    def test_folder_offsets_relative_to_archive(self):
        data = self.pack()
        self.assertEqual(data[:len(STUB)], STUB)
        archive = data[len(STUB):]
        self.assertEqual(archive[:4], b"PK\x03\x04")
        with zipfile.ZipFile(io.BytesIO(archive)) as zf:
            self.check_members(zf)
        # Offsets count from the archive: the first local header is at 0.
        pos, count, cd_size, cd_offset = end_record(data)
        self.assertEqual(pos - cd_size - cd_offset, len(STUB))
        self.assertEqual(min(raw_local_offsets(data, len(STUB) + cd_offset, count)), 0)

    def test_folder_corrected_offsets_read_whole_package(self):
        data = self.pack("--correct-offsets")
        pos, count, cd_size, cd_offset = end_record(data)
        self.assertEqual(pos, cd_offset + cd_size)
        self.assertEqual(min(raw_local_offsets(data, cd_offset, count)), len(STUB))
        with zipfile.ZipFile(io.BytesIO(data)) as zf:
            self.check_members(zf)
            # zipfile needed no correction of its own for this package.
            self.assertEqual(zf.getinfo("empty.txt").header_offset,
                             raw_local_offsets(data, cd_offset, count)[zf.namelist().index("empty.txt")])

    def test_corrected_and_plain_differ_only_in_offsets(self):
        plain = self.pack()
        corrected = self.pack("--correct-offsets")
        self.assertEqual(len(plain), len(corrected))
        diff = [i for i in range(len(plain)) if plain[i] != corrected[i]]
        pos, count, _size, cd_offset = end_record(corrected)
        allowed = set(range(pos + 16, pos + 20))
        p = cd_offset
        for _ in range(count):
            allowed |= set(range(p + 42, p + 46))
            n, e, c = struct.unpack_from("<HHH", corrected, p + 28)
            p += 46 + n + e + c
        self.assertTrue(set(diff) <= allowed, "only offset fields change")

    def test_store_option(self):
        data = self.pack("--store")
        with zipfile.ZipFile(io.BytesIO(data[len(STUB):])) as zf:
            self.check_members(zf, zipfile.ZIP_STORED)

    def test_deterministic(self):
        self.assertEqual(self.pack(), self.pack())

    def make_zip(self):
        path = os.path.join(self.dir, "source.zip")
        with zipfile.ZipFile(path, "w") as zf:
            zf.writestr("installer.exe", b"exe")
            zf.writestr("docs/a.txt", b"A" * 1000, compress_type=zipfile.ZIP_DEFLATED)
            zf.writestr("b.bin", bytes(range(100)))
            zf.comment = b"kept comment"
        with open(path, "rb") as f:
            return path, f.read()

    def test_zip_source_appended_verbatim(self):
        path, original = self.make_zip()
        data = self.pack(source=path)
        self.assertEqual(data, STUB + original)
        with zipfile.ZipFile(io.BytesIO(data[len(STUB):])) as zf:
            self.assertEqual(zf.read("docs/a.txt"), b"A" * 1000)
            self.assertEqual(zf.comment, b"kept comment")

    def test_zip_source_corrected(self):
        path, original = self.make_zip()
        data = self.pack("--correct-offsets", source=path)
        pos, count, cd_size, cd_offset = end_record(data)
        self.assertEqual(pos, cd_offset + cd_size)
        with zipfile.ZipFile(io.BytesIO(data)) as zf:
            self.assertEqual(zf.read("installer.exe"), b"exe")
            self.assertEqual(zf.read("b.bin"), bytes(range(100)))
            self.assertEqual(zf.read("docs/a.txt"), b"A" * 1000)
            self.assertIsNone(zf.testzip())

    def test_zip_source_that_is_already_a_package_is_refused(self):
        path, original = self.make_zip()
        prefixed = os.path.join(self.dir, "prefixed.zip")
        with open(prefixed, "wb") as f:
            f.write(b"junk" * 10 + original)
        r = run_tool("-s", self.stub, "-o", os.path.join(self.dir, "o.exe"), prefixed)
        self.assertEqual(r.returncode, 1)
        self.assertIn("in front", r.stderr)

    def test_output_inside_payload_is_not_packed(self):
        out = os.path.join(self.payload, "package.exe")
        for _ in range(2):
            r = run_tool("-s", self.stub, "-o", out, self.payload)
            self.assertEqual(r.returncode, 0, r.stderr)
        with open(out, "rb") as f:
            data = f.read()
        with zipfile.ZipFile(io.BytesIO(data[len(STUB):])) as zf:
            self.assertNotIn("package.exe", zf.namelist())

    def test_errors(self):
        out = os.path.join(self.dir, "o.exe")
        cases = [
            (["-s", os.path.join(self.dir, "missing.exe"), "-o", out, self.payload], 1, "stub not found"),
            (["-s", self.stub, "-o", out, os.path.join(self.dir, "nofolder")], 1, "source not found"),
            (["-s", self.stub, "-o", os.path.join(self.dir, "no", "such", "dir", "o.exe"), self.payload],
             1, "cannot write"),
            (["-s", self.stub, "-o", self.dir, self.payload], 1, "output is a folder"),
            (["-s", self.stub, "-o", self.stub, self.payload], 1, "overwrite the stub"),
            (["-s", self.stub, "-o", out, self.stub], 1, "not a ZIP archive"),
            (["-o", out, self.payload], 2, "--stub"),
            (["-s", self.stub, "-o", out, "--store", "--deflate", self.payload], 2, "not allowed"),
        ]
        for args, code, text in cases:
            with self.subTest(args=args):
                r = run_tool(*args)
                self.assertEqual(r.returncode, code, r.stderr)
                self.assertIn(text, r.stderr)
                self.assertFalse(os.path.exists(out), "no package after a failure")

    def test_missing_installer_refused_or_warned(self):
        os.remove(os.path.join(self.payload, "installer.exe"))
        out = os.path.join(self.dir, "o.exe")
        r = run_tool("-s", self.stub, "-o", out, self.payload)
        self.assertEqual(r.returncode, 1)
        self.assertIn("installer.exe", r.stderr)
        self.assertFalse(os.path.exists(out))
        r = run_tool("-s", self.stub, "-o", out, "--allow-missing-installer", self.payload)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("warning", r.stderr)
        self.assertTrue(os.path.exists(out))

    def test_help_names_default_and_options(self):
        r = run_tool("--help")
        self.assertEqual(r.returncode, 0)
        for word in ("--store", "--deflate", "--correct-offsets", "deflated (level 9) by default"):
            self.assertIn(word, " ".join(r.stdout.split()))


if __name__ == "__main__":
    unittest.main()
