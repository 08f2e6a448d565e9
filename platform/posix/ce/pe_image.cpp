// PE32 headers and the walks of its export, import and relocation tables;
// see pe_image.h. Fields are read byte by byte: little-endian whatever the
// host, and never an unaligned word access.
#include "platform/posix/ce/pe_image.h"

#include <stdio.h>
#include <string.h>

// Offsets of the PE32 headers' fields used here.
#define DOS_LFANEW 0x3C     // file offset of the PE signature
#define FILE_HEADER_SIZE 20 // IMAGE_FILE_HEADER, after the signature
#define OPTIONAL_MAGIC_PE32 0x10B
#define OPTIONAL_FIXED_SIZE 96 // PE32 optional header up to its directories
#define DIRECTORY_COUNT_MAX 16 // IMAGE_NUMBEROF_DIRECTORY_ENTRIES
// CE reads the section table at e_lfanew + 0xF8 and 16 directories whatever
// the header says, so a CE DLL must have exactly this optional header.
#define OPTIONAL_CE_SIZE (OPTIONAL_FIXED_SIZE + 8 * DIRECTORY_COUNT_MAX)
#define SUBSYSTEM_WINDOWS_CE_GUI 9
// The oldest CE the kit runs on, 4.20: a later subsystem version would not load there.
#define CE_VERSION_MAJOR 4
#define CE_VERSION_MINOR 20
#define SECTION_HEADER_SIZE 40 // IMAGE_SECTION_HEADER
#define EXPORT_HEADER_SIZE 40  // IMAGE_EXPORT_DIRECTORY
#define IMPORT_DESCRIPTOR_SIZE 20
#define RELOC_BLOCK_HEADER 8        // page RVA, block size
#define IMAGE_BASE_GRANULE 0x10000u // image bases are multiples of 64 KiB
#define ORDINAL_FLAG 0x80000000u    // an import thunk naming an ordinal
// No CE DLL imports more than a few hundred calls; the cap bounds the walk
// of a table whose descriptors all share one long thunk list.
#define PE_MAX_IMPORTS 8192

/* ---- Bytes ---- */

static uint16_t read16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

static uint32_t read32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void write32(uint8_t *p, uint32_t value)
{
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
    p[2] = (uint8_t)(value >> 16);
    p[3] = (uint8_t)(value >> 24);
}

// [offset, offset + length) lies within `size` bytes.
static bool fits(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

static bool power_of_two(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

static uint64_t align_up(uint64_t value, uint32_t alignment)
{
    return (value + alignment - 1) & ~(uint64_t)(alignment - 1);
}

// The terminated string at `rva`, at most `max` bytes with its terminator.
static const char *image_string(const PeImage *image, const uint8_t *memory, uint32_t rva,
                                size_t max)
{
    if (rva >= image->image_size)
        return NULL;
    size_t room = image->image_size - rva;
    if (room > max)
        room = max;
    return memchr(memory + rva, 0, room) != NULL ? (const char *)(memory + rva) : NULL;
}

/* ---- Headers and sections ---- */

static bool machine_wanted(uint16_t machine, const uint16_t *machines, unsigned count)
{
    for (unsigned i = 0; i < count; i++) {
        if (machines[i] == machine)
            return true;
    }
    return false;
}

// Directory `index` of the optional header, empty when the header has none.
static PeDirectory directory(const uint8_t *optional, uint32_t count, unsigned index)
{
    PeDirectory dir = {0, 0};
    if (index < count) {
        dir.rva = read32(optional + OPTIONAL_FIXED_SIZE + 8 * index);
        dir.size = dir.rva != 0 ? read32(optional + OPTIONAL_FIXED_SIZE + 8 * index + 4) : 0;
    }
    return dir;
}

static bool read_sections(const uint8_t *data, size_t size, uint64_t table, PeImage *image)
{
    uint64_t next_free = align_up(image->headers_size, image->section_alignment);
    for (unsigned i = 0; i < image->section_count; i++) {
        const uint8_t *header = data + table + (uint64_t)i * SECTION_HEADER_SIZE;
        PeSection *section = &image->sections[i];
        memcpy(section->name, header, 8);
        section->name[8] = 0;
        uint32_t virtual_size = read32(header + 8), raw_size = read32(header + 16);
        section->rva = read32(header + 12);
        section->extent = virtual_size != 0 ? virtual_size : raw_size;
        section->file_offset = read32(header + 20);
        section->file_size = raw_size < section->extent ? raw_size : section->extent;
        section->characteristics = read32(header + 36);
        // Ascending, apart, on pages of their own, inside the image and the file.
        if (section->rva % image->section_alignment != 0 || section->rva < next_free ||
            !fits(section->rva, section->extent, image->image_size) ||
            (raw_size != 0 && !fits(section->file_offset, raw_size, size)))
            return false;
        // CE may take a read-only page from a pool it does not clear: such a
        // section needs file bytes for all of it.
        if ((section->characteristics & PE_SCN_WRITE) == 0 && section->file_size < section->extent)
            return false;
        next_free = section->rva + align_up(section->extent, image->section_alignment);
    }
    return true;
}

static bool entry_is_code(const PeImage *image)
{
    uint32_t entry = image->entry_rva & ~1u; // bit 0 marks Thumb code
    if (image->entry_rva == 0)
        return true;
    for (unsigned i = 0; i < image->section_count; i++) {
        const PeSection *s = &image->sections[i];
        if (entry >= s->rva && fits(entry - s->rva, 2, s->extent))
            return (s->characteristics & PE_SCN_EXECUTE) != 0;
    }
    return false;
}

static bool directory_in_image(const PeDirectory *dir, uint32_t image_size)
{
    return dir->rva == 0 || fits(dir->rva, dir->size, image_size);
}

// CE decommits discardable sections once the image is loaded: such a section
// may hold the base relocations and nothing else.
static bool discardable_only_relocations(const PeImage *image)
{
    const PeDirectory *relocations = &image->relocations;
    for (unsigned i = 0; i < image->section_count; i++) {
        const PeSection *s = &image->sections[i];
        if ((s->characteristics & PE_SCN_DISCARDABLE) != 0 && s->extent != 0 &&
            (s->rva < relocations->rva ||
             (uint64_t)s->rva + s->extent > (uint64_t)relocations->rva + relocations->size))
            return false;
    }
    return true;
}

// At most the oldest CE version the kit runs on.
static bool subsystem_version_loads(const uint8_t *optional)
{
    uint16_t major = read16(optional + 48), minor = read16(optional + 50);
    return read16(optional + 68) != SUBSYSTEM_WINDOWS_CE_GUI || major < CE_VERSION_MAJOR ||
           (major == CE_VERSION_MAJOR && minor <= CE_VERSION_MINOR);
}

DWORD PeParse(const uint8_t *data, size_t size, const uint16_t *machines, unsigned machine_count,
              PeImage *out)
{
    if (size < DOS_LFANEW + 4 || data[0] != 'M' || data[1] != 'Z')
        return ERROR_BAD_EXE_FORMAT;
    uint64_t signature = read32(data + DOS_LFANEW);
    if (!fits(signature, 4 + FILE_HEADER_SIZE, size) || memcmp(data + signature, "PE\0\0", 4) != 0)
        return ERROR_BAD_EXE_FORMAT;
    const uint8_t *file_header = data + signature + 4;
    PeImage image;
    memset(&image, 0, sizeof image);
    image.machine = read16(file_header);
    image.section_count = read16(file_header + 2);
    uint16_t optional_size = read16(file_header + 16);
    image.characteristics = read16(file_header + 18);
    if (!machine_wanted(image.machine, machines, machine_count) ||
        (image.characteristics & (PE_FILE_EXECUTABLE | PE_FILE_DLL)) !=
            (PE_FILE_EXECUTABLE | PE_FILE_DLL) ||
        image.section_count == 0 || image.section_count > PE_MAX_SECTIONS)
        return ERROR_BAD_EXE_FORMAT;

    uint64_t optional_at = signature + 4 + FILE_HEADER_SIZE;
    if (optional_size != OPTIONAL_CE_SIZE || !fits(optional_at, optional_size, size))
        return ERROR_BAD_EXE_FORMAT;
    const uint8_t *optional = data + optional_at;
    uint32_t file_alignment = read32(optional + 36);
    uint32_t directory_count = read32(optional + 92);
    image.entry_rva = read32(optional + 16);
    image.image_base = read32(optional + 28);
    image.section_alignment = read32(optional + 32);
    image.image_size = read32(optional + 56);
    image.headers_size = read32(optional + 60);
    if (read16(optional) != OPTIONAL_MAGIC_PE32 || directory_count != DIRECTORY_COUNT_MAX ||
        !power_of_two(image.section_alignment) || image.section_alignment < PE_PAGE_SIZE ||
        !power_of_two(file_alignment) || file_alignment > image.section_alignment ||
        image.image_base % IMAGE_BASE_GRANULE != 0 || image.image_size == 0 ||
        image.image_size > PE_MAX_IMAGE_SIZE || image.image_size % image.section_alignment != 0 ||
        (uint64_t)image.image_base + image.image_size > 0x100000000ull)
        return ERROR_BAD_EXE_FORMAT;

    uint64_t table = optional_at + optional_size;
    uint64_t table_end = table + (uint64_t)image.section_count * SECTION_HEADER_SIZE;
    if (table_end > image.headers_size || image.headers_size > size ||
        image.headers_size > image.image_size || !read_sections(data, size, table, &image) ||
        !entry_is_code(&image))
        return ERROR_BAD_EXE_FORMAT;

    image.exports = directory(optional, directory_count, PE_DIR_EXPORT);
    image.imports = directory(optional, directory_count, PE_DIR_IMPORT);
    image.relocations = directory(optional, directory_count, PE_DIR_BASERELOC);
    if (!directory_in_image(&image.exports, image.image_size) ||
        !directory_in_image(&image.imports, image.image_size) ||
        !directory_in_image(&image.relocations, image.image_size) ||
        directory(optional, directory_count, PE_DIR_TLS).rva != 0 ||
        !discardable_only_relocations(&image))
        return ERROR_BAD_EXE_FORMAT;
    if (!subsystem_version_loads(optional))
        return ERROR_OLD_WIN_VERSION;
    *out = image;
    return ERROR_SUCCESS;
}

void PeLayOut(const PeImage *image, const uint8_t *data, size_t, uint8_t *memory)
{
    memcpy(memory, data, image->headers_size);
    for (unsigned i = 0; i < image->section_count; i++) {
        const PeSection *s = &image->sections[i];
        if (s->file_size != 0)
            memcpy(memory + s->rva, data + s->file_offset, s->file_size);
    }
}

/* ---- Base relocations ---- */

// CE patches a page alone when it loads it, with the first block for that
// page: blocks start on pages, one a page in ascending order, and no fixup
// reaches into the next page.
static DWORD walk_relocations(const PeImage *image, uint8_t *memory, uint32_t delta, bool apply)
{
    const PeDirectory *dir = &image->relocations;
    uint64_t next_page = 0;
    for (uint32_t at = 0; at < dir->size;) {
        if (dir->size - at < RELOC_BLOCK_HEADER)
            return ERROR_BAD_EXE_FORMAT;
        const uint8_t *block = memory + dir->rva + at;
        uint32_t page = read32(block), block_size = read32(block + 4);
        if (block_size < RELOC_BLOCK_HEADER || block_size % 2 != 0 || block_size > dir->size - at ||
            page % PE_PAGE_SIZE != 0 || page < next_page)
            return ERROR_BAD_EXE_FORMAT;
        next_page = (uint64_t)page + PE_PAGE_SIZE;
        for (uint32_t e = RELOC_BLOCK_HEADER; e < block_size; e += 2) {
            uint16_t entry = read16(block + e);
            uint64_t target = (uint64_t)page + (entry & 0xFFF);
            if (entry >> 12 == PE_REL_ABSOLUTE)
                continue;
            if (entry >> 12 != PE_REL_HIGHLOW || (entry & 0xFFF) > PE_PAGE_SIZE - 4 ||
                !fits(target, 4, image->image_size))
                return ERROR_BAD_EXE_FORMAT;
            if (apply)
                write32(memory + target, read32(memory + target) + delta);
        }
        at += block_size;
    }
    return ERROR_SUCCESS;
}

DWORD PeRelocate(const PeImage *image, uint8_t *memory, uint32_t new_base)
{
    uint32_t delta = new_base - image->image_base;
    if (delta != 0 && (image->characteristics & PE_FILE_RELOCS_STRIPPED) != 0)
        return ERROR_BAD_EXE_FORMAT;
    DWORD result = walk_relocations(image, memory, delta, false);
    if (result == ERROR_SUCCESS && delta != 0)
        result = walk_relocations(image, memory, delta, true);
    return result;
}

/* ---- Exports ---- */

struct ExportTables {
    uint32_t base, function_count, name_count;
    uint32_t functions, names, ordinals; // RVAs of the three tables
};

// The export directory's header, its tables inside the image.
static bool export_tables(const PeImage *image, const uint8_t *memory, ExportTables *t)
{
    const PeDirectory *dir = &image->exports;
    if (dir->rva == 0 || dir->size < EXPORT_HEADER_SIZE)
        return false;
    const uint8_t *header = memory + dir->rva;
    t->base = read32(header + 16);
    t->function_count = read32(header + 20);
    t->name_count = read32(header + 24);
    t->functions = read32(header + 28);
    t->names = read32(header + 32);
    t->ordinals = read32(header + 36);
    return t->base != 0 && (uint64_t)t->base + t->function_count <= 0x10000 &&
           t->name_count <= 0x10000 &&
           fits(t->functions, (uint64_t)t->function_count * 4, image->image_size) &&
           fits(t->names, (uint64_t)t->name_count * 4, image->image_size) &&
           fits(t->ordinals, (uint64_t)t->name_count * 2, image->image_size);
}

DWORD PeCheckExports(const PeImage *image, const uint8_t *memory)
{
    ExportTables t;
    if (image->exports.rva == 0)
        return ERROR_SUCCESS;
    if (!export_tables(image, memory, &t))
        return ERROR_BAD_EXE_FORMAT;
    for (uint32_t i = 0; i < t.name_count; i++) {
        uint32_t name = read32(memory + t.names + 4 * i);
        if (image_string(image, memory, name, PE_NAME_MAX) == NULL ||
            read16(memory + t.ordinals + 2 * i) >= t.function_count)
            return ERROR_BAD_EXE_FORMAT;
    }
    for (uint32_t i = 0; i < t.function_count; i++) {
        if (read32(memory + t.functions + 4 * i) >= image->image_size)
            return ERROR_BAD_EXE_FORMAT;
    }
    return ERROR_SUCCESS;
}

// The image's code may have rewritten its tables since the check: every
// field is checked again here.
uint32_t PeFindExport(const PeImage *image, const uint8_t *memory, const char *name,
                      unsigned ordinal)
{
    ExportTables t;
    if (!export_tables(image, memory, &t))
        return 0;
    uint32_t index = t.function_count;
    if (name == NULL) {
        if (ordinal >= t.base)
            index = ordinal - t.base;
    } else {
        for (uint32_t i = 0; i < t.name_count && index == t.function_count; i++) {
            const char *listed =
                image_string(image, memory, read32(memory + t.names + 4 * i), PE_NAME_MAX);
            if (listed != NULL && strcmp(listed, name) == 0)
                index = read16(memory + t.ordinals + 2 * i);
        }
    }
    if (index >= t.function_count)
        return 0;
    uint32_t rva = read32(memory + t.functions + 4 * index);
    const PeDirectory *dir = &image->exports;
    bool forwarded = rva >= dir->rva && rva - dir->rva < dir->size;
    return rva != 0 && rva < image->image_size && !forwarded ? rva : 0;
}

/* ---- Imports ---- */

// The name at `rva` copied out, so that filling slots cannot change it.
static bool copy_name(const PeImage *image, const uint8_t *memory, uint32_t rva, char *out)
{
    const char *name = image_string(image, memory, rva, PE_NAME_MAX);
    if (name == NULL)
        return false;
    memcpy(out, name, strlen(name) + 1);
    return true;
}

// The import address table must lie in a writable section: CE writes the
// slots where the section puts them.
static bool in_writable_section(const PeImage *image, uint64_t rva)
{
    for (unsigned i = 0; i < image->section_count; i++) {
        const PeSection *s = &image->sections[i];
        if (rva >= s->rva && fits(rva - s->rva, 4, s->extent))
            return (s->characteristics & PE_SCN_WRITE) != 0;
    }
    return false;
}

// Binds the slots of one descriptor; `bound` counts every slot of the image.
static DWORD bind_descriptor(const PeImage *image, uint8_t *memory, const char *dll,
                             uint32_t lookup, uint32_t slots, unsigned *bound, PeResolver resolve,
                             void *context, char *missing, size_t missing_size)
{
    for (uint64_t i = 0;; i++) {
        uint64_t thunk_at = lookup + 4 * i, slot_at = slots + 4 * i;
        if (!fits(thunk_at, 4, image->image_size) || !fits(slot_at, 4, image->image_size))
            return ERROR_BAD_EXE_FORMAT;
        uint32_t thunk = read32(memory + thunk_at);
        if (thunk == 0)
            return ERROR_SUCCESS;
        if (!in_writable_section(image, slot_at))
            return ERROR_BAD_EXE_FORMAT;
        if (++*bound > PE_MAX_IMPORTS)
            return ERROR_BAD_EXE_FORMAT;
        char name[PE_NAME_MAX];
        uint32_t address = 0;
        DWORD result;
        if ((thunk & ORDINAL_FLAG) != 0) {
            if ((thunk & 0x7FFF0000u) != 0)
                return ERROR_BAD_EXE_FORMAT;
            result = resolve(context, dll, NULL, thunk & 0xFFFF, &address);
            if (result != ERROR_SUCCESS && missing_size > 0)
                snprintf(missing, missing_size, "%s#%u", dll, (unsigned)(thunk & 0xFFFF));
        } else {
            if (!copy_name(image, memory, thunk + 2, name)) // after the 16-bit hint
                return ERROR_BAD_EXE_FORMAT;
            result = resolve(context, dll, name, 0, &address);
            if (result != ERROR_SUCCESS && missing_size > 0)
                snprintf(missing, missing_size, "%s!%s", dll, name);
        }
        if (result != ERROR_SUCCESS)
            return result;
        write32(memory + slot_at, address);
    }
}

DWORD PeBindImports(const PeImage *image, uint8_t *memory, PeResolver resolve, void *context,
                    char *missing, size_t missing_size)
{
    if (missing_size > 0)
        missing[0] = 0;
    if (image->imports.rva == 0)
        return ERROR_SUCCESS;
    unsigned bound = 0;
    // Descriptors run to an empty one; the directory's size is not trusted
    // to count them, as on Windows. CE stops at the first without a lookup
    // table, so one that has only slots would leave them unbound there.
    for (uint64_t at = image->imports.rva;; at += IMPORT_DESCRIPTOR_SIZE) {
        if (!fits(at, IMPORT_DESCRIPTOR_SIZE, image->image_size))
            return ERROR_BAD_EXE_FORMAT;
        const uint8_t *descriptor = memory + at;
        uint32_t lookup = read32(descriptor), name = read32(descriptor + 12);
        uint32_t slots = read32(descriptor + 16);
        if (lookup == 0 && name == 0 && slots == 0)
            return ERROR_SUCCESS;
        char dll[PE_NAME_MAX];
        if (lookup == 0 || name == 0 || slots == 0 || !copy_name(image, memory, name, dll))
            return ERROR_BAD_EXE_FORMAT;
        DWORD result = bind_descriptor(image, memory, dll, lookup, slots, &bound, resolve, context,
                                       missing, missing_size);
        if (result != ERROR_SUCCESS)
            return result;
    }
}
