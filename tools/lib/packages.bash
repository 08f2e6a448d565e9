# shellcheck shell=bash
# The Debian packages each stage of the kit needs, and the one installer for
# them. Sourced by tools/test, tools/demo and tools/release.
#
#   kvz_install_for_stages STAGE...
#       installs what the package groups of the stages lack. apt runs only
#       when a package is missing (dpkg -s decides): one apt-get update, tried
#       up to three times; indexes that still fail are named in one line and
#       the install goes on with what was fetched. Then one transaction for
#       every missing package, or, when it fails, one per group, so a group
#       that cannot be installed costs only its own stages. i386 groups
#       (32-bit Wine) are asked for only where this kernel runs 32-bit
#       programs, with the i386 architecture, in a transaction of their own.
#       Returns 0 unless a stage is unknown, the core group is missing after
#       the install, or apt does not know a package name of the groups.
#   kvz_stage_unavailable STAGE
#       after kvz_install_for_stages: prints why STAGE cannot run because a
#       group it needs is missing, or nothing.
#
# Stages are those of tools/test (KVZ_TEST_STAGES), plus win32-wine and
# win64-wine (the Wine tests of those builds) and demo (the host build
# alone). A PE stage brings its build's packages, not Wine: the release asks
# for "wince win32".
#
# Environment: KVZ_NO_INSTALL=1 never installs: a missing group makes its
# stages unavailable, a missing core group is a failure.
# KVZ_ASSUME_NO_32BIT=1 takes this kernel for one without 32-bit programs.
# KVZ_APT_RETRY_PAUSE: seconds between the tries of apt-get update (5).
# Not root: apt runs through sudo where sudo works without a password;
# elsewhere the command to run as root is printed and nothing is installed.

# ---- Package groups ----
declare -gA KVZ_PACKAGE_GROUPS=(
    # Every stage: compiler, CMake and make, GoogleTest (the host builds link
    # Debian's, the cross builds compile the sources of googletest).
    [core]="cmake make g++ libgtest-dev libgmock-dev googletest"
    # The allocation count test of the host builds.
    [valgrind]="valgrind"
    [mingw-i686]="gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix"
    [mingw-x86-64]="gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix"
    [wine64]="wine64"
    # The wrappers (wine, wineserver) run the 32-bit loader of wine32.
    [wine32]="wine wine32:i386"
    # The message-box tests of both PE builds: a display, the keyboard, screenshots.
    [wine-display]="xvfb xdotool imagemagick"
    [ninja]="ninja-build"
    [armhf]="g++-arm-linux-gnueabihf"
    [armel]="g++-arm-linux-gnueabi"
    [qemu]="qemu-user"
    # The handheld build and its checks: pefile, binutils' readelf, llvm-mc;
    # windres compiles the handheld DLL's version resource.
    [wince]="gcc-arm-none-eabi binutils-arm-none-eabi binutils-mingw-w64-i686 python3-pefile llvm"
    # libFuzzer comes with clang's runtime.
    [fuzz]="clang libclang-rt-14-dev"
    # The ARMv7 check build: clang, lld-link, llvm-dlltool, the mingw-w64 headers.
    [armv7-windows]="clang lld llvm mingw-w64-common"
)

# Groups of i386 packages: asked for only where 32-bit programs run.
KVZ_I386_GROUPS=" wine32 "

# ---- Stages ----
# The groups without which a stage cannot run.
declare -gA KVZ_STAGE_GROUPS=(
    [host]="core" [host-asan]="core" [host-uchar]="core" [tsan]="core" [demo]="core"
    [fuzz]="core fuzz"
    [wince]="core wince"
    [win32]="core wince mingw-i686"
    [win64]="core wince mingw-x86-64"
    [win32-wine]="wine32 wine-display"
    [win64-wine]="wine64 wine-display"
    [ninja]="core mingw-i686 ninja"
    [arm32]="core armhf qemu"
    [armel]="core wince armel qemu"
    [wince-check]="core armv7-windows"
    # Two releases of HEAD (tools/release: the wince and win32 builds).
    [release]="core wince mingw-i686"
)
# Groups installed with a stage that runs without them: the tests that need
# them skip themselves.
declare -gA KVZ_STAGE_EXTRAS=([host]="valgrind" [host-uchar]="valgrind")

# ---- State of the last install ----
declare -gA KVZ_GROUP_MISSING=() # group -> its packages not installed
declare -gA KVZ_GROUP_REASON=()  # group -> why it is missing after the install
KVZ_FAILED_INDEXES=""            # what apt-get update could not fetch
KVZ_UNKNOWN_NAMES=""             # package names apt does not know
KVZ_NO_32BIT_REASON=unprobed
KVZ_AS_ROOT=()

# ---- Probes ----
kvz_package_installed() {
    case "$(dpkg -s "$1" 2>/dev/null)" in
    *"Status: install ok installed"*) return 0 ;;
    esac
    return 1
}

# Sets KVZ_NO_32BIT_REASON to why this kernel cannot run 32-bit x86
# programs, or to nothing when it can: a static i386 program must exit with
# code 42. Its 96 bytes are written here, so the probe needs no tools.
kvz_probe_32bit() {
    local dir rc=0
    KVZ_NO_32BIT_REASON="this kernel cannot run 32-bit programs"
    if [ "${KVZ_ASSUME_NO_32BIT:-0}" = 1 ]; then
        echo "KVZ_ASSUME_NO_32BIT=1: taken as a machine without 32-bit programs" >&2
        return 0
    fi
    dir=$(mktemp -d "${TMPDIR:-/tmp}/kvz32probe.XXXXXX") || {
        KVZ_NO_32BIT_REASON="no folder for the 32-bit probe"
        return 0
    }
    # ELF header; one loadable segment, the whole file at 0x08048000; code at
    # 0x08048054: mov eax, 1 (exit); mov ebx, 42; int 0x80.
    printf '%b' '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
        '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
        '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
        '\x00\x00\x00\x00' \
        '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
        '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
        '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$dir/p" && chmod +x "$dir/p" &&
        { "$dir/p" 2>/dev/null || rc=$?; }
    [ "$rc" -eq 42 ] && KVZ_NO_32BIT_REASON=""
    rm -rf "$dir"
    return 0
}

# Sets KVZ_AS_ROOT to what runs a command as root: nothing for root, sudo
# where it works without asking. Fails when neither.
kvz_find_root() {
    KVZ_AS_ROOT=()
    [ "$(id -u)" -eq 0 ] && return 0
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        KVZ_AS_ROOT=(sudo -n)
        return 0
    fi
    return 1
}

# ---- apt ----
# kvz_apt LOG ARGS...: apt-get as root, never asking; output shown and kept in LOG.
kvz_apt() {
    local log=$1
    shift
    "${KVZ_AS_ROOT[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@" 2>&1 | tee "$log"
    return "${PIPESTATUS[0]}"
}

# apt's last error line in LOG, else its last line.
kvz_last_error() {
    local line
    line=$(grep '^E: ' "$1" | tail -n 1) || line=""
    [ -n "$line" ] || line=$(grep -v '^[[:space:]]*$' "$1" | tail -n 1) || line=""
    echo "${line:-apt-get gave no reason}"
}

# apt-get update up to three times until no index fails, then one line naming
# the indexes that still fail. Sets KVZ_FAILED_INDEXES.
kvz_apt_update() {
    local log=$1 try rc
    for try in 1 2 3; do
        [ "$try" -eq 1 ] || sleep "${KVZ_APT_RETRY_PAUSE:-5}"
        rc=0
        kvz_apt "$log" update -q >/dev/null || rc=$?
        # "Err:6 http://host/debian-security bookworm-security/main i386 Packages"
        # names the index "debian-security bookworm-security/main i386 Packages".
        KVZ_FAILED_INDEXES=$(sed -n 's/^Err:[0-9]* //p' "$log" |
            sed 's|^[a-z+]*://[^/ ]*/\{0,1\} *||; s/[[:space:]]*$//' | paste -sd ';' | sed 's/;/; /g')
        [ "$rc" -eq 0 ] && [ -z "$KVZ_FAILED_INDEXES" ] && return 0
    done
    if [ -n "$KVZ_FAILED_INDEXES" ]; then
        echo "apt-get update: still failing after 3 tries, going on without: $KVZ_FAILED_INDEXES"
    else
        echo "apt-get update failed 3 times, going on with the lists there are: $(kvz_last_error "$log")"
    fi
}

# kvz_install_groups LOG GROUP...: one transaction for the missing packages of
# the groups; on failure each group's reason names apt's last error line,
# or the name apt does not know (a typo, unless an index failed to come).
kvz_install_groups() {
    local log=$1 group packages=() unknown
    shift
    for group in "$@"; do
        # shellcheck disable=SC2206 # names without blanks or wildcards
        packages+=(${KVZ_GROUP_MISSING[$group]})
    done
    echo "installing (${*}): ${packages[*]}"
    kvz_apt "$log" install -y -q --no-install-recommends "${packages[@]}" && return 0
    unknown=$(sed -n 's/^E: Unable to locate package //p' "$log" | paste -sd ' ')
    for group in "$@"; do
        if [ -n "$unknown" ] && [ -z "$KVZ_FAILED_INDEXES" ]; then
            KVZ_GROUP_REASON[$group]="apt does not know the package(s) $unknown"
        else
            KVZ_GROUP_REASON[$group]="$group cannot be installed: $(kvz_last_error "$log")"
        fi
    done
    [ -z "$unknown" ] || [ -n "$KVZ_FAILED_INDEXES" ] || KVZ_UNKNOWN_NAMES+="$unknown "
    return 1
}

# The groups of the stages, each once, core first.
kvz_groups_of() {
    local stage group seen=" "
    for stage in "$@"; do
        for group in ${KVZ_STAGE_GROUPS[$stage]} ${KVZ_STAGE_EXTRAS[$stage]:-}; do
            [[ "$seen" == *" $group "* ]] || seen+="$group "
        done
    done
    [[ "$seen" == *" core "* ]] && echo -n "core "
    for group in $seen; do [ "$group" = core ] || echo -n "$group "; done
    echo
}

# ---- The installer ----
kvz_install_for_stages() {
    local stage group groups=() main=() i386=() log rc=0 all=""
    KVZ_GROUP_MISSING=() KVZ_GROUP_REASON=() KVZ_FAILED_INDEXES="" KVZ_UNKNOWN_NAMES=""
    for stage in "$@"; do
        if [ -z "${KVZ_STAGE_GROUPS[$stage]:-}" ]; then
            echo "unknown stage $stage; stages: ${!KVZ_STAGE_GROUPS[*]}" >&2
            return 1
        fi
    done
    read -r -a groups <<<"$(kvz_groups_of "$@")"
    for group in "${groups[@]}"; do
        if [[ "$KVZ_I386_GROUPS" == *" $group "* ]]; then
            [ "$KVZ_NO_32BIT_REASON" != unprobed ] || kvz_probe_32bit
            if [ -n "$KVZ_NO_32BIT_REASON" ]; then
                KVZ_GROUP_REASON[$group]=$KVZ_NO_32BIT_REASON
                continue
            fi
        fi
        KVZ_GROUP_MISSING[$group]=$(kvz_missing_of "$group")
        [ -n "${KVZ_GROUP_MISSING[$group]}" ] || continue
        all+="${KVZ_GROUP_MISSING[$group]} "
        if [[ "$KVZ_I386_GROUPS" == *" $group "* ]]; then i386+=("$group"); else main+=("$group"); fi
    done
    if [ -z "$all" ]; then
        echo "packages: nothing to install for $*"
    elif [ "${KVZ_NO_INSTALL:-0}" = 1 ]; then
        kvz_leave_missing "KVZ_NO_INSTALL=1"
    elif ! kvz_find_root; then
        kvz_print_root_command "${main[@]}" -- "${i386[@]}"
        kvz_leave_missing "not root, and no sudo without a password"
    else
        log=$(mktemp "${TMPDIR:-/tmp}/kvz-apt.XXXXXX") || return 1
        kvz_install_missing "$log" "${main[@]}" -- "${i386[@]}"
        rm -f "$log"
    fi
    for group in "${groups[@]}"; do
        [ -z "${KVZ_GROUP_REASON[$group]:-}" ] || echo "left out $group: ${KVZ_GROUP_REASON[$group]}"
    done
    [ -z "${KVZ_GROUP_REASON[core]:-}" ] || rc=1
    [ -z "$KVZ_UNKNOWN_NAMES" ] || rc=1
    return $rc
}

# The packages of GROUP that are not installed.
kvz_missing_of() {
    local p missing=""
    for p in ${KVZ_PACKAGE_GROUPS[$1]}; do
        kvz_package_installed "$p" || missing+="$p "
    done
    echo "${missing% }"
}

# Every group with missing packages keeps them, for WHY.
kvz_leave_missing() {
    local group
    for group in "${!KVZ_GROUP_MISSING[@]}"; do
        [ -z "${KVZ_GROUP_MISSING[$group]}" ] ||
            KVZ_GROUP_REASON[$group]="$group is not installed ($1): ${KVZ_GROUP_MISSING[$group]}"
    done
}

# kvz_print_root_command MAIN_GROUP... -- I386_GROUP...
kvz_print_root_command() {
    local group main_names="" i386_names=""
    while [ "$1" != -- ]; do main_names+="${KVZ_GROUP_MISSING[$1]} " && shift; done
    shift
    for group in "$@"; do i386_names+="${KVZ_GROUP_MISSING[$group]} "; done
    echo "Not root, and no sudo that runs without a password. Run as root, then again:"
    [ -z "$main_names" ] ||
        echo "  apt-get update && apt-get install -y --no-install-recommends ${main_names% }"
    [ -z "$i386_names" ] || echo "  and for 32-bit Wine: dpkg --add-architecture i386 &&" \
        "apt-get update && apt-get install -y --no-install-recommends ${i386_names% }"
}

# kvz_install_missing LOG MAIN_GROUP... -- I386_GROUP...
kvz_install_missing() {
    local log=$1 main=() i386=() group
    shift
    while [ "$1" != -- ]; do main+=("$1") && shift; done
    shift
    i386=("$@")
    if [ ${#i386[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        if ! "${KVZ_AS_ROOT[@]}" dpkg --add-architecture i386; then
            for group in "${i386[@]}"; do
                KVZ_GROUP_REASON[$group]="$group cannot be installed: dpkg --add-architecture i386 failed"
            done
            i386=()
        fi
    fi
    kvz_apt_update "$log"
    # All at once is quickest; when that fails, each group on its own, core
    # first: nothing can run without it.
    if [ ${#main[@]} -gt 0 ] && ! kvz_install_groups "$log" "${main[@]}"; then
        KVZ_UNKNOWN_NAMES=""
        for group in "${main[@]}"; do
            unset "KVZ_GROUP_REASON[$group]"
            KVZ_GROUP_MISSING[$group]=$(kvz_missing_of "$group")
            [ -z "${KVZ_GROUP_MISSING[$group]}" ] || kvz_install_groups "$log" "$group" ||
                [ "$group" != core ] || break
        done
    fi
    [ -z "${KVZ_GROUP_REASON[core]:-}" ] || return 0
    for group in "${i386[@]}"; do
        kvz_install_groups "$log" "$group"
    done
    return 0
}

kvz_stage_unavailable() {
    local group
    for group in ${KVZ_STAGE_GROUPS[$1]:-}; do
        if [ -n "${KVZ_GROUP_REASON[$group]:-}" ]; then
            echo "${KVZ_GROUP_REASON[$group]}"
            return 0
        fi
    done
}
