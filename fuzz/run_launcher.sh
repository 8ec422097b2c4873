#!/bin/sh
# Builds fuzz_launcher (clang, libFuzzer, ASan + UBSan) in build/fuzz and runs it for the
# given number of seconds (default 60) in one process.
#
#   fuzz/run_launcher.sh [seconds] [extra libFuzzer options ...]
#
# Seeds are written to build/fuzz/launcher-seeds (a properties file and argument strings,
# each in both modes); the corpus grows in build/fuzz/launcher-corpus. Crashes, leaks and
# time-outs go to $ARTIFACTS (default /tmp/fuzz_launcher_artifacts/), never into the tree.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${BUILD_DIR:-$root/build/fuzz}
seconds=${1:-60}
[ $# -gt 0 ] && shift
artifacts=${ARTIFACTS:-/tmp/fuzz_launcher_artifacts/}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DWITH_FUZZERS=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$build" --target fuzz_launcher

seeds=$build/launcher-seeds
mkdir -p "$seeds" "$build/launcher-corpus" "$artifacts"
# Byte 0 is the mode: 0 properties, 1 args, 2 and 3 the same with tracing on.
for mode in 0 2; do
    printf "\\$mode"'programName=Demo\r\nexecFilename=C:\\\\jre\\\\bin\\\\javaw.exe\r\nargs=-cp a "b c"\\\r\nstartDir=\r\njvmMinVersion=1.4\r\nprogramName=\n' \
        >"$seeds/properties-$mode"
done
for mode in 1 3; do
    printf "\\$mode"'-cp lib\\app.jar "a b"c  d "e\tf' >"$seeds/args-$mode"
done

exec "$build/fuzz/fuzz_launcher" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -max_len=12000 -print_final_stats=1 -artifact_prefix="$artifacts" "$@" \
    "$build/launcher-corpus" "$seeds" </dev/null
