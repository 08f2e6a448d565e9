// Files: entries of mounted archives, served read-only from a per-handle
// buffer, and real files, passed to the platform. Paths are UTF-8.
//
// Every failure answers FALSE, all-ones or INVALID_SET_FILE_POINTER with the
// library's last error set: ERROR_INVALID_HANDLE (6) for a closed, unknown or
// search handle; ERROR_ACCESS_DENIED (5) for writing to, or opening for
// writing, an archive entry, and for opening an archive directory;
// ERROR_FILE_EXISTS (80) for CREATE_NEW on an archive entry; ERROR_READ_FAULT
// (30) when the archive cannot be read; the platform's error for real files.
#ifndef KVZ_REF_OPEN_READ_H
#define KVZ_REF_OPEN_READ_H

#include "archive_api/kvz_api.h"
#include "archive_ref/handles.h"

// Opens path: an entry of a mounted archive when one holds it (for reading
// only: write access or a disposition that would create or truncate is
// refused), the real file with the caller's access, sharing and disposition
// otherwise. A missing real file answers the platform's 2 or 3.
KVZHANDLE RefCreateFile(const char *path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                        DWORD disposition, DWORD flags);

// Reads up to count bytes. *read (when given) is stored at every call,
// failures included: 0 at the end of the data.
BOOL RefReadFile(KVZHANDLE file, LPVOID buffer, DWORD count, LPDWORD read);

// Writes to a real file; an archive entry refuses with ERROR_ACCESS_DENIED.
// *written is stored at every call.
BOOL RefWriteFile(KVZHANDLE file, LPCVOID buffer, DWORD count, LPDWORD written);

// Moves the file position as SetFilePointer does: a negative result is
// refused with ERROR_NEGATIVE_SEEK (131) and leaves the position; a position
// past the end is allowed (reads there give 0 bytes). Without distance_high a
// result beyond 32 bits is refused with ERROR_INVALID_PARAMETER. On success
// the last error is ERROR_SUCCESS, so a low half of all-ones can be told
// from a failure.
DWORD RefSetFilePointer(KVZHANDLE file, LONG distance, PLONG distance_high, DWORD method);

// Closes a file handle; a search handle is refused (use FindClose).
BOOL RefCloseHandle(KVZHANDLE file);

// TRUE for a file (not a directory) in a mounted archive or on disk.
BOOL RefIsFile(const char *path);

// Releases the object of a file handle detached at library unload. An
// archive entry's record is kept as a spare for the next open, up to a few.
void RefReleaseFile(HandleKind kind, void *object);

// Frees the spare records of closed entries (unmount and library unload).
void RefFreeSpareFiles(void);

#endif
