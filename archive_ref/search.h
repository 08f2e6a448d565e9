// Searches: over a directory of a mounted archive first "." and "..", as a
// directory on disk gives them, then the entries the archive holds there,
// in archive order, then what really lies there on disk, each name once;
// archive entries win over a disk entry of the same name. Elsewhere what
// lies on disk, as the platform yields it. Patterns are UTF-8 "dir\name"
// with * and ?; "." and ".." come only when the pattern takes them. A name
// the flavour's find data cannot hold (FoundNameFits), or that the disk gave
// in a form the flavour cannot convert, is passed over.
#ifndef KVZ_REF_SEARCH_H
#define KVZ_REF_SEARCH_H

#include "archive_api/kvz_api.h"
#include "archive_ref/disk_io.h"

// Starts a search and stores its first result. Archive directories answer
// attribute FILE_ATTRIBUTE_DIRECTORY, archive files FILE_ATTRIBUTE_NORMAL,
// with their exact size and the archive's modification time. Fails with
// all-ones and the last error: ERROR_PATH_NOT_FOUND (3) when the directory is
// neither in an archive nor on disk, ERROR_NO_MORE_FILES (18) when nothing in
// it matches (so never for "*" over an archive directory, empty or not), ERROR_INVALID_NAME (123)
// for a pattern too long or empty.
KVZHANDLE RefFindFirst(const char *pattern, KvzFound *found);

// The next result; FALSE with ERROR_NO_MORE_FILES when done, with
// ERROR_INVALID_HANDLE for a handle that is not an open search.
BOOL RefFindNext(KVZHANDLE search, KvzFound *found);

// Ends a search; a file handle is refused with ERROR_INVALID_HANDLE.
BOOL RefFindClose(KVZHANDLE search);

// Releases the object of a search handle detached at library unload.
void RefReleaseSearch(void *object);

#endif
