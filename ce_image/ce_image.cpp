#include "ce_image.h"

#include "arm_attributes.h"
#include "elf_arm.h"
#include "exports.h"
#include "imports.h"
#include "loader_rules.h"
#include "pe_writer.h"
#include "relocs.h"

#include <cstdlib>
#include <cstring>

namespace
{

const char kImageBaseSymbol[] = "__ImageBase";
const char kEntrySymbol[] = "DllMain";

// The tables the writer derives from the ELF before writing anything.
struct Tables {
    ElfFile elf;
    ImageLayout layout;
    BaseRelocs relocs;
    Imports imports;
    Exports exports;
    const Resources *resources;
    PeHeaderInfo info;
};

void free_tables(Tables *t)
{
    exports_free(&t->exports);
    imports_free(&t->imports);
    relocs_free(&t->relocs);
    elf_close(&t->elf);
}

// A linked image has no undefined symbols; one here is a reference that a
// weak declaration or a -q link left open and that nothing would resolve.
bool check_symbols(const ElfFile *elf, const NameList *coredll, Diag *d)
{
    for (uint32_t i = 1; i < elf->symbol_count; i++) {
        const ElfSymbol *s = &elf->symbols[i];
        if (s->type == kElfSttTls)
            return diag_fail(d, "symbol %s: thread-local storage is not supported", s->name);
        if (s->shndx == kElfShnCommon)
            return diag_fail(d, "symbol %s: common symbol left unallocated", s->name);
        if (s->shndx != kElfShnUndef || !s->name[0])
            continue;
        if (name_list_contains(coredll, s->name))
            return diag_fail(d,
                             "undefined symbol %s: a coredll.dll export, but its thunk "
                             "(coredll_thunks.o) was not linked",
                             s->name);
        return diag_fail(d,
                         "undefined symbol %s: not defined in the DLL nor exported by "
                         "coredll.dll",
                         s->name);
    }
    return true;
}

bool ends_with(const char *s, const char *suffix)
{
    size_t n = strlen(s), m = strlen(suffix);
    return n >= m && strcmp(s + n - m, suffix) == 0;
}

// ld's ARM-to-Thumb and long-branch veneers load their target from a literal
// that -q keeps no relocation for: the DLL could not be moved with them.
bool check_veneers(const ElfFile *elf, Diag *d)
{
    for (uint32_t i = 1; i < elf->symbol_count; i++) {
        const ElfSymbol *s = &elf->symbols[i];
        if (s->type == kElfSttFunc &&
            (ends_with(s->name, "_from_arm") || ends_with(s->name, "_veneer")))
            return diag_fail(d,
                             "linker veneer %s at 0x%08x holds an address without a "
                             "relocation (Thumb or far code called from ARM code)",
                             s->name, s->value);
    }
    return true;
}

bool image_base(const ElfFile *elf, uint32_t *base, Diag *d)
{
    const ElfSymbol *sym = elf_find_global(elf, kImageBaseSymbol);
    if (!sym || sym->shndx != kElfShnAbs)
        return diag_fail(d,
                         "symbol %s: missing or not absolute (link with "
                         "--defsym=__ImageBase=ADDRESS)",
                         kImageBaseSymbol);
    if (sym->value % 0x10000 != 0)
        return diag_fail(d, "symbol %s: 0x%08x is not a multiple of 64 KiB", kImageBaseSymbol,
                         sym->value);
    *base = sym->value;
    return true;
}

bool derive_tables(const CeImageInput *in, Tables *t, Diag *d)
{
    uint32_t base = 0;
    t->resources = in->resources && in->resources->count ? in->resources : nullptr;
    if (!elf_open(&t->elf, in->elf, in->elf_size, d))
        return false;
    const ElfFile *elf = &t->elf;
    if (!arm_attributes_check(elf, d) || !image_base(elf, &base, d) ||
        !check_symbols(elf, in->coredll, d) || !check_veneers(elf, d) ||
        !layout_check_elf_sections(elf, d) || !layout_place_elf_sections(elf, base, &t->layout, d))
        return false;
    if (!exports_function_rva(elf, &t->layout, kEntrySymbol, &t->info.entry_rva, d) ||
        !relocs_collect(elf, &t->layout, &t->relocs, d) ||
        !imports_collect(elf, in->coredll, &t->layout, &t->imports, d) ||
        !exports_collect(elf, in->def, in->dll_name, &t->layout, &t->exports, d))
        return false;
    return true;
}

bool add_generated_sections(Tables *t, Diag *d)
{
    PeDirectory *dir = t->info.directories;
    dir[kPeDirExport] = {layout_next_rva(&t->layout), exports_table_size(&t->exports)};
    if (!layout_add_section(&t->layout, ".edata", kPeScnInitializedData | kPeScnRead,
                            dir[kPeDirExport].size, d))
        return false;
    if (t->imports.count) {
        dir[kPeDirImport] = {layout_next_rva(&t->layout), 2 * kPeImportDescriptorSize};
        dir[kPeDirIat] = {imports_iat_rva(&t->imports), imports_iat_size(&t->imports)};
        if (!layout_add_section(&t->layout, ".idata",
                                kPeScnInitializedData | kPeScnRead | kPeScnWrite,
                                imports_table_size(&t->imports), d))
            return false;
    }
    // Read-only data the loader keeps: never discardable, all its bytes in the file.
    if (t->resources) {
        dir[kPeDirResource] = {layout_next_rva(&t->layout), t->resources->section_size};
        if (!layout_add_section(&t->layout, ".rsrc", kPeScnInitializedData | kPeScnRead,
                                dir[kPeDirResource].size, d))
            return false;
    }
    if (t->relocs.count) {
        dir[kPeDirBaseReloc] = {layout_next_rva(&t->layout), relocs_table_size(&t->relocs)};
        if (!layout_add_section(&t->layout, ".reloc",
                                kPeScnInitializedData | kPeScnRead | kPeScnDiscardable,
                                dir[kPeDirBaseReloc].size, d))
            return false;
    }
    return layout_finish(&t->layout, d);
}

const ImageSection *generated(const ImageLayout *layout, const char *name)
{
    for (uint32_t i = 0; i < layout->count; i++)
        if (!layout->sections[i].elf && strcmp(layout->sections[i].name, name) == 0)
            return &layout->sections[i];
    return nullptr;
}

void write_image(const Tables *t, uint8_t *file)
{
    const ImageLayout *layout = &t->layout;
    pe_write_headers(layout, &t->info, file);
    for (uint32_t i = 0; i < layout->count; i++) {
        const ImageSection *s = &layout->sections[i];
        if (s->elf && s->file_size)
            memcpy(file + s->file_offset, elf_section_bytes(&t->elf, s->elf), s->virtual_size);
    }
    const ImageSection *s = generated(layout, ".edata");
    exports_write(&t->exports, s->rva, file + s->file_offset);
    if ((s = generated(layout, ".idata")) != nullptr) {
        uint32_t iat = imports_iat_rva(&t->imports);
        const ImageSection *data = layout_find(layout, iat, imports_iat_size(&t->imports));
        imports_write(&t->imports, s->rva, file + s->file_offset,
                      file + data->file_offset + (iat - data->rva));
    }
    if ((s = generated(layout, ".rsrc")) != nullptr)
        resources_write(t->resources, s->rva, file + s->file_offset);
    if ((s = generated(layout, ".reloc")) != nullptr)
        relocs_write(&t->relocs, file + s->file_offset);
    pe_set_checksum(file, layout->file_size);
}

} // namespace

bool ce_image_build(const CeImageInput *input, CeImage *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    Tables *t = (Tables *)calloc(1, sizeof(Tables));
    if (!t)
        return diag_fail(d, "out of memory");
    bool ok = derive_tables(input, t, d) && add_generated_sections(t, d);
    if (ok) {
        out->data = (uint8_t *)calloc(1, t->layout.file_size);
        ok = out->data != nullptr ||
             diag_fail(d, "out of memory for 0x%x bytes", t->layout.file_size);
    }
    if (ok) {
        out->size = t->layout.file_size;
        write_image(t, out->data);
        ok = loader_rules_check(out->data, out->size, d);
    }
    free_tables(t);
    free(t);
    if (!ok)
        ce_image_free(out);
    return ok;
}

void ce_image_free(CeImage *image)
{
    free(image->data);
    memset(image, 0, sizeof *image);
}
