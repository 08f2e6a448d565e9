// pdaKVZ's library entry: start-up on process attach, shutdown on detach.
// A proxy that cannot stand in for the library ends the process before the
// host can call any export with an incomplete ForwardTable.
#include "platform/win32.h"
#include "proxy/startup.h"

KVZ_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        if (!ProxyStartup((HMODULE)instance))
            TerminateProcess(GetCurrentProcess(), 0);
    } else if (reason == DLL_PROCESS_DETACH) {
        ProxyShutdown();
    }
    return TRUE;
}
