#!/usr/bin/python3
"""Checks a Windows CE ARM DLL of the handheld build with readers that are not
the image writer's own: pefile for the PE file, binutils for the ELF image the
linker made, llvm-mc for the instructions.

  check_ce_dll.py --dll X.dll --moved X_at_other_base.dll --elf X.elf
                  --def X.def --coredll coredll-exports.txt
                  [--forwarders-except NAME,NAME,...] [--version X.Y.Z]

Exits 0 when every check passes, 1 when one fails, 2 on bad input. Each
failing check prints one line starting with "FAIL"; a check of a rule of CE's
own loader names the rule's id next ("FAIL  R4 relocation blocks: ...").
"""
import argparse
import re
import subprocess
import sys

import pefile

from version_resource import version_problems

MACHINE_ARM = 0x1C0
SUBSYSTEM_WINDOWS_CE_GUI = 9
FILE_EXECUTABLE_IMAGE = 0x0002
FILE_RELOCS_STRIPPED = 0x0001
FILE_32BIT_MACHINE = 0x0100
FILE_DLL = 0x2000
SCN_CNT_CODE = 0x20
SCN_CNT_INITIALIZED_DATA = 0x40
SCN_CNT_UNINITIALIZED_DATA = 0x80
SCN_MEM_DISCARDABLE = 0x02000000
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_READ = 0x40000000
SCN_MEM_WRITE = 0x80000000
REL_BASED_ABSOLUTE = 0
REL_BASED_HIGHLOW = 3
DIR_IMPORT = 1
DIR_BASERELOC = 5
DIR_TLS = 9

failures = 0


def fail(text):
    global failures
    failures += 1
    print("FAIL  " + text)


def ok(text):
    print("ok    " + text)


def note(text):
    print("      " + text)


# ---- Inputs ----


def read_def(path):
    """{ordinal: name} of a module definition file."""
    exports = {}
    with open(path) as f:
        for line in f:
            m = re.match(r"\s*([A-Za-z_]\w*)(@\d+)?\s+@(\d+)", line)
            if m:
                exports[int(m.group(3))] = m.group(1)
    return exports


def read_list(path):
    with open(path) as f:
        return {l.strip() for l in f if l.strip() and not l.startswith("#")}


def elf_symbols(elf):
    """(addresses of named symbols, sorted mapping symbols [(address, kind)])
    read by binutils from the linker's output."""
    out = subprocess.run(["arm-none-eabi-readelf", "-sW", elf], check=True,
                         capture_output=True, text=True).stdout
    named, mapping = {}, []
    for line in out.splitlines():
        f = line.split()
        if len(f) < 8 or not f[0][:-1].isdigit() or f[6] in ("UND", "ABS"):
            continue
        value, name = int(f[1], 16), f[7]
        if re.match(r"^\$[adt](\.|$)", name):
            mapping.append((value, name[1]))
        elif f[4] in ("GLOBAL", "WEAK") or f[3] == "OBJECT":
            named.setdefault(name, value)
    mapping.sort()
    return named, mapping


def disassemble(words, triple):
    """llvm-mc's text for each 32-bit little-endian word, None where the word
    is no instruction of that architecture."""
    lines = "\n".join(" ".join("0x%02x" % ((w >> s) & 0xFF) for s in (0, 8, 16, 24))
                      for w in words)
    r = subprocess.run(["llvm-mc", "--disassemble", "-triple=" + triple],
                       input=lines + "\n", capture_output=True, text=True)
    bad = {int(m.group(1)) - 1 for m in re.finditer(r"<stdin>:(\d+):\d+: warning: invalid", r.stderr)}
    texts = [l.strip() for l in r.stdout.splitlines()
             if l.strip() and not l.strip().startswith(".")]
    result, it = [], iter(texts)
    for i in range(len(words)):
        result.append(None if i in bad else next(it, None))
    return result


# ---- Helpers over the PE file ----


def section_of(pe, rva):
    for s in pe.sections:
        if s.VirtualAddress <= rva < s.VirtualAddress + max(s.Misc_VirtualSize, s.SizeOfRawData):
            return s
    return None


def word(pe, rva):
    return pe.get_dword_at_rva(rva)


def relocated_rvas(pe):
    rvas = set()
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            if entry.type == REL_BASED_HIGHLOW:
                rvas.add(entry.rva)
    return rvas


# ---- Checks ----


def check_headers(pe, base):
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    problems = []
    if fh.Machine != MACHINE_ARM:
        problems.append("machine 0x%X, not ARM 0x1C0" % fh.Machine)
    want = FILE_EXECUTABLE_IMAGE | FILE_32BIT_MACHINE | FILE_DLL
    if fh.Characteristics & want != want or fh.Characteristics & FILE_RELOCS_STRIPPED:
        problems.append("characteristics 0x%04X" % fh.Characteristics)
    if oh.Magic != 0x10B:
        problems.append("optional header magic 0x%X, not PE32" % oh.Magic)
    if oh.Subsystem != SUBSYSTEM_WINDOWS_CE_GUI:
        problems.append("subsystem %d, not 9 (Windows CE)" % oh.Subsystem)
    for what, major, minor in (("subsystem", oh.MajorSubsystemVersion, oh.MinorSubsystemVersion),
                               ("OS", oh.MajorOperatingSystemVersion,
                                oh.MinorOperatingSystemVersion)):
        if (major, minor) != (4, 20):
            problems.append("%s version %d.%d, not 4.20" % (what, major, minor))
    if oh.ImageBase != base:
        problems.append("image base 0x%X, not 0x%X" % (oh.ImageBase, base))
    if (oh.SectionAlignment, oh.FileAlignment) != (0x1000, 0x200):
        problems.append("alignment 0x%X/0x%X" % (oh.SectionAlignment, oh.FileAlignment))
    if oh.CheckSum == 0 or oh.CheckSum != pe.generate_checksum():
        problems.append("checksum 0x%X, computed 0x%X" % (oh.CheckSum, pe.generate_checksum()))
    end = max(s.VirtualAddress + max(s.Misc_VirtualSize, 1) for s in pe.sections)
    if oh.SizeOfImage != (end + 0xFFF) & ~0xFFF:
        problems.append("SizeOfImage 0x%X for sections ending at 0x%X" % (oh.SizeOfImage, end))
    if oh.DATA_DIRECTORY[DIR_TLS].VirtualAddress != 0:
        problems.append("a TLS directory, which nothing would set up")
    if problems:
        fail("headers: " + "; ".join(problems))
    else:
        ok("ARM (0x1C0) DLL for Windows CE 4.20 (subsystem 9), base 0x%X, checksum 0x%X"
           % (base, oh.CheckSum))


# ---- What CE's loader demands beyond a PE file ----
# Each check is named by its rule's id in ../shared/handheld/ce-loader-rules.md.
# The tables are read from the file's bytes, not from pefile's reading of them,
# which takes what a desktop loader would.


def extent(s):
    return s.Misc_VirtualSize or s.SizeOfRawData


def rule_h3(pe):
    """CE reads the section table at e_lfanew + 0xF8 and 16 directories."""
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    if (fh.SizeOfOptionalHeader, oh.Magic, oh.NumberOfRvaAndSizes) != (0xE0, 0x10B, 16):
        return ["0x%X bytes, magic 0x%X, %d directories; CE reads PE32 (0x10B), 0xE0 bytes, 16"
                % (fh.SizeOfOptionalHeader, oh.Magic, oh.NumberOfRvaAndSizes)]
    return []


def rule_h8(pe):
    """A subsystem version after the device's CE does not load: 4.20 at most."""
    oh = pe.OPTIONAL_HEADER
    version = (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion)
    if oh.Subsystem == SUBSYSTEM_WINDOWS_CE_GUI and version > (4, 20):
        return ["%d.%02d, later than CE 4.20" % version]
    return []


def rule_s4(pe):
    """Read-only pages may come unzeroed: all their bytes must be in the file."""
    return ["%s spans 0x%X bytes, 0x%X in the file" % (s.Name.rstrip(b"\0").decode(), extent(s),
                                                       s.SizeOfRawData)
            for s in pe.sections
            if not s.Characteristics & SCN_MEM_WRITE and s.SizeOfRawData < extent(s)]


def rule_s9(pe):
    """Discardable sections are decommitted after loading: relocations only."""
    d = pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIR_BASERELOC]
    return ["%s is discardable but holds more than the relocations"
            % s.Name.rstrip(b"\0").decode()
            for s in pe.sections
            if s.Characteristics & SCN_MEM_DISCARDABLE and extent(s)
            and not d.VirtualAddress <= s.VirtualAddress
            and s.VirtualAddress + extent(s) <= d.VirtualAddress + d.Size]


def import_descriptors(pe):
    """(index, OriginalFirstThunk, Name, FirstThunk) up to the all-zero one."""
    rva = pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIR_IMPORT].VirtualAddress
    result = []
    while rva:
        fields = [word(pe, rva + o) for o in (0, 12, 16)]
        if fields == [0, 0, 0]:
            break
        result.append((len(result), *fields))
        rva += 20
    return result


def rule_i1(pe):
    """CE walks the descriptors while OriginalFirstThunk is not 0."""
    return ["descriptor %d has no OriginalFirstThunk" % i
            for i, lookup, _, _ in import_descriptors(pe) if lookup == 0]


def rule_i3(pe):
    """The import address table lies in a writable section."""
    problems = []
    for i, lookup, _, slots in import_descriptors(pe):
        n = 0
        while word(pe, (lookup or slots) + 4 * n):
            s = section_of(pe, slots + 4 * n)
            if s is None or not s.Characteristics & SCN_MEM_WRITE:
                problems.append("descriptor %d: slot 0x%X not in a writable section"
                                % (i, slots + 4 * n))
                break
            n += 1
    return problems


def relocation_blocks(pe):
    """(page, [(type, offset)]) of each block, in file order."""
    d = pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIR_BASERELOC]
    blocks, at = [], 0
    while at + 8 <= d.Size:
        page, size = word(pe, d.VirtualAddress + at), word(pe, d.VirtualAddress + at + 4)
        if size < 8:
            break
        data = pe.get_data(d.VirtualAddress + at + 8, size - 8)
        entries = [int.from_bytes(data[k:k + 2], "little") for k in range(0, len(data) - 1, 2)]
        blocks.append((page, [(e >> 12, e & 0xFFF) for e in entries]))
        at += size
    return blocks


def rule_r4(pe):
    """Only the first block of a page is applied: one block a page, on the page, ascending."""
    problems, last = [], None
    for page, _ in relocation_blocks(pe):
        if page % 0x1000:
            problems.append("block for 0x%X is not on a page" % page)
        if last is not None and page <= last:
            problems.append("block for 0x%X follows the one for 0x%X" % (page, last))
        last = page
    return problems


def rule_r5(pe):
    """Each page is patched alone: no fixup reaches into the next page."""
    return ["fixup at 0x%X crosses into the next page" % (page + offset)
            for page, entries in relocation_blocks(pe) for kind, offset in entries
            if kind == REL_BASED_HIGHLOW and offset > 0xFFC]


LOADER_RULES = [
    ("H3", "optional header", "PE32 of 0xE0 bytes with 16 directories", rule_h3),
    ("H8", "subsystem version", "4.20 at most", rule_h8),
    ("S4", "read-only sections", "all their bytes in the file", rule_s4),
    ("S9", "discardable sections", "the relocations alone", rule_s9),
    ("I1", "import descriptors", "each with a lookup table", rule_i1),
    ("I3", "import address table", "in writable sections", rule_i3),
    ("R4", "relocation blocks", "one a page, each on its page, ascending", rule_r4),
    ("R5", "fixups", "none crosses a page", rule_r5),
]


def check_loader_rules(pe):
    """FAIL lines start with the rule's id: "FAIL  R4 relocation blocks: ..."."""
    for rule, what, held, check in LOADER_RULES:
        problems = check(pe)
        if problems:
            fail("%s %s: %s" % (rule, what, "; ".join(problems[:6])))
        else:
            ok("%s %s: %s" % (rule, what, held))


def check_sections(pe):
    kinds, problems = [], []
    for s in pe.sections:
        name = s.Name.rstrip(b"\0").decode(errors="replace")
        c = s.Characteristics
        if c & SCN_MEM_EXECUTE and c & SCN_MEM_WRITE:
            problems.append("%s is writable and executable" % name)
        if c & SCN_CNT_UNINITIALIZED_DATA:
            kind = "zero-filled"
            if s.SizeOfRawData != 0 or s.PointerToRawData != 0:
                problems.append("%s is zero-filled but has file bytes" % name)
        elif c & SCN_CNT_CODE:
            kind = "code"
            if c & (SCN_MEM_EXECUTE | SCN_MEM_READ) != SCN_MEM_EXECUTE | SCN_MEM_READ:
                problems.append("%s is code but not executable" % name)
        elif c & SCN_MEM_WRITE:
            kind = "data"
        else:
            kind = "read-only data"
        if s.SizeOfRawData and s.PointerToRawData + s.SizeOfRawData > len(pe.__data__):
            problems.append("%s lies past the end of the file" % name)
        kinds.append("%s %s" % (name, kind))
    for needed in ("code", "read-only data", "data", "zero-filled"):
        if not any(k.endswith(" " + needed) for k in kinds):
            problems.append("no %s section" % needed)
    if problems:
        fail("sections: " + "; ".join(problems))
    else:
        ok("sections: " + ", ".join(kinds))


def check_imports(pe, coredll):
    problems, names = [], []
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    dlls = [e.dll.decode() for e in entries]
    if [d.upper() for d in dlls] != ["COREDLL.DLL"]:
        problems.append("imports from %s, want COREDLL.dll alone" % (dlls or "nothing"))
    for e in entries:
        for imp in e.imports:
            if imp.import_by_ordinal or imp.name is None:
                problems.append("an import by ordinal (%s)" % imp.ordinal)
                continue
            name = imp.name.decode()
            names.append(name)
            if name not in coredll:
                problems.append("%s is not exported by coredll.dll" % name)
    if problems:
        fail("imports: " + "; ".join(problems))
    else:
        ok("%d imports, all by name from COREDLL.dll and in its export list" % len(names))
    note("COREDLL.dll: " + " ".join(sorted(names)))


def check_exports(pe, base, wanted, symbols):
    problems, got = [], {}
    code = [s for s in pe.sections if s.Characteristics & SCN_CNT_CODE]
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    for sym in directory.symbols if directory else []:
        name = sym.name.decode() if sym.name else None
        got[sym.ordinal] = name
        if name in symbols and sym.address != symbols[name] - base:
            problems.append("%s at 0x%X, its function at 0x%X" % (name, sym.address,
                                                                   symbols[name] - base))
        if sym.address % 4 or section_of(pe, sym.address) not in code:
            problems.append("@%d %s at 0x%X is no ARM function" % (sym.ordinal, name, sym.address))
    if got != wanted:
        missing = {o: n for o, n in wanted.items() if got.get(o) != n}
        extra = {o: n for o, n in got.items() if wanted.get(o) != n}
        problems.append("want %s, got %s" % (missing, extra))
    if problems:
        fail("exports: " + "; ".join(problems))
    else:
        ok("%d exports at the ordinals and names of the .def, each at its function" % len(got))


def check_entry(pe, base, symbols):
    entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    if "DllMain" in symbols and entry == symbols["DllMain"] - base:
        ok("entry point 0x%X is DllMain" % entry)
    else:
        fail("entry point 0x%X is not DllMain (%s)" % (entry, hex(symbols.get("DllMain", 0) - base)))


def check_code_is_the_linkers(pe, elf, base):
    """The code section holds the linker's .text bytes, so what the other checks
    learn from the ELF's symbols is true of the DLL."""
    out = subprocess.run(["arm-none-eabi-objcopy", "-O", "binary", "--only-section=.text", elf,
                          "/dev/stdout"], check=True, capture_output=True).stdout
    text = subprocess.run(["arm-none-eabi-readelf", "-SW", elf], check=True, capture_output=True,
                          text=True).stdout
    m = re.search(r"\]\s+\.text\s+PROGBITS\s+([0-9a-f]+)", text)
    rva = int(m.group(1), 16) - base
    if pe.get_data(rva, len(out)) == out:
        ok("code section holds the linker's .text (%d bytes at 0x%X)" % (len(out), rva))
    else:
        fail("code section differs from the linker's .text at 0x%X" % rva)
    return rva, len(out)


def check_relocations(pe, moved):
    """Relocating the image to the other link's base must give that link's
    bytes: a difference is an address the relocations miss, or one they
    wrongly move."""
    bad_types = [e.type for b in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []) for e in b.entries
                 if e.type not in (REL_BASED_HIGHLOW, REL_BASED_ABSOLUTE)]
    count = len(relocated_rvas(pe))
    pe.relocate_image(moved.OPTIONAL_HEADER.ImageBase)
    differences = []
    if [s.VirtualAddress for s in pe.sections] != [s.VirtualAddress for s in moved.sections]:
        differences.append("the two links differ in layout")
    else:
        for a, b in zip(pe.sections, moved.sections):
            if a.Characteristics & SCN_CNT_UNINITIALIZED_DATA:
                continue
            x, y = a.get_data(), b.get_data()
            for i in range(0, min(len(x), len(y)), 4):
                if x[i:i + 4] != y[i:i + 4]:
                    differences.append("0x%X" % (a.VirtualAddress + i))
    if bad_types:
        fail("relocations: types %s besides HIGHLOW" % sorted(set(bad_types)))
    elif differences:
        fail("relocations: %d words differ after relocating from 0x%X to 0x%X: %s"
             % (len(differences), pe.OPTIONAL_HEADER.ImageBase,
                moved.OPTIONAL_HEADER.ImageBase, " ".join(differences[:8])))
    else:
        ok("%d HIGHLOW relocations turn this image into the link at 0x%X, byte for byte"
           % (count, moved.OPTIONAL_HEADER.ImageBase))


def regions(mapping, base, start, size):
    """(rva, end, kind) of the code's mapping-symbol regions: a ARM, t Thumb, d data."""
    marks = [(a - base, k) for a, k in mapping if start <= a - base < start + size]
    if not marks or marks[0][0] != start:
        marks.insert(0, (start, "a"))
    return [(rva, marks[i + 1][0] if i + 1 < len(marks) else start + size, kind)
            for i, (rva, kind) in enumerate(marks)]


# Multiplies ARMv4 has. LLVM decodes them only from ARMv6 on (it keeps the
# earlier forms, with their register rules, for code generation), so a word
# it refuses as ARMv4T is taken when ARMv6 reads it as one of these.
V4_MULTIPLIES = re.compile(r"^(mul|mla|umull|umlal|smull|smlal)s?(eq|ne|hs|cs|lo|cc|mi|pl|vs|vc|hi|ls"
                           r"|ge|lt|gt|le)?\s")


def check_instructions(pe, mapping, base, start, size, relocated):
    arm, thumb, problems = [], 0, []
    for rva, end, kind in regions(mapping, base, start, size):
        if kind == "t":
            thumb += end - rva
        elif kind == "a":
            arm.extend(range(rva, end - 3, 4))
    if thumb:
        problems.append("%d bytes of Thumb code" % thumb)
    texts = disassemble([word(pe, r) for r in arm], "armv4t")
    refused = [r for r, t in zip(arm, texts) if t is None]
    again = disassemble([word(pe, r) for r in refused], "armv6")
    multiplies = sum(1 for t in again if t and V4_MULTIPLIES.match(t))
    invalid = ["0x%X: %08x" % (r, word(pe, r)) for r, t in zip(refused, again)
               if not (t and V4_MULTIPLIES.match(t))]
    if invalid:
        problems.append("%d words are no ARMv4T instruction: %s" % (len(invalid),
                                                                    " ".join(invalid[:6])))
    in_code = sorted(r for r in relocated if start <= r < start + size)
    arm_set = set(arm)
    moved_code = ["0x%X" % r for r in in_code if r in arm_set]
    if moved_code:
        problems.append("relocations inside instructions: %s" % " ".join(moved_code[:6]))
    if problems:
        fail("code: " + "; ".join(problems))
    else:
        ok("%d code words decode as ARMv4T ARM instructions (%d of them multiplies, which"
           " LLVM reads only as ARMv6); the other %d words are literals"
           % (len(arm), multiplies, (size - 4 * len(arm)) // 4))


def check_forwarders(pe, base, wanted, symbols, intercepts):
    table = symbols.get("ForwardTable")
    if table is None:
        fail("forwarders: no ForwardTable symbol")
        return
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    exports = {s.ordinal: s.address for s in directory.symbols} if directory else {}
    problems, shown = [], None
    forwarders = {o: n for o, n in wanted.items() if n not in intercepts}
    for ordinal, name in sorted(forwarders.items()):
        rva = exports.get(ordinal)
        if rva is None:
            problems.append("%s missing" % name)
            continue
        texts = disassemble([word(pe, rva + 4 * i) for i in range(3)], "armv4t")
        words = [re.split(r"[\s,\[\]#]+", t.replace("ip", "r12")) if t else [] for t in texts]
        words = [[w for w in ws if w] for ws in words]
        verdict = None
        try:
            (op1, reg, pc, literal), (op2, reg2, base_reg, *offset), (op3, target) = words
            offset = int(offset[0], 0) if offset else 0
            address = word(pe, rva + 8 + int(literal, 0))
            if (op1, pc, op2, base_reg, op3) != ("ldr", "pc", "ldr", reg, "bx") or reg2 != target:
                verdict = "not literal, load, bx: " + " | ".join(texts)
            elif address != table:
                verdict = "loads the table from 0x%X, not ForwardTable 0x%X" % (address, table)
            elif offset != 4 * (ordinal - 1):
                verdict = "loads entry offset %d, not %d" % (offset, 4 * (ordinal - 1))
        except (ValueError, TypeError):
            verdict = "not literal, load, bx: " + " | ".join(str(t) for t in texts)
        if verdict:
            problems.append("@%d %s %s" % (ordinal, name, verdict))
        elif shown is None:
            shown = "%s: %s" % (name, " ; ".join(texts))
    if problems:
        fail("forwarders: " + "; ".join(problems))
    else:
        ok("%d forwarders: ForwardTable's address from a literal, one load of their entry, bx"
           % len(forwarders))
        note(shown)


DIR_RESOURCE = 2


def check_version_resource(pe, version, def_file):
    """The version resource carries the project version, in a resource
    section the loader keeps whole: read-only data, never discarded, every
    byte in the file."""
    with open(def_file) as f:
        library = next((l.split()[1] for l in f if re.match(r"\s*LIBRARY\s+\S", l)), "")
    problems = version_problems(pe, version, library + ".dll")
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIR_RESOURCE]
    s = section_of(pe, directory.VirtualAddress) if directory.VirtualAddress else None
    if s is None:
        problems.append("data directory 2 leads to no section")
    else:
        name = s.Name.rstrip(b"\0").decode(errors="replace")
        c = s.Characteristics
        if c & (SCN_MEM_WRITE | SCN_MEM_EXECUTE | SCN_MEM_DISCARDABLE) or not c & SCN_MEM_READ \
                or not c & SCN_CNT_INITIALIZED_DATA:
            problems.append("%s has characteristics 0x%08X, not read-only data kept" % (name, c))
        if s.SizeOfRawData < s.Misc_VirtualSize:
            problems.append("%s has %d bytes in the file for %d in memory"
                            % (name, s.SizeOfRawData, s.Misc_VirtualSize))
    if problems:
        fail("version resource: " + "; ".join(problems))
    else:
        ok("version resource %s (%s.dll) in read-only data the loader keeps" % (version, library))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--dll", required=True)
    p.add_argument("--moved", required=True, help="the same objects linked at another base")
    p.add_argument("--elf", required=True, help="the linker's image behind --dll")
    p.add_argument("--def", dest="def_file", required=True)
    p.add_argument("--coredll", required=True)
    p.add_argument("--base", type=lambda v: int(v, 0), default=0x10000000)
    p.add_argument("--forwarders-except", default=None,
                   help="comma-separated exports that are not forwarders; unset: no forwarder check")
    p.add_argument("--version", default=None,
                   help="the project version of the DLL's version resource; unset: not checked")
    a = p.parse_args()
    try:
        pe = pefile.PE(a.dll)
        moved = pefile.PE(a.moved)
    except (OSError, pefile.PEFormatError) as e:
        print("FAIL  not a PE file: %s" % e)
        return 1
    wanted = read_def(a.def_file)
    symbols, mapping = elf_symbols(a.elf)
    base = pe.OPTIONAL_HEADER.ImageBase

    check_headers(pe, a.base)
    check_loader_rules(pe)
    check_sections(pe)
    check_imports(pe, read_list(a.coredll))
    check_exports(pe, base, wanted, symbols)
    check_entry(pe, base, symbols)
    start, size = check_code_is_the_linkers(pe, a.elf, base)
    check_instructions(pe, mapping, base, start, size, relocated_rvas(pe))
    if a.forwarders_except is not None:
        check_forwarders(pe, base, wanted, symbols, set(a.forwarders_except.split(",")))
    if a.version is not None:
        check_version_resource(pe, a.version, a.def_file)
    check_relocations(pe, moved)  # last: it relocates pe in memory
    note("%s: %d bytes" % (a.dll.rsplit("/", 1)[-1], len(pe.__data__)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
