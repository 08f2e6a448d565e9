// pdaKVZ: the four intercepting exports. For now they pass every call
// straight to the next library; redirection and logging come next.
#include "proxy/intercept.h"

#include "proxy/proxy_state.h"

/* pdaKVZ.@3 */
KVZ_EXPORT BOOL WINAPI KVZ_CloseHandle(KVZHANDLE handle)
{
    return ((PFN_KVZ_CloseHandle)ForwardTable[KVZ_ORD_CloseHandle - 1])(handle);
}

/* pdaKVZ.@4 */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_CreateFile(LPCWSTR name, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE template_file)
{
    return ((PFN_KVZ_CreateFileW)ForwardTable[KVZ_ORD_CreateFile - 1])(
        name, access, share, security, disposition, flags, template_file);
}

/* pdaKVZ.@10 */
KVZ_EXPORT DWORD WINAPI KVZ_Mount(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth)
{
    return ((PFN_KVZ_MountW)ForwardTable[KVZ_ORD_Mount - 1])(archive, mount_dir, access, fourth);
}

/* pdaKVZ.@12 */
KVZ_EXPORT DWORD WINAPI KVZ_Mounted(LPCWSTR archive)
{
    return ((PFN_KVZ_MountedW)ForwardTable[KVZ_ORD_Mounted - 1])(archive);
}
