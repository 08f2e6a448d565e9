// pdaKVZ: the sixteen exports that pass every call straight to the next
// library. Each calls the ForwardTable entry of its own ordinal with its
// arguments unchanged and returns its result: no test, no copy, no lock, so
// the compiler makes each one a single jump through the table.
#include "proxy/proxy_state.h"

/* pdaKVZ.@1 */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_FindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    return ((PFN_KVZ_FindFirstFileW)ForwardTable[KVZ_ORD_FindFirstFile - 1])(pattern, data);
}

/* pdaKVZ.@2 */
KVZ_EXPORT BOOL WINAPI KVZ_FindNextFile(KVZHANDLE search, LPWIN32_FIND_DATAW data)
{
    return ((PFN_KVZ_FindNextFileW)ForwardTable[KVZ_ORD_FindNextFile - 1])(search, data);
}

/* pdaKVZ.@5 */
KVZ_EXPORT BOOL WINAPI KVZ_FindClose(KVZHANDLE search)
{
    return ((PFN_KVZ_FindClose)ForwardTable[KVZ_ORD_FindClose - 1])(search);
}

/* pdaKVZ.@6 */
KVZ_EXPORT DWORD WINAPI KVZ_GetCacheBlockSize(void)
{
    return ((PFN_KVZ_GetCacheBlockSize)ForwardTable[KVZ_ORD_GetCacheBlockSize - 1])();
}

/* pdaKVZ.@7 */
KVZ_EXPORT DWORD WINAPI KVZ_GetCacheSize(void)
{
    return ((PFN_KVZ_GetCacheSize)ForwardTable[KVZ_ORD_GetCacheSize - 1])();
}

/* pdaKVZ.@8 */
KVZ_EXPORT DWORD WINAPI KVZ_GetLastError(void)
{
    return ((PFN_KVZ_GetLastError)ForwardTable[KVZ_ORD_GetLastError - 1])();
}

/* pdaKVZ.@9 */
KVZ_EXPORT BOOL WINAPI KVZ_IsFile(LPCWSTR path)
{
    return ((PFN_KVZ_IsFileW)ForwardTable[KVZ_ORD_IsFile - 1])(path);
}

/* pdaKVZ.@11 */
KVZ_EXPORT DWORD WINAPI KVZ_MountRes(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth)
{
    return ((PFN_KVZ_MountResW)ForwardTable[KVZ_ORD_MountRes - 1])(archive, mount_dir, access,
                                                                   fourth);
}

/* pdaKVZ.@13 */
KVZ_EXPORT BOOL WINAPI KVZ_ReadFile(KVZHANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                                    LPVOID overlapped)
{
    return ((PFN_KVZ_ReadFile)ForwardTable[KVZ_ORD_ReadFile - 1])(file, buffer, count, read,
                                                                  overlapped);
}

/* pdaKVZ.@14 */
KVZ_EXPORT DWORD WINAPI KVZ_SetCacheBlockSize(DWORD size)
{
    return ((PFN_KVZ_SetCacheBlockSize)ForwardTable[KVZ_ORD_SetCacheBlockSize - 1])(size);
}

/* pdaKVZ.@15 */
KVZ_EXPORT DWORD WINAPI KVZ_SetCacheSize(DWORD size)
{
    return ((PFN_KVZ_SetCacheSize)ForwardTable[KVZ_ORD_SetCacheSize - 1])(size);
}

/* pdaKVZ.@16 */
KVZ_EXPORT DWORD WINAPI KVZ_SetFilePointer(KVZHANDLE file, LONG distance, PLONG distance_high,
                                           DWORD method)
{
    return ((PFN_KVZ_SetFilePointer)ForwardTable[KVZ_ORD_SetFilePointer - 1])(
        file, distance, distance_high, method);
}

/* pdaKVZ.@17 */
KVZ_EXPORT void WINAPI KVZ_SetLastError(DWORD code)
{
    return ((PFN_KVZ_SetLastError)ForwardTable[KVZ_ORD_SetLastError - 1])(code);
}

/* pdaKVZ.@18 */
KVZ_EXPORT DWORD WINAPI KVZ_SupportVersion(void)
{
    return ((PFN_KVZ_SupportVersion)ForwardTable[KVZ_ORD_SupportVersion - 1])();
}

/* pdaKVZ.@19 */
KVZ_EXPORT DWORD WINAPI KVZ_UnMount(LPCWSTR mount_dir)
{
    return ((PFN_KVZ_UnMountW)ForwardTable[KVZ_ORD_UnMount - 1])(mount_dir);
}

/* pdaKVZ.@20 */
KVZ_EXPORT BOOL WINAPI KVZ_WriteFile(KVZHANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                                     LPVOID overlapped)
{
    return ((PFN_KVZ_WriteFile)ForwardTable[KVZ_ORD_WriteFile - 1])(file, buffer, count, written,
                                                                    overlapped);
}
