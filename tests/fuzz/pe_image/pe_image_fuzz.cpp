// libFuzzer target of the CE image parser: any bytes are refused cleanly or
// give an image whose sections lie inside the file and the image, whose
// read-only sections are file bytes in full, and whose
// relocation, export and import walks stay inside the image buffer (the
// sanitizers see every byte outside it).
#include "platform/posix/ce/pe_image.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// Serves every other ordinal and every name not starting with 'X', so both
// the bound and the refused paths are walked.
static DWORD Resolve(void *, const char *dll, const char *name, unsigned ordinal, uint32_t *address)
{
    Check(strlen(dll) < kPeNameMax);
    if (name == NULL) {
        Check(ordinal <= 0xFFFF);
        *address = ordinal;
        return ordinal % 2 == 0 ? ERROR_SUCCESS : ERROR_PROC_NOT_FOUND;
    }
    Check(strlen(name) < kPeNameMax);
    *address = 0xC0DE0000u | (uint32_t)strlen(name);
    return name[0] != 'X' ? ERROR_SUCCESS : ERROR_PROC_NOT_FOUND;
}

static void CheckImage(const KvzPeImage *image, size_t size)
{
    Check(image->imageSize <= KVZ_PE_MAX_IMAGE_SIZE && image->headersSize <= size);
    Check(image->sectionCount >= 1 && image->sectionCount <= kPeMaxSections);
    for (unsigned i = 0; i < image->sectionCount; i++) {
        const KvzPeSection *s = &image->sections[i];
        Check((uint64_t)s->rva + s->extent <= image->imageSize && s->fileSize <= s->extent);
        Check(s->fileSize == 0 || (uint64_t)s->fileOffset + s->fileSize <= size);
        Check((s->characteristics & kPeScnWrite) != 0 || s->fileSize == s->extent);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const uint16_t machines[] = {kPeMachineArm, kPeMachineThumb};
    KvzPeImage image;
    if (KvzPeParse(data, size, machines, 2, &image) != ERROR_SUCCESS)
        return 0;
    CheckImage(&image, size);
    uint8_t *memory = (uint8_t *)calloc(image.imageSize, 1);
    Check(memory != NULL);
    KvzPeLayOut(&image, data, size, memory);
    // Moved by 64 KiB, so every relocation is applied, not only checked.
    DWORD result = KvzPeRelocate(&image, memory, image.imageBase + 0x10000);
    if (result == ERROR_SUCCESS)
        result = KvzPeCheckExports(&image, memory);
    if (result == ERROR_SUCCESS) {
        char missing[2 * kPeNameMax];
        result = KvzPeBindImports(&image, memory, Resolve, NULL, missing, sizeof missing);
        Check(result == ERROR_SUCCESS ? missing[0] == 0 : strlen(missing) < sizeof missing);
        const char *names[] = {"GetData", "SetError", "WideLength", "Forwarded", ""};
        for (const char *name : names)
            Check(KvzPeFindExport(&image, memory, name, 0) < image.imageSize);
        for (unsigned ordinal = 0; ordinal < 8; ordinal++)
            Check(KvzPeFindExport(&image, memory, NULL, ordinal) < image.imageSize);
    }
    free(memory);
    return 0;
}
