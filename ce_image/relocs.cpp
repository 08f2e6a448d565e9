#include "relocs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Where a relocation's symbol lies.
enum RelocTarget {
    TARGET_ABSOLUTE, // a fixed address, which stays when the image moves
    TARGET_IMAGE,    // inside the image, which moves with it
    TARGET_OUTSIDE   // undefined or not loaded: nothing to point at
};

struct Collector {
    const ElfFile *elf;
    const ImageLayout *layout;
    BaseRelocs *out;
};

static bool IsPcRelative(uint32_t type)
{
    return type == kArmRelPc24 || type == kArmRelCall || type == kArmRelJump24 ||
           type == kArmRelRel32 || type == kArmRelPrel31;
}

// __ImageBase is absolute in the ELF but is the image's own address, so it
// moves with the image.
static RelocTarget SymbolTarget(const ElfFile *elf, uint32_t index)
{
    if (index == 0)
        return TARGET_ABSOLUTE;
    const ElfSymbol *sym = &elf->symbols[index];
    if (sym->shndx == kElfShnAbs)
        return strcmp(sym->name, "__ImageBase") == 0 ? TARGET_IMAGE : TARGET_ABSOLUTE;
    if (sym->shndx == kElfShnUndef || sym->shndx >= elf->sectionCount)
        return TARGET_OUTSIDE;
    return (elf->sections[sym->shndx].flags & kElfShfAlloc) ? TARGET_IMAGE : TARGET_OUTSIDE;
}

static bool Refuse(const Collector *c, const ElfSection *target, const ElfRel *r, const char *why,
                   Diag *d)
{
    const char *name = ArmRelocName(r->type);
    char number[24];
    if (!name) {
        snprintf(number, sizeof number, "type %u", r->type);
        name = number;
    }
    const ElfSymbol *sym = &c->elf->symbols[r->symbol];
    return DiagFail(d, "relocation %s at 0x%08x in %s against %s: %s", name, r->offset,
                    target->name, r->symbol ? ElfSymbolLabel(c->elf, sym) : "no symbol", why);
}

static bool TakeOne(Collector *c, const ElfSection *target, const ImageSection *placed,
                    const ElfRel *r, Diag *d)
{
    if (r->type == kArmRelNone || r->type == kArmRelV4bx)
        return true;
    RelocTarget where = SymbolTarget(c->elf, r->symbol);
    if (where == TARGET_OUTSIDE)
        return Refuse(c, target, r, "symbol is not in the image", d);
    if (IsPcRelative(r->type)) {
        if (where == TARGET_ABSOLUTE)
            return Refuse(c, target, r,
                          "PC-relative to a fixed address breaks when the DLL "
                          "is moved",
                          d);
        return true;
    }
    if (r->type != kArmRelAbs32)
        return Refuse(c, target, r,
                      "not supported: only ABS32 gets a base relocation, and only ARM-mode "
                      "branches and markers need none",
                      d);
    uint32_t rva = r->offset - c->layout->base;
    if (r->offset < c->layout->base || rva < placed->rva ||
        !Fits(rva - placed->rva, 4, placed->virtualSize))
        return Refuse(c, target, r, "lies outside its section", d);
    if (placed->flags & kPeScnUninitializedData)
        return Refuse(c, target, r, "lies in zero-filled data", d);
    if (where != TARGET_IMAGE)
        return true;
    if (rva % kPeRelocPageSize > kPeRelocPageSize - 4)
        return Refuse(c, target, r, "the word crosses a 4 KiB page, and CE patches each page alone",
                      d);
    c->out->rvas[c->out->count++] = rva;
    return true;
}

static bool TakeSection(Collector *c, const ElfSection *rel, Diag *d)
{
    const ElfSection *target = &c->elf->sections[rel->info];
    if (!(target->flags & kElfShfAlloc))
        return true; // debug information: never loaded
    const ImageSection *placed = LayoutForElf(c->layout, target);
    uint32_t count = ElfRelCount(rel);
    if (!placed) {
        if (count && target->size == 0)
            return DiagFail(d, "%s: relocations for the empty section %s", rel->name, target->name);
        return true;
    }
    for (uint32_t k = 0; k < count; k++) {
        ElfRel r = ElfRelAt(c->elf, rel, k);
        if (!TakeOne(c, target, placed, &r, d))
            return false;
    }
    return true;
}

static int CompareRva(const void *a, const void *b)
{
    uint32_t x = *(const uint32_t *)a, y = *(const uint32_t *)b;
    return x < y ? -1 : x > y;
}

bool RelocsCollect(const ElfFile *elf, const ImageLayout *layout, BaseRelocs *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    uint32_t capacity = 0;
    for (uint32_t i = 1; i < elf->sectionCount; i++) {
        const ElfSection *s = &elf->sections[i];
        if (s->type == kElfShtRela && s->info < elf->sectionCount &&
            (elf->sections[s->info].flags & kElfShfAlloc))
            return DiagFail(d, "%s: RELA relocations are not ARM's; cannot read them", s->name);
        if (s->type == kElfShtRel)
            capacity += ElfRelCount(s);
    }
    out->rvas = (uint32_t *)calloc(capacity ? capacity : 1, sizeof(uint32_t));
    if (!out->rvas)
        return DiagFail(d, "out of memory for %u relocations", capacity);
    Collector c = {elf, layout, out};
    for (uint32_t i = 1; i < elf->sectionCount; i++) {
        if (elf->sections[i].type == kElfShtRel && !TakeSection(&c, &elf->sections[i], d)) {
            RelocsFree(out);
            return false;
        }
    }
    qsort(out->rvas, out->count, sizeof out->rvas[0], CompareRva);
    for (uint32_t i = 1; i < out->count; i++) {
        if (out->rvas[i] == out->rvas[i - 1]) {
            uint32_t address = layout->base + out->rvas[i];
            RelocsFree(out);
            return DiagFail(d, "two %s relocations for the word at 0x%08x",
                            ArmRelocName(kArmRelAbs32), address);
        }
    }
    return true;
}

void RelocsFree(BaseRelocs *relocs)
{
    free(relocs->rvas);
    memset(relocs, 0, sizeof *relocs);
}

// ---- The .reloc table ----

// The end of the run of RVAs from `first` on that lie on its page.
static uint32_t PageRunEnd(const BaseRelocs *relocs, uint32_t first)
{
    uint32_t page = relocs->rvas[first] / kPeRelocPageSize;
    uint32_t end = first + 1;
    while (end < relocs->count && relocs->rvas[end] / kPeRelocPageSize == page)
        end++;
    return end;
}

// A block: its header, then one entry per RVA, padded to 4 bytes.
static uint32_t BlockSize(uint32_t entries)
{
    return kPeRelocBlockHeaderSize + 2 * (uint32_t)AlignUp(entries, 2);
}

uint32_t RelocsTableSize(const BaseRelocs *relocs)
{
    uint32_t size = 0;
    for (uint32_t first = 0, end = 0; first < relocs->count; first = end) {
        end = PageRunEnd(relocs, first);
        size += BlockSize(end - first);
    }
    return size;
}

void RelocsWrite(const BaseRelocs *relocs, uint8_t *out)
{
    for (uint32_t first = 0, end = 0; first < relocs->count; first = end) {
        end = PageRunEnd(relocs, first);
        uint32_t n = end - first;
        WriteLe32(out, relocs->rvas[first] & ~(kPeRelocPageSize - 1));
        WriteLe32(out + 4, BlockSize(n));
        uint8_t *entry = out + kPeRelocBlockHeaderSize;
        for (uint32_t k = first; k < end; k++, entry += 2)
            WriteLe16(entry, (uint32_t)(kPeRelBasedHighLow << 12) | (relocs->rvas[k] & 0xFFF));
        if (n & 1)
            WriteLe16(entry, kPeRelBasedAbsolute << 12);
        out += BlockSize(n);
    }
}
