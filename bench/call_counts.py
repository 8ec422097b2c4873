#!/usr/bin/env python3
"""The Windows calls the installer stub makes per member, from Wine's relay trace.

    bench/call_counts.py [--build DIR] [--members 50] [--depth 6]

Two packages are made with the same stub: one whose archive holds only installer.exe
(recorder.exe), and one with MEMBERS more stored files of 100 bytes, all in one folder DEPTH
components deep (p1/p2/.../fNN.txt). Each is started under WINEDEBUG=+relay through the
harness's launch.exe, with TEMP a fresh folder; the difference of the two traces' counts of
"Call KERNEL32.Name" and "Call msvcrt.Name" lines, over MEMBERS, is what one member costs.
Listed: every kernel32 call, and the runtime library's file calls, made at least once per
ten members. Keep MEMBERS small: a trace of 50 members is about 30 MB.
"""
import argparse
import collections
import re
import shutil
import sys
import tempfile
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(ROOT / "harness"))
import wine  # noqa: E402

CALL = re.compile(rb"Call (KERNEL32|msvcrt)\.([A-Za-z0-9_]+)\(")
RUNTIME_FILE_CALLS = {"_stat", "_stati64", "_stat64", "_mkdir", "fopen", "_open", "_sopen",
                      "fclose", "_close", "_access", "_unlink", "_chmod", "_fdopen", "fwrite"}


def package(stub, recorder, members, depth, path):
    shutil.copyfile(stub, path)
    folder = "/".join("p%d" % i for i in range(1, depth))
    # Mode "a" on a file that is not an archive appends one after its current end.
    with zipfile.ZipFile(path, "a", zipfile.ZIP_STORED) as z:
        z.write(recorder, "installer.exe")
        for i in range(members):
            z.writestr("%s/f%02d.txt" % (folder, i), b"x" * 100)


def traced_counts(session, pkg, work):
    """Counts of the calls in one traced run of the package."""
    original = session.base_env

    def relay_env():
        env = original()
        env["WINEDEBUG"] = "+relay"
        return env
    run_dir, art = work / (pkg.stem + "-run"), work / (pkg.stem + "-art")
    run_dir.mkdir()
    session.base_env = relay_env
    try:
        result = session.run('"%s"' % session.winpath(pkg), run_dir, artifacts=art, timeout=600,
                             env={"TEMP": session.winpath(run_dir), "TMP": None, "HOME": None})
    finally:
        session.base_env = original
    if result.status != "exit" or result.exit_code != 0:
        sys.exit("the stub failed: %r" % result)
    counts = collections.Counter()
    with open(art / "launch.log", "rb") as trace:  # launch.exe's and the stub's
        for line in trace:
            m = CALL.search(line)
            if m:
                counts[(m.group(1).decode(), m.group(2).decode())] += 1
    return counts


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", type=Path, help="Windows build (default: build/win32 where "
                    "32-bit code runs, else build/win64)")
    ap.add_argument("--members", type=int, default=50)
    ap.add_argument("--depth", type=int, default=6)
    args = ap.parse_args()
    build = (args.build or ROOT / "build" / wine.probe()).resolve()
    work = Path(tempfile.mkdtemp(prefix="bench_calls."))
    session = wine.WineSession(build)
    session.start()
    try:
        recorder = build / "tests" / "winhelpers" / "recorder.exe"
        counts = []
        for n in (0, args.members):
            pkg = work / ("members%d.exe" % n)
            package(build / "installer.exe", recorder, n, args.depth, pkg)
            counts.append(traced_counts(session, pkg, work))
        base, full = counts
        print("per member (%d stored members, %d components deep, %s build):"
              % (args.members, args.depth, session.arch))
        rows = []
        for (dll, name), n in full.items():
            per = (n - base[(dll, name)]) / args.members
            if per >= 0.1 and (dll == "KERNEL32" or name in RUNTIME_FILE_CALLS):
                rows.append((-per, dll, name))
        for per, dll, name in sorted(rows):
            print("  %-8s %-24s %5.1f" % (dll, name, -per))
    finally:
        session.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
