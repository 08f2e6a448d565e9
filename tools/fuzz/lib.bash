# Shared by the fuzz scripts in this folder; sourced, never run (tools/test
# runs the executable *.sh files only).
#
#   fuzz_build [BUILD_DIR] TARGET...   configures the host-fuzz preset, or
#       BUILD_DIR (the scripts' first argument or $BUILD_DIR) with the same
#       settings, builds the targets; sets build, and work, a scratch folder
#       removed at exit
#   fuzz_run NAME SECONDS MAX_LEN [ARG...] -- DIR...
#       runs bin/NAME for SECONDS or one million inputs, whichever comes
#       first, new inputs into a fresh $work/corpus; on a finding keeps the
#       inputs in $build/fuzz-findings and exits 1; sets executed
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"

fuzz_build() {
    local dir=$1
    shift
    if [ -n "$dir" ]; then
        cmake -S . -B "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVZ_BUILD_FUZZERS=ON -DKVZ_BUILD_TESTS=OFF >/dev/null
        build="$dir"
    else
        cmake --preset host-fuzz >/dev/null
        build="$root/build/host-fuzz"
    fi
    cmake --build "$build" --target "$@" -j2
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
}

fuzz_run() {
    local name=$1 seconds=$2 max_len=$3 options=() crash
    shift 3
    while [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    shift
    rm -rf "$work/corpus" && mkdir "$work/corpus"
    TMPDIR="$work" "$build/bin/$name" -max_total_time="$seconds" -runs=1000000 \
        -max_len="$max_len" -artifact_prefix="$work/" -print_final_stats=1 "${options[@]}" \
        "$work/corpus" "$@" 2>"$work/log" || {
        tail -n 60 "$work/log"
        for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
            [ -e "$crash" ] && { mkdir -p "$build/fuzz-findings"; cp "$crash" "$build/fuzz-findings/"; }
        done
        echo "$name: FINDING (inputs kept in $build/fuzz-findings)" >&2
        exit 1
    }
    grep -E "^(Done|stat::number_of_executed_units)" "$work/log" || true
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
}
