// CE ARM images mapped as CE's loader maps them (see ce_loader.h): the file
// read through the parser (pe_image.cpp), relocated when it cannot sit at
// its preferred base, its coredll imports bound to the layer's own calls
// (ce_imports.cpp).
#include "platform/posix/ce/ce_imports.h"
#include "platform/posix/ce/ce_loader.h"
#include "platform/posix/ce/little_endian.h"
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
static const size_t kMaxFileSize = 2 * (size_t)KVZ_PE_MAX_IMAGE_SIZE;

struct KvzPeModule {
    KvzPeImage image;
    uint8_t *base;
    bool relocated;
};

// The machines this CPU runs: ARM and Thumb-1 code on 32-bit ARM, none
// elsewhere, where every PE image is ERROR_BAD_EXE_FORMAT.
#if defined(__arm__)
static const uint16_t kWantedMachines[] = {kPeMachineArm, kPeMachineThumb};
static const unsigned kWantedCount = 2;
#else
static const uint16_t kWantedMachines[] = {kPeMachineArm};
static const unsigned kWantedCount = 0;
#endif

static std::atomic<unsigned> MappedCount;

// ---- The file ----

bool KvzIsPeFile(const char *os_path)
{
    uint8_t dos[kPeDosLfanewOffset + 4], signature[4];
    int fd = open(os_path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool pe =
        pread(fd, dos, sizeof dos, 0) == (ssize_t)sizeof dos && dos[0] == 'M' && dos[1] == 'Z';
    if (pe) {
        off_t at = (off_t)KvzReadLe32(dos + kPeDosLfanewOffset);
        pe = pread(fd, signature, sizeof signature, at) == (ssize_t)sizeof signature &&
             memcmp(signature, "PE\0\0", 4) == 0;
    }
    close(fd);
    return pe;
}

// The whole file, mapped for reading.
static DWORD MapFile(const char *os_path, const uint8_t **data, size_t *size)
{
    int fd = open(os_path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ERROR_FILE_NOT_FOUND;
    struct stat st;
    DWORD result = ERROR_SUCCESS;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
        (unsigned long long)st.st_size > kMaxFileSize) {
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

// ---- The image's memory ----

static bool LoadAway(void)
{
    const char *away = getenv("KVZ_PE_LOAD_AWAY");
    return away != NULL && strcmp(away, "1") == 0;
}

// SizeOfImage bytes of zeros, readable and writable, at the preferred base
// when it is free (a hint: nothing mapped is ever replaced) or elsewhere;
// with KVZ_PE_LOAD_AWAY=1 never at the base. Below 4 GiB, as a 32-bit image
// needs. NULL when there is no room.
static uint8_t *MapRegion(uint32_t preferred, uint32_t size)
{
    bool away = LoadAway();
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
static bool ProtectSections(const KvzPeImage *image, uint8_t *base)
{
    if (mprotect(base, image->imageSize, PROT_READ) != 0)
        return false;
    for (unsigned i = 0; i < image->sectionCount; i++) {
        const KvzPeSection *s = &image->sections[i];
        size_t length = ((size_t)s->extent + kPePageSize - 1) & ~(size_t)(kPePageSize - 1);
        int protection = PROT_READ;
        if (s->characteristics & kPeScnWrite)
            protection |= PROT_WRITE;
        if (s->characteristics & kPeScnExecute)
            protection |= PROT_EXEC;
        if (length != 0 && mprotect(base + s->rva, length, protection) != 0)
            return false;
    }
    return true;
}

// ---- Imports ----

// coredll by name, from the layer's table. CE's coredll ordinals are not
// served: an image that imports by ordinal names the ordinal and fails.
static DWORD ResolveCoredll(void *, const char *dll, const char *name, unsigned, uint32_t *address)
{
    if (strcasecmp(dll, "COREDLL.dll") != 0 && strcasecmp(dll, "COREDLL") != 0)
        return ERROR_MOD_NOT_FOUND;
    FARPROC proc = name != NULL ? KvzCeImport(name) : NULL;
    if (proc == NULL || (uint64_t)(uintptr_t)proc >> 32 != 0)
        return ERROR_PROC_NOT_FOUND;
    *address = (uint32_t)(uintptr_t)proc;
    return ERROR_SUCCESS;
}

// ---- Loading ----

// The steps after the file is read; `step` names the one that failed.
static DWORD MapImage(KvzPeModule *module, const uint8_t *data, size_t size, const char **step,
                      char *missing, size_t missing_size)
{
    KvzPeImage *image = &module->image;
    *step = "headers";
    DWORD result = KvzPeParse(data, size, kWantedMachines, kWantedCount, image);
    if (result != ERROR_SUCCESS)
        return result;
    *step = "memory";
    module->base = MapRegion(image->imageBase, image->imageSize);
    if (module->base == NULL)
        return ERROR_NOT_ENOUGH_MEMORY;
    KvzPeLayOut(image, data, size, module->base);
    module->relocated = (uintptr_t)module->base != image->imageBase;
    *step = "relocations";
    result = KvzPeRelocate(image, module->base, (uint32_t)(uintptr_t)module->base);
    if (result != ERROR_SUCCESS)
        return result;
    *step = "exports";
    result = KvzPeCheckExports(image, module->base);
    if (result != ERROR_SUCCESS)
        return result;
    *step = "imports";
    result = KvzPeBindImports(image, module->base, ResolveCoredll, NULL, missing, missing_size);
    if (result != ERROR_SUCCESS)
        return result;
    *step = "protection";
    if (!ProtectSections(image, module->base))
        return ERROR_NOT_ENOUGH_MEMORY;
    __builtin___clear_cache((char *)module->base, (char *)module->base + image->imageSize);
    return ERROR_SUCCESS;
}

DWORD KvzPeLoad(const char *os_path, bool trace, KvzPeModule **out)
{
    const uint8_t *data = NULL;
    size_t size = 0;
    DWORD result = MapFile(os_path, &data, &size);
    if (result != ERROR_SUCCESS)
        return result;
    KvzPeModule *module = (KvzPeModule *)calloc(1, sizeof *module);
    const char *step = "memory";
    char missing[2 * kPeNameMax];
    missing[0] = 0;
    result = module != NULL ? MapImage(module, data, size, &step, missing, sizeof missing)
                            : ERROR_NOT_ENOUGH_MEMORY;
    munmap((void *)data, size);
    if (result != ERROR_SUCCESS) {
        if (module != NULL && module->base != NULL)
            munmap(module->base, module->image.imageSize);
        free(module);
        if (missing[0] != 0)
            fprintf(stderr, "kvz loader: %s imports %s, which the layer does not serve\n", os_path,
                    missing);
        else if (trace)
            fprintf(stderr, "kvz loader: PE %s refused (%s, error %u)\n", os_path, step,
                    (unsigned)result);
        return result;
    }
    MappedCount.fetch_add(1);
    *out = module;
    return ERROR_SUCCESS;
}

// ---- The loaded image ----

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
    uint32_t entry = module->image.entryRva;
    return entry != 0 ? (FARPROC)(uintptr_t)(module->base + entry) : NULL;
}

FARPROC KvzPeExport(const KvzPeModule *module, const char *name, unsigned ordinal)
{
    uint32_t rva = KvzPeFindExport(&module->image, module->base, name, ordinal);
    return rva != 0 ? (FARPROC)(uintptr_t)(module->base + rva) : NULL;
}

void KvzPeUnload(KvzPeModule *module)
{
    munmap(module->base, module->image.imageSize);
    free(module);
    MappedCount.fetch_sub(1);
}

unsigned KvzPeMappedCount(void)
{
    return MappedCount.load();
}
