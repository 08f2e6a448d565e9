#!/usr/bin/env bash
# Extraction speed of kvz_unpack against tar -xf on the same archives, in one
# run: one 256 MiB file, and 20,000 small files. Prints seconds and the ratio
# (tar's time / kvz_unpack's time: above 1 means kvz_unpack is faster).
#   tools/bench/unpack.sh [BUILD_DIR]     (default build/host; data in /tmp)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${1:-$repo/build/host}" && pwd)/bin
work=$(mktemp -d /tmp/kvz-unpack-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

seconds() { # seconds COMMAND...: wall time of one run, output discarded
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

measure() { # measure NAME ARCHIVE
    local name=$1 archive=$2 tar_s kvz_s
    rm -rf "$work/t" "$work/k" && mkdir "$work/t"
    tar_s=$(seconds tar -xf "$archive" -C "$work/t")
    kvz_s=$(cd "$work" && seconds "$bin/kvz_unpack" "-o$work/k" "$archive")
    diff -r "$work/t" "$work/k" >/dev/null || { echo "$name: trees differ" >&2; exit 1; }
    printf '%-18s tar %6.2f s   kvz_unpack %6.2f s   ratio %.2f\n' \
        "$name" "$tar_s" "$kvz_s" "$(echo "$tar_s / $kvz_s" | bc -l)"
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
