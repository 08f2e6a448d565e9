#!/usr/bin/env bash
# The message boxes a user of the win32 build sees, one case per call:
#   msgbox_cases.sh <case>
# Each case prepares a directory under the build dir, runs the program under
# Wine on a virtual display, checks the box against its expected text, answers
# it and checks the outcome (tools/msgbox/msgbox-case). Screenshots and what
# was read from each box land in <build>/artifacts/msgbox/.
#
# Environment (set by CTest): KVZ_BIN_DIR, KVZ_BUILD_DIR, KVZ_SOURCE_DIR.
set -u
case_name=${1:?usage: msgbox_cases.sh <case>}
: "${KVZ_BIN_DIR:?}" "${KVZ_BUILD_DIR:?}" "${KVZ_SOURCE_DIR:?}"

runner="$KVZ_SOURCE_DIR/tools/msgbox/msgbox-case"
artifacts="$KVZ_BUILD_DIR/artifacts/msgbox"
work="$KVZ_BUILD_DIR/msgbox/$case_name"
rm -rf "$work"
mkdir -p "$work"

# ---- Expected texts, byte for byte ----
TEXT_LOG=$'Fehler beim \xc3\x96ffnen der Log-Datei.\nLogging deaktiviert.'
TEXT_WARN=$'Obwohl eigene Sounds installiert sind, k\xc3\xb6nnen sie nicht abgespielt werden, da sie sich im selben Verzeichnis wie das .KVZ-Archiv befinden.\n\nTrotzdem Fortfahren?'
TEXT_IMPORT='Fehler beim Importieren einer Funktion.'
text_missing() { printf 'Die Datei %s wurde nicht gefunden!' "$1"; }

expect_text() { printf '%s' "$1" >"$work.expected"; }

run_box() { # flags answer [runner options...] -- program args...
    local flags=$1 answer=$2
    shift 2
    exec "$runner" --case "$case_name" --dir "$work" --artifacts "$artifacts" \
        --wintext "$KVZ_BIN_DIR/wintext.exe" --text-file "$work.expected" \
        --flags "$flags" --answer "$answer" "$@"
}

# ---- Stand-in boxes: the machinery itself ----
probe() { # kind flags answer exit-code
    cp "$KVZ_BIN_DIR/box_probe.exe" "$work/"
    run_box "$2" "$3" --exit "$4" --stdout-has "showing $1" -- box_probe.exe "$1"
}

case "$case_name" in
probe_wrong_text_fails)
    # The checker itself: a box whose text differs by one letter must fail
    # the case, and the blocked program must not be left behind.
    expect_text "${TEXT_LOG/Logging/Loggen}"
    cp "$KVZ_BIN_DIR/box_probe.exe" "$work/"
    "$runner" --case "$case_name" --dir "$work" --artifacts "$artifacts" \
        --wintext "$KVZ_BIN_DIR/wintext.exe" --text-file "$work.expected" \
        --flags 0x10 --answer ok -- box_probe.exe log
    rc=$?
    [ "$rc" -eq 77 ] && exit 77
    [ "$rc" -eq 1 ] || { echo "a wrong text gave $rc, not a failure" >&2; exit 1; }
    echo "a wrong text fails the case, as it should"
    ;;
probe_error_ok)
    expect_text "$TEXT_LOG"
    probe log 0x10 ok 1
    ;;
probe_question_no)
    expect_text "$TEXT_WARN"
    probe warn 0x10034 no 7
    ;;
probe_question_yes)
    expect_text "$TEXT_WARN"
    probe warn 0x10034 yes 6
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 1
    ;;
esac
