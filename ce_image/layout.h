// The layout of the PE image: the ELF's allocated sections at their linked
// addresses, followed by the sections the writer makes (exports, imports,
// resources, base relocations), each on the next page. Section RVAs follow
// each other without gaps or overlaps, as the Windows loaders require.
#pragma once

#include "elf_file.h"
#include "pe_format.h"

const uint32_t kMaxImageSections = 16; // the linker script makes 4, the writer up to 4

struct ImageSection {
    char name[kPeSectionNameSize + 1];
    uint32_t flags; // PE section characteristics
    uint32_t rva;
    uint32_t virtual_size;
    uint32_t file_offset;  // 0 with file_size 0 (zero-filled data)
    uint32_t file_size;    // virtual_size rounded up to the file alignment
    const ElfSection *elf; // null for a section the writer makes
};

struct ImageLayout {
    uint32_t base;
    ImageSection sections[kMaxImageSections];
    uint32_t count;
    uint32_t headers_size; // rounded up to the file alignment
    uint32_t image_size;   // rounded up to the section alignment
    uint32_t file_size;
};

// Refuses sections the image cannot carry: TLS, constructor and destructor
// tables, and allocated sections other than code, data and zero-filled data.
bool layout_check_elf_sections(const ElfFile *elf, Diag *d);

// Places the ELF's allocated, non-empty sections, in address order. Each
// must start on a page boundary at or above base + 0x1000, right after the
// previous one.
bool layout_place_elf_sections(const ElfFile *elf, uint32_t base, ImageLayout *layout, Diag *d);

// Adds a section of size bytes on the next page.
bool layout_add_section(ImageLayout *layout, const char *name, uint32_t flags, uint32_t size,
                        Diag *d);

// Assigns file offsets once every section is placed.
bool layout_finish(ImageLayout *layout, Diag *d);

// The section holding [rva, rva + length), or null.
const ImageSection *layout_find(const ImageLayout *layout, uint32_t rva, uint32_t length);

// The section placed for ELF section `elf_section`, or null.
const ImageSection *layout_for_elf(const ImageLayout *layout, const ElfSection *elf_section);

inline uint32_t layout_next_rva(const ImageLayout *layout)
{
    if (layout->count == 0)
        return kPeSectionAlignment;
    const ImageSection *last = &layout->sections[layout->count - 1];
    return last->rva + align_up(last->virtual_size, kPeSectionAlignment);
}
