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
TEXT_TOO_LONG_SOUNDDIR=$'Der Pfad f\xc3\xbcr SoundDir ist zu lang!'
text_missing() { printf 'Die Datei %s wurde nicht gefunden!' "$1"; }
text_is_proxy() { printf 'Die Datei %s ist pdaKVZ.dll selbst!' "$1"; }

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

# The log box, checked against a wrong expectation: the case must fail.
probe_must_fail() { # flags expected
    cp "$KVZ_BIN_DIR/box_probe.exe" "$work/"
    "$runner" --case "$case_name" --dir "$work" --artifacts "$artifacts" \
        --wintext "$KVZ_BIN_DIR/wintext.exe" --text-file "$work.expected" \
        --flags "$1" --answer ok -- box_probe.exe log
    local rc=$?
    [ "$rc" -eq 77 ] && exit 77
    [ "$rc" -eq 1 ] || { echo "a wrong expectation gave $rc, not a failure" >&2; exit 1; }
    echo "a wrong expectation fails the case, as it should"
}

# ---- The proxy's boxes: the host application loading pdaKVZ.dll ----
# The prepared directory: the proxy, the host, the fake next library under
# the default name (scripted to give a version that proves the forwarding),
# an empty sound directory, and sound_config.txt with the given lines, if any.
prepare_proxy() { # [config line...]
    cp "$KVZ_BIN_DIR/pdaKVZ.dll" "$KVZ_BIN_DIR/kvz_host.exe" "$work/"
    cp "$KVZ_BIN_DIR/fake_pda.dll" "$work/_pdaKVZ.dll"
    cp "$KVZ_BIN_DIR/fake_pda_missing13.dll" "$work/"
    printf 'KVZ_SupportVersion 4242\n' >"$work/fake_script.txt"
    export KVZ_FAKE_SCRIPT=fake_script.txt
    # A missing sound directory makes both probes fail with a code other than
    # "no more files", which counts as files present: the warning would come.
    mkdir -p "$work/sound"
    if [ $# -gt 0 ]; then printf '%s\r\n' "$@" >"$work/sound_config.txt"; fi
}

# Start-up went on: the host bound the proxy and its calls reach the fake.
host_goes_on() { # flags answer
    run_box "$1" "$2" --exit 0 --stdout-has loaded --stdout-has "version 4242" \
        -- kvz_host.exe pdaKVZ.dll version
}

# Start-up failed: the process ended with exit code 0 before "loaded".
host_ends() { # flags answer
    run_box "$1" "$2" --exit 0 --stdout-lacks loaded -- kvz_host.exe pdaKVZ.dll version
}

# Sound files and archives in the default directory of both: work\sound\.
same_directory() {
    prepare_proxy
    : >"$work/sound/click.ogg"
    : >"$work/sound/voice.KVZ"
    expect_text "$TEXT_WARN"
}

case "$case_name" in
log_unopenable_ok)
    prepare_proxy 'Log=Z:\nonexistent\dir\x.log'
    expect_text "$TEXT_LOG"
    host_goes_on 0x10 ok
    ;;
same_directory_no)
    same_directory
    host_ends 0x10034 no
    ;;
same_directory_yes)
    same_directory
    host_goes_on 0x10034 yes
    ;;
next_library_missing_ok)
    prepare_proxy 'NextDLL=missing.dll'
    expect_text "$(text_missing missing.dll)"
    host_ends 0x10 ok
    ;;
next_library_is_proxy_ok)
    # The proxy's own file, loaded by its own path, is the proxy itself.
    prepare_proxy 'NextDLL=pdaKVZ.dll'
    expect_text "$(text_is_proxy pdaKVZ.dll)"
    host_ends 0x10 ok
    ;;
next_library_lacks_ordinal_ok)
    prepare_proxy 'NextDLL=fake_pda_missing13.dll'
    expect_text "$TEXT_IMPORT"
    host_ends 0x10 ok
    ;;
sound_dir_too_long_ok)
    prepare_proxy "SoundDir=$(printf 'a%.0s' {1..300})"
    expect_text "$TEXT_TOO_LONG_SOUNDDIR"
    host_ends 0x10 ok
    ;;
probe_wrong_text_fails)
    # The checker itself: a box whose text differs by one letter must fail
    # the case, and the blocked program must not be left behind.
    expect_text "${TEXT_LOG/Logging/Loggen}"
    probe_must_fail 0x10
    ;;
probe_wrong_flags_fails)
    # An OK box with the error icon where the Yes/No question was expected.
    expect_text "$TEXT_LOG"
    probe_must_fail 0x10034
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
