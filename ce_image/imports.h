// The import of coredll.dll. Each CE call goes through a thunk that loads
// its slot __imp_NAME; the slots lie together in writable data, in address
// order and ended by a zero word (the linker script's LONG(0)), and so are
// the import address table. The writer adds the import descriptor, the
// lookup table and the hint/name entries, and fills the slots in the file
// with the same hint/name RVAs, as linkers do before binding.
#ifndef KVZ_CE_IMAGE_IMPORTS_H
#define KVZ_CE_IMAGE_IMPORTS_H

#include "layout.h"
#include "name_list.h"

static const char kImportDllName[] = "COREDLL.dll";
static const char kImportSlotPrefix[] = "__imp_";

struct ImportSlot {
    const char *name; // without the prefix
    uint32_t rva;
};

struct Imports {
    ImportSlot *slots; // in address order
    uint32_t count;
};

// Finds the __imp_ slots. Refuses a slot for a name not in coredll's export
// list, one outside writable data, and gaps or a missing end word.
bool ImportsCollect(const ElfFile *elf, const NameList *coredll, const ImageLayout *layout,
                    Imports *out, Diag *d);
void ImportsFree(Imports *imports);

uint32_t ImportsIatRva(const Imports *imports);
uint32_t ImportsIatSize(const Imports *imports); // slots and the end word

// Size of the import section (descriptors, lookup table, names); 0 without imports.
uint32_t ImportsTableSize(const Imports *imports);
// Writes the import section for `section_rva` and the slots' file words at `iat`.
void ImportsWrite(const Imports *imports, uint32_t section_rva, uint8_t *section, uint8_t *iat);

#endif
