// Mount list, archive files and their indexes.
#include "archive_ref/mounts.h"

#include "archive_ref/disk_io.h"
#include "archive_ref/ref_state.h"

#include <stdlib.h>
#include <string.h>

static Mount *Mounts = NULL; // newest first; under the library lock

// ---- Archive file ----
static bool ReadArchive(void *context, uint64_t offset, void *buffer, uint32_t size)
{
    return MountReadAt((Mount *)context, offset, buffer, size);
}

// Reads straight from the archive file; the caller holds the file lock.
static bool ReadFromFile(Mount *mount, uint64_t offset, void *buffer, DWORD size)
{
    bool ok = true;
    if (mount->filePosition != offset) {
        LONG high = (LONG)(offset >> 32);
        DWORD low = SetFilePointer(mount->file, (LONG)(DWORD)offset, &high, FILE_BEGIN);
        ok = !(low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS);
        mount->filePosition = ok ? offset : UINT64_MAX;
    }
    DWORD done = 0;
    while (ok && done < size) {
        DWORD got = 0;
        if (!ReadFile(mount->file, (BYTE *)buffer + done, size - done, &got, NULL) || got == 0)
            ok = false;
        done += got;
    }
    mount->filePosition = ok ? offset + size : UINT64_MAX;
    return ok;
}

// True when the cache holds [offset, offset + size).
static bool CacheHolds(const Mount *mount, uint64_t offset, DWORD size)
{
    return offset >= mount->cacheStart && offset - mount->cacheStart <= mount->cacheLength &&
           mount->cacheLength - (offset - mount->cacheStart) >= size;
}

// Fills the cache from offset, as far as it and the archive reach.
static bool FillCache(Mount *mount, uint64_t offset)
{
    uint64_t left = offset < mount->size ? mount->size - offset : 0;
    DWORD length = left < mount->cacheRoom ? (DWORD)left : mount->cacheRoom;
    mount->cacheLength = 0;
    if (!ReadFromFile(mount, offset, mount->cache, length))
        return false;
    mount->cacheStart = offset;
    mount->cacheLength = length;
    return true;
}

bool MountReadAt(Mount *mount, uint64_t offset, void *buffer, DWORD size)
{
    EnterCriticalSection(&mount->fileLock);
    bool ok;
    if (size >= mount->cacheRoom) {
        ok = ReadFromFile(mount, offset, buffer, size);
    } else if (CacheHolds(mount, offset, size) ||
               (FillCache(mount, offset) && CacheHolds(mount, offset, size))) {
        memcpy(buffer, mount->cache + (offset - mount->cacheStart), size);
        ok = true;
    } else {
        ok = ReadFromFile(mount, offset, buffer, size); // reports what the cache could not
    }
    LeaveCriticalSection(&mount->fileLock);
    return ok;
}

static bool ArchiveSize(HANDLE file, uint64_t *size)
{
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    DWORD low = GetFileSize(file, &high);
    if (low == 0xFFFFFFFFu && GetLastError() != ERROR_SUCCESS)
        return false;
    *size = ((uint64_t)high << 32) | low;
    return true;
}

static void FreeMount(Mount *mount)
{
    TarIndexFree(&mount->index);
    free(mount->cache);
    CloseHandle(mount->file);
    DeleteCriticalSection(&mount->fileLock);
    free(mount);
}

// Why an archive did not mount, as the last error tells it.
static DWORD MountError(TarResult result)
{
    if (result == TAR_NO_MEMORY)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (result == TAR_NAME_TOO_LONG)
        return ERROR_FILENAME_EXCED_RANGE;
    return kErrorBadArchive;
}

// Opens and indexes the archive; NULL with the last error set on failure.
static Mount *LoadMount(const char *archive, const char *dir)
{
    Mount *mount = (Mount *)calloc(1, sizeof(Mount));
    if (mount == NULL) {
        RefSetError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    mount->dirLength = RefCopy(mount->dir, sizeof mount->dir, dir);
    RefCopy(mount->archive, sizeof mount->archive, archive);
    mount->references = 1;
    mount->file = DiskCreateFile(archive, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (mount->file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        free(mount);
        RefSetError(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
        return NULL;
    }
    InitializeCriticalSection(&mount->fileLock);
    mount->filePosition = 0;
    mount->cacheRoom = RefReadBufferSize();
    mount->cache = (BYTE *)malloc(mount->cacheRoom);
    TarResult result = TAR_NO_MEMORY;
    if (mount->cache != NULL)
        result = ArchiveSize(mount->file, &mount->size)
                     ? TarIndexBuild(&mount->index, mount->size, ReadArchive, mount)
                     : TAR_READ_FAILED;
    if (result != TAR_OK) {
        FreeMount(mount);
        RefSetError(MountError(result));
        return NULL;
    }
    return mount;
}

// ---- The list (callers hold the library lock) ----
static Mount *FindByDir(const char *dir)
{
    size_t length = strlen(dir);
    for (Mount *m = Mounts; m != NULL; m = m->next)
        if (m->dirLength == length && RefSameNoCase(m->dir, dir, length))
            return m;
    return NULL;
}

static bool DirHasMount(const char *dir)
{
    RefLock();
    bool taken = FindByDir(dir) != NULL;
    RefUnlock();
    return taken;
}

DWORD MountAdd(const char *archive, const char *dir)
{
    if (DirHasMount(dir)) {
        RefSetError(ERROR_ALREADY_EXISTS);
        return 0;
    }
    Mount *mount = LoadMount(archive, dir);
    if (mount == NULL)
        return 0;
    RefLock();
    bool taken = FindByDir(dir) != NULL;
    if (!taken) {
        mount->next = Mounts;
        Mounts = mount;
    }
    RefUnlock();
    if (taken) {
        FreeMount(mount);
        RefSetError(ERROR_ALREADY_EXISTS);
        return 0;
    }
    return 1;
}

static Mount *Unlink(Mount *target)
{
    for (Mount **link = &Mounts; *link != NULL; link = &(*link)->next) {
        if (*link == target) {
            *link = target->next;
            target->next = NULL;
            return target;
        }
    }
    return NULL;
}

DWORD MountRemove(const char *dir)
{
    RefLock();
    Mount *mount = FindByDir(dir);
    if (mount != NULL)
        Unlink(mount);
    RefUnlock();
    if (mount == NULL) {
        RefSetError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    MountRelease(mount);
    return 1;
}

void MountRemoveAll(void)
{
    for (;;) {
        RefLock();
        Mount *mount = Mounts;
        if (mount != NULL)
            Unlink(mount);
        RefUnlock();
        if (mount == NULL)
            return;
        MountRelease(mount);
    }
}

bool MountIsMounted(const char *archive)
{
    size_t length = strlen(archive);
    RefLock();
    bool found = false;
    for (Mount *m = Mounts; m != NULL && !found; m = m->next)
        found = strlen(m->archive) == length && RefSameNoCase(m->archive, archive, length);
    RefUnlock();
    return found;
}

bool MountResolve(const char *path, MountHit *hit)
{
    RefLock();
    for (Mount *m = Mounts; m != NULL; m = m->next) {
        const char *rest = RefPathBelow(path, m->dir, m->dirLength);
        if (rest == NULL)
            continue;
        uint32_t entry = TarIndexFind(&m->index, rest, strlen(rest));
        if (entry != kTarNone) {
            m->references++;
            RefUnlock();
            hit->mount = m;
            hit->entry = entry;
            return true;
        }
    }
    RefUnlock();
    return false;
}

void MountRelease(Mount *mount)
{
    RefLock();
    bool last = --mount->references == 0;
    RefUnlock();
    if (last)
        FreeMount(mount);
}

// ---- Entry-point forms ----
DWORD RefMount(const char *archive, const char *dir)
{
    char archive_path[KVZ_REF_PATH_MAX];
    char dir_path[KVZ_REF_PATH_MAX];
    if (RefNormalisePath(archive, archive_path, sizeof archive_path) == (size_t)-1 ||
        RefNormalisePath(dir, dir_path, sizeof dir_path) == (size_t)-1) {
        RefSetError(ERROR_INVALID_NAME);
        return 0;
    }
    return MountAdd(archive_path, dir_path);
}

DWORD RefMounted(const char *archive)
{
    char archive_path[KVZ_REF_PATH_MAX];
    if (RefNormalisePath(archive, archive_path, sizeof archive_path) == (size_t)-1)
        return 0;
    return MountIsMounted(archive_path) ? 1 : 0;
}
