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
    Check(strlen(dll) < PE_NAME_MAX);
    if (name == NULL) {
        Check(ordinal <= 0xFFFF);
        *address = ordinal;
        return ordinal % 2 == 0 ? ERROR_SUCCESS : ERROR_PROC_NOT_FOUND;
    }
    Check(strlen(name) < PE_NAME_MAX);
    *address = 0xC0DE0000u | (uint32_t)strlen(name);
    return name[0] != 'X' ? ERROR_SUCCESS : ERROR_PROC_NOT_FOUND;
}

static void CheckImage(const PeImage *image, size_t size)
{
    Check(image->image_size <= PE_MAX_IMAGE_SIZE && image->headers_size <= size);
    Check(image->section_count >= 1 && image->section_count <= PE_MAX_SECTIONS);
    for (unsigned i = 0; i < image->section_count; i++) {
        const PeSection *s = &image->sections[i];
        Check((uint64_t)s->rva + s->extent <= image->image_size && s->file_size <= s->extent);
        Check(s->file_size == 0 || (uint64_t)s->file_offset + s->file_size <= size);
        Check((s->characteristics & PE_SCN_WRITE) != 0 || s->file_size == s->extent);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const uint16_t machines[] = {PE_MACHINE_ARM, PE_MACHINE_THUMB};
    PeImage image;
    if (PeParse(data, size, machines, 2, &image) != ERROR_SUCCESS)
        return 0;
    CheckImage(&image, size);
    uint8_t *memory = (uint8_t *)calloc(image.image_size, 1);
    Check(memory != NULL);
    PeLayOut(&image, data, size, memory);
    // Moved by 64 KiB, so every relocation is applied, not only checked.
    DWORD result = PeRelocate(&image, memory, image.image_base + 0x10000);
    if (result == ERROR_SUCCESS)
        result = PeCheckExports(&image, memory);
    if (result == ERROR_SUCCESS) {
        char missing[2 * PE_NAME_MAX];
        result = PeBindImports(&image, memory, Resolve, NULL, missing, sizeof missing);
        Check(result == ERROR_SUCCESS ? missing[0] == 0 : strlen(missing) < sizeof missing);
        const char *names[] = {"GetData", "SetError", "WideLength", "Forwarded", ""};
        for (const char *name : names)
            Check(PeFindExport(&image, memory, name, 0) < image.image_size);
        for (unsigned ordinal = 0; ordinal < 8; ordinal++)
            Check(PeFindExport(&image, memory, NULL, ordinal) < image.image_size);
    }
    free(memory);
    return 0;
}
