// Per-thread last error.
#include "platform/win32.h"

static thread_local DWORD ThreadLastError;

DWORD GetLastError(void)
{
    return ThreadLastError;
}
void SetLastError(DWORD code)
{
    ThreadLastError = code;
}
