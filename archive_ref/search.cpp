// Searches over a mounted archive's directory and the real one beneath it.
#include "archive_ref/search.h"

#include "archive_ref/handles.h"
#include "archive_ref/mounts.h"
#include "archive_ref/ref_state.h"

#include <stdlib.h>
#include <string.h>

enum SearchPhase {
    PHASE_DOT, // an archive directory yields "." and ".." first, as disks do
    PHASE_DOT_DOT,
    PHASE_ARCHIVE,
    PHASE_DISK_START,
    PHASE_DISK,
    PHASE_DONE,
};

struct Search {
    Mount *mount;       // referenced; NULL when no archive holds the directory
    uint32_t nextChild; // next archive entry to consider
    int64_t dirMtime;   // of the archive directory; 0 for its root
    SearchPhase phase;
    HANDLE disk;                      // the platform search while in PHASE_DISK
    DWORD diskError;                  // why the platform search did not start
    char directory[KVZ_REF_PATH_MAX]; // the directory's path in the archive
    char namePattern[KVZ_REF_PATH_MAX];
    char diskPattern[KVZ_REF_PATH_MAX]; // the caller's pattern, for the disk
};

// Seconds since 1970 as 100 ns units since 1601.
static FILETIME UnixTimeToFileTime(int64_t seconds)
{
    const uint64_t kEpochDifference = 11644473600ull;
    uint64_t ticks = seconds < 0 ? 0 : ((uint64_t)seconds + kEpochDifference) * 10000000ull;
    FILETIME time = {(DWORD)ticks, (DWORD)(ticks >> 32)};
    return time;
}

static void FillFromEntry(const TarEntry *entry, KvzFound *found)
{
    memset(found, 0, sizeof *found);
    found->attributes = entry->isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    found->created = found->accessed = found->written = UnixTimeToFileTime(entry->mtime);
    found->size = entry->size;
    RefCopy(found->name, sizeof found->name, entry->path + entry->nameAt);
}

// True when the archive holds an entry of this name in the search directory.
static bool InArchive(const Search *search, const char *name)
{
    if (search->mount == NULL)
        return false;
    char path[KVZ_REF_PATH_MAX];
    size_t at = strlen(search->directory);
    size_t length = strlen(name);
    if (at + 1 + length + 1 > sizeof path)
        return false;
    memcpy(path, search->directory, at);
    if (at > 0)
        path[at++] = '\\';
    memcpy(path + at, name, length);
    return TarIndexFind(&search->mount->index, path, at + length) != kTarNone;
}

static bool IsDotName(const char *name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// "." or ".." of an archive directory, when the pattern takes it.
static bool NextDot(Search *search, KvzFound *found)
{
    while (search->phase == PHASE_DOT || search->phase == PHASE_DOT_DOT) {
        const char *name = search->phase == PHASE_DOT ? "." : "..";
        search->phase = search->phase == PHASE_DOT ? PHASE_DOT_DOT : PHASE_ARCHIVE;
        if (RefWildcardMatch(search->namePattern, name)) {
            memset(found, 0, sizeof *found);
            found->attributes = FILE_ATTRIBUTE_DIRECTORY;
            found->created = found->accessed = found->written =
                UnixTimeToFileTime(search->dirMtime);
            RefCopy(found->name, sizeof found->name, name);
            return true;
        }
    }
    return false;
}

static bool NextFromArchive(Search *search, KvzFound *found)
{
    while (search->nextChild != kTarNone) {
        const TarEntry *entry = &search->mount->index.entries[search->nextChild];
        search->nextChild = entry->nextSibling;
        if (RefWildcardMatch(search->namePattern, entry->path + entry->nameAt)) {
            FillFromEntry(entry, found);
            return true;
        }
    }
    search->phase = PHASE_DISK_START;
    return false;
}

static bool NextFromDisk(Search *search, KvzFound *found)
{
    for (;;) {
        if (search->phase == PHASE_DISK_START) {
            search->disk = DiskFindFirst(search->diskPattern, found);
            if (search->disk == INVALID_HANDLE_VALUE) {
                search->diskError = GetLastError();
                search->phase = PHASE_DONE;
                return false;
            }
            search->phase = PHASE_DISK;
        } else if (!DiskFindNext(search->disk, found)) {
            FindClose(search->disk);
            search->disk = INVALID_HANDLE_VALUE;
            search->phase = PHASE_DONE;
            return false;
        }
        if (found->name[0] != 0 && !InArchive(search, found->name) &&
            !(search->mount != NULL && IsDotName(found->name)))
            return true;
    }
}

static bool NextOfAnyPhase(Search *search, KvzFound *found)
{
    if (NextDot(search, found))
        return true;
    if (search->phase == PHASE_ARCHIVE && NextFromArchive(search, found))
        return true;
    if (search->phase == PHASE_DISK_START || search->phase == PHASE_DISK)
        return NextFromDisk(search, found);
    return false;
}

// A name the caller's find data cannot hold is passed over, as if the
// directory did not hold it.
static bool SearchNext(Search *search, KvzFound *found)
{
    while (NextOfAnyPhase(search, found))
        if (FoundNameFits(found->name))
            return true;
    return false;
}

void RefReleaseSearch(void *object)
{
    Search *search = (Search *)object;
    if (search->disk != INVALID_HANDLE_VALUE)
        FindClose(search->disk);
    if (search->mount != NULL)
        MountRelease(search->mount);
    free(search);
}

// Points the search at the archive directory holding dir, if any.
static void AttachArchive(Search *search, const char *dir)
{
    MountHit hit;
    if (!MountResolve(dir, &hit))
        return;
    const TarEntry *entry = hit.entry == kTarRoot ? NULL : &hit.mount->index.entries[hit.entry];
    if (entry != NULL && !entry->isDirectory) {
        MountRelease(hit.mount);
        return;
    }
    search->mount = hit.mount;
    search->phase = PHASE_DOT;
    search->dirMtime = entry != NULL ? entry->mtime : 0;
    search->nextChild = TarFirstChild(&hit.mount->index, hit.entry);
    RefCopy(search->directory, sizeof search->directory, entry != NULL ? entry->path : "");
}

static Search *StartSearch(const char *pattern)
{
    char dir[KVZ_REF_PATH_MAX];
    const char *name = RefSplitPattern(pattern, dir, sizeof dir);
    if (name == NULL || *name == 0) {
        RefSetError(ERROR_INVALID_NAME);
        return NULL;
    }
    Search *search = (Search *)calloc(1, sizeof(Search));
    if (search == NULL) {
        RefSetError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    search->disk = INVALID_HANDLE_VALUE;
    search->nextChild = kTarNone;
    search->phase = PHASE_ARCHIVE;
    if (RefCopy(search->namePattern, sizeof search->namePattern, name) == (size_t)-1 ||
        RefCopy(search->diskPattern, sizeof search->diskPattern, pattern) == (size_t)-1) {
        free(search);
        RefSetError(ERROR_INVALID_NAME);
        return NULL;
    }
    AttachArchive(search, dir);
    return search;
}

// Why a search found nothing at all.
static DWORD EmptySearchError(const Search *search)
{
    if (search->mount != NULL)
        return ERROR_NO_MORE_FILES;
    if (search->diskError == ERROR_PATH_NOT_FOUND || search->diskError == ERROR_INVALID_NAME)
        return search->diskError;
    return ERROR_NO_MORE_FILES;
}

KVZHANDLE RefFindFirst(const char *pattern, KvzFound *found)
{
    Search *search = StartSearch(pattern);
    if (search == NULL)
        return KVZ_INVALID_HANDLE;
    if (!SearchNext(search, found)) {
        RefSetError(EmptySearchError(search));
        RefReleaseSearch(search);
        return KVZ_INVALID_HANDLE;
    }
    KVZHANDLE handle = HandleAttach(HANDLE_KIND_SEARCH, search);
    if (handle == KVZ_INVALID_HANDLE) {
        RefReleaseSearch(search);
        RefSetError(kErrorTooManyOpen);
    }
    return handle;
}

BOOL RefFindNext(KVZHANDLE handle, KvzFound *found)
{
    HandleUse use;
    if (!HandleEnter(handle, HANDLE_KIND_SEARCH, &use)) {
        RefSetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool more = SearchNext((Search *)use.object, found);
    HandleLeave(&use);
    if (!more)
        RefSetError(ERROR_NO_MORE_FILES);
    return more ? TRUE : FALSE;
}

BOOL RefFindClose(KVZHANDLE handle)
{
    HandleUse use;
    if (!HandleDetach(handle, HANDLE_KIND_SEARCH, &use)) {
        RefSetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    RefReleaseSearch(use.object);
    return TRUE;
}
