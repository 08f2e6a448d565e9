// A library that reports what the loader did to it: how often DllMain saw an
// attach, the instance it was given, and its own file name at attach time.
// Detaches are counted into memory of the caller's, as the library is gone
// after the last one; the detach at process exit says so on standard error.
#include "platform/win32.h"

#include <stdio.h>

static int attach_count;
static int *detach_sink;
static HINSTANCE attach_instance;
static WCHAR name_at_attach[MAX_PATH];

KVZ_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        attach_count++;
        attach_instance = instance;
        GetModuleFileNameW((HMODULE)instance, name_at_attach, MAX_PATH);
    } else if (reason == DLL_PROCESS_DETACH && reserved != NULL) {
        fputs("kvz_probe: detached at process exit\n", stderr);
        fflush(stderr);
    } else if (reason == DLL_PROCESS_DETACH && detach_sink != 0) {
        (*detach_sink)++;
    }
    return TRUE;
}

/* kvz_probe.dll @1 */
KVZ_EXPORT int WINAPI ProbeOne(void)
{
    return 1;
}
/* kvz_probe.dll @2 */
KVZ_EXPORT int WINAPI ProbeAdd(int a, int b)
{
    return a + b;
}
/* kvz_probe.dll @4 */
KVZ_EXPORT int WINAPI ProbeAttachCount(void)
{
    return attach_count;
}
/* kvz_probe.dll @5 */
KVZ_EXPORT void WINAPI ProbeWatchDetach(int *sink)
{
    detach_sink = sink;
}
/* kvz_probe.dll @6 */
KVZ_EXPORT HINSTANCE WINAPI ProbeInstance(void)
{
    return attach_instance;
}
/* kvz_probe.dll @7 */
KVZ_EXPORT const WCHAR *WINAPI ProbeNameAtAttach(void)
{
    return name_at_attach;
}
