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
    cmake ninja-build g++ clang clang-format libgtest-dev libgmock-dev googletest libbenchmark-dev zlib1g-dev
    libclang-rt-14-dev
    # peers of the benchmarks: libdeflate on the host, zlib in the Windows builds
    libdeflate-dev libz-mingw-w64-dev
    # signing packages and launchers (--sign of the packing tools), and its test's certificate
    osslsigncode openssl
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
# A mirror caught mid-sync fails one index now and then ("File has unexpected size"): try once
# more, then install from the lists that did arrive; the install itself still has to succeed.
"${sudo[@]}" apt-get update -q </dev/null || sleep 10
"${sudo[@]}" apt-get update -q </dev/null ||
    echo "setup: apt-get update reported errors; installing from the package lists it has"
install() {
    "${sudo[@]}" apt-get install -y -q -o Dpkg::Options::=--force-confdef \
        -o Dpkg::Options::=--force-confold "$@" "${missing[@]}" </dev/null
}
# When the security archive's i386 list is the one that failed, the 32-bit libraries cannot
# match their 64-bit twins' security versions: then take the point release's, which exist
# for both architectures.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
install || { [[ -n $release ]] && echo "setup: retrying with the $release point release preferred" &&
    install -o APT::Default-Release="$release"; }
echo "setup: done"
