// The coredll.dll calls the layer serves to CE images, by name.
//
// CE's calling standard on ARM and the layer's (AAPCS, soft float) pass the
// kit's 32-bit arguments and results alike, so most entries are the layer's
// own functions or the C library's. Where CE's form differs, a short adapter
// below stands between; the image is never patched. Every name here is a
// coredll export (../shared/handheld/coredll-exports.txt); a test holds the
// table to that list.
#include "platform/posix/ce/ce_imports.h"
#include "platform/file_stream.h"
#include "platform/posix/posix_internal.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// ---- Critical sections ----

// CE's CRITICAL_SECTION is 20 bytes (LockCount, OwnerThread, hCrit,
// needtrap, dwContentions), less than the layer's lock needs. The layer's
// lock lives on the heap and its address in hCrit; nothing past the 20
// bytes is touched.
static const size_t kCeSectionSize = 20;
static const size_t kCeSectionLock = 8; // offset of hCrit

static LPCRITICAL_SECTION LockOf(void *section)
{
    LPCRITICAL_SECTION lock;
    memcpy(&lock, (unsigned char *)section + kCeSectionLock, sizeof lock);
    return lock;
}

static void CeInitializeCriticalSection(void *section)
{
    LPCRITICAL_SECTION lock = (LPCRITICAL_SECTION)malloc(sizeof *lock);
    if (lock == NULL) {
        // CE raises an exception here; going on unlocked would race.
        fputs("kvz: no memory for a CE critical section\n", stderr);
        abort();
    }
    InitializeCriticalSection(lock);
    memset(section, 0, kCeSectionSize);
    memcpy((unsigned char *)section + kCeSectionLock, &lock, sizeof lock);
}

static void CeDeleteCriticalSection(void *section)
{
    LPCRITICAL_SECTION lock = LockOf(section);
    if (lock == NULL)
        return;
    DeleteCriticalSection(lock);
    free(lock);
    memset(section, 0, kCeSectionSize);
}

static void CeEnterCriticalSection(void *section)
{
    LPCRITICAL_SECTION lock = LockOf(section);
    if (lock != NULL)
        EnterCriticalSection(lock);
}

static void CeLeaveCriticalSection(void *section)
{
    LPCRITICAL_SECTION lock = LockOf(section);
    if (lock != NULL)
        LeaveCriticalSection(lock);
}

// ---- Interlocked counters ----

// Not in the layer, whose own callers need none. Both return the new value,
// as on CE.
static LONG CeInterlockedIncrement(LONG volatile *target)
{
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}

static LONG CeInterlockedDecrement(LONG volatile *target)
{
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}

// ---- Files ----

// The layer has no wide DeleteFile of its own.
static BOOL CeDeleteFileW(LPCWSTR path)
{
    char narrow[kOsPathMax];
    if (path == NULL || !KvzWideToUtf8(path, narrow, sizeof narrow)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return DeleteFileA(narrow);
}

// The image's paths are kit paths, with backslashes.
static FILE *CeFopen(const char *path, const char *mode)
{
    return path != NULL && mode != NULL ? KvzOpenFileStreamA(path, mode) : NULL;
}

// ---- 16-bit text: CE's wchar_t; the C library's is 32-bit here ----

static size_t CeWcslen(const WCHAR *text)
{
    size_t length = 0;
    while (text[length] != 0)
        length++;
    return length;
}

static int CeWcscmp(const WCHAR *a, const WCHAR *b)
{
    while (*a != 0 && *a == *b) {
        a++;
        b++;
    }
    return (int)*a - (int)*b;
}

static WCHAR *CeWcscpy(WCHAR *out, const WCHAR *text)
{
    size_t i = 0;
    for (; text[i] != 0; i++)
        out[i] = text[i];
    out[i] = 0;
    return out;
}

// ---- The table ----

// The layer's wide find data has CE's layout, so the search calls serve
// images as they are.
static_assert(sizeof(WIN32_FIND_DATAW) == 560 && offsetof(WIN32_FIND_DATAW, cFileName) == 40,
              "WIN32_FIND_DATAW is not CE's");

struct CeImport {
    const char *name;
    FARPROC address;
};

static const CeImport kServed[] = {
    // Libraries
    {"FreeLibrary", (FARPROC)FreeLibrary},
    {"GetModuleFileNameW", (FARPROC)GetModuleFileNameW},
    {"GetProcAddressA", (FARPROC)GetProcAddress},
    {"GetProcAddressW", (FARPROC)GetProcAddressW},
    {"LoadLibraryW", (FARPROC)LoadLibraryW},
    // Errors
    {"GetLastError", (FARPROC)GetLastError},
    {"SetLastError", (FARPROC)SetLastError},
    // Files, directories and searches
    {"CloseHandle", (FARPROC)CloseHandle},
    {"CreateDirectoryW", (FARPROC)CreateDirectoryW},
    {"CreateFileW", (FARPROC)CreateFileW},
    {"DeleteFileW", (FARPROC)CeDeleteFileW},
    {"FindClose", (FARPROC)FindClose},
    {"FindFirstFileW", (FARPROC)FindFirstFileW},
    {"FindNextFileW", (FARPROC)FindNextFileW},
    {"GetFileAttributesW", (FARPROC)GetFileAttributesW},
    {"GetFileSize", (FARPROC)GetFileSize},
    {"ReadFile", (FARPROC)ReadFile},
    {"SetFilePointer", (FARPROC)SetFilePointer},
    {"WriteFile", (FARPROC)WriteFile},
    // User interface, process, time
    {"GetLocalTime", (FARPROC)GetLocalTime},
    {"MessageBoxW", (FARPROC)MessageBoxW},
    {"Sleep", (FARPROC)Sleep},
    {"TerminateProcess", (FARPROC)TerminateProcess},
    // Synchronisation
    {"DeleteCriticalSection", (FARPROC)CeDeleteCriticalSection},
    {"EnterCriticalSection", (FARPROC)CeEnterCriticalSection},
    {"InitializeCriticalSection", (FARPROC)CeInitializeCriticalSection},
    {"InterlockedCompareExchange", (FARPROC)InterlockedCompareExchange},
    {"InterlockedDecrement", (FARPROC)CeInterlockedDecrement},
    {"InterlockedExchange", (FARPROC)InterlockedExchange},
    {"InterlockedIncrement", (FARPROC)CeInterlockedIncrement},
    {"LeaveCriticalSection", (FARPROC)CeLeaveCriticalSection},
    // C runtime: streams and memory
    {"fclose", (FARPROC)fclose},
    {"fflush", (FARPROC)fflush},
    {"fopen", (FARPROC)CeFopen},
    {"_wfopen", (FARPROC)_wfopen},
    {"fread", (FARPROC)fread},
    {"fseek", (FARPROC)fseek},
    {"ftell", (FARPROC)ftell},
    {"fwrite", (FARPROC)fwrite},
    {"calloc", (FARPROC)calloc},
    {"free", (FARPROC)free},
    {"malloc", (FARPROC)malloc},
    {"realloc", (FARPROC)realloc},
    // C runtime: bytes and 8-bit text
    {"memchr", (FARPROC)(static_cast<void *(*)(void *, int, size_t)>(memchr))},
    {"memcmp", (FARPROC)memcmp},
    {"memcpy", (FARPROC)memcpy},
    {"memmove", (FARPROC)memmove},
    {"memset", (FARPROC)memset},
    {"strcat", (FARPROC)strcat},
    {"strchr", (FARPROC)(static_cast<char *(*)(char *, int)>(strchr))},
    {"strcmp", (FARPROC)strcmp},
    {"strcpy", (FARPROC)strcpy},
    {"strcspn", (FARPROC)strcspn},
    {"strlen", (FARPROC)strlen},
    {"strncmp", (FARPROC)strncmp},
    {"strrchr", (FARPROC)(static_cast<char *(*)(char *, int)>(strrchr))},
    {"strspn", (FARPROC)strspn},
    {"strstr", (FARPROC)(static_cast<char *(*)(char *, const char *)>(strstr))},
    // C runtime: 16-bit text
    {"wcscmp", (FARPROC)CeWcscmp},
    {"wcscpy", (FARPROC)CeWcscpy},
    {"wcslen", (FARPROC)CeWcslen},
};

FARPROC KvzCeImport(const char *name)
{
    for (const CeImport &entry : kServed) {
        if (strcmp(entry.name, name) == 0)
            return entry.address;
    }
    return NULL;
}

const char *KvzCeImportName(unsigned index)
{
    return index < sizeof kServed / sizeof kServed[0] ? kServed[index].name : NULL;
}
