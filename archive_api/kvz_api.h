// The archive library contract: the entry points of KVZ32.DLL (desktop, 8-bit
// paths) and of the handheld library (16-bit paths), their ordinals, argument
// counts and types. Both deliverables and the reference library include it.
#ifndef KVZ_ARCHIVE_API_H
#define KVZ_ARCHIVE_API_H

#include "platform/win32.h"

// Handles are 32-bit values owned by the library, never pointers.
typedef DWORD KVZHANDLE;
#define KVZ_INVALID_HANDLE ((KVZHANDLE)0xFFFFFFFFu)

// ---- Ordinals ----
// Handheld: all twenty, 1 to 20. Desktop: eight of them.
enum KvzOrdinal {
    KVZ_ORD_FindFirstFile = 1,
    KVZ_ORD_FindNextFile = 2,
    KVZ_ORD_CloseHandle = 3,
    KVZ_ORD_CreateFile = 4,
    KVZ_ORD_FindClose = 5,
    KVZ_ORD_GetCacheBlockSize = 6,
    KVZ_ORD_GetCacheSize = 7,
    KVZ_ORD_GetLastError = 8,
    KVZ_ORD_IsFile = 9,
    KVZ_ORD_Mount = 10,
    KVZ_ORD_MountRes = 11,
    KVZ_ORD_Mounted = 12,
    KVZ_ORD_ReadFile = 13,
    KVZ_ORD_SetCacheBlockSize = 14,
    KVZ_ORD_SetCacheSize = 15,
    KVZ_ORD_SetFilePointer = 16,
    KVZ_ORD_SetLastError = 17,
    KVZ_ORD_SupportVersion = 18,
    KVZ_ORD_UnMount = 19,
    KVZ_ORD_WriteFile = 20,
};
#define KVZ_HANDHELD_ORDINAL_COUNT 20

enum KvzDesktopOrdinal {
    KVZ_DESK_CloseHandle = 1,
    KVZ_DESK_CreateFile = 2,
    KVZ_DESK_FindClose = 3,
    KVZ_DESK_FindFirstFile = 4,
    KVZ_DESK_FindNextFile = 5,
    KVZ_DESK_Mount = 10,
    KVZ_DESK_ReadFile = 13,
    KVZ_DESK_UnMount = 19,
};
#define KVZ_DESKTOP_ORDINAL_COUNT 8

// One row per entry point: name, handheld ordinal, desktop ordinal (0 = not in
// the desktop build), number of 32-bit arguments.
struct KvzEntryInfo {
    const char *name;
    unsigned handheld;
    unsigned desktop;
    unsigned arguments;
};

constexpr KvzEntryInfo kKvzEntries[KVZ_HANDHELD_ORDINAL_COUNT] = {
    {"KVZ_FindFirstFile", KVZ_ORD_FindFirstFile, KVZ_DESK_FindFirstFile, 2},
    {"KVZ_FindNextFile", KVZ_ORD_FindNextFile, KVZ_DESK_FindNextFile, 2},
    {"KVZ_CloseHandle", KVZ_ORD_CloseHandle, KVZ_DESK_CloseHandle, 1},
    {"KVZ_CreateFile", KVZ_ORD_CreateFile, KVZ_DESK_CreateFile, 7},
    {"KVZ_FindClose", KVZ_ORD_FindClose, KVZ_DESK_FindClose, 1},
    {"KVZ_GetCacheBlockSize", KVZ_ORD_GetCacheBlockSize, 0, 0},
    {"KVZ_GetCacheSize", KVZ_ORD_GetCacheSize, 0, 0},
    {"KVZ_GetLastError", KVZ_ORD_GetLastError, 0, 0},
    {"KVZ_IsFile", KVZ_ORD_IsFile, 0, 1},
    {"KVZ_Mount", KVZ_ORD_Mount, KVZ_DESK_Mount, 4},
    {"KVZ_MountRes", KVZ_ORD_MountRes, 0, 4},
    {"KVZ_Mounted", KVZ_ORD_Mounted, 0, 1},
    {"KVZ_ReadFile", KVZ_ORD_ReadFile, KVZ_DESK_ReadFile, 5},
    {"KVZ_SetCacheBlockSize", KVZ_ORD_SetCacheBlockSize, 0, 1},
    {"KVZ_SetCacheSize", KVZ_ORD_SetCacheSize, 0, 1},
    {"KVZ_SetFilePointer", KVZ_ORD_SetFilePointer, 0, 4},
    {"KVZ_SetLastError", KVZ_ORD_SetLastError, 0, 1},
    {"KVZ_SupportVersion", KVZ_ORD_SupportVersion, 0, 0},
    {"KVZ_UnMount", KVZ_ORD_UnMount, KVZ_DESK_UnMount, 1},
    {"KVZ_WriteFile", KVZ_ORD_WriteFile, 0, 5},
};

// The table is in handheld ordinal order, 1 to 20, and the desktop ordinals
// are unique and within 1 to 20: a typo in either column stops the build.
constexpr bool KvzEntriesAreConsistent()
{
    unsigned desktop_count = 0;
    for (unsigned i = 0; i < KVZ_HANDHELD_ORDINAL_COUNT; i++) {
        if (kKvzEntries[i].handheld != i + 1 || kKvzEntries[i].arguments > 7)
            return false;
        if (kKvzEntries[i].desktop == 0)
            continue;
        if (kKvzEntries[i].desktop > KVZ_HANDHELD_ORDINAL_COUNT)
            return false;
        desktop_count++;
        for (unsigned j = 0; j < i; j++)
            if (kKvzEntries[j].desktop == kKvzEntries[i].desktop)
                return false;
    }
    return desktop_count == KVZ_DESKTOP_ORDINAL_COUNT;
}
static_assert(KvzEntriesAreConsistent(), "archive library ordinal tables disagree");

// ---- Handheld entry points (16-bit paths) ----
typedef KVZHANDLE(WINAPI *PFN_KVZ_FindFirstFileW)(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
typedef BOOL(WINAPI *PFN_KVZ_FindNextFileW)(KVZHANDLE search, LPWIN32_FIND_DATAW data);
typedef BOOL(WINAPI *PFN_KVZ_CloseHandle)(KVZHANDLE handle);
typedef KVZHANDLE(WINAPI *PFN_KVZ_CreateFileW)(LPCWSTR name, DWORD access, DWORD share,
                                               LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                               DWORD flags, HANDLE template_file);
typedef BOOL(WINAPI *PFN_KVZ_FindClose)(KVZHANDLE search);
typedef DWORD(WINAPI *PFN_KVZ_GetCacheBlockSize)(void);
typedef DWORD(WINAPI *PFN_KVZ_GetCacheSize)(void);
typedef DWORD(WINAPI *PFN_KVZ_GetLastError)(void);
typedef BOOL(WINAPI *PFN_KVZ_IsFileW)(LPCWSTR path);
typedef DWORD(WINAPI *PFN_KVZ_MountW)(LPCWSTR archive, LPCWSTR mount_dir, DWORD access,
                                      DWORD fourth);
typedef DWORD(WINAPI *PFN_KVZ_MountResW)(LPCWSTR archive, LPCWSTR mount_dir, DWORD access,
                                         DWORD fourth);
typedef DWORD(WINAPI *PFN_KVZ_MountedW)(LPCWSTR archive);
typedef BOOL(WINAPI *PFN_KVZ_ReadFile)(KVZHANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                                       LPVOID overlapped);
typedef DWORD(WINAPI *PFN_KVZ_SetCacheBlockSize)(DWORD size);
typedef DWORD(WINAPI *PFN_KVZ_SetCacheSize)(DWORD size);
typedef DWORD(WINAPI *PFN_KVZ_SetFilePointer)(KVZHANDLE file, LONG distance, PLONG distance_high,
                                              DWORD method);
typedef void(WINAPI *PFN_KVZ_SetLastError)(DWORD code);
typedef DWORD(WINAPI *PFN_KVZ_SupportVersion)(void);
typedef DWORD(WINAPI *PFN_KVZ_UnMountW)(LPCWSTR mount_dir);
typedef BOOL(WINAPI *PFN_KVZ_WriteFile)(KVZHANDLE file, LPCVOID buffer, DWORD count,
                                        LPDWORD written, LPVOID overlapped);

// ---- Desktop entry points (8-bit paths) ----
typedef KVZHANDLE(WINAPI *PFN_KVZ_FindFirstFileA)(LPCSTR pattern, LPWIN32_FIND_DATAA data);
typedef BOOL(WINAPI *PFN_KVZ_FindNextFileA)(KVZHANDLE search, LPWIN32_FIND_DATAA data);
typedef KVZHANDLE(WINAPI *PFN_KVZ_CreateFileA)(LPCSTR name, DWORD access, DWORD share,
                                               LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                               DWORD flags, HANDLE template_file);
typedef DWORD(WINAPI *PFN_KVZ_MountA)(LPCSTR archive, LPCSTR mount_dir, DWORD access,
                                      DWORD fourth);
typedef DWORD(WINAPI *PFN_KVZ_UnMountA)(LPCSTR mount_dir);

// An ordinal in the place of a name, for GetProcAddress and GetProcAddressW.
#define KVZ_ORDINAL_NAME(ord) ((LPCSTR)(ULONG_PTR)(ord))
#define KVZ_ORDINAL_NAMEW(ord) ((LPCWSTR)(ULONG_PTR)(ord))

#endif
