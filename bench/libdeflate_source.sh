#!/bin/sh
# Fetches Debian's libdeflate source package into build/libdeflate-src (once) and prints the
# folder of its sources, for the Windows benchmark's peer (-DLIBDEFLATE_SOURCE_DIR=...).
# The system's package lists have no source entries, so apt runs with lists of its own
# under that folder; the system's configuration is left as it is.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/libdeflate-src
found=$(ls -d "$work"/libdeflate-*/lib 2>/dev/null | head -n 1 || true)
if [ -z "$found" ]; then
    mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
    cat >"$work/apt/debian.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $(. /etc/os-release && echo "$VERSION_CODENAME")
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    options="-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=$work/apt
        -o Dir::State::Lists=$work/apt/lists -o Dir::Cache=$work/apt/cache"
    apt-get $options update >/dev/null
    (cd "$work" && apt-get $options source --download-only libdeflate >/dev/null 2>&1)
    tar -xzf "$work"/libdeflate_*.orig.tar.gz -C "$work"
    found=$(ls -d "$work"/libdeflate-*/lib | head -n 1)
fi
dirname "$found"
