// What each flavour supplies to the core: the real file system as the core
// sees it, UTF-8 backslash paths, and the names its callers can take. The
// desktop flavour calls the platform's 8-bit calls, the handheld one converts
// to 16-bit and calls the wide ones, so names outside ASCII reach the file
// system intact in both.
#ifndef KVZ_REF_DISK_IO_H
#define KVZ_REF_DISK_IO_H

#include "platform/win32.h"

#include <stdint.h>

// A name in UTF-8 that came from a MAX_PATH array of 16-bit characters.
static const size_t kFoundNameMax = 3 * MAX_PATH + 1;

// One search result, from the archive or the disk.
struct KvzFound {
    DWORD attributes;
    FILETIME created;
    FILETIME accessed;
    FILETIME written;
    uint64_t size;
    char name[kFoundNameMax];
};

// CreateFile on a real file; INVALID_HANDLE_VALUE with the platform's last
// error set (ERROR_INVALID_NAME when the path cannot be converted).
HANDLE DiskCreateFile(const char *path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                      DWORD disposition, DWORD flags, HANDLE template_file);

// GetFileAttributes; INVALID_FILE_ATTRIBUTES when absent.
DWORD DiskGetAttributes(const char *path);

// FindFirstFile / FindNextFile; a result whose name does not convert has an
// empty name. Close the search with the platform's FindClose.
HANDLE DiskFindFirst(const char *pattern, KvzFound *found);
BOOL DiskFindNext(HANDLE search, KvzFound *found);

// True when the flavour's find data can hold name: MAX_PATH bytes on the
// desktop, MAX_PATH 16-bit characters on the handheld, terminator included.
bool FoundNameFits(const char *name);

#endif
