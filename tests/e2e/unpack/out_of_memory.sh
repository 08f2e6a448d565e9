#!/bin/bash
# "Nicht genug Speicher!" and exit 1 when a -f node or its name cannot be had.
#   out_of_memory.sh PROGRAM [wine]
# With "wine" the PE variant runs through tools/wine-run, and its output must
# end in CR LF. In host mode $KVZ_EMULATOR, when set, starts the program.
program=$1
mode=${2:-host}
wine_run=$(dirname "$0")/../../../tools/wine-run
expected="Nicht genug Speicher!"
[ "$mode" = wine ] && expected+=$'\r'
for at in 1 2 3 4; do
    if [ "$mode" = wine ]; then
        out=$(KVZ_UNPACK_FAIL_ALLOC=$at "$wine_run" "$program" -fone -ftwo missing.kvz)
    else
        out=$(KVZ_UNPACK_FAIL_ALLOC=$at ${KVZ_EMULATOR:+"$KVZ_EMULATOR"} "$program" -fone -ftwo missing.kvz)
    fi
    rc=$?
    if [ $rc -ne 1 ] || [ "$out" != "$expected" ]; then
        echo "FAIL at allocation $at: rc=$rc out=$out" >&2
        exit 1
    fi
done
echo "all allocation failures reported"
