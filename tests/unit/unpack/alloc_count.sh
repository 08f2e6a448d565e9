#!/usr/bin/env bash
# Extracts archives of 10, 100 and 1000 small files in one directory with
# kvz_unpack and the reference KVZ32.DLL under valgrind, and compares the
# "total heap usage: N allocs" of the three runs: they must be equal.
# Exit 77 (skipped) when the count cannot be taken honestly.
set -u
bin=${KVZ_BIN_DIR:?KVZ_BIN_DIR not set}
if [ -n "${KVZ_EMULATOR:-}" ]; then
    echo "skipped: valgrind cannot run programs built for another CPU ($KVZ_EMULATOR)"
    exit 77
fi
if [ -n "${KVZ_SANITIZE:-}" ]; then
    echo "skipped: a sanitizer build ($KVZ_SANITIZE) counts its own allocations"
    exit 77
fi
if ! command -v valgrind >/dev/null 2>&1; then
    echo "skipped: valgrind is not installed"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kvz-alloc.XXXXXX")
trap 'rm -rf "$work"' EXIT

# allocs N: the allocation count of extracting an archive of N files.
allocs() {
    local n=$1 dir=$work/$1 i
    mkdir -p "$dir/src/d"
    for ((i = 1; i <= n; i++)); do printf 'file %d\n' "$i" >"$dir/src/d/f$i.txt"; done
    tar --format=ustar -C "$dir/src" -cf "$dir/a.kvz" d
    (cd "$dir" && valgrind --log-file="$dir/valgrind.log" "$bin/kvz_unpack" -oout a.kvz \
        >"$dir/listing.txt") || { echo "kvz_unpack failed for $n files" >&2; return 1; }
    grep -q "^$n Dateien erfolgreich entpackt!" "$dir/listing.txt" || {
        echo "extraction of $n files did not succeed:" >&2
        tail -3 "$dir/listing.txt" >&2
        return 1
    }
    diff -r "$dir/src/d" "$dir/out/d" >/dev/null || { echo "$n files: trees differ" >&2; return 1; }
    sed -n 's/.*total heap usage: \([0-9,]*\) allocs.*/\1/p' "$dir/valgrind.log" | tr -d ,
}

counts=()
for n in 10 100 1000; do
    count=$(allocs "$n") || exit 1
    [ -n "$count" ] || { echo "no heap summary from valgrind for $n files" >&2; exit 1; }
    echo "$n files: $count allocations"
    counts+=("$count")
done
if [ "${counts[0]}" != "${counts[1]}" ] || [ "${counts[1]}" != "${counts[2]}" ]; then
    echo "FAIL: the allocation count grows with the number of entries" >&2
    exit 1
fi
echo "the allocation count does not grow with the number of entries"
