#!/usr/bin/env bash
# Entry point kept for habit: the benchmark lives with the other benchmarks.
#   tools/bench/unpack.sh [BUILD_DIR]
exec "$(dirname "$0")/../../tests/bench/unpack/unpack_bench.sh" "$@"
