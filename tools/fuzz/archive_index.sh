#!/usr/bin/env bash
# Fuzzes the archive index reader, 30 seconds or one million inputs each
# (whichever comes first) with and without header checksums; fails on any
# finding. Builds the host-fuzz preset's archive_index fuzz targets (or, with BUILD_DIR set, that build directory with
# the same settings). New inputs go to a scratch folder, never into the seeds.
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
cmake --build "$build" --target archive_index_fuzz archive_index_nosum_fuzz -j2

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for target in archive_index_fuzz archive_index_nosum_fuzz; do
  rm -rf "$work/corpus" && mkdir "$work/corpus"
  "$build/bin/$target" -max_total_time="${FUZZ_SECONDS:-30}" -runs=1000000 \
    -max_len=8192 -artifact_prefix="$work/" -print_final_stats=1 \
    "$work/corpus" "$root/tests/fuzz/archive_index/corpus" 2>"$work/log" || {
    tail -n 60 "$work/log"
    for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -e "$crash" ] && { mkdir -p "$build/fuzz-findings"; cp "$crash" "$build/fuzz-findings/"; }
    done
    echo "$target: FINDING (inputs kept in $build/fuzz-findings)" >&2
    exit 1
  }
  grep -E "^(Done|stat::number_of_executed_units)" "$work/log" || true
  echo "$target: clean"
done
