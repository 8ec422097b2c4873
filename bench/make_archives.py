#!/usr/bin/env python3
"""ZIP archives for the benchmarks, made with zipfile.

    make_archives.py KIND PATH

KIND is one of (stored, of generated data):
  small       about 1 MiB: a few members of 100-300 KiB and 40 small ones
  large       about 1 GiB: three members of 310 MiB and 2,000 of 16-80 KiB
  many-small  about 150 MB in about 5,000 files of 1-60 KiB, 50 directories
  few-large   about 200 MB in four members of 50 MB
or (deflated at level 6, zipfile's default, of this machine's real files):
  text        about 100 MB of text: C headers, documentation, Python sources
  binaries    about 100 MB of shared libraries and programs (each at most 16 MiB)
  tree        the first 5,000 files of at most 256 KiB of /usr/lib/x86_64-linux-gnu and
              /usr/share in name order, with their directories (about 200 MB)
  small-deflated, large-deflated
              the small and large kinds' layouts, deflated at level 1 (the data hardly
              shrink, so the archives keep about their sizes)

The generated data are slices of one random block repeated: quick to make, and stored
members cost the same to copy whatever their bytes (the CRC has no fast path for repeats).
Real files are taken in name order, so that an archive is the same on every run of one
machine."""
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


TEXT = (".h", ".hpp", ".txt", ".py", ".md", ".rst", ".html", ".xml", ".c", ".pl", ".sh")


def real_files(roots, keep, limit_bytes=None, limit_files=None, max_size=16 * MiB):
    """(archive name, path) of regular files below roots, in name order, until a limit."""
    total = count = 0
    for root in roots:
        for dirpath, dirs, names in os.walk(root):
            dirs.sort()
            for n in sorted(names):
                path = os.path.join(dirpath, n)
                if not os.path.isfile(path) or os.path.islink(path) or not keep(n):
                    continue
                try:
                    size = os.path.getsize(path)
                    if size > max_size or not os.access(path, os.R_OK):
                        continue
                except OSError:
                    continue
                yield path.lstrip("/"), path
                total += size
                count += 1
                if (limit_bytes and total >= limit_bytes) or (limit_files and count >= limit_files):
                    return


def real_plan(kind):
    if kind == "text":
        return real_files(["/usr/include", "/usr/share/doc", "/usr/lib/python3"],
                          lambda n: n.endswith(TEXT), limit_bytes=100_000_000)
    if kind == "binaries":
        return real_files(["/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/lib"],
                          lambda n: ".so" in n or "." not in n, limit_bytes=100_000_000)
    if kind == "tree":
        return real_files(["/usr/lib/x86_64-linux-gnu", "/usr/share"], lambda n: True,
                          limit_files=5000, max_size=256 << 10)
    return None


def write_real(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6,
                         allowZip64=False) as z:
        dirs = set()
        for name, source in files:
            parent = os.path.dirname(name)
            while parent and parent not in dirs:
                dirs.add(parent)
                parent = os.path.dirname(parent)
            z.write(source, name)
        for d in sorted(dirs):
            z.writestr(d + "/", b"")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    kind, path = sys.argv[1], sys.argv[2]
    real = real_plan(kind)
    if real is not None:
        write_real(path, real)
        with zipfile.ZipFile(path) as z:
            infos = z.infolist()
        total, count = sum(i.file_size for i in infos), len(infos)
    else:
        deflated = kind.endswith("-deflated")
        members = plan(kind[:-len("-deflated")] if deflated else kind)
        method = zipfile.ZIP_DEFLATED if deflated else zipfile.ZIP_STORED
        with zipfile.ZipFile(path, "w", method, compresslevel=1, allowZip64=False) as z:
            for i, (name, size) in enumerate(members):
                write_member(z, name, size, i)
        total, count = sum(s for _, s in members), len(members)
    print("%s: %d members, %.1f MB of data, %.1f MB archive"
          % (path, count, total / 1e6, os.path.getsize(path) / 1e6))


if __name__ == "__main__":
    main()
