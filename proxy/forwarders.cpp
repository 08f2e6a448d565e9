// pdaKVZ: the sixteen exports that pass every call straight to the next
// library. Each calls the ForwardTable entry of its own ordinal with its
// arguments unchanged and returns its result: no test, no copy, no lock, so
// each one is a single jump through the table (written by the compiler, or
// by the platform where the compiler cannot: see KVZ_FORWARD).
#include "proxy/proxy_state.h"

// The body of a forwarder: the call of its entry with args, as a tail call.
#define FORWARD(type, ordinal, args)                                                               \
    KVZ_FORWARD(ForwardTable, (ordinal)-1, NEXT_ENTRY(type, ordinal) args)

/* pdaKVZ.@1 */
KVZ_EXPORT KVZ_FORWARDER KVZHANDLE WINAPI KVZ_FindFirstFile(LPCWSTR pattern,
                                                            LPWIN32_FIND_DATAW data)
{
    FORWARD(PFN_KVZ_FindFirstFileW, KVZ_ORD_FindFirstFile, (pattern, data));
}

/* pdaKVZ.@2 */
KVZ_EXPORT KVZ_FORWARDER BOOL WINAPI KVZ_FindNextFile(KVZHANDLE search, LPWIN32_FIND_DATAW data)
{
    FORWARD(PFN_KVZ_FindNextFileW, KVZ_ORD_FindNextFile, (search, data));
}

/* pdaKVZ.@5 */
KVZ_EXPORT KVZ_FORWARDER BOOL WINAPI KVZ_FindClose(KVZHANDLE search)
{
    FORWARD(PFN_KVZ_FindClose, KVZ_ORD_FindClose, (search));
}

/* pdaKVZ.@6 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_GetCacheBlockSize(void)
{
    FORWARD(PFN_KVZ_GetCacheBlockSize, KVZ_ORD_GetCacheBlockSize, ());
}

/* pdaKVZ.@7 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_GetCacheSize(void)
{
    FORWARD(PFN_KVZ_GetCacheSize, KVZ_ORD_GetCacheSize, ());
}

/* pdaKVZ.@8 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_GetLastError(void)
{
    FORWARD(PFN_KVZ_GetLastError, KVZ_ORD_GetLastError, ());
}

/* pdaKVZ.@9 */
KVZ_EXPORT KVZ_FORWARDER BOOL WINAPI KVZ_IsFile(LPCWSTR path)
{
    FORWARD(PFN_KVZ_IsFileW, KVZ_ORD_IsFile, (path));
}

/* pdaKVZ.@11 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_MountRes(LPCWSTR archive, LPCWSTR mount_dir, DWORD access,
                                                   DWORD fourth)
{
    FORWARD(PFN_KVZ_MountResW, KVZ_ORD_MountRes, (archive, mount_dir, access, fourth));
}

/* pdaKVZ.@13 */
KVZ_EXPORT KVZ_FORWARDER BOOL WINAPI KVZ_ReadFile(KVZHANDLE file, LPVOID buffer, DWORD count,
                                                  LPDWORD read, LPVOID overlapped)
{
    FORWARD(PFN_KVZ_ReadFile, KVZ_ORD_ReadFile, (file, buffer, count, read, overlapped));
}

/* pdaKVZ.@14 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_SetCacheBlockSize(DWORD size)
{
    FORWARD(PFN_KVZ_SetCacheBlockSize, KVZ_ORD_SetCacheBlockSize, (size));
}

/* pdaKVZ.@15 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_SetCacheSize(DWORD size)
{
    FORWARD(PFN_KVZ_SetCacheSize, KVZ_ORD_SetCacheSize, (size));
}

/* pdaKVZ.@16 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_SetFilePointer(KVZHANDLE file, LONG distance,
                                                         PLONG distance_high, DWORD method)
{
    FORWARD(PFN_KVZ_SetFilePointer, KVZ_ORD_SetFilePointer,
            (file, distance, distance_high, method));
}

/* pdaKVZ.@17 */
KVZ_EXPORT KVZ_FORWARDER void WINAPI KVZ_SetLastError(DWORD code)
{
    FORWARD(PFN_KVZ_SetLastError, KVZ_ORD_SetLastError, (code));
}

/* pdaKVZ.@18 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_SupportVersion(void)
{
    FORWARD(PFN_KVZ_SupportVersion, KVZ_ORD_SupportVersion, ());
}

/* pdaKVZ.@19 */
KVZ_EXPORT KVZ_FORWARDER DWORD WINAPI KVZ_UnMount(LPCWSTR mount_dir)
{
    FORWARD(PFN_KVZ_UnMountW, KVZ_ORD_UnMount, (mount_dir));
}

/* pdaKVZ.@20 */
KVZ_EXPORT KVZ_FORWARDER BOOL WINAPI KVZ_WriteFile(KVZHANDLE file, LPCVOID buffer, DWORD count,
                                                   LPDWORD written, LPVOID overlapped)
{
    FORWARD(PFN_KVZ_WriteFile, KVZ_ORD_WriteFile, (file, buffer, count, written, overlapped));
}
