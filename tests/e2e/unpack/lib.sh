# Shared helpers of the kvz_unpack end-to-end scenarios.
#
# Environment:
#   KVZ_BIN_DIR   build output folder holding kvz_unpack and KVZ32.DLL
#   KVZ_E2E_MODE  "host" (default) or "wine": the PE build, run through
#                 tools/wine-run, prints CR LF and Windows paths (Z:\...)
#   KVZ_SOURCE_DIR the source tree (for tools/wine-run)
#   KVZ_EMULATOR  in host mode, what starts a program of the build when this
#                 machine cannot (tools/qemu-run for host-arm32); may be empty
# Each scenario is a function test_<name>; run_scenarios runs them all in
# fresh temporary folders and fails when any check failed.
set -u

MODE=${KVZ_E2E_MODE:-host}
BIN=${KVZ_BIN_DIR:?KVZ_BIN_DIR not set}
FAILURES=0
CURRENT=""

if [ "$MODE" = wine ]; then
    UNPACK_NAME=kvz_unpack.exe
    WINE_RUN=${KVZ_SOURCE_DIR:?}/tools/wine-run
else
    UNPACK_NAME=kvz_unpack
fi

# run_program PROGRAM ARGS...: starts a program of the build, in host mode.
run_program() {
    if [ -n "${KVZ_EMULATOR:-}" ]; then
        "$KVZ_EMULATOR" "$@"
    else
        "$@"
    fi
}

fail() {
    echo "FAIL [$CURRENT]: $*" >&2
    FAILURES=$((FAILURES + 1))
}

# skip REASON: says why the rest of a scenario cannot run in this build.
skip() {
    echo "SKIP [$CURRENT] in the $MODE build: $*"
}

# The kit's form of a host path as the program prints it.
kit_path() {
    local p=${1//\//\\}
    if [ "$MODE" = wine ]; then p="Z:$p"; fi
    printf '%s' "$p"
}

# An argument path in the form the program takes (relative paths stay relative).
arg_path() {
    if [ "$MODE" = wine ]; then
        case $1 in
        /*) kit_path "$1" ;;
        *) printf '%s' "${1//\//\\}" ;;
        esac
    else
        printf '%s' "$1"
    fi
}

# run_with PROGRAM ARGS...: runs in the current directory; stdout in $T/out
# (under Wine checked for CR LF line ends, then CR removed), exit code in RC.
run_with() {
    local program=$1
    shift
    if [ "$MODE" = wine ]; then
        "$WINE_RUN" "$program" "$@" >"$T/out.raw" 2>"$T/err"
        RC=$?
        # A Windows console program ends every line with CR LF.
        if grep -qv $'\r$' "$T/out.raw"; then fail "a line of output does not end in CR LF"; fi
        tr -d '\r' <"$T/out.raw" >"$T/out"
    else
        run_program "$program" "$@" >"$T/out" 2>"$T/err"
        RC=$?
    fi
}

run_unpack() { run_with "$BIN/$UNPACK_NAME" "$@"; }

# Compares $T/out with the expected text on stdin; @T@ stands for the kit
# form of $T.
expect_out() {
    local expected
    expected=$(cat; printf x)
    expected=${expected%x}
    expected=${expected//@T@/$(kit_path "$T")}
    printf '%s' "$expected" >"$T/expected"
    if ! cmp -s "$T/expected" "$T/out"; then
        fail "standard output differs (expected vs got):"
        diff "$T/expected" "$T/out" >&2 || true
    fi
}

expect_rc() {
    if [ "$RC" != "$1" ]; then fail "exit code: expected $1, got $RC"; fi
}

# Trees equal byte for byte (file contents, names, directories).
expect_tree() {
    if ! diff -r "$1" "$2" >"$T/tree.diff" 2>&1; then
        fail "trees $1 and $2 differ:"
        cat "$T/tree.diff" >&2
    fi
}

expect_missing() {
    if [ -e "$1" ]; then fail "$1 should not exist"; fi
}

# make_file PATH SIZE: SIZE bytes, byte i = 'a' + i % 26 (the desktop fake's
# content, so one helper serves both).
make_file() {
    mkdir -p "$(dirname "$1")"
    yes abcdefghijklmnopqrstuvwxyz | tr -d '\n' | head -c "$2" >"$1"
}

# make_archive ARCHIVE SRC MEMBERS...: a ustar archive of the members of SRC
# in exactly the given order.
make_archive() {
    local archive=$1 src=$2
    shift 2
    mkdir -p "$(dirname "$archive")"
    tar --format=ustar --no-recursion -cf "$archive" -C "$src" "$@"
}

# A folder holding a copy of kvz_unpack and, optionally, a KVZ32.DLL.
solo_unpack() {
    local dir=$1 library=${2:-}
    mkdir -p "$dir"
    cp "$BIN/$UNPACK_NAME" "$dir/"
    if [ -n "$library" ]; then cp "$library" "$dir/KVZ32.DLL"; fi
}

run_scenarios() {
    local name
    for name in $(declare -F | awk '{print $3}' | grep '^test_'); do
        if [ -n "${KVZ_E2E_ONLY:-}" ] && [ "$name" != "$KVZ_E2E_ONLY" ]; then continue; fi
        CURRENT=$name
        T=$(mktemp -d /tmp/kvz-unpack-e2e.XXXXXX)
        mkdir -p "$T/run"
        (
            FAILURES=0
            cd "$T/run" || exit 1
            "$name"
            exit $FAILURES
        )
        FAILURES=$((FAILURES + $?))
        rm -rf "$T"
    done
    if [ "$FAILURES" -ne 0 ]; then
        echo "$FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "all scenarios passed"
}
