// Per-thread last error.
#include "platform/win32.h"

static thread_local DWORD tls_last_error;

DWORD GetLastError(void)
{
    return tls_last_error;
}
void SetLastError(DWORD code)
{
    tls_last_error = code;
}
