// Base relocations from the relocations the link kept (ld -q). Every
// R_ARM_ABS32 in a loaded section that points into the image becomes one
// IMAGE_REL_BASED_HIGHLOW; PC-relative relocations and markers need none;
// every other type is refused, since the writer cannot move what it holds,
// and so is a word that crosses a page, which CE cannot patch.
#ifndef KVZ_CE_IMAGE_RELOCS_H
#define KVZ_CE_IMAGE_RELOCS_H

#include "layout.h"

struct BaseRelocs {
    uint32_t *rvas; // sorted, each once
    uint32_t count;
};

bool RelocsCollect(const ElfFile *elf, const ImageLayout *layout, BaseRelocs *out, Diag *d);
void RelocsFree(BaseRelocs *relocs);

// Size of the .reloc table: one block per 4 KiB page, each padded to 4 bytes.
uint32_t RelocsTableSize(const BaseRelocs *relocs);
// Writes RelocsTableSize bytes.
void RelocsWrite(const BaseRelocs *relocs, uint8_t *out);

#endif
