// The desktop flavour's file system: the platform's 8-bit calls, paths
// passed through unchanged.
#include "archive_ref/disk_io.h"

#include "archive_ref/find_data.h"
#include "archive_ref/ref_paths.h"

#include <string.h>

HANDLE DiskCreateFile(const char *path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                      DWORD disposition, DWORD flags, HANDLE template_file)
{
    return CreateFileA(path, access, share, security, disposition, flags, template_file);
}

DWORD DiskGetAttributes(const char *path)
{
    return GetFileAttributesA(path);
}

static void FoundFromData(const WIN32_FIND_DATAA *data, KvzFound *found)
{
    FoundFromFindData(data, found);
    size_t length = strnlen(data->cFileName, sizeof data->cFileName - 1);
    memcpy(found->name, data->cFileName, length);
    found->name[length] = 0;
}

HANDLE DiskFindFirst(const char *pattern, KvzFound *found)
{
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search != INVALID_HANDLE_VALUE)
        FoundFromData(&data, found);
    return search;
}

BOOL DiskFindNext(HANDLE search, KvzFound *found)
{
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(search, &data))
        return FALSE;
    FoundFromData(&data, found);
    return TRUE;
}
