// UnpackerLibrary: KVZ32.DLL, loaded for the run and bound by ordinal.
#ifndef KVZ_UNPACK_LIBRARY_H
#define KVZ_UNPACK_LIBRARY_H

#include "archive_api/kvz_api.h"

extern HMODULE UnpackerModule;
extern PFN_KVZ_MountA KvzMount;
extern PFN_KVZ_UnMountA KvzUnMount;
extern PFN_KVZ_FindFirstFileA KvzFindFirstFile;
extern PFN_KVZ_FindNextFileA KvzFindNextFile;
extern PFN_KVZ_FindClose KvzFindClose;
extern PFN_KVZ_CreateFileA KvzCreateFile;
extern PFN_KVZ_ReadFile KvzReadFile;
extern PFN_KVZ_CloseHandle KvzCloseHandle;

// Result codes of LoadUnpackerLibrary.
#define LIBRARY_LOADED 0    // all eight entry points bound
#define LIBRARY_NOT_FOUND 1 // LoadLibraryA("KVZ32.DLL") failed
#define LIBRARY_INCOMPLETE                                                                         \
    2 // an ordinal is missing; *missing_ordinal names
      // it and the library is unloaded again

// Loads "KVZ32.DLL" by its plain name and binds the eight ordinals in the
// order Mount, UnMount, FindFirstFile, FindNextFile, FindClose, CreateFile,
// ReadFile, CloseHandle.
int LoadUnpackerLibrary(unsigned *missing_ordinal);

// FreeLibrary of the module; the entry points are cleared.
void UnloadUnpackerLibrary(void);

#endif
