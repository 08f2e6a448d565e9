#include "relocs.h"

#include "elf_arm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

enum class Target { kAbsolute, kImage, kBad };

bool is_pc_relative(uint32_t type)
{
    return type == kArmRelPc24 || type == kArmRelCall || type == kArmRelJump24 ||
           type == kArmRelRel32 || type == kArmRelPrel31;
}

// Where a relocation's symbol lies. __ImageBase is absolute in the ELF but
// is the image's own address, so it moves with the image.
Target symbol_target(const ElfFile *elf, uint32_t index)
{
    if (index == 0)
        return Target::kAbsolute;
    const ElfSymbol *sym = &elf->symbols[index];
    if (sym->shndx == kElfShnAbs)
        return strcmp(sym->name, "__ImageBase") == 0 ? Target::kImage : Target::kAbsolute;
    if (sym->shndx == kElfShnUndef || sym->shndx >= elf->section_count)
        return Target::kBad;
    return (elf->sections[sym->shndx].flags & kElfShfAlloc) ? Target::kImage : Target::kBad;
}

struct Collector {
    const ElfFile *elf;
    const ImageLayout *layout;
    BaseRelocs *out;
};

bool refuse(const Collector *c, const ElfSection *target, const ElfRel *r, const char *why, Diag *d)
{
    const char *name = ArmRelocName(r->type);
    char number[24];
    if (!name) {
        snprintf(number, sizeof number, "type %u", r->type);
        name = number;
    }
    const ElfSymbol *sym = &c->elf->symbols[r->symbol];
    return diag_fail(d, "relocation %s at 0x%08x in %s against %s: %s", name, r->offset,
                     target->name, r->symbol ? elf_symbol_label(c->elf, sym) : "no symbol", why);
}

bool take_one(Collector *c, const ElfSection *target, const ImageSection *placed, const ElfRel *r,
              Diag *d)
{
    if (r->type == kArmRelNone || r->type == kArmRelV4bx)
        return true;
    Target where = symbol_target(c->elf, r->symbol);
    if (where == Target::kBad)
        return refuse(c, target, r, "symbol is not in the image", d);
    if (is_pc_relative(r->type)) {
        if (where == Target::kAbsolute)
            return refuse(c, target, r,
                          "PC-relative to a fixed address breaks when the DLL "
                          "is moved",
                          d);
        return true;
    }
    if (r->type != kArmRelAbs32)
        return refuse(c, target, r,
                      "not supported: only ABS32 gets a base relocation, and only ARM-mode "
                      "branches and markers need none",
                      d);
    uint32_t rva = r->offset - c->layout->base;
    if (r->offset < c->layout->base || rva < placed->rva ||
        rva - placed->rva > placed->virtual_size || placed->virtual_size - (rva - placed->rva) < 4)
        return refuse(c, target, r, "lies outside its section", d);
    if (placed->flags & kPeScnUninitializedData)
        return refuse(c, target, r, "lies in zero-filled data", d);
    if (where != Target::kImage)
        return true;
    if (rva % kPeRelocPageSize > kPeRelocPageSize - 4)
        return refuse(c, target, r, "the word crosses a 4 KiB page, and CE patches each page alone",
                      d);
    c->out->rvas[c->out->count++] = rva;
    return true;
}

bool take_section(Collector *c, const ElfSection *rel, Diag *d)
{
    const ElfSection *target = &c->elf->sections[rel->info];
    if (!(target->flags & kElfShfAlloc))
        return true; // debug information: never loaded
    const ImageSection *placed = layout_for_elf(c->layout, target);
    uint32_t count = elf_rel_count(rel);
    if (!placed) {
        if (count && target->size == 0)
            return diag_fail(d, "%s: relocations for the empty section %s", rel->name,
                             target->name);
        return true;
    }
    for (uint32_t k = 0; k < count; k++) {
        ElfRel r = elf_rel_at(c->elf, rel, k);
        if (!take_one(c, target, placed, &r, d))
            return false;
    }
    return true;
}

int compare_rva(const void *a, const void *b)
{
    uint32_t x = *(const uint32_t *)a, y = *(const uint32_t *)b;
    return x < y ? -1 : x > y;
}

} // namespace

bool relocs_collect(const ElfFile *elf, const ImageLayout *layout, BaseRelocs *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    uint32_t capacity = 0;
    for (uint32_t i = 1; i < elf->section_count; i++) {
        const ElfSection *s = &elf->sections[i];
        if (s->type == kElfShtRela && s->info < elf->section_count &&
            (elf->sections[s->info].flags & kElfShfAlloc))
            return diag_fail(d, "%s: RELA relocations are not ARM's; cannot read them", s->name);
        if (s->type == kElfShtRel)
            capacity += elf_rel_count(s);
    }
    out->rvas = (uint32_t *)calloc(capacity ? capacity : 1, sizeof(uint32_t));
    if (!out->rvas)
        return diag_fail(d, "out of memory for %u relocations", capacity);
    Collector c = {elf, layout, out};
    for (uint32_t i = 1; i < elf->section_count; i++) {
        if (elf->sections[i].type == kElfShtRel && !take_section(&c, &elf->sections[i], d)) {
            relocs_free(out);
            return false;
        }
    }
    qsort(out->rvas, out->count, sizeof out->rvas[0], compare_rva);
    for (uint32_t i = 1; i < out->count; i++) {
        if (out->rvas[i] == out->rvas[i - 1]) {
            uint32_t address = layout->base + out->rvas[i];
            relocs_free(out);
            return diag_fail(d, "two %s relocations for the word at 0x%08x",
                             ArmRelocName(kArmRelAbs32), address);
        }
    }
    return true;
}

void relocs_free(BaseRelocs *relocs)
{
    free(relocs->rvas);
    memset(relocs, 0, sizeof *relocs);
}

// Calls visit(page, first, count) for each run of RVAs on one page.
template <typename Visit> static void for_each_page(const BaseRelocs *relocs, Visit visit)
{
    uint32_t i = 0;
    while (i < relocs->count) {
        uint32_t page = relocs->rvas[i] & ~(kPeRelocPageSize - 1);
        uint32_t first = i;
        while (i < relocs->count && (relocs->rvas[i] & ~(kPeRelocPageSize - 1)) == page)
            i++;
        visit(page, first, i - first);
    }
}

static uint32_t block_size(uint32_t entries)
{
    return kPeRelocBlockHeaderSize + 2 * (entries + (entries & 1));
}

uint32_t relocs_table_size(const BaseRelocs *relocs)
{
    uint32_t size = 0;
    for_each_page(relocs, [&](uint32_t, uint32_t, uint32_t n) { size += block_size(n); });
    return size;
}

void relocs_write(const BaseRelocs *relocs, uint8_t *out)
{
    for_each_page(relocs, [&](uint32_t page, uint32_t first, uint32_t n) {
        put_le32(out, page);
        put_le32(out + 4, block_size(n));
        uint8_t *entry = out + kPeRelocBlockHeaderSize;
        for (uint32_t k = 0; k < n; k++, entry += 2)
            put_le16(entry,
                     (uint32_t)(kPeRelBasedHighLow << 12) | (relocs->rvas[first + k] & 0xFFF));
        if (n & 1)
            put_le16(entry, kPeRelBasedAbsolute << 12);
        out += block_size(n);
    });
}
