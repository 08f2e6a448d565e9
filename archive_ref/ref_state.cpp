// Library lock, last error and cache settings.
#include "archive_ref/ref_state.h"

static CRITICAL_SECTION LibraryLock;
static LONG volatile CacheBlockSize = kDefaultBlockSize;
static LONG volatile CacheSize = kDefaultCacheSize;

void RefStateStart(void)
{
    InitializeCriticalSection(&LibraryLock);
}

void RefLock(void)
{
    EnterCriticalSection(&LibraryLock);
}

void RefUnlock(void)
{
    LeaveCriticalSection(&LibraryLock);
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
    return (DWORD)InterlockedExchange(&CacheBlockSize, (LONG)size);
}

DWORD RefGetCacheBlockSize(void)
{
    return (DWORD)KvzInterlockedRead(&CacheBlockSize);
}

DWORD RefSetCacheSize(DWORD size)
{
    return (DWORD)InterlockedExchange(&CacheSize, (LONG)size);
}

DWORD RefGetCacheSize(void)
{
    return (DWORD)KvzInterlockedRead(&CacheSize);
}

DWORD RefReadBufferSize(void)
{
    DWORD size = RefGetCacheBlockSize();
    if (size < kMinBlockSize)
        return kMinBlockSize;
    return size > kMaxBlockSize ? kMaxBlockSize : size;
}
