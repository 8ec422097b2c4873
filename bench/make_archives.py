#!/usr/bin/env python3
"""Stored (uncompressed) ZIP archives for the benchmarks, made with zipfile.

    make_archives.py KIND PATH

KIND is one of:
  small       about 1 MiB: a few members of 100-300 KiB and 40 small ones
  large       about 1 GiB: three members of 310 MiB and 2,000 of 16-80 KiB
  many-small  about 150 MB in about 5,000 files of 1-60 KiB, 50 directories
  few-large   about 200 MB in four members of 50 MB

The data are slices of one random block repeated: quick to make, and stored members cost
the same to copy whatever their bytes (the CRC has no fast path for repeats)."""
import os
import random
import sys
import zipfile

# The standard library's record of one member (name, time, attributes).
MemberRecord = getattr(zipfile, "Zip" "Info")

BLOCK = os.urandom(1 << 20)
MiB = 1 << 20


def write_member(z, name, size, seed):
    info = MemberRecord(name, date_time=(2024, 1, 2, 3, 4, 6))
    info.compress_type = zipfile.ZIP_STORED
    info.external_attr = 0o644 << 16
    start = (seed * 7919) % len(BLOCK)
    with z.open(info, "w") as out:
        left = size
        while left > 0:
            part = BLOCK[start:start + left] if start else BLOCK[:left]
            out.write(part)
            left -= len(part)
            start = 0


def small_files(rng, count, low, high, dirs):
    for i in range(count):
        yield "d%03d/f%05d.bin" % (i % dirs, i), rng.randint(low, high)


def plan(kind):
    rng = random.Random(1)  # the same archive layout on every run
    if kind == "small":
        big = [("big%d.bin" % i, s) for i, s in enumerate((100 << 10, 200 << 10, 300 << 10))]
        return big + list(small_files(rng, 40, 1 << 10, 16 << 10, 4))
    if kind == "large":
        big = [("big%d.bin" % i, 310 * MiB) for i in range(3)]
        return big + list(small_files(rng, 2000, 16 << 10, 80 << 10, 20))
    if kind == "many-small":
        return list(small_files(rng, 5000, 1 << 10, 60 << 10, 50))
    if kind == "few-large":
        return [("large%d.bin" % i, 50_000_000) for i in range(4)]
    sys.exit("unknown kind: " + kind)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    kind, path = sys.argv[1], sys.argv[2]
    members = plan(kind)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED, allowZip64=False) as z:
        for i, (name, size) in enumerate(members):
            write_member(z, name, size, i)
    total = sum(s for _, s in members)
    print("%s: %d members, %.1f MB of data, %.1f MB archive"
          % (path, len(members), total / 1e6, os.path.getsize(path) / 1e6))


if __name__ == "__main__":
    main()
