// Start-up and shutdown of the proxy: finding its own directory, reading
// sound_config.txt, opening the access log, resolving the archive and sound
// directories, loading the next library and binding its twenty ordinals.
//
// Every failure has already been shown to the user in one message box when a
// function here reports it; the caller (DllMain) then ends the process.
#ifndef KVZ_PROXY_STARTUP_H
#define KVZ_PROXY_STARTUP_H

#include "platform/win32.h"

// Room kept behind a directory path for the longest name start-up appends to
// it: the probe patterns "*.ogg" and "*.KVZ" with their terminator. A real
// file name appended later by the interception code has the same bound: a
// directory that fits leaves room for at least five characters of name.
static const DWORD kDirTailRoom = 6;

// Fills ModuleDir and ModuleDirLength from the proxy's full file name (length
// characters of path, as GetModuleFileNameW returned them). FALSE, with ModuleDir
// left empty, when the name holds no backslash or when length is 0 or does
// not leave room for the terminator (a truncated name).
BOOL SetModuleDirFromPath(const WCHAR *path, DWORD length);

// Resolves a configured directory value against ModuleDir: a value starting
// with a backslash is taken as it is, any other is appended to ModuleDir; a
// backslash is added unless the value is empty or already ends in one. Each
// byte becomes one character, taken as a signed 8-bit value. On success dest
// holds the path, NUL-terminated at *length, and at least kDirTailRoom
// characters of MAX_PATH remain behind it. FALSE when it would not fit; dest
// and *length are then unspecified.
BOOL BuildDirPath(WCHAR *dest, DWORD *length, const char *value);

// Steps after the own directory is known (ModuleDir set): configuration, log,
// directories, the same-directory warning, load and bind. A next library that
// loads as ProxyModule itself is released again and refused. TRUE when all
// twenty entry points are bound. The configuration store is released on every
// way out.
BOOL ProxyStartupInModuleDir(void);

// The whole start-up for the proxy's module handle, kept in ProxyModule.
// TRUE on success.
BOOL ProxyStartup(HMODULE module);

// Frees the next library and closes the access log with its lock. Safe after
// a failed or partial start-up; leaves the state as after a fresh load.
void ProxyShutdown(void);

#endif
