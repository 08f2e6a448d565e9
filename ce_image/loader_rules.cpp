#include "loader_rules.h"

#include "pe_format.h"

#include <cstring>

namespace
{

const uint32_t kMaxSections = 96; // the most any Windows loader takes
const uint32_t kOptSubsystemVersion = 48;
const uint32_t kOptSubsystem = 68;
const uint32_t kOptDirectoryCount = 92;

struct Section {
    char name[kPeSectionNameSize + 1];
    uint32_t rva, extent, raw_size, raw_offset, flags;
};

struct Directory {
    uint32_t rva, size;
};

struct Image {
    const uint8_t *file;
    uint32_t size;
    const uint8_t *optional;
    Section sections[kMaxSections];
    uint32_t count;
};

// [offset, offset + length) lies within size bytes.
bool fits(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

// The section spanning [rva, rva + length) in memory, or null.
const Section *section_at(const Image *im, uint32_t rva, uint32_t length)
{
    for (uint32_t i = 0; i < im->count; i++) {
        const Section *s = &im->sections[i];
        if (rva >= s->rva && fits(rva - s->rva, length, s->extent))
            return s;
    }
    return nullptr;
}

// The file bytes of [rva, rva + length), or null where the file has none.
const uint8_t *bytes_at(const Image *im, uint32_t rva, uint32_t length)
{
    const Section *s = section_at(im, rva, length);
    if (!s || !fits(rva - s->rva, length, s->raw_size))
        return nullptr;
    uint64_t offset = (uint64_t)s->raw_offset + (rva - s->rva);
    return fits(offset, length, im->size) ? im->file + offset : nullptr;
}

Directory directory(const Image *im, uint32_t index)
{
    const uint8_t *entry = im->optional + kPeOptDirectoryOffset + 8 * index;
    return {get_le32(entry), get_le32(entry + 4)};
}

/* ---- Headers ---- */

bool read_sections(Image *im, const uint8_t *table, Diag *d)
{
    for (uint32_t i = 0; i < im->count; i++) {
        const uint8_t *h = table + i * kPeSectionHeaderSize;
        Section *s = &im->sections[i];
        memcpy(s->name, h, kPeSectionNameSize);
        s->name[kPeSectionNameSize] = 0;
        uint32_t virtual_size = get_le32(h + 8);
        s->rva = get_le32(h + 12);
        s->raw_size = get_le32(h + 16);
        s->raw_offset = get_le32(h + 20);
        s->flags = get_le32(h + 36);
        s->extent = virtual_size ? virtual_size : s->raw_size;
        if (s->raw_size && !fits(s->raw_offset, s->raw_size, im->size))
            return diag_fail(d, "section %s: its file bytes lie past the end of the file", s->name);
    }
    return true;
}

// CE reads the section table at e_lfanew + 0xF8 and 16 directories whatever
// the headers say: the optional header must be exactly that.
bool read_headers(const uint8_t *file, uint32_t size, Image *im, Diag *d)
{
    im->file = file;
    im->size = size;
    if (size < kPeDosHeaderSize)
        return diag_fail(d, "headers: the file is cut");
    uint64_t pe = get_le32(file + kPeDosLfanewOffset);
    uint64_t optional = pe + 4 + kPeFileHeaderSize;
    if (!fits(pe, 4 + kPeFileHeaderSize + kPeOptionalHeaderSize, size))
        return diag_fail(d, "headers: the PE headers lie past the end of the file");
    const uint8_t *file_header = file + pe + 4;
    im->optional = file + optional;
    uint32_t optional_size = get_le16(file_header + 16);
    uint32_t magic = get_le16(im->optional), count = get_le32(im->optional + kOptDirectoryCount);
    if (optional_size != kPeOptionalHeaderSize || magic != kPeOptionalMagic32 ||
        count != kPeDirectoryCount)
        return diag_fail(d,
                         "optional header: 0x%x bytes, magic 0x%x, %u directories; CE reads a "
                         "PE32 header (0x10b) of 0xe0 bytes with 16",
                         optional_size, magic, count);
    im->count = get_le16(file_header + 2);
    uint64_t table = optional + kPeOptionalHeaderSize;
    if (im->count > kMaxSections || !fits(table, (uint64_t)im->count * kPeSectionHeaderSize, size))
        return diag_fail(d, "section table: %u sections do not fit the file", im->count);
    return read_sections(im, file + table, d);
}

/* ---- The rules ---- */

bool check_subsystem_version(const Image *im, Diag *d)
{
    uint32_t major = get_le16(im->optional + kOptSubsystemVersion);
    uint32_t minor = get_le16(im->optional + kOptSubsystemVersion + 2);
    if (get_le16(im->optional + kOptSubsystem) != kPeSubsystemWinCeGui ||
        major < kPeCeVersionMajor || (major == kPeCeVersionMajor && minor <= kPeCeVersionMinor))
        return true;
    return diag_fail(d, "subsystem version %u.%02u: Windows CE %u.%02u would not load it", major,
                     minor, kPeCeVersionMajor, kPeCeVersionMinor);
}

bool check_sections(const Image *im, Diag *d)
{
    Directory relocs = directory(im, kPeDirBaseReloc);
    for (uint32_t i = 0; i < im->count; i++) {
        const Section *s = &im->sections[i];
        if (!(s->flags & kPeScnWrite) && s->raw_size < s->extent)
            return diag_fail(d,
                             "section %s: read-only, 0x%x bytes in memory but 0x%x in the file; "
                             "CE may leave the rest unzeroed",
                             s->name, s->extent, s->raw_size);
        bool only_relocs = s->rva >= relocs.rva &&
                           (uint64_t)s->rva + s->extent <= (uint64_t)relocs.rva + relocs.size;
        if ((s->flags & kPeScnDiscardable) && s->extent && !only_relocs)
            return diag_fail(d,
                             "section %s: discardable, but holds more than the base relocations; "
                             "CE decommits it after loading",
                             s->name);
    }
    return true;
}

// The slots of one descriptor, by its lookup table: each in a writable section.
bool check_slots(const Image *im, uint32_t index, uint32_t lookup, uint32_t slots, Diag *d)
{
    for (uint32_t i = 0;; i++) {
        const uint8_t *thunk = bytes_at(im, lookup + 4 * i, 4);
        if (!thunk)
            return diag_fail(d, "import descriptor %u: its lookup table leaves the file", index);
        if (get_le32(thunk) == 0)
            return true;
        const Section *s = section_at(im, slots + 4 * i, 4);
        if (!s || !(s->flags & kPeScnWrite))
            return diag_fail(d, "import slot at 0x%x: not in a writable section (%s)",
                             slots + 4 * i, s ? s->name : "none");
    }
}

bool check_imports(const Image *im, Diag *d)
{
    Directory imports = directory(im, kPeDirImport);
    if (!imports.rva)
        return true;
    for (uint32_t index = 0;; index++) {
        const uint8_t *desc =
            bytes_at(im, imports.rva + index * kPeImportDescriptorSize, kPeImportDescriptorSize);
        if (!desc)
            return diag_fail(d, "import descriptor %u: outside the file's sections", index);
        uint32_t lookup = get_le32(desc), name = get_le32(desc + 12), slots = get_le32(desc + 16);
        if (!lookup && !name && !slots)
            return true;
        if (!lookup)
            return diag_fail(d,
                             "import descriptor %u: no lookup table (OriginalFirstThunk); CE's "
                             "loader ends the imports there",
                             index);
        if (!check_slots(im, index, lookup, slots, d))
            return false;
    }
}

bool check_block(uint32_t page, const uint8_t *entries, uint32_t count, Diag *d)
{
    if (page % kPeRelocPageSize)
        return diag_fail(d, "relocation block for 0x%x: not on a page boundary", page);
    for (uint32_t k = 0; k < count; k++) {
        uint32_t entry = get_le16(entries + 2 * k), offset = entry & 0xFFF;
        if (entry >> 12 == kPeRelBasedHighLow && offset > kPeRelocPageSize - 4)
            return diag_fail(d,
                             "relocation at 0x%x: the word reaches into the next page, which CE "
                             "patches alone",
                             page + offset);
    }
    return true;
}

bool check_relocations(const Image *im, Diag *d)
{
    Directory relocs = directory(im, kPeDirBaseReloc);
    if (!relocs.rva)
        return true;
    const uint8_t *table = bytes_at(im, relocs.rva, relocs.size);
    if (!table)
        return diag_fail(d, "relocation table at 0x%x: outside the file's sections", relocs.rva);
    uint64_t next_page = 0;
    for (uint32_t at = 0; at < relocs.size;) {
        uint32_t page = at + kPeRelocBlockHeaderSize <= relocs.size ? get_le32(table + at) : 0;
        uint32_t size = at + kPeRelocBlockHeaderSize <= relocs.size ? get_le32(table + at + 4) : 0;
        if (size < kPeRelocBlockHeaderSize || size % 2 || size > relocs.size - at)
            return diag_fail(d, "relocation block at 0x%x: size %u", relocs.rva + at, size);
        if (page < next_page)
            return diag_fail(d,
                             "relocation block for 0x%x after the one for 0x%x: CE applies only "
                             "the first block of a page, so blocks go one a page, ascending",
                             page, (uint32_t)(next_page - kPeRelocPageSize));
        if (!check_block(page, table + at + kPeRelocBlockHeaderSize,
                         (size - kPeRelocBlockHeaderSize) / 2, d))
            return false;
        next_page = (uint64_t)page + kPeRelocPageSize;
        at += size;
    }
    return true;
}

} // namespace

bool loader_rules_check(const uint8_t *file, uint32_t size, Diag *d)
{
    Image im;
    memset(&im, 0, sizeof im);
    return read_headers(file, size, &im, d) && check_subsystem_version(&im, d) &&
           check_sections(&im, d) && check_imports(&im, d) && check_relocations(&im, d);
}
