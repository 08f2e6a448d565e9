// pdaKVZ's four intercepting exports (ordinals 3, 4, 10, 12).
#ifndef KVZ_PROXY_INTERCEPT_H
#define KVZ_PROXY_INTERCEPT_H

#include "archive_api/kvz_api.h"

// True when the directory component right before the path's file name is
// "sound" in any letter case, and that component begins the path or follows
// a backslash. Always writes the file-name index: one past the last
// backslash, 0 when there is none (an empty path gives 0 and no match).
bool IsSoundFolderPath(LPCWSTR path, DWORD *file_name_index);

// Exports. Results are those of the next library, except: KVZ_Mount gives 1
// for a relocated sound-folder archive whatever the next library answered;
// KVZ_Mounted gives 1 for such an archive without asking, otherwise 0 or 1;
// KVZ_CreateFile gives the handle of a successful redirected open.
// An archive or sound whose file name would not fit beside its directory in
// MAX_PATH characters is not redirected and is treated as any other.

KVZ_EXPORT BOOL WINAPI KVZ_CloseHandle(KVZHANDLE handle);
KVZ_EXPORT KVZHANDLE WINAPI KVZ_CreateFile(LPCWSTR name, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE template_file);
KVZ_EXPORT DWORD WINAPI KVZ_Mount(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth);
KVZ_EXPORT DWORD WINAPI KVZ_Mounted(LPCWSTR archive);

#endif
