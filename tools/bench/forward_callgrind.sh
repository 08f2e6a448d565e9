#!/bin/sh
# Instructions per call of a forwarded export through pdaKVZ.dll against the
# same entry point of the next library called directly, counted by callgrind
# in one run of tests/bench/proxy/forward_bench.
#
#   tools/bench/forward_callgrind.sh [BUILD_DIR] [CALLS]
#
# BUILD_DIR is a host build configured with -DKVZ_BUILD_BENCH=ON (default
# build/host); the script builds forward_bench there first.
set -eu
build=${1:-build/host}
calls=${2:-100000}
cmake --build "$build" --target forward_bench -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
    --toggle-collect='Bench*' "$build/bin/forward_bench" "$calls" "$build/bin" \
    >/dev/null 2>"$work/valgrind.log" || { cat "$work/valgrind.log" >&2; exit 1; }
callgrind_annotate --inclusive=yes "$work/callgrind.out" 2>/dev/null |
    awk -v calls="$calls" '
    /Bench(Direct|Proxy)[A-Za-z]+/ {
        ir = $1; gsub(",", "", ir)
        match($0, /Bench(Direct|Proxy)[A-Za-z]+/)
        name = substr($0, RSTART, RLENGTH)
        cost[name] = ir / calls
    }
    END {
        n = split("GetCacheSize ReadFile", entries, " ")
        for (i = 1; i <= n; i++) {
            d = cost["BenchDirect" entries[i]]; p = cost["BenchProxy" entries[i]]
            printf "KVZ_%-13s direct %7.2f  proxy %7.2f  extra %5.2f instructions per call\n", \
                entries[i], d, p, p - d
        }
    }'
