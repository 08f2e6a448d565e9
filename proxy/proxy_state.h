// The proxy's process-wide state. Start-up (startup.cpp) writes all of it;
// afterwards it is only read, except the access log stream's contents.
#ifndef KVZ_PROXY_STATE_H
#define KVZ_PROXY_STATE_H

#include <stdio.h>

#include "archive_api/kvz_api.h"

// Directory of the proxy's own file, up to and including its last backslash.
extern WCHAR ModuleDir[MAX_PATH];
extern DWORD ModuleDirLength;

// Directory of the relocated sound archives (ArchiveDir); ends in a backslash,
// NUL-terminated at ArchiveDirLength once start-up is complete.
extern WCHAR ArchiveDirPath[MAX_PATH];
extern DWORD ArchiveDirLength;

// Directory of the replacement sound files (SoundDir), in the same form.
extern WCHAR SoundDirPath[MAX_PATH];
extern DWORD SoundDirLength;

// The access log: stream null while logging is off; the lock exists only
// while the stream is open.
struct AccessLogState {
    FILE *stream;
    CRITICAL_SECTION lock;
};
extern AccessLogState AccessLog;

// The next archive library and its twenty entry points: entry i holds
// ordinal i + 1. Complete whenever any export can be called.
extern HMODULE NextLibrary;
extern FARPROC ForwardTable[KVZ_HANDHELD_ORDINAL_COUNT];

// The caption of every message box the proxy shows.
extern const WCHAR ProxyCaption[];

#endif
