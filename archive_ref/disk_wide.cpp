// The handheld flavour's file system: paths converted to 16-bit and given
// to the platform's wide calls, so names outside ASCII arrive intact.
#include "archive_ref/disk_io.h"

#include "archive_ref/find_data.h"
#include "archive_ref/ref_paths.h"
#include "archive_ref/utf_text.h"

#include <string.h>

// A path in 16-bit form; false with ERROR_INVALID_NAME when it does not fit
// or is malformed.
static bool Widen(const char *path, WCHAR *wide, size_t capacity)
{
    if (Utf8ToUtf16(path, wide, capacity) != (size_t)-1)
        return true;
    SetLastError(ERROR_INVALID_NAME);
    return false;
}

HANDLE DiskCreateFile(const char *path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                      DWORD disposition, DWORD flags, HANDLE template_file)
{
    WCHAR wide[KVZ_REF_PATH_MAX];
    if (!Widen(path, wide, KVZ_REF_PATH_MAX))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(wide, access, share, security, disposition, flags, template_file);
}

DWORD DiskGetAttributes(const char *path)
{
    WCHAR wide[KVZ_REF_PATH_MAX];
    if (!Widen(path, wide, KVZ_REF_PATH_MAX))
        return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(wide);
}

// A name that is not valid UTF-16 is left empty, and the search skips it.
static void FoundFromData(const WIN32_FIND_DATAW *data, KvzFound *found)
{
    WCHAR name[MAX_PATH];
    memcpy(name, data->cFileName, sizeof name);
    name[MAX_PATH - 1] = 0;
    FoundFromFindData(data, found);
    Utf16ToUtf8(name, found->name, sizeof found->name); // empty when it fails
}

HANDLE DiskFindFirst(const char *pattern, KvzFound *found)
{
    WCHAR wide[KVZ_REF_PATH_MAX];
    WIN32_FIND_DATAW data;
    if (!Widen(pattern, wide, KVZ_REF_PATH_MAX))
        return INVALID_HANDLE_VALUE;
    HANDLE search = FindFirstFileW(wide, &data);
    if (search != INVALID_HANDLE_VALUE)
        FoundFromData(&data, found);
    return search;
}

BOOL DiskFindNext(HANDLE search, KvzFound *found)
{
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(search, &data))
        return FALSE;
    FoundFromData(&data, found);
    return TRUE;
}
