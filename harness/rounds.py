"""What the benchmarks share (standard library only): a work folder per benchmark, and runs of
several peers interleaved round by round, in turn, each into a new directory.

ext4 slows down creating files right after many were deleted, so outputs stay in the work folder
until the end, and each run writes into a directory of its own."""
import contextlib
import os
import shutil
import sys
import tempfile
import time


@contextlib.contextmanager
def work_folder(prefix, keep):
    """A new folder under $TMPDIR for one benchmark's files, removed at the end unless kept."""
    work = tempfile.mkdtemp(prefix=prefix, dir=os.environ.get("TMPDIR", "/tmp"))
    try:
        yield work
    finally:
        if keep:
            print("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


def tree_size(path):
    files = total = 0
    for dirpath, _, names in os.walk(path):
        for n in names:
            files += 1
            total += os.path.getsize(os.path.join(dirpath, n))
    return files, total


def warm(archive):
    with open(archive, "rb") as f:  # into the page cache before the first timed run
        while f.read(1 << 20):
            pass


def in_turn(peers, r):
    """(index, peer) pairs in round r's order: each round starts one further along. Two builds
    of the stub each took 15 % longer in the place right after floor.exe than in the next
    (floor_bench.py, 5 rounds in one order, then 5 in the other), so no peer keeps one place."""
    k = r % len(peers)
    return list(enumerate(peers))[k:] + list(enumerate(peers))[:k]


def timed_rounds(work, kind, archive, peers, rounds, extracting=True):
    """Seconds of each peer's runs, interleaved, each into a new directory of work; round 0
    is a warm-up (binaries and interpreter into the cache) and is not counted. When
    extracting, every peer's first run must give the same tree: (files, bytes)."""
    warm(archive)
    expected = None
    times = {name: [] for name, _ in peers}
    for r in range(rounds + 1):
        for _, (name, run) in in_turn(peers, r):
            out = os.path.join(work, "%s.%s.%d" % (kind, name, r))
            os.mkdir(out)
            t = time.perf_counter()
            proc = run(archive, out)
            elapsed = time.perf_counter() - t
            if proc.returncode != 0:
                sys.exit("%s failed on %s (exit %d)" % (name, archive, proc.returncode))
            if extracting and r == 0:
                got = tree_size(out)
                expected = expected or got
                if got != expected:
                    sys.exit("%s extracted %d files, %d bytes; expected %d files, %d bytes"
                             % ((name,) + got + expected))
            if r > 0:
                times[name].append(elapsed)
    return times, expected
