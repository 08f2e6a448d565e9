// A linked ARM ELF image read from memory. elf_open checks the header and
// every section, symbol and string-table offset against the buffer before
// anything uses it; afterwards names are NUL-terminated strings inside the
// buffer and section bytes lie within it.
#pragma once

#include "diag.h"

#include <cstddef>
#include <cstdint>

struct ElfSection {
    const char *name;
    uint32_t type;
    uint32_t flags;
    uint32_t addr;
    uint32_t offset;
    uint32_t size;
    uint32_t link;
    uint32_t info;
    uint32_t entsize;
};

struct ElfSymbol {
    const char *name;
    uint32_t value;
    uint32_t size;
    uint8_t bind;
    uint8_t type;
    uint16_t shndx;
};

struct ElfRel {
    uint32_t offset; // the address of the word, in an ET_EXEC image
    uint32_t type;
    uint32_t symbol; // index into ElfFile::symbols
};

struct ElfFile {
    const uint8_t *data;
    size_t size;
    ElfSection *sections;
    uint32_t section_count;
    ElfSymbol *symbols; // the .symtab, index 0 the null symbol
    uint32_t symbol_count;
    uint32_t symtab_index;
};

// Reads a 32-bit little-endian ARM ET_EXEC image. The ELF keeps pointing
// into data, which must outlive it. Refuses anything else, naming the field.
bool elf_open(ElfFile *elf, const uint8_t *data, size_t size, Diag *d);
void elf_close(ElfFile *elf);

// The bytes of a section that has file contents (not SHT_NOBITS).
inline const uint8_t *elf_section_bytes(const ElfFile *elf, const ElfSection *s)
{
    return elf->data + s->offset;
}

// The defined global or weak symbol of that name, or null.
const ElfSymbol *elf_find_global(const ElfFile *elf, const char *name);

// What a message calls a symbol: its name, or its section's for a section symbol.
const char *elf_symbol_label(const ElfFile *elf, const ElfSymbol *sym);

// Relocation `index` of a SHT_REL section that elf_open accepted.
ElfRel elf_rel_at(const ElfFile *elf, const ElfSection *rel_section, uint32_t index);
inline uint32_t elf_rel_count(const ElfSection *rel_section)
{
    return rel_section->size / 8;
}
