// Files and directories: attributes, the current directory, directory
// creation and removal, and file handles over POSIX descriptors.
#include "platform/file_stream.h"
#include "platform/posix/posix_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

struct FileRecord {
    KvzHandleRecord link; // first, so the record is its own handle
    int fd;
};

// ---- Attributes ----

DWORD KvzAttributesOfStat(const struct stat *st)
{
    if (S_ISDIR(st->st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    if ((st->st_mode & S_IWUSR) == 0)
        return FILE_ATTRIBUTE_READONLY;
    return FILE_ATTRIBUTE_NORMAL;
}

static DWORD AttributesOfOsPath(const char *os_path)
{
    struct stat st;
    if (stat(os_path, &st) != 0) {
        SetLastError(KvzErrorForPath(errno, os_path));
        return INVALID_FILE_ATTRIBUTES;
    }
    return KvzAttributesOfStat(&st);
}

DWORD GetFileAttributesA(LPCSTR path)
{
    char os_path[kOsPathMax];
    if (path == NULL || !KvzPathToOs(path, os_path, sizeof os_path)) {
        SetLastError(path == NULL ? ERROR_INVALID_PARAMETER : ERROR_FILENAME_EXCED_RANGE);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOfOsPath(os_path);
}

DWORD GetFileAttributesW(LPCWSTR path)
{
    char os_path[kOsPathMax];
    if (path == NULL || !KvzWidePathToOs(path, os_path, sizeof os_path)) {
        SetLastError(path == NULL ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOfOsPath(os_path);
}

// ---- Current directory ----

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer)
{
    char os_path[kOsPathMax];
    if (getcwd(os_path, sizeof os_path) == NULL) {
        SetLastError(KvzErrorFromErrno(errno));
        return 0;
    }
    size_t length = strlen(os_path);
    if (buffer == NULL || length + 1 > size)
        return (DWORD)(length + 1); // the room needed, terminator included
    KvzOsToPath(os_path, buffer, size);
    return (DWORD)length;
}

// ---- Directories ----

static BOOL CreateDirectoryOs(const char *os_path)
{
    if (mkdir(os_path, 0777) == 0)
        return TRUE;
    SetLastError(KvzErrorForPath(errno, os_path) == ERROR_FILE_NOT_FOUND
                     ? ERROR_PATH_NOT_FOUND // the parent itself is missing
                     : KvzErrorForPath(errno, os_path));
    return FALSE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES)
{
    char os_path[kOsPathMax];
    if (path == NULL || !KvzPathToOs(path, os_path, sizeof os_path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return CreateDirectoryOs(os_path);
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES)
{
    char os_path[kOsPathMax];
    if (path == NULL || !KvzWidePathToOs(path, os_path, sizeof os_path)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return CreateDirectoryOs(os_path);
}

BOOL RemoveDirectoryA(LPCSTR path)
{
    char os_path[kOsPathMax];
    if (path == NULL || !KvzPathToOs(path, os_path, sizeof os_path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    if (rmdir(os_path) == 0)
        return TRUE;
    SetLastError(errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY
                                                       : KvzErrorForPath(errno, os_path));
    return FALSE;
}

BOOL DeleteFileA(LPCSTR path)
{
    char os_path[kOsPathMax];
    if (path == NULL || !KvzPathToOs(path, os_path, sizeof os_path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    struct stat st;
    if (stat(os_path, &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(os_path) == 0)
        return TRUE;
    SetLastError(KvzErrorForPath(errno, os_path));
    return FALSE;
}

// ---- File handles ----

static int OpenFlags(DWORD access, DWORD disposition, bool *valid)
{
    int flags = O_CLOEXEC;
    bool reads = (access & GENERIC_READ) != 0, writes = (access & GENERIC_WRITE) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    *valid = true;
    switch (disposition) {
    case CREATE_NEW:
        return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
        return flags | O_CREAT | O_TRUNC;
    case OPEN_EXISTING:
        return flags;
    case OPEN_ALWAYS:
        return flags | O_CREAT;
    case TRUNCATE_EXISTING:
        return flags | O_TRUNC;
    default:
        *valid = false;
        return flags;
    }
}

static HANDLE OpenFileOs(const char *os_path, DWORD access, DWORD disposition)
{
    bool valid;
    int flags = OpenFlags(access, disposition, &valid);
    if (!valid || (disposition == TRUNCATE_EXISTING && (access & GENERIC_WRITE) == 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    struct stat before;
    bool existed = stat(os_path, &before) == 0;
    if (existed && S_ISDIR(before.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED); // a directory is not a file to open
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(os_path, flags, 0666);
    if (fd < 0) {
        SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : KvzErrorForPath(errno, os_path));
        return INVALID_HANDLE_VALUE;
    }
    FileRecord *record = (FileRecord *)calloc(1, sizeof *record);
    if (record == NULL) {
        close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    record->fd = fd;
    KvzHandleAdd(&record->link, KVZ_HANDLE_FILE);
    bool reports_existing = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(existed && reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return (HANDLE)record;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE)
{
    char os_path[kOsPathMax];
    if (name == NULL || !KvzPathToOs(name, os_path, sizeof os_path)) {
        SetLastError(name == NULL ? ERROR_INVALID_PARAMETER : ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return OpenFileOs(os_path, access, disposition);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE)
{
    char os_path[kOsPathMax];
    if (name == NULL || !KvzWidePathToOs(name, os_path, sizeof os_path)) {
        SetLastError(name == NULL ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return OpenFileOs(os_path, access, disposition);
}

// The descriptor of a live file handle, or -1 with ERROR_INVALID_HANDLE.
static int DescriptorOf(HANDLE file)
{
    if (!KvzHandleIsLive(file, KVZ_HANDLE_FILE)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return ((FileRecord *)file)->fd;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read_count, LPVOID)
{
    if (read_count != NULL)
        *read_count = 0;
    int fd = DescriptorOf(file);
    if (fd < 0)
        return FALSE;
    DWORD done = 0;
    while (done < count) {
        ssize_t n = read(fd, (char *)buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(errno == EISDIR ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT);
            if (read_count != NULL)
                *read_count = done;
            return FALSE;
        }
        if (n == 0)
            break; // end of file: success with fewer bytes
        done += (DWORD)n;
    }
    if (read_count != NULL)
        *read_count = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPVOID)
{
    if (written != NULL)
        *written = 0;
    int fd = DescriptorOf(file);
    if (fd < 0)
        return FALSE;
    DWORD done = 0;
    while (done < count) {
        ssize_t n = write(fd, (const char *)buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetLastError(n < 0 && errno == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
            if (written != NULL)
                *written = done;
            return FALSE;
        }
        done += (DWORD)n;
    }
    if (written != NULL)
        *written = done;
    return TRUE;
}

// Where a move would land, or -1 for a base that cannot be read.
static long long SeekTarget(int fd, long long offset, DWORD method)
{
    long long base = 0;
    if (method == FILE_CURRENT) {
        base = lseek(fd, 0, SEEK_CUR);
    } else if (method == FILE_END) {
        struct stat st;
        base = fstat(fd, &st) == 0 ? (long long)st.st_size : -1;
    }
    return base < 0 ? -1 : base + offset;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method)
{
    int fd = DescriptorOf(file);
    if (fd < 0)
        return INVALID_SET_FILE_POINTER;
    if (method > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    long long offset = distance; // without a high part the distance is signed 32-bit
    if (distance_high != NULL)
        offset =
            (long long)(((unsigned long long)(uint32_t)*distance_high << 32) | (uint32_t)distance);
    long long target = SeekTarget(fd, offset, method);
    bool fits = distance_high != NULL || target < 0xFFFFFFFFll;
    if (target < 0 || !fits) {
        // Before the start, or beyond what the low part alone can report.
        SetLastError(target < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(fd, (off_t)target, SEEK_SET) < 0) {
        SetLastError(KvzErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distance_high != NULL)
        *distance_high = (LONG)((unsigned long long)target >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)((unsigned long long)target & 0xFFFFFFFFu);
}

DWORD GetFileSize(HANDLE file, LPDWORD size_high)
{
    int fd = DescriptorOf(file);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0)
            SetLastError(KvzErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    if (size_high != NULL)
        *size_high = (DWORD)((unsigned long long)st.st_size >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)((unsigned long long)st.st_size & 0xFFFFFFFFu);
}

BOOL CloseHandle(HANDLE handle)
{
    if (!KvzHandleRemove(handle, KVZ_HANDLE_FILE)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FileRecord *record = (FileRecord *)handle;
    close(record->fd);
    free(record);
    return TRUE;
}

// ---- C streams by wide name ----

FILE *_wfopen(const WCHAR *path, const WCHAR *mode)
{
    char os_path[kOsPathMax], narrow_mode[16];
    if (path == NULL || mode == NULL || !KvzWidePathToOs(path, os_path, sizeof os_path) ||
        !KvzWideToUtf8(mode, narrow_mode, sizeof narrow_mode)) {
        errno = EINVAL;
        return NULL;
    }
    return fopen(os_path, narrow_mode);
}
