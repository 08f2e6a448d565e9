#!/bin/bash
# kvz_unpack against the desktop fake KVZ32.DLL: what no honest archive holds.
. "$(dirname "$0")/lib.sh"

FAKE=$BIN/fake_kvz32/KVZ32.DLL

# run_fake SCRIPT-TEXT ARGS...: kvz_unpack beside the fake, scripted.
run_fake() {
    printf '%s' "$1" >"$T/script"
    shift
    solo_unpack "$T/fk" "$FAKE"
    export KVZ_DESK_FAKE_SCRIPT=$(arg_path "$T/script") KVZ_DESK_FAKE_LOG=$(arg_path "$T/log")
    [ "$MODE" = wine ] && export WINEDEBUG=-all
    run_with "$T/fk/$UNPACK_NAME" "$@"
}

# An empty archive file to mount.
make_stub() { mkdir -p "$T/arc" && : >"$T/arc/a.kvz"; }

test_hostile_names_are_refused() {
    make_stub
    mkdir -p "$T/run/out"
    run_fake "entry . 10 0 - sub
entry . 10 0 - ..\\..\\escape
entry . 80 10 - ..\\evil.txt
entry . 80 10 - /tmp/abs.txt
entry . 80 10 - C:evil.txt
entry . 80 10 - 
entry . 80 10 - ..
entry . 80 10 - .
entry sub 80 10 - ..\\..\\..\\up.txt
entry sub 80 5 - fine.txt
" -oout "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
+ sub - ..\..\..\up.txt (10 Bytes)
Ungueltiger Dateiname im Archiv: '..\..\..\up.txt'
 - fine.txt (5 Bytes) .OK

+ ..\..\escape
Ungueltiger Dateiname im Archiv: '..\..\escape'
- ..\evil.txt (10 Bytes)
Ungueltiger Dateiname im Archiv: '..\evil.txt'
- /tmp/abs.txt (10 Bytes)
Ungueltiger Dateiname im Archiv: '/tmp/abs.txt'
- C:evil.txt (10 Bytes)
Ungueltiger Dateiname im Archiv: 'C:evil.txt'
-  (10 Bytes)
Ungueltiger Dateiname im Archiv: ''
6 Dateien wurden nicht fehlerfrei entpackt!
OUT
    # Only the one honest file was written, and nothing outside out/.
    local found
    found=$(cd "$T" && find . ! -type d ! -path './fk/*' ! -name script ! -name log ! -name 'out*' \
        ! -name err ! -name expected ! -path ./arc/a.kvz ! -path ./run/out/sub/fine.txt)
    [ -z "$found" ] || fail "files outside the target: $found"
    expect_missing /tmp/abs.txt
    [ "$(cd "$T/run/out" && find . | sort | tr '\n' ' ')" = ". ./sub ./sub/fine.txt " ] ||
        fail "target holds: $(cd "$T/run/out" && find . | tr '\n' ' ')"
    grep -q 'open=0 searches=0' "$T/log" || fail "handles left open: $(tail -1 "$T/log")"
}

test_hostile_names_in_listing() {
    make_stub
    # what?.txt cannot be a file on a Windows disk: it is an entry in both
    # builds, though Windows answers ERROR_INVALID_NAME for it.
    run_fake "entry . 80 10 - a\\b
entry . 80 10 - ok
entry . 80 10 - what?.txt
" -d "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
- a\b (10 Bytes)
Ungueltiger Dateiname im Archiv: 'a\b'
- ok (10 Bytes)
- what?.txt (10 Bytes)
Insgesamt 3 Dateien im Archiv a.kvz
OUT
}

test_read_failing_half_way() {
    make_stub
    run_fake "entry . 80 1000 failat=500 half.bin
entry . 80 300 data=200 short.bin
entry . 80 100 data=150 long.bin
entry . 80 50 - good.bin
" "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
- half.bin (1000 Bytes) .....Fehler beim Lesen der Datei!
- short.bin (300 Bytes) ..Fehler beim Lesen der Datei!
- long.bin (100 Bytes) ..Fehler beim Lesen der Datei!
- good.bin (50 Bytes) .OK
3 Dateien wurden nicht fehlerfrei entpackt!
OUT
    # The partial files stay as far as they were written.
    [ "$(stat -c %s "$T/run/a/half.bin")" = 500 ] || fail "half.bin: $(stat -c %s "$T/run/a/half.bin")"
    make_file "$T/good.bin" 50
    cmp -s "$T/good.bin" "$T/run/a/good.bin" || fail "good.bin differs"
}

test_search_and_open_failures() {
    make_stub
    run_fake "entry . 10 0 - deep
entry deep 10 0 nosearch locked
entry deep 80 250 - x.txt
entry deep 80 7 noopen closed.txt
" "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
+ deep + lockedFehler beim Suchen in @T@\run\..\arc\deep\locked

 - x.txt (250 Bytes) ...OK
 - closed.txt (7 Bytes)
Eingabedatei '@T@\run\..\arc\deep\closed.txt' ging nicht zu oeffnen.

2 Dateien wurden nicht fehlerfrei entpackt!
OUT
    make_file "$T/x.txt" 250
    cmp -s "$T/x.txt" "$T/run/a/deep/x.txt" || fail "x.txt differs"
    grep -qxF "KVZ_CreateFile $(kit_path "$T")\\run\\..\\arc\\deep\\x.txt 0x80000000 0x0 0x0 0x3 0x8000000 0x0" "$T/log" ||
        fail "KVZ_CreateFile arguments: $(grep CreateFile "$T/log")"
}

test_nested_directories_count_files_only() {
    make_stub
    run_fake "entry . 10 0 - d1
entry d1 10 0 - d2
entry d2 80 1 - never.txt
entry d1\\d2 80 1 - f.txt
entry . 80 0 - zero.txt
" "$(arg_path ../arc/a.kvz)"
    expect_rc 0
    expect_out <<'OUT'
+ d1 + d2  - f.txt (1 Bytes) .OK


- zero.txt (0 Bytes) .OK
2 Dateien erfolgreich entpackt!
OUT
    [ -f "$T/run/a/zero.txt" ] && [ ! -s "$T/run/a/zero.txt" ] || fail "zero.txt not empty file"
}

test_paths_too_long() {
    make_stub
    local n250 n200
    n250=$(printf 'n%.0s' $(seq 250))
    n200=$(printf 'm%.0s' $(seq 200))
    # Entry paths: four levels of 250 characters pass 1024 with the mount dir.
    run_fake "entry . 10 0 - $n250
entry $n250 10 0 - $n250
entry $n250\\$n250 10 0 - $n250
entry $n250\\$n250\\$n250 80 3 - $n250
entry . 80 3 - ok.txt
" -d "$(arg_path ../arc/a.kvz)"
    expect_rc 0
    local before
    before=$(printf 'Insgesamt 2 Dateien im Archiv a.kvz')
    tail -1 "$T/out" | grep -qx "$before" || fail "summary: $(tail -1 "$T/out")"
    run_fake "entry . 10 0 - $n250
entry $n250 10 0 - $n250
entry $n250\\$n250 10 0 - $n250
entry $n250\\$n250\\$n250 80 3 - $n250
entry . 80 3 - ok.txt
" -o"$(arg_path "$T/o")" "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    if [ "$MODE" = wine ]; then
        # Windows' 8-bit file calls stop at 260 characters: the output folder
        # of the first level cannot be made, and that is reported.
        grep -q "^+ $n250""Fehler beim Erstellen des Verzeichnisses '.*\\\\o\\\\$n250'!\$" "$T/out" ||
            fail "no folder error: $(sed "s/n\{250\}/N250/g" "$T/out")"
        tail -1 "$T/out" | grep -qx '1 Dateien wurden nicht fehlerfrei entpackt!' ||
            fail "summary: $(tail -1 "$T/out")"
        skip "paths of over 260 characters, needed to reach the 1024-character limits"
        return 0
    fi
    grep -q "^Pfad zu lang (hoechstens 1024 Zeichen): '.*\\\\$n250'\$" "$T/out" ||
        fail "no path-too-long line: $(cat "$T/out")"
    tail -2 "$T/out" | head -1 | grep -qx -- '- ok.txt (3 Bytes) .OK' || fail "walk did not go on"
    tail -1 "$T/out" | grep -qx '1 Dateien wurden nicht fehlerfrei entpackt!' ||
        fail "summary: $(tail -1 "$T/out")"
    # Output path: a target of 1000 characters leaves no room for names of 200.
    local target=$T/t
    while [ ${#target} -lt 1000 ]; do target=$target/$n200; done
    target=${target:0:1000}
    mkdir -p "$target"
    run_fake "entry . 80 3 - $n200
entry . 80 3 - s
" -o"$(arg_path "$target")" "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    grep -q "^Pfad zu lang (hoechstens 1024 Zeichen): '$(kit_path "$target" | sed 's/\\/\\\\/g')\\\\$n200'\$" "$T/out" ||
        fail "no output-path-too-long line: $(cut -c1-80 "$T/out")"
    [ -f "$target/s" ] || fail "short name not extracted"
}

# A mount directory whose search cannot start (the fake has no entry for
# it) is one failure, in extraction and in listing alike.
test_search_of_mount_directory_fails() {
    make_stub
    run_fake "" "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
Fehler beim Suchen in @T@\run\..\arc
1 Dateien wurden nicht fehlerfrei entpackt!
OUT
    expect_missing "$T/run/a"
    run_fake "" -d "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
Fehler beim Suchen in @T@\run\..\arc
Insgesamt 0 Dateien im Archiv a.kvz
OUT
}

test_failed_mount() {
    make_stub
    run_fake "mount 2
" "$(arg_path "$T/arc/a.kvz")"
    expect_rc 1
    expect_out <<'OUT'
Fehler beim Oeffnen der KVZ-Datei!
OUT
    grep -qx "KVZ_Mount $(kit_path "$T/arc/a.kvz" | sed 's/\\/\\\\/g') $(kit_path "$T/arc" | sed 's/\\/\\\\/g') 0x80000000 0x1" "$T/log" ||
        fail "mount arguments: $(cat "$T/log")"
}

test_unmount_gets_mount_dir() {
    make_stub
    run_fake "entry . 10 0 - d
entry d 80 1 - f
" "$(arg_path "$T/arc/a.kvz")"
    expect_rc 0
    grep -qx "KVZ_UnMount $(kit_path "$T/arc" | sed 's/\\/\\\\/g') open=0 searches=0" "$T/log" ||
        fail "unmount: $(grep UnMount "$T/log")"
}

test_missing_ordinal() {
    make_stub
    local lib=$BIN/fake_kvz32_no_read/KVZ32.DLL
    solo_unpack "$T/nr" "$lib"
    run_with "$T/nr/$UNPACK_NAME" "$(arg_path ../arc/a.kvz)"
    expect_rc 1
    expect_out <<'OUT'
KVZ32.DLL ist unvollstaendig: Ordinal 13 fehlt!
OUT
}

run_scenarios
