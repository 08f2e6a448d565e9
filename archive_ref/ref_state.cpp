// Library lock, last error and cache settings.
#include "archive_ref/ref_state.h"

static CRITICAL_SECTION g_library_lock;
static LONG volatile g_cache_block_size = KVZ_REF_DEFAULT_BLOCK_SIZE;
static LONG volatile g_cache_size = KVZ_REF_DEFAULT_CACHE_SIZE;

void RefStateStart(void)
{
    InitializeCriticalSection(&g_library_lock);
}

void RefLock(void)
{
    EnterCriticalSection(&g_library_lock);
}

void RefUnlock(void)
{
    LeaveCriticalSection(&g_library_lock);
}

void RefSetError(DWORD code)
{
    SetLastError(code);
}

DWORD RefGetError(void)
{
    return GetLastError();
}

DWORD RefSetCacheBlockSize(DWORD size)
{
    return (DWORD)InterlockedExchange(&g_cache_block_size, (LONG)size);
}

DWORD RefGetCacheBlockSize(void)
{
    return (DWORD)KvzInterlockedRead(&g_cache_block_size);
}

DWORD RefSetCacheSize(DWORD size)
{
    return (DWORD)InterlockedExchange(&g_cache_size, (LONG)size);
}

DWORD RefGetCacheSize(void)
{
    return (DWORD)KvzInterlockedRead(&g_cache_size);
}

DWORD RefReadBufferSize(void)
{
    DWORD size = RefGetCacheBlockSize();
    if (size < KVZ_REF_MIN_BLOCK_SIZE)
        return KVZ_REF_MIN_BLOCK_SIZE;
    return size > KVZ_REF_MAX_BLOCK_SIZE ? KVZ_REF_MAX_BLOCK_SIZE : size;
}
