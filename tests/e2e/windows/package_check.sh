#!/usr/bin/env bash
# The release package: checks that kvzkit-<version>.zip holds what its two
# users install, laid out for them, and nothing else.
#
#   package_check.sh <kvzkit-VERSION.zip> <VERSION> <source dir>
#
# Checks: the ZIP's name; one folder kvzkit-VERSION/ holding exactly
# handheld/ (pdaKVZ.dll, sound_config.txt, INSTALL.txt), desktop/
# (kvz_unpack.exe, KVZ_UNPACK.txt), LIESMICH.txt, README.txt and SHA256SUMS.
# pdaKVZ.dll is the handheld's (ARM 0x1C0, Windows CE subsystem, imports
# from COREDLL.dll alone, the names and ordinals of proxy/pdaKVZ.def);
# kvz_unpack.exe is an i386 program that needs no mingw runtime DLL. Both
# are stripped (no debug section, no symbol table), carry no link time and
# a version resource of VERSION (pefile, tests/wince/version_resource.py).
# Every text is plain ASCII with CR LF line ends, German first with an
# "English" heading above the English text (README.txt the other way round,
# under a "Deutsch" heading), has no placeholder left and, but for
# sound_config.txt, names VERSION in its first line. SHA256SUMS lists every
# other file once, with its sum.
set -u
usage="usage: package_check.sh <kvzkit-VERSION.zip> <VERSION> <source dir>"
zip=${1:?$usage}
version=${2:?$usage}
source=${3:?$usage}
top=kvzkit-$version
python=/usr/bin/python3 # the one pefile is installed for
layout=(desktop/ desktop/KVZ_UNPACK.txt desktop/kvz_unpack.exe handheld/ handheld/INSTALL.txt
    handheld/pdaKVZ.dll handheld/sound_config.txt LIESMICH.txt README.txt SHA256SUMS)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kvzpkg.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
errors=0
bad() { echo "FAIL: $*" >&2; errors=$((errors + 1)); }

# ---- Name and layout ----
[ "$(basename "$zip")" = "$top.zip" ] || bad "the package is named $(basename "$zip"), not $top.zip"
[ -f "$zip" ] || { echo "FAIL: no $zip" >&2; exit 1; }
zip=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")
mkdir "$tmp/unzipped"
(cd "$tmp/unzipped" && cmake -E tar xf "$zip") || { echo "FAIL: cannot unpack $zip" >&2; exit 1; }
(cd "$tmp/unzipped" && find . -mindepth 1 \( -type d -printf '%P/\n' -o -printf '%P\n' \) |
    LC_ALL=C sort) >"$tmp/list"
echo "--- contents"
sed 's/^/  /' "$tmp/list"
printf "$top/%s\n" "" "${layout[@]}" | LC_ALL=C sort >"$tmp/layout"
if ! diff "$tmp/layout" "$tmp/list" >"$tmp/layout.diff"; then
    sed -n 's|^< |  missing: |p; s|^> |  not expected: |p' "$tmp/layout.diff" >&2
    bad "the package is not laid out as kvzkit-$version/{handheld,desktop}/... with the texts"
fi
pkg=$tmp/unzipped/$top

# ---- The two PE files: machine, imports, stripped, no time, version ----
# pe_check FILE MACHINE: also writes its imports to $tmp/imports, on one line.
pe_check() {
    local f=$1 machine=$2 name
    name=${f#"$pkg/"}
    : >"$tmp/imports"
    if ! llvm-readobj --file-headers --sections --coff-imports "$f" >"$tmp/pe.txt" 2>&1; then
        bad "$name is not a PE file"
        return 0
    fi
    grep -q "Machine: $machine" "$tmp/pe.txt" ||
        bad "$name is not $machine: $(grep -m1 'Machine:' "$tmp/pe.txt")"
    local debug
    debug=$(sed -n 's/^ *Name: \(\.z\{0,1\}debug[^ ]*\).*/\1/p' "$tmp/pe.txt" | tr '\n' ' ')
    [ -z "$debug" ] || bad "$name carries debug sections: $debug"
    grep -q 'SymbolCount: 0$' "$tmp/pe.txt" || bad "$name keeps its symbol table: not stripped"
    grep -q 'TimeDateStamp: .*(0x0)$' "$tmp/pe.txt" ||
        bad "$name records when it was made: $(grep -m1 'TimeDateStamp:' "$tmp/pe.txt")"
    (cd "$pkg" && "$python" "$source/tests/wince/version_resource.py" "$name" "$version" \
        "$(basename "$f")") ||
        bad "$name does not carry the version resource of $version"
    awk '/^Import \{/ {getline; print $2}' "$tmp/pe.txt" | tr '\n' ' ' >"$tmp/imports"
}

dll=$pkg/handheld/pdaKVZ.dll
if [ -f "$dll" ]; then
    pe_check "$dll" 'IMAGE_FILE_MACHINE_ARM (0x1C0)'
    imports=$(cat "$tmp/imports")
    echo "handheld/pdaKVZ.dll imports: $imports"
    [ "$imports" = "COREDLL.dll " ] || bad "pdaKVZ.dll imports from $imports, not COREDLL.dll alone"
    llvm-readobj --file-headers "$dll" | grep -q 'Subsystem: IMAGE_SUBSYSTEM_WINDOWS_CE_GUI' ||
        bad "pdaKVZ.dll is not made for Windows CE"
    # The proxy exports every entry point of its .def at its ordinal.
    llvm-readobj --coff-exports "$dll" |
        awk '/Ordinal:/ {o = $2} /Name:/ {print o, $2}' | sort -n >"$tmp/exports"
    sed -n 's/^[[:space:]]*\([A-Za-z_][A-Za-z_0-9]*\)[@0-9]*[[:space:]]*@\([0-9]*\).*/\2 \1/p' \
        "$source/proxy/pdaKVZ.def" | sort -n >"$tmp/def"
    if ! diff "$tmp/def" "$tmp/exports" >"$tmp/export.diff"; then
        cat "$tmp/export.diff" >&2
        bad "pdaKVZ.dll does not export the names and ordinals of pdaKVZ.def"
    else
        echo "pdaKVZ.dll exports $(wc -l <"$tmp/exports") entry points at their ordinals"
    fi
fi
exe=$pkg/desktop/kvz_unpack.exe
if [ -f "$exe" ]; then
    pe_check "$exe" 'IMAGE_FILE_MACHINE_I386 (0x14C)'
    imports=$(cat "$tmp/imports")
    echo "desktop/kvz_unpack.exe imports: $imports"
    if grep -qiE 'libgcc|libstdc\+\+|libwinpthread|mingw' <<<"$imports"; then
        bad "kvz_unpack.exe needs a mingw runtime DLL: $imports"
    fi
fi

# ---- The texts ----
# part FILE HEADING before|after: the lines before the heading (a line that
# is HEADING, then a line of dashes) or after it; nothing without one.
part() {
    tr -d '\r' <"$1" | awk -v h="$2" -v want="$3" '
        { line[NR] = $0 }
        END {
            for (i = 1; i < NR; i++) if (line[i] == h && line[i + 1] ~ /^-+$/) break
            if (i >= NR) exit
            if (want == "before") for (k = 1; k < i; k++) print line[k]
            else for (k = i + 2; k <= NR; k++) print line[k]
        }'
}
# Distinct words of a language in a text: three are taken as that language.
words() {
    grep -oiwE "$1" | tr 'A-Z' 'a-z' | sort -u | wc -l
}
GERMAN='und|der|die|das|nicht|ist|mit|fuer|auf|eine|oder|wird|werden|den|dem|ihre|diese'
ENGLISH='the|and|is|to|of|with|or|for|are|this|your|not|it'

# check_text FILE FIRST_LANGUAGE_WORDS SECOND_HEADING SECOND_LANGUAGE_WORDS
check_text() {
    local f=$pkg/$1 name=$1
    [ -f "$f" ] || return 0
    LC_ALL=C grep -q '[^[:print:][:space:]]' "$f" && bad "$name is not plain ASCII text"
    LC_ALL=C awk '!/\r$/ || /\r./ {bad++} END {exit bad > 0}' "$f" &&
        [ "$(tail -c 1 "$f" | od -An -tx1 | tr -d ' ')" = 0a ] ||
        bad "$name does not end every line with CR LF"
    grep -q '@KVZ_[A-Z_]*@' "$f" && bad "$name still holds a placeholder: $(grep -m1 -o '@KVZ_[A-Z_]*@' "$f")"
    if [ "$(part "$f" "$3" before | words "$2")" -lt 3 ] ||
        [ "$(part "$f" "$3" after | words "$4")" -lt 3 ]; then
        bad "$name does not have its first language, a \"$3\" heading underlined with dashes, and the other language below"
    fi
}
for f in handheld/INSTALL.txt handheld/sound_config.txt desktop/KVZ_UNPACK.txt LIESMICH.txt; do
    check_text "$f" "$GERMAN" English "$ENGLISH"
done
check_text README.txt "$ENGLISH" Deutsch "$GERMAN"
for f in handheld/INSTALL.txt desktop/KVZ_UNPACK.txt LIESMICH.txt README.txt; do
    [ -f "$pkg/$f" ] || continue
    head -n 1 "$pkg/$f" | grep -qF -- "$version" || bad "$f does not name version $version in its title"
done
# The install text names what it tells the user to handle.
if [ -f "$pkg/handheld/INSTALL.txt" ]; then
    for word in _pdaKVZ.dll pdaKVZ.dll sound_config.txt .ogg Log; do
        grep -qF -- "$word" "$pkg/handheld/INSTALL.txt" || bad "INSTALL.txt never mentions $word"
    done
fi

# ---- SHA256SUMS: every other file, once, with its sum ----
if [ -f "$pkg/SHA256SUMS" ]; then
    grep -vE '^[0-9a-f]{64}  [^ ]' "$pkg/SHA256SUMS" | sed 's/^/  /' >"$tmp/sums.bad"
    [ -s "$tmp/sums.bad" ] && { cat "$tmp/sums.bad" >&2; bad "SHA256SUMS has lines not in sha256sum format"; }
    cut -c 67- "$pkg/SHA256SUMS" | LC_ALL=C sort >"$tmp/summed"
    (cd "$pkg" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort) >"$tmp/files"
    diff "$tmp/files" "$tmp/summed" >/dev/null || bad "SHA256SUMS does not list every other file exactly once"
    (cd "$pkg" && sha256sum --quiet --strict -c SHA256SUMS) >&2 || bad "SHA256SUMS does not match the files"
fi

[ "$errors" -eq 0 ] || { echo "$errors fault(s) in $zip" >&2; exit 1; }
echo "$top.zip is complete, laid out for its users and self-contained"
