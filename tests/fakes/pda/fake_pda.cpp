// fake_pda.dll: a scriptable stand-in for the handheld archive library. Every
// entry point records its call, answers from the script (fake_control.h) or
// its default, and logs a line when KVZ_FAKE_LOG names a file. One lock keeps
// the record, the script and the per-handle state consistent across threads.
#include <stdlib.h>
#include <string.h>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_control.h"
#include "tests/fakes/fake_text.h"
#include "tests/fakes/pda/fake_calls.h"
#include "tests/fakes/pda/fake_script.h"

// Handles that scripted reads and searches are tracked for at once; the
// oldest is forgotten when more are open.
#define KVZ_FAKE_MAX_STREAMS 64
#define KVZ_FAKE_FIRST_HANDLE 100

// What a handle has given so far: bytes read, or entries found after the first.
struct FakeStream {
    KVZHANDLE handle;
    DWORD used;
};

static CRITICAL_SECTION g_lock;
static KVZHANDLE g_next_handle = KVZ_FAKE_FIRST_HANDLE;
static DWORD g_last_error;
static FakeStream g_streams[KVZ_FAKE_MAX_STREAMS];
static unsigned g_stream_count;
static unsigned g_stream_next;

/* ---- State shared by the entry points (under g_lock) ---- */

static void ResetAnswers(void)
{
    FakeCallsReset();
    g_next_handle = KVZ_FAKE_FIRST_HANDLE;
    g_last_error = 0;
    g_stream_count = 0;
    g_stream_next = 0;
}

static FakeStream *StreamOf(KVZHANDLE handle)
{
    for (unsigned i = 0; i < g_stream_count; i++)
        if (g_streams[i].handle == handle)
            return &g_streams[i];
    FakeStream *stream = &g_streams[g_stream_next];
    g_stream_next = (g_stream_next + 1) % KVZ_FAKE_MAX_STREAMS;
    if (g_stream_count < KVZ_FAKE_MAX_STREAMS)
        g_stream_count++;
    stream->handle = handle;
    stream->used = 0;
    return stream;
}

// A handle just given out starts a new stream, also when a script repeats it.
static void RestartStream(KVZHANDLE handle)
{
    StreamOf(handle)->used = 0;
}

static KVZHANDLE NewHandle(void)
{
    return g_next_handle++;
}

static void FillFindData(LPWIN32_FIND_DATAW data, const WCHAR *name)
{
    if (data == NULL)
        return;
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    FakeWideCopy(data->cFileName, MAX_PATH, name);
}

/* ---- Call frame ---- */

// Takes the lock, records and logs the call, and looks up its rule. Returns 1
// and the scripted result in *scripted when a rule matched. FakeEnd releases.
static int FakeBegin(unsigned ordinal, const uintptr_t *args, const WCHAR *path, const WCHAR *path2,
                     DWORD *scripted)
{
    EnterCriticalSection(&g_lock);
    FakeCallsRecord(ordinal, args, path, path2);
    FakeLogCall(ordinal, args, path2 != NULL ? 2 : path != NULL ? 1 : 0);
    return FakeScriptFind(ordinal, path, scripted);
}

static void FakeEnd(void)
{
    LeaveCriticalSection(&g_lock);
}

// A call whose answer is its rule's result or fallback, and nothing else.
static DWORD FakeCall(unsigned ordinal, const uintptr_t *args, const WCHAR *path,
                      const WCHAR *path2, DWORD fallback)
{
    DWORD result;
    if (!FakeBegin(ordinal, args, path, path2, &result))
        result = fallback;
    FakeEnd();
    return result;
}

/* ---- Entry points ---- */

/* fake_pda.1 */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_FindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    uintptr_t args[] = {(uintptr_t)pattern, (uintptr_t)data};
    KVZHANDLE result;
    if (!FakeBegin(KVZ_ORD_FindFirstFile, args, pattern, NULL, &result))
        result = NewHandle();
    if (result != KVZ_INVALID_HANDLE) {
        RestartStream(result);
        FillFindData(data, TEXT("fake"));
    }
    FakeEnd();
    return result;
}

/* fake_pda.2: a scripted answer is given once per search, then 0. */
KVZ_EXPORT BOOL WINAPI KVZ_FindNextFile(KVZHANDLE search, LPWIN32_FIND_DATAW data)
{
    uintptr_t args[] = {search, (uintptr_t)data};
    DWORD result = 0;
    if (FakeBegin(KVZ_ORD_FindNextFile, args, NULL, NULL, &result)) {
        FakeStream *stream = StreamOf(search);
        if (stream->used > 0)
            result = 0;
        stream->used = 1;
        if (result != 0)
            FillFindData(data, TEXT("fake2"));
    }
    FakeEnd();
    return (BOOL)result;
}

/* fake_pda.3 */
KVZ_EXPORT BOOL WINAPI KVZ_CloseHandle(KVZHANDLE handle)
{
    uintptr_t args[] = {handle};
    return (BOOL)FakeCall(KVZ_ORD_CloseHandle, args, NULL, NULL, TRUE);
}

/* fake_pda.4 */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_CreateFile(LPCWSTR name, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE template_file)
{
    uintptr_t args[] = {(uintptr_t)name,         access,      share,
                        (uintptr_t)security,     disposition, flags,
                        (uintptr_t)template_file};
    KVZHANDLE result;
    if (!FakeBegin(KVZ_ORD_CreateFile, args, name, NULL, &result))
        result = NewHandle();
    if (result != KVZ_INVALID_HANDLE)
        RestartStream(result);
    FakeEnd();
    return result;
}

/* fake_pda.5 */
KVZ_EXPORT BOOL WINAPI KVZ_FindClose(KVZHANDLE search)
{
    uintptr_t args[] = {search};
    return (BOOL)FakeCall(KVZ_ORD_FindClose, args, NULL, NULL, TRUE);
}

/* fake_pda.6 */
KVZ_EXPORT DWORD WINAPI KVZ_GetCacheBlockSize(void)
{
    return FakeCall(KVZ_ORD_GetCacheBlockSize, NULL, NULL, NULL, 0);
}

/* fake_pda.7 */
KVZ_EXPORT DWORD WINAPI KVZ_GetCacheSize(void)
{
    return FakeCall(KVZ_ORD_GetCacheSize, NULL, NULL, NULL, 0);
}

/* fake_pda.8: unscripted, the value last given to KVZ_SetLastError. */
KVZ_EXPORT DWORD WINAPI KVZ_GetLastError(void)
{
    DWORD result;
    if (!FakeBegin(KVZ_ORD_GetLastError, NULL, NULL, NULL, &result))
        result = g_last_error;
    FakeEnd();
    return result;
}

/* fake_pda.9 */
KVZ_EXPORT BOOL WINAPI KVZ_IsFile(LPCWSTR path)
{
    uintptr_t args[] = {(uintptr_t)path};
    return (BOOL)FakeCall(KVZ_ORD_IsFile, args, path, NULL, TRUE);
}

/* fake_pda.10 */
KVZ_EXPORT DWORD WINAPI KVZ_Mount(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth)
{
    uintptr_t args[] = {(uintptr_t)archive, (uintptr_t)mount_dir, access, fourth};
    return FakeCall(KVZ_ORD_Mount, args, archive, mount_dir, 1);
}

/* fake_pda.11 */
KVZ_EXPORT DWORD WINAPI KVZ_MountRes(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth)
{
    uintptr_t args[] = {(uintptr_t)archive, (uintptr_t)mount_dir, access, fourth};
    return FakeCall(KVZ_ORD_MountRes, args, archive, mount_dir, 1);
}

/* fake_pda.12 */
KVZ_EXPORT DWORD WINAPI KVZ_Mounted(LPCWSTR archive)
{
    uintptr_t args[] = {(uintptr_t)archive};
    return FakeCall(KVZ_ORD_Mounted, args, archive, NULL, 1);
}

/* fake_pda.13: a scripted result N other than 0 and all-ones makes every file
 * hold N bytes of 'x'; otherwise nothing is read. */
KVZ_EXPORT BOOL WINAPI KVZ_ReadFile(KVZHANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                                    LPVOID overlapped)
{
    uintptr_t args[] = {file, (uintptr_t)buffer, count, (uintptr_t)read, (uintptr_t)overlapped};
    DWORD result = TRUE;
    DWORD given = 0;
    if (FakeBegin(KVZ_ORD_ReadFile, args, NULL, NULL, &result) && result != 0 &&
        result != 0xFFFFFFFFu && buffer != NULL) {
        FakeStream *stream = StreamOf(file);
        DWORD left = result > stream->used ? result - stream->used : 0;
        given = count < left ? count : left;
        memset(buffer, 'x', given);
        stream->used += given;
    }
    if (read != NULL)
        *read = given;
    FakeEnd();
    return (BOOL)result;
}

/* fake_pda.14 */
KVZ_EXPORT DWORD WINAPI KVZ_SetCacheBlockSize(DWORD size)
{
    uintptr_t args[] = {size};
    return FakeCall(KVZ_ORD_SetCacheBlockSize, args, NULL, NULL, 0);
}

/* fake_pda.15 */
KVZ_EXPORT DWORD WINAPI KVZ_SetCacheSize(DWORD size)
{
    uintptr_t args[] = {size};
    return FakeCall(KVZ_ORD_SetCacheSize, args, NULL, NULL, 0);
}

/* fake_pda.16 */
KVZ_EXPORT DWORD WINAPI KVZ_SetFilePointer(KVZHANDLE file, LONG distance, PLONG distance_high,
                                           DWORD method)
{
    uintptr_t args[] = {file, (uintptr_t)(DWORD)distance, (uintptr_t)distance_high, method};
    return FakeCall(KVZ_ORD_SetFilePointer, args, NULL, NULL, 0);
}

/* fake_pda.17 */
KVZ_EXPORT void WINAPI KVZ_SetLastError(DWORD code)
{
    uintptr_t args[] = {code};
    DWORD ignored;
    FakeBegin(KVZ_ORD_SetLastError, args, NULL, NULL, &ignored);
    g_last_error = code;
    FakeEnd();
}

/* fake_pda.18 */
KVZ_EXPORT DWORD WINAPI KVZ_SupportVersion(void)
{
    return FakeCall(KVZ_ORD_SupportVersion, NULL, NULL, NULL, 0);
}

/* fake_pda.19 */
KVZ_EXPORT DWORD WINAPI KVZ_UnMount(LPCWSTR mount_dir)
{
    uintptr_t args[] = {(uintptr_t)mount_dir};
    return FakeCall(KVZ_ORD_UnMount, args, mount_dir, NULL, 1);
}

/* fake_pda.20: a nonzero answer reports every byte written. */
KVZ_EXPORT BOOL WINAPI KVZ_WriteFile(KVZHANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                                     LPVOID overlapped)
{
    uintptr_t args[] = {file, (uintptr_t)buffer, count, (uintptr_t)written, (uintptr_t)overlapped};
    DWORD result;
    if (!FakeBegin(KVZ_ORD_WriteFile, args, NULL, NULL, &result))
        result = TRUE;
    if (written != NULL)
        *written = result != 0 ? count : 0;
    FakeEnd();
    return (BOOL)result;
}

/* ---- Control exports ---- */

/* fake_pda.21 */
KVZ_EXPORT void KvzFakeSetScript(const char *script)
{
    EnterCriticalSection(&g_lock);
    FakeScriptParse(script);
    ResetAnswers();
    LeaveCriticalSection(&g_lock);
}

/* fake_pda.22 */
KVZ_EXPORT unsigned KvzFakeCallCount(void)
{
    EnterCriticalSection(&g_lock);
    unsigned count = FakeCallsCount();
    LeaveCriticalSection(&g_lock);
    return count;
}

/* fake_pda.23 */
KVZ_EXPORT const KvzFakeCall *KvzFakeGetCall(unsigned i)
{
    EnterCriticalSection(&g_lock);
    const KvzFakeCall *call = FakeCallsGet(i);
    LeaveCriticalSection(&g_lock);
    return call;
}

/* ---- Library entry ---- */

KVZ_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&g_lock);
        ResetAnswers();
        const char *script = getenv("KVZ_FAKE_SCRIPT");
        if (script != NULL && script[0] != 0)
            FakeScriptLoadFile(script);
        FakeLogOpen(getenv("KVZ_FAKE_LOG"));
    } else if (reason == DLL_PROCESS_DETACH) {
        FakeLogClose();
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}
