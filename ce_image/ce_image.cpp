#include "ce_image.h"

#include "arm_attributes.h"
#include "exports.h"
#include "imports.h"
#include "loader_rules.h"
#include "pe_writer.h"
#include "relocs.h"

#include <cstdlib>
#include <cstring>

static const char kImageBaseSymbol[] = "__ImageBase";
static const char kEntrySymbol[] = "DllMain";

// The tables the writer derives from the ELF before writing anything.
struct CeTables {
    ElfFile elf;
    ImageLayout layout;
    BaseRelocs relocs;
    Imports imports;
    Exports exports;
    const Resources *resources;
    PeHeaderInfo info;
};

static void FreeTables(CeTables *t)
{
    ExportsFree(&t->exports);
    ImportsFree(&t->imports);
    RelocsFree(&t->relocs);
    ElfClose(&t->elf);
}

// ---- Checks on the ELF ----

// A linked image has no undefined symbols; one here is a reference that a
// weak declaration or a -q link left open and that nothing would resolve.
static bool CheckSymbols(const ElfFile *elf, const NameList *coredll, Diag *d)
{
    for (uint32_t i = 1; i < elf->symbolCount; i++) {
        const ElfSymbol *s = &elf->symbols[i];
        if (s->type == kElfSttTls)
            return DiagFail(d, "symbol %s: thread-local storage is not supported", s->name);
        if (s->shndx == kElfShnCommon)
            return DiagFail(d, "symbol %s: common symbol left unallocated", s->name);
        if (s->shndx != kElfShnUndef || !s->name[0])
            continue;
        if (NameListContains(coredll, s->name))
            return DiagFail(d,
                            "undefined symbol %s: a coredll.dll export, but its thunk "
                            "(coredll_thunks.o) was not linked",
                            s->name);
        return DiagFail(d,
                        "undefined symbol %s: not defined in the DLL nor exported by "
                        "coredll.dll",
                        s->name);
    }
    return true;
}

static bool EndsWith(const char *s, const char *suffix)
{
    size_t n = strlen(s), m = strlen(suffix);
    return n >= m && strcmp(s + n - m, suffix) == 0;
}

// ld's ARM-to-Thumb and long-branch veneers load their target from a literal
// that -q keeps no relocation for: the DLL could not be moved with them.
static bool CheckVeneers(const ElfFile *elf, Diag *d)
{
    for (uint32_t i = 1; i < elf->symbolCount; i++) {
        const ElfSymbol *s = &elf->symbols[i];
        if (s->type == kElfSttFunc &&
            (EndsWith(s->name, "_from_arm") || EndsWith(s->name, "_veneer")))
            return DiagFail(d,
                            "linker veneer %s at 0x%08x holds an address without a "
                            "relocation (Thumb or far code called from ARM code)",
                            s->name, s->value);
    }
    return true;
}

static bool ImageBase(const ElfFile *elf, uint32_t *base, Diag *d)
{
    const ElfSymbol *sym = ElfFindGlobal(elf, kImageBaseSymbol);
    if (!sym || sym->shndx != kElfShnAbs)
        return DiagFail(d,
                        "symbol %s: missing or not absolute (link with "
                        "--defsym=__ImageBase=ADDRESS)",
                        kImageBaseSymbol);
    if (sym->value % 0x10000 != 0)
        return DiagFail(d, "symbol %s: 0x%08x is not a multiple of 64 KiB", kImageBaseSymbol,
                        sym->value);
    *base = sym->value;
    return true;
}

// ---- Layout ----

static bool DeriveTables(const CeImageInput *in, CeTables *t, Diag *d)
{
    uint32_t base = 0;
    t->resources = in->resources && in->resources->count ? in->resources : nullptr;
    if (!ElfOpen(&t->elf, in->elf, in->elfSize, d))
        return false;
    const ElfFile *elf = &t->elf;
    if (!ArmAttributesCheck(elf, d) || !ImageBase(elf, &base, d) ||
        !CheckSymbols(elf, in->coredll, d) || !CheckVeneers(elf, d) ||
        !LayoutCheckElfSections(elf, d) || !LayoutPlaceElfSections(elf, base, &t->layout, d))
        return false;
    if (!ExportsFunctionRva(elf, &t->layout, kEntrySymbol, &t->info.entryRva, d) ||
        !RelocsCollect(elf, &t->layout, &t->relocs, d) ||
        !ImportsCollect(elf, in->coredll, &t->layout, &t->imports, d) ||
        !ExportsCollect(elf, in->def, in->dllName, &t->layout, &t->exports, d))
        return false;
    return true;
}

static bool AddGeneratedSections(CeTables *t, Diag *d)
{
    PeDirectory *dir = t->info.directories;
    dir[kPeDirExport] = {LayoutNextRva(&t->layout), ExportsTableSize(&t->exports)};
    if (!LayoutAddSection(&t->layout, ".edata", kPeScnInitializedData | kPeScnRead,
                          dir[kPeDirExport].size, d))
        return false;
    if (t->imports.count) {
        dir[kPeDirImport] = {LayoutNextRva(&t->layout), 2 * kPeImportDescriptorSize};
        dir[kPeDirIat] = {ImportsIatRva(&t->imports), ImportsIatSize(&t->imports)};
        if (!LayoutAddSection(&t->layout, ".idata",
                              kPeScnInitializedData | kPeScnRead | kPeScnWrite,
                              ImportsTableSize(&t->imports), d))
            return false;
    }
    // Read-only data the loader keeps: never discardable, all its bytes in the file.
    if (t->resources) {
        dir[kPeDirResource] = {LayoutNextRva(&t->layout), t->resources->sectionSize};
        if (!LayoutAddSection(&t->layout, ".rsrc", kPeScnInitializedData | kPeScnRead,
                              dir[kPeDirResource].size, d))
            return false;
    }
    if (t->relocs.count) {
        dir[kPeDirBaseReloc] = {LayoutNextRva(&t->layout), RelocsTableSize(&t->relocs)};
        if (!LayoutAddSection(&t->layout, ".reloc",
                              kPeScnInitializedData | kPeScnRead | kPeScnDiscardable,
                              dir[kPeDirBaseReloc].size, d))
            return false;
    }
    return LayoutFinish(&t->layout, d);
}

// ---- Writing ----

// Where a directory's table lies in the file.
static uint8_t *DirectoryBytes(const CeTables *t, uint8_t *file, uint32_t directory)
{
    const PeDirectory *dir = &t->info.directories[directory];
    const ImageSection *s = LayoutFind(&t->layout, dir->rva, dir->size);
    return file + s->fileOffset + (dir->rva - s->rva);
}

static void WriteImage(const CeTables *t, uint8_t *file)
{
    const ImageLayout *layout = &t->layout;
    const PeDirectory *dir = t->info.directories;
    PeWriteHeaders(layout, &t->info, file);
    for (uint32_t i = 0; i < layout->count; i++) {
        const ImageSection *s = &layout->sections[i];
        if (s->elf && s->fileSize)
            memcpy(file + s->fileOffset, ElfSectionBytes(&t->elf, s->elf), s->virtualSize);
    }
    ExportsWrite(&t->exports, dir[kPeDirExport].rva, DirectoryBytes(t, file, kPeDirExport));
    if (t->imports.count)
        ImportsWrite(&t->imports, dir[kPeDirImport].rva, DirectoryBytes(t, file, kPeDirImport),
                     DirectoryBytes(t, file, kPeDirIat));
    if (t->resources)
        ResourcesWrite(t->resources, dir[kPeDirResource].rva,
                       DirectoryBytes(t, file, kPeDirResource));
    if (t->relocs.count)
        RelocsWrite(&t->relocs, DirectoryBytes(t, file, kPeDirBaseReloc));
    PeSetChecksum(file, layout->fileSize);
}

bool CeImageBuild(const CeImageInput *input, CeImage *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    CeTables *t = (CeTables *)calloc(1, sizeof(CeTables));
    if (!t)
        return DiagFail(d, "out of memory");
    bool ok = DeriveTables(input, t, d) && AddGeneratedSections(t, d);
    if (ok) {
        out->data = (uint8_t *)calloc(1, t->layout.fileSize);
        ok =
            out->data != nullptr || DiagFail(d, "out of memory for 0x%x bytes", t->layout.fileSize);
    }
    if (ok) {
        out->size = t->layout.fileSize;
        WriteImage(t, out->data);
        ok = LoaderRulesCheck(out->data, out->size, d);
    }
    FreeTables(t);
    free(t);
    if (!ok)
        CeImageFree(out);
    return ok;
}

void CeImageFree(CeImage *image)
{
    free(image->data);
    memset(image, 0, sizeof *image);
}
