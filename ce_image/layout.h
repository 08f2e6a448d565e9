// The layout of the PE image: the ELF's allocated sections at their linked
// addresses, followed by the sections the writer makes (exports, imports,
// resources, base relocations), each on the next page. Section RVAs follow
// each other without gaps or overlaps, as the Windows loaders require.
#ifndef KVZ_CE_IMAGE_LAYOUT_H
#define KVZ_CE_IMAGE_LAYOUT_H

#include "bytes.h"
#include "elf_file.h"
#include "pe_format.h"

static const uint32_t kMaxImageSections = 16; // the linker script makes 4, the writer up to 4

struct ImageSection {
    char name[kPeSectionNameSize + 1];
    uint32_t flags; // PE section characteristics
    uint32_t rva;
    uint32_t virtualSize;
    uint32_t fileOffset;   // 0 with fileSize 0 (zero-filled data)
    uint32_t fileSize;     // virtualSize rounded up to the file alignment
    const ElfSection *elf; // null for a section the writer makes
};

struct ImageLayout {
    uint32_t base;
    ImageSection sections[kMaxImageSections];
    uint32_t count;
    uint32_t headersSize; // rounded up to the file alignment
    uint32_t imageSize;   // rounded up to the section alignment
    uint32_t fileSize;
};

// Refuses sections the image cannot carry: TLS, constructor and destructor
// tables, and allocated sections other than code, data and zero-filled data.
bool LayoutCheckElfSections(const ElfFile *elf, Diag *d);

// Places the ELF's allocated, non-empty sections, in address order. Each
// must start on a page boundary at or above base + 0x1000, right after the
// previous one.
bool LayoutPlaceElfSections(const ElfFile *elf, uint32_t base, ImageLayout *layout, Diag *d);

// Adds a section of size bytes on the next page.
bool LayoutAddSection(ImageLayout *layout, const char *name, uint32_t flags, uint32_t size,
                      Diag *d);

// Assigns file offsets once every section is placed.
bool LayoutFinish(ImageLayout *layout, Diag *d);

// The first of count sections that spans [rva, rva + length) in memory, or
// null. Serves the writer's layout and the sections read back from a file.
const ImageSection *SectionSpanning(const ImageSection *sections, uint32_t count, uint32_t rva,
                                    uint32_t length);

// The section of the layout holding [rva, rva + length), or null.
inline const ImageSection *LayoutFind(const ImageLayout *layout, uint32_t rva, uint32_t length)
{
    return SectionSpanning(layout->sections, layout->count, rva, length);
}

// The section holding length bytes at a defined symbol's address, or null.
const ImageSection *LayoutFindSymbol(const ImageLayout *layout, const ElfFile *elf,
                                     const ElfSymbol *sym, uint32_t length);

// The section placed for ELF section `elf_section`, or null.
const ImageSection *LayoutForElf(const ImageLayout *layout, const ElfSection *elf_section);

inline uint32_t LayoutNextRva(const ImageLayout *layout)
{
    if (layout->count == 0)
        return kPeSectionAlignment;
    const ImageSection *last = &layout->sections[layout->count - 1];
    return last->rva + (uint32_t)AlignUp(last->virtualSize, kPeSectionAlignment);
}

#endif
