// Opening, reading, seeking and writing files for the library's handles.
#include "archive_ref/open_read.h"

#include "archive_ref/disk_io.h"
#include "archive_ref/handles.h"
#include "archive_ref/mounts.h"
#include "archive_ref/ref_state.h"

#include <stdlib.h>
#include <string.h>

// Access bits that would let a handle change the file: GENERIC_WRITE,
// GENERIC_ALL, FILE_WRITE_DATA and FILE_APPEND_DATA.
static const DWORD kWriteAccess = GENERIC_WRITE | 0x10000000u | 0x00000002u | 0x00000004u;

struct ArchiveFile {
    Mount *mount; // referenced while the handle is open
    uint64_t dataOffset;
    uint64_t size;
    uint64_t position;
    BYTE *buffer;         // allocated at the first read that needs it
    DWORD bufferRoom;     // bytes allocated at buffer
    DWORD bufferCapacity; // bytes one refill reads: at most bufferRoom
    DWORD bufferLength;
    uint64_t bufferStart; // file position of buffer[0]
    ArchiveFile *nextSpare;
};

// ---- Spare records ----
// A closed entry's record keeps its buffer and waits here for the next open,
// so a caller that opens, reads and closes one entry after another allocates
// nothing per entry. Enough for every file a caller has open at once in
// practice; beyond that a closed record is freed.
#ifndef KVZ_REF_SPARE_FILES
#define KVZ_REF_SPARE_FILES 8
#endif

static ArchiveFile *SpareFiles = NULL; // under the library lock
static unsigned SpareCount = 0;

static ArchiveFile *TakeSpareFile(void)
{
    RefLock();
    ArchiveFile *file = SpareFiles;
    if (file != NULL) {
        SpareFiles = file->nextSpare;
        SpareCount--;
    }
    RefUnlock();
    if (file == NULL)
        return (ArchiveFile *)calloc(1, sizeof(ArchiveFile));
    BYTE *buffer = file->buffer;
    DWORD room = file->bufferRoom;
    memset(file, 0, sizeof *file);
    file->buffer = buffer;
    file->bufferRoom = room;
    return file;
}

// Keeps file (its mount already released) as a spare, or frees it.
static void KeepSpareFile(ArchiveFile *file)
{
    RefLock();
    bool kept = SpareCount < KVZ_REF_SPARE_FILES;
    if (kept) {
        file->nextSpare = SpareFiles;
        SpareFiles = file;
        SpareCount++;
    }
    RefUnlock();
    if (!kept) {
        free(file->buffer);
        free(file);
    }
}

void RefFreeSpareFiles(void)
{
    RefLock();
    ArchiveFile *file = SpareFiles;
    SpareFiles = NULL;
    SpareCount = 0;
    RefUnlock();
    while (file != NULL) {
        ArchiveFile *next = file->nextSpare;
        free(file->buffer);
        free(file);
        file = next;
    }
}

// ---- Opening ----
static KVZHANDLE AttachOrRelease(HandleKind kind, void *object)
{
    KVZHANDLE handle = HandleAttach(kind, object);
    if (handle == KVZ_INVALID_HANDLE) {
        RefReleaseFile(kind, object);
        RefSetError(kErrorTooManyOpen);
    }
    return handle;
}

static KVZHANDLE OpenArchiveEntry(const MountHit *hit, DWORD access, DWORD disposition)
{
    const TarEntry *entry = hit->entry == kTarRoot ? NULL : &hit->mount->index.entries[hit->entry];
    DWORD error = ERROR_SUCCESS;
    if (entry == NULL || entry->isDirectory || (access & kWriteAccess) != 0 ||
        disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)
        error = ERROR_ACCESS_DENIED;
    else if (disposition == CREATE_NEW)
        error = ERROR_FILE_EXISTS;
    ArchiveFile *file = NULL;
    if (error == ERROR_SUCCESS) {
        file = TakeSpareFile();
        if (file == NULL)
            error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error != ERROR_SUCCESS) {
        MountRelease(hit->mount);
        RefSetError(error);
        return KVZ_INVALID_HANDLE;
    }
    file->mount = hit->mount;
    file->dataOffset = entry->dataOffset;
    file->size = entry->size;
    DWORD capacity = RefReadBufferSize();
    file->bufferCapacity = entry->size < capacity ? (DWORD)entry->size : capacity;
    return AttachOrRelease(HANDLE_KIND_ARCHIVE_FILE, file);
}

KVZHANDLE RefCreateFile(const char *path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                        DWORD disposition, DWORD flags)
{
    char normal[KVZ_REF_PATH_MAX];
    MountHit hit;
    if (RefNormalisePath(path, normal, sizeof normal) != (size_t)-1 && MountResolve(normal, &hit))
        return OpenArchiveEntry(&hit, access, disposition);
    HANDLE real = DiskCreateFile(path, access, share, security, disposition, flags, NULL);
    if (real == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        RefSetError(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
        return KVZ_INVALID_HANDLE;
    }
    return AttachOrRelease(HANDLE_KIND_DISK_FILE, real);
}

BOOL RefIsFile(const char *path)
{
    char normal[KVZ_REF_PATH_MAX];
    MountHit hit;
    if (RefNormalisePath(path, normal, sizeof normal) != (size_t)-1 && MountResolve(normal, &hit)) {
        bool is_file = hit.entry != kTarRoot && !hit.mount->index.entries[hit.entry].isDirectory;
        MountRelease(hit.mount);
        return is_file ? TRUE : FALSE;
    }
    DWORD attributes = DiskGetAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void RefReleaseFile(HandleKind kind, void *object)
{
    if (kind == HANDLE_KIND_DISK_FILE) {
        CloseHandle((HANDLE)object);
        return;
    }
    ArchiveFile *file = (ArchiveFile *)object;
    MountRelease(file->mount);
    KeepSpareFile(file);
}

// ---- Reading archive entries ----
// Makes room for one refill. A spare record's buffer is used when it is big
// enough; else it grows at least twofold (up to the read buffer size), so a
// run of ever larger entries reallocates a bounded number of times.
static bool MakeBufferRoom(ArchiveFile *file)
{
    if (file->buffer != NULL && file->bufferRoom >= file->bufferCapacity)
        return true;
    DWORD room = file->bufferRoom * 2; // at most twice the 4 MiB bound
    DWORD limit = RefReadBufferSize();
    if (room > limit)
        room = limit;
    if (room < file->bufferCapacity)
        room = file->bufferCapacity;
    free(file->buffer);
    file->buffer = (BYTE *)malloc(room);
    file->bufferRoom = file->buffer != NULL ? room : 0;
    if (file->buffer != NULL)
        return true;
    RefSetError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

static bool Refill(ArchiveFile *file)
{
    if (!MakeBufferRoom(file))
        return false;
    uint64_t left = file->size - file->position;
    DWORD length = left < file->bufferCapacity ? (DWORD)left : file->bufferCapacity;
    file->bufferLength = 0;
    if (!MountReadAt(file->mount, file->dataOffset + file->position, file->buffer, length)) {
        RefSetError(ERROR_READ_FAULT);
        return false;
    }
    file->bufferStart = file->position;
    file->bufferLength = length;
    return true;
}

// Copies from the buffer what it holds at the current position; 0 if nothing.
static DWORD TakeBuffered(ArchiveFile *file, BYTE *out, DWORD wanted)
{
    if (file->position < file->bufferStart ||
        file->position >= file->bufferStart + file->bufferLength)
        return 0;
    DWORD at = (DWORD)(file->position - file->bufferStart);
    DWORD n = file->bufferLength - at < wanted ? file->bufferLength - at : wanted;
    memcpy(out, file->buffer + at, n);
    file->position += n;
    return n;
}

static BOOL ReadArchiveFile(ArchiveFile *file, BYTE *out, DWORD count, DWORD *read)
{
    if (file->position >= file->size)
        return TRUE;
    uint64_t left = file->size - file->position;
    DWORD wanted = left < count ? (DWORD)left : count;
    while (*read < wanted) {
        DWORD n = TakeBuffered(file, out + *read, wanted - *read);
        if (n > 0) {
            *read += n;
            continue;
        }
        DWORD rest = wanted - *read;
        if (rest >= file->bufferCapacity) {
            // A large read goes straight to the caller's buffer.
            if (!MountReadAt(file->mount, file->dataOffset + file->position, out + *read, rest)) {
                RefSetError(ERROR_READ_FAULT);
                return FALSE;
            }
            file->position += rest;
            *read += rest;
        } else if (!Refill(file)) {
            return FALSE;
        }
    }
    return TRUE;
}

// The common case of small sequential reads: the buffer holds all count
// bytes at the current position. False, with nothing done, otherwise.
static bool TakeWhole(ArchiveFile *file, BYTE *out, DWORD count, DWORD *read)
{
    if (file->position < file->bufferStart)
        return false;
    uint64_t at = file->position - file->bufferStart;
    if (at > file->bufferLength || file->bufferLength - at < count)
        return false;
    memcpy(out, file->buffer + at, count);
    file->position += count;
    *read = count;
    return true;
}

BOOL RefReadFile(KVZHANDLE handle, LPVOID buffer, DWORD count, LPDWORD read)
{
    DWORD done = 0;
    if (read != NULL)
        *read = 0;
    if (buffer == NULL && count > 0) {
        RefSetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HandleUse use;
    if (!HandleEnter(handle, kHandleKindsFile, &use)) {
        RefSetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    BOOL ok;
    if (use.kind == HANDLE_KIND_ARCHIVE_FILE) {
        ArchiveFile *file = (ArchiveFile *)use.object;
        ok = TakeWhole(file, (BYTE *)buffer, count, &done) ||
             ReadArchiveFile(file, (BYTE *)buffer, count, &done);
    } else {
        ok = ReadFile((HANDLE)use.object, buffer, count, &done, NULL);
        if (!ok)
            RefSetError(GetLastError());
    }
    HandleLeave(&use);
    if (read != NULL)
        *read = done;
    return ok;
}

// ---- Writing, seeking, closing ----
BOOL RefWriteFile(KVZHANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written)
{
    DWORD done = 0;
    if (written != NULL)
        *written = 0;
    HandleUse use;
    if (!HandleEnter(handle, kHandleKindsFile, &use)) {
        RefSetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    BOOL ok = FALSE;
    if (use.kind == HANDLE_KIND_ARCHIVE_FILE) {
        RefSetError(ERROR_ACCESS_DENIED);
    } else {
        ok = WriteFile((HANDLE)use.object, buffer, count, &done, NULL);
        if (!ok)
            RefSetError(GetLastError());
    }
    HandleLeave(&use);
    if (written != NULL)
        *written = done;
    return ok;
}

static DWORD SeekFails(DWORD error)
{
    RefSetError(error);
    return INVALID_SET_FILE_POINTER;
}

static DWORD SeekArchiveFile(ArchiveFile *file, LONG distance, PLONG distance_high, DWORD method)
{
    int64_t base;
    if (method == FILE_BEGIN)
        base = 0;
    else if (method == FILE_CURRENT)
        base = (int64_t)file->position;
    else if (method == FILE_END)
        base = (int64_t)file->size;
    else
        return SeekFails(ERROR_INVALID_PARAMETER);
    int64_t move = distance_high == NULL
                       ? (int64_t)distance
                       : (int64_t)(((uint64_t)(uint32_t)*distance_high << 32) | (uint32_t)distance);
    if (move > 0 && move > INT64_MAX - base)
        return SeekFails(ERROR_INVALID_PARAMETER);
    int64_t target = base + move;
    if (target < 0)
        return SeekFails(ERROR_NEGATIVE_SEEK);
    if (distance_high == NULL && target > 0xFFFFFFFELL)
        return SeekFails(ERROR_INVALID_PARAMETER);
    file->position = (uint64_t)target;
    if (distance_high != NULL)
        *distance_high = (LONG)(target >> 32);
    RefSetError(ERROR_SUCCESS);
    return (DWORD)target;
}

DWORD RefSetFilePointer(KVZHANDLE handle, LONG distance, PLONG distance_high, DWORD method)
{
    HandleUse use;
    if (!HandleEnter(handle, kHandleKindsFile, &use)) {
        RefSetError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    DWORD result;
    if (use.kind == HANDLE_KIND_ARCHIVE_FILE) {
        result = SeekArchiveFile((ArchiveFile *)use.object, distance, distance_high, method);
    } else {
        SetLastError(ERROR_SUCCESS);
        result = SetFilePointer((HANDLE)use.object, distance, distance_high, method);
        RefSetError(GetLastError());
    }
    HandleLeave(&use);
    return result;
}

BOOL RefCloseHandle(KVZHANDLE handle)
{
    HandleUse use;
    if (!HandleDetach(handle, kHandleKindsFile, &use)) {
        RefSetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    RefReleaseFile(use.kind, use.object);
    return TRUE;
}
