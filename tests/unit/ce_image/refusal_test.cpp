// Every ELF the writer cannot represent is refused with a message naming the
// symbol, section or relocation. Each case breaks the small DLL in one way.
#include "ce_test_support.h"

#include "loader_rules.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{

const uint32_t kBase = 0x10000000;

struct Refusal {
    const char *what;
    std::function<void(SynthElf &)> change;
    const char *expected; // part of the message
    const char *def = kSmallDef;
};

uint32_t attributes_section(SynthElf &e)
{
    return e.section(".ARM.attributes");
}

const Refusal kRefusals[] = {
    {"64-bit ELF", [](SynthElf &e) { e.elf_class = 2; }, "not a 32-bit little-endian"},
    {"big-endian ELF", [](SynthElf &e) { e.data = 2; }, "not a 32-bit little-endian"},
    {"x86 ELF", [](SynthElf &e) { e.machine = 3; }, "machine 3 is not ARM"},
    {"relocatable object", [](SynthElf &e) { e.type = 1; }, "not a linked executable"},
    {"undefined coredll name", [](SynthElf &e) { e.add_symbol("GetTickCount", 0, 1, 2, 0); },
     "undefined symbol GetTickCount: a coredll.dll export"},
    {"undefined other name", [](SynthElf &e) { e.add_symbol("printf_s", 0, 1, 2, 0); },
     "undefined symbol printf_s: not defined in the DLL nor exported by coredll.dll"},
    {"MOVW relocation", [](SynthElf &e) { e.rel(e.section(".text"), 0x10, 43, e.symbol("CeAdd")); },
     "relocation R_ARM_MOVW_ABS_NC at 0x10001010 in .text against CeAdd: not supported"},
    {"Thumb call", [](SynthElf &e) { e.rel(e.section(".text"), 0x10, 10, e.symbol("Sleep")); },
     "R_ARM_THM_CALL at 0x10001010 in .text against Sleep"},
    {"GOT relocation", [](SynthElf &e) { e.rel(e.section(".rdata"), 4, 96, e.symbol("CeAdd")); },
     "R_ARM_GOT_PREL at 0x10002004 in .rdata"},
    {"unknown relocation type",
     [](SynthElf &e) { e.rel(e.section(".text"), 0x10, 200, e.symbol("CeAdd")); },
     "relocation type 200 at 0x10001010"},
    {"call to a fixed address",
     [](SynthElf &e) {
         uint32_t rom = e.add_symbol("RomEntry", 0x8000, 1, 2, 0xFFF1);
         e.rel(e.section(".text"), 0x10, 28, rom);
     },
     "R_ARM_CALL at 0x10001010 in .text against RomEntry: PC-relative to a fixed address"},
    {"ABS32 in zero-filled data",
     [](SynthElf &e) { e.rel(e.section(".bss"), 0x10, 2, e.symbol("CeAdd")); },
     "R_ARM_ABS32 at 0x10004010 in .bss against CeAdd: lies in zero-filled data"},
    {"ABS32 across a page",
     [](SynthElf &e) {
         e.sections[e.section(".data")].bytes.resize(0x1008);
         e.sections[e.section(".bss")].addr = kBase + 0x5000;
         e.rel(e.section(".data"), 0xFFE, 2, e.symbol("CeAdd"));
     },
     "R_ARM_ABS32 at 0x10003ffe in .data against CeAdd: the word crosses a 4 KiB page"},
    {"ABS32 past its section",
     [](SynthElf &e) { e.rel(e.section(".rdata"), 6, 2, e.symbol("CeAdd")); },
     "R_ARM_ABS32 at 0x10002006 in .rdata against CeAdd: lies outside its section"},
    {"TLS section", [](SynthElf &e) { e.add_section(".tdata", 1, 0x403, kBase + 0x5000, 4); },
     "section .tdata: thread-local storage"},
    {"TLS symbol", [](SynthElf &e) { e.add_symbol("tls_counter", 0, 1, 6, 3); },
     "symbol tls_counter: thread-local storage"},
    {"static constructors",
     [](SynthElf &e) { e.add_section(".init_array", 14, 0x3, kBase + 0x5000, 4); },
     "section .init_array: static constructors or destructors (4 bytes)"},
    {".ctors", [](SynthElf &e) { e.add_section(".ctors", 1, 0x3, kBase + 0x5000, 8); },
     "section .ctors: static constructors"},
    {"overlapping sections",
     [](SynthElf &e) { e.add_section(".rodata2", 1, 0x2, kBase + 0x1000, 4); }, "overlaps"},
    {"section in the headers' page",
     [](SynthElf &e) { e.sections[e.section(".text")].addr = kBase + 0x800; },
     "section .text at 0x10000800 lies below __ImageBase + 0x1000 (0x10001000)"},
    {"section below the base", [](SynthElf &e) { e.sections[e.section(".text")].addr = 0x1000; },
     "lies below __ImageBase"},
    {"gap between sections",
     [](SynthElf &e) { e.sections[e.section(".bss")].addr = kBase + 0x6000; },
     "section .bss at 0x10006000 leaves a gap after .data"},
    {"section not on a page",
     [](SynthElf &e) { e.sections[e.section(".rdata")].addr = kBase + 0x2010; },
     "section .rdata at 0x10002010 does not start on a 4 KiB page"},
    {"section past 2 GiB",
     [](SynthElf &e) { e.sections[e.section(".bss")].nobits_size = 0x7FFFD000; },
     "section .bss at 0x10004000 (0x7fffd000 bytes) does not fit"},
    {"import slot of a name coredll lacks",
     [](SynthElf &e) { e.symbols[e.symbol("__imp_Sleep")].name = "__imp_SleepEx"; },
     "import slot __imp_SleepEx: SleepEx is not exported by coredll.dll"},
    {"import slots apart",
     [](SynthElf &e) {
         uint32_t data = e.section(".data");
         e.sections[data].bytes.resize(20);
         e.add_symbol("__imp_GetTickCount", kBase + 0x300C, 1, 1, (uint16_t)data, 4);
     },
     "__imp_Sleep (0x10003004) and __imp_GetTickCount (0x1000300c) are not adjacent"},
    {"import table without end word",
     [](SynthElf &e) { e.put32(e.section(".data"), 8, 0xDEADBEEF); },
     "no zero word after __imp_Sleep at 0x10003008"},
    {"import table ending with its section",
     [](SynthElf &e) { e.sections[e.section(".data")].bytes.resize(8); },
     "__imp_Sleep to the word after __imp_Sleep does not lie in one data section"},
    {"import slot in read-only data",
     [](SynthElf &e) {
         e.symbols[e.symbol("__imp_Sleep")].value = kBase + 0x2004;
         e.symbols[e.symbol("__imp_Sleep")].shndx = (uint16_t)e.section(".rdata");
     },
     "import slot __imp_Sleep at 0x10002004 does not lie in writable data"},
    {".def name missing from the ELF", [](SynthElf &) {},
     "export @2: symbol CeMissing: not defined in the ELF", "EXPORTS\n CeAdd @1\n CeMissing @2\n"},
    {".def name is data", [](SynthElf &e) { e.add_symbol("CeTable", kBase + 0x3000, 1, 1, 3, 4); },
     "export @2: symbol CeTable: not a global function", "EXPORTS\n CeAdd @1\n CeTable @2\n"},
    {"no DllMain", [](SynthElf &e) { e.symbols[e.symbol("DllMain")].name = "DllEntry"; },
     "symbol DllMain: not defined"},
    {"no __ImageBase", [](SynthElf &e) { e.symbols[e.symbol("__ImageBase")].name = "base"; },
     "symbol __ImageBase: missing or not absolute"},
    {"ARMv5TE code",
     [](SynthElf &e) { e.sections[attributes_section(e)].bytes = arm_attributes(4, 1, 2, 2); },
     "Tag_CPU_arch v5TE (4) is later than v4T"},
    {"ARMv7 code",
     [](SynthElf &e) { e.sections[attributes_section(e)].bytes = arm_attributes(10, 1, 2, 2); },
     "Tag_CPU_arch v7 (10)"},
    {"Thumb-2 code",
     [](SynthElf &e) { e.sections[attributes_section(e)].bytes = arm_attributes(2, 2, 2, 2); },
     "Tag_THUMB_ISA_use 2 allows Thumb-2"},
    {"4-byte wchar_t",
     [](SynthElf &e) { e.sections[attributes_section(e)].bytes = arm_attributes(2, 1, 4, 2); },
     "Tag_ABI_PCS_wchar_t 4"},
    {"short enums",
     [](SynthElf &e) { e.sections[attributes_section(e)].bytes = arm_attributes(2, 1, 2, 1); },
     "Tag_ABI_enum_size smallest"},
    {"no build attributes", [](SynthElf &e) { e.sections[attributes_section(e)].type = 1; },
     "no .ARM.attributes"},
    {"truncated build attributes",
     [](SynthElf &e) { e.sections[attributes_section(e)].bytes.resize(12); },
     ".ARM.attributes: subsection of length"},
    {"ARM-to-Thumb veneer",
     [](SynthElf &e) { e.add_symbol("__CeAdd_from_arm", kBase + 0x1030, 0, 2, 1, 12); },
     "linker veneer __CeAdd_from_arm at 0x10001030"},
    {"ABS32 against a debug section",
     [](SynthElf &e) {
         uint32_t info = e.add_section(".debug_info", 1, 0, 0, 16);
         uint32_t sym = e.add_symbol("", 0, 0, 3, (uint16_t)info);
         e.rel(e.section(".rdata"), 4, 2, sym);
     },
     "R_ARM_ABS32 at 0x10002004 in .rdata against .debug_info: symbol is not in the image"},
    {"relocation naming a missing symbol",
     [](SynthElf &e) { e.rel(e.section(".text"), 0x10, 2, 999); },
     "relocation 3 names symbol 999, out of range"},
};

TEST(CeImageRefusal, EachFaultIsNamed)
{
    std::string error;
    ASSERT_FALSE(write_dll(small_dll().bytes(), kSmallDef, &error).empty()) << error;
    for (const Refusal &r : kRefusals) {
        SCOPED_TRACE(r.what);
        SynthElf elf = small_dll();
        r.change(elf);
        error.clear();
        std::vector<uint8_t> dll = write_dll(elf.bytes(), r.def, &error);
        EXPECT_TRUE(dll.empty());
        EXPECT_NE(error.find(r.expected), std::string::npos) << "message: " << error;
    }
}

// A compiled resource script is hostile input like the ELF: each record's
// lengths are checked against the bytes that hold them.
struct ResRefusal {
    const char *what;
    std::function<void(std::vector<uint8_t> &)> change; // of a .res with one record at 0x20
    const char *expected;
};

const ResRefusal kResRefusals[] = {
    {"16-bit .res without the empty record",
     [](std::vector<uint8_t> &r) { r.erase(r.begin(), r.begin() + 32); }, "not a 32-bit resource"},
    {"no resources", [](std::vector<uint8_t> &r) { r.resize(32); }, "holds no resources"},
    {"record cut short", [](std::vector<uint8_t> &r) { r.resize(36); }, "record at 0x20: cut"},
    {"data past the end", [](std::vector<uint8_t> &r) { put_le(r, 0x20, 0xFFFFFFF0, 4); },
     "record at 0x20: header of 32 and data of 4294967280 bytes run past the end"},
    {"header past the end", [](std::vector<uint8_t> &r) { put_le(r, 0x24, 0x7FFFFFFC, 4); },
     "run past the end"},
    {"header too small", [](std::vector<uint8_t> &r) { put_le(r, 0x24, 8, 4); }, "header size 8"},
    {"header larger than its fields",
     [](std::vector<uint8_t> &r) {
         put_le(r, 0x24, 36, 4);
         put_le(r, 0x20, 0, 4);
     },
     "header size 36 does not match its fields (32)"},
    {"type number 0", [](std::vector<uint8_t> &r) { put_le(r, 0x2A, 0, 2); }, "type number 0"},
    {"unterminated name",
     [](std::vector<uint8_t> &r) {
         put_le(r, 0x2C, 'A', 2);
         put_le(r, 0x2E, 'B', 2);
     },
     "name runs past the header"},
    {"empty name",
     [](std::vector<uint8_t> &r) {
         r = synth_res({{"#16", "", 0, {1}}});
     },
     "record at 0x20: empty name"},
    {"the same resource twice",
     [](std::vector<uint8_t> &r) {
         r = synth_res({{"#16", "VER", 0x407, {1}}, {"#16", "VER", 0x407, {2}}});
     },
     "resource type 16 name VER language 0x0407 appears twice"},
    {"a section over 16 MiB",
     [](std::vector<uint8_t> &r) {
         r = synth_res({{"#10", "#1", 0, std::vector<uint8_t>(16u << 20)}});
     },
     "would exceed 16 MiB"},
};

TEST(CeImageRefusal, EachResourceFaultIsNamed)
{
    const std::vector<uint8_t> good = synth_res({{"#16", "#1", 0x0407, {1, 2, 3, 4}}});
    std::vector<uint8_t> elf = small_dll().bytes();
    std::string error;
    ASSERT_FALSE(write_dll(elf, kSmallDef, &error, kSmallCoredll, "small.dll", &good).empty())
        << error;
    for (const ResRefusal &r : kResRefusals) {
        SCOPED_TRACE(r.what);
        std::vector<uint8_t> res = good;
        r.change(res);
        error.clear();
        EXPECT_TRUE(write_dll(elf, kSmallDef, &error, kSmallCoredll, "small.dll", &res).empty());
        EXPECT_NE(error.find(r.expected), std::string::npos) << "message: " << error;
    }
    // Cut anywhere, a .res is refused or read whole, never read past its end.
    std::vector<uint8_t> two = synth_res({{"ICON", "MAIN", 0, {9}}, {"#16", "#1", 0, {1, 2}}});
    for (size_t cut = 0; cut < two.size(); cut++) {
        std::vector<uint8_t> head(two.begin(), two.begin() + cut);
        error.clear();
        if (write_dll(elf, kSmallDef, &error, kSmallCoredll, "small.dll", &head).empty()) {
            EXPECT_FALSE(error.empty()) << "cut at " << cut;
        }
    }
}

// Offsets and counts in the file are checked before use: cut or corrupted
// headers end in a message, never in a read outside the buffer.
TEST(CeImageRefusal, DamagedFilesAreRefused)
{
    std::vector<uint8_t> good = small_dll().bytes();
    for (size_t cut = 0; cut < good.size(); cut += 5) {
        std::vector<uint8_t> head(good.begin(), good.begin() + cut);
        std::string error;
        EXPECT_TRUE(write_dll(head, kSmallDef, &error).empty()) << "cut at " << cut;
        EXPECT_FALSE(error.empty()) << "cut at " << cut;
    }
    // Every offset, size, link and info field of every section header set to
    // a value far out of range: refused or not, nothing is read outside the
    // buffer (the sanitizer builds prove it).
    uint32_t shoff = get_le(good, 32, 4);
    uint32_t count = get_le(good, 48, 2);
    for (uint32_t i = 0; i < count; i++) {
        for (uint32_t field : {16u, 20u, 24u, 28u, 36u}) {
            std::vector<uint8_t> bad = good;
            put_le(bad, shoff + 40 * i + field, 0xFFFFFFF0, 4);
            std::string error;
            if (write_dll(bad, kSmallDef, &error).empty()) {
                EXPECT_FALSE(error.empty()) << "section " << i << " field " << field;
            }
        }
    }
    struct Patch {
        uint32_t offset, value;
        const char *expected;
    } patches[] = {
        {32, 0xFFFFFF00, "section headers lie outside"},
        {48, 0, "section headers missing"},
        {50, 1, "not a terminated string table"},
    };
    for (const Patch &p : patches) {
        std::vector<uint8_t> bad = good;
        put_le(bad, p.offset, p.value, p.offset >= 40 ? 2 : 4);
        std::string error;
        EXPECT_TRUE(write_dll(bad, kSmallDef, &error).empty());
        EXPECT_NE(error.find(p.expected), std::string::npos) << "message: " << error;
    }
}

// What CE's loader demands of the file beyond the PE format, checked on every
// image the writer makes: each case breaks the small DLL's image in one way.
struct Broken {
    const char *what;
    void (*change)(PeView &pe);
    const char *expected; // part of the message
};

// Offset of a field of section header `index`.
uint32_t section_field(const PeView &pe, uint32_t index, uint32_t field)
{
    return pe.optional + 224 + 40 * index + field;
}

const uint32_t kDiscardable = 0x02000000, kWritable = 0x80000000;

const Broken kBroken[] = {
    {"optional header of 0xF0 bytes", [](PeView &pe) { put_le(pe.file, pe.optional - 4, 0xF0, 2); },
     "optional header: 0xf0 bytes, magic 0x10b, 16 directories"},
    {"15 directories", [](PeView &pe) { put_le(pe.file, pe.optional + 92, 15, 4); },
     "optional header: 0xe0 bytes, magic 0x10b, 15 directories"},
    {"subsystem version 5.00",
     [](PeView &pe) {
         put_le(pe.file, pe.optional + 48, 5, 2);
         put_le(pe.file, pe.optional + 50, 0, 2);
     },
     "subsystem version 5.00: Windows CE 4.20 would not load it"},
    {"read-only data past its file bytes",
     [](PeView &pe) { put_le(pe.file, section_field(pe, 1, 8), 0x204, 4); },
     "section .rdata: read-only, 0x204 bytes in memory but 0x200 in the file"},
    {"discardable data",
     [](PeView &pe) { put_le(pe.file, section_field(pe, 2, 36), 0xC0000040 | kDiscardable, 4); },
     "section .data: discardable, but holds more than the base relocations"},
    {"import descriptor without a lookup table",
     [](PeView &pe) { put_le(pe.file, pe.offset_of(pe.dir_rva(1)), 0, 4); },
     "import descriptor 0: no lookup table (OriginalFirstThunk)"},
    {"import slots in read-only data",
     [](PeView &pe) { put_le(pe.file, section_field(pe, 2, 36), 0xC0000040 & ~kWritable, 4); },
     "import slot at 0x3004: not in a writable section (.data)"},
    {"relocation block off a page",
     [](PeView &pe) { put_le(pe.file, pe.offset_of(pe.dir_rva(5)), 0x1008, 4); },
     "relocation block for 0x1008: not on a page boundary"},
    {"second relocation block for a page",
     [](PeView &pe) { put_le(pe.file, pe.offset_of(pe.dir_rva(5) + 12), 0x1000, 4); },
     "relocation block for 0x1000 after the one for 0x1000"},
    {"relocation across a page",
     [](PeView &pe) { put_le(pe.file, pe.offset_of(pe.dir_rva(5) + 8), 0x3FFE, 2); },
     "relocation at 0x1ffe: the word reaches into the next page"},
};

TEST(CeImageRefusal, ImagesCeWouldRefuseAreNamed)
{
    std::string error;
    std::vector<uint8_t> good = write_dll(small_dll().bytes(), kSmallDef, &error);
    ASSERT_FALSE(good.empty()) << error;
    Diag d;
    ASSERT_TRUE(LoaderRulesCheck(good.data(), (uint32_t)good.size(), &d)) << d.text;
    for (const Broken &b : kBroken) {
        SCOPED_TRACE(b.what);
        PeView pe(good);
        b.change(pe);
        d.text[0] = 0;
        EXPECT_FALSE(LoaderRulesCheck(pe.file.data(), (uint32_t)pe.file.size(), &d));
        EXPECT_NE(std::string(d.text).find(b.expected), std::string::npos) << "message: " << d.text;
    }
}

} // namespace
