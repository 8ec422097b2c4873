#!/usr/bin/env bash
# The project's one test command: set-up, the five builds, every test, a summary.
#
#   host       Linux build; unit tests (the decoder's also with the shipped 32-bit bit
#              buffer), plus the end-to-end tests under Wine of the Windows build that can
#              run on this machine (build/win32, else build/win64)
#   host-asan  unit tests with AddressSanitizer and UndefinedBehaviorSanitizer
#   host-tsan  unit tests with ThreadSanitizer: the engine hands work to other threads
#   win32      the shipped 32-bit programs
#   win64      the same sources for 64-bit Windows (runs where 32-bit code cannot)
#   format     every C and C++ file as clang-format writes it
#   fuzz       each fuzz target for 30 s (clang, libFuzzer, sanitizers); the engine's two
#              also with the 32-bit bit buffer, 15 s each
#
# Starts everything it needs itself (Xvfb, the Wine prefix, the wineserver) and stops it again.
# Exit status: 0 only when every step passed. Logs: build/test-logs/.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
LOGS=$ROOT/build/test-logs
JOBS=$(nproc 2>/dev/null || echo 2)
mkdir -p "$LOGS"
export CTEST_OUTPUT_ON_FAILURE=1

STEPS=()
RESULTS=()
SECONDS_TAKEN=()
failed=0

# step NAME COMMAND...: runs the command, output to the console and to build/test-logs/NAME.log.
step() {
    local name=$1 began result
    shift
    began=$(date +%s)
    echo
    echo "=== $name: $*"
    if "$@" 2>&1 | tee "$LOGS/$name.log"; then result=PASS; else result=FAIL; failed=1; fi
    STEPS+=("$name")
    RESULTS+=("$result")
    SECONDS_TAKEN+=($(($(date +%s) - began)))
    [[ $result == PASS ]]
}

skip() {
    STEPS+=("$1")
    RESULTS+=("SKIP ($2)")
    SECONDS_TAKEN+=(0)
    failed=1
}

build() { # build PRESET [cmake -D options...]
    local preset=$1
    shift
    cmake --preset "$preset" "$@" && cmake --build --preset "$preset" -j "$JOBS"
}

began_all=$(date +%s)
step setup scripts/setup.sh || { echo "set-up failed"; exit 1; }

# Which Windows build the end-to-end tests run: the 32-bit programs where 32-bit code runs.
WINE_ARCH=$(python3 harness/wine.py probe)
echo
echo "=== end-to-end tests will run the $WINE_ARCH build under Wine" \
     "($([[ $WINE_ARCH == win32 ]] && echo "32-bit code runs here" ||
         echo "this machine cannot execute 32-bit code"))"

# One brace and include style (.clang-format): any file that clang-format would change fails.
format_check() {
    git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
}
step format format_check || true
step build-win32 build win32 || true
step build-win64 build win64 || true
step build-host build host -DWINE_BUILD_DIR="$ROOT/build/$WINE_ARCH" && host_ok=1 || host_ok=0
step build-host-asan build host-asan -DWINE_BUILD_DIR= && asan_ok=1 || asan_ok=0
step build-host-tsan build host-tsan -DWINE_BUILD_DIR= && tsan_ok=1 || tsan_ok=0

# run_tests PRESET BUILT [ctest options...]: the build's tests, or a skip when it did not build.
run_tests() {
    local preset=$1 built=$2
    shift 2
    if ((built)); then
        step "test-$preset" ctest --test-dir "build/$preset" -j "$JOBS" --timeout 900 "$@" || true
    else
        skip "test-$preset" "build failed"
    fi
}
run_tests host "$host_ok"
run_tests host-asan "$asan_ok" -LE e2e
run_tests host-tsan "$tsan_ok" -LE e2e

# Short runs of every fuzz target (clang, libFuzzer, ASan + UBSan; a build of their own); the
# engine's two again with the shipped build's 32-bit bit buffer, shorter, on the same corpus.
for target in archive inflate launcher; do
    step "fuzz-$target" fuzz/run.sh "$target" 30 || true
done
for target in archive32 inflate32; do
    step "fuzz-$target" fuzz/run.sh "$target" 15 || true
done

echo
echo "==================== summary ===================="
for i in "${!STEPS[@]}"; do
    printf '%-16s %-22s %5ss\n' "${STEPS[$i]}" "${RESULTS[$i]}" "${SECONDS_TAKEN[$i]}"
done
for i in "${!STEPS[@]}"; do
    # The test steps of this run only: a skipped one left no log, or an old one.
    [[ ${STEPS[$i]} == test-* && ${RESULTS[$i]} != SKIP* ]] || continue
    # Which tests failed, here too: the summary may be all of the output a reader gets.
    grep -E '^[0-9]+% tests passed|tests? failed out of|^[[:space:]]+[0-9]+ - ' \
        "$LOGS/${STEPS[$i]}.log" | sed "s|^[[:space:]]*|${STEPS[$i]}: |"
done
echo "end-to-end tests ran the $WINE_ARCH build; total $(($(date +%s) - began_all)) s"
if ((failed)); then
    echo "RESULT: FAILED"
    exit 1
fi
echo "RESULT: all passed"
