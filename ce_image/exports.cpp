#include "exports.h"

#include "elf_arm.h"

#include <cstdlib>
#include <cstring>

namespace
{

int compare_names(const void *a, const void *b)
{
    return strcmp(((const ExportEntry *)a)->name, ((const ExportEntry *)b)->name);
}

uint32_t address_table_offset()
{
    return kPeExportDirectorySize;
}
uint32_t name_table_offset(const Exports *e)
{
    return address_table_offset() + 4 * e->function_count;
}
uint32_t ordinal_table_offset(const Exports *e)
{
    return name_table_offset(e) + 4 * e->count;
}
uint32_t strings_offset(const Exports *e)
{
    return ordinal_table_offset(e) + 2 * e->count;
}

} // namespace

bool exports_function_rva(const ElfFile *elf, const ImageLayout *layout, const char *name,
                          uint32_t *rva, Diag *d)
{
    const ElfSymbol *sym = elf_find_global(elf, name);
    if (!sym)
        return diag_fail(d, "symbol %s: not defined in the ELF", name);
    if (sym->bind != kElfStbGlobal || sym->type != kElfSttFunc)
        return diag_fail(d, "symbol %s: not a global function", name);
    const ImageSection *placed = nullptr;
    if (sym->shndx < elf->section_count && sym->value >= layout->base)
        placed = layout_find(layout, sym->value - layout->base, 1);
    if (!placed || !(placed->flags & kPeScnCode))
        return diag_fail(d, "symbol %s at 0x%08x: not in the image's code", name, sym->value);
    *rva = sym->value - layout->base;
    return true;
}

bool exports_collect(const ElfFile *elf, const DefFile *def, const char *dll_name,
                     const ImageLayout *layout, Exports *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    out->entries = (ExportEntry *)calloc(def->count ? def->count : 1, sizeof(ExportEntry));
    if (!out->entries)
        return diag_fail(d, "out of memory for %u exports", def->count);
    uint32_t low = kPeMaxOrdinal, high = 0;
    for (uint32_t i = 0; i < def->count; i++) {
        ExportEntry *e = &out->entries[out->count];
        e->name = def->exports[i].name;
        e->ordinal = def->exports[i].ordinal;
        Diag why;
        if (!exports_function_rva(elf, layout, e->name, &e->rva, &why)) {
            exports_free(out);
            return diag_fail(d, "export @%u: %s", def->exports[i].ordinal, why.text);
        }
        low = e->ordinal < low ? e->ordinal : low;
        high = e->ordinal > high ? e->ordinal : high;
        out->count++;
    }
    qsort(out->entries, out->count, sizeof out->entries[0], compare_names);
    out->ordinal_base = low;
    out->function_count = out->count ? high - low + 1 : 0;
    out->dll_name = dll_name;
    return true;
}

void exports_free(Exports *exports)
{
    free(exports->entries);
    memset(exports, 0, sizeof *exports);
}

uint32_t exports_table_size(const Exports *exports)
{
    uint32_t size = strings_offset(exports) + (uint32_t)strlen(exports->dll_name) + 1;
    for (uint32_t i = 0; i < exports->count; i++)
        size += (uint32_t)strlen(exports->entries[i].name) + 1;
    return size;
}

void exports_write(const Exports *e, uint32_t section_rva, uint8_t *section)
{
    uint32_t strings = strings_offset(e);
    // Characteristics, TimeDateStamp and version stay 0: the image is reproducible.
    put_le32(section + 12, section_rva + strings); // Name
    put_le32(section + 16, e->ordinal_base);
    put_le32(section + 20, e->function_count);
    put_le32(section + 24, e->count); // NumberOfNames
    put_le32(section + 28, section_rva + address_table_offset());
    put_le32(section + 32, section_rva + name_table_offset(e));
    put_le32(section + 36, section_rva + ordinal_table_offset(e));
    size_t length = strlen(e->dll_name) + 1;
    memcpy(section + strings, e->dll_name, length);
    strings += (uint32_t)length;
    for (uint32_t i = 0; i < e->count; i++) {
        const ExportEntry *entry = &e->entries[i];
        uint32_t index = entry->ordinal - e->ordinal_base;
        put_le32(section + address_table_offset() + 4 * index, entry->rva);
        put_le32(section + name_table_offset(e) + 4 * i, section_rva + strings);
        put_le16(section + ordinal_table_offset(e) + 2 * i, index);
        length = strlen(entry->name) + 1;
        memcpy(section + strings, entry->name, length);
        strings += (uint32_t)length;
    }
}
