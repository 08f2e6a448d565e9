// _pdaKVZ.dll: the handheld flavour, all twenty entry points with 16-bit
// paths at ordinals 1 to 20 (_pdaKVZ.def). Paths are converted to UTF-8 for
// the core; names found are converted back.
#include "archive_api/kvz_api.h"
#include "archive_ref/find_data.h"
#include "archive_ref/mounts.h"
#include "archive_ref/open_read.h"
#include "archive_ref/ref_paths.h"
#include "archive_ref/ref_state.h"
#include "archive_ref/search.h"
#include "archive_ref/teardown.h"
#include "archive_ref/utf_text.h"

#include <string.h>

// The caller's path in UTF-8; false with ERROR_INVALID_PARAMETER for no path
// or ERROR_INVALID_NAME for one too long or malformed.
static bool Narrow(LPCWSTR path, char *out)
{
    if (path == NULL) {
        RefSetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (Utf16ToUtf8(path, out, KVZ_REF_PATH_MAX) == (size_t)-1) {
        RefSetError(ERROR_INVALID_NAME);
        return false;
    }
    return true;
}

bool FoundNameFits(const char *name)
{
    WCHAR wide[MAX_PATH];
    return Utf8ToUtf16(name, wide, MAX_PATH) != (size_t)-1;
}

// The caller's find data; the search yields only names that fit it.
static void ToFindData(const KvzFound *found, LPWIN32_FIND_DATAW data)
{
    FindDataFromFound(found, data);
    Utf8ToUtf16(found->name, data->cFileName, MAX_PATH);
}

/* _pdaKVZ.dll ordinal 1: KVZ_FindFirstFile */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_FindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    char path[KVZ_REF_PATH_MAX];
    if (!Narrow(pattern, path))
        return KVZ_INVALID_HANDLE;
    if (data == NULL) {
        RefSetError(ERROR_INVALID_PARAMETER);
        return KVZ_INVALID_HANDLE;
    }
    KvzFound found;
    KVZHANDLE search = RefFindFirst(path, &found);
    if (search != KVZ_INVALID_HANDLE)
        ToFindData(&found, data);
    return search;
}

/* _pdaKVZ.dll ordinal 2: KVZ_FindNextFile */
KVZ_EXPORT BOOL WINAPI KVZ_FindNextFile(KVZHANDLE search, LPWIN32_FIND_DATAW data)
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

/* _pdaKVZ.dll ordinal 3: KVZ_CloseHandle */
KVZ_EXPORT BOOL WINAPI KVZ_CloseHandle(KVZHANDLE file)
{
    return RefCloseHandle(file);
}

/* _pdaKVZ.dll ordinal 4: KVZ_CreateFile */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_CreateFile(LPCWSTR name, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE template_file)
{
    (void)template_file;
    char path[KVZ_REF_PATH_MAX];
    if (!Narrow(name, path))
        return KVZ_INVALID_HANDLE;
    return RefCreateFile(path, access, share, security, disposition, flags);
}

/* _pdaKVZ.dll ordinal 5: KVZ_FindClose */
KVZ_EXPORT BOOL WINAPI KVZ_FindClose(KVZHANDLE search)
{
    return RefFindClose(search);
}

/* _pdaKVZ.dll ordinal 6: KVZ_GetCacheBlockSize */
KVZ_EXPORT DWORD WINAPI KVZ_GetCacheBlockSize(void)
{
    return RefGetCacheBlockSize();
}

/* _pdaKVZ.dll ordinal 7: KVZ_GetCacheSize */
KVZ_EXPORT DWORD WINAPI KVZ_GetCacheSize(void)
{
    return RefGetCacheSize();
}

/* _pdaKVZ.dll ordinal 8: KVZ_GetLastError */
KVZ_EXPORT DWORD WINAPI KVZ_GetLastError(void)
{
    return RefGetError();
}

/* _pdaKVZ.dll ordinal 9: KVZ_IsFile */
KVZ_EXPORT BOOL WINAPI KVZ_IsFile(LPCWSTR path)
{
    char narrow[KVZ_REF_PATH_MAX];
    return Narrow(path, narrow) ? RefIsFile(narrow) : FALSE;
}

/* _pdaKVZ.dll ordinal 10: KVZ_Mount */
KVZ_EXPORT DWORD WINAPI KVZ_Mount(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth)
{
    (void)access;
    (void)fourth;
    char archive_path[KVZ_REF_PATH_MAX];
    char dir_path[KVZ_REF_PATH_MAX];
    if (!Narrow(archive, archive_path) || !Narrow(mount_dir, dir_path))
        return 0;
    return RefMount(archive_path, dir_path);
}

/* _pdaKVZ.dll ordinal 11: KVZ_MountRes (a mount, as its callers use it) */
KVZ_EXPORT DWORD WINAPI KVZ_MountRes(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth)
{
    return KVZ_Mount(archive, mount_dir, access, fourth);
}

/* _pdaKVZ.dll ordinal 12: KVZ_Mounted */
KVZ_EXPORT DWORD WINAPI KVZ_Mounted(LPCWSTR archive)
{
    char path[KVZ_REF_PATH_MAX];
    return Narrow(archive, path) ? RefMounted(path) : 0;
}

/* _pdaKVZ.dll ordinal 13: KVZ_ReadFile */
KVZ_EXPORT BOOL WINAPI KVZ_ReadFile(KVZHANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                                    LPVOID overlapped)
{
    (void)overlapped;
    return RefReadFile(file, buffer, count, read);
}

/* _pdaKVZ.dll ordinal 14: KVZ_SetCacheBlockSize */
KVZ_EXPORT DWORD WINAPI KVZ_SetCacheBlockSize(DWORD size)
{
    return RefSetCacheBlockSize(size);
}

/* _pdaKVZ.dll ordinal 15: KVZ_SetCacheSize */
KVZ_EXPORT DWORD WINAPI KVZ_SetCacheSize(DWORD size)
{
    return RefSetCacheSize(size);
}

/* _pdaKVZ.dll ordinal 16: KVZ_SetFilePointer */
KVZ_EXPORT DWORD WINAPI KVZ_SetFilePointer(KVZHANDLE file, LONG distance, PLONG distance_high,
                                           DWORD method)
{
    return RefSetFilePointer(file, distance, distance_high, method);
}

/* _pdaKVZ.dll ordinal 17: KVZ_SetLastError */
KVZ_EXPORT void WINAPI KVZ_SetLastError(DWORD code)
{
    RefSetError(code);
}

/* _pdaKVZ.dll ordinal 18: KVZ_SupportVersion */
KVZ_EXPORT DWORD WINAPI KVZ_SupportVersion(void)
{
    return kRefVersion;
}

/* _pdaKVZ.dll ordinal 19: KVZ_UnMount */
KVZ_EXPORT DWORD WINAPI KVZ_UnMount(LPCWSTR mount_dir)
{
    char path[KVZ_REF_PATH_MAX];
    return Narrow(mount_dir, path) ? RefUnMount(path) : 0;
}

/* _pdaKVZ.dll ordinal 20: KVZ_WriteFile */
KVZ_EXPORT BOOL WINAPI KVZ_WriteFile(KVZHANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                                     LPVOID overlapped)
{
    (void)overlapped;
    return RefWriteFile(file, buffer, count, written);
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
