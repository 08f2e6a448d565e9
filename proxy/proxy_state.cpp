// The proxy's process-wide state; see proxy_state.h.
#include "proxy/proxy_state.h"

WCHAR ModuleDir[MAX_PATH];
DWORD ModuleDirLength;

WCHAR ArchiveDirPath[MAX_PATH];
DWORD ArchiveDirLength;

WCHAR SoundDirPath[MAX_PATH];
DWORD SoundDirLength;

AccessLogState AccessLog;

HMODULE ProxyModule;
HMODULE NextLibrary;
FARPROC ForwardTable[KVZ_HANDHELD_ORDINAL_COUNT];

const WCHAR ProxyCaption[] = TEXT("Tonvaro - pdaKVZ.dll");
