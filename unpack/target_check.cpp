// The check that the target hides no archive entry; see target_check.h.
#include "unpack/target_check.h"

#include <string.h>

#include "unpack/library.h"
#include "unpack/name_filter.h"
#include "unpack/paths.h"

// True when the parent of target_dir is mount_dir; name (kPathChars)
// then holds the last component of target_dir.
static bool IsInMountDir(const char *target_dir, const char *mount_dir, char *name)
{
    char target[kPathChars];
    char mount[kPathChars];
    if (!ResolvePath(target_dir, target) || !ResolvePath(mount_dir, mount))
        return false;
    char *last = strrchr(target, '\\');
    if (last == NULL || last[1] == 0)
        return false; // a root has no name
    CopyPath(name, last + 1);
    // The parent of "C:\x" is the root "C:\", which keeps its backslash.
    size_t parent = (size_t)(last - target);
    if (parent == DrivePrefixLength(target))
        parent++;
    target[parent] = 0;
    return NamesEqualIgnoringCase(target, mount);
}

// An entry of the mount folder's search that only the archive holds: the
// platform does not find it on disk, as the walk tells archive entries.
static bool IsArchiveEntryNamed(char *mount_dir, int mount_length, WIN32_FIND_DATAA *data,
                                const char *name)
{
    data->cFileName[sizeof data->cFileName - 1] = 0;
    const char *entry = data->cFileName;
    if (!NamesEqualIgnoringCase(entry, name) || !IsSafeEntryName(entry) ||
        !AppendPath(mount_dir, (size_t)mount_length + 1, entry, strlen(entry)))
        return false;
    mount_dir[mount_length] = '\\';
    bool archive_only = !PathExists(mount_dir);
    mount_dir[mount_length] = 0;
    return archive_only;
}

bool TargetHidesArchiveEntry(const char *target_dir, char *mount_dir, int mount_length,
                             char hidden_name[MAX_PATH])
{
    char name[kPathChars];
    if (PathExists(target_dir) || !IsInMountDir(target_dir, mount_dir, name))
        return false;
    WIN32_FIND_DATAA data;
    KVZHANDLE search = KVZ_INVALID_HANDLE;
    if (AppendPath(mount_dir, (size_t)mount_length, "\\*", 2))
        search = KvzFindFirstFile(mount_dir, &data);
    mount_dir[mount_length] = 0;
    if (search == KVZ_INVALID_HANDLE)
        return false; // the walk reports the search that failed
    bool hidden = false;
    do {
        hidden = IsArchiveEntryNamed(mount_dir, mount_length, &data, name);
    } while (!hidden && KvzFindNextFile(search, &data));
    KvzFindClose(search);
    if (hidden)
        memcpy(hidden_name, data.cFileName, sizeof data.cFileName);
    return hidden;
}
