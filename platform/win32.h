// The Win32 / Windows CE API as the kit uses it.
//
// With a Windows compiler (desktop, or Windows CE) this is <windows.h> plus
// the few names one of the two lacks, so the kit's code reads as CE code on
// both. Everywhere else it declares the subset the kit uses: implemented on
// POSIX in platform/posix/, or, for Windows CE built by a bare ARM compiler,
// served by CE's coredll.dll.
// This folder is the only place that knows which system it runs on.
#ifndef KVZ_PLATFORM_WIN32_H
#define KVZ_PLATFORM_WIN32_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#define KVZ_EXPORT extern "C"
#define KVZ_TEXT(s) L##s

#ifdef _WIN32_WCE
#include "platform/wince.h"
#else
// Desktop additions, so the proxy's code is one code path with CE.

// CE binds ordinals with the wide GetProcAddressW; the desktop has only the
// 8-bit call, which takes an ordinal in the same way.
inline FARPROC GetProcAddressW(HMODULE module, LPCWSTR name)
{
    if ((ULONG_PTR)name >> 16 == 0)
        return GetProcAddress(module, (LPCSTR)name);
    char narrow[256];
    size_t i = 0;
    for (; name[i] != 0 && i + 1 < sizeof narrow; i++)
        narrow[i] = (char)name[i];
    if (name[i] != 0)
        return NULL;
    narrow[i] = 0;
    return GetProcAddress(module, narrow);
}

// CE answers "nothing matches" with ERROR_NO_MORE_FILES; the desktop says
// ERROR_FILE_NOT_FOUND. Callers are written for CE.
inline HANDLE KvzFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    HANDLE h = FindFirstFileW(pattern, data);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
        SetLastError(ERROR_NO_MORE_FILES);
    return h;
}
#undef FindFirstFileW
#define FindFirstFileW KvzFindFirstFileW
#endif

// Arguments arrive as 8-bit paths already in Windows form.
inline void KvzArgToPath(char *) {}

#else // no <windows.h>: the POSIX layer, or Windows CE built by a bare ARM compiler

#ifdef _WIN32_WCE
// Windows CE on ARM, compiled by a bare-metal ARM compiler: no SDK headers,
// so the calls are declared here exactly as coredll.dll exports them, and
// the C runtime's by platform/wince_crt/. ARM has one calling convention.
#define KVZ_CE_BARE 1
#define WINAPI
#define KVZ_EXPORT extern "C"
#define KVZ_TEXT(s) L##s
#else
#define KVZ_POSIX_LAYER 1
#define WINAPI
#define KVZ_EXPORT extern "C" __attribute__((visibility("default")))
#define KVZ_TEXT(s) u##s
#endif
#ifndef TEXT
#define TEXT(s) KVZ_TEXT(s)
#endif

// ---- Types ----
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef uintptr_t ULONG_PTR;
#ifdef KVZ_CE_BARE
typedef wchar_t WCHAR; // 16-bit: the build says -fshort-wchar
static_assert(sizeof(wchar_t) == 2, "Windows CE text is 16-bit: compile with -fshort-wchar");
#else
typedef char16_t WCHAR;
#endif
typedef char CHAR;
typedef void *HANDLE;
typedef void *HMODULE;
typedef void *HINSTANCE;
typedef void *HWND;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef DWORD *LPDWORD;
typedef LONG *PLONG;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef void (*FARPROC)(void);
typedef struct SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;

typedef struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

#define MAX_PATH 260

typedef struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

// The wide find data in Windows CE's layout (560 bytes, no short name), so
// code of CE images and the layer's own callers read the same record.
typedef struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

#ifdef KVZ_CE_BARE
// Windows CE's critical section, as coredll initialises it.
typedef struct CRITICAL_SECTION {
    DWORD LockCount;
    HANDLE OwnerThread;
    HANDLE hCrit;
    DWORD needtrap;
    DWORD dwContentions;
#else
// A recursive mutex; opaque storage large enough for pthread_mutex_t. Aligned
// no further than malloc aligns (8 bytes on 32-bit systems), so a structure
// holding one may come from malloc or calloc, as on Windows.
typedef struct CRITICAL_SECTION {
    alignas(max_align_t) unsigned char opaque[64];
#endif
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

// ---- Constants ----
#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_GEN_FAILURE 31
#define ERROR_HANDLE_EOF 38
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_NEGATIVE_SEEK 131
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_ALREADY_EXISTS 183
#define ERROR_BAD_EXE_FORMAT 193
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_DLL_INIT_FAILED 1114
#define ERROR_OLD_WIN_VERSION 1150

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define MB_OK 0x0
#define MB_YESNO 0x4
#define MB_ICONERROR 0x10
#define MB_ICONEXCLAMATION 0x30
#define MB_SETFOREGROUND 0x10000
#define IDOK 1
#define IDYES 6
#define IDNO 7

// ---- Calls ----
extern "C" {
// Libraries. LoadLibrary runs the library's DllMain(DLL_PROCESS_ATTACH) under
// the process-wide, recursive loader lock; FreeLibrary runs the detach on the
// last reference. A library already loaded only gains a reference. A plain
// name is looked up in the program's directory, then the current one. As on
// CE, a CE image already loaded is the one returned for any path whose file
// name is its own, without regard to case or a ".dll" at the end.
// Failures: NULL with ERROR_MOD_NOT_FOUND (no such file, or a dependency
// missing), ERROR_BAD_EXE_FORMAT (not a library, or a CE image CE's loader
// would refuse), ERROR_OLD_WIN_VERSION (a CE image for a CE after 4.20),
// ERROR_DLL_INIT_FAILED (DllMain said FALSE; an ELF library then also saw the
// detach, a CE image does not, as on CE). At process exit every library
// still loaded sees DLL_PROCESS_DETACH with a non-null reserved argument, as
// on Windows; TerminateProcess skips that.
HMODULE LoadLibraryA(LPCSTR name);
HMODULE LoadLibraryW(LPCWSTR name);
BOOL FreeLibrary(HMODULE module);
// An ordinal (a value below 0x10000 in place of the name) reads the library's
// ordinal table only; a name is looked up by name; both only in the library
// itself, never in its dependencies. Not found: NULL, ERROR_PROC_NOT_FOUND;
// an unknown module: NULL, ERROR_MOD_NOT_FOUND.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);
// The module's full path with backslashes (NULL: the program). Returns the
// length; a name that does not fit is cut, terminated here, and the result is
// `size` with ERROR_INSUFFICIENT_BUFFER. Callers treat a result equal to
// `size` as a cut name (Wine leaves it unterminated).
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// Errors, per thread.
DWORD GetLastError(void);
void SetLastError(DWORD code);

// Files and directories; paths use backslashes. A missing entry gives
// ERROR_FILE_NOT_FOUND when its parent directory exists, ERROR_PATH_NOT_FOUND
// when it does not; a refusal gives ERROR_ACCESS_DENIED. Attributes: 0x10 for
// a directory, 0x01 for a read-only file, else 0x80. GetCurrentDirectoryA
// returns the length, or the room needed (terminator included) when the
// buffer is too small. CreateDirectory on an existing entry: FALSE with
// ERROR_ALREADY_EXISTS. CreateFile refuses directories (ERROR_ACCESS_DENIED)
// and CREATE_NEW on an existing file (ERROR_FILE_EXISTS). File and search
// handles are checked: a closed or foreign one gives ERROR_INVALID_HANDLE.
DWORD GetFileAttributesA(LPCSTR path);
DWORD GetFileAttributesW(LPCWSTR path);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);
BOOL DeleteFileA(LPCSTR path);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPVOID overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPVOID overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD size_high);
BOOL CloseHandle(HANDLE handle);

// Searches. Wildcards * and ? match letters regardless of case. Nothing
// matching in an existing directory: ERROR_NO_MORE_FILES, as on CE.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data);
BOOL FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data);
BOOL FindClose(HANDLE search);

// User interface: one UTF-8 line on standard error, flags in lower-case hex,
//   MessageBox: caption="..." flags=0x... text="..."
// with line feeds in the text written as \n. A Yes/No box reads one answer
// line from standard input (j or y: IDYES, n: IDNO); no answer gives 0.
// Other boxes return IDOK.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags);

// Processes. TerminateProcess on the current process (GetCurrentProcess, or
// CE's constant 0x42) flushes stdout and stderr and ends it at once with the
// code; any other handle is refused. With KVZ_CE_TERMINATE=ce42 in the
// environment it does what CE 4.2 and 5 do when a DLL calls it from DllMain:
// nothing ends, and it returns FALSE with ERROR_ACCESS_DENIED.
#ifndef KVZ_CE_BARE
HANDLE GetCurrentProcess(void);
#endif
BOOL TerminateProcess(HANDLE process, UINT exit_code);
DWORD GetCurrentProcessId(void);
void Sleep(DWORD milliseconds);

// Synchronisation and time.
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void GetLocalTime(LPSYSTEMTIME time);
// Atomic, full-barrier operations on an aligned 32-bit value; each returns
// the value before the change.
LONG InterlockedExchange(LONG volatile *target, LONG value);
LONG InterlockedCompareExchange(LONG volatile *target, LONG value, LONG comparand);

#ifdef KVZ_POSIX_LAYER
// Test probes: how often the process entered a critical section and read the
// local time. Only the POSIX layer counts; tests use them to prove that a
// path touches neither.
unsigned long KvzCriticalSectionEnterCount(void);
unsigned long KvzLocalTimeReadCount(void);
#endif
}

#ifdef KVZ_CE_BARE
// The current process is the constant handle 0x42 on CE, not a call.
inline HANDLE GetCurrentProcess(void)
{
    return (HANDLE)(ULONG_PTR)0x42;
}

// Arguments arrive as 8-bit paths already in Windows form.
inline void KvzArgToPath(char *) {}

// GCC gives a tail call with more than four arguments a frame of its own,
// so a forwarder is written as the jump: the table's address from a literal,
// the entry's load, bx (which interworks with a Thumb next library). The
// call is named unevaluated only, so its arguments count as used.
#define KVZ_FORWARDER __attribute__((naked))
#define KVZ_FORWARD(table, index, call)                                                            \
    (void)sizeof((call), 0);                                                                       \
    __asm__("ldr r12, =" #table "\n\t"                                                             \
            "ldr r12, [r12, #%c0]\n\t"                                                             \
            "bx r12\n\t"                                                                           \
            ".ltorg"                                                                               \
            :                                                                                      \
            : "i"((index) * sizeof(FARPROC)))
#else
// Turns a POSIX path argument ("/tmp/a.kvz") into the kit's backslash form.
void KvzArgToPath(char *arg);
#endif

#endif // no <windows.h>

// The value of an Interlocked-managed variable, read with a full barrier.
inline LONG KvzInterlockedRead(LONG volatile *target)
{
    return InterlockedCompareExchange(target, 0, 0);
}

// Marks a module's own data where the system needs to know (see wince.h).
#ifndef KVZ_MODULE_DATA
#define KVZ_MODULE_DATA
#endif

// A function that only passes its call on: KVZ_FORWARDER marks it, and
// KVZ_FORWARD(table, index, call) is its body, the tail call `call` of
// table[index]. Where the compiler cannot make that a bare jump, wince.h
// writes the jump itself.
#ifndef KVZ_FORWARDER
#define KVZ_FORWARDER
#define KVZ_FORWARD(table, index, call) return call
#endif

#endif
