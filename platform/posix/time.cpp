// Local time and file times.
#include "platform/posix/posix_internal.h"

#include <atomic>
#include <time.h>

static std::atomic<unsigned long> LocalTimeReads;

// Seconds from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
static const long long kFileTimeEpochOffset = 11644473600LL;

FILETIME KvzFileTimeFromUnix(long long seconds, long nanoseconds)
{
    unsigned long long ticks =
        (unsigned long long)(seconds + kFileTimeEpochOffset) * 10000000ull + nanoseconds / 100;
    FILETIME t;
    t.dwLowDateTime = (DWORD)(ticks & 0xFFFFFFFFu);
    t.dwHighDateTime = (DWORD)(ticks >> 32);
    return t;
}

void GetLocalTime(LPSYSTEMTIME out)
{
    LocalTimeReads.fetch_add(1, std::memory_order_relaxed);
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    out->wYear = (WORD)(local.tm_year + 1900);
    out->wMonth = (WORD)(local.tm_mon + 1);
    out->wDayOfWeek = (WORD)local.tm_wday;
    out->wDay = (WORD)local.tm_mday;
    out->wHour = (WORD)local.tm_hour;
    out->wMinute = (WORD)local.tm_min;
    out->wSecond = (WORD)(local.tm_sec > 59 ? 59 : local.tm_sec); // no leap second on Windows
    out->wMilliseconds = (WORD)(now.tv_nsec / 1000000);
}

unsigned long KvzLocalTimeReadCount(void)
{
    return LocalTimeReads.load(std::memory_order_relaxed);
}
