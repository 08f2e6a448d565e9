#!/usr/bin/env bash
# Fuzzes the CE image parser for one million inputs, stopping after
# FUZZ_SECONDS (default 150) seconds; fails on any finding, and when fewer
# than a million inputs ran. Builds the host-fuzz preset's pe_image_fuzz (or,
# with BUILD_DIR given as argument or variable, that build directory with the
# same settings). The seeds are the image tests' own DLL and variants of it,
# written fresh by pe_image_seeds; new inputs go to a scratch folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"

BUILD_DIR="${1:-${BUILD_DIR:-}}"
if [ -n "$BUILD_DIR" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVZ_BUILD_FUZZERS=ON -DKVZ_BUILD_TESTS=OFF >/dev/null
  build="$BUILD_DIR"
else
  cmake --preset host-fuzz >/dev/null
  build="$root/build/host-fuzz"
fi
cmake --build "$build" --target pe_image_fuzz pe_image_seeds -j2

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/seeds" "$work/corpus"
"$build/bin/pe_image_seeds" "$work/seeds"
runs=1000000
"$build/bin/pe_image_fuzz" -max_total_time="${FUZZ_SECONDS:-150}" -runs=$runs \
  -max_len=16384 -artifact_prefix="$work/" -print_final_stats=1 \
  "$work/corpus" "$work/seeds" 2>"$work/log" || {
  tail -n 60 "$work/log"
  for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$crash" ] && { mkdir -p "$build/fuzz-findings"; cp "$crash" "$build/fuzz-findings/"; }
  done
  echo "pe_image_fuzz: FINDING (inputs kept in $build/fuzz-findings)" >&2
  exit 1
}
grep -E "^(Done|stat::number_of_executed_units)" "$work/log" || true
executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
if [ "${executed:-0}" -lt $runs ]; then
  echo "pe_image_fuzz: only ${executed:-0} of $runs inputs ran in time" >&2
  exit 1
fi
echo "pe_image_fuzz: clean"
