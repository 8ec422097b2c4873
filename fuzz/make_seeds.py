#!/usr/bin/env python3
"""Writes the seeds of the fuzz targets:

    make_seeds.py ARCHIVE_DIR [STREAM_DIR [LAUNCHER_DIR]]

ARCHIVE_DIR gets fuzz_archive's inputs: two mode bytes (bit 0 test only, 1 old FAT volume,
2 code page 932, 3 overwrite, ..., 8 a full disk; see fuzz_archive.cpp) and an archive:
every archive of tests/corpus/archives, and small archives made here with zipfile (stored and deflated
members, one with an executable-like prefix in front). STREAM_DIR gets fuzz_inflate's inputs: raw
Deflate streams made by zlib from texts and binaries at several levels and strategies,
and a few made by hand. LAUNCHER_DIR gets fuzz_launcher's inputs: a mode byte (0 a
properties file, 1 an argument string, 2 and 3 the same with tracing on, 4 version texts) and
the text."""
import io
import os
import struct
import sys
import warnings
import zipfile
import zlib

# The standard library's record of one member (name, time, attributes).
MemberRecord = getattr(zipfile, "Zip" "Info")

warnings.simplefilter("ignore")  # the duplicate-name seed is meant

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "tests", "corpus", "archives")
SKIP = {"MANIFEST.tsv", "README.md"}


class Unseekable(io.RawIOBase):
    """A write-only stream: zipfile then writes data descriptors after the data."""

    def __init__(self):
        self.buf = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.buf += b
        return len(b)


def zip_bytes(members, comment=b"", prefix=b"", stream=None):
    out = stream if stream is not None else io.BytesIO()
    out.write(prefix)
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
        z.comment = comment
        for m in members:
            if isinstance(m, tuple):
                info, data = m
                z.writestr(info, data)
            else:
                z.writestr(m, b"")
    return bytes(out.buf) if stream is not None else out.getvalue()


def info(name, **kw):
    i = MemberRecord(name, date_time=(2021, 3, 4, 5, 6, 8))
    i.compress_type = zipfile.ZIP_STORED
    for k, v in kw.items():
        setattr(i, k, v)
    return i


def made_here():
    text = b"line one\r\nline two\nline three\r" * 20
    big = bytes((i * 7 + (i >> 9)) & 0xFF for i in range(40000))  # crosses 8 KiB and 32 KiB
    ut = struct.pack("<HHBiii", 0x5455, 13, 7, 1600000000, 1600000001, 1600000002)
    yield "single", zip_bytes([(info("hello.txt"), b"hello, world\n")])
    yield "tree", zip_bytes([
        (info("dir/"), b""),
        (info("dir/sub/"), b""),
        (info("dir/sub/a.txt", internal_attr=1), text),
        (info("dir/b.bin"), big),
        (info("installer.exe"), b"MZ" + bytes(62)),
    ])
    yield "empty", zip_bytes([])
    yield "comment", zip_bytes([(info("c.txt"), b"c")], comment=b"package comment\x1b\x13\r\n")
    # A stub in front: offsets counted from the archive's own start, as the packer leaves
    # them, and offsets corrected for the stub.
    stub = b"MZ\x90\x00" + bytes(60) + b"PE\x00\x00" + bytes(444)
    packed = [(info("p/one.txt"), b"one"), (info("p/two.txt"), b"two" * 100)]
    yield "prefix", stub + zip_bytes(packed)
    yield "prefix_corrected", zip_bytes(packed, prefix=stub)
    yield "descriptor", zip_bytes([(info("dd.txt"), b"data after which a descriptor follows")],
                                  stream=Unseekable())
    yield "times", zip_bytes([(info("t.txt", extra=ut), b"time stamps")])
    yield "utf8", zip_bytes([(info("d\u00e9j\u00e0/\u00fcber.txt"), b"utf-8 name")])
    yield "readonly", zip_bytes([(info("ro.txt", external_attr=0x21, create_system=0), b"ro")])
    yield "traversal", zip_bytes([(info("../escape.txt"), b"x"), (info("ok.txt"), b"y")])
    yield "duplicate", zip_bytes([(info("same.txt"), b"first"), (info("same.txt"), b"second")])
    yield "long_component", zip_bytes([
        (info("d/" + "x" * 256), b"component longer than 255"),
        (info("e/" + "y" * 240 + ".longextension"), b"8.3 cut"),
        (info("f/.profile name.txt"), b"dot name"),
        (info("g/a b;1"), b"version suffix"),
    ])
    # Names in code page 932: a lead byte followed by "\" or "/" (bytes patched in, since
    # zipfile writes non-ASCII names as UTF-8).
    dbcs = zip_bytes([(info("k@@dir/a.txt"), b"dbcs"), (info("m@@..@@x.txt"), b"dbcs")])
    yield "dbcs", dbcs.replace(b"k@@", b"k\x81\\").replace(b"m@@..@@", b"m\x81/..\x81/")
    for level in (1, 6, 9):
        z = io.BytesIO()
        with zipfile.ZipFile(z, "w", zipfile.ZIP_DEFLATED, compresslevel=level) as zf:
            zf.writestr("deflated.txt", b"abc" * 1000)
            zf.writestr("dir/text.txt", text * 50)
            zf.writestr("dir/big.bin", big * 3)  # matches across the window's halves
            zf.writestr("empty.txt", b"")
        yield "deflated%d" % level, z.getvalue()
    # Members with NT security blocks: a directory, a stored and a deflated descriptor, and
    # a block that announces one but holds nothing (fuzz_archive's mode 128 applies them).
    sd = bytes.fromhex("0100048014000000240000000000000034000000010200000000000520000000"
                       "200200000102000000000005200000002002000002001c000100000000001400"
                       "ff011f00010100000000000100000000")  # owner, group, a DACL: 80 bytes
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = c.compress(sd) + c.flush()

    def sd_block(method, data, holds=True):
        body = struct.pack("<IBHI", len(sd), 0, method, zlib.crc32(sd)) + (data if holds else b"")
        return struct.pack("<HH", 0x4453, len(body)) + body
    yield "security", zip_bytes([
        (info("sec/", external_attr=0x10, extra=sd_block(0, sd)), b""),
        (info("sec/s.txt", extra=sd_block(0, sd)), b"stored descriptor"),
        (info("sec/d.txt", extra=sd_block(8, packed)), b"deflated descriptor"),
        (info("none.txt", extra=sd_block(0, sd, holds=False)), b"no data"),
    ])
    yield "deflated_descriptor", zip_bytes([(info("dd.bin", compress_type=zipfile.ZIP_DEFLATED),
                                             big)], stream=Unseekable())


def raw_deflate(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    return c.compress(data) + c.flush()


def streams():
    """Raw Deflate streams for fuzz_inflate."""
    text = open(os.path.join(HERE, "fuzz_archive.cpp"), "rb").read()
    binary = open(sys.executable, "rb").read()[:200000]
    noise = bytes((i * 2654435761 >> 13) & 0xFF for i in range(70000))
    for name, data in (("text", text), ("binary", binary), ("noise", noise)):
        for level in (0, 1, 6, 9):
            yield "%s%d" % (name, level), raw_deflate(data, level)
        for sname in ("Z_FILTERED", "Z_HUFFMAN_ONLY", "Z_RLE", "Z_FIXED"):
            yield "%s_%s" % (name, sname), raw_deflate(data, 6, getattr(zlib, sname))
    yield "stored_empty", bytes([1, 0, 0, 0xFF, 0xFF])
    yield "short_end", bytes.fromhex("15e6810dc0300cc330dccaff9f904d39dd4c")


def launcher_inputs():
    """Properties files and argument strings for fuzz_launcher, each with tracing off and on:
    short ones, and ones at the limits (a line of 9998 characters, the longest read whole, and
    one past it; args of 5000 characters, as many as the buffer holds, and one more); and
    version texts (bounds and a version, line by line, also read as a release file)."""
    properties = (b"programName=Demo\r\nexecFilename=C:\\\\jre\\\\bin\\\\javaw.exe\r\n"
                  b'args=-cp a "b c"\\\r\nstartDir=\r\njvmMinVersion=1.4\r\nprogramName=\n')
    longest_line = b"programName=" + b"p" * (9998 - 12)
    at_limits = [b"args=" + b"a" * 5000 + b"\n", b"args=" + b"a b " * 1250 + b"x\n",
                 longest_line + b"\nargs=x\n", longest_line + b"q\n"]
    args = b'-cp lib\\app.jar "a b"c  d "e\tf'
    long_args = b'"a b" ' * 833 + b"xy"  # 5000 bytes
    for mode in (0, 2):
        yield "properties-%d" % mode, bytes([mode]) + properties
        for i, text in enumerate(at_limits):
            yield "properties-limit%d-%d" % (i, mode), bytes([mode]) + text
    for mode in (1, 3):
        yield "args-%d" % mode, bytes([mode]) + args
        yield "args-limit-%d" % mode, bytes([mode]) + long_args + b"z"
    versions = [b"\n1.8\n\n11.0.2+9", b"21\n\n\n21.0.5.11", b"\n1.8.0_60\n1.8\n1.8.0_451",
                b"\n11\n17\n17.0.2-ea", b'JAVA_VERSION="17.0.2"\n1.9\n\n1.10',
                b"\n99999999999999999999.1\n\n1..2"]
    for i, text in enumerate(versions):
        yield "versions-%d" % i, bytes([4]) + text


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    seeds = []
    for name in sorted(os.listdir(CORPUS)):
        if name not in SKIP:
            with open(os.path.join(CORPUS, name), "rb") as f:
                seeds.append((name, f.read(), (0, 1)))
    # 256: the disk is full from the start; 256 + (2 << 9): after 8 KiB.
    disk_full = (256, 256 + (2 << 9))
    seeds.extend((name, data, (0, 1, 2, 4, 8, 6, 128) + disk_full) for name, data in made_here())
    count = 0
    for name, data, modes in seeds:
        for mode in modes:
            with open(os.path.join(out, "%s.%d" % (name, mode)), "wb") as f:
                f.write(struct.pack("<H", mode) + data)
            count += 1
    print("%d seeds in %s" % (count, out))
    for arg, made in zip(sys.argv[2:], (streams(), launcher_inputs())):
        os.makedirs(arg, exist_ok=True)
        n = 0
        for name, data in made:
            with open(os.path.join(arg, name), "wb") as f:
                f.write(data)
            n += 1
        print("%d inputs in %s" % (n, arg))


if __name__ == "__main__":
    main()
