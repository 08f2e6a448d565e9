#include "elf_file.h"

#include "bytes.h"

#include <cstdlib>
#include <cstring>

static bool CheckHeader(const uint8_t *p, size_t size, Diag *d)
{
    if (size < kElfHeaderSize || memcmp(p, "\177ELF", 4) != 0)
        return DiagFail(d, "not an ELF file");
    if (p[4] != kElfClass32 || p[5] != kElfData2Lsb)
        return DiagFail(d, "not a 32-bit little-endian ELF file");
    if (ReadLe16(p + 18) != kElfMachineArm)
        return DiagFail(d, "ELF machine %u is not ARM", ReadLe16(p + 18));
    if (ReadLe16(p + 16) != kElfTypeExec)
        return DiagFail(d, "ELF type %u is not a linked executable (ET_EXEC)", ReadLe16(p + 16));
    return true;
}

// A string table usable by index: non-empty and NUL-terminated at its end.
static bool CheckStrtab(const ElfFile *elf, uint32_t index, const char *what, Diag *d)
{
    if (index >= elf->sectionCount)
        return DiagFail(d, "%s: string table index %u out of range", what, index);
    const ElfSection *s = &elf->sections[index];
    if (s->type != kElfShtStrtab || s->size == 0 || elf->data[s->offset + s->size - 1] != 0)
        return DiagFail(d, "%s: section %u is not a terminated string table", what, index);
    return true;
}

static bool ReadSections(ElfFile *elf, Diag *d)
{
    const uint8_t *p = elf->data;
    uint32_t shoff = ReadLe32(p + 32);
    uint32_t entsize = ReadLe16(p + 46);
    uint32_t count = ReadLe16(p + 48);
    uint32_t shstrndx = ReadLe16(p + 50);
    if (count == 0 || entsize != kElfSectionHeaderSize)
        return DiagFail(d, "ELF section headers missing or of size %u", entsize);
    if (!Fits(shoff, (uint64_t)count * entsize, elf->size))
        return DiagFail(d, "ELF section headers lie outside the file");
    elf->sections = (ElfSection *)calloc(count, sizeof(ElfSection));
    if (!elf->sections)
        return DiagFail(d, "out of memory for %u sections", count);
    elf->sectionCount = count;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *h = p + shoff + (size_t)i * entsize;
        ElfSection *s = &elf->sections[i];
        s->type = ReadLe32(h + 4);
        s->flags = ReadLe32(h + 8);
        s->addr = ReadLe32(h + 12);
        s->offset = ReadLe32(h + 16);
        s->size = ReadLe32(h + 20);
        s->link = ReadLe32(h + 24);
        s->info = ReadLe32(h + 28);
        s->entsize = ReadLe32(h + 36);
        if (s->type != kElfShtNobits && !Fits(s->offset, s->size, elf->size))
            return DiagFail(d, "ELF section %u lies outside the file", i);
    }
    if (!CheckStrtab(elf, shstrndx, "section names", d))
        return false;
    const ElfSection *names = &elf->sections[shstrndx];
    for (uint32_t i = 0; i < count; i++) {
        uint32_t name = ReadLe32(p + shoff + (size_t)i * entsize);
        if (name >= names->size)
            return DiagFail(d, "ELF section %u: name offset out of range", i);
        elf->sections[i].name = (const char *)p + names->offset + name;
    }
    return true;
}

static bool ReadSymbols(ElfFile *elf, Diag *d)
{
    uint32_t found = 0;
    for (uint32_t i = 0; i < elf->sectionCount; i++) {
        if (elf->sections[i].type == kElfShtSymtab) {
            found++;
            elf->symtabIndex = i;
        }
    }
    if (found != 1)
        return DiagFail(d, "the ELF needs exactly one symbol table, it has %u", found);
    const ElfSection *tab = &elf->sections[elf->symtabIndex];
    if (tab->entsize != kElfSymSize || tab->size % kElfSymSize != 0 || tab->size == 0)
        return DiagFail(d, "%s: malformed symbol table", tab->name);
    if (!CheckStrtab(elf, tab->link, tab->name, d))
        return false;
    const ElfSection *strings = &elf->sections[tab->link];
    uint32_t count = tab->size / kElfSymSize;
    elf->symbols = (ElfSymbol *)calloc(count, sizeof(ElfSymbol));
    if (!elf->symbols)
        return DiagFail(d, "out of memory for %u symbols", count);
    elf->symbolCount = count;
    const uint8_t *p = ElfSectionBytes(elf, tab);
    for (uint32_t i = 0; i < count; i++, p += kElfSymSize) {
        ElfSymbol *s = &elf->symbols[i];
        uint32_t name = ReadLe32(p);
        if (name >= strings->size)
            return DiagFail(d, "symbol %u: name offset out of range", i);
        s->name = (const char *)elf->data + strings->offset + name;
        s->value = ReadLe32(p + 4);
        s->size = ReadLe32(p + 8);
        s->bind = p[12] >> 4;
        s->type = p[12] & 0xF;
        s->shndx = ReadLe16(p + 14);
        if (s->shndx >= elf->sectionCount && s->shndx < kElfShnLoreserve)
            return DiagFail(d, "symbol %s: section index %u out of range", s->name, s->shndx);
    }
    return true;
}

// Relocation sections must name the symbol table and a real section, so that
// every entry can be read and labelled without further checks.
static bool CheckRelSections(const ElfFile *elf, Diag *d)
{
    for (uint32_t i = 0; i < elf->sectionCount; i++) {
        const ElfSection *s = &elf->sections[i];
        if (s->type != kElfShtRel)
            continue;
        if (s->link != elf->symtabIndex || s->info == 0 || s->info >= elf->sectionCount)
            return DiagFail(d, "%s: relocation section links no symbol table or section", s->name);
        if (s->entsize != kElfRelSize || s->size % kElfRelSize != 0)
            return DiagFail(d, "%s: malformed relocation entries", s->name);
        for (uint32_t k = 0; k < ElfRelCount(s); k++) {
            uint32_t sym = ElfRelAt(elf, s, k).symbol;
            if (sym >= elf->symbolCount)
                return DiagFail(d, "%s: relocation %u names symbol %u, out of range", s->name, k,
                                sym);
        }
    }
    return true;
}

bool ElfOpen(ElfFile *elf, const uint8_t *data, size_t size, Diag *d)
{
    memset(elf, 0, sizeof *elf);
    elf->data = data;
    elf->size = size;
    if (!CheckHeader(data, size, d) || !ReadSections(elf, d) || !ReadSymbols(elf, d) ||
        !CheckRelSections(elf, d)) {
        ElfClose(elf);
        return false;
    }
    return true;
}

void ElfClose(ElfFile *elf)
{
    free(elf->sections);
    free(elf->symbols);
    elf->sections = nullptr;
    elf->symbols = nullptr;
    elf->sectionCount = 0;
    elf->symbolCount = 0;
}

const ElfSymbol *ElfFindGlobal(const ElfFile *elf, const char *name)
{
    for (uint32_t i = 1; i < elf->symbolCount; i++) {
        const ElfSymbol *s = &elf->symbols[i];
        if ((s->bind == kElfStbGlobal || s->bind == kElfStbWeak) && s->shndx != kElfShnUndef &&
            strcmp(s->name, name) == 0)
            return s;
    }
    return nullptr;
}

const char *ElfSymbolLabel(const ElfFile *elf, const ElfSymbol *sym)
{
    if (sym->type == kElfSttSection && sym->shndx < elf->sectionCount)
        return elf->sections[sym->shndx].name;
    if (sym->name[0] == 0)
        return "(unnamed symbol)";
    return sym->name;
}

ElfRel ElfRelAt(const ElfFile *elf, const ElfSection *rel_section, uint32_t index)
{
    const uint8_t *p = ElfSectionBytes(elf, rel_section) + (size_t)kElfRelSize * index;
    ElfRel r;
    r.offset = ReadLe32(p);
    uint32_t info = ReadLe32(p + 4);
    r.type = info & 0xFF;
    r.symbol = info >> 8;
    return r;
}
