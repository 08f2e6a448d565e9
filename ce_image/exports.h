// The export directory: the .def's names at their ordinals. The address
// table spans the lowest to the highest ordinal (holes are 0); the name
// pointer table is sorted by name, as the loader's binary search needs.
#pragma once

#include "def_file.h"
#include "layout.h"

struct ExportEntry {
    const char *name;
    uint32_t ordinal;
    uint32_t rva;
};

struct Exports {
    ExportEntry *entries; // sorted by name
    uint32_t count;
    uint32_t ordinal_base;
    uint32_t function_count; // highest ordinal - ordinal_base + 1
    const char *dll_name;
};

// Each .def name must be a defined global function in the image's code.
bool exports_collect(const ElfFile *elf, const DefFile *def, const char *dll_name,
                     const ImageLayout *layout, Exports *out, Diag *d);
void exports_free(Exports *exports);

uint32_t exports_table_size(const Exports *exports);
void exports_write(const Exports *exports, uint32_t section_rva, uint8_t *section);

// The RVA of a defined global function in the image's code, for exports and
// the entry point.
bool exports_function_rva(const ElfFile *elf, const ImageLayout *layout, const char *name,
                          uint32_t *rva, Diag *d);
