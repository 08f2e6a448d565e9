// Library lock, last error and cache settings.
#include "archive_ref/ref_state.h"

#include <atomic>

static CRITICAL_SECTION g_library_lock;
static thread_local DWORD t_last_error = ERROR_SUCCESS;
static std::atomic<DWORD> g_cache_block_size{KVZ_REF_DEFAULT_BLOCK_SIZE};
static std::atomic<DWORD> g_cache_size{KVZ_REF_DEFAULT_CACHE_SIZE};

static bool StartLibrary()
{
    InitializeCriticalSection(&g_library_lock);
    return true;
}

// Runs while the library loads, before any entry point can be called.
static const bool g_started = StartLibrary();

bool RefStarted(void)
{
    return g_started;
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
    t_last_error = code;
    SetLastError(code);
}

DWORD RefGetError(void)
{
    return t_last_error;
}

DWORD RefSetCacheBlockSize(DWORD size)
{
    return g_cache_block_size.exchange(size);
}

DWORD RefGetCacheBlockSize(void)
{
    return g_cache_block_size.load();
}

DWORD RefSetCacheSize(DWORD size)
{
    return g_cache_size.exchange(size);
}

DWORD RefGetCacheSize(void)
{
    return g_cache_size.load();
}

DWORD RefReadBufferSize(void)
{
    DWORD size = g_cache_block_size.load();
    if (size < KVZ_REF_MIN_BLOCK_SIZE)
        return KVZ_REF_MIN_BLOCK_SIZE;
    return size > KVZ_REF_MAX_BLOCK_SIZE ? KVZ_REF_MAX_BLOCK_SIZE : size;
}
