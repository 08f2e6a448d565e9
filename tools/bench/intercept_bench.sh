#!/bin/sh
# Benchmarks of the proxy's interception: instruction counts of KVZ_CreateFile
# under callgrind (proxy against a direct call of the next library, logging
# off) and access log lines per second by one and by eight threads.
#
#   tools/bench/intercept_bench.sh [build-dir]     (default: build/host-bench)
#
# The build directory is configured with -DKVZ_BUILD_BENCH=ON and built here.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-"$root/build/host-bench"}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKVZ_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" --target intercept_bench log_bench -j2 >/dev/null
bin="$build/bin"

out=$(mktemp)
trap 'rm -f "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out" "$bin/intercept_bench" "$bin" >/dev/null 2>&1
calls=1000
cost() {
    callgrind_annotate --inclusive=yes "$out" 2>/dev/null |
        awk -v f="$1" '$0 ~ ":" f " " { gsub(",", "", $1); print $1; exit }'
}
direct_plain=$(( $(cost BenchDirectPlain) / calls ))
proxy_plain=$(( $(cost BenchProxyPlain) / calls ))
direct_redirect=$(( $(cost BenchDirectRedirect) / calls ))
proxy_redirect=$(( $(cost BenchProxyRedirect) / calls ))

added=$((proxy_plain - direct_plain))
echo "KVZ_CreateFile, 40-character name, not .ogg, logging off (instructions per call):"
echo "  next library directly: $direct_plain   through the proxy: $proxy_plain   added: $added   goal: <= $((2 * 40 + 30))"
echo "KVZ_CreateFile, redirected open that succeeds, logging off:"
echo "  next library directly: $direct_redirect   through the proxy: $proxy_redirect" \
    "  ratio: $(awk -v a="$proxy_redirect" -v b="$direct_redirect" 'BEGIN { printf "%.2f", a / b }')" \
    "  goal: <= 3x plus the name copy"
echo "Access log (wall clock):"
"$bin/log_bench" | sed 's/^/  /'
