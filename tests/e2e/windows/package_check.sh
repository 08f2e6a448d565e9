#!/usr/bin/env bash
# The package of a PE build: runs cpack on the build and checks that the ZIP
# holds what a user installs and nothing that would not run on its own.
#
#   package_check.sh <build dir> <source dir> [win32|win64]
#
# win32 (the default) is the release package; win64 the same files, with a
# 64-bit kvz_unpack.exe, from the test build. Checks: the ZIP's name;
# kvz_unpack.exe, pdaKVZ.dll, sound_config.txt, INSTALL.txt and KVZ_UNPACK.txt
# at its top; no other program or library (the reference library and the test
# fakes are not shipped); kvz_unpack.exe is of the build's machine (x86, or
# x86-64) and pdaKVZ.dll the handheld's (ARM, Windows CE subsystem, imports
# from COREDLL.dll alone); no PE file imports a mingw runtime DLL; pdaKVZ.dll
# exports the names and ordinals of its .def.
set -u
usage="usage: package_check.sh <build dir> <source dir> [win32|win64]"
build=${1:?$usage}
source=${2:?$usage}
case "${3:-win32}" in
win32) zip_name=kvzkit-1.0.0-win32-x86.zip pe_format=pei-i386 triple=i686-w64-mingw32 ;;
win64) zip_name=kvzkit-1.0.0-win64-x64.zip pe_format=pei-x86-64 triple=x86_64-w64-mingw32 ;;
*) echo "$usage" >&2; exit 2 ;;
esac
required=(kvz_unpack.exe pdaKVZ.dll sound_config.txt INSTALL.txt KVZ_UNPACK.txt)

objdump=$(command -v "$triple-objdump" || command -v objdump) ||
    { echo "no objdump to read the PE files" >&2; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kvzpkg.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
errors=0
bad() { echo "FAIL: $*" >&2; errors=$((errors + 1)); }

# ---- Make the package ----
if ! (cd "$build" && cpack --config CPackConfig.cmake -B "$tmp/out") >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log" >&2
    find "$tmp/out" -name 'PreinstallOutput.log' -exec tail -n 30 {} \; >&2
    echo "FAIL: cpack did not make the package (is the build complete?)" >&2
    exit 1
fi
zip="$tmp/out/$zip_name"
[ -f "$zip" ] || { ls -l "$tmp/out" >&2; echo "FAIL: no $zip_name" >&2; exit 1; }
echo "made $zip_name"

# ---- What it lists ----
mkdir "$tmp/unzipped"
(cd "$tmp/unzipped" && cmake -E tar xf "$zip") || { echo "FAIL: cannot unpack" >&2; exit 1; }
(cd "$tmp/unzipped" && find . -type f | sed 's|^\./||' | sort) >"$tmp/list"
echo "--- contents"; cat "$tmp/list"
for f in "${required[@]}"; do
    grep -qxF "$f" "$tmp/list" || bad "$f is not at the top of the package"
done
while read -r f; do
    case "$f" in
    kvz_unpack.exe | pdaKVZ.dll) ;;
    *.exe | *.EXE | *.dll | *.DLL) bad "$f is shipped, but only kvz_unpack.exe and pdaKVZ.dll may be" ;;
    esac
done <"$tmp/list"

# ---- Every PE file runs alone, on its machine: no mingw runtime DLL ----
while read -r f; do
    case "$f" in *.exe | *.dll) ;; *) continue ;; esac
    if [ "$f" = pdaKVZ.dll ]; then
        llvm-readobj --file-headers --coff-imports "$tmp/unzipped/$f" >"$tmp/pe.txt" 2>&1 ||
            { bad "$f is not a PE file"; continue; }
        grep -q 'Machine: IMAGE_FILE_MACHINE_ARM (0x1C0)' "$tmp/pe.txt" ||
            bad "$f is not the handheld's ARM DLL: $(grep -m1 'Machine:' "$tmp/pe.txt")"
        grep -q 'Subsystem: IMAGE_SUBSYSTEM_WINDOWS_CE_GUI' "$tmp/pe.txt" ||
            bad "$f is not made for Windows CE"
        imports=$(awk '/^Import \{/ {getline; print $2}' "$tmp/pe.txt" | tr '\n' ' ')
        [ "$imports" = "COREDLL.dll " ] || bad "$f imports from $imports, not COREDLL.dll alone"
    else
        "$objdump" -p "$tmp/unzipped/$f" >"$tmp/pe.txt" 2>&1 || { bad "$f is not a PE file"; continue; }
        grep -q "file format $pe_format\$" "$tmp/pe.txt" || bad "$f is not a $pe_format file"
        imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$tmp/pe.txt" | tr '\n' ' ')
    fi
    echo "$f imports: $imports"
    if grep -qiE 'libgcc|libstdc\+\+|libwinpthread|mingw' <<<"$imports"; then
        bad "$f needs a mingw runtime DLL: $imports"
    fi
done <"$tmp/list"

# ---- The proxy exports every entry point of its .def at its ordinal ----
if [ -f "$tmp/unzipped/pdaKVZ.dll" ]; then
    llvm-readobj --coff-exports "$tmp/unzipped/pdaKVZ.dll" |
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

# ---- The install text names what it tells the user to handle ----
if [ -f "$tmp/unzipped/INSTALL.txt" ]; then
    for word in _pdaKVZ.dll pdaKVZ.dll sound_config.txt .ogg Log; do
        grep -qF -- "$word" "$tmp/unzipped/INSTALL.txt" || bad "INSTALL.txt never mentions $word"
    done
fi

[ "$errors" -eq 0 ] || { echo "$errors fault(s) in the package" >&2; exit 1; }
echo "package is complete and self-contained"
