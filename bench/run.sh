#!/usr/bin/env bash
# Every benchmark of the engine in one go, printing figures and ratios (no verdicts):
#
#   bench/run.sh [rounds]            (default 7 interleaved rounds each)
#
# 1. inflate_bench (host build, -O3): the decoder against zlib and libdeflate, CRC-32
#    against zlib.
# 2. inflate_bench.exe (the shipped Windows build's flags; MinGW zlib and libdeflate built
#    from Debian's source package as the peers) under Wine: the 32-bit program where this
#    machine runs 32-bit code, else the 64-bit one.
# 3. archive_bench.py: whole deflated archives, ombrelin against bsdtar, 7z and a
#    libdeflate-based tester.
# 4. memory.sh: peak memory over 1 MiB and 1 GiB archives, stored and deflated.
# 5. floor_bench.py: packages of many files, the stub and ombrelin.exe under Wine against
#    floor.exe (the same tree made with plain Win32 calls), also less each program's time
#    on a one-file package, and deflated against stored in the same rounds; the host build
#    against bsdtar and cp -r.
# 6. close_bench: the 5,000 small files of make_archives.py's "many-small", host build, with
#    closes as slow as a virus scanner makes them on Windows.
# Run it on an otherwise idle machine: the figures of a loaded one are noise.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
rounds=${1:-7}
jobs=$(nproc 2>/dev/null || echo 2)

scripts/setup.sh >/dev/null
arch=$(python3 harness/wine.py probe)
toolchain=cmake/toolchain-$([[ $arch == win32 ]] && echo i686 || echo x86_64)-w64-mingw32.cmake

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DWITH_BENCHMARKS=ON >/dev/null
cmake --build build/bench -j "$jobs" --target inflate_bench deflate_tester ombrelin close_bench >/dev/null
# The Windows decoder benchmark's libdeflate peer, from Debian's source package.
cmake -S . -B "build/bench-$arch" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DWITH_BENCHMARKS=ON -DLIBDEFLATE_SOURCE_DIR="$(bench/libdeflate_source.sh)" >/dev/null
cmake --build "build/bench-$arch" -j "$jobs" --target inflate_bench floor installer ombrelin \
    launch boxtext recorder >/dev/null

echo "== the decoder and CRC-32, host build (x86-64)"
build/bench/bench/inflate_bench --rounds "$rounds"
echo
echo "== the same, $arch Windows build under Wine"
loader=/usr/lib/wine/$([[ $arch == win32 ]] && echo wine || echo wine64)
mkdir -p build/e2e # Wine makes the prefix itself, but not the folders above it
WINEPREFIX=$PWD/build/e2e/prefix-$arch WINEARCH=$arch WINEDEBUG=-all "$loader" \
    "build/bench-$arch/bench/inflate_bench.exe" --rounds "$rounds"
echo
echo "== whole archives"
python3 bench/archive_bench.py --rounds "$rounds" --ombrelin build/bench/ombrelin
echo
echo "== peak memory"
OMBRELIN=build/bench/ombrelin bench/memory.sh 3
echo
echo "== packages of many files against the platform's floor"
python3 bench/floor_bench.py --rounds "$rounds" --build "build/bench-$arch" \
    --ombrelin build/bench/ombrelin
echo
echo "== files closed behind the engine, closes made slow"
[[ -f build/bench/many-small.zip ]] || python3 bench/make_archives.py many-small build/bench/many-small.zip
build/bench/bench/close_bench build/bench/many-small.zip
