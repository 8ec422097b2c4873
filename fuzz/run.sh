#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) in build/fuzz and runs one of
# them for the given number of seconds (default 60) in one process:
#
#   fuzz/run.sh TARGET [seconds] [extra libFuzzer options ...]
#
# TARGET: archive (fuzz_archive, the whole engine over an archive), inflate (fuzz_inflate,
# the decoder against zlib) or launcher (fuzz_launcher, the launcher's properties parser,
# argument splitter and version texts); archive32 and inflate32 are the first two with the
# shipped 32-bit build's bit buffer, sharing their corpus. Each target's corpus grows in
# build/fuzz/corpus-TARGET, seeded from fuzz/make_seeds.py (the archives of
# tests/corpus/archives among them, and launcher inputs at its line and argument limits);
# crashes, leaks and time-outs are written to $ARTIFACTS (default /tmp/fuzz_TARGET_artifacts/),
# never into the source tree. The archive and launcher targets work in a scratch folder under
# $TMPDIR (default /tmp): a tmpfs there runs them faster.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${BUILD_DIR:-$root/build/fuzz}
target=${1:?"usage: fuzz/run.sh archive|inflate|launcher|archive32|inflate32 [seconds] [options]"}
shift
seconds=${1:-60}
[ $# -gt 0 ] && shift
case $target in
archive | inflate | launcher | archive32 | inflate32) ;;
*)
    echo "fuzz/run.sh: unknown target $target" >&2
    exit 2
    ;;
esac
program=$build/fuzz/fuzz_$target
artifacts=${ARTIFACTS:-/tmp/fuzz_${target}_artifacts/}
base=${target%32} # the corpus, seeds, regressions and options of the 64-bit target

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DWITH_FUZZERS=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$build" --target "fuzz_$target"

mkdir -p "$build/corpus-$base" "$artifacts"
python3 "$here/make_seeds.py" "$build/seeds-archive" "$build/seeds-inflate" \
    "$build/seeds-launcher" >/dev/null

# The regression inputs (findings of earlier runs, kept once fixed) run first, each once;
# one that fails again ends the run as a failure.
regressions=$here/regressions/$base
if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    if ! "$program" "$regressions"/* </dev/null; then
        echo "fuzz/run.sh: a regression input fails again (see above)" >&2
        exit 1
    fi
fi

options=
[ "$base" = archive ] && options=-dict=$here/zip.dict
[ "$base" = launcher ] && options=-max_len=12000 # beyond the 9999-byte property lines
# Standard input is closed as in the stub: the engine's questions read end-of-file.
exec "$program" $options -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$@" "$build/corpus-$base" \
    "$build/seeds-$base" </dev/null
