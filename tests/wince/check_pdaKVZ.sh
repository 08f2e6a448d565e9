#!/bin/bash
# Checks the handheld pdaKVZ.dll built for ARMv7 Windows (preset wince-check)
# without running it:
#   check_pdaKVZ.sh DLL PDAKVZ_DEF COREDLL_EXPORTS
#
#  - a DLL for ARMNT (Thumb-2);
#  - imports from COREDLL.dll only, by name, each name in coredll's list;
#  - exports exactly the ordinals and names of the .def, each at the function
#    of its own name (the image keeps its symbol table: /debug:symtab);
#  - the entry point is DllMain, and the four intercepting exports exist;
#  - each of the sixteen forwarders loads the address of ForwardTable (movw and
#    movt, or one literal-pool load: a link-time constant, not state), loads
#    its own entry from it, and ends in "bx" to what it loaded: no frame, no
#    call, no other instruction or load;
#  - no static initialisers or thread-local data, which nothing would run.
#
# Forwarders are decoded with llvm-mc from the file's bytes: llvm-objdump
# labels each export at its odd Thumb address and decodes from there.
set -u
DLL=$1
DEF=$2
LIST=$3
INTERCEPTS="KVZ_CloseHandle KVZ_CreateFile KVZ_Mount KVZ_Mounted"
FAILS=0

fail() {
    echo "FAIL  $*"
    FAILS=$((FAILS + 1))
}
ok() { echo "ok    $*"; }

HEADERS=$(llvm-readobj --file-headers --sections "$DLL") || exit 2
SYMBOLS=$(llvm-objdump -t "$DLL") || exit 2
IMAGE_BASE=$(awk '/ImageBase:/ {print $2}' <<<"$HEADERS")
ENTRY=$(awk '/AddressOfEntryPoint:/ {print $2}' <<<"$HEADERS")

# "number rva size file_offset" per section.
SECTIONS=$(awk '/Number:/ {n = $2} /VirtualAddress:/ {va = $2} /VirtualSize:/ {vs = $2}
    /PointerToRawData:/ {print n, va, vs, $2}' <<<"$HEADERS")

# RVA of a symbol of the image's symbol table; empty unless exactly one.
symbol_rva() {
    local found sec value va
    found=$(awk -v name="$1" '$NF == name && /\(sec/ {
        s = $0; sub(/.*\(sec */, "", s); sub(/\).*/, "", s); print s, $(NF - 1) }' <<<"$SYMBOLS")
    [ -n "$found" ] && [ "$(wc -l <<<"$found")" -eq 1 ] || return 0
    read -r sec value <<<"$found"
    va=$(awk -v s="$sec" '$1 == s {print $2}' <<<"$SECTIONS")
    printf '0x%X\n' $((va + value))
}

# File offset of an RVA.
file_offset() {
    local n va vs raw
    while read -r n va vs raw; do
        if (($1 >= va && $1 < va + vs && raw != 0)); then
            echo $(($1 - va + raw))
            return
        fi
    done <<<"$SECTIONS"
}

# The 32-bit little-endian word at an RVA.
word_at() {
    local off
    off=$(file_offset "$1")
    [ -n "$off" ] || return 0
    od -An -tu4 --endian=little -j "$off" -N 4 "$DLL" | tr -d ' '
}

# ---- Machine ----
test_machine() {
    if grep -q 'Machine: IMAGE_FILE_MACHINE_ARMNT' <<<"$HEADERS" &&
        grep -q 'IMAGE_FILE_DLL' <<<"$HEADERS"; then
        ok "ARMNT (Thumb-2) DLL"
    else
        fail "not an ARMNT DLL: $(grep -m1 'Machine:' <<<"$HEADERS")"
    fi
}

# ---- Imports ----
test_imports() {
    local imports dlls names name missing=0
    imports=$(llvm-readobj --coff-imports "$DLL")
    dlls=$(awk '/^(Import|DelayImport) \{/ {getline; print $2}' <<<"$imports")
    if [ "$dlls" != "COREDLL.dll" ] || grep -q '^DelayImport' <<<"$imports"; then
        fail "imports from: $(echo $dlls) (want COREDLL.dll alone, not delayed)"
    fi
    names=$(awk '/Symbol:/ {print $2}' <<<"$imports")
    if grep -q 'Symbol:  *(' <<<"$imports"; then
        fail "an import by ordinal"
        missing=1
    fi
    for name in $names; do
        if ! grep -qx "$name" "$LIST"; then
            fail "imported $name is not in coredll's export list"
            missing=1
        fi
    done
    [ $missing -eq 0 ] && ok "$(wc -w <<<"$names") imports, all from coredll's list"
    echo "      COREDLL.dll: $(echo $names)"
}

# ---- Exports ----
EXPORTS=""
test_exports() {
    local want got ordinal name rva sym bad=0
    EXPORTS=$(llvm-readobj --coff-exports "$DLL" | awk '/Ordinal:/ {o = $2}
        /Name:/ {n = $2} /RVA:/ {if (n != "") print o, n, $2; n = ""}')
    want=$(sed -nE 's/^[[:space:]]*([A-Za-z_][A-Za-z0-9_]*)[[:space:]]+@([0-9]+).*/\2 \1/p' "$DEF" | sort)
    got=$(awk '{print $1, $2}' <<<"$EXPORTS" | sort)
    if [ "$want" != "$got" ]; then
        fail "exports differ from $(basename "$DEF"):"
        diff <(echo "$want") <(echo "$got") | sed 's/^/      /'
        bad=1
    fi
    while read -r ordinal name rva; do
        sym=$(symbol_rva "$name")
        if [ -z "$sym" ] || ((rva != sym + 1)); then
            fail "export @$ordinal $name at $rva is not the Thumb address of its function (${sym:-none})"
            bad=1
        fi
    done <<<"$EXPORTS"
    [ $bad -eq 0 ] && ok "$(wc -l <<<"$want") exports by the ordinals and names of the .def"
}

# ---- Entry point and interceptors ----
test_entry_and_intercepts() {
    local dllmain name
    dllmain=$(symbol_rva DllMain)
    if [ -n "$dllmain" ] && ((ENTRY == dllmain + 1)); then
        ok "entry point is DllMain"
    else
        fail "entry point $ENTRY is not DllMain (${dllmain:-none})"
    fi
    for name in $INTERCEPTS; do
        grep -q " $name " <<<"$EXPORTS" || fail "intercepting export $name missing"
    done
}

# ---- Forwarders ----

# Decodes the instructions at an RVA and judges them as a forwarder through
# table offset $2. Prints "table ADDRESS", "literal RVA" or "bad REASON".
judge_forwarder() {
    local off bytes
    off=$(file_offset "$1")
    bytes=$(od -An -tx1 -v -j "$off" -N 24 "$DLL" | tr -s ' \n' ' ' | sed 's/ \([0-9a-f]\{2\}\)/0x\1 /g')
    llvm-mc --disassemble -triple=thumbv7-windows -show-encoding <<<"$bytes" 2>/dev/null |
        awk -v pc=$(($1)) -v want=$(($2)) '
        function done(text) { print text; exit }
        /^\t\./ { next }
        {
            size = gsub(/0x/, "&")
            line = $0; sub(/[ \t]*@.*/, "", line); gsub(/[\t,]+/, " ", line)
            split(line, w, " ")
            op = w[1]; sub(/\.w$/, "", op)
            count++
            if (op == "movw" && base == "" && lo == "") {
                reg = w[2]; lo = substr(w[3], 2) + 0
            } else if (op == "movt" && w[2] == reg && lo != "" && base == "") {
                base = reg; addr = "table " (substr(w[3], 2) * 65536 + lo)
            } else if (op == "ldr" && w[3] == "[pc" && base == "" && lo == "") {
                base = w[2]; imm = w[4]; gsub(/[#\]]/, "", imm)
                addr = "literal " (int((pc + 4) / 4) * 4 + imm)
            } else if (op == "ldr" && base != "" && loaded == "" &&
                       (w[3] == "[" base "]" || w[3] == "[" base)) {
                imm = (w[3] ~ /\]$/) ? 0 : w[4]; gsub(/[#\]]/, "", imm)
                if (imm + 0 != want)
                    done("bad loads table offset " imm ", not " want)
                loaded = w[2]
            } else if (op == "bx" && loaded != "" && w[2] == loaded) {
                done(addr)
            } else {
                done("bad instruction " count ": " line)
            }
            pc += size
        }
        END { print "bad no bx through a table entry" }' | head -1
}

test_forwarders() {
    local table ordinal name rva verdict address shown=0 bad=0
    table=$(symbol_rva ForwardTable)
    [ -n "$table" ] || fail "no ForwardTable symbol"
    while read -r ordinal name rva; do
        [[ " $INTERCEPTS " == *" $name "* ]] && continue
        verdict=$(judge_forwarder $((rva - 1)) $((4 * (ordinal - 1))))
        case $verdict in
        table*) address=${verdict#table } ;;
        literal*) address=$(word_at "${verdict#literal }") ;;
        *) address="" ;;
        esac
        if [ -z "$address" ] || [ -z "$table" ] || ((address != IMAGE_BASE + table)); then
            [[ $verdict == bad* ]] || verdict="loads from $(printf 0x%X "$address"), not ForwardTable"
            fail "forwarder @$ordinal $name: ${verdict#bad }"
            bad=1
        fi
        shown=$((shown + 1))
    done <<<"$EXPORTS"
    [ $shown -eq 16 ] || fail "$shown forwarders, not 16"
    [ $bad -eq 0 ] && [ $shown -eq 16 ] && ok "16 forwarders: ForwardTable address, one load of their entry, bx"
}

# ---- Start-up code nothing would run ----
test_no_initialisers() {
    local found
    found=$(awk '/Name:/ && ($2 ~ /^\.(ctors|dtors|tls|CRT)/) {print $2}' <<<"$HEADERS")
    if [ -n "$found" ]; then
        fail "sections that need a C runtime's start-up: $(echo $found)"
    else
        ok "no static initialisers or thread-local data"
    fi
}

test_machine
test_imports
test_exports
test_entry_and_intercepts
test_forwarders
test_no_initialisers
echo "      $(basename "$DLL"): $(stat -c %s "$DLL") bytes"
exit $((FAILS > 0))
