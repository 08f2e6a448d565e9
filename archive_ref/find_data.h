// A search result and the caller's find data: the fields that the 8-bit and
// the 16-bit find data hold alike, converted once for both flavours. Each
// flavour converts the name itself, to or from its own width.
#ifndef KVZ_REF_FIND_DATA_H
#define KVZ_REF_FIND_DATA_H

#include "archive_ref/disk_io.h"

#include <string.h>

// Clears data and fills every field of it but the name from found.
template <typename FindData> inline void FindDataFromFound(const KvzFound *found, FindData *data)
{
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = found->attributes;
    data->ftCreationTime = found->created;
    data->ftLastAccessTime = found->accessed;
    data->ftLastWriteTime = found->written;
    data->nFileSizeHigh = (DWORD)(found->size >> 32);
    data->nFileSizeLow = (DWORD)found->size;
}

// Fills every field of found but the name from the platform's data.
template <typename FindData> inline void FoundFromFindData(const FindData *data, KvzFound *found)
{
    found->attributes = data->dwFileAttributes;
    found->created = data->ftCreationTime;
    found->accessed = data->ftLastAccessTime;
    found->written = data->ftLastWriteTime;
    found->size = ((uint64_t)data->nFileSizeHigh << 32) | data->nFileSizeLow;
}

#endif
