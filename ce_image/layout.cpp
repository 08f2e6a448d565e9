#include "layout.h"

#include "elf_arm.h"

#include <cstdio>
#include <cstring>

namespace
{

// An image's largest RVA: CE gives a process slot 32 MiB, the format 2 GiB.
const uint32_t kMaxImageSize = 0x80000000u;

bool is_constructor_table(const ElfSection *s)
{
    static const char *const names[] = {".init_array", ".fini_array", ".preinit_array", ".ctors",
                                        ".dtors"};
    if (s->type == kElfShtInitArray || s->type == kElfShtFiniArray ||
        s->type == kElfShtPreinitArray)
        return true;
    for (const char *name : names) {
        size_t n = strlen(name);
        if (strncmp(s->name, name, n) == 0 && (s->name[n] == 0 || s->name[n] == '.'))
            return true;
    }
    return false;
}

bool is_tls(const ElfSection *s)
{
    return (s->flags & kElfShfTls) || strncmp(s->name, ".tdata", 6) == 0 ||
           strncmp(s->name, ".tbss", 5) == 0;
}

uint32_t pe_flags(const ElfSection *s)
{
    if (s->flags & kElfShfExecinstr)
        return kPeScnCode | kPeScnExecute | kPeScnRead;
    if (s->type == kElfShtNobits)
        return kPeScnUninitializedData | kPeScnRead | kPeScnWrite;
    if (s->flags & kElfShfWrite)
        return kPeScnInitializedData | kPeScnRead | kPeScnWrite;
    return kPeScnInitializedData | kPeScnRead;
}

bool place_one(const ElfSection *s, uint32_t base, ImageLayout *layout, Diag *d)
{
    if (strlen(s->name) > kPeSectionNameSize)
        return diag_fail(d, "section %s: name longer than the 8 characters of a PE section",
                         s->name);
    if (layout->count == kMaxImageSections)
        return diag_fail(d, "section %s: more than %u sections", s->name, kMaxImageSections);
    uint32_t expected = layout_next_rva(layout);
    if (s->addr < base || s->addr - base < kPeSectionAlignment)
        return diag_fail(d, "section %s at 0x%08x lies below __ImageBase + 0x1000 (0x%08x)",
                         s->name, s->addr, base + kPeSectionAlignment);
    uint32_t rva = s->addr - base;
    if (rva % kPeSectionAlignment != 0)
        return diag_fail(d, "section %s at 0x%08x does not start on a 4 KiB page", s->name,
                         s->addr);
    if (rva >= kMaxImageSize || s->size > kMaxImageSize - rva)
        return diag_fail(d, "section %s at 0x%08x (0x%x bytes) does not fit in an image", s->name,
                         s->addr, s->size);
    const char *previous = layout->count ? layout->sections[layout->count - 1].name : "headers";
    if (rva < expected)
        return diag_fail(d, "section %s at 0x%08x overlaps %s", s->name, s->addr, previous);
    if (rva > expected)
        return diag_fail(d, "section %s at 0x%08x leaves a gap after %s (expected 0x%08x)", s->name,
                         s->addr, previous, base + expected);
    ImageSection *out = &layout->sections[layout->count++];
    memset(out, 0, sizeof *out);
    snprintf(out->name, sizeof out->name, "%s", s->name);
    out->flags = pe_flags(s);
    out->rva = rva;
    out->virtual_size = s->size;
    out->elf = s;
    return true;
}

} // namespace

bool layout_check_elf_sections(const ElfFile *elf, Diag *d)
{
    for (uint32_t i = 1; i < elf->section_count; i++) {
        const ElfSection *s = &elf->sections[i];
        if (is_tls(s))
            return diag_fail(d, "section %s: thread-local storage is not supported", s->name);
        if (is_constructor_table(s) && s->size != 0)
            return diag_fail(d,
                             "section %s: static constructors or destructors (%u bytes) "
                             "would never run",
                             s->name, s->size);
        if (!(s->flags & kElfShfAlloc) || s->size == 0)
            continue;
        if (s->type != kElfShtProgbits && s->type != kElfShtNobits)
            return diag_fail(d, "section %s: allocated section of type 0x%x is not code or data",
                             s->name, s->type);
        if ((s->flags & kElfShfExecinstr) && (s->flags & kElfShfWrite))
            return diag_fail(d, "section %s: writable code", s->name);
    }
    return true;
}

bool layout_place_elf_sections(const ElfFile *elf, uint32_t base, ImageLayout *layout, Diag *d)
{
    memset(layout, 0, sizeof *layout);
    layout->base = base;
    const ElfSection *order[kMaxImageSections];
    uint32_t count = 0;
    for (uint32_t i = 1; i < elf->section_count; i++) {
        const ElfSection *s = &elf->sections[i];
        if (!(s->flags & kElfShfAlloc) || s->size == 0)
            continue;
        if (count == kMaxImageSections)
            return diag_fail(d, "section %s: more than %u sections", s->name, kMaxImageSections);
        uint32_t k = count++;
        for (; k > 0 && order[k - 1]->addr > s->addr; k--)
            order[k] = order[k - 1];
        order[k] = s;
    }
    if (count == 0)
        return diag_fail(d, "the ELF has no allocated sections");
    for (uint32_t i = 0; i < count; i++)
        if (!place_one(order[i], base, layout, d))
            return false;
    return true;
}

bool layout_add_section(ImageLayout *layout, const char *name, uint32_t flags, uint32_t size,
                        Diag *d)
{
    if (layout->count == kMaxImageSections)
        return diag_fail(d, "section %s: more than %u sections", name, kMaxImageSections);
    uint32_t rva = layout_next_rva(layout);
    if (rva >= kMaxImageSize || size > kMaxImageSize - rva)
        return diag_fail(d, "section %s (0x%x bytes) does not fit in an image", name, size);
    ImageSection *out = &layout->sections[layout->count++];
    memset(out, 0, sizeof *out);
    snprintf(out->name, sizeof out->name, "%s", name);
    out->flags = flags;
    out->rva = rva;
    out->virtual_size = size;
    return true;
}

bool layout_finish(ImageLayout *layout, Diag *d)
{
    uint32_t headers = kPeDosHeaderSize + 4 + kPeFileHeaderSize + kPeOptionalHeaderSize +
                       layout->count * kPeSectionHeaderSize;
    layout->headers_size = align_up(headers, kPeFileAlignment);
    uint64_t offset = layout->headers_size;
    for (uint32_t i = 0; i < layout->count; i++) {
        ImageSection *s = &layout->sections[i];
        bool zero_filled = s->flags & kPeScnUninitializedData;
        s->file_size = zero_filled ? 0 : align_up(s->virtual_size, kPeFileAlignment);
        s->file_offset = s->file_size ? (uint32_t)offset : 0;
        offset += s->file_size;
    }
    if (offset > kMaxImageSize)
        return diag_fail(d, "the image file would exceed 2 GiB");
    layout->file_size = (uint32_t)offset;
    layout->image_size = layout_next_rva(layout);
    return true;
}

const ImageSection *layout_find(const ImageLayout *layout, uint32_t rva, uint32_t length)
{
    for (uint32_t i = 0; i < layout->count; i++) {
        const ImageSection *s = &layout->sections[i];
        if (rva >= s->rva && rva - s->rva <= s->virtual_size &&
            length <= s->virtual_size - (rva - s->rva))
            return s;
    }
    return nullptr;
}

const ImageSection *layout_for_elf(const ImageLayout *layout, const ElfSection *elf_section)
{
    for (uint32_t i = 0; i < layout->count; i++)
        if (layout->sections[i].elf == elf_section)
            return &layout->sections[i];
    return nullptr;
}
