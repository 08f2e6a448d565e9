#include "loader_rules.h"

#include "pe_writer.h"

#include <cstring>

static const uint32_t kMaxSections = 96; // the most any Windows loader takes

// The written file as CE's loader reads it. A section's virtualSize is
// what it spans in memory: its virtual size, or its file size when that is 0.
struct PeFileView {
    const uint8_t *file;
    uint32_t size;
    const uint8_t *optional;
    ImageSection sections[kMaxSections];
    uint32_t count;
};

// The file bytes of [rva, rva + length), or null where the file has none.
static const uint8_t *BytesAt(const PeFileView *im, uint32_t rva, uint32_t length)
{
    const ImageSection *s = SectionSpanning(im->sections, im->count, rva, length);
    if (!s || !Fits(rva - s->rva, length, s->fileSize))
        return nullptr;
    uint64_t offset = (uint64_t)s->fileOffset + (rva - s->rva);
    return Fits(offset, length, im->size) ? im->file + offset : nullptr;
}

static PeDirectory Directory(const PeFileView *im, uint32_t index)
{
    const uint8_t *entry = im->optional + kPeOptDirectoryOffset + 8 * index;
    return {ReadLe32(entry), ReadLe32(entry + 4)};
}

// ---- Headers ----

static bool ReadSections(PeFileView *im, const uint8_t *table, Diag *d)
{
    for (uint32_t i = 0; i < im->count; i++) {
        const uint8_t *h = table + i * kPeSectionHeaderSize;
        ImageSection *s = &im->sections[i];
        memcpy(s->name, h, kPeSectionNameSize);
        s->name[kPeSectionNameSize] = 0;
        uint32_t virtual_size = ReadLe32(h + kPeSectionVirtualSizeOffset);
        s->rva = ReadLe32(h + kPeSectionRvaOffset);
        s->fileSize = ReadLe32(h + kPeSectionRawSizeOffset);
        s->fileOffset = ReadLe32(h + kPeSectionRawOffsetOffset);
        s->flags = ReadLe32(h + kPeSectionFlagsOffset);
        s->virtualSize = virtual_size ? virtual_size : s->fileSize;
        if (s->fileSize && !Fits(s->fileOffset, s->fileSize, im->size))
            return DiagFail(d, "section %s: its file bytes lie past the end of the file", s->name);
    }
    return true;
}

// CE reads the section table at e_lfanew + 0xF8 and 16 directories whatever
// the headers say: the optional header must be exactly that.
static bool ReadHeaders(const uint8_t *file, uint32_t size, PeFileView *im, Diag *d)
{
    im->file = file;
    im->size = size;
    if (size < kPeDosHeaderSize)
        return DiagFail(d, "headers: the file is cut");
    uint64_t pe = ReadLe32(file + kPeDosLfanewOffset);
    uint64_t optional = pe + 4 + kPeFileHeaderSize;
    if (!Fits(pe, 4 + kPeFileHeaderSize + kPeOptionalHeaderSize, size))
        return DiagFail(d, "headers: the PE headers lie past the end of the file");
    const uint8_t *file_header = file + pe + 4;
    im->optional = file + optional;
    uint32_t optional_size = ReadLe16(file_header + kPeFileOptionalSizeOffset);
    uint32_t magic = ReadLe16(im->optional);
    uint32_t count = ReadLe32(im->optional + kPeOptDirectoryCountOffset);
    if (optional_size != kPeOptionalHeaderSize || magic != kPeOptionalMagic32 ||
        count != kPeDirectoryCount)
        return DiagFail(d,
                        "optional header: 0x%x bytes, magic 0x%x, %u directories; CE reads a "
                        "PE32 header (0x10b) of 0xe0 bytes with 16",
                        optional_size, magic, count);
    im->count = ReadLe16(file_header + kPeFileSectionCountOffset);
    uint64_t table = optional + kPeOptionalHeaderSize;
    if (im->count > kMaxSections || !Fits(table, (uint64_t)im->count * kPeSectionHeaderSize, size))
        return DiagFail(d, "section table: %u sections do not fit the file", im->count);
    return ReadSections(im, file + table, d);
}

// ---- The rules ----

static bool CheckSubsystemVersion(const PeFileView *im, Diag *d)
{
    uint32_t major = ReadLe16(im->optional + kPeOptSubsystemVersionOffset);
    uint32_t minor = ReadLe16(im->optional + kPeOptSubsystemVersionOffset + 2);
    if (ReadLe16(im->optional + kPeOptSubsystemOffset) != kPeSubsystemWinCeGui ||
        major < kPeCeVersionMajor || (major == kPeCeVersionMajor && minor <= kPeCeVersionMinor))
        return true;
    return DiagFail(d, "subsystem version %u.%02u: Windows CE %u.%02u would not load it", major,
                    minor, kPeCeVersionMajor, kPeCeVersionMinor);
}

static bool CheckSections(const PeFileView *im, Diag *d)
{
    PeDirectory relocs = Directory(im, kPeDirBaseReloc);
    for (uint32_t i = 0; i < im->count; i++) {
        const ImageSection *s = &im->sections[i];
        if (!(s->flags & kPeScnWrite) && s->fileSize < s->virtualSize)
            return DiagFail(d,
                            "section %s: read-only, 0x%x bytes in memory but 0x%x in the file; "
                            "CE may leave the rest unzeroed",
                            s->name, s->virtualSize, s->fileSize);
        bool only_relocs = s->rva >= relocs.rva &&
                           (uint64_t)s->rva + s->virtualSize <= (uint64_t)relocs.rva + relocs.size;
        if ((s->flags & kPeScnDiscardable) && s->virtualSize && !only_relocs)
            return DiagFail(d,
                            "section %s: discardable, but holds more than the base relocations; "
                            "CE decommits it after loading",
                            s->name);
    }
    return true;
}

// The slots of one descriptor, by its lookup table: each in a writable section.
static bool CheckSlots(const PeFileView *im, uint32_t index, uint32_t lookup, uint32_t slots,
                       Diag *d)
{
    for (uint32_t i = 0;; i++) {
        const uint8_t *thunk = BytesAt(im, lookup + 4 * i, 4);
        if (!thunk)
            return DiagFail(d, "import descriptor %u: its lookup table leaves the file", index);
        if (ReadLe32(thunk) == 0)
            return true;
        const ImageSection *s = SectionSpanning(im->sections, im->count, slots + 4 * i, 4);
        if (!s || !(s->flags & kPeScnWrite))
            return DiagFail(d, "import slot at 0x%x: not in a writable section (%s)", slots + 4 * i,
                            s ? s->name : "none");
    }
}

static bool CheckImports(const PeFileView *im, Diag *d)
{
    PeDirectory imports = Directory(im, kPeDirImport);
    if (!imports.rva)
        return true;
    for (uint32_t index = 0;; index++) {
        const uint8_t *desc =
            BytesAt(im, imports.rva + index * kPeImportDescriptorSize, kPeImportDescriptorSize);
        if (!desc)
            return DiagFail(d, "import descriptor %u: outside the file's sections", index);
        uint32_t lookup = ReadLe32(desc + kPeImportLookupOffset);
        uint32_t name = ReadLe32(desc + kPeImportNameOffset);
        uint32_t slots = ReadLe32(desc + kPeImportSlotsOffset);
        if (!lookup && !name && !slots)
            return true;
        if (!lookup)
            return DiagFail(d,
                            "import descriptor %u: no lookup table (OriginalFirstThunk); CE's "
                            "loader ends the imports there",
                            index);
        if (!CheckSlots(im, index, lookup, slots, d))
            return false;
    }
}

static bool CheckBlock(uint32_t page, const uint8_t *entries, uint32_t count, Diag *d)
{
    if (page % kPeRelocPageSize)
        return DiagFail(d, "relocation block for 0x%x: not on a page boundary", page);
    for (uint32_t k = 0; k < count; k++) {
        uint32_t entry = ReadLe16(entries + 2 * k), offset = entry & 0xFFF;
        if (entry >> 12 == kPeRelBasedHighLow && offset > kPeRelocPageSize - 4)
            return DiagFail(d,
                            "relocation at 0x%x: the word reaches into the next page, which CE "
                            "patches alone",
                            page + offset);
    }
    return true;
}

static bool CheckRelocations(const PeFileView *im, Diag *d)
{
    PeDirectory relocs = Directory(im, kPeDirBaseReloc);
    if (!relocs.rva)
        return true;
    const uint8_t *table = BytesAt(im, relocs.rva, relocs.size);
    if (!table)
        return DiagFail(d, "relocation table at 0x%x: outside the file's sections", relocs.rva);
    uint64_t next_page = 0;
    for (uint32_t at = 0; at < relocs.size;) {
        uint32_t page = at + kPeRelocBlockHeaderSize <= relocs.size ? ReadLe32(table + at) : 0;
        uint32_t size = at + kPeRelocBlockHeaderSize <= relocs.size ? ReadLe32(table + at + 4) : 0;
        if (size < kPeRelocBlockHeaderSize || size % 2 || size > relocs.size - at)
            return DiagFail(d, "relocation block at 0x%x: size %u", relocs.rva + at, size);
        if (page < next_page)
            return DiagFail(d,
                            "relocation block for 0x%x after the one for 0x%x: CE applies only "
                            "the first block of a page, so blocks go one a page, ascending",
                            page, (uint32_t)(next_page - kPeRelocPageSize));
        if (!CheckBlock(page, table + at + kPeRelocBlockHeaderSize,
                        (size - kPeRelocBlockHeaderSize) / 2, d))
            return false;
        next_page = (uint64_t)page + kPeRelocPageSize;
        at += size;
    }
    return true;
}

bool LoaderRulesCheck(const uint8_t *file, uint32_t size, Diag *d)
{
    PeFileView im;
    memset(&im, 0, sizeof im);
    return ReadHeaders(file, size, &im, d) && CheckSubsystemVersion(&im, d) &&
           CheckSections(&im, d) && CheckImports(&im, d) && CheckRelocations(&im, d);
}
