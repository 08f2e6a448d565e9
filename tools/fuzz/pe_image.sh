#!/usr/bin/env bash
# Fuzzes the CE image parser for one million inputs, stopping after
# FUZZ_SECONDS (default 150) seconds; fails on any finding, and when fewer
# than a million inputs ran. Builds the host-fuzz preset's pe_image_fuzz (or,
# with BUILD_DIR given as argument or variable, that build directory with the
# same settings). The seeds are the image tests' own DLL and variants of it,
# written fresh by pe_image_seeds; new inputs go to a scratch folder.
. "$(dirname "$0")/lib.bash"
fuzz_build "${1:-${BUILD_DIR:-}}" pe_image_fuzz pe_image_seeds
mkdir "$work/seeds"
"$build/bin/pe_image_seeds" "$work/seeds"
fuzz_run pe_image_fuzz "${FUZZ_SECONDS:-150}" 16384 -- "$work/seeds"
if [ "${executed:-0}" -lt 1000000 ]; then
    echo "pe_image_fuzz: only ${executed:-0} of 1000000 inputs ran in time" >&2
    exit 1
fi
echo "pe_image_fuzz: clean"
