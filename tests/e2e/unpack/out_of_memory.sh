#!/bin/bash
# "Nicht genug Speicher!" and exit 1 when a -f node or its name cannot be had.
program=$1
for at in 1 2 3 4; do
    out=$(KVZ_UNPACK_FAIL_ALLOC=$at "$program" -fone -ftwo missing.kvz)
    rc=$?
    if [ $rc -ne 1 ] || [ "$out" != "Nicht genug Speicher!" ]; then
        echo "FAIL at allocation $at: rc=$rc out=$out" >&2
        exit 1
    fi
done
echo "all allocation failures reported"
