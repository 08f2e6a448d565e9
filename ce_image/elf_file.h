// A linked ARM ELF image read from memory. ElfOpen checks the header and
// every section, symbol and string-table offset against the buffer before
// anything uses it; afterwards names are NUL-terminated strings inside the
// buffer and section bytes lie within it.
#ifndef KVZ_CE_IMAGE_ELF_FILE_H
#define KVZ_CE_IMAGE_ELF_FILE_H

#include "diag.h"
#include "elf_arm.h"

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
    uint32_t sectionCount;
    ElfSymbol *symbols; // the .symtab, index 0 the null symbol
    uint32_t symbolCount;
    uint32_t symtabIndex;
};

// Reads a 32-bit little-endian ARM ET_EXEC image. The ELF keeps pointing
// into data, which must outlive it. Refuses anything else, naming the field.
bool ElfOpen(ElfFile *elf, const uint8_t *data, size_t size, Diag *d);
void ElfClose(ElfFile *elf);

// The bytes of a section that has file contents (not SHT_NOBITS).
inline const uint8_t *ElfSectionBytes(const ElfFile *elf, const ElfSection *s)
{
    return elf->data + s->offset;
}

// The defined global or weak symbol of that name, or null.
const ElfSymbol *ElfFindGlobal(const ElfFile *elf, const char *name);

// What a message calls a symbol: its name, or its section's for a section symbol.
const char *ElfSymbolLabel(const ElfFile *elf, const ElfSymbol *sym);

// Relocation `index` of a SHT_REL section that ElfOpen accepted.
ElfRel ElfRelAt(const ElfFile *elf, const ElfSection *rel_section, uint32_t index);
inline uint32_t ElfRelCount(const ElfSection *rel_section)
{
    return rel_section->size / kElfRelSize;
}

#endif
