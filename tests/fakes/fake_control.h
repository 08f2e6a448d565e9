// Control interface of the scriptable fake handheld library (fake_pda.dll and
// its variants). Tests in the same process bind these exports by name; tests
// that run the host application in a child process use the environment.
//
// Script: one rule per line, "<entry> <result> [<path>]", for example
//   KVZ_Mount 0
//   KVZ_CreateFile -1
//   KVZ_CreateFile 588 \tmp\x\tones\click.ogg
// A rule with a path applies only to calls whose first (path) argument equals
// it exactly; rules with a path are tried before rules without one; the
// first match wins. <result> is decimal, -1 meaning all-ones. Entries without
// a rule answer: handles from 100 upwards for KVZ_CreateFile and
// KVZ_FindFirstFile, 1 for KVZ_Mount/MountRes/Mounted/UnMount and the BOOL
// calls, 0 otherwise; KVZ_ReadFile stores 0 bytes read.
//
// Environment, read when the library is attached:
//   KVZ_FAKE_SCRIPT  a file holding the script
//   KVZ_FAKE_LOG     a file to which every call is appended as one UTF-8 line:
//                    "<ordinal> <entry> <arg1> <arg2> ...", path arguments as
//                    text, other arguments in hexadecimal (0x...), then LF.
#ifndef KVZ_FAKE_CONTROL_H
#define KVZ_FAKE_CONTROL_H

#include "platform/win32.h"

#define KVZ_FAKE_MAX_ARGS 7
#define KVZ_FAKE_MAX_CALLS 4096

struct KvzFakeCall {
    unsigned ordinal;
    uintptr_t args[KVZ_FAKE_MAX_ARGS]; // every argument as given
    WCHAR path[MAX_PATH];              // copy of the first path argument, if any
    WCHAR path2[MAX_PATH];             // copy of the second path argument (Mount)
};

// "KvzFakeSetScript": replaces the script (text as above) and forgets the calls.
typedef void (*PFN_KvzFakeSetScript)(const char *script);
// "KvzFakeCallCount": number of calls recorded since the last script.
typedef unsigned (*PFN_KvzFakeCallCount)(void);
// "KvzFakeGetCall": call i (0 = oldest), or null past the end.
typedef const KvzFakeCall *(*PFN_KvzFakeGetCall)(unsigned i);

#endif
