#!/usr/bin/env python3
"""Packages of many files against the platform's floor.

    bench/floor_bench.py [--rounds N] [--build DIR] [--ombrelin PATH]
                         [--trees start,tree,runtime]
                         [--methods stored,deflated] [--stub LABEL=PATH ...]
                         [--folders PATH[,PATH...]] [--no-wine] [--no-host] [--no-desktop]
                         [--keep]

Trees: "start", one small file, for what a program takes whatever the package holds (its
own start and end); from bench/make_archives.py, "tree", the 5,000 real files of the
decoder's benchmark in their directories, and "runtime", a Java application's package of
about 1,000 files, a few of them large; with --folders, also "folders", a package of real
folders of this machine (each a top-level directory of it, symbolic links followed). Each
tree is unpacked into a folder, which tools/pack_installer.py packs (stored, and deflated as
packages are by default) behind the installer stub, with recorder.exe as the package's
installer.exe.

Under Wine (the 32-bit programs where this machine runs 32-bit code, else the 64-bit build of
the same sources): floor.exe, which makes the same directories and files with the same bytes,
times and attributes through plain Win32 calls and nothing else, then starts installer.exe
as the stub does; the same without that start ("floor.exe, no start": under Wine the start
takes about 0.1 s, since CreateProcess there returns only once the new process has loaded
its DLLs, where Windows returns at once); the stub itself, from start to hand-off (TEMP is
the run's own folder, where it makes tmpqel01); ombrelin.exe -q extracting the package in
the run's folder. On the host: ombrelin -q, bsdtar -xf and cp -r of the unpacked folder.

Wine's desktop process (explorer.exe) is kept running for the whole benchmark by a window
of notepad.exe, as a Windows desktop always runs one. Without it, each run of the stub (the
one program here with windows) waits while Wine starts its desktop anew, the last one having
ended with the last run's windows: 0.4 s of the 143 MB runtime package's 1.55 s here, which
no Windows user pays. --no-desktop measures it that way all the same.

Every run writes into a new folder and the outputs stay until the end (ext4 slows down
creating files right after many were deleted; wait a few minutes between two invocations),
and the disk is synced before each run, so that no run pays for writing out the last one's.
Runs are interleaved, each round starting one further along (A, B, C, B, C, A, C, A, B, ...);
round 0 is a warm-up and is not counted. Both methods' packages run in the same rounds, and
the floor, which copies the same bytes for either, once a round: this machine's speed
changes in spells of minutes, so that tables run one after the other could differ by half
for the same work.
Figures: seconds, median (min-max), and the median (min-max) of each program's time over the
floor's (or bsdtar's) in the same round; after a tree's tables, each program's time on the
deflated package over its time on the stored one, round by round. When "start" ran first,
the later tables also take each program's median there off its times ("beyond the start"),
which compares what the programs take for the work alone: under Wine the stub starts as a
GUI program (user32, the fonts, the display driver, its two hidden windows), the floor as a
console program. With --stub, the given stub executables (the Windows build's installer.exe
by default) each get a package of the same archive, so that two versions compare in one run.
"""
import argparse
import datetime
import filecmp
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(ROOT / "harness"))
import wine  # noqa: E402
from rounds import in_turn, work_folder  # noqa: E402

QUIET = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
LABELS = {"start": "one small file and installer.exe", "tree": "the 5,000-file tree",
          "runtime": "a Java application with its runtime", "folders": "real folders"}
FILETIME_1970 = 116444736000000000  # 100-ns intervals from 1601 to 1970
ATTR_ARCHIVE = 0x20
LOCAL_HDR_LEN = 30
TIMEOUT = 1800  # seconds for one run under Wine


# ---------------------------------------------------------------------------------------
# Packages


def copy_folders(work, paths):
    """The "folders" tree: each folder copied in as a top-level directory."""
    folder = work / "folders-folder"
    for p in paths:
        shutil.copytree(p, folder / Path(p).name, ignore_dangling_symlinks=True)
    return folder


def one_file(work):
    """The "start" tree: a folder of one small file."""
    folder = work / "start-folder"
    folder.mkdir()
    (folder / "readme.txt").write_text("A package of one file.\n" * 40)
    return folder


def unpack_tree(work, kind):
    """The tree as a folder: make_archives.py's archive of it, unpacked."""
    archive = work / (kind + "-source.zip")
    subprocess.run([sys.executable, str(HERE / "make_archives.py"), kind, str(archive)],
                   check=True)
    folder = work / (kind + "-folder")
    with zipfile.ZipFile(archive) as z:
        z.extractall(folder)
    archive.unlink()
    return folder


DEVICES = {"con", "prn", "aux", "nul", "conin$", "conout$"} | {
    "%s%d" % (p, i) for p in ("com", "lpt") for i in range(1, 10)}


def windows_names_only(folder):
    """Removes what Windows could not hold as it is: names with characters it refuses, with
    trailing dots or spaces, device names, and names that differ from an earlier one only in
    case (the stub would keep the first and warn). Returns how many were removed."""
    seen, removed = set(), 0
    for dirpath, dirs, names in os.walk(folder):
        dirs.sort()
        for n in sorted(dirs) + sorted(names):
            p = Path(dirpath, n)
            key = str(p.relative_to(folder)).lower()
            bad = (any(c in n for c in '<>:"|?*\\') or any(ord(c) < 32 for c in n)
                   or n[-1] in ". " or n.split(".")[0].lower() in DEVICES or key in seen)
            seen.add(key)
            if bad:
                removed += 1
                if p.is_dir() and not p.is_symlink():
                    shutil.rmtree(p)
                    dirs.remove(n)
                else:
                    p.unlink()
    return removed


def pack(folder, stub, output, method):
    flag = {"stored": "--store", "deflated": "--deflate"}[method]
    subprocess.run([sys.executable, str(ROOT / "tools" / "pack_installer.py"), "-q", flag,
                    "-s", str(stub), "-o", str(output), str(folder)], check=True)


def manifest_for(package, path):
    """floor.exe's steps for a stored package: the directories of each member before it (as
    the stub makes them), then the member, its bytes where they lie in the package."""
    made, lines = set(), []
    with open(package, "rb") as f, zipfile.ZipFile(package) as z:
        for info in z.infolist():  # the offsets zipfile gives count from the file's start
            parts = info.filename.rstrip("/").split("/")
            dirs = parts if info.is_dir() else parts[:-1]
            for i in range(1, len(dirs) + 1):
                d = "\\".join(dirs[:i])
                if d not in made:
                    made.add(d)
                    lines.append("D " + d)
            if info.is_dir():
                continue
            f.seek(info.header_offset + 26)
            name_len = int.from_bytes(f.read(2), "little")
            extra_len = int.from_bytes(f.read(2), "little")
            offset = info.header_offset + LOCAL_HDR_LEN + name_len + extra_len
            stamp = datetime.datetime(*info.date_time, tzinfo=datetime.timezone.utc).timestamp()
            filetime = int(stamp) * 10_000_000 + FILETIME_1970
            attributes = (info.external_attr & 0xFF) | ATTR_ARCHIVE
            lines.append("F %d %d %d %d %s" % (offset, info.file_size, filetime, attributes,
                                               "\\".join(parts)))
    Path(path).write_text("\r\n".join(lines) + "\r\n")
    return sum(1 for l in lines if l[0] == "D")


def read_through(path):
    with open(path, "rb") as f:  # into the page cache before the first timed run
        while f.read(1 << 20):
            pass


def expected_files(folder):
    """{relative posix path: size} of every file of the folder."""
    out = {}
    for dirpath, _, names in os.walk(folder):
        for n in names:
            p = Path(dirpath, n)
            out[p.relative_to(folder).as_posix()] = p.stat().st_size
    return out


def check_output(label, root, expected, folder):
    """Every file is there with the folder's bytes."""
    for name, size in expected.items():
        p = Path(root, name)
        if not p.is_file() or p.stat().st_size != size or not filecmp.cmp(
                p, Path(folder, name), shallow=False):
            sys.exit("%s: %s is missing or differs in %s" % (label, name, root))


def check_handed_off(label, root):
    """recorder.exe, the package's installer.exe, has written down its start."""
    record = Path(root, "recorded.txt")
    for _ in range(100):
        if record.exists() and record.read_text(errors="replace").endswith("end\n"):
            return
        time.sleep(0.1)
    sys.exit("%s: the package's installer.exe did not start (no %s)" % (label, record))


# ---------------------------------------------------------------------------------------
# Runs


class WinePeers:
    """The programs under Wine, each run through the harness's launch.exe; with more than one
    stub, each one's time is also set against the one before it."""

    where, base = "wine", "floor.exe"

    def __init__(self, session, build, work, stubs):
        self.session, self.work = session, work
        self.heading = "under Wine (%s programs)" % session.arch
        self.steps = [label for label, _ in stubs] if len(stubs) > 1 else ()
        self.floor = build / "bench" / "floor.exe"
        self.ombrelin = build / "ombrelin.exe"
        if not self.floor.exists():
            sys.exit("no %s: configure %s with -DWITH_BENCHMARKS=ON" % (self.floor, build))

    def run(self, label, cmdline, cwd, env=None):
        art = self.work / "art" / cwd.name
        result = self.session.run(cmdline, cwd, env=env, artifacts=art, timeout=TIMEOUT)
        if result.status != "exit" or result.exit_code != 0:
            sys.exit("%s failed: %r (see %s)" % (label, result, art))
        return result.seconds

    def shared(self, case):
        """(label, run) pairs that do the same whatever the method; run(folder) returns the
        seconds and the output's root."""
        w = self.session.winpath
        floor = '"%s" "%s" "%s"' % (w(self.floor), w(case["manifest"]), w(case["floor_data"]))
        return [("floor.exe", self.runner("floor.exe", floor + " installer.exe", True)),
                ("floor.exe, no start", self.runner("floor.exe", floor))]

    def packaged(self, case):
        """(label, run) pairs of one method's packages."""
        w = self.session.winpath
        package = case["packages"][0][1]
        out = [(label, self.stub_runner(label, p)) for label, p in case["packages"]]
        out.append(("ombrelin.exe -q", self.runner("ombrelin.exe", '"%s" -q "%s"' % (
            w(self.ombrelin), w(package)))))
        return out

    def runner(self, label, cmdline, hands_off=False):
        def run(d):
            return self.run(label, cmdline, d), d
        run.hands_off = hands_off
        return run

    def stub_runner(self, label, package):
        # Of the variables the stub looks at for its temporary folder, only TEMP is set: the
        # run's own folder, where it makes tmpqel01.
        def run(d):
            env = {"TEMP": self.session.winpath(d), "TMP": None, "HOME": None,
                   "HOMEDRIVE": None, "HOMEPATH": None}
            return self.run(label, '"%s"' % self.session.winpath(package), d, env), d / "tmpqel01"
        run.hands_off = True
        return run


class HostPeers:
    """The host build's console driver and the host's own tools."""

    where, heading, base, steps = "host", "host build", "bsdtar -xf", ()

    def __init__(self, ombrelin):
        self.ombrelin = ombrelin

    @staticmethod
    def timed(command, cwd=None):
        began = time.perf_counter()
        done = subprocess.run(command, cwd=cwd, **QUIET)
        if done.returncode != 0:
            sys.exit("%s failed (exit %d)" % (command[0], done.returncode))
        return time.perf_counter() - began

    def shared(self, case):
        folder = case["folder"]
        return [("cp -r", lambda d: (self.timed(["cp", "-r", str(folder), str(d / "copy")]),
                                     d / "copy"))]

    def packaged(self, case):
        archive = str(case["archive"])
        return [("ombrelin -q", lambda d: (self.timed([self.ombrelin, "-q", archive], cwd=d), d)),
                ("bsdtar -xf", lambda d: (self.timed(["bsdtar", "-xf", archive, "-C", str(d)]),
                                          d))]


def interleave(work, name, peers, rounds, case):
    """{key: [seconds per counted round]} of peers, (key, label, run) triples; round 0 is a
    warm-up, checked, not counted."""
    expected = case["expected"]
    times = {key: [] for key, _, _ in peers}
    for r in range(rounds + 1):
        for i, (key, label, run) in in_turn(peers, r):
            d = work / ("%s-%d-%d" % (name, i, r))
            d.mkdir()
            # The last run's bytes go to the disk now, not during this run.
            os.sync()
            seconds, root = run(d)
            if r == 0:
                check_output(label, root, expected, case["folder"])
                if getattr(run, "hands_off", False):
                    check_handed_off(label, root)
            else:
                times[key].append(seconds)
    return times


def ratios(a, b):
    r = [x / y for x, y in zip(a, b)]
    return "%5.2f (%4.2f-%4.2f)" % (statistics.median(r), min(r), max(r))


def beyond(times, start):
    """Each program's times less its median start, where one was measured."""
    return {label: [t - start[label] for t in s] for label, s in times.items() if label in start}


def report(title, times, base, steps=(), start=None):
    """The table; with steps (labels of successive versions), also each one's time over the
    one before it, round by round; with start ({label: median seconds on the one-file
    package}), also each program's time beyond its start over the base's."""
    print("\n" + title)
    print("  %-20s %26s   time / %s's in the same round"
          % ("", "seconds median (min-max)", base))
    for label, s in times.items():
        print("  %-20s %8.2f (%6.2f-%6.2f)   %s"
              % (label, statistics.median(s), min(s), max(s), ratios(s, times[base])))
    for before, after in zip(steps, steps[1:]):
        print("  %-20s time / %s's: %s" % (after, before, ratios(times[after], times[before])))
    rest = beyond(times, start or {})
    if base in rest:
        print("  %-47s   time / %s's" % ("beyond the start: less the one-file median", base))
        for label, s in rest.items():
            print("  %-20s %8.2f %35s" % (label, statistics.median(s), ratios(s, rest[base])))


# ---------------------------------------------------------------------------------------


def parse_args():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--build", type=Path, help="Windows build with -DWITH_BENCHMARKS=ON "
                    "(default: build/bench-win32 where 32-bit code runs, else build/bench-win64)")
    ap.add_argument("--ombrelin", type=Path, default=ROOT / "build" / "bench" / "ombrelin",
                    help="the host build's console driver")
    ap.add_argument("--trees", default="start,tree,runtime")
    ap.add_argument("--methods", default="stored,deflated")
    ap.add_argument("--folders", help="real folders to package as one more tree")
    ap.add_argument("--stub", action="append", default=[], metavar="LABEL=PATH",
                    help="a stub executable to compare (repeatable)")
    ap.add_argument("--no-wine", action="store_true")
    ap.add_argument("--no-host", action="store_true")
    ap.add_argument("--no-desktop", action="store_true",
                    help="no window that keeps Wine's desktop process running")
    ap.add_argument("--keep", action="store_true", help="leave the work folder")
    args = ap.parse_args()
    args.ombrelin = args.ombrelin.resolve()  # each run starts in a folder of its own
    return args


def package_cases(work, kind, folder, methods, stubs):
    """The tree's packages, one case per method, each with a package per stub."""
    for method in methods:
        case = {"archive": work / ("%s-%s.zip" % (kind, method)), "packages": []}
        # The archive's offsets count from its own start: every stub takes it as it is.
        first = work / ("%s-%s-0.exe" % (kind, method))
        pack(folder, stubs[0][1], first, method)
        case["archive"].write_bytes(first.read_bytes()[Path(stubs[0][1]).stat().st_size:])
        for i, (label, stub) in enumerate(stubs):
            package = work / ("%s-%s-%d.exe" % (kind, method, i))
            package.write_bytes(Path(stub).read_bytes() + case["archive"].read_bytes())
            read_through(package)
            case["packages"].append((label, package))
        yield method, case


def all_peers(group, tree, cases):
    """(key, label, run) of a group's programs: those that do the same whatever the method
    once, keyed (label, None), and each method's, keyed (label, method)."""
    out = [((label, None), label, run) for label, run in group.shared(tree)]
    for method, case in cases.items():
        out += [((label, method), "%s, %s" % (label, method), run)
                for label, run in group.packaged(case)]
    return out


def of_method(times, method):
    """{label: seconds} of the method's table."""
    return {label: s for (label, m), s in times.items() if m in (None, method)}


def report_methods(times, cases):
    """Each packaged program's time on each later method over the first's, round by round."""
    methods = list(cases)
    for method in methods[1:]:
        print("  %-47s   time / %s's" % ("%s against %s" % (method, methods[0]), methods[0]))
        for (label, m), s in times.items():
            if m == method:
                print("  %-20s %35s" % (label, ratios(s, times[(label, methods[0])])))


def bench_tree(args, work, kind, stubs, recorder, groups, starts):
    if kind == "folders":
        folder = copy_folders(work, args.folders.split(","))
    else:
        folder = one_file(work) if kind == "start" else unpack_tree(work, kind)
    removed = windows_names_only(folder)
    shutil.copyfile(recorder, folder / "installer.exe")
    expected = expected_files(folder)
    total = sum(expected.values())
    # floor.exe takes its bytes from a stored package of the tree, whatever the method.
    floor_data = work / (kind + "-floor.exe")
    pack(folder, stubs[0][1], floor_data, "stored")
    manifest = work / (kind + ".manifest")
    dirs = manifest_for(floor_data, manifest)
    read_through(floor_data)
    tree = dict(folder=folder, expected=expected, manifest=manifest, floor_data=floor_data)
    cases = dict(package_cases(work, kind, folder, args.methods.split(","), stubs))
    titles = {}
    for method in cases:
        titles[method] = "%s: %d files, %d directories, %.1f MB, %s; %d interleaved rounds" % (
            LABELS.get(kind, kind), len(expected), dirs, total / 1e6, method, args.rounds)
        if removed:
            titles[method] += "\n (%d names that Windows cannot hold as they are left out)" % (
                removed)
    for group in groups:
        # Every method's packages run in the same rounds, so that the machine's slow and
        # fast spells fall on them alike.
        times = interleave(work, "%s-%s" % (kind, group.where), all_peers(group, tree, cases),
                           args.rounds, tree)
        for method in cases:
            t = of_method(times, method)
            report("%s\n %s" % (titles[method], group.heading), t, group.base, group.steps,
                   starts.get((group.where, method)))
            if kind == "start":
                starts[(group.where, method)] = {label: statistics.median(s)
                                                 for label, s in t.items()}
        report_methods(times, cases)
        sys.stdout.flush()


def keep_desktop(session):
    """A window that keeps Wine's desktop process running until the process is ended; returns
    once the window is on the display, so that the first run finds the desktop up."""
    keeper = subprocess.Popen([str(session.loader), "notepad.exe"], cwd=str(session.prefix),
                              env=session.base_env(), stdin=subprocess.DEVNULL, **QUIET)
    deadline = time.monotonic() + wine.WINE_TIMEOUT
    while not session.x_windows_named("Untitled - Notepad"):
        if keeper.poll() is not None or time.monotonic() > deadline:
            sys.exit("notepad.exe did not open its window (use --no-desktop)")
        time.sleep(0.1)
    return keeper


def main():
    args = parse_args()
    build = (args.build or ROOT / "build" / ("bench-" + wine.probe())).resolve()
    stubs = ([tuple(s.split("=", 1)) for s in args.stub]
             or [("installer.exe", build / "installer.exe")])
    recorder = build / "tests" / "winhelpers" / "recorder.exe"
    kinds = (args.trees.split(",") if args.trees else []) + (["folders"] if args.folders else [])
    with work_folder("bench_floor.", args.keep) as work:
        work = Path(work)
        session = None if args.no_wine else wine.WineSession(build)
        keeper = None
        try:
            if session:
                session.start()
                if not args.no_desktop:
                    keeper = keep_desktop(session)
            groups = [WinePeers(session, build, work, stubs)] if session else []
            if not args.no_host:
                groups.append(HostPeers(str(args.ombrelin)))
            starts = {}  # (where, method): {label: median seconds on one small file}
            for kind in kinds:
                bench_tree(args, work, kind, stubs, recorder, groups, starts)
        finally:
            if keeper:
                keeper.kill()
                keeper.wait()
            if session:
                session.stop()


if __name__ == "__main__":
    main()
