// The current process.
#include "platform/win32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

// The pseudo handle Windows gives for the current process.
static const HANDLE kCurrentProcess = (HANDLE)(intptr_t)-1;
// CE's: images inline it, as CE has no GetCurrentProcess call.
static const HANDLE kCeCurrentProcess = (HANDLE)(intptr_t)0x42;

HANDLE GetCurrentProcess(void)
{
    return kCurrentProcess;
}

DWORD GetCurrentProcessId(void)
{
    return (DWORD)getpid();
}

// KVZ_CE_TERMINATE=ce42: the current process is not ended, as on CE 4.2
// and 5, where the call only marks the main thread as dying.
static bool TerminateAsCe42(void)
{
    const char *mode = getenv("KVZ_CE_TERMINATE");
    return mode != NULL && strcmp(mode, "ce42") == 0;
}

// Ends at once, as Windows does: no atexit handlers, no library detach.
BOOL TerminateProcess(HANDLE process, UINT exit_code)
{
    if (process != kCurrentProcess && process != kCeCurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (TerminateAsCe42()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    fflush(stdout);
    fflush(stderr);
    _exit((int)exit_code);
}

void Sleep(DWORD milliseconds)
{
    struct timespec wait = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}
