// The proxy's process-wide state. Start-up (startup.cpp) writes all of it;
// afterwards it is only read, except the access log stream's contents.
#ifndef KVZ_PROXY_STATE_H
#define KVZ_PROXY_STATE_H

#include <stdio.h>

#include "archive_api/kvz_api.h"

// Directory of the proxy's own file, up to and including its last backslash.
extern KVZ_MODULE_DATA WCHAR ModuleDir[MAX_PATH];
extern KVZ_MODULE_DATA DWORD ModuleDirLength;

// Directory of the relocated sound archives (ArchiveDir); ends in a backslash,
// NUL-terminated at ArchiveDirLength once start-up is complete.
extern KVZ_MODULE_DATA WCHAR ArchiveDirPath[MAX_PATH];
extern KVZ_MODULE_DATA DWORD ArchiveDirLength;

// Directory of the replacement sound files (SoundDir), in the same form.
extern KVZ_MODULE_DATA WCHAR SoundDirPath[MAX_PATH];
extern KVZ_MODULE_DATA DWORD SoundDirLength;

// The access log: stream null while logging is off; the lock exists only
// while the stream is open.
struct AccessLogState {
    FILE *stream;
    CRITICAL_SECTION lock;
};
extern KVZ_MODULE_DATA AccessLogState AccessLog;

// The proxy's own module, as the loader gave it to DllMain; null when
// start-up runs without one.
extern KVZ_MODULE_DATA HMODULE ProxyModule;

// The next archive library and its twenty entry points: entry i holds
// ordinal i + 1. Complete whenever any export can be called.
extern KVZ_MODULE_DATA HMODULE NextLibrary;
extern KVZ_MODULE_DATA FARPROC ForwardTable[KVZ_HANDHELD_ORDINAL_COUNT];

// The next library's entry of an ordinal, as its own type. Going through
// void (*)(void) keeps the cast legal for every definition of FARPROC.
#define NEXT_ENTRY(type, ordinal) ((type)(void (*)(void))ForwardTable[(ordinal)-1])

// The caption of every message box the proxy shows.
extern KVZ_MODULE_DATA const WCHAR ProxyCaption[];

#endif
