#!/usr/bin/env bash
# Fuzzes the configuration reader for 60 seconds or one million inputs,
# whichever comes first; fails on any finding. Builds the host-fuzz preset's
# config_fuzz target (or, with BUILD_DIR set, that build directory with the
# same settings). New inputs go to a scratch folder, never into the seeds.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"

if [ -n "${BUILD_DIR:-}" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVZ_BUILD_FUZZERS=ON -DKVZ_BUILD_TESTS=OFF >/dev/null
  build="$BUILD_DIR"
else
  cmake --preset host-fuzz >/dev/null
  build="$root/build/host-fuzz"
fi
cmake --build "$build" --target config_fuzz -j2

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
TMPDIR="$work" "$build/bin/config_fuzz" -max_total_time=60 -runs=1000000 \
  -artifact_prefix="$work/" -print_final_stats=1 \
  "$work/corpus" "$root/tests/fuzz/config/corpus" 2>"$work/log" || {
  tail -n 60 "$work/log"
  for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$crash" ] && { mkdir -p "$build/fuzz-findings"; cp "$crash" "$build/fuzz-findings/"; }
  done
  echo "config fuzz: FINDING (inputs kept in $build/fuzz-findings)" >&2
  exit 1
}
grep -E "^(Done|stat::number_of_executed_units)" "$work/log" || true
echo "config fuzz: clean"
