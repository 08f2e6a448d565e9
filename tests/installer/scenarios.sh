#!/bin/bash
# The package installer of tools/test on made-up machines: a fake apt-get and
# dpkg (fake/) come first on PATH, each scenario gives the packages missing
# and the rules of its registry, and tools/test --plan prints the table of
# what a run would do. Runs as root, or as root of a user namespace of its
# own, so nothing real is ever installed and no network is used.
#
# Environment: KVZ_SOURCE_DIR, the source tree.
set -u
SOURCE=${KVZ_SOURCE_DIR:?KVZ_SOURCE_DIR not set}
FAKES=$(cd "$(dirname "$0")/fake" && pwd)
FAILURES=0
CURRENT=""

if [ "$(id -u)" -eq 0 ]; then
    AS_ROOT=()
elif unshare -r true 2>/dev/null; then
    AS_ROOT=(unshare -r)
else
    echo "skipped: not root, and no user namespace to be root in"
    exit 77
fi

. "$SOURCE/tools/lib/packages.bash"
KVZ_ASSUME_NO_32BIT=0 kvz_probe_32bit
RUNS_32BIT=$([ -z "$KVZ_NO_32BIT_REASON" ] && echo yes)

fail() {
    echo "FAIL [$CURRENT]: $*" >&2
    FAILURES=$((FAILURES + 1))
}

# machine PACKAGE...: a machine lacking these packages (all others are
# installed) and no foreign architecture; the registry's rules on stdin.
machine() {
    mkdir -p "$T/apt"
    printf '%s\n' "$@" >"$T/apt/missing"
    cat >"$T/apt/rules"
    : >"$T/apt/installed"
    : >"$T/apt/calls"
    : >"$T/apt/foreign"
}

# plan STAGES [VAR=VALUE...]: tools/test --plan for the stages on the
# machine; output in $T/out, the closing table in $T/table, exit code in RC.
plan() {
    env -u KVZ_NO_INSTALL -u KVZ_ASSUME_NO_32BIT PATH="$FAKES:$PATH" \
        KVZ_FAKE_APT_DIR="$T/apt" KVZ_APT_RETRY_PAUSE=0 KVZ_TEST_STAGES="$1" "${@:2}" \
        "${AS_ROOT[@]}" "$SOURCE/tools/test" --plan >"$T/out" 2>&1
    RC=$?
    sed -n '/^==== Plan/,$p' "$T/out" | tail -n +2 | sed 's/^  //' >"$T/table"
    if grep -q '^PASS' "$T/table"; then fail "a plan says PASS"; fi
}

# expect_same WHAT FILE: FILE holds exactly the lines on stdin.
expect_same() {
    cat >"$T/expected"
    if ! cmp -s "$T/expected" "$2"; then
        fail "$1 differs (expected vs got):"
        diff "$T/expected" "$2" >&2
        echo "--- output of tools/test --plan:" >&2
        cat "$T/out" >&2
    fi
}

expect_table() { expect_same "the table" "$T/table"; }
expect_calls() { expect_same "the apt-get and dpkg calls" "$T/apt/calls"; }

expect_rc() {
    if [ "$RC" != "$1" ]; then fail "exit code: expected $1, got $RC"; fi
}

# expect_lines N LINE: the output holds LINE N times.
expect_lines() {
    local got
    got=$(grep -cxF -- "$2" "$T/out")
    if [ "$got" != "$1" ]; then fail "expected $1 line(s) '$2', got $got"; fi
}

STILL_FAILING="apt-get update: still failing after 3 tries, going on without:"

SECURITY_I386="http://mirror.invalid/debian-security bookworm-security/main i386 Packages"
RESOLVER="E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages."

# The registry of the first fresh machine: the i386 index of the security
# suite never arrives whole, so wine32 cannot be installed; the rest can.
test_index_fails_on_every_update() {
    machine wine64 wine32:i386 gcc-mingw-w64-i686-posix <<RULES
update-fails always $SECURITY_I386
install-fails wine32:i386 $RESOLVER
RULES
    plan "win32 win64"
    expect_rc 0
    expect_lines 1 "$STILL_FAILING debian-security bookworm-security/main i386 Packages"
    if [ "$RUNS_32BIT" = yes ]; then
        expect_calls <<'CALLS'
dpkg --add-architecture i386
apt-get update
apt-get update
apt-get update
apt-get install gcc-mingw-w64-i686-posix wine64
apt-get install wine32:i386
CALLS
        local reason="wine32 cannot be installed: $RESOLVER"
    else
        expect_calls <<'CALLS'
apt-get update
apt-get update
apt-get update
apt-get install gcc-mingw-w64-i686-posix wine64
CALLS
        local reason="this kernel cannot run 32-bit programs"
    fi
    expect_table <<TABLE
DONE  packages
WOULD RUN  build wince
WOULD RUN  build win32
SKIP  test win32 (Wine): $reason
WOULD RUN  build win64
WOULD RUN  test win64 (Wine)
TABLE
}

test_index_fails_once_then_works() {
    machine cmake <<'RULES'
update-fails 1 http://mirror.invalid/debian bookworm/main amd64 Packages
RULES
    plan host
    expect_rc 0
    expect_lines 0 "$STILL_FAILING debian bookworm/main amd64 Packages"
    expect_calls <<'CALLS'
apt-get update
apt-get update
apt-get install cmake
CALLS
    expect_table <<'TABLE'
DONE  packages
WOULD RUN  build host
WOULD RUN  test host
TABLE
}

# One transaction for all fails on qemu; then each group on its own.
test_group_that_cannot_be_installed_skips_its_stages() {
    machine qemu-user wine64 <<'RULES'
install-fails qemu-user E: Package 'qemu-user' has no installation candidate
RULES
    plan "host arm32 win64"
    expect_rc 0
    expect_calls <<'CALLS'
apt-get update
apt-get install qemu-user wine64
apt-get install qemu-user
apt-get install wine64
CALLS
    local reason="qemu cannot be installed: E: Package 'qemu-user' has no installation candidate"
    expect_table <<TABLE
DONE  packages
WOULD RUN  build host
WOULD RUN  test host
WOULD RUN  build wince
WOULD RUN  build win64
WOULD RUN  test win64 (Wine)
SKIP  build host-arm32: $reason
SKIP  test host-arm32 (qemu-arm): $reason
TABLE
}

# A name apt has never heard of is the kit's typo: a failure, not a SKIP alone.
test_unknown_package_name_fails() {
    machine cmake python3-pefile <<'RULES'
unknown python3-pefile
RULES
    plan "host wince"
    expect_rc 1
    expect_table <<'TABLE'
FAIL  packages
WOULD RUN  build host
WOULD RUN  test host
SKIP  build wince: apt does not know the package(s) python3-pefile
TABLE
}

# No wine32 and no i386 architecture is asked for; nothing else is missing,
# so apt does not run at all.
test_machine_without_32bit_programs() {
    machine wine wine32:i386 </dev/null
    plan win32 KVZ_ASSUME_NO_32BIT=1
    expect_rc 0
    expect_calls </dev/null
    expect_table <<'TABLE'
DONE  packages
WOULD RUN  build wince
WOULD RUN  build win32
SKIP  test win32 (Wine): this kernel cannot run 32-bit programs
TABLE
}

test_one_stage_installs_its_own_packages() {
    machine gcc-arm-none-eabi wine64 qemu-user g++-arm-linux-gnueabihf </dev/null
    plan wince
    expect_rc 0
    expect_calls <<'CALLS'
apt-get update
apt-get install gcc-arm-none-eabi
CALLS
    expect_table <<'TABLE'
DONE  packages
WOULD RUN  build wince
WOULD RUN  check wince (pdaKVZ.dll, _pdaKVZ.dll)
TABLE
}

# KVZ_NO_INSTALL=1: a missing group skips its stages; missing core fails.
test_no_install() {
    machine wine64 </dev/null
    plan win64 KVZ_NO_INSTALL=1
    expect_rc 0
    expect_calls </dev/null
    expect_table <<'TABLE'
DONE  packages
WOULD RUN  build wince
WOULD RUN  build win64
SKIP  test win64 (Wine): wine64 is not installed (KVZ_NO_INSTALL=1): wine64
TABLE
    machine cmake </dev/null
    plan host KVZ_NO_INSTALL=1
    expect_rc 1
    expect_calls </dev/null
    expect_table <<'TABLE'
FAIL  packages
SKIP  build host: core is not installed (KVZ_NO_INSTALL=1): cmake
SKIP  test host: core is not installed (KVZ_NO_INSTALL=1): cmake
TABLE
}

for name in $(declare -F | awk '{print $3}' | grep '^test_'); do
    CURRENT=$name
    T=$(mktemp -d "${TMPDIR:-/tmp}/kvz-installer.XXXXXX")
    before=$FAILURES
    "$name"
    rm -rf "$T"
    [ "$FAILURES" -eq "$before" ] && echo "ok   $name" || echo "FAIL $name"
done
if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed" >&2
    exit 1
fi
echo "all scenarios passed"
