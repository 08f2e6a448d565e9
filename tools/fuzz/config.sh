#!/usr/bin/env bash
# Fuzzes the configuration reader for 60 seconds or one million inputs,
# whichever comes first; fails on any finding. Builds the host-fuzz preset's
# config_fuzz target (or, with BUILD_DIR given as argument or variable, that
# build directory with the same settings). New inputs go to a scratch folder,
# never into the seeds.
. "$(dirname "$0")/lib.bash"
fuzz_build "${1:-${BUILD_DIR:-}}" config_fuzz
fuzz_run config_fuzz 60 4096 -- "$root/tests/fuzz/config/corpus"
echo "config fuzz: clean"
