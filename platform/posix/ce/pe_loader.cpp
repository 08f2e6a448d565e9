// CE ARM images mapped as CE's loader maps them (see ce_loader.h): the file
// read through the parser (pe_image.cpp), relocated when it cannot sit at
// its preferred base, its coredll imports bound to the layer's own calls
// (ce_imports.cpp).
#include "platform/posix/ce/ce_imports.h"
#include "platform/posix/ce/ce_loader.h"
#include "platform/posix/ce/pe_image.h"

#include <atomic>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// Room for the file: an image of the largest size plus as much again of
// headers, file alignment and debug data.
#define PE_MAX_FILE_SIZE (2 * (size_t)PE_MAX_IMAGE_SIZE)

struct KvzPeModule {
    PeImage image;
    uint8_t *base;
    bool relocated;
};

// The machines this CPU runs: ARM and Thumb-1 code on 32-bit ARM, none
// elsewhere, where every PE image is ERROR_BAD_EXE_FORMAT.
#if defined(__arm__)
static const uint16_t wanted_machines[] = {PE_MACHINE_ARM, PE_MACHINE_THUMB};
static const unsigned wanted_count = 2;
#else
static const uint16_t wanted_machines[] = {PE_MACHINE_ARM};
static const unsigned wanted_count = 0;
#endif

static std::atomic<unsigned> mapped_count;

/* ---- The file ---- */

bool KvzIsPeFile(const char *os_path)
{
    unsigned char dos[64], signature[4];
    int fd = open(os_path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool pe =
        pread(fd, dos, sizeof dos, 0) == (ssize_t)sizeof dos && dos[0] == 'M' && dos[1] == 'Z';
    if (pe) {
        off_t at =
            (off_t)(dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | (uint32_t)dos[0x3F] << 24);
        pe = pread(fd, signature, sizeof signature, at) == (ssize_t)sizeof signature &&
             memcmp(signature, "PE\0\0", 4) == 0;
    }
    close(fd);
    return pe;
}

// The whole file, mapped for reading.
static DWORD map_file(const char *os_path, const uint8_t **data, size_t *size)
{
    int fd = open(os_path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ERROR_FILE_NOT_FOUND;
    struct stat st;
    DWORD result = ERROR_SUCCESS;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
        (unsigned long long)st.st_size > PE_MAX_FILE_SIZE) {
        result = ERROR_BAD_EXE_FORMAT;
    } else {
        void *view = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (view == MAP_FAILED) {
            result = ERROR_NOT_ENOUGH_MEMORY;
        } else {
            *data = (const uint8_t *)view;
            *size = (size_t)st.st_size;
        }
    }
    close(fd);
    return result;
}

/* ---- The image's memory ---- */

static bool load_away(void)
{
    const char *away = getenv("KVZ_PE_LOAD_AWAY");
    return away != NULL && strcmp(away, "1") == 0;
}

// SizeOfImage bytes of zeros, readable and writable, at the preferred base
// when it is free (a hint: nothing mapped is ever replaced) or elsewhere;
// with KVZ_PE_LOAD_AWAY=1 never at the base. Below 4 GiB, as a 32-bit image
// needs. NULL when there is no room.
static uint8_t *map_region(uint32_t preferred, uint32_t size)
{
    bool away = load_away();
    void *hint = away ? NULL : (void *)(uintptr_t)preferred;
    void *region = mmap(hint, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region != MAP_FAILED && away && region == (void *)(uintptr_t)preferred) {
        void *other = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        munmap(region, size); // held until the second one lay elsewhere
        region = other;
    }
    if (region == MAP_FAILED)
        return NULL;
    if ((uint64_t)(uintptr_t)region + size > 0x100000000ull) {
        munmap(region, size);
        return NULL;
    }
    return (uint8_t *)region;
}

// Every page readable, as CE's ARM pages are; written to only where the
// section says so, executed only where it says so. Headers and gaps stay
// read-only.
static bool protect_sections(const PeImage *image, uint8_t *base)
{
    if (mprotect(base, image->image_size, PROT_READ) != 0)
        return false;
    for (unsigned i = 0; i < image->section_count; i++) {
        const PeSection *s = &image->sections[i];
        size_t length = ((size_t)s->extent + PE_PAGE_SIZE - 1) & ~(size_t)(PE_PAGE_SIZE - 1);
        int protection = PROT_READ;
        if (s->characteristics & PE_SCN_WRITE)
            protection |= PROT_WRITE;
        if (s->characteristics & PE_SCN_EXECUTE)
            protection |= PROT_EXEC;
        if (length != 0 && mprotect(base + s->rva, length, protection) != 0)
            return false;
    }
    return true;
}

/* ---- Imports ---- */

// coredll by name, from the layer's table. CE's coredll ordinals are not
// served: an image that imports by ordinal names the ordinal and fails.
static DWORD resolve_coredll(void *, const char *dll, const char *name, unsigned, uint32_t *address)
{
    if (strcasecmp(dll, "COREDLL.dll") != 0 && strcasecmp(dll, "COREDLL") != 0)
        return ERROR_MOD_NOT_FOUND;
    FARPROC proc = name != NULL ? KvzCeImport(name) : NULL;
    if (proc == NULL || (uint64_t)(uintptr_t)proc >> 32 != 0)
        return ERROR_PROC_NOT_FOUND;
    *address = (uint32_t)(uintptr_t)proc;
    return ERROR_SUCCESS;
}

/* ---- Loading ---- */

// The steps after the file is read; `step` names the one that failed.
static DWORD map_image(KvzPeModule *module, const uint8_t *data, size_t size, const char **step,
                       char *missing, size_t missing_size)
{
    PeImage *image = &module->image;
    *step = "headers";
    DWORD result = PeParse(data, size, wanted_machines, wanted_count, image);
    if (result != ERROR_SUCCESS)
        return result;
    *step = "memory";
    module->base = map_region(image->image_base, image->image_size);
    if (module->base == NULL)
        return ERROR_NOT_ENOUGH_MEMORY;
    PeLayOut(image, data, size, module->base);
    module->relocated = (uintptr_t)module->base != image->image_base;
    *step = "relocations";
    result = PeRelocate(image, module->base, (uint32_t)(uintptr_t)module->base);
    if (result != ERROR_SUCCESS)
        return result;
    *step = "exports";
    result = PeCheckExports(image, module->base);
    if (result != ERROR_SUCCESS)
        return result;
    *step = "imports";
    result = PeBindImports(image, module->base, resolve_coredll, NULL, missing, missing_size);
    if (result != ERROR_SUCCESS)
        return result;
    *step = "protection";
    if (!protect_sections(image, module->base))
        return ERROR_NOT_ENOUGH_MEMORY;
    __builtin___clear_cache((char *)module->base, (char *)module->base + image->image_size);
    return ERROR_SUCCESS;
}

DWORD KvzPeLoad(const char *os_path, bool trace, KvzPeModule **out)
{
    const uint8_t *data = NULL;
    size_t size = 0;
    DWORD result = map_file(os_path, &data, &size);
    if (result != ERROR_SUCCESS)
        return result;
    KvzPeModule *module = (KvzPeModule *)calloc(1, sizeof *module);
    const char *step = "memory";
    char missing[2 * PE_NAME_MAX];
    missing[0] = 0;
    result = module != NULL ? map_image(module, data, size, &step, missing, sizeof missing)
                            : ERROR_NOT_ENOUGH_MEMORY;
    munmap((void *)data, size);
    if (result != ERROR_SUCCESS) {
        if (module != NULL && module->base != NULL)
            munmap(module->base, module->image.image_size);
        free(module);
        if (missing[0] != 0)
            fprintf(stderr, "kvz loader: %s imports %s, which the layer does not serve\n", os_path,
                    missing);
        else if (trace)
            fprintf(stderr, "kvz loader: PE %s refused (%s, error %u)\n", os_path, step,
                    (unsigned)result);
        return result;
    }
    mapped_count.fetch_add(1);
    *out = module;
    return ERROR_SUCCESS;
}

/* ---- The loaded image ---- */

void *KvzPeBase(const KvzPeModule *module)
{
    return module->base;
}

bool KvzPeRelocated(const KvzPeModule *module)
{
    return module->relocated;
}

FARPROC KvzPeEntry(const KvzPeModule *module)
{
    uint32_t entry = module->image.entry_rva;
    return entry != 0 ? (FARPROC)(uintptr_t)(module->base + entry) : NULL;
}

FARPROC KvzPeExport(const KvzPeModule *module, const char *name, unsigned ordinal)
{
    uint32_t rva = PeFindExport(&module->image, module->base, name, ordinal);
    return rva != 0 ? (FARPROC)(uintptr_t)(module->base + rva) : NULL;
}

void KvzPeUnload(KvzPeModule *module)
{
    munmap(module->base, module->image.image_size);
    free(module);
    mapped_count.fetch_sub(1);
}

unsigned KvzPeMappedCount(void)
{
    return mapped_count.load();
}
