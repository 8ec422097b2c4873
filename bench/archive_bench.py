#!/usr/bin/env python3
"""Whole deflated archives: the console driver against bsdtar (zlib inside) and 7-Zip.

    bench/archive_bench.py [--rounds N] [--ombrelin PATH] [--keep]

Archives (bench/make_archives.py, this machine's real files, deflated at level 6):
  text      about 100 MB of text
  binaries  about 100 MB of shared libraries and programs
  tree      about 5,000 files (200 MB) in their directories

Testing (every member decoded and its CRC checked, nothing written or printed): `ombrelin -qt`,
`bsdtar -xOf` (to /dev/null), `7z t` and deflate_tester (libdeflate's whole-buffer decoder and
CRC-32 over the archive read whole; built beside inflate_bench), on text and binaries. Extracting: `ombrelin` and
`bsdtar -xf` on the tree, each run into a new directory of its own (ext4 slows down creating
files right after many were deleted, so outputs stay until the end; wait a few minutes
between two invocations). Runs are interleaved, each round starting one further along
(ombrelin, bsdtar, 7z, ...; bsdtar, 7z, ...); round 0 is a warm-up and is not counted. Figures: seconds, median [min, max], and the
median of ombrelin's time over each peer's in the same round."""
import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "harness"))
from rounds import timed_rounds, work_folder  # noqa: E402
QUIET = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def testers(ombrelin):
    tester = os.path.join(os.path.dirname(ombrelin), "bench", "deflate_tester")
    return [("ombrelin", lambda a, d: subprocess.run([ombrelin, "-qt", a], **QUIET)),
            ("bsdtar", lambda a, d: subprocess.run(["bsdtar", "-xOf", a], **QUIET)),
            ("7z", lambda a, d: subprocess.run(["7z", "t", a], **QUIET)),
            ("libdeflate", lambda a, d: subprocess.run([tester, a], **QUIET))]


def extractors(ombrelin):
    return [("ombrelin", lambda a, d: subprocess.run([ombrelin, a], cwd=d, **QUIET)),
            ("bsdtar", lambda a, d: subprocess.run(["bsdtar", "-xf", a, "-C", d], **QUIET))]


def make(work, kind):
    path = os.path.join(work, kind + ".zip")
    subprocess.run([sys.executable, os.path.join(HERE, "make_archives.py"), kind, path], check=True)
    return path


def report(label, times):
    print("\n%s" % label)
    print("%-10s %24s   %s" % ("", "seconds median [min, max]",
                               "ombrelin's time / the peer's, median [min, max]"))
    mine = times["ombrelin"]
    for name, t in times.items():
        line = "%-10s %8.3f [%6.3f, %6.3f]" % (name, statistics.median(t), min(t), max(t))
        if name != "ombrelin":
            ratios = [a / b for a, b in zip(mine, t)]
            line += "   %.2f [%.2f, %.2f]" % (statistics.median(ratios), min(ratios), max(ratios))
        print(line)


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--ombrelin", default=os.environ.get(
        "OMBRELIN", os.path.join(ROOT, "build", "bench", "ombrelin")))
    ap.add_argument("--keep", action="store_true", help="leave the temporary directory")
    args = ap.parse_args()
    ombrelin = os.path.abspath(args.ombrelin)
    if not os.access(ombrelin, os.X_OK):
        sys.exit("no %s: build it first (see the README's benchmark section)" % ombrelin)
    with work_folder("bench_archives.", args.keep) as work:
        for kind in ("text", "binaries"):
            archive = make(work, kind)
            times, _ = timed_rounds(work, kind, archive, testers(ombrelin), args.rounds, False)
            report("testing %s (%.1f MB archive), %d interleaved rounds"
                   % (kind, os.path.getsize(archive) / 1e6, args.rounds), times)
        archive = make(work, "tree")
        times, (files, total) = timed_rounds(work, "tree", archive, extractors(ombrelin),
                                             args.rounds)
        report("extracting the tree (%d files, %.1f MB), %d interleaved rounds"
               % (files, total / 1e6, args.rounds), times)


if __name__ == "__main__":
    main()
