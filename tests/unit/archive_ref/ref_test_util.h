// Shared helpers of the reference library's tests: both flavours loaded as
// the deliverables load them (by file name from the program's directory,
// bound by ordinal), fixture paths relative to bin/, whole-file reads.
#ifndef KVZ_TEST_ARCHIVE_REF_UTIL_H
#define KVZ_TEST_ARCHIVE_REF_UTIL_H

#include "archive_api/kvz_api.h"

#include <string>

// The fixture folder, relative to the working directory bin/, in the
// library's path form and in the C library's.
std::string Fx(const std::string &relative);
std::string FxFile(const std::string &relative); // '/'-separated, for fopen

// Bytes of a fixture file read with the C library; "" if it cannot be read.
std::string ReadFixtureFile(const std::string &relative);

// 16-bit text from UTF-8, and back, for the handheld flavour.
std::u16string W(const std::string &utf8);
std::string U8(const WCHAR *text);

// KVZ32.DLL with its eight desktop ordinals.
struct DesktopLib {
    HMODULE module = nullptr;
    PFN_KVZ_CloseHandle CloseHandle = nullptr;
    PFN_KVZ_CreateFileA CreateFile = nullptr;
    PFN_KVZ_FindClose FindClose = nullptr;
    PFN_KVZ_FindFirstFileA FindFirstFile = nullptr;
    PFN_KVZ_FindNextFileA FindNextFile = nullptr;
    PFN_KVZ_MountA Mount = nullptr;
    PFN_KVZ_ReadFile ReadFile = nullptr;
    PFN_KVZ_UnMountA UnMount = nullptr;

    // Loads and binds; false with the reason in *why.
    bool Load(std::string *why);
    void Unload();
    // Opens as the unpacker does: read, no sharing, existing, sequential.
    KVZHANDLE Open(const std::string &path) const;
};

// _pdaKVZ.dll with all twenty ordinals.
struct HandheldLib {
    HMODULE module = nullptr;
    PFN_KVZ_FindFirstFileW FindFirstFile = nullptr;
    PFN_KVZ_FindNextFileW FindNextFile = nullptr;
    PFN_KVZ_CloseHandle CloseHandle = nullptr;
    PFN_KVZ_CreateFileW CreateFile = nullptr;
    PFN_KVZ_FindClose FindClose = nullptr;
    PFN_KVZ_GetCacheBlockSize GetCacheBlockSize = nullptr;
    PFN_KVZ_GetCacheSize GetCacheSize = nullptr;
    PFN_KVZ_GetLastError GetLastError = nullptr;
    PFN_KVZ_IsFileW IsFile = nullptr;
    PFN_KVZ_MountW Mount = nullptr;
    PFN_KVZ_MountResW MountRes = nullptr;
    PFN_KVZ_MountedW Mounted = nullptr;
    PFN_KVZ_ReadFile ReadFile = nullptr;
    PFN_KVZ_SetCacheBlockSize SetCacheBlockSize = nullptr;
    PFN_KVZ_SetCacheSize SetCacheSize = nullptr;
    PFN_KVZ_SetFilePointer SetFilePointer = nullptr;
    PFN_KVZ_SetLastError SetLastError = nullptr;
    PFN_KVZ_SupportVersion SupportVersion = nullptr;
    PFN_KVZ_UnMountW UnMount = nullptr;
    PFN_KVZ_WriteFile WriteFile = nullptr;

    bool Load(std::string *why);
    void Unload();
    // Opens read-only as the proxy opens a sound: read, share read, existing.
    KVZHANDLE Open(const std::string &path) const;
};

// Reads a handle to its end in pieces of `piece` bytes through read, as the
// unpacker does. False (with the reason in *why) when a call failed or left
// the count unstored; the bytes go to *data.
bool ReadToEnd(PFN_KVZ_ReadFile read, KVZHANDLE file, std::string *data, std::string *why,
               DWORD piece = 100);

// Runs body(context, i) on `count` threads at once and waits for them all.
void RunThreads(int count, void (*body)(void *context, int index), void *context);

#endif
