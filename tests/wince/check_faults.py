#!/usr/bin/python3
"""Proves that check_ce_dll.py catches what it is for: each case damages a copy
of the handheld pdaKVZ.dll in one way (the checksum made right again, so only
that fault remains) and expects the check's own FAIL line.

  check_faults.py WINCE_BUILD_DIR PDAKVZ_DEF COREDLL_EXPORTS INTERCEPTS VERSION

Exits 0 when every damaged copy is refused by the check meant for it.
"""
import os
import subprocess
import sys
import tempfile

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
REL_BASED_HIGHLOW = 3


def fix_checksum(pe):
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()


def wrong_machine(pe):
    pe.FILE_HEADER.Machine = 0x1C4  # ARMNT: Thumb-2
    fix_checksum(pe)


def wrong_subsystem(pe):
    pe.OPTIONAL_HEADER.Subsystem = 2  # desktop GUI
    fix_checksum(pe)


def wrong_checksum(pe):
    pe.OPTIONAL_HEADER.CheckSum ^= 1


def writable_code(pe):
    code = next(s for s in pe.sections if s.Characteristics & 0x20)
    code.Characteristics |= 0x80000000
    fix_checksum(pe)


def drop_relocation_at(pe, rva):
    """The HIGHLOW entry of rva becomes padding: that address is no longer moved."""
    for block in pe.DIRECTORY_ENTRY_BASERELOC:
        for entry in block.entries:
            if entry.type == REL_BASED_HIGHLOW and entry.rva == rva:
                entry.struct.Data &= 0x0FFF  # type 0, ABSOLUTE
                fix_checksum(pe)
                return
    raise ValueError("no relocation at 0x%X" % rva)


def dropped_relocation(pe):
    """KVZ_ReadFile's literal, ForwardTable's address, is no longer moved."""
    drop_relocation_at(pe, forwarder(pe, b"KVZ_ReadFile") + 12)


def section(pe, name):
    return next(s for s in pe.sections if s.Name.rstrip(b"\0") == name)


def fifteen_directories(pe):
    pe.OPTIONAL_HEADER.NumberOfRvaAndSizes = 15
    fix_checksum(pe)


def later_subsystem(pe):
    pe.OPTIONAL_HEADER.MinorSubsystemVersion = 21  # CE 4.21, not on a Pocket PC 2003
    fix_checksum(pe)


def read_only_tail(pe):
    """.rdata spans 4 bytes more than the file holds."""
    rdata = section(pe, b".rdata")
    rdata.Misc_VirtualSize = rdata.SizeOfRawData + 4
    fix_checksum(pe)


def discardable_data(pe):
    section(pe, b".data").Characteristics |= 0x02000000
    fix_checksum(pe)


def import_without_lookup(pe):
    pe.DIRECTORY_ENTRY_IMPORT[0].struct.OriginalFirstThunk = 0
    fix_checksum(pe)


def read_only_iat(pe):
    """.data, which holds the import slots, loses its write flag."""
    section(pe, b".data").Characteristics &= ~0x80000000
    fix_checksum(pe)


def second_block_for_a_page(pe):
    blocks = pe.DIRECTORY_ENTRY_BASERELOC
    blocks[1].struct.VirtualAddress = blocks[0].struct.VirtualAddress
    fix_checksum(pe)


def fixup_across_a_page(pe):
    pe.DIRECTORY_ENTRY_BASERELOC[0].entries[0].struct.Data = (REL_BASED_HIGHLOW << 12) | 0xFFE
    fix_checksum(pe)


def renamed_import(pe):
    imp = pe.DIRECTORY_ENTRY_IMPORT[0].imports[0]
    name = imp.name
    pe.set_bytes_at_offset(imp.name_offset, name[:-1] + bytes([name[-1] ^ 0x20]))
    fix_checksum(pe)


def export_at_wrong_ordinal(pe):
    pe.DIRECTORY_ENTRY_EXPORT.struct.Base += 1
    fix_checksum(pe)


def entry_point_off(pe):
    pe.OPTIONAL_HEADER.AddressOfEntryPoint += 4
    fix_checksum(pe)


def forwarder(pe, name):
    return next(s.address for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name == name)


def forwarder_wrong_offset(pe):
    """KVZ_ReadFile (ordinal 13) loads the entry of ordinal 14."""
    rva = forwarder(pe, b"KVZ_ReadFile") + 4
    pe.set_dword_at_rva(rva, pe.get_dword_at_rva(rva) + 4)
    fix_checksum(pe)


def armv5_instruction(pe):
    """KVZ_UnMount's bx r12 becomes blx r12, which ARMv4T lacks."""
    rva = forwarder(pe, b"KVZ_UnMount") + 8
    pe.set_dword_at_rva(rva, 0xE12FFF3C)
    fix_checksum(pe)


def wrong_version(pe):
    """The fixed file version says 1 more in its minor number than the strings."""
    pe.VS_FIXEDFILEINFO[0].FileVersionMS += 1
    fix_checksum(pe)


CASES = [
    (wrong_machine, "FAIL  headers"),
    (wrong_subsystem, "FAIL  headers"),
    (wrong_checksum, "FAIL  headers"),
    (fifteen_directories, "FAIL  H3"),
    (later_subsystem, "FAIL  H8"),
    (writable_code, "FAIL  sections"),
    (read_only_tail, "FAIL  S4"),
    (discardable_data, "FAIL  S9"),
    (dropped_relocation, "FAIL  relocations"),
    (second_block_for_a_page, "FAIL  R4"),
    (fixup_across_a_page, "FAIL  R5"),
    (renamed_import, "FAIL  imports"),
    (import_without_lookup, "FAIL  I1"),
    (read_only_iat, "FAIL  I3"),
    (export_at_wrong_ordinal, "FAIL  exports"),
    (entry_point_off, "FAIL  entry point"),
    (forwarder_wrong_offset, "FAIL  forwarders"),
    (armv5_instruction, "FAIL  code"),
    (wrong_version, "FAIL  version resource"),
]


def main():
    build, def_file, coredll, intercepts, version = sys.argv[1:6]
    dll = os.path.join(build, "bin", "pdaKVZ.dll")
    args = ["--moved", os.path.join(build, "check", "pdaKVZ.dll"),
            "--elf", os.path.join(build, "elf", "pdaKVZ.elf"), "--def", def_file,
            "--coredll", coredll, "--forwarders-except", intercepts, "--version", version]
    missed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for damage, expected in CASES:
            pe = pefile.PE(dll)
            damage(pe)
            copy = os.path.join(tmp, damage.__name__ + ".dll")
            pe.write(copy)
            r = subprocess.run([sys.executable, os.path.join(HERE, "check_ce_dll.py"),
                                "--dll", copy] + args, capture_output=True, text=True)
            caught = r.returncode == 1 and any(l.startswith(expected) for l in r.stdout.splitlines())
            print("%s  %-26s %s" % ("ok  " if caught else "FAIL", damage.__name__,
                                   expected if caught else "not caught:\n" + r.stdout + r.stderr))
            missed += not caught
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
