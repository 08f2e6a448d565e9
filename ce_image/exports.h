// The export directory: the .def's names at their ordinals. The address
// table spans the lowest to the highest ordinal (holes are 0); the name
// pointer table is sorted by name, as the loader's binary search needs.
#ifndef KVZ_CE_IMAGE_EXPORTS_H
#define KVZ_CE_IMAGE_EXPORTS_H

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
    uint32_t ordinalBase;
    uint32_t functionCount; // highest ordinal - ordinalBase + 1
    const char *dllName;
};

// Each .def name must be a defined global function in the image's code.
bool ExportsCollect(const ElfFile *elf, const DefFile *def, const char *dll_name,
                    const ImageLayout *layout, Exports *out, Diag *d);
void ExportsFree(Exports *exports);

uint32_t ExportsTableSize(const Exports *exports);
void ExportsWrite(const Exports *exports, uint32_t section_rva, uint8_t *section);

// The RVA of a defined global function in the image's code, for exports and
// the entry point.
bool ExportsFunctionRva(const ElfFile *elf, const ImageLayout *layout, const char *name,
                        uint32_t *rva, Diag *d);

#endif
