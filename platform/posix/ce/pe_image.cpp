// PE32 headers and the walks of its export, import and relocation tables;
// see pe_image.h. Fields are read byte by byte (little_endian.h).
#include "platform/posix/ce/pe_image.h"
#include "platform/posix/ce/little_endian.h"

#include <stdio.h>
#include <string.h>

// The oldest CE the kit runs on, 4.20: a later subsystem version would not
// load there.
static const uint16_t kCeVersionMajor = 4;
static const uint16_t kCeVersionMinor = 20;
// No CE DLL imports more than a few hundred calls; the cap bounds the walk
// of a table whose descriptors all share one long thunk list.
static const unsigned kMaxImports = 8192;

// ---- Bounds ----

// [offset, offset + length) lies within `size` bytes.
static bool Fits(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

static bool IsPowerOfTwo(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

static uint64_t AlignUp(uint64_t value, uint32_t alignment)
{
    return (value + alignment - 1) & ~(uint64_t)(alignment - 1);
}

// The terminated string at `rva`, at most `max` bytes with its terminator.
static const char *ImageString(const KvzPeImage *image, const uint8_t *memory, uint32_t rva,
                               size_t max)
{
    if (rva >= image->imageSize)
        return NULL;
    size_t room = image->imageSize - rva;
    if (room > max)
        room = max;
    return memchr(memory + rva, 0, room) != NULL ? (const char *)(memory + rva) : NULL;
}

// ---- Headers and sections ----

static bool MachineWanted(uint16_t machine, const uint16_t *machines, unsigned count)
{
    for (unsigned i = 0; i < count; i++) {
        if (machines[i] == machine)
            return true;
    }
    return false;
}

// Directory `index` of the optional header, empty when the header has none.
static KvzPeDirectory DirectoryEntry(const uint8_t *optional, uint32_t count, unsigned index)
{
    KvzPeDirectory dir = {0, 0};
    if (index < count) {
        dir.rva = KvzReadLe32(optional + kPeOptionalFixedSize + 8 * index);
        dir.size = dir.rva != 0 ? KvzReadLe32(optional + kPeOptionalFixedSize + 8 * index + 4) : 0;
    }
    return dir;
}

static bool ReadSections(const uint8_t *data, size_t size, uint64_t table, KvzPeImage *image)
{
    uint64_t next_free = AlignUp(image->headersSize, image->sectionAlignment);
    for (unsigned i = 0; i < image->sectionCount; i++) {
        const uint8_t *header = data + table + (uint64_t)i * kPeSectionHeaderSize;
        KvzPeSection *section = &image->sections[i];
        memcpy(section->name, header, 8);
        section->name[8] = 0;
        uint32_t virtual_size = KvzReadLe32(header + 8), raw_size = KvzReadLe32(header + 16);
        section->rva = KvzReadLe32(header + 12);
        section->extent = virtual_size != 0 ? virtual_size : raw_size;
        section->fileOffset = KvzReadLe32(header + 20);
        section->fileSize = raw_size < section->extent ? raw_size : section->extent;
        section->characteristics = KvzReadLe32(header + 36);
        // Ascending, apart, on pages of their own, inside the image and the file.
        if (section->rva % image->sectionAlignment != 0 || section->rva < next_free ||
            !Fits(section->rva, section->extent, image->imageSize) ||
            (raw_size != 0 && !Fits(section->fileOffset, raw_size, size)))
            return false;
        // CE may take a read-only page from a pool it does not clear: such a
        // section needs file bytes for all of it.
        if ((section->characteristics & kPeScnWrite) == 0 && section->fileSize < section->extent)
            return false;
        next_free = section->rva + AlignUp(section->extent, image->sectionAlignment);
    }
    return true;
}

static bool EntryIsCode(const KvzPeImage *image)
{
    uint32_t entry = image->entryRva & ~1u; // bit 0 marks Thumb code
    if (image->entryRva == 0)
        return true;
    for (unsigned i = 0; i < image->sectionCount; i++) {
        const KvzPeSection *s = &image->sections[i];
        if (entry >= s->rva && Fits(entry - s->rva, 2, s->extent))
            return (s->characteristics & kPeScnExecute) != 0;
    }
    return false;
}

static bool DirectoryInImage(const KvzPeDirectory *dir, uint32_t image_size)
{
    return dir->rva == 0 || Fits(dir->rva, dir->size, image_size);
}

// CE decommits discardable sections once the image is loaded: such a section
// may hold the base relocations and nothing else.
static bool DiscardableOnlyRelocations(const KvzPeImage *image)
{
    const KvzPeDirectory *relocations = &image->relocations;
    for (unsigned i = 0; i < image->sectionCount; i++) {
        const KvzPeSection *s = &image->sections[i];
        if ((s->characteristics & kPeScnDiscardable) != 0 && s->extent != 0 &&
            (s->rva < relocations->rva ||
             (uint64_t)s->rva + s->extent > (uint64_t)relocations->rva + relocations->size))
            return false;
    }
    return true;
}

// At most the oldest CE version the kit runs on.
static bool SubsystemVersionLoads(const uint8_t *optional)
{
    uint16_t major = KvzReadLe16(optional + 48), minor = KvzReadLe16(optional + 50);
    return KvzReadLe16(optional + 68) != kPeSubsystemWinCeGui || major < kCeVersionMajor ||
           (major == kCeVersionMajor && minor <= kCeVersionMinor);
}

DWORD KvzPeParse(const uint8_t *data, size_t size, const uint16_t *machines, unsigned machine_count,
                 KvzPeImage *out)
{
    if (size < kPeDosLfanewOffset + 4 || data[0] != 'M' || data[1] != 'Z')
        return ERROR_BAD_EXE_FORMAT;
    uint64_t signature = KvzReadLe32(data + kPeDosLfanewOffset);
    if (!Fits(signature, 4 + kPeFileHeaderSize, size) || memcmp(data + signature, "PE\0\0", 4) != 0)
        return ERROR_BAD_EXE_FORMAT;
    const uint8_t *file_header = data + signature + 4;
    KvzPeImage image;
    memset(&image, 0, sizeof image);
    image.machine = KvzReadLe16(file_header);
    image.sectionCount = KvzReadLe16(file_header + 2);
    uint16_t optional_size = KvzReadLe16(file_header + 16);
    image.characteristics = KvzReadLe16(file_header + 18);
    if (!MachineWanted(image.machine, machines, machine_count) ||
        (image.characteristics & (kPeFileExecutable | kPeFileDll)) !=
            (kPeFileExecutable | kPeFileDll) ||
        image.sectionCount == 0 || image.sectionCount > kPeMaxSections)
        return ERROR_BAD_EXE_FORMAT;

    uint64_t optional_at = signature + 4 + kPeFileHeaderSize;
    if (optional_size != kPeOptionalCeSize || !Fits(optional_at, optional_size, size))
        return ERROR_BAD_EXE_FORMAT;
    const uint8_t *optional = data + optional_at;
    uint32_t file_alignment = KvzReadLe32(optional + 36);
    uint32_t directory_count = KvzReadLe32(optional + 92);
    image.entryRva = KvzReadLe32(optional + 16);
    image.imageBase = KvzReadLe32(optional + 28);
    image.sectionAlignment = KvzReadLe32(optional + 32);
    image.imageSize = KvzReadLe32(optional + 56);
    image.headersSize = KvzReadLe32(optional + 60);
    if (KvzReadLe16(optional) != kPeOptionalMagic32 || directory_count != kPeDirectoryCount ||
        !IsPowerOfTwo(image.sectionAlignment) || image.sectionAlignment < kPePageSize ||
        !IsPowerOfTwo(file_alignment) || file_alignment > image.sectionAlignment ||
        image.imageBase % kPeImageBaseGranule != 0 || image.imageSize == 0 ||
        image.imageSize > KVZ_PE_MAX_IMAGE_SIZE || image.imageSize % image.sectionAlignment != 0 ||
        (uint64_t)image.imageBase + image.imageSize > 0x100000000ull)
        return ERROR_BAD_EXE_FORMAT;

    uint64_t table = optional_at + optional_size;
    uint64_t table_end = table + (uint64_t)image.sectionCount * kPeSectionHeaderSize;
    if (table_end > image.headersSize || image.headersSize > size ||
        image.headersSize > image.imageSize || !ReadSections(data, size, table, &image) ||
        !EntryIsCode(&image))
        return ERROR_BAD_EXE_FORMAT;

    image.exports = DirectoryEntry(optional, directory_count, kPeDirExport);
    image.imports = DirectoryEntry(optional, directory_count, kPeDirImport);
    image.relocations = DirectoryEntry(optional, directory_count, kPeDirBaseReloc);
    if (!DirectoryInImage(&image.exports, image.imageSize) ||
        !DirectoryInImage(&image.imports, image.imageSize) ||
        !DirectoryInImage(&image.relocations, image.imageSize) ||
        DirectoryEntry(optional, directory_count, kPeDirTls).rva != 0 ||
        !DiscardableOnlyRelocations(&image))
        return ERROR_BAD_EXE_FORMAT;
    if (!SubsystemVersionLoads(optional))
        return ERROR_OLD_WIN_VERSION;
    *out = image;
    return ERROR_SUCCESS;
}

void KvzPeLayOut(const KvzPeImage *image, const uint8_t *data, size_t, uint8_t *memory)
{
    memcpy(memory, data, image->headersSize);
    for (unsigned i = 0; i < image->sectionCount; i++) {
        const KvzPeSection *s = &image->sections[i];
        if (s->fileSize != 0)
            memcpy(memory + s->rva, data + s->fileOffset, s->fileSize);
    }
}

// ---- Base relocations ----

// CE patches a page alone when it loads it, with the first block for that
// page: blocks start on pages, one a page in ascending order, and no fixup
// reaches into the next page.
static DWORD WalkRelocations(const KvzPeImage *image, uint8_t *memory, uint32_t delta, bool apply)
{
    const KvzPeDirectory *dir = &image->relocations;
    uint64_t next_page = 0;
    for (uint32_t at = 0; at < dir->size;) {
        if (dir->size - at < kPeRelocBlockHeaderSize)
            return ERROR_BAD_EXE_FORMAT;
        const uint8_t *block = memory + dir->rva + at;
        uint32_t page = KvzReadLe32(block), block_size = KvzReadLe32(block + 4);
        if (block_size < kPeRelocBlockHeaderSize || block_size % 2 != 0 ||
            block_size > dir->size - at || page % kPePageSize != 0 || page < next_page)
            return ERROR_BAD_EXE_FORMAT;
        next_page = (uint64_t)page + kPePageSize;
        for (uint32_t e = kPeRelocBlockHeaderSize; e < block_size; e += 2) {
            uint16_t entry = KvzReadLe16(block + e);
            uint64_t target = (uint64_t)page + (entry & 0xFFF);
            if (entry >> 12 == kPeRelBasedAbsolute)
                continue;
            if (entry >> 12 != kPeRelBasedHighLow || (entry & 0xFFF) > kPePageSize - 4 ||
                !Fits(target, 4, image->imageSize))
                return ERROR_BAD_EXE_FORMAT;
            if (apply)
                KvzWriteLe32(memory + target, KvzReadLe32(memory + target) + delta);
        }
        at += block_size;
    }
    return ERROR_SUCCESS;
}

DWORD KvzPeRelocate(const KvzPeImage *image, uint8_t *memory, uint32_t new_base)
{
    uint32_t delta = new_base - image->imageBase;
    if (delta != 0 && (image->characteristics & kPeFileRelocsStripped) != 0)
        return ERROR_BAD_EXE_FORMAT;
    DWORD result = WalkRelocations(image, memory, delta, false);
    if (result == ERROR_SUCCESS && delta != 0)
        result = WalkRelocations(image, memory, delta, true);
    return result;
}

// ---- Exports ----

struct ExportTables {
    uint32_t base, functionCount, nameCount;
    uint32_t functions, names, ordinals; // RVAs of the three tables
};

// The export directory's header, its tables inside the image.
static bool ReadExportTables(const KvzPeImage *image, const uint8_t *memory, ExportTables *t)
{
    const KvzPeDirectory *dir = &image->exports;
    if (dir->rva == 0 || dir->size < kPeExportDirectorySize)
        return false;
    const uint8_t *header = memory + dir->rva;
    t->base = KvzReadLe32(header + 16);
    t->functionCount = KvzReadLe32(header + 20);
    t->nameCount = KvzReadLe32(header + 24);
    t->functions = KvzReadLe32(header + 28);
    t->names = KvzReadLe32(header + 32);
    t->ordinals = KvzReadLe32(header + 36);
    return t->base != 0 && (uint64_t)t->base + t->functionCount <= 0x10000 &&
           t->nameCount <= 0x10000 &&
           Fits(t->functions, (uint64_t)t->functionCount * 4, image->imageSize) &&
           Fits(t->names, (uint64_t)t->nameCount * 4, image->imageSize) &&
           Fits(t->ordinals, (uint64_t)t->nameCount * 2, image->imageSize);
}

DWORD KvzPeCheckExports(const KvzPeImage *image, const uint8_t *memory)
{
    ExportTables t;
    if (image->exports.rva == 0)
        return ERROR_SUCCESS;
    if (!ReadExportTables(image, memory, &t))
        return ERROR_BAD_EXE_FORMAT;
    for (uint32_t i = 0; i < t.nameCount; i++) {
        uint32_t name = KvzReadLe32(memory + t.names + 4 * i);
        if (ImageString(image, memory, name, kPeNameMax) == NULL ||
            KvzReadLe16(memory + t.ordinals + 2 * i) >= t.functionCount)
            return ERROR_BAD_EXE_FORMAT;
    }
    for (uint32_t i = 0; i < t.functionCount; i++) {
        if (KvzReadLe32(memory + t.functions + 4 * i) >= image->imageSize)
            return ERROR_BAD_EXE_FORMAT;
    }
    return ERROR_SUCCESS;
}

// The image's code may have rewritten its tables since the check: every
// field is checked again here.
uint32_t KvzPeFindExport(const KvzPeImage *image, const uint8_t *memory, const char *name,
                         unsigned ordinal)
{
    ExportTables t;
    if (!ReadExportTables(image, memory, &t))
        return 0;
    uint32_t index = t.functionCount;
    if (name == NULL) {
        if (ordinal >= t.base)
            index = ordinal - t.base;
    } else {
        for (uint32_t i = 0; i < t.nameCount && index == t.functionCount; i++) {
            const char *listed =
                ImageString(image, memory, KvzReadLe32(memory + t.names + 4 * i), kPeNameMax);
            if (listed != NULL && strcmp(listed, name) == 0)
                index = KvzReadLe16(memory + t.ordinals + 2 * i);
        }
    }
    if (index >= t.functionCount)
        return 0;
    uint32_t rva = KvzReadLe32(memory + t.functions + 4 * index);
    const KvzPeDirectory *dir = &image->exports;
    bool forwarded = rva >= dir->rva && rva - dir->rva < dir->size;
    return rva != 0 && rva < image->imageSize && !forwarded ? rva : 0;
}

// ---- Imports ----

// The name at `rva` copied out, so that filling slots cannot change it.
static bool CopyName(const KvzPeImage *image, const uint8_t *memory, uint32_t rva, char *out)
{
    const char *name = ImageString(image, memory, rva, kPeNameMax);
    if (name == NULL)
        return false;
    memcpy(out, name, strlen(name) + 1);
    return true;
}

// The import address table must lie in a writable section: CE writes the
// slots where the section puts them.
static bool InWritableSection(const KvzPeImage *image, uint64_t rva)
{
    for (unsigned i = 0; i < image->sectionCount; i++) {
        const KvzPeSection *s = &image->sections[i];
        if (rva >= s->rva && Fits(rva - s->rva, 4, s->extent))
            return (s->characteristics & kPeScnWrite) != 0;
    }
    return false;
}

// Binds the slots of one descriptor; `bound` counts every slot of the image.
static DWORD BindDescriptor(const KvzPeImage *image, uint8_t *memory, const char *dll,
                            uint32_t lookup, uint32_t slots, unsigned *bound, KvzPeResolver resolve,
                            void *context, char *missing, size_t missing_size)
{
    for (uint64_t i = 0;; i++) {
        uint64_t thunk_at = lookup + 4 * i, slot_at = slots + 4 * i;
        if (!Fits(thunk_at, 4, image->imageSize) || !Fits(slot_at, 4, image->imageSize))
            return ERROR_BAD_EXE_FORMAT;
        uint32_t thunk = KvzReadLe32(memory + thunk_at);
        if (thunk == 0)
            return ERROR_SUCCESS;
        if (!InWritableSection(image, slot_at))
            return ERROR_BAD_EXE_FORMAT;
        if (++*bound > kMaxImports)
            return ERROR_BAD_EXE_FORMAT;
        char name[kPeNameMax];
        uint32_t address = 0;
        DWORD result;
        if ((thunk & kPeImportByOrdinal) != 0) {
            if ((thunk & 0x7FFF0000u) != 0)
                return ERROR_BAD_EXE_FORMAT;
            result = resolve(context, dll, NULL, thunk & 0xFFFF, &address);
            if (result != ERROR_SUCCESS && missing_size > 0)
                snprintf(missing, missing_size, "%s#%u", dll, (unsigned)(thunk & 0xFFFF));
        } else {
            if (!CopyName(image, memory, thunk + 2, name)) // after the 16-bit hint
                return ERROR_BAD_EXE_FORMAT;
            result = resolve(context, dll, name, 0, &address);
            if (result != ERROR_SUCCESS && missing_size > 0)
                snprintf(missing, missing_size, "%s!%s", dll, name);
        }
        if (result != ERROR_SUCCESS)
            return result;
        KvzWriteLe32(memory + slot_at, address);
    }
}

DWORD KvzPeBindImports(const KvzPeImage *image, uint8_t *memory, KvzPeResolver resolve,
                       void *context, char *missing, size_t missing_size)
{
    if (missing_size > 0)
        missing[0] = 0;
    if (image->imports.rva == 0)
        return ERROR_SUCCESS;
    unsigned bound = 0;
    // Descriptors run to an empty one; the directory's size is not trusted
    // to count them, as on Windows. CE stops at the first without a lookup
    // table, so one that has only slots would leave them unbound there.
    for (uint64_t at = image->imports.rva;; at += kPeImportDescriptorSize) {
        if (!Fits(at, kPeImportDescriptorSize, image->imageSize))
            return ERROR_BAD_EXE_FORMAT;
        const uint8_t *descriptor = memory + at;
        uint32_t lookup = KvzReadLe32(descriptor), name = KvzReadLe32(descriptor + 12);
        uint32_t slots = KvzReadLe32(descriptor + 16);
        if (lookup == 0 && name == 0 && slots == 0)
            return ERROR_SUCCESS;
        char dll[kPeNameMax];
        if (lookup == 0 || name == 0 || slots == 0 || !CopyName(image, memory, name, dll))
            return ERROR_BAD_EXE_FORMAT;
        DWORD result = BindDescriptor(image, memory, dll, lookup, slots, &bound, resolve, context,
                                      missing, missing_size);
        if (result != ERROR_SUCCESS)
            return result;
    }
}
