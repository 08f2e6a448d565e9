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

/* ---- Critical sections ---- */

// CE's CRITICAL_SECTION is 20 bytes (LockCount, OwnerThread, hCrit,
// needtrap, dwContentions), less than the layer's lock needs. The layer's
// lock lives on the heap and its address in hCrit; nothing past the 20
// bytes is touched.
#define CE_SECTION_SIZE 20
#define CE_SECTION_LOCK 8 // offset of hCrit

static LPCRITICAL_SECTION lock_of(void *section)
{
    LPCRITICAL_SECTION lock;
    memcpy(&lock, (unsigned char *)section + CE_SECTION_LOCK, sizeof lock);
    return lock;
}

static void ce_initialize_critical_section(void *section)
{
    LPCRITICAL_SECTION lock = (LPCRITICAL_SECTION)malloc(sizeof *lock);
    if (lock == NULL) {
        // CE raises an exception here; going on unlocked would race.
        fputs("kvz: no memory for a CE critical section\n", stderr);
        abort();
    }
    InitializeCriticalSection(lock);
    memset(section, 0, CE_SECTION_SIZE);
    memcpy((unsigned char *)section + CE_SECTION_LOCK, &lock, sizeof lock);
}

static void ce_delete_critical_section(void *section)
{
    LPCRITICAL_SECTION lock = lock_of(section);
    if (lock == NULL)
        return;
    DeleteCriticalSection(lock);
    free(lock);
    memset(section, 0, CE_SECTION_SIZE);
}

static void ce_enter_critical_section(void *section)
{
    LPCRITICAL_SECTION lock = lock_of(section);
    if (lock != NULL)
        EnterCriticalSection(lock);
}

static void ce_leave_critical_section(void *section)
{
    LPCRITICAL_SECTION lock = lock_of(section);
    if (lock != NULL)
        LeaveCriticalSection(lock);
}

/* ---- Interlocked counters ---- */

// Not in the layer, whose own callers need none. Both return the new value,
// as on CE.
static LONG ce_interlocked_increment(LONG volatile *target)
{
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}

static LONG ce_interlocked_decrement(LONG volatile *target)
{
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}

/* ---- Files ---- */

// The layer has no wide DeleteFile of its own.
static BOOL ce_delete_file(LPCWSTR path)
{
    char narrow[KVZ_OS_PATH_MAX];
    if (path == NULL || !KvzWideToUtf8(path, narrow, sizeof narrow)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return DeleteFileA(narrow);
}

// The image's paths are kit paths, with backslashes.
static FILE *ce_fopen(const char *path, const char *mode)
{
    return path != NULL && mode != NULL ? KvzOpenFileStreamA(path, mode) : NULL;
}

/* ---- 16-bit text: CE's wchar_t; the C library's is 32-bit here ---- */

static size_t ce_wcslen(const WCHAR *text)
{
    size_t length = 0;
    while (text[length] != 0)
        length++;
    return length;
}

static int ce_wcscmp(const WCHAR *a, const WCHAR *b)
{
    while (*a != 0 && *a == *b) {
        a++;
        b++;
    }
    return (int)*a - (int)*b;
}

static WCHAR *ce_wcscpy(WCHAR *out, const WCHAR *text)
{
    size_t i = 0;
    for (; text[i] != 0; i++)
        out[i] = text[i];
    out[i] = 0;
    return out;
}

/* ---- The table ---- */

// The layer's wide find data has CE's layout, so the search calls serve
// images as they are.
static_assert(sizeof(WIN32_FIND_DATAW) == 560 && offsetof(WIN32_FIND_DATAW, cFileName) == 40,
              "WIN32_FIND_DATAW is not CE's");

struct CeImport {
    const char *name;
    FARPROC address;
};

static const CeImport served[] = {
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
    {"DeleteFileW", (FARPROC)ce_delete_file},
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
    {"DeleteCriticalSection", (FARPROC)ce_delete_critical_section},
    {"EnterCriticalSection", (FARPROC)ce_enter_critical_section},
    {"InitializeCriticalSection", (FARPROC)ce_initialize_critical_section},
    {"InterlockedCompareExchange", (FARPROC)InterlockedCompareExchange},
    {"InterlockedDecrement", (FARPROC)ce_interlocked_decrement},
    {"InterlockedExchange", (FARPROC)InterlockedExchange},
    {"InterlockedIncrement", (FARPROC)ce_interlocked_increment},
    {"LeaveCriticalSection", (FARPROC)ce_leave_critical_section},
    // C runtime: streams and memory
    {"fclose", (FARPROC)fclose},
    {"fflush", (FARPROC)fflush},
    {"fopen", (FARPROC)ce_fopen},
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
    {"wcscmp", (FARPROC)ce_wcscmp},
    {"wcscpy", (FARPROC)ce_wcscpy},
    {"wcslen", (FARPROC)ce_wcslen},
};

FARPROC KvzCeImport(const char *name)
{
    for (const CeImport &entry : served) {
        if (strcmp(entry.name, name) == 0)
            return entry.address;
    }
    return NULL;
}

const char *KvzCeImportName(unsigned index)
{
    return index < sizeof served / sizeof served[0] ? served[index].name : NULL;
}
