#!/usr/bin/env bash
# Extraction speed of kvz_unpack against tar -xf of the same archive into an
# empty directory, in one run: one 256 MiB file, and 20,000 small files.
# Each program runs RUNS times per archive (tar and kvz_unpack taking turns,
# so both see the same state of the page cache); the best wall time counts.
# Prints seconds and the ratio tar / kvz_unpack (1 or more: kvz_unpack is at
# least as fast). A measurement, never a test: nothing here fails on speed.
#   unpack_bench.sh [BUILD_DIR]   (default build/host; RUNS=5, data in TMPDIR)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
bin=$(cd "${1:-$repo/build/host}" && pwd)/bin
runs=${RUNS:-5}
[ -x "$bin/kvz_unpack" ] && [ -e "$bin/KVZ32.DLL" ] || {
    echo "no kvz_unpack or KVZ32.DLL in $bin: build them first" >&2
    exit 2
}
work=$(mktemp -d "${TMPDIR:-/tmp}/kvz-unpack-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Microseconds since the epoch.
now_us() { local t=${EPOCHREALTIME/[.,]/}; echo $((10#$t)); }

# Wall time of one run of COMMAND in microseconds, output discarded.
micros() {
    local start
    start=$(now_us)
    "$@" >/dev/null
    echo $(($(now_us) - start))
}

run_tar() { tar -xf "$1" -C "$work/t"; }
run_kvz() { (cd "$work" && "$bin/kvz_unpack" "-o$work/k" "$1"); }

measure() { # measure NAME ARCHIVE: prints one line
    local name=$1 archive=$2 tar_best=0 kvz_best=0 i t k
    for ((i = 0; i < runs; i++)); do
        rm -rf "$work/t" "$work/k" && mkdir "$work/t"
        t=$(micros run_tar "$archive")
        k=$(micros run_kvz "$archive")
        ((tar_best == 0 || t < tar_best)) && tar_best=$t
        ((kvz_best == 0 || k < kvz_best)) && kvz_best=$k
    done
    diff -r "$work/t" "$work/k" >/dev/null || { echo "$name: trees differ" >&2; exit 1; }
    rm -rf "$work/t" "$work/k"
    awk -v n="$name" -v t="$tar_best" -v k="$kvz_best" -v r="$runs" 'BEGIN {
        printf "%-18s tar %6.3f s   kvz_unpack %6.3f s   ratio %.2f   (best of %d)\n",
               n, t / 1e6, k / 1e6, t / k, r }'
}

mkdir -p "$work/big" "$work/small/d"
head -c $((256 << 20)) /dev/urandom >"$work/big/big.bin"
tar --format=ustar -C "$work/big" -cf "$work/big.kvz" big.bin
rm -rf "$work/big"
for i in $(seq 1 20000); do printf 'file %d\n' "$i" >"$work/small/d/f$i.txt"; done
tar --format=ustar -C "$work/small" -cf "$work/small.kvz" d
rm -rf "$work/small"

sync
measure "one 256 MiB file" "$work/big.kvz"
measure "20,000 small files" "$work/small.kvz"
