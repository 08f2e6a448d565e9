#include "layout.h"

#include <cstdio>
#include <cstring>

// An image's largest RVA: CE gives a process slot 32 MiB, the format 2 GiB.
static const uint32_t kMaxImageSize = 0x80000000u;

static bool IsConstructorTable(const ElfSection *s)
{
    static const char *const kNames[] = {".init_array", ".fini_array", ".preinit_array", ".ctors",
                                         ".dtors"};
    if (s->type == kElfShtInitArray || s->type == kElfShtFiniArray ||
        s->type == kElfShtPreinitArray)
        return true;
    for (const char *name : kNames) {
        size_t n = strlen(name);
        if (strncmp(s->name, name, n) == 0 && (s->name[n] == 0 || s->name[n] == '.'))
            return true;
    }
    return false;
}

static bool IsTls(const ElfSection *s)
{
    return (s->flags & kElfShfTls) || strncmp(s->name, ".tdata", 6) == 0 ||
           strncmp(s->name, ".tbss", 5) == 0;
}

static uint32_t PeFlags(const ElfSection *s)
{
    if (s->flags & kElfShfExecinstr)
        return kPeScnCode | kPeScnExecute | kPeScnRead;
    if (s->type == kElfShtNobits)
        return kPeScnUninitializedData | kPeScnRead | kPeScnWrite;
    if (s->flags & kElfShfWrite)
        return kPeScnInitializedData | kPeScnRead | kPeScnWrite;
    return kPeScnInitializedData | kPeScnRead;
}

// Appends a section at rva, which the caller has checked.
static ImageSection *AppendSection(ImageLayout *layout, const char *name, uint32_t flags,
                                   uint32_t rva, uint32_t size)
{
    ImageSection *out = &layout->sections[layout->count++];
    memset(out, 0, sizeof *out);
    snprintf(out->name, sizeof out->name, "%s", name);
    out->flags = flags;
    out->rva = rva;
    out->virtualSize = size;
    return out;
}

// LayoutPlaceElfSections has bounded the count of sections.
static bool PlaceElfSection(const ElfSection *s, uint32_t base, ImageLayout *layout, Diag *d)
{
    if (strlen(s->name) > kPeSectionNameSize)
        return DiagFail(d, "section %s: name longer than the 8 characters of a PE section",
                        s->name);
    uint32_t expected = LayoutNextRva(layout);
    if (s->addr < base || s->addr - base < kPeSectionAlignment)
        return DiagFail(d, "section %s at 0x%08x lies below __ImageBase + 0x1000 (0x%08x)", s->name,
                        s->addr, base + kPeSectionAlignment);
    uint32_t rva = s->addr - base;
    if (rva % kPeSectionAlignment != 0)
        return DiagFail(d, "section %s at 0x%08x does not start on a 4 KiB page", s->name, s->addr);
    if (rva >= kMaxImageSize || s->size > kMaxImageSize - rva)
        return DiagFail(d, "section %s at 0x%08x (0x%x bytes) does not fit in an image", s->name,
                        s->addr, s->size);
    const char *previous = layout->count ? layout->sections[layout->count - 1].name : "headers";
    if (rva < expected)
        return DiagFail(d, "section %s at 0x%08x overlaps %s", s->name, s->addr, previous);
    if (rva > expected)
        return DiagFail(d, "section %s at 0x%08x leaves a gap after %s (expected 0x%08x)", s->name,
                        s->addr, previous, base + expected);
    AppendSection(layout, s->name, PeFlags(s), rva, s->size)->elf = s;
    return true;
}

bool LayoutCheckElfSections(const ElfFile *elf, Diag *d)
{
    for (uint32_t i = 1; i < elf->sectionCount; i++) {
        const ElfSection *s = &elf->sections[i];
        if (IsTls(s))
            return DiagFail(d, "section %s: thread-local storage is not supported", s->name);
        if (IsConstructorTable(s) && s->size != 0)
            return DiagFail(d,
                            "section %s: static constructors or destructors (%u bytes) "
                            "would never run",
                            s->name, s->size);
        if (!(s->flags & kElfShfAlloc) || s->size == 0)
            continue;
        if (s->type != kElfShtProgbits && s->type != kElfShtNobits)
            return DiagFail(d, "section %s: allocated section of type 0x%x is not code or data",
                            s->name, s->type);
        if ((s->flags & kElfShfExecinstr) && (s->flags & kElfShfWrite))
            return DiagFail(d, "section %s: writable code", s->name);
    }
    return true;
}

bool LayoutPlaceElfSections(const ElfFile *elf, uint32_t base, ImageLayout *layout, Diag *d)
{
    memset(layout, 0, sizeof *layout);
    layout->base = base;
    const ElfSection *order[kMaxImageSections];
    uint32_t count = 0;
    for (uint32_t i = 1; i < elf->sectionCount; i++) {
        const ElfSection *s = &elf->sections[i];
        if (!(s->flags & kElfShfAlloc) || s->size == 0)
            continue;
        if (count == kMaxImageSections)
            return DiagFail(d, "section %s: more than %u sections", s->name, kMaxImageSections);
        uint32_t k = count++;
        for (; k > 0 && order[k - 1]->addr > s->addr; k--)
            order[k] = order[k - 1];
        order[k] = s;
    }
    if (count == 0)
        return DiagFail(d, "the ELF has no allocated sections");
    for (uint32_t i = 0; i < count; i++)
        if (!PlaceElfSection(order[i], base, layout, d))
            return false;
    return true;
}

bool LayoutAddSection(ImageLayout *layout, const char *name, uint32_t flags, uint32_t size, Diag *d)
{
    if (layout->count == kMaxImageSections)
        return DiagFail(d, "section %s: more than %u sections", name, kMaxImageSections);
    uint32_t rva = LayoutNextRva(layout);
    if (rva >= kMaxImageSize || size > kMaxImageSize - rva)
        return DiagFail(d, "section %s (0x%x bytes) does not fit in an image", name, size);
    AppendSection(layout, name, flags, rva, size);
    return true;
}

bool LayoutFinish(ImageLayout *layout, Diag *d)
{
    uint32_t headers = kPeDosHeaderSize + 4 + kPeFileHeaderSize + kPeOptionalHeaderSize +
                       layout->count * kPeSectionHeaderSize;
    layout->headersSize = (uint32_t)AlignUp(headers, kPeFileAlignment);
    uint64_t offset = layout->headersSize;
    for (uint32_t i = 0; i < layout->count; i++) {
        ImageSection *s = &layout->sections[i];
        bool zero_filled = s->flags & kPeScnUninitializedData;
        s->fileSize = zero_filled ? 0 : (uint32_t)AlignUp(s->virtualSize, kPeFileAlignment);
        s->fileOffset = s->fileSize ? (uint32_t)offset : 0;
        offset += s->fileSize;
    }
    if (offset > kMaxImageSize)
        return DiagFail(d, "the image file would exceed 2 GiB");
    layout->fileSize = (uint32_t)offset;
    layout->imageSize = LayoutNextRva(layout);
    return true;
}

const ImageSection *SectionSpanning(const ImageSection *sections, uint32_t count, uint32_t rva,
                                    uint32_t length)
{
    for (uint32_t i = 0; i < count; i++) {
        const ImageSection *s = &sections[i];
        if (rva >= s->rva && Fits(rva - s->rva, length, s->virtualSize))
            return s;
    }
    return nullptr;
}

const ImageSection *LayoutFindSymbol(const ImageLayout *layout, const ElfFile *elf,
                                     const ElfSymbol *sym, uint32_t length)
{
    if (sym->shndx >= elf->sectionCount || sym->value < layout->base)
        return nullptr;
    return LayoutFind(layout, sym->value - layout->base, length);
}

const ImageSection *LayoutForElf(const ImageLayout *layout, const ElfSection *elf_section)
{
    for (uint32_t i = 0; i < layout->count; i++)
        if (layout->sections[i].elf == elf_section)
            return &layout->sections[i];
    return nullptr;
}
