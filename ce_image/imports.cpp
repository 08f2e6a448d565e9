#include "imports.h"

#include "elf_arm.h"

#include <cstdlib>
#include <cstring>

namespace
{

const size_t kPrefixLength = sizeof kImportSlotPrefix - 1;

int compare_slots(const void *a, const void *b)
{
    uint32_t x = ((const ImportSlot *)a)->rva, y = ((const ImportSlot *)b)->rva;
    return x < y ? -1 : x > y;
}

bool take_slot(const ElfFile *elf, const ElfSymbol *sym, const NameList *coredll,
               const ImageLayout *layout, Imports *out, Diag *d)
{
    const char *name = sym->name + kPrefixLength;
    if (!name_list_contains(coredll, name))
        return diag_fail(d, "import slot %s: %s is not exported by coredll.dll", sym->name, name);
    const ImageSection *placed = nullptr;
    if (sym->shndx < elf->section_count && sym->value >= layout->base)
        placed = layout_find(layout, sym->value - layout->base, 4);
    if (!placed || !placed->elf || !(placed->flags & kPeScnWrite) ||
        (placed->flags & kPeScnUninitializedData))
        return diag_fail(d, "import slot %s at 0x%08x does not lie in writable data", sym->name,
                         sym->value);
    if (sym->value % 4 != 0)
        return diag_fail(d, "import slot %s at 0x%08x is not word-aligned", sym->name, sym->value);
    out->slots[out->count].name = name;
    out->slots[out->count].rva = sym->value - layout->base;
    out->count++;
    return true;
}

// The slots form one table: each 4 bytes after the last, then a zero word.
bool check_table(const ElfFile *elf, const ImageLayout *layout, const Imports *imports, Diag *d)
{
    for (uint32_t i = 1; i < imports->count; i++) {
        const ImportSlot *a = &imports->slots[i - 1], *b = &imports->slots[i];
        if (b->rva != a->rva + 4)
            return diag_fail(d,
                             "import slots __imp_%s (0x%08x) and __imp_%s (0x%08x) are not "
                             "adjacent: the import address table must be contiguous",
                             a->name, layout->base + a->rva, b->name, layout->base + b->rva);
    }
    const ImportSlot *first = &imports->slots[0], *last = &imports->slots[imports->count - 1];
    uint32_t end = last->rva + 4;
    // Slots and end word in one section with file bytes: the IAT is written there.
    const ImageSection *home = layout_find(layout, first->rva, end + 4 - first->rva);
    if (!home || !home->elf || (home->flags & kPeScnUninitializedData))
        return diag_fail(d,
                         "import address table: __imp_%s to the word after __imp_%s does not "
                         "lie in one data section",
                         first->name, last->name);
    const uint8_t *word = elf_section_bytes(elf, home->elf) + (end - home->rva);
    if (get_le32(word) != 0)
        return diag_fail(d, "import address table: no zero word after __imp_%s at 0x%08x",
                         last->name, layout->base + end);
    return true;
}

uint32_t hint_name_size(const char *name)
{
    return align_up(2 + (uint32_t)strlen(name) + 1, 2);
}

uint32_t lookup_offset()
{
    return 2 * kPeImportDescriptorSize;
}
uint32_t dll_name_offset(const Imports *imports)
{
    return lookup_offset() + 4 * (imports->count + 1);
}
uint32_t hint_names_offset(const Imports *imports)
{
    return dll_name_offset(imports) + align_up(sizeof kImportDllName, 2);
}

} // namespace

bool imports_collect(const ElfFile *elf, const NameList *coredll, const ImageLayout *layout,
                     Imports *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    out->slots = (ImportSlot *)calloc(elf->symbol_count, sizeof(ImportSlot));
    if (!out->slots)
        return diag_fail(d, "out of memory for %u symbols", elf->symbol_count);
    for (uint32_t i = 1; i < elf->symbol_count; i++) {
        const ElfSymbol *sym = &elf->symbols[i];
        if (sym->bind == kElfStbGlobal && sym->shndx != kElfShnUndef &&
            strncmp(sym->name, kImportSlotPrefix, kPrefixLength) == 0 &&
            !take_slot(elf, sym, coredll, layout, out, d)) {
            imports_free(out);
            return false;
        }
    }
    qsort(out->slots, out->count, sizeof out->slots[0], compare_slots);
    if (out->count && !check_table(elf, layout, out, d)) {
        imports_free(out);
        return false;
    }
    return true;
}

void imports_free(Imports *imports)
{
    free(imports->slots);
    memset(imports, 0, sizeof *imports);
}

uint32_t imports_iat_rva(const Imports *imports)
{
    return imports->count ? imports->slots[0].rva : 0;
}

uint32_t imports_iat_size(const Imports *imports)
{
    return imports->count ? 4 * (imports->count + 1) : 0;
}

uint32_t imports_table_size(const Imports *imports)
{
    if (!imports->count)
        return 0;
    uint32_t size = hint_names_offset(imports);
    for (uint32_t i = 0; i < imports->count; i++)
        size += hint_name_size(imports->slots[i].name);
    return size;
}

void imports_write(const Imports *imports, uint32_t section_rva, uint8_t *section, uint8_t *iat)
{
    if (!imports->count)
        return;
    // One descriptor, then the all-zero one that ends the list.
    put_le32(section + 0, section_rva + lookup_offset()); // OriginalFirstThunk
    put_le32(section + 12, section_rva + dll_name_offset(imports));
    put_le32(section + 16, imports_iat_rva(imports)); // FirstThunk
    memcpy(section + dll_name_offset(imports), kImportDllName, sizeof kImportDllName);
    uint32_t entry = hint_names_offset(imports);
    for (uint32_t i = 0; i < imports->count; i++) {
        const char *name = imports->slots[i].name;
        put_le32(section + lookup_offset() + 4 * i, section_rva + entry);
        put_le32(iat + 4 * i, section_rva + entry);
        put_le16(section + entry, 0); // hint: the loader looks the name up
        memcpy(section + entry + 2, name, strlen(name) + 1);
        entry += hint_name_size(name);
    }
}
