// Test helpers for kvz_ce_image: an ARM ELF image built in memory (a small
// DLL that the cases change one fault at a time) and a minimal PE reader to
// look at what the writer made.
#ifndef KVZ_TESTS_CE_TEST_SUPPORT_H
#define KVZ_TESTS_CE_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

// ---- Little-endian words in a byte vector ----
void put_le(std::vector<uint8_t> &v, uint32_t offset, uint32_t value, int width);
uint32_t get_le(const std::vector<uint8_t> &v, uint32_t offset, int width);

// ---- A linked ELF image, built in memory ----
struct SynthSection {
    std::string name;
    uint32_t type, flags, addr;
    std::vector<uint8_t> bytes;
    uint32_t nobits_size = 0; // the size of a SHT_NOBITS section, which has no bytes
};

struct SynthSymbol {
    std::string name;
    uint32_t value, size;
    uint8_t bind, type;
    uint16_t shndx;
};

struct SynthRel {
    uint32_t section, offset, type, symbol;
};

struct SynthElf {
    uint8_t elf_class = 1, data = 1; // 32-bit, little-endian
    uint16_t type = 2, machine = 40; // ET_EXEC, EM_ARM
    std::vector<SynthSection> sections{{"", 0, 0, 0, {}, 0}};
    std::vector<SynthSymbol> symbols{{"", 0, 0, 0, 0, 0}};
    std::vector<SynthRel> rels;

    uint32_t add_section(const std::string &name, uint32_t type, uint32_t flags, uint32_t addr,
                         uint32_t size);
    uint32_t add_symbol(const std::string &name, uint32_t value, uint8_t bind, uint8_t type,
                        uint16_t shndx, uint32_t size = 0);
    uint32_t section(const std::string &name) const; // index, 0 when absent
    uint32_t symbol(const std::string &name) const;
    void put32(uint32_t section_index, uint32_t offset, uint32_t value);
    void rel(uint32_t section_index, uint32_t offset, uint32_t type, uint32_t symbol_index);
    std::vector<uint8_t> bytes() const;
};

// Build attributes as GCC writes them: Tag_CPU_arch, Tag_THUMB_ISA_use,
// Tag_ABI_PCS_wchar_t, Tag_ABI_enum_size.
std::vector<uint8_t> arm_attributes(uint32_t cpu_arch, uint32_t thumb, uint32_t wchar_size,
                                    uint32_t enum_size);

// The small DLL at 0x10000000: .text with DllMain, CeAdd, CeSub and the
// thunk Sleep (its literal an ABS32 to __imp_Sleep); .rdata holding a code
// address; .data with a counter, the slot __imp_Sleep and the zero word;
// .bss of 0x100 bytes.
SynthElf small_dll();
extern const char kSmallDef[];     // CeAdd @1, CeSub @3
extern const char kSmallCoredll[]; // Sleep, GetTickCount

// ---- A compiled resource script (.res), built in memory ----
struct SynthResource {
    std::string type, name; // "#16" is the number 16, anything else a name
    uint16_t language;
    std::vector<uint8_t> data;
};

// The 32-bit .res format: the empty first record, then one record each.
std::vector<uint8_t> synth_res(const std::vector<SynthResource> &resources);

// Runs the writer's core on the image, with the resources of res when it is
// not null; empty result and *error on refusal.
std::vector<uint8_t> write_dll(const std::vector<uint8_t> &elf, const char *def, std::string *error,
                               const char *coredll = kSmallCoredll,
                               const char *dll_name = "small.dll",
                               const std::vector<uint8_t> *res = nullptr);

// ---- Reading a PE image ----
struct PeSection {
    std::string name;
    uint32_t virtual_size, rva, raw_size, raw_offset, flags;
};

struct PeView {
    std::vector<uint8_t> file;
    uint32_t optional = 0; // offset of the optional header
    std::vector<PeSection> sections;

    explicit PeView(std::vector<uint8_t> bytes);
    uint16_t u16(uint32_t offset) const;
    uint32_t u32(uint32_t offset) const;
    uint32_t opt32(uint32_t field) const { return u32(optional + field); }
    uint16_t opt16(uint32_t field) const { return u16(optional + field); }
    uint32_t dir_rva(uint32_t index) const { return opt32(96 + 8 * index); }
    uint32_t dir_size(uint32_t index) const { return opt32(100 + 8 * index); }
    // File offset of an RVA that has file bytes, or UINT32_MAX.
    uint32_t offset_of(uint32_t rva) const;
    uint32_t at32(uint32_t rva) const { return u32(offset_of(rva)); }
    std::string string_at(uint32_t rva) const;
    std::vector<uint8_t> memory_image() const; // SizeOfImage bytes as loaded, not relocated

    std::vector<std::string> exports_by_ordinal(uint32_t *base) const; // "" for a hole
    std::vector<uint32_t> export_rvas() const;
    std::vector<std::string> export_names() const; // name pointer table order
    std::vector<std::string> import_names(std::string *dll) const;
    std::vector<uint32_t> relocations() const; // HIGHLOW RVAs, in table order
    // "type/name/language=data" per resource, in the tree's order: names as
    // text, numbers as "#N", the language in hex.
    std::vector<std::string> resources() const;
};

// The PE checksum computed independently of the writer.
uint32_t reference_checksum(const std::vector<uint8_t> &file);

#endif
