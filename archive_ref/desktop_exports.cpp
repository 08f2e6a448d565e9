// KVZ32.DLL: the desktop flavour, eight entry points with 8-bit paths at the
// desktop ordinals (KVZ32.def).
#include "archive_api/kvz_api.h"
#include "archive_ref/find_data.h"
#include "archive_ref/mounts.h"
#include "archive_ref/open_read.h"
#include "archive_ref/ref_paths.h"
#include "archive_ref/ref_state.h"
#include "archive_ref/search.h"
#include "archive_ref/teardown.h"

#include <string.h>

// False (with ERROR_INVALID_PARAMETER) when the caller gave no path.
static bool HavePath(LPCSTR path)
{
    if (path != NULL)
        return true;
    RefSetError(ERROR_INVALID_PARAMETER);
    return false;
}

bool FoundNameFits(const char *name)
{
    return strlen(name) < MAX_PATH;
}

// The caller's find data; the search yields only names that fit it.
static void ToFindData(const KvzFound *found, LPWIN32_FIND_DATAA data)
{
    FindDataFromFound(found, data);
    RefCopy(data->cFileName, sizeof data->cFileName, found->name);
}

/* KVZ32.DLL ordinal 1: KVZ_CloseHandle */
KVZ_EXPORT BOOL WINAPI KVZ_CloseHandle(KVZHANDLE file)
{
    return RefCloseHandle(file);
}

/* KVZ32.DLL ordinal 2: KVZ_CreateFile */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_CreateFile(LPCSTR name, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE template_file)
{
    (void)template_file;
    if (!HavePath(name))
        return KVZ_INVALID_HANDLE;
    return RefCreateFile(name, access, share, security, disposition, flags);
}

/* KVZ32.DLL ordinal 3: KVZ_FindClose */
KVZ_EXPORT BOOL WINAPI KVZ_FindClose(KVZHANDLE search)
{
    return RefFindClose(search);
}

/* KVZ32.DLL ordinal 4: KVZ_FindFirstFile */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_FindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    if (!HavePath(pattern) || data == NULL) {
        RefSetError(ERROR_INVALID_PARAMETER);
        return KVZ_INVALID_HANDLE;
    }
    KvzFound found;
    KVZHANDLE search = RefFindFirst(pattern, &found);
    if (search != KVZ_INVALID_HANDLE)
        ToFindData(&found, data);
    return search;
}

/* KVZ32.DLL ordinal 5: KVZ_FindNextFile */
KVZ_EXPORT BOOL WINAPI KVZ_FindNextFile(KVZHANDLE search, LPWIN32_FIND_DATAA data)
{
    if (data == NULL) {
        RefSetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    KvzFound found;
    if (!RefFindNext(search, &found))
        return FALSE;
    ToFindData(&found, data);
    return TRUE;
}

/* KVZ32.DLL ordinal 10: KVZ_Mount */
KVZ_EXPORT DWORD WINAPI KVZ_Mount(LPCSTR archive, LPCSTR mount_dir, DWORD access, DWORD fourth)
{
    (void)access;
    (void)fourth;
    if (!HavePath(archive) || !HavePath(mount_dir))
        return 0;
    return RefMount(archive, mount_dir);
}

/* KVZ32.DLL ordinal 13: KVZ_ReadFile */
KVZ_EXPORT BOOL WINAPI KVZ_ReadFile(KVZHANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                                    LPVOID overlapped)
{
    (void)overlapped;
    return RefReadFile(file, buffer, count, read);
}

/* KVZ32.DLL ordinal 19: KVZ_UnMount */
KVZ_EXPORT DWORD WINAPI KVZ_UnMount(LPCSTR mount_dir)
{
    if (!HavePath(mount_dir))
        return 0;
    return RefUnMount(mount_dir);
}

// The library sets itself up on load. FreeLibrary closes what the caller
// left open; at process exit (reserved non-null) the system reclaims
// everything anyway.
KVZ_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    if (reason == DLL_PROCESS_ATTACH)
        RefStartup();
    else if (reason == DLL_PROCESS_DETACH && reserved == NULL)
        RefShutdown();
    return TRUE;
}
