// The mount list: archives overlaid onto directories. Paths here are in the
// normal form of RefNormalisePath.
//
// A mount is reference-counted: the list holds one reference, every open
// entry and every search holds one, so an unmount while a file is open
// leaves that file readable until it is closed.
#ifndef KVZ_REF_MOUNTS_H
#define KVZ_REF_MOUNTS_H

#include "archive_ref/ref_paths.h"
#include "archive_ref/tar_index.h"

#include "platform/win32.h"

struct Mount {
    char dir[KVZ_REF_PATH_MAX];
    size_t dirLength;
    char archive[KVZ_REF_PATH_MAX];
    HANDLE file;               // the archive, open for reading while mounted
    CRITICAL_SECTION fileLock; // one seek and read at a time on file, and the cache
    uint64_t size;             // of the archive file
    uint64_t filePosition;     // where the next ReadFile on file starts
    // Read-ahead for reads smaller than the cache: the headers while the
    // index is built and the entries of small files then come from it, one
    // system call per cache full instead of a seek and a read each.
    BYTE *cache;
    DWORD cacheRoom;
    DWORD cacheLength;
    uint64_t cacheStart; // archive offset of cache[0]
    TarIndex index;
    long references; // under the library lock
    Mount *next;
};

// Mounts the archive onto dir. Returns 1, or 0 with the last error set: the
// platform's when the archive cannot be opened, ERROR_FILENAME_EXCED_RANGE
// when an entry's path is longer than the library's paths can hold,
// kErrorBadArchive when it is not otherwise an archive the index
// accepts, ERROR_ALREADY_EXISTS when dir already holds a mount (a directory
// takes one archive; unmount first).
DWORD MountAdd(const char *archive, const char *dir);

// Unmounts the archive on dir: 1, or 0 with ERROR_PATH_NOT_FOUND when dir
// holds no mount.
DWORD MountRemove(const char *dir);

// True when the archive is mounted on some directory.
bool MountIsMounted(const char *archive);

// Where a path lies in a mounted archive.
struct MountHit {
    Mount *mount;   // referenced: release with MountRelease
    uint32_t entry; // index entry, or kTarRoot for the mount directory itself
};

// Finds the newest mount whose archive holds path (the mount directory
// itself counts as its root); false when no archive holds it.
bool MountResolve(const char *path, MountHit *hit);

void MountRelease(Mount *mount);

// Reads size bytes of the archive at offset; false on a failed or short read.
// Small reads are served from the mount's read-ahead cache.
bool MountReadAt(Mount *mount, uint64_t offset, void *buffer, DWORD size);

// ---- As the entry points take them: any path form, normalised here ----
// KVZ_Mount: 1 or 0 as MountAdd; ERROR_INVALID_NAME for a path too long.
DWORD RefMount(const char *archive, const char *dir);
// KVZ_Mounted: 1 when the archive is mounted, else 0.
DWORD RefMounted(const char *archive);

// Unmounts everything (library unload).
void MountRemoveAll(void);

#endif
