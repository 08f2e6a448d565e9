// pdaKVZ's four intercepting exports (ordinals 3, 4, 10, 12).
#ifndef KVZ_PROXY_INTERCEPT_H
#define KVZ_PROXY_INTERCEPT_H

#include "archive_api/kvz_api.h"

KVZ_EXPORT BOOL WINAPI KVZ_CloseHandle(KVZHANDLE handle);
KVZ_EXPORT KVZHANDLE WINAPI KVZ_CreateFile(LPCWSTR name, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE template_file);
KVZ_EXPORT DWORD WINAPI KVZ_Mount(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth);
KVZ_EXPORT DWORD WINAPI KVZ_Mounted(LPCWSTR archive);

#endif
