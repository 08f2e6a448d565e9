// What Windows CE's system library, coredll.dll, offers in another form than
// the desktop <windows.h> declares it. Included by platform/win32.h in the CE
// flavour only, after <windows.h>.
#ifndef KVZ_PLATFORM_WINCE_H
#define KVZ_PLATFORM_WINCE_H

// CE binds by name or ordinal with the wide call; coredll has no 8-bit
// GetProcAddress.
extern "C" DECLSPEC_IMPORT FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR name);

// The current process is the constant handle 0x42 on CE, not a call.
inline HANDLE KvzCurrentProcess(void)
{
    return (HANDLE)(ULONG_PTR)0x42;
}
#define GetCurrentProcess KvzCurrentProcess

#endif
