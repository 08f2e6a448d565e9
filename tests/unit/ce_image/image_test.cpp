// What the writer makes of the small DLL: headers, sections, exports,
// imports and base relocations, read back with the tests' own PE reader.
#include "ce_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace
{

PeView small_image(const SynthElf &elf = small_dll())
{
    std::string error;
    std::vector<uint8_t> dll = write_dll(elf.bytes(), kSmallDef, &error);
    EXPECT_FALSE(dll.empty()) << error;
    return PeView(dll);
}

TEST(CeImage, HeadersAreThoseACeLoaderExpects)
{
    PeView pe = small_image();
    ASSERT_FALSE(pe.sections.empty());
    uint32_t file_header = pe.optional - 20;
    EXPECT_EQ(0x5A4Du, pe.u16(0));
    EXPECT_EQ(0x00004550u, pe.u32(file_header - 4));
    EXPECT_EQ(0x01C0u, pe.u16(file_header)) << "machine ARM";
    EXPECT_EQ(0u, pe.u32(file_header + 4)) << "TimeDateStamp";
    EXPECT_EQ(0x2102u, pe.u16(file_header + 18)) << "executable, 32-bit, DLL, relocatable";
    EXPECT_EQ(0x010Bu, pe.opt16(0)) << "PE32";
    struct Field {
        const char *name;
        uint32_t offset, expected;
    } fields[] = {
        {"SizeOfCode", 4, 0x200},
        {"SizeOfInitializedData", 8, 0xA00}, // .rdata .data .edata .idata .reloc
        {"SizeOfUninitializedData", 12, 0x200},
        {"AddressOfEntryPoint", 16, 0x1000},
        {"BaseOfCode", 20, 0x1000},
        {"BaseOfData", 24, 0x2000},
        {"ImageBase", 28, 0x10000000},
        {"SectionAlignment", 32, 0x1000},
        {"FileAlignment", 36, 0x200},
        {"SizeOfImage", 56, 0x8000},
        {"SizeOfHeaders", 60, 0x400},
        {"NumberOfRvaAndSizes", 92, 16},
    };
    for (const Field &f : fields)
        EXPECT_EQ(f.expected, pe.opt32(f.offset)) << f.name;
    EXPECT_EQ(4u, pe.opt16(40)) << "OS version";
    EXPECT_EQ(20u, pe.opt16(42));
    EXPECT_EQ(4u, pe.opt16(48)) << "subsystem version";
    EXPECT_EQ(20u, pe.opt16(50));
    EXPECT_EQ(9u, pe.opt16(68)) << "Windows CE GUI";
    EXPECT_EQ(reference_checksum(pe.file), pe.opt32(64)) << "checksum";
}

TEST(CeImage, SectionsFollowEachOtherWithTheirFlags)
{
    PeView pe = small_image();
    struct Expected {
        const char *name;
        uint32_t rva, virtual_size, flags;
    } expected[] = {
        {".text", 0x1000, 0x40, 0x60000020}, {".rdata", 0x2000, 8, 0x40000040},
        {".data", 0x3000, 12, 0xC0000040},   {".bss", 0x4000, 0x100, 0xC0000080},
        {".edata", 0x5000, 0, 0x40000040},   {".idata", 0x6000, 0, 0xC0000040},
        {".reloc", 0x7000, 24, 0x42000040},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], pe.sections.size());
    uint32_t file_offset = 0x400;
    for (size_t i = 0; i < pe.sections.size(); i++) {
        const PeSection &s = pe.sections[i];
        SCOPED_TRACE(s.name);
        EXPECT_EQ(expected[i].name, s.name);
        EXPECT_EQ(expected[i].rva, s.rva);
        EXPECT_EQ(expected[i].flags, s.flags);
        if (expected[i].virtual_size) {
            EXPECT_EQ(expected[i].virtual_size, s.virtual_size);
        }
        if (s.name == ".bss") {
            EXPECT_EQ(0u, s.raw_size) << "zero-filled data has no file bytes";
            EXPECT_EQ(0u, s.raw_offset);
            continue;
        }
        EXPECT_EQ(file_offset, s.raw_offset);
        EXPECT_EQ((s.virtual_size + 0x1FF) & ~0x1FFu, s.raw_size);
        file_offset += s.raw_size;
    }
    EXPECT_EQ(file_offset, pe.file.size());
}

TEST(CeImage, ExportsSitAtTheirOrdinalsWithNamesSorted)
{
    PeView pe = small_image();
    uint32_t base = 0;
    std::vector<std::string> by_ordinal = pe.exports_by_ordinal(&base);
    EXPECT_EQ(1u, base);
    EXPECT_EQ((std::vector<std::string>{"CeAdd", "", "CeSub"}), by_ordinal);
    EXPECT_EQ((std::vector<uint32_t>{0x1008, 0, 0x1010}), pe.export_rvas());
    EXPECT_EQ((std::vector<std::string>{"CeAdd", "CeSub"}), pe.export_names());
    EXPECT_EQ("small.dll", pe.string_at(pe.at32(pe.dir_rva(0) + 12)));
}

TEST(CeImage, ImportsNameCoredllAndTheSlotsAreTheAddressTable)
{
    PeView pe = small_image();
    std::string dll;
    EXPECT_EQ((std::vector<std::string>{"Sleep"}), pe.import_names(&dll));
    EXPECT_EQ("COREDLL.dll", dll);
    EXPECT_EQ(0x3004u, pe.dir_rva(12)) << "IAT directory";
    EXPECT_EQ(8u, pe.dir_size(12));
    uint32_t descriptor = pe.dir_rva(1);
    EXPECT_EQ(0x3004u, pe.at32(descriptor + 16)) << "FirstThunk";
    EXPECT_EQ(pe.at32(pe.at32(descriptor)), pe.at32(0x3004)) << "IAT word as the lookup table's";
    EXPECT_EQ(0u, pe.at32(0x3008)) << "end of the IAT";
    EXPECT_EQ(0u, pe.at32(descriptor + 20)) << "the descriptor list ends";
}

TEST(CeImage, BaseRelocationsCoverEveryAddressInTheImage)
{
    SynthElf elf = small_dll();
    uint32_t rdata = elf.section(".rdata");
    uint32_t data = elf.section(".data");
    elf.rel(data, 0, 2, elf.symbol("__ImageBase")); // the image's own address moves too
    uint32_t fixed = elf.add_symbol("FixedPort", 0xF0000000, 1, 0, 0xFFF1);
    elf.rel(rdata, 4, 2, fixed); // an absolute address stays
    uint32_t debug = elf.add_section(".debug_info", 1, 0, 0, 8);
    elf.rel(debug, 0, 2, elf.symbol("CeAdd")); // never loaded
    PeView pe = small_image(elf);
    EXPECT_EQ((std::vector<uint32_t>{0x102C, 0x2000, 0x3000}), pe.relocations());
    // One block per page, each padded to 4 bytes by an ABSOLUTE entry.
    EXPECT_EQ(3u * 12, pe.dir_size(5));
    EXPECT_EQ(0u, pe.u16(pe.offset_of(pe.dir_rva(5) + 10)));
}

std::vector<uint8_t> bytes(const char *text)
{
    return std::vector<uint8_t>(text, text + strlen(text));
}

// The loader searches each level of the tree by halves: named entries first,
// names in UTF-16 order, numbers ascending, whatever the .res order was.
TEST(CeImage, ResourcesLieInASortedTreeTheLoaderKeeps)
{
    std::vector<SynthResource> listed = {
        {"#16", "#1", 0x0407, bytes("version")},
        {"#10", "ZETA", 0x0409, bytes("z")},
        {"#10", "#2", 0, bytes("two")},
        {"#10", "ALPHA", 0x0409, bytes("a-en")},
        {"ICONS", "#3", 0, bytes("")},
        {"#10", "ALPHA", 0x0407, bytes("a-de")},
        {"#10", "ALPH", 0x0407, bytes("prefix")},
    };
    std::vector<uint8_t> res = synth_res(listed);
    std::string error;
    PeView pe(write_dll(small_dll().bytes(), kSmallDef, &error, kSmallCoredll, "small.dll", &res));
    ASSERT_FALSE(pe.file.empty()) << error;
    EXPECT_EQ(
        (std::vector<std::string>{"ICONS/#3/0000=", "#10/ALPH/0407=prefix", "#10/ALPHA/0407=a-de",
                                  "#10/ALPHA/0409=a-en", "#10/ZETA/0409=z", "#10/#2/0000=two",
                                  "#16/#1/0407=version"}),
        pe.resources());
    ASSERT_EQ(8u, pe.sections.size());
    const PeSection &rsrc = pe.sections[6];
    EXPECT_EQ(".rsrc", rsrc.name);
    EXPECT_EQ(0x7000u, rsrc.rva) << "after .idata, before .reloc";
    EXPECT_EQ(0x40000040u, rsrc.flags) << "read-only initialised data, never discardable";
    EXPECT_GE(rsrc.raw_size, rsrc.virtual_size) << "every byte in the file";
    EXPECT_EQ(rsrc.rva, pe.dir_rva(2));
    EXPECT_EQ(rsrc.virtual_size, pe.dir_size(2));
    EXPECT_EQ(0x8000u, pe.sections[7].rva);
    EXPECT_EQ(0x9000u, pe.opt32(56)) << "SizeOfImage";
    EXPECT_EQ(reference_checksum(pe.file), pe.opt32(64));

    std::reverse(listed.begin(), listed.end());
    std::vector<uint8_t> reversed = synth_res(listed);
    EXPECT_EQ(pe.file, write_dll(small_dll().bytes(), kSmallDef, &error, kSmallCoredll, "small.dll",
                                 &reversed));
}

TEST(CeImage, OutputDependsOnTheInputAlone)
{
    std::string error;
    std::vector<uint8_t> elf = small_dll().bytes();
    EXPECT_EQ(write_dll(elf, kSmallDef, &error), write_dll(elf, kSmallDef, &error));
}

} // namespace
