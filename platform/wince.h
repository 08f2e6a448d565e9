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

// Data a module defines for itself. Without it clang's mingw target reaches
// each external variable through a pointer that the linker may fill from
// another DLL: one more load on every use of the proxy's state.
#define KVZ_MODULE_DATA __attribute__((visibility("hidden")))

#if defined(__clang__) && defined(__thumb2__)
// Before a tail call clang copies each stack argument (the fifth on) onto
// itself; the copy needs a second scratch register beside r12, and so a frame.
// The caller owns those slots and a jump leaves them in place, so a forwarder
// is written as that jump: the table's address, the entry's load, bx.
#define KVZ_FORWARDER __attribute__((naked))
#define KVZ_FORWARD(table, index, call)                                                            \
    __asm__("movw r12, :lower16:" #table "\n\t"                                                    \
            "movt r12, :upper16:" #table "\n\t"                                                    \
            "ldr.w r12, [r12, #%c0]\n\t"                                                           \
            "bx r12"                                                                               \
            :                                                                                      \
            : "i"((index) * sizeof(FARPROC)))
#endif

#endif
