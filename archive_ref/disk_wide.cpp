// The handheld flavour's file system: paths converted to 16-bit and given
// to the platform's wide calls, so names outside ASCII arrive intact.
#include "archive_ref/disk_io.h"

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

// False when the name is not valid UTF-16; the result is then skipped.
static bool FoundFromData(const WIN32_FIND_DATAW *data, KvzFound *found)
{
    WCHAR name[MAX_PATH];
    memcpy(name, data->cFileName, sizeof name);
    name[MAX_PATH - 1] = 0;
    if (Utf16ToUtf8(name, found->name, sizeof found->name) == (size_t)-1)
        return false;
    found->attributes = data->dwFileAttributes;
    found->created = data->ftCreationTime;
    found->accessed = data->ftLastAccessTime;
    found->written = data->ftLastWriteTime;
    found->size = ((uint64_t)data->nFileSizeHigh << 32) | data->nFileSizeLow;
    return true;
}

BOOL DiskFindNext(HANDLE search, KvzFound *found)
{
    WIN32_FIND_DATAW data;
    do {
        if (!FindNextFileW(search, &data))
            return FALSE;
    } while (!FoundFromData(&data, found));
    return TRUE;
}

HANDLE DiskFindFirst(const char *pattern, KvzFound *found)
{
    WCHAR wide[KVZ_REF_PATH_MAX];
    WIN32_FIND_DATAW data;
    if (!Widen(pattern, wide, KVZ_REF_PATH_MAX))
        return INVALID_HANDLE_VALUE;
    HANDLE search = FindFirstFileW(wide, &data);
    if (search == INVALID_HANDLE_VALUE || FoundFromData(&data, found) ||
        DiskFindNext(search, found))
        return search;
    FindClose(search);
    SetLastError(ERROR_NO_MORE_FILES);
    return INVALID_HANDLE_VALUE;
}
