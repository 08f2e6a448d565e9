// libFuzzer target of the archive index reader: any bytes either refuse
// cleanly or give an index whose every entry lies inside the input and is
// found again by its own path.
#include "archive_ref/tar_index.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

static void CheckIndex(const TarIndex *index, size_t size)
{
    for (uint32_t i = 0; i < index->count; i++) {
        const TarEntry *entry = &index->entries[i];
        size_t length = strlen(entry->path);
        Check(length > 0 && length <= kTarPathMax && entry->nameAt < length);
        Check(entry->dataOffset <= size && entry->size <= size - entry->dataOffset);
        Check(TarIndexFind(index, entry->path, length) == i);
        Check(entry->parent == kTarRoot ||
              (entry->parent < index->count && index->entries[entry->parent].isDirectory));
        if (!entry->isDirectory)
            Check(entry->firstChild == kTarNone);
    }
    uint32_t seen = 0;
    for (uint32_t i = 0; i < index->count; i++)
        for (uint32_t c = TarFirstChild(index, i); c != kTarNone; c = index->entries[c].nextSibling)
            Check(index->entries[c].parent == i && ++seen <= index->count);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TarIndex index;
    memset(&index, 0, sizeof index);
    TarResult result = TarIndexFromMemory(&index, data, size);
    if (result == TAR_OK)
        CheckIndex(&index, size);
    else
        Check(index.count == 0 && index.entries == NULL);
    TarIndexFree(&index);
    return 0;
}
