#include "imports.h"

#include <cstdlib>
#include <cstring>

static const size_t kPrefixLength = sizeof kImportSlotPrefix - 1;

static int CompareSlots(const void *a, const void *b)
{
    uint32_t x = ((const ImportSlot *)a)->rva, y = ((const ImportSlot *)b)->rva;
    return x < y ? -1 : x > y;
}

static bool TakeSlot(const ElfFile *elf, const ElfSymbol *sym, const NameList *coredll,
                     const ImageLayout *layout, Imports *out, Diag *d)
{
    const char *name = sym->name + kPrefixLength;
    if (!NameListContains(coredll, name))
        return DiagFail(d, "import slot %s: %s is not exported by coredll.dll", sym->name, name);
    const ImageSection *placed = LayoutFindSymbol(layout, elf, sym, 4);
    if (!placed || !placed->elf || !(placed->flags & kPeScnWrite) ||
        (placed->flags & kPeScnUninitializedData))
        return DiagFail(d, "import slot %s at 0x%08x does not lie in writable data", sym->name,
                        sym->value);
    if (sym->value % 4 != 0)
        return DiagFail(d, "import slot %s at 0x%08x is not word-aligned", sym->name, sym->value);
    out->slots[out->count].name = name;
    out->slots[out->count].rva = sym->value - layout->base;
    out->count++;
    return true;
}

// The slots form one table: each 4 bytes after the last, then a zero word.
static bool CheckTable(const ElfFile *elf, const ImageLayout *layout, const Imports *imports,
                       Diag *d)
{
    for (uint32_t i = 1; i < imports->count; i++) {
        const ImportSlot *a = &imports->slots[i - 1], *b = &imports->slots[i];
        if (b->rva != a->rva + 4)
            return DiagFail(d,
                            "import slots __imp_%s (0x%08x) and __imp_%s (0x%08x) are not "
                            "adjacent: the import address table must be contiguous",
                            a->name, layout->base + a->rva, b->name, layout->base + b->rva);
    }
    const ImportSlot *first = &imports->slots[0], *last = &imports->slots[imports->count - 1];
    uint32_t end = last->rva + 4;
    // Slots and end word in one section with file bytes: the IAT is written there.
    const ImageSection *home = LayoutFind(layout, first->rva, end + 4 - first->rva);
    if (!home || !home->elf || (home->flags & kPeScnUninitializedData))
        return DiagFail(d,
                        "import address table: __imp_%s to the word after __imp_%s does not "
                        "lie in one data section",
                        first->name, last->name);
    const uint8_t *word = ElfSectionBytes(elf, home->elf) + (end - home->rva);
    if (ReadLe32(word) != 0)
        return DiagFail(d, "import address table: no zero word after __imp_%s at 0x%08x",
                        last->name, layout->base + end);
    return true;
}

// ---- The import section ----
// One descriptor and the all-zero one that ends the list, the lookup table,
// the DLL's name, then a hint/name entry per slot, each on 2 bytes.

static uint32_t HintNameSize(const char *name)
{
    return (uint32_t)AlignUp(2 + (uint32_t)strlen(name) + 1, 2);
}

static uint32_t LookupOffset()
{
    return 2 * kPeImportDescriptorSize;
}

static uint32_t DllNameOffset(const Imports *imports)
{
    return LookupOffset() + 4 * (imports->count + 1);
}

static uint32_t HintNamesOffset(const Imports *imports)
{
    return DllNameOffset(imports) + (uint32_t)AlignUp(sizeof kImportDllName, 2);
}

bool ImportsCollect(const ElfFile *elf, const NameList *coredll, const ImageLayout *layout,
                    Imports *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    out->slots = (ImportSlot *)calloc(elf->symbolCount, sizeof(ImportSlot));
    if (!out->slots)
        return DiagFail(d, "out of memory for %u symbols", elf->symbolCount);
    for (uint32_t i = 1; i < elf->symbolCount; i++) {
        const ElfSymbol *sym = &elf->symbols[i];
        if (sym->bind == kElfStbGlobal && sym->shndx != kElfShnUndef &&
            strncmp(sym->name, kImportSlotPrefix, kPrefixLength) == 0 &&
            !TakeSlot(elf, sym, coredll, layout, out, d)) {
            ImportsFree(out);
            return false;
        }
    }
    qsort(out->slots, out->count, sizeof out->slots[0], CompareSlots);
    if (out->count && !CheckTable(elf, layout, out, d)) {
        ImportsFree(out);
        return false;
    }
    return true;
}

void ImportsFree(Imports *imports)
{
    free(imports->slots);
    memset(imports, 0, sizeof *imports);
}

uint32_t ImportsIatRva(const Imports *imports)
{
    return imports->count ? imports->slots[0].rva : 0;
}

uint32_t ImportsIatSize(const Imports *imports)
{
    return imports->count ? 4 * (imports->count + 1) : 0;
}

uint32_t ImportsTableSize(const Imports *imports)
{
    if (!imports->count)
        return 0;
    uint32_t size = HintNamesOffset(imports);
    for (uint32_t i = 0; i < imports->count; i++)
        size += HintNameSize(imports->slots[i].name);
    return size;
}

void ImportsWrite(const Imports *imports, uint32_t section_rva, uint8_t *section, uint8_t *iat)
{
    if (!imports->count)
        return;
    WriteLe32(section + kPeImportLookupOffset, section_rva + LookupOffset());
    WriteLe32(section + kPeImportNameOffset, section_rva + DllNameOffset(imports));
    WriteLe32(section + kPeImportSlotsOffset, ImportsIatRva(imports));
    memcpy(section + DllNameOffset(imports), kImportDllName, sizeof kImportDllName);
    uint32_t entry = HintNamesOffset(imports);
    for (uint32_t i = 0; i < imports->count; i++) {
        const char *name = imports->slots[i].name;
        WriteLe32(section + LookupOffset() + 4 * i, section_rva + entry);
        WriteLe32(iat + 4 * i, section_rva + entry);
        WriteLe16(section + entry, 0); // hint: the loader looks the name up
        memcpy(section + entry + 2, name, strlen(name) + 1);
        entry += HintNameSize(name);
    }
}
