#!/usr/bin/env bash
# Fuzzes the archive index reader, 30 seconds or one million inputs each
# (whichever comes first) with and without header checksums; fails on any
# finding. Builds the host-fuzz preset's archive_index fuzz targets (or, with
# BUILD_DIR given as argument or variable, that build directory with the same
# settings). New inputs go to a scratch folder, never into the seeds.
. "$(dirname "$0")/lib.bash"
fuzz_build "${1:-${BUILD_DIR:-}}" archive_index_fuzz archive_index_nosum_fuzz
for target in archive_index_fuzz archive_index_nosum_fuzz; do
    fuzz_run "$target" "${FUZZ_SECONDS:-30}" 8192 -- "$root/tests/fuzz/archive_index/corpus"
    echo "$target: clean"
done
