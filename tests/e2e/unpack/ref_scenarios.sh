#!/bin/bash
# kvz_unpack with the reference KVZ32.DLL on archives made with tar.
. "$(dirname "$0")/lib.sh"

# The six lines of the usage, as the program prints them (without the last
# line end).
USAGE=$(printf '%s\n' \
    'Aufruf: kvz_unpack [-d] [-a] [-f<D1> [-f<D2>] ...] [-o<Zielordner>] <KVZ-Datei>' \
    'Optionen:' \
    $'\t-d\tEs wird nur die Dateistruktur ausgegeben' \
    $'\t-a\tNicht nur die Dateien im KVZ-Archiv werden durchlaufen' \
    $'\t-o\tAngabe des Zielverzeichnis, in das entpackt wird (wird ggf. angelegt)' \
    $'\t-f\tDatei(en) ohne Pfad, die durchlaufen werden soll(en) (ansonsten: alle)')

# src/ with files of 0, 50, 100, 250 and 1000 bytes and nested directories;
# arc/a.kvz holds them in this order.
make_sample() {
    make_file "$T/src/f0" 0
    make_file "$T/src/f50" 50
    make_file "$T/src/f100" 100
    make_file "$T/src/sub/f250" 250
    make_file "$T/src/sub/deep/F1000.txt" 1000
    make_archive "$T/arc/a.kvz" "$T/src" f0 f50 f100 sub sub/f250 sub/deep sub/deep/F1000.txt
}

test_extract_with_subdirectories() {
    make_sample
    run_unpack "$(arg_path ../arc/a.kvz)"
    expect_rc 0
    expect_out <<'OUT'
- f0 (0 Bytes) .OK
- f50 (50 Bytes) .OK
- f100 (100 Bytes) .OK
+ sub - f250 (250 Bytes) ...OK
 + deep  - F1000.txt (1000 Bytes) ..........OK


5 Dateien erfolgreich entpackt!
OUT
    expect_tree "$T/src" "$T/run/a"
}

# An empty folder beside a full one, as a new user tries it first.
test_empty_directory_is_extracted() {
    mkdir -p "$T/src/empty"
    make_file "$T/src/full/f.txt" 2
    make_archive "$T/arc/e.kvz" "$T/src" empty full full/f.txt
    run_unpack "$(arg_path ../arc/e.kvz)"
    expect_rc 0
    expect_out <<'OUT'
+ empty
+ full - f.txt (2 Bytes) .OK

1 Dateien erfolgreich entpackt!
OUT
    expect_tree "$T/src" "$T/run/e"
}

# GNU tar's default format, pax and ustar: a path of 200 characters in a
# subfolder, an empty folder and an empty file list and extract alike.
test_tar_formats_list_and_extract_identical_trees() {
    local d95 f100 format
    d95=$(printf 'd%.0s' $(seq 95))
    f100=$(printf 'f%.0s' $(seq 100))
    mkdir -p "$T/src/empty"
    make_file "$T/src/readme" 7
    make_file "$T/src/sub/$d95/$f100" 12
    make_file "$T/src/zero" 0
    mkdir -p "$T/arc"
    for format in gnu pax ustar; do
        local option=--format=$format
        if [ $format = gnu ]; then option=; fi # tar's default
        tar $option -cf "$T/arc/$format.kvz" -C "$T/src" empty readme sub zero
        run_unpack "$(arg_path ../arc/$format.kvz)"
        expect_rc 0
        expect_out <<OUT
+ empty
- readme (7 Bytes) .OK
+ sub + $d95  - $f100 (12 Bytes) .OK


- zero (0 Bytes) .OK
3 Dateien erfolgreich entpackt!
OUT
        expect_tree "$T/src" "$T/run/$format"
        run_unpack -d "$(arg_path ../arc/$format.kvz)"
        expect_out <<OUT
+ empty
- readme (7 Bytes)
+ sub
- zero (0 Bytes)
Insgesamt 4 Dateien im Archiv $format.kvz
OUT
    done
}

test_listing_mode() {
    make_sample
    run_unpack -d -ox "$(arg_path ../arc/a.kvz)"
    expect_rc 0
    expect_out <<'OUT'
- f0 (0 Bytes)
- f50 (50 Bytes)
- f100 (100 Bytes)
+ sub
Insgesamt 4 Dateien im Archiv a.kvz
OUT
    expect_missing "$T/run/x"
    expect_missing "$T/run/a"
}

# A name that matched nothing, F1000.TXT in a folder not named, is told
# after the walk, in command-line order, and makes the exit code 2.
test_name_filter_ignores_case_and_applies_to_directories() {
    make_sample
    run_unpack -fF50 -fF1000.TXT -f -fnichtda.ogg -o"$(arg_path "$T/o")" "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
- f50 (50 Bytes) .OK
Datei 'F1000.TXT' nicht im Archiv gefunden!
Datei 'nichtda.ogg' nicht im Archiv gefunden!
1 Dateien erfolgreich entpackt!
OUT
    run_unpack -d -fnichtda.ogg -fSUB "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
+ sub
Datei 'nichtda.ogg' nicht im Archiv gefunden!
Insgesamt 4 Dateien im Archiv a.kvz
OUT
    run_unpack -fF1000.TXT -fSUB -fdeep -o"$(arg_path "$T/p")" "$(arg_path ../arc/a.kvz)"
    expect_out <<'OUT'
+ sub + deep  - F1000.txt (1000 Bytes) ..........OK


1 Dateien erfolgreich entpackt!
OUT
    cmp -s "$T/src/sub/deep/F1000.txt" "$T/p/sub/deep/F1000.txt" || fail "F1000.txt differs"
}

test_all_entries_with_a() {
    make_file "$T/src/one" 10
    make_archive "$T/arc/b.kvz" "$T/src" one
    run_unpack -a -oout "$(arg_path ../arc/b.kvz)"
    if [ "$MODE" = wine ]; then
        expect_rc 2
        # Windows refuses the open without sharing (share mode 0) of the
        # archive file the library holds open for its mount; the POSIX
        # layer has no share modes, so the host build copies it.
        expect_out <<'OUT'
- one (10 Bytes) .OK
- b.kvz (10240 Bytes)
Eingabedatei '@T@\run\..\arc\b.kvz' ging nicht zu oeffnen.
1 Dateien wurden nicht fehlerfrei entpackt!
OUT
        return 0
    fi
    expect_rc 0
    expect_out <<'OUT'
- one (10 Bytes) .OK
- b.kvz (10240 Bytes) ..........OK
2 Dateien erfolgreich entpackt!
OUT
    cmp -s "$T/arc/b.kvz" "$T/run/out/b.kvz" || fail "b.kvz copy differs"
}

test_repeated_and_empty_o() {
    make_sample
    mkdir -p a && echo keep >a/other.txt && echo old >a/f50
    run_unpack -ofirst -o "$(arg_path ../arc/a.kvz)"
    expect_rc 0
    expect_missing "$T/run/first"
    [ "$(cat a/other.txt)" = keep ] || fail "other file in target changed"
    rm a/other.txt
    expect_tree "$T/src" "$T/run/a"
}

test_unknown_options_and_usage() {
    run_unpack -x -D -
    expect_rc 1
    expect_out <<OUT
Unbekannter Schalter: x
Unbekannter Schalter: D
Unbekannter Schalter: ''
Kein Archivname eingegeben!
${USAGE}
OUT
}

# A help request as the first argument prints the usage alone.
test_help_requests() {
    local request
    for request in -h '-?' --help '/?'; do
        run_unpack "$request" -d "$(arg_path ../arc/a.kvz)"
        expect_rc 0
        printf '%s\n' "$USAGE" | expect_out
    done
}

test_missing_archive() {
    run_unpack missing.kvz -d
    expect_rc 1
    expect_out <<'OUT'
Archivdatei '@T@\run\missing.kvz' nicht gefunden!
OUT
    run_unpack "$(arg_path nodir/missing.kvz)"
    expect_rc 1
    expect_out <<'OUT'
Archivdatei '@T@\run\nodir\missing.kvz' nicht gefunden!
OUT
}

test_missing_or_broken_library() {
    make_sample
    solo_unpack "$T/solo"
    run_with "$T/solo/$UNPACK_NAME" "$(arg_path ../arc/a.kvz)"
    expect_rc 1
    expect_out <<'OUT'
KVZ32.DLL nicht gefunden.
OUT
    echo "no library" >"$T/broken"
    solo_unpack "$T/bad" "$T/broken"
    run_with "$T/bad/$UNPACK_NAME" "$(arg_path ../arc/a.kvz)"
    expect_rc 1
    expect_out <<'OUT'
KVZ32.DLL nicht gefunden.
OUT
}

test_failed_mount() {
    mkdir -p "$T/arc" && echo "not a tar archive at all" >"$T/arc/bad.kvz"
    run_unpack "$(arg_path ../arc/bad.kvz)"
    expect_rc 1
    expect_out <<'OUT'
Fehler beim Oeffnen der KVZ-Datei!
OUT
}

# A target that cannot be made is a failure, though no entry was reached.
test_target_with_missing_parent() {
    make_sample
    run_unpack -o"$(arg_path no/such/dir)" "$(arg_path ../arc/a.kvz)"
    expect_rc 2
    expect_out <<'OUT'
Fehler beim Erstellen des Verzeichnisses '@T@\run\no\such\dir'!
1 Dateien wurden nicht fehlerfrei entpackt!
OUT
    expect_missing "$T/run/no"
}

# Full disk: writes past 4 KiB fail in a child with a small RLIMIT_FSIZE.
test_full_disk() {
    if [ "$MODE" != host ]; then
        skip "RLIMIT_FSIZE and SIGXFSZ are POSIX only"
        return 0
    fi
    make_file "$T/src/big" 20000
    make_file "$T/src/small" 100
    make_archive "$T/arc/c.kvz" "$T/src" big small
    (
        trap '' XFSZ
        ulimit -f 8
        run_program "$BIN/kvz_unpack" "$(arg_path ../arc/c.kvz)" >"$T/out" 2>"$T/err"
    )
    RC=$?
    expect_rc 2
    expect_out <<'OUT'
- big (20000 Bytes) ..........Fehler beim Schreiben der Datei!
- small (100 Bytes) .OK
1 Dateien wurden nicht fehlerfrei entpackt!
OUT
}

# A full disk in both builds: the output file is a link to /dev/full, whose
# writes fail with ENOSPC, as a disk's do when it is full.
test_disk_full_is_a_failure() {
    if [ ! -c /dev/full ]; then
        skip "this machine has no /dev/full"
        return 0
    fi
    make_file "$T/src/big" 20000
    make_file "$T/src/small" 100
    make_archive "$T/arc/c.kvz" "$T/src" big small
    mkdir -p out && ln -s /dev/full out/big
    run_unpack -oout "$(arg_path ../arc/c.kvz)"
    expect_rc 2
    expect_out <<'OUT'
- big (20000 Bytes) ..........Fehler beim Schreiben der Datei!
- small (100 Bytes) .OK
1 Dateien wurden nicht fehlerfrei entpackt!
OUT
    cmp -s "$T/src/small" out/small || fail "small differs"
}

# -a in the archive's own folder: the default target lies among the real
# files the walk copies, and the second run must not copy it into itself.
# Every spelling of that target is recognised.
test_a_never_walks_its_own_output() {
    make_file "$T/src/one.txt" 10
    make_file "$T/src/d/two.txt" 20
    make_archive "$T/game/game.KVZ" "$T/src" one.txt d d/two.txt
    cd "$T/game" || return 1
    local target run expected_rc=0 archive_line="- game.KVZ (10240 Bytes) ..........OK"
    local summary="3 Dateien erfolgreich entpackt!"
    if [ "$MODE" = wine ]; then
        # Windows refuses the unshared open of the archive the mount holds.
        expected_rc=2
        archive_line="- game.KVZ (10240 Bytes)
Eingabedatei '@T@\\game\\game.KVZ' ging nicht zu oeffnen."
        summary="1 Dateien wurden nicht fehlerfrei entpackt!"
    fi
    for target in "" -ogame -o"$(arg_path "$T/game/game/")" -o"$(arg_path ../game/./game)"; do
        for run in first second; do
            run_unpack -a $target game.KVZ
            expect_rc $expected_rc
            expect_out <<OUT
- one.txt (10 Bytes) .OK
+ d - two.txt (20 Bytes) .OK

$archive_line
$summary
OUT
            (cd game && find . | sort) >"$T/tree.$run"
        done
        cmp -s "$T/tree.first" "$T/tree.second" || fail "${target:-default}: tree grew"
        expect_missing "$T/game/game/game"
        make_file "$T/one.txt" 10
        cmp -s "$T/one.txt" game/one.txt || fail "${target:-default}: one.txt differs"
        if [ "$MODE" = host ]; then
            cmp -s game.KVZ game/game.KVZ || fail "${target:-default}: archive copy differs"
        fi
        rm -rf game
    done
}

# -a with the archive's own folder as target: each real file there would be
# its own output and be emptied by the open for writing. The real files keep
# their bytes; the archive's entries are extracted, also into a folder that
# exists for real (d), and nothing else is written.
test_a_into_the_archive_folder_keeps_real_files() {
    make_file "$T/src/one.txt" 10
    make_file "$T/src/d/two.txt" 20
    make_archive "$T/game/game.KVZ" "$T/src" one.txt d d/two.txt
    make_file "$T/game/user.txt" 30
    make_file "$T/game/d/mine.txt" 40
    cp -r "$T/game" "$T/want" && cp -r "$T/src/." "$T/want"
    cd "$T/game" || return 1
    local target name=$CURRENT
    for target in -o. -o"$(arg_path "$T/game")"; do
        CURRENT="$name $target"
        run_unpack -a "$target" game.KVZ
        expect_rc 0
        expect_out <<'OUT'
- one.txt (10 Bytes) .OK
+ d - two.txt (20 Bytes) .OK

2 Dateien erfolgreich entpackt!
OUT
        expect_tree "$T/want" "$T/game"
        rm one.txt d/two.txt
    done
}

# sound.KVZ holds a folder "sound": a target "sound" made beside it would
# hide that folder from the walk. Such a run writes nothing and says so; -o
# elsewhere extracts everything, and -d is not concerned.
test_target_that_would_hide_an_archive_entry() {
    make_file "$T/src/sound/z.ogg" 3
    make_file "$T/src/a.ogg" 2
    make_archive "$T/game/sound.KVZ" "$T/src" a.ogg sound sound/z.ogg
    cd "$T/game" || return 1
    local i name=$CURRENT
    local targets=("" -oSOUND -o"$(arg_path ../game/./sound)") shown=(sound SOUND '..\game\.\sound')
    for i in 0 1 2; do
        CURRENT="$name ${targets[$i]:-default}"
        run_unpack ${targets[$i]} sound.KVZ
        expect_rc 1
        expect_out <<OUT
Das Zielverzeichnis '@T@\\game\\${shown[$i]}' wuerde 'sound' im Archiv verdecken! Bitte mit -o<Zielordner> ein anderes Verzeichnis angeben.
OUT
        [ "$(ls -A)" = sound.KVZ ] || fail "beside the archive: $(ls -A | tr '\n' ' ')"
    done
    CURRENT=$name
    run_unpack -o"$(arg_path ../all)" sound.KVZ
    expect_rc 0
    expect_tree "$T/src" "$T/all"
    run_unpack -d sound.KVZ
    expect_rc 0
    tail -1 "$T/out" | grep -qx 'Insgesamt 2 Dateien im Archiv sound.KVZ' || fail "-d: $(cat "$T/out")"
}

# The default target is the name up to its first dot behind leading dots.
test_default_target_of_dotted_names() {
    make_file "$T/src/chime.ogg" 5
    make_archive "$T/arc/.sounds.KVZ" "$T/src" chime.ogg
    cp "$T/arc/.sounds.KVZ" "$T/arc/musik.alt.kvz"
    cp "$T/arc/.sounds.KVZ" "$T/arc/plain"
    local archive
    for archive in .sounds.KVZ musik.alt.kvz plain; do
        run_unpack "$(arg_path "../arc/$archive")"
        expect_rc 0
        expect_out <<'OUT'
- chime.ogg (5 Bytes) .OK
1 Dateien erfolgreich entpackt!
OUT
    done
    [ "$(ls -A "$T/run" | tr '\n' ' ')" = ".sounds musik plain " ] ||
        fail "beside the targets: $(ls -A "$T/run" | tr '\n' ' ')"
    expect_tree "$T/src" "$T/run/.sounds"
}

# tar -cf stores the second and third names of one file as hard links; each
# extracts as a file of its own, and -d counts them as files.
test_hard_links_extract_as_files() {
    mkdir -p "$T/src/d"
    make_file "$T/src/a.txt" 30
    ln "$T/src/a.txt" "$T/src/c.txt"
    ln "$T/src/a.txt" "$T/src/d/b.txt"
    mkdir -p "$T/arc"
    tar -cf "$T/arc/h.kvz" -C "$T/src" a.txt c.txt d
    run_unpack "$(arg_path ../arc/h.kvz)"
    expect_rc 0
    expect_out <<'OUT'
- a.txt (30 Bytes) .OK
- c.txt (30 Bytes) .OK
+ d - b.txt (30 Bytes) .OK

3 Dateien erfolgreich entpackt!
OUT
    expect_tree "$T/src" "$T/run/h"
    run_unpack -d "$(arg_path ../arc/h.kvz)"
    expect_out <<'OUT'
- a.txt (30 Bytes)
- c.txt (30 Bytes)
+ d
Insgesamt 3 Dateien im Archiv h.kvz
OUT
}

run_scenarios
