#!/usr/bin/env python3
"""Extraction throughput of the console driver against bsdtar and Python's zipfile, on
a stored archive of about 5,000 small files (150 MB) and one of four 50 MB files.

    bench/extract_speed.py [--rounds N] [--ombrelin PATH] [--keep]

Runs are interleaved (ombrelin, bsdtar, zipfile, ombrelin, ...), each into a directory of
its own: the outputs stay until the end, because ext4 slows down creating files right after
many were deleted. Everything lives in one temporary directory that is removed at the end
(unless --keep). Wait a few minutes between two invocations for the same reason.

Figures are MB/s of extracted data (10^6 bytes per second), process start included (for
zipfile that is the interpreter's start, about 20 ms)."""
import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "harness"))
from rounds import timed_rounds, work_folder  # noqa: E402

ZIPFILE_EXTRACT = "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])"


def tools(ombrelin):
    # Each gets the archive and a new, empty output directory.
    return [
        ("ombrelin", lambda a, d: subprocess.run([ombrelin, a], cwd=d, stdout=subprocess.DEVNULL)),
        ("bsdtar", lambda a, d: subprocess.run(["bsdtar", "-xf", a, "-C", d])),
        ("zipfile", lambda a, d: subprocess.run([sys.executable, "-c", ZIPFILE_EXTRACT, a, d])),
    ]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--ombrelin", default=os.environ.get("OMBRELIN", os.path.join(ROOT, "build/host/ombrelin")))
    ap.add_argument("--keep", action="store_true", help="leave the temporary directory")
    args = ap.parse_args()
    ombrelin = os.path.abspath(args.ombrelin)
    if not os.access(ombrelin, os.X_OK):
        sys.exit("no %s: build it first" % ombrelin)

    with work_folder("bench_extract.", args.keep) as work:
        cases = []
        for kind, label in (("many-small", "5,000 small files"), ("few-large", "4 large files")):
            archive = os.path.join(work, kind + ".zip")
            subprocess.run([sys.executable, os.path.join(HERE, "make_archives.py"), kind, archive], check=True)
            cases.append((label, kind, archive))
        for label, kind, archive in cases:
            run_case(work, label, kind, archive, tools(ombrelin), args.rounds)


def run_case(work, label, kind, archive, peers, rounds):
    times, (files, total) = timed_rounds(work, kind, archive, peers, rounds)
    speeds = {name: [total / t / 1e6 for t in ts] for name, ts in times.items()}
    print("\n%s: %d files, %.1f MB; %d interleaved rounds" % (label, files, total / 1e6, rounds))
    print("%-10s %22s   %s" % ("", "MB/s median (min-max)", "speed / bsdtar's in the same round"))
    for name, _ in peers:
        s = speeds[name]
        ratios = [a / b for a, b in zip(s, speeds["bsdtar"])]
        print("%-10s %8.1f (%5.1f-%5.1f)   %.2f (%.2f-%.2f)"
              % (name, statistics.median(s), min(s), max(s),
                 statistics.median(ratios), min(ratios), max(ratios)))


if __name__ == "__main__":
    main()
