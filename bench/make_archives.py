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
  runtime     a Java application's package: a bundled runtime (launchers, libraries, a
              40 MiB module image, configuration, legal notices per module) and the
              application's jars and resources, about 1,000 files (145 MB); the layout comes
              from a fixed seed, the bytes are this machine's shared libraries in name order
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


# Modules whose legal notices a runtime carries, one folder each.
JAVA_MODULES = (
    "java.base", "java.compiler", "java.datatransfer", "java.desktop", "java.instrument",
    "java.logging", "java.management", "java.management.rmi", "java.naming", "java.net.http",
    "java.prefs", "java.rmi", "java.scripting", "java.se", "java.security.jgss",
    "java.security.sasl", "java.smartcardio", "java.sql", "java.sql.rowset",
    "java.transaction.xa", "java.xml", "java.xml.crypto", "jdk.accessibility", "jdk.charsets",
    "jdk.crypto.cryptoki", "jdk.crypto.ec", "jdk.crypto.mscapi", "jdk.dynalink",
    "jdk.httpserver", "jdk.jdwp.agent", "jdk.jfr", "jdk.jsobject", "jdk.localedata",
    "jdk.management", "jdk.naming.dns", "jdk.net", "jdk.security.auth", "jdk.unsupported",
    "jdk.xml.dom", "jdk.zipfs")
LEGAL_FILES = ("LICENSE", "ASSEMBLY_EXCEPTION", "ADDITIONAL_LICENSE_INFO")


def runtime_plan():
    """(archive name, size) of a Java application's package, about 1,000 files."""
    rng = random.Random(2)  # the same layout on every run
    files = [("runtime/lib/modules", 40 * MiB), ("runtime/bin/server/jvm.dll", 9 * MiB),
             ("runtime/lib/server/classes.jsa", 13 * MiB), ("app/lib/app.jar", 3 * MiB)]
    files += [("runtime/bin/lib%02d.dll" % i, rng.randint(10 << 10, 400 << 10)) for i in range(48)]
    files += [("runtime/bin/%s.exe" % n, rng.randint(12 << 10, 40 << 10))
              for n in ("java", "javaw", "keytool", "kinit", "klist", "ktab", "rmiregistry")]
    for m in JAVA_MODULES:
        files += [("runtime/legal/%s/%s" % (m, n), rng.randint(1 << 10, 20 << 10))
                  for n in LEGAL_FILES]
        files.append(("runtime/legal/%s/%s.md" % (m, m.split(".")[-1]),
                      rng.randint(1 << 10, 8 << 10)))
    for d in ("conf", "conf/security", "conf/security/policy/limited",
              "conf/security/policy/unlimited", "conf/sdp"):
        files += [("runtime/%s/c%02d.properties" % (d, i), rng.randint(1 << 10, 30 << 10))
                  for i in range(6)]
    for d in ("lib", "lib/security", "lib/fonts", "lib/jfr"):
        files += [("runtime/%s/l%02d.dat" % (d, i), rng.randint(2 << 10, 200 << 10))
                  for i in range(16)]
    files += [("app/lib/dep%03d.jar" % i, rng.randint(5 << 10, 250 << 10)) for i in range(380)]
    for d in range(30):
        files += [("app/resources/r%02d/item%02d.png" % (d, i), rng.randint(1 << 10, 40 << 10))
                  for i in range(10)]
    return files


class LibraryBytes:
    """The bytes of this machine's shared libraries in name order, one after the other,
    from the start again when they run out."""

    def __init__(self, root="/usr/lib/x86_64-linux-gnu"):
        self.paths = [p for _, p in real_files([root], lambda n: ".so" in n)]
        self.index, self.file = 0, None

    def take(self, n):
        out = bytearray()
        while len(out) < n:
            if self.file is None:
                self.file = open(self.paths[self.index % len(self.paths)], "rb")
                self.index += 1
            part = self.file.read(n - len(out))
            if not part:
                self.file.close()
                self.file = None
            out += part
        return bytes(out)


def write_runtime(path):
    source = LibraryBytes()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6,
                         allowZip64=False) as z:
        for name, size in sorted(runtime_plan()):
            info = MemberRecord(name, date_time=(2024, 1, 2, 3, 4, 6))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            with z.open(info, "w") as out:
                for done in range(0, size, MiB):
                    out.write(source.take(min(MiB, size - done)))


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
    if real is not None or kind == "runtime":
        if kind == "runtime":
            write_runtime(path)
        else:
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
