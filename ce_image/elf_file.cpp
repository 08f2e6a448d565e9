#include "elf_file.h"

#include "elf_arm.h"

#include <cstdlib>
#include <cstring>

static bool fits(size_t size, uint64_t offset, uint64_t length)
{
    return offset <= size && length <= size - offset;
}

static bool check_header(const uint8_t *p, size_t size, Diag *d)
{
    if (size < kElfHeaderSize || memcmp(p, "\177ELF", 4) != 0)
        return diag_fail(d, "not an ELF file");
    if (p[4] != kElfClass32 || p[5] != kElfData2Lsb)
        return diag_fail(d, "not a 32-bit little-endian ELF file");
    if (get_le16(p + 18) != kElfMachineArm)
        return diag_fail(d, "ELF machine %u is not ARM", get_le16(p + 18));
    if (get_le16(p + 16) != kElfTypeExec)
        return diag_fail(d, "ELF type %u is not a linked executable (ET_EXEC)", get_le16(p + 16));
    return true;
}

// A string table usable by index: non-empty and NUL-terminated at its end.
static bool check_strtab(const ElfFile *elf, uint32_t index, const char *what, Diag *d)
{
    if (index >= elf->section_count)
        return diag_fail(d, "%s: string table index %u out of range", what, index);
    const ElfSection *s = &elf->sections[index];
    if (s->type != kElfShtStrtab || s->size == 0 || elf->data[s->offset + s->size - 1] != 0)
        return diag_fail(d, "%s: section %u is not a terminated string table", what, index);
    return true;
}

static bool read_sections(ElfFile *elf, Diag *d)
{
    const uint8_t *p = elf->data;
    uint32_t shoff = get_le32(p + 32);
    uint32_t entsize = get_le16(p + 46);
    uint32_t count = get_le16(p + 48);
    uint32_t shstrndx = get_le16(p + 50);
    if (count == 0 || entsize != kElfSectionHeaderSize)
        return diag_fail(d, "ELF section headers missing or of size %u", entsize);
    if (!fits(elf->size, shoff, (uint64_t)count * entsize))
        return diag_fail(d, "ELF section headers lie outside the file");
    elf->sections = (ElfSection *)calloc(count, sizeof(ElfSection));
    if (!elf->sections)
        return diag_fail(d, "out of memory for %u sections", count);
    elf->section_count = count;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *h = p + shoff + (size_t)i * entsize;
        ElfSection *s = &elf->sections[i];
        s->type = get_le32(h + 4);
        s->flags = get_le32(h + 8);
        s->addr = get_le32(h + 12);
        s->offset = get_le32(h + 16);
        s->size = get_le32(h + 20);
        s->link = get_le32(h + 24);
        s->info = get_le32(h + 28);
        s->entsize = get_le32(h + 36);
        if (s->type != kElfShtNobits && !fits(elf->size, s->offset, s->size))
            return diag_fail(d, "ELF section %u lies outside the file", i);
    }
    if (!check_strtab(elf, shstrndx, "section names", d))
        return false;
    const ElfSection *names = &elf->sections[shstrndx];
    for (uint32_t i = 0; i < count; i++) {
        uint32_t name = get_le32(p + shoff + (size_t)i * entsize);
        if (name >= names->size)
            return diag_fail(d, "ELF section %u: name offset out of range", i);
        elf->sections[i].name = (const char *)p + names->offset + name;
    }
    return true;
}

static bool read_symbols(ElfFile *elf, Diag *d)
{
    uint32_t found = 0;
    for (uint32_t i = 0; i < elf->section_count; i++) {
        if (elf->sections[i].type == kElfShtSymtab) {
            found++;
            elf->symtab_index = i;
        }
    }
    if (found != 1)
        return diag_fail(d, "the ELF needs exactly one symbol table, it has %u", found);
    const ElfSection *tab = &elf->sections[elf->symtab_index];
    if (tab->entsize != kElfSymSize || tab->size % kElfSymSize != 0 || tab->size == 0)
        return diag_fail(d, "%s: malformed symbol table", tab->name);
    if (!check_strtab(elf, tab->link, tab->name, d))
        return false;
    const ElfSection *strings = &elf->sections[tab->link];
    uint32_t count = tab->size / kElfSymSize;
    elf->symbols = (ElfSymbol *)calloc(count, sizeof(ElfSymbol));
    if (!elf->symbols)
        return diag_fail(d, "out of memory for %u symbols", count);
    elf->symbol_count = count;
    const uint8_t *p = elf_section_bytes(elf, tab);
    for (uint32_t i = 0; i < count; i++, p += kElfSymSize) {
        ElfSymbol *s = &elf->symbols[i];
        uint32_t name = get_le32(p);
        if (name >= strings->size)
            return diag_fail(d, "symbol %u: name offset out of range", i);
        s->name = (const char *)elf->data + strings->offset + name;
        s->value = get_le32(p + 4);
        s->size = get_le32(p + 8);
        s->bind = p[12] >> 4;
        s->type = p[12] & 0xF;
        s->shndx = get_le16(p + 14);
        if (s->shndx >= elf->section_count && s->shndx < kElfShnLoreserve)
            return diag_fail(d, "symbol %s: section index %u out of range", s->name, s->shndx);
    }
    return true;
}

// Relocation sections must name the symbol table and a real section, so that
// every entry can be read and labelled without further checks.
static bool check_rel_sections(const ElfFile *elf, Diag *d)
{
    for (uint32_t i = 0; i < elf->section_count; i++) {
        const ElfSection *s = &elf->sections[i];
        if (s->type != kElfShtRel)
            continue;
        if (s->link != elf->symtab_index || s->info == 0 || s->info >= elf->section_count)
            return diag_fail(d, "%s: relocation section links no symbol table or section", s->name);
        if (s->entsize != kElfRelSize || s->size % kElfRelSize != 0)
            return diag_fail(d, "%s: malformed relocation entries", s->name);
        for (uint32_t k = 0; k < elf_rel_count(s); k++) {
            uint32_t sym = get_le32(elf_section_bytes(elf, s) + 8 * k + 4) >> 8;
            if (sym >= elf->symbol_count)
                return diag_fail(d, "%s: relocation %u names symbol %u, out of range", s->name, k,
                                 sym);
        }
    }
    return true;
}

bool elf_open(ElfFile *elf, const uint8_t *data, size_t size, Diag *d)
{
    memset(elf, 0, sizeof *elf);
    elf->data = data;
    elf->size = size;
    if (!check_header(data, size, d) || !read_sections(elf, d) || !read_symbols(elf, d) ||
        !check_rel_sections(elf, d)) {
        elf_close(elf);
        return false;
    }
    return true;
}

void elf_close(ElfFile *elf)
{
    free(elf->sections);
    free(elf->symbols);
    elf->sections = nullptr;
    elf->symbols = nullptr;
    elf->section_count = 0;
    elf->symbol_count = 0;
}

const ElfSymbol *elf_find_global(const ElfFile *elf, const char *name)
{
    for (uint32_t i = 1; i < elf->symbol_count; i++) {
        const ElfSymbol *s = &elf->symbols[i];
        if ((s->bind == kElfStbGlobal || s->bind == kElfStbWeak) && s->shndx != kElfShnUndef &&
            strcmp(s->name, name) == 0)
            return s;
    }
    return nullptr;
}

const char *elf_symbol_label(const ElfFile *elf, const ElfSymbol *sym)
{
    if (sym->type == kElfSttSection && sym->shndx < elf->section_count)
        return elf->sections[sym->shndx].name;
    if (sym->name[0] == 0)
        return "(unnamed symbol)";
    return sym->name;
}

ElfRel elf_rel_at(const ElfFile *elf, const ElfSection *rel_section, uint32_t index)
{
    const uint8_t *p = elf_section_bytes(elf, rel_section) + 8 * (size_t)index;
    ElfRel r;
    r.offset = get_le32(p);
    uint32_t info = get_le32(p + 4);
    r.type = info & 0xFF;
    r.symbol = info >> 8;
    return r;
}
