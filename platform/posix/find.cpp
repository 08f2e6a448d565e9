// Directory searches: "dir\pattern" with * and ? matched without regard to
// ASCII letter case, as on the handheld's file systems.
#include "platform/posix/posix_internal.h"

#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

struct FindRecord {
    KvzHandleRecord link; // first, so the record is its own handle
    DIR *dir;
    char dirPath[kOsPathMax];
    char pattern[kOsPathMax];
};

// What one matching entry tells its caller, before it is put into A or W data.
struct FoundEntry {
    const char *name;
    DWORD attributes;
    unsigned long long size;
    FILETIME written, accessed, changed;
};

// ---- Matching ----

static char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

static bool WildcardMatch(const char *pattern, const char *name)
{
    const char *star = NULL, *resume = NULL;
    while (*name != 0) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || FoldCase(*pattern) == FoldCase(*name)) {
            pattern++;
            name++;
        } else if (star != NULL) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == 0;
}

static bool NameMatches(const char *pattern, const char *name)
{
    if (strcmp(pattern, "*.*") == 0) // Windows: every name, with a dot or not
        return true;
    return WildcardMatch(pattern, name);
}

// ---- The search ----

static bool FillEntry(FindRecord *search, const char *name, FoundEntry *entry)
{
    char full[kOsPathMax];
    size_t dir_length = strlen(search->dirPath), name_length = strlen(name);
    if (dir_length + 1 + name_length + 1 > sizeof full)
        return false;
    memcpy(full, search->dirPath, dir_length);
    full[dir_length] = '/';
    memcpy(full + dir_length + 1, name, name_length + 1);
    struct stat st;
    if (stat(full, &st) != 0 && lstat(full, &st) != 0)
        return false; // gone since readdir
    entry->name = name;
    entry->attributes = KvzAttributesOfStat(&st);
    entry->size = S_ISDIR(st.st_mode) ? 0 : (unsigned long long)st.st_size;
    entry->written = KvzFileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    entry->accessed = KvzFileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    entry->changed = KvzFileTimeFromUnix(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    return true;
}

// Advances to the next matching entry; false when the directory is done.
static bool NextMatch(FindRecord *search, FoundEntry *entry)
{
    struct dirent *d;
    while ((d = readdir(search->dir)) != NULL) {
        if (NameMatches(search->pattern, d->d_name) && FillEntry(search, d->d_name, entry))
            return true;
    }
    return false;
}

static void CloseSearch(FindRecord *search)
{
    closedir(search->dir);
    free(search);
}

// Splits the OS pattern at its last slash and opens the directory.
static FindRecord *OpenSearch(const char *os_pattern)
{
    FindRecord *search = (FindRecord *)calloc(1, sizeof *search);
    if (search == NULL) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    const char *slash = strrchr(os_pattern, '/');
    if (slash == NULL) {
        KvzCopyText(search->dirPath, sizeof search->dirPath, ".");
        KvzCopyText(search->pattern, sizeof search->pattern, os_pattern);
    } else {
        size_t dir_length = slash == os_pattern ? 1 : (size_t)(slash - os_pattern);
        memcpy(search->dirPath, os_pattern, dir_length);
        search->dirPath[dir_length] = 0;
        KvzCopyText(search->pattern, sizeof search->pattern, slash + 1);
    }
    search->dir = opendir(search->dirPath);
    if (search->dir == NULL) {
        int err = errno;
        SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                     : KvzErrorFromErrno(err));
        free(search);
        return NULL;
    }
    return search;
}

static HANDLE FindFirst(const char *os_pattern, FoundEntry *entry)
{
    FindRecord *search = OpenSearch(os_pattern);
    if (search == NULL)
        return INVALID_HANDLE_VALUE;
    if (!NextMatch(search, entry)) {
        CloseSearch(search);
        SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    KvzHandleAdd(&search->link, KVZ_HANDLE_FIND);
    return (HANDLE)search;
}

static bool FindNext(HANDLE handle, FoundEntry *entry)
{
    if (!KvzHandleIsLive(handle, KVZ_HANDLE_FIND)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!NextMatch((FindRecord *)handle, entry)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    return true;
}

// ---- Find data ----

static void FillCommon(const FoundEntry *entry, DWORD *attributes, FILETIME *created,
                       FILETIME *accessed, FILETIME *written, DWORD *size_high, DWORD *size_low)
{
    *attributes = entry->attributes;
    *created = entry->changed;
    *accessed = entry->accessed;
    *written = entry->written;
    *size_high = (DWORD)(entry->size >> 32);
    *size_low = (DWORD)(entry->size & 0xFFFFFFFFu);
}

// False when the name does not fit; such an entry is skipped, never cut.
static bool FillDataA(const FoundEntry *entry, LPWIN32_FIND_DATAA data)
{
    memset(data, 0, sizeof *data);
    FillCommon(entry, &data->dwFileAttributes, &data->ftCreationTime, &data->ftLastAccessTime,
               &data->ftLastWriteTime, &data->nFileSizeHigh, &data->nFileSizeLow);
    return KvzCopyText(data->cFileName, sizeof data->cFileName, entry->name);
}

static bool FillDataW(const FoundEntry *entry, LPWIN32_FIND_DATAW data)
{
    memset(data, 0, sizeof *data);
    FillCommon(entry, &data->dwFileAttributes, &data->ftCreationTime, &data->ftLastAccessTime,
               &data->ftLastWriteTime, &data->nFileSizeHigh, &data->nFileSizeLow);
    return KvzUtf8ToWide(entry->name, data->cFileName, MAX_PATH);
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    char os_pattern[kOsPathMax];
    if (pattern == NULL || data == NULL || !KvzPathToOs(pattern, os_pattern, sizeof os_pattern)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    FoundEntry entry;
    HANDLE search = FindFirst(os_pattern, &entry);
    while (search != INVALID_HANDLE_VALUE && !FillDataA(&entry, data)) {
        if (!FindNext(search, &entry)) {
            FindClose(search);
            SetLastError(ERROR_NO_MORE_FILES);
            return INVALID_HANDLE_VALUE;
        }
    }
    return search;
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    char os_pattern[kOsPathMax];
    if (pattern == NULL || data == NULL ||
        !KvzWidePathToOs(pattern, os_pattern, sizeof os_pattern)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    FoundEntry entry;
    HANDLE search = FindFirst(os_pattern, &entry);
    while (search != INVALID_HANDLE_VALUE && !FillDataW(&entry, data)) {
        if (!FindNext(search, &entry)) {
            FindClose(search);
            SetLastError(ERROR_NO_MORE_FILES);
            return INVALID_HANDLE_VALUE;
        }
    }
    return search;
}

BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data)
{
    FoundEntry entry;
    while (FindNext(search, &entry)) {
        if (FillDataA(&entry, data))
            return TRUE;
    }
    return FALSE;
}

BOOL FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data)
{
    FoundEntry entry;
    while (FindNext(search, &entry)) {
        if (FillDataW(&entry, data))
            return TRUE;
    }
    return FALSE;
}

BOOL FindClose(HANDLE search)
{
    if (!KvzHandleRemove(search, KVZ_HANDLE_FIND)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    CloseSearch((FindRecord *)search);
    return TRUE;
}
