#!/usr/bin/env python3
"""Run the engine's console driver over the public ZIP corpus and compare with MANIFEST.tsv.

Every archive is extracted by the driver `ombrelin` (no options: everything, as the stub
does) in a fresh empty directory of its own, nested deep enough that a name climbing out
with "../" still lands inside a sandbox we can inspect. Per member, the verdict of the
manifest says what must be on disk afterwards; per archive, the verdicts bound the
driver's exit code (the engine's result code):

  yes                      file (or directory) exists, CRC-32 and size match
  broken-crc               file exists; result >= 2
  broken-no-local-header,
  broken-path-conflict,
  broken-cannot-create,
  broken-deflate           nothing with the member's content; result >= 2
  refuse-unsafe-path       nothing written for it, nothing outside the directory; result >= 2
  skip-existing            the earlier member's file stays; result >= 1
  skip-version/-method/
  -encrypted               not extracted; result != 0
  skip-zip64, unreadable   nothing written at all; result != 0
  locale-dependent         only "nothing outside the directory" is checked (see below)

An archive whose members are all "yes" must give result 0 exactly. Files that no member
accounts for are reported too.

Members are found on disk by their content (size and CRC-32), not by name: the names
are the engine's to map (its unit and package tests check the mapping), and mapping them
here a second time would only repeat it. A directory member counts as there when as many
directories exist as the archive has such members.

Usage:
  check_corpus.py [--driver build/host/ombrelin]             host build
  check_corpus.py --wine --driver build/win64/ombrelin.exe   Windows build under Wine
Exit status 0 when every member matches, 1 on any mismatch, 2 on a usage problem.
"""

import argparse
import collections
import os
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
# The archives and their manifest, kept in the repository (README.md there names each source).
CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "archives")

# Differences between the host build (Linux file system through the host stand-ins) and
# Windows that the checker knows about, with the reason for each. Under Wine none of them
# applies: Wine looks up names without regard to case, as Windows does.
HOST_DIFFERENCES = [
    ("case-sensitive names",
     "Linux keeps A.txt and a.txt apart where NTFS finds the first one: a skip-existing "
     "member whose name differs from the earlier one only in case is written as a file of "
     "its own on the host, so it is expected there as 'yes'."),
    ("attributes and times",
     "the host stand-in records attributes instead of setting them, so neither read-only "
     "files nor file times are checked here (the Wine package tests check them)."),
]

# Archives whose size fields understate the data: the engine checks only the CRC and
# writes every byte, so the file is longer than the manifest's size.
SIZE_UNDERSTATED = {
    "libarchive-test_read_format_zip_size_exceeds_declared_stored.zip",
    "libarchive-test_read_format_zip_size_exceeds_declared_deflate.zip",
}

# Archives where the manifest and the engine's path-mapping rules part ways, with the
# outcome the rules give; either outcome is accepted, and the run says which one it saw.
ALTERNATIVES = {
    "commons-compress-long-name.zip": {
        "why": "the 258-byte name is one component that Windows refuses as too long "
               "(ERROR_FILENAME_EXCED_RANGE), and a refused component is written in its "
               "8.3 form: the file becomes 'aaaaaaaa' and the result is 1 (the name-"
               "truncated warning); the manifest expects the create to fail",
        "result": 1,
        "files": {b"aaaaaaaa"},
    },
}

GPF_UTF8 = 0x800


# ---------------------------------------------------------------------------------------
# Manifest and archive reading

Member = collections.namedtuple(
    "Member", "index name method size crc verdict raw_name flag_bits create_system "
              "create_version")


def unescape(text):
    return text.replace("\\t", "\t").replace("\\r", "\r").replace("\\n", "\n").replace("\\\\", "\\")


def read_manifest(path):
    archives = collections.OrderedDict()
    with open(path, encoding="utf-8") as f:
        header = f.readline().rstrip("\n").split("\t")
        for line in f:
            if not line.strip():
                continue
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            archives.setdefault(row["archive"], []).append(row)
    return archives


def local_name(data, info):
    """Raw name bytes of the member's local header (the name the engine maps), or None."""
    pos = info.header_offset
    if pos < 0 or data[pos:pos + 4] != b"PK\x03\x04":
        return None
    n, = struct.unpack_from("<H", data, pos + 26)
    return data[pos + 30:pos + 30 + n]


def central_name(info):
    if info.flag_bits & GPF_UTF8:
        return info.orig_filename.encode("utf-8", "surrogateescape")
    return info.orig_filename.encode("cp437")


def load_members(archive_path, rows):
    """Manifest rows joined with the raw names and flags of the central directory."""
    if rows[0]["member"] == "-" and rows[0]["method"] == "-":
        return [Member(0, None, None, None, None, rows[0]["verdict"], None, 0, 0, 0)]
    with open(archive_path, "rb") as f:
        data = f.read()
    infos = []
    try:
        with zipfile.ZipFile(archive_path) as zf:
            infos = zf.infolist()
    except (zipfile.BadZipFile, OSError):
        pass
    members = []
    for i, row in enumerate(rows):
        info = infos[i] if i < len(infos) else None
        raw = None
        if info is not None:
            raw = local_name(data, info) or central_name(info)
        else:
            # zipfile lists fewer members than the manifest: fall back to the listed name.
            raw = unescape(row["member"]).encode("utf-8")
        members.append(Member(
            i, unescape(row["member"]), int(row["method"]), int(row["size"]),
            int(row["crc32"], 16), row["verdict"], raw,
            info.flag_bits if info else 0, info.create_system if info else 0,
            info.create_version if info else 0))
    return members


# ---------------------------------------------------------------------------------------
# Names

def is_unsafe(raw):
    """A name that would reach outside the extraction directory."""
    name = raw.replace(b"\\", b"/")
    parts = name.split(b"/")
    return (name.startswith(b"/") or b".." in parts or
            (len(name) >= 2 and name[1:2] == b":"))


# ---------------------------------------------------------------------------------------
# Running the driver

class Driver:
    def __init__(self, args):
        self.wine = args.wine
        self.path = os.path.abspath(args.driver)
        self.template = shlex.split(args.driver_args)
        self.timeout = args.timeout
        self.env = dict(os.environ)
        if self.wine:
            self.env.setdefault("WINEPREFIX", args.wine_prefix)
            self.env.setdefault("WINEDEBUG", "-all")
            self.env.setdefault("WINEARCH", "win64")
            loader = self.env.get("WINELOADER") or shutil.which("wine64") or "/usr/lib/wine/wine64"
            self.env["WINELOADER"] = loader
            self.prefix_cmd = [loader]
        else:
            self.prefix_cmd = []

    def host_path(self, path):
        path = os.path.abspath(path)
        return "Z:" + path.replace("/", "\\") if self.wine else path

    def run(self, archive, cwd):
        args = [a.format(archive=self.host_path(archive)) for a in self.template]
        # Output goes through a file: Wine's helper processes can keep a pipe open.
        with tempfile.TemporaryFile() as out:
            try:
                r = subprocess.run(self.prefix_cmd + [self.path] + args, cwd=cwd, env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                   timeout=self.timeout)
            except subprocess.TimeoutExpired:
                return None, "timeout after %d s" % self.timeout
            out.seek(0)
            return r.returncode, out.read().decode("latin-1")


# ---------------------------------------------------------------------------------------
# Looking at the result

def snapshot(root):
    """Relative paths (bytes) of everything below root, directories with a trailing "/"."""
    found = set()
    broot = os.fsencode(root)
    for dirpath, dirs, files in os.walk(broot):
        rel = os.path.relpath(dirpath, broot)
        for d in dirs:
            found.add((d if rel == b"." else rel + b"/" + d) + b"/")
        for f in files:
            found.add(f if rel == b"." else rel + b"/" + f)
    return found


def file_crc(path):
    crc, size = 0, 0
    with open(path, "rb") as f:
        while True:
            block = f.read(1 << 20)
            if not block:
                return crc & 0xFFFFFFFF, size
            crc = zlib.crc32(block, crc)
            size += len(block)


def dbcs_ambiguous(m):
    """A 0x5C byte after a byte >= 0x80 anywhere in the name: a DBCS trail byte or a "\\".

    The manifest marks only the member whose file name holds such a pair; a member whose
    FOLDER name holds one depends on the code page just as much (under 1252 the folder
    name carries a backslash, which Windows reads as a separator), so it is treated alike.
    """
    name = m.raw_name or b""
    return any(name[i] == 0x5C and name[i - 1] >= 0x80 for i in range(1, len(name)))


def effective_verdict(m):
    v = m.verdict
    kind = v.split(" ")[0].rstrip(":")
    if kind == "yes" and dbcs_ambiguous(m):
        return "locale-dependent"
    return kind


def case_only_clash(members, m):
    """True when m's earlier namesake differs from it only in case (host difference)."""
    for other in members[:m.index]:
        if other.name == m.name:
            return False
        if other.name is not None and other.name.lower() == m.name.lower():
            return True
    return False


def contents(root):
    """{(size, crc): [relative path, ...]} of the files below root, and its directories."""
    files = collections.defaultdict(list)
    dirs = set()
    broot = os.fsencode(root)
    for dirpath, dirnames, filenames in os.walk(broot):
        dirs.update(os.path.join(dirpath, d) for d in dirnames)
        for f in filenames:
            path = os.path.join(dirpath, f)
            crc, size = file_crc(path)
            files[(size, crc)].append(os.path.relpath(path, broot))
    return files, dirs


def check_archive(name, members, archive_path, driver, work, depth, wine):
    """List of (member, problem) for one archive; also the run's result and output."""
    problems = []
    sandbox = tempfile.mkdtemp(prefix="corpus-", dir=work)
    rundir = os.path.join(sandbox, *(["d"] * depth), "run")
    os.makedirs(rundir)
    outside_before = snapshot(sandbox)

    result, output = driver.run(archive_path, rundir)
    if result is None:
        problems.append(("(archive)", output))
        return problems, result, output

    verdicts = []
    for m in members:
        v = effective_verdict(m)
        if v == "skip-existing" and not wine and case_only_clash(members, m):
            v = "yes"
        verdicts.append(v)

    # Nothing may appear in the sandbox outside the run directory.
    rel_run = os.fsencode(os.path.relpath(rundir, sandbox))
    outside = {p for p in snapshot(sandbox) - outside_before
               if not (p + b"/").startswith(rel_run + b"/") and not p.startswith(rel_run + b"/")}
    if outside:
        problems.append(("(archive)", "written outside the directory: %s" %
                         ", ".join(sorted(p.decode("latin-1") for p in outside))))

    on_disk = snapshot(rundir)
    alt = ALTERNATIVES.get(name)
    if alt and result == alt["result"] and on_disk == alt["files"] and not problems:
        return [], result, output + "\n(accepted the alternative outcome: %s)" % alt["why"]

    whole = [v for v in verdicts if v in ("skip-zip64", "unreadable")]
    if whole:
        if result == 0:
            problems.append(("(archive)", "result 0, expected an error (%s)" % whole[0]))
        if on_disk:
            problems.append(("(archive)", "files written for an unreadable archive: %d" % len(on_disk)))
        return problems, result, output

    # Result bounds from the verdicts.
    floor = 0
    for v in verdicts:
        if v.startswith("broken") or v == "refuse-unsafe-path":
            floor = max(floor, 2)
        elif v.startswith("skip"):
            floor = max(floor, 1)
    if all(v == "yes" for v in verdicts):
        if result != 0:
            problems.append(("(archive)", "result %d, expected 0" % result))
    elif floor and result < floor:
        problems.append(("(archive)", "result %d, expected at least %d" % (result, floor)))

    files, dirs = contents(rundir)
    by_crc = collections.defaultdict(list)  # for archives whose sizes understate the data
    by_size = collections.defaultdict(list)
    for (size, crc), paths in files.items():
        by_crc[crc] += paths
        by_size[size] += paths

    def with_content(m):
        return by_crc[m.crc] if name in SIZE_UNDERSTATED else files.get((m.size, m.crc), [])

    # Content that some member may leave on disk: a member whose verdict refuses its file is
    # only wrong when its content is there and no such member accounts for it.
    allowed = set()
    accounted = set()
    for m, v in zip(members, verdicts):
        if m.name is None or m.name.endswith("/"):
            continue
        if v in ("yes", "skip-existing", "locale-dependent"):
            allowed.add((m.size, m.crc))
            accounted.update(with_content(m))
        elif v == "broken-crc":
            accounted.update(by_size[m.size])

    dir_members = 0
    for m, v in zip(members, verdicts):
        label = m.name
        if m.name is not None and m.name.endswith("/"):
            dir_members += v == "yes"
            continue
        found = with_content(m)
        if v == "yes":
            if not found:
                problems.append((label, "missing: no file of %d bytes with CRC %08x" % (m.size, m.crc)))
        elif v == "broken-crc":
            if not by_size[m.size]:
                problems.append((label, "missing: a file with a bad CRC stays in place"))
        elif v == "skip-existing":
            earlier = [o for o in members[:m.index] if o.name is not None and
                       (o.name == m.name or (wine and o.name.lower() == m.name.lower()))]
            if earlier and not with_content(earlier[0]):
                problems.append((label, "the earlier file is missing"))
        elif v == "locale-dependent":
            pass
        else:
            # skip-version/-method/-encrypted, broken-*, refuse-unsafe-path
            # (What a refused name might have reached outside is the sandbox check's job.)
            if found and (m.size, m.crc) not in allowed:
                problems.append((label, "written although the verdict is %s" % v))
    if len(dirs) < dir_members:
        problems.append(("(archive)", "%d directories, expected at least %d" % (len(dirs), dir_members)))

    unexpected = {p for paths in files.values() for p in paths} - accounted
    if unexpected and "locale-dependent" not in verdicts:
        problems.append(("(archive)", "unexpected files: %s" %
                         ", ".join(sorted(p.decode("latin-1") for p in unexpected))))
    return problems, result, output


def make_writable(path):
    for dirpath, dirs, files in os.walk(path):
        for n in dirs + files:
            try:
                os.chmod(os.path.join(dirpath, n), 0o700)
            except OSError:
                pass


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--driver", help="engine driver (default: build/host/ombrelin, or "
                   "$WINE_BUILD_DIR/ombrelin.exe with --wine)")
    p.add_argument("--driver-args", default="-qqqq {archive}",
                   help="driver arguments; {archive} is the archive path (default: %(default)s)")
    p.add_argument("--wine", action="store_true", help="run a Windows driver under Wine")
    p.add_argument("--wine-prefix", default="/tmp/corpus-wine-prefix",
                   help="Wine prefix when WINEPREFIX is not set (default: %(default)s)")
    p.add_argument("--only", action="append", default=[], help="check only this archive")
    p.add_argument("--keep", action="store_true", help="keep the extraction directories")
    p.add_argument("--timeout", type=int, default=120, help="seconds per archive")
    p.add_argument("-v", "--verbose", action="store_true", help="show the driver's output")
    return p.parse_args(argv)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    manifest = os.path.join(CORPUS, "MANIFEST.tsv")
    if not os.path.isfile(manifest):
        print("check_corpus: no manifest at %s" % manifest, file=sys.stderr)
        return 2
    if not args.driver:
        if args.wine:
            build = os.environ.get("WINE_BUILD_DIR", os.path.join(REPO, "build", "win64"))
            args.driver = os.path.join(build, "ombrelin.exe")
        else:
            args.driver = os.path.join(REPO, "build", "host", "ombrelin")
    if not os.path.isfile(args.driver):
        print("check_corpus: driver not found: %s" % args.driver, file=sys.stderr)
        return 2
    driver = Driver(args)
    wine = args.wine

    archives = read_manifest(manifest)
    if args.only:
        archives = collections.OrderedDict((k, v) for k, v in archives.items() if k in args.only)
    missing = [n for n in archives if not os.path.isfile(os.path.join(CORPUS, n))]
    if missing:
        print("check_corpus: archives of the manifest missing from %s: %s"
              % (CORPUS, ", ".join(missing)), file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="check-corpus-")
    mismatches = []
    members_seen = 0
    try:
        for name, rows in archives.items():
            path = os.path.join(CORPUS, name)
            members = load_members(path, rows)
            members_seen += len(members)
            depth = 2
            for m in members:
                if m.raw_name is not None and is_unsafe(m.raw_name):
                    depth = max(depth, m.raw_name.replace(b"\\", b"/").split(b"/").count(b"..") + 2)
            problems, result, output = check_archive(
                name, members, path, driver, work, depth, wine)
            status = "ok" if not problems else "MISMATCH"
            if "(accepted the alternative outcome" in output:
                status = "ok (alternative outcome: %s)" % ALTERNATIVES[name]["why"][:60] + "..."
            print("%-70s result %-4s %s" % (name, result, status))
            if (args.verbose or problems) and output.strip():
                print("    " + output.strip().replace("\n", "\n    "))
            for member, problem in problems:
                mismatches.append((name, member, problem))
    finally:
        if args.keep:
            print("extraction directories kept in %s" % work)
        else:
            make_writable(work)
            shutil.rmtree(work, ignore_errors=True)

    if not wine:
        print("\nHost differences taken into account:")
        for what, why in HOST_DIFFERENCES:
            print("  - %s: %s" % (what, why))
    print("\n%d archives, %d members" % (len(archives), members_seen))
    if mismatches:
        print("\n%d mismatch%s:" % (len(mismatches), "" if len(mismatches) == 1 else "es"))
        w = max(len(a) for a, _m, _p in mismatches)
        for archive, member, problem in mismatches:
            print("  %-*s  %-30s  %s" % (w, archive, member[:30], problem))
        return 1
    print("all members match")
    return 0


if __name__ == "__main__":
    sys.exit(main())
