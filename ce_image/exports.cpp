#include "exports.h"

#include <cstdlib>
#include <cstring>

static int CompareNames(const void *a, const void *b)
{
    return strcmp(((const ExportEntry *)a)->name, ((const ExportEntry *)b)->name);
}

// ---- The export section ----
// The directory, the address table, the name pointer and ordinal tables,
// then the DLL's name and the export names.

static uint32_t AddressTableOffset()
{
    return kPeExportDirectorySize;
}

static uint32_t NameTableOffset(const Exports *e)
{
    return AddressTableOffset() + 4 * e->functionCount;
}

static uint32_t OrdinalTableOffset(const Exports *e)
{
    return NameTableOffset(e) + 4 * e->count;
}

static uint32_t StringsOffset(const Exports *e)
{
    return OrdinalTableOffset(e) + 2 * e->count;
}

bool ExportsFunctionRva(const ElfFile *elf, const ImageLayout *layout, const char *name,
                        uint32_t *rva, Diag *d)
{
    const ElfSymbol *sym = ElfFindGlobal(elf, name);
    if (!sym)
        return DiagFail(d, "symbol %s: not defined in the ELF", name);
    if (sym->bind != kElfStbGlobal || sym->type != kElfSttFunc)
        return DiagFail(d, "symbol %s: not a global function", name);
    const ImageSection *placed = LayoutFindSymbol(layout, elf, sym, 1);
    if (!placed || !(placed->flags & kPeScnCode))
        return DiagFail(d, "symbol %s at 0x%08x: not in the image's code", name, sym->value);
    *rva = sym->value - layout->base;
    return true;
}

bool ExportsCollect(const ElfFile *elf, const DefFile *def, const char *dll_name,
                    const ImageLayout *layout, Exports *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    out->entries = (ExportEntry *)calloc(def->count ? def->count : 1, sizeof(ExportEntry));
    if (!out->entries)
        return DiagFail(d, "out of memory for %u exports", def->count);
    uint32_t low = kPeMaxOrdinal, high = 0;
    for (uint32_t i = 0; i < def->count; i++) {
        ExportEntry *e = &out->entries[out->count];
        e->name = def->exports[i].name;
        e->ordinal = def->exports[i].ordinal;
        Diag why;
        if (!ExportsFunctionRva(elf, layout, e->name, &e->rva, &why)) {
            ExportsFree(out);
            return DiagFail(d, "export @%u: %s", def->exports[i].ordinal, why.text);
        }
        low = e->ordinal < low ? e->ordinal : low;
        high = e->ordinal > high ? e->ordinal : high;
        out->count++;
    }
    qsort(out->entries, out->count, sizeof out->entries[0], CompareNames);
    out->ordinalBase = low;
    out->functionCount = out->count ? high - low + 1 : 0;
    out->dllName = dll_name;
    return true;
}

void ExportsFree(Exports *exports)
{
    free(exports->entries);
    memset(exports, 0, sizeof *exports);
}

uint32_t ExportsTableSize(const Exports *exports)
{
    uint32_t size = StringsOffset(exports) + (uint32_t)strlen(exports->dllName) + 1;
    for (uint32_t i = 0; i < exports->count; i++)
        size += (uint32_t)strlen(exports->entries[i].name) + 1;
    return size;
}

void ExportsWrite(const Exports *e, uint32_t section_rva, uint8_t *section)
{
    uint32_t strings = StringsOffset(e);
    // Characteristics, TimeDateStamp and version stay 0: the image is reproducible.
    WriteLe32(section + 12, section_rva + strings); // Name
    WriteLe32(section + 16, e->ordinalBase);
    WriteLe32(section + 20, e->functionCount);
    WriteLe32(section + 24, e->count); // NumberOfNames
    WriteLe32(section + 28, section_rva + AddressTableOffset());
    WriteLe32(section + 32, section_rva + NameTableOffset(e));
    WriteLe32(section + 36, section_rva + OrdinalTableOffset(e));
    size_t length = strlen(e->dllName) + 1;
    memcpy(section + strings, e->dllName, length);
    strings += (uint32_t)length;
    for (uint32_t i = 0; i < e->count; i++) {
        const ExportEntry *entry = &e->entries[i];
        uint32_t index = entry->ordinal - e->ordinalBase;
        WriteLe32(section + AddressTableOffset() + 4 * index, entry->rva);
        WriteLe32(section + NameTableOffset(e) + 4 * i, section_rva + strings);
        WriteLe16(section + OrdinalTableOffset(e) + 2 * i, index);
        length = strlen(entry->name) + 1;
        memcpy(section + strings, entry->name, length);
        strings += (uint32_t)length;
    }
}
