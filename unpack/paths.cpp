#include "unpack/paths.h"

#include <string.h>

#include "platform/win32.h"

bool CopyPath(char *dest, const char *source)
{
    dest[0] = 0;
    return AppendPath(dest, 0, source, strlen(source));
}

bool AppendPath(char *dest, size_t at, const char *source, size_t count)
{
    if (at > UNPACK_PATH_MAX_LENGTH || count > UNPACK_PATH_MAX_LENGTH - at)
        return false;
    memmove(dest + at, source, count);
    dest[at + count] = 0;
    return true;
}

size_t DrivePrefixLength(const char *directory)
{
    if (directory[0] != 0 && directory[1] == ':')
        return 2;
    if (directory[0] != '\\' || directory[1] != '\\')
        return 0;
    // \\server\share: up to the backslash after the share name.
    size_t i = 2;
    int separators = 0;
    for (; directory[i] != 0; i++)
        if (directory[i] == '\\' && ++separators == 2)
            break;
    return i;
}

// The current directory into current (UNPACK_PATH_CHARS); its length, or -1.
static int ReadCurrentDirectory(char *current)
{
    DWORD length = GetCurrentDirectoryA(UNPACK_PATH_CHARS, current);
    if (length == 0 || length > UNPACK_PATH_MAX_LENGTH)
        return -1;
    return (int)length;
}

int MakeAbsolutePath(char *path)
{
    size_t n = strlen(path);
    if (strchr(path, ':') != NULL || (path[0] == '\\' && path[1] == '\\'))
        return (int)n;

    char joined[UNPACK_PATH_CHARS];
    int current = ReadCurrentDirectory(joined);
    if (current < 0)
        return ABSOLUTE_PATH_NO_CURRENT;
    size_t c = (size_t)current;
    if (path[0] == '\\') {
        c = DrivePrefixLength(joined);
    } else if (c == 0 || joined[c - 1] != '\\') {
        // A root directory ("C:\", "\") already ends in its backslash.
        if (!AppendPath(joined, c, "\\", 1))
            return ABSOLUTE_PATH_TOO_LONG;
        c++;
    }
    if (!AppendPath(joined, c, path, n))
        return ABSOLUTE_PATH_TOO_LONG;
    memcpy(path, joined, c + n + 1);
    return (int)(c + n);
}

bool PathExists(const char *path)
{
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return true;
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return false;
    default:
        return true;
    }
}

bool IsSafeEntryName(const char *name)
{
    return name[0] != 0 && strpbrk(name, "\\/:") == NULL;
}
