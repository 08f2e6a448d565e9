// Base relocations from the relocations the link kept (ld -q). Every
// R_ARM_ABS32 in a loaded section that points into the image becomes one
// IMAGE_REL_BASED_HIGHLOW; PC-relative relocations and markers need none;
// every other type is refused, since the writer cannot move what it holds,
// and so is a word that crosses a page, which CE cannot patch.
#pragma once

#include "layout.h"

struct BaseRelocs {
    uint32_t *rvas; // sorted, each once
    uint32_t count;
};

bool relocs_collect(const ElfFile *elf, const ImageLayout *layout, BaseRelocs *out, Diag *d);
void relocs_free(BaseRelocs *relocs);

// Size of the .reloc table: one block per 4 KiB page, each padded to 4 bytes.
uint32_t relocs_table_size(const BaseRelocs *relocs);
// Writes relocs_table_size bytes.
void relocs_write(const BaseRelocs *relocs, uint8_t *out);
