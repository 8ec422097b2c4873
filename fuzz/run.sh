#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) in build/fuzz and runs
# fuzz_archive for the given number of seconds (default 60) in one process.
#
#   fuzz/run.sh [seconds] [extra libFuzzer options ...]
#
# The corpus grows in build/fuzz/corpus (seeded from the shared corpus and from
# fuzz/make_seeds.py); crashes, leaks and time-outs are written to $ARTIFACTS
# (default /tmp/fuzz_archive_artifacts/), never into the source tree.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${BUILD_DIR:-$root/build/fuzz}
seconds=${1:-60}
[ $# -gt 0 ] && shift
artifacts=${ARTIFACTS:-/tmp/fuzz_archive_artifacts/}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DWITH_FUZZERS=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$build" --target fuzz_archive

mkdir -p "$build/seeds" "$build/corpus" "$artifacts"
python3 "$here/make_seeds.py" "$build/seeds"

# The regression inputs run first, each once; a failing one is reported and fuzzing goes
# on (libFuzzer stops at the first failure, so the rest of them are not run then).
if [ -d "$here/regressions" ] && [ -n "$(ls -A "$here/regressions")" ]; then
    if ! "$build/fuzz/fuzz_archive" "$here/regressions"/* </dev/null; then
        echo "fuzz/run.sh: a regression input fails (see above)" >&2
    fi
fi

# Standard input is closed as in the stub: the engine's questions read end-of-file.
exec "$build/fuzz/fuzz_archive" -dict="$here/zip.dict" -max_total_time="$seconds" \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "$@" "$build/corpus" "$build/seeds" </dev/null
