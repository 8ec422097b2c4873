#!/usr/bin/env bash
# The main job: build installer.exe and run it under Wine on demonstration scenarios,
# showing what it did (scripts/demo.py tells the details). Does its own set-up.
#
# The shipped program is the 32-bit build (build/win32/installer.exe). Where this machine
# cannot execute 32-bit code, the 64-bit build of the same sources is run instead.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup.sh
arch=$(python3 harness/wine.py probe)
presets=(win32)
[[ $arch == win32 ]] || presets+=("$arch")
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" --target installer launch boxtext
done
echo "shipped program: build/win32/installer.exe ($(stat -c %s build/win32/installer.exe) bytes)"
if [[ $arch != win32 ]]; then
    echo "this machine cannot execute 32-bit code: running build/$arch/installer.exe" \
         "(same sources) in a 64-bit Wine prefix"
fi
# A real package: tools/pack_installer.py puts a sample payload behind the stub, with
# tests/winhelpers/recorder.c as its installer.exe; it runs quietly and normally, and the
# recorder shows what the stub handed over.
cmake --build --preset "$arch" --target recorder >/dev/null
WINE_BUILD_DIR=$PWD/build/$arch python3 tests/e2e/test_package_basics.py --demo
# The Java launcher: a packaged application starts the host's JVM (scripts/demo_launcher.py).
WINE_BUILD_DIR=$PWD/build/$arch python3 scripts/demo_launcher.py
echo
WINE_BUILD_DIR=$PWD/build/$arch exec python3 scripts/demo.py "$@"
