// pdaKVZ's library entry: start-up on process attach, shutdown on detach.
// A proxy that cannot stand in for the library ends the process, or where
// the system does not end it, fails the load: the host never calls an export
// with an incomplete ForwardTable.
#include "platform/win32.h"
#include "proxy/startup.h"

KVZ_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        if (!ProxyStartup((HMODULE)instance)) {
            // The desktop and CE 6 end the process here. CE 4.2 and 5 return
            // and send no detach after a failed attach: release what start-up
            // holds and fail the load, so the host never binds the exports.
            TerminateProcess(GetCurrentProcess(), 0);
            ProxyShutdown();
            return FALSE;
        }
    } else if (reason == DLL_PROCESS_DETACH) {
        ProxyShutdown();
    }
    return TRUE;
}
