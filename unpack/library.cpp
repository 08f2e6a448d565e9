// Loading KVZ32.DLL and binding its ordinals; see library.h.
#include "unpack/library.h"

HMODULE UnpackerModule = NULL;
PFN_KVZ_MountA KvzMount = NULL;
PFN_KVZ_UnMountA KvzUnMount = NULL;
PFN_KVZ_FindFirstFileA KvzFindFirstFile = NULL;
PFN_KVZ_FindNextFileA KvzFindNextFile = NULL;
PFN_KVZ_FindClose KvzFindClose = NULL;
PFN_KVZ_CreateFileA KvzCreateFile = NULL;
PFN_KVZ_ReadFile KvzReadFile = NULL;
PFN_KVZ_CloseHandle KvzCloseHandle = NULL;

// The entry as the generic function type, which converts to any other
// function pointer without a warning in every build.
typedef void (*GenericEntry)(void);

static GenericEntry BindOrdinal(unsigned ordinal, unsigned *missing_ordinal)
{
    FARPROC entry = GetProcAddress(UnpackerModule, KVZ_ORDINAL_NAME(ordinal));
    if (entry == NULL && *missing_ordinal == 0)
        *missing_ordinal = ordinal;
    return (GenericEntry)entry;
}

int LoadUnpackerLibrary(unsigned *missing_ordinal)
{
    UnpackerModule = LoadLibraryA("KVZ32.DLL");
    if (UnpackerModule == NULL)
        return LIBRARY_NOT_FOUND;
    *missing_ordinal = 0;
    KvzMount = (PFN_KVZ_MountA)BindOrdinal(KVZ_DESK_Mount, missing_ordinal);
    KvzUnMount = (PFN_KVZ_UnMountA)BindOrdinal(KVZ_DESK_UnMount, missing_ordinal);
    KvzFindFirstFile = (PFN_KVZ_FindFirstFileA)BindOrdinal(KVZ_DESK_FindFirstFile, missing_ordinal);
    KvzFindNextFile = (PFN_KVZ_FindNextFileA)BindOrdinal(KVZ_DESK_FindNextFile, missing_ordinal);
    KvzFindClose = (PFN_KVZ_FindClose)BindOrdinal(KVZ_DESK_FindClose, missing_ordinal);
    KvzCreateFile = (PFN_KVZ_CreateFileA)BindOrdinal(KVZ_DESK_CreateFile, missing_ordinal);
    KvzReadFile = (PFN_KVZ_ReadFile)BindOrdinal(KVZ_DESK_ReadFile, missing_ordinal);
    KvzCloseHandle = (PFN_KVZ_CloseHandle)BindOrdinal(KVZ_DESK_CloseHandle, missing_ordinal);
    if (*missing_ordinal == 0)
        return LIBRARY_LOADED;
    UnloadUnpackerLibrary();
    return LIBRARY_INCOMPLETE;
}

void UnloadUnpackerLibrary(void)
{
    FreeLibrary(UnpackerModule);
    UnpackerModule = NULL;
    KvzMount = NULL;
    KvzUnMount = NULL;
    KvzFindFirstFile = NULL;
    KvzFindNextFile = NULL;
    KvzFindClose = NULL;
    KvzCreateFile = NULL;
    KvzReadFile = NULL;
    KvzCloseHandle = NULL;
}
