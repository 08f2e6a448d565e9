// Helpers shared by the POSIX layer's files; not part of the kit's interface.
#ifndef KVZ_POSIX_INTERNAL_H
#define KVZ_POSIX_INTERNAL_H

#include "platform/win32.h"

// Room for an operating-system path (Linux PATH_MAX).
static const size_t kOsPathMax = 4096;

// ---- Paths (paths.cpp) ----
// Each returns false, leaving `out` an empty string, when the result does not
// fit in `size` bytes (terminator included) or the input is not valid text.

// Kit path (backslashes) to OS path (slashes).
bool KvzPathToOs(const char *path, char *out, size_t size);
// 16-bit kit path to a UTF-8 OS path.
bool KvzWidePathToOs(const WCHAR *path, char *out, size_t size);
// OS path to kit path: '/' becomes '\'.
bool KvzOsToPath(const char *os_path, char *out, size_t size);
// UTF-8 to UTF-16 / UTF-16 to UTF-8, terminated.
bool KvzUtf8ToWide(const char *text, WCHAR *out, size_t count);
bool KvzWideToUtf8(const WCHAR *text, char *out, size_t size);
// Bounded copy that always terminates; false when it had to cut.
bool KvzCopyText(char *out, size_t size, const char *text);
// The Windows error for a failed OS call on `os_path` (errno given): a missing
// entry is ERROR_FILE_NOT_FOUND when its parent directory exists, otherwise
// ERROR_PATH_NOT_FOUND; a refusal is ERROR_ACCESS_DENIED.
DWORD KvzErrorForPath(int err, const char *os_path);
// The Windows error for an errno that does not depend on a path.
DWORD KvzErrorFromErrno(int err);

// ---- Handles (handles.cpp) ----
// Every file and search handle is a heap record on one list, so a stale or
// foreign handle is refused with ERROR_INVALID_HANDLE instead of being used.
enum KvzHandleKind { KVZ_HANDLE_FILE = 1, KVZ_HANDLE_FIND = 2 };

struct KvzHandleRecord {
    KvzHandleRecord *next;
    int kind;
};

void KvzHandleAdd(KvzHandleRecord *record, int kind);
// True when `handle` is on the list with that kind.
bool KvzHandleIsLive(HANDLE handle, int kind);
// Takes the record off the list; false (and nothing done) if it is not there.
bool KvzHandleRemove(HANDLE handle, int kind);

// ---- Files (files.cpp) ----
struct stat;
DWORD KvzAttributesOfStat(const struct stat *st);

// ---- Times (time.cpp) ----
FILETIME KvzFileTimeFromUnix(long long seconds, long nanoseconds);

// ---- Modules (loader.cpp) ----
// Which format a loaded module has; 0 for a handle that is none.
enum KvzModuleFormat { KVZ_MODULE_ELF = 1, KVZ_MODULE_PE = 2 };
int KvzModuleFormatOf(HMODULE module);

#endif
