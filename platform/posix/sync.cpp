// Critical sections: recursive pthread mutexes kept in the caller's storage.
// Interlocked operations: the compiler's atomic builtins.
#include "platform/win32.h"

#include <atomic>
#include <pthread.h>

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque),
              "CRITICAL_SECTION storage too small for pthread_mutex_t");
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION),
              "CRITICAL_SECTION storage not aligned for pthread_mutex_t");

static std::atomic<unsigned long> EnterCount;

// Through void *: the storage's alignment is asserted above, not its bytes'.
static pthread_mutex_t *MutexOf(LPCRITICAL_SECTION section)
{
    return static_cast<pthread_mutex_t *>(static_cast<void *>(section->opaque));
}

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(MutexOf(section), &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_destroy(MutexOf(section));
}

void EnterCriticalSection(LPCRITICAL_SECTION section)
{
    EnterCount.fetch_add(1, std::memory_order_relaxed);
    pthread_mutex_lock(MutexOf(section));
}

void LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_unlock(MutexOf(section));
}

unsigned long KvzCriticalSectionEnterCount(void)
{
    return EnterCount.load(std::memory_order_relaxed);
}

LONG InterlockedExchange(LONG volatile *target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedCompareExchange(LONG volatile *target, LONG value, LONG comparand)
{
    __atomic_compare_exchange_n(target, &comparand, value, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}
