"""NT security blocks under Wine: ombrelin.exe with and without -X on an archive whose
members carry self-relative descriptors in local "SD" blocks (stored and deflated, a
directory and files, a block that announces a descriptor but holds no data, a block of
another version). Wine accepts what is set but does not let it be read back, so these runs
check that every member is extracted and what the program reports of the descriptors.
"""

import struct
import sys
import unittest
import zipfile
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "harness"))  # wine.py
from wine import WineTestCase  # noqa: E402

# The standard library's record of one member (name, time, attributes).
MemberRecord = getattr(zipfile, "Zip" "Info")


def sid(authority, subs):
    return bytes([1, len(subs), 0, 0, 0, 0, 0, authority]) + b"".join(
        struct.pack("<I", s) for s in subs)


def descriptor():
    """Owner and group BUILTIN\\Administrators, a DACL allowing Everyone (80 bytes)."""
    admins, everyone = sid(5, [32, 544]), sid(1, [0])
    ace = struct.pack("<BBHI", 0, 0, 8 + len(everyone), 0x1F01FF) + everyone
    dacl = struct.pack("<BBHHH", 2, 0, 8 + len(ace), 1, 0) + ace
    owner = 20
    return struct.pack("<BBHIIII", 1, 0, 0x8004, owner, owner + len(admins), 0,
                       owner + 2 * len(admins)) + admins + admins + dacl


def sd_block(sd, method=0, version=0, holds_data=True):
    """A local "SD" block: announced size, version, method, CRC, then the data."""
    data = sd
    if method == 8:
        c = zlib.compressobj(9, zlib.DEFLATED, -15)
        data = c.compress(sd) + c.flush()
    body = struct.pack("<IBHI", len(sd), version, method, zlib.crc32(sd))
    if holds_data:
        body += data
    return struct.pack("<HH", 0x4453, len(body)) + body


def member(name, data, extra=b""):
    info = MemberRecord(name, (2024, 5, 6, 7, 8, 10))
    info.compress_type = zipfile.ZIP_STORED
    info.extra = extra
    if name.endswith("/"):
        info.external_attr = 0x10
    return info, data


SD = descriptor()
MEMBERS = [
    member("secure/", b"", sd_block(SD)),
    member("secure/stored.txt", b"stored descriptor", sd_block(SD)),
    member("secure/deflated.txt", b"deflated descriptor", sd_block(SD, method=8)),
    member("nodata.txt", b"announced, not there", sd_block(SD, holds_data=False)),
    member("otherversion.txt", b"version 1", sd_block(SD, version=1)),
    member("plain.txt", b"no block"),
]


class SecurityBlocks(WineTestCase):
    def extract(self, options):
        archive = self.work / "sd.zip"
        with zipfile.ZipFile(archive, "w") as zf:
            for info, data in MEMBERS:
                zf.writestr(info, data)
        out = self.work / "out"
        out.mkdir()
        cmdline = '"%s" %s "%s"' % (self.wine.winpath(self.wine.program("ombrelin.exe")),
                                    options, self.wine.winpath(archive))
        result = self.wine.run(cmdline, out, artifacts=self.work / "run")
        self.assertEqual(result.status, "exit", result)
        for info, data in MEMBERS:
            path = out / info.filename
            if info.filename.endswith("/"):
                self.assertTrue(path.is_dir(), info.filename)
            else:
                self.assertEqual(path.read_bytes(), data, info.filename)
        return result, (result.stdout + result.stderr).decode("cp1252")

    def test_with_the_security_option(self):
        result, text = self.extract("-X")
        self.assertEqual(result.exit_code, 0, text)
        self.assertEqual(text.count(" (%d bytes security)" % len(SD)), 2, text)
        self.assertIn(" compressed WinNT security data missing (1 bytes)", text)
        self.assertIn("    updated: 1 directory entries with %d bytes security" % len(SD), text)
        self.assertNotIn("failed:", text)

    def test_without_it_nothing_is_said_of_them(self):
        result, text = self.extract("")
        self.assertEqual(result.exit_code, 0, text)
        self.assertNotIn("security", text)


if __name__ == "__main__":
    unittest.main()
