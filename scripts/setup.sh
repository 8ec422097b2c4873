#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demonstration need.
# Idempotent: when every package is installed already it does not touch apt at all.
# Runs without a terminal or standard input (CI); as root, or through sudo otherwise.
set -euo pipefail

PACKAGES=(
    # the shipped 32-bit programs, and the 64-bit build of the same sources
    g++-mingw-w64-i686 g++-mingw-w64-x86-64
    # running them: Wine (32-bit loader needs the i386 architecture), an X server, screenshots
    wine wine32:i386 wine64 xvfb xdotool imagemagick
    # making test archives without the project's own code
    libarchive-tools p7zip-full default-jdk-headless python3
    # host build, unit tests, sanitizers, fuzzing, benchmarks
    cmake ninja-build g++ clang libgtest-dev libgmock-dev googletest libbenchmark-dev zlib1g-dev
    libclang-rt-14-dev
    # peers of the benchmarks: libdeflate on the host, zlib in the Windows builds
    libdeflate-dev libz-mingw-w64-dev
)

missing=()
for package in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
    echo "setup: all ${#PACKAGES[@]} packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo -n)
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -q </dev/null
"${sudo[@]}" apt-get install -y -q -o Dpkg::Options::=--force-confdef \
    -o Dpkg::Options::=--force-confold "${missing[@]}" </dev/null
echo "setup: done"
