#!/bin/sh
# Peak memory (maximum resident set size) of the console driver over a 1 MiB and a 1 GiB
# archive, stored and deflated. The engine holds fixed buffers and the decoder's tables
# only, so all should need about the same; the row without an archive shows what the
# process costs before any archive is read.
#
#   bench/memory.sh [runs]        (default 3 runs per row; the median is shown)
#
# OMBRELIN names the program (default build/host/ombrelin); TMPDIR where the archives go
# (about 2.2 GB for a moment; they are deleted at the end).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
ombrelin=${OMBRELIN:-$root/build/host/ombrelin}
runs=${1:-3}
[ -x "$ombrelin" ] || { echo "no $ombrelin: build it first (cmake --preset host && cmake --build --preset host)" >&2; exit 1; }
ombrelin=$(cd "$(dirname "$ombrelin")" && pwd)/$(basename "$ombrelin") # runs happen elsewhere

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_memory.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

for kind in small large small-deflated large-deflated; do
    python3 "$here/make_archives.py" "$kind" "$work/$kind.zip"
done

# Prints "max_rss_kib exit_code seconds" of one run of the command given.
measure() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f '%M %x %e' -o "$work/time.out" "$@" >/dev/null 2>&1 || true
        tail -n 1 "$work/time.out" # after "Command exited with non-zero status" if any
    else
        python3 - "$@" <<'PY'
import resource, subprocess, sys, time
t = time.perf_counter()
r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, r.returncode,
      round(time.perf_counter() - t, 2))
PY
    fi
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

row() { # label mode archive [extraction directory]
    label=$1 mode=$2 archive=$3
    : >"$work/rss"; : >"$work/codes"; : >"$work/secs"
    i=0
    while [ $i -lt "$runs" ]; do
        if [ "$mode" = "-t" ]; then
            set -- $(measure "$ombrelin" -t "$archive")
        else
            # Extraction writes into the current directory: a new one per run.
            out="$work/out.$label.$i"
            mkdir "$out"
            set -- $(cd "$out" && measure "$ombrelin" "$archive")
        fi
        echo "$1" >>"$work/rss"; echo "$2" >>"$work/codes"; echo "$3" >>"$work/secs"
        i=$((i + 1))
    done
    rss=$(median <"$work/rss")
    printf '%-26s %10s %10s %8s %9s\n' "$label" "$(du -m "$archive" 2>/dev/null | cut -f1)" \
        "$rss" "$(sort -u "$work/codes" | tr '\n' ' ')" "$(median <"$work/secs")"
}

echo
echo "$ombrelin, $runs runs per row, medians"
printf '%-26s %10s %10s %8s %9s\n' "run" "archive MiB" "max RSS KiB" "exit" "seconds"
row "no archive (-t)" -t "$work/missing.zip"
for how in stored deflated; do
    suffix=$([ $how = deflated ] && echo -deflated || true)
    row "1 MiB $how (-t)" -t "$work/small$suffix.zip"
    row "1 GiB $how (-t)" -t "$work/large$suffix.zip"
    row "1 MiB $how (extract)" x "$work/small$suffix.zip"
    row "1 GiB $how (extract)" x "$work/large$suffix.zip"
done
