// Path helpers of kvz_unpack; see paths.h.
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
    if (at > kPathMaxLength || count > kPathMaxLength - at)
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

// The current directory into current (kPathChars); its length, or -1.
static int ReadCurrentDirectory(char *current)
{
    DWORD length = GetCurrentDirectoryA(kPathChars, current);
    if (length == 0 || length > kPathMaxLength)
        return -1;
    return (int)length;
}

int MakeAbsolutePath(char *path)
{
    size_t n = strlen(path);
    if (strchr(path, ':') != NULL || (path[0] == '\\' && path[1] == '\\'))
        return (int)n;

    char joined[kPathChars];
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

// ---- Resolved form ----
static bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The length of out[0..length) without its last component and the backslash
// before it; the drive part (out[0..prefix)) stays.
static size_t DropLastComponent(const char *out, size_t prefix, size_t length)
{
    while (length > prefix && out[length - 1] != '\\')
        length--;
    return length > prefix ? length - 1 : prefix;
}

bool ResolvePath(const char *path, char *out)
{
    size_t prefix = DrivePrefixLength(path);
    memcpy(out, path, prefix);
    size_t length = prefix;
    for (const char *p = path + prefix; *p != 0;) {
        while (IsSeparator(*p))
            p++;
        const char *start = p;
        while (*p != 0 && !IsSeparator(*p))
            p++;
        size_t part = (size_t)(p - start);
        if (part == 0 || (part == 1 && start[0] == '.'))
            continue;
        if (part == 2 && start[0] == '.' && start[1] == '.') {
            length = DropLastComponent(out, prefix, length);
            continue;
        }
        if (part + 1 > kPathMaxLength - length)
            return false;
        out[length++] = '\\';
        memcpy(out + length, start, part);
        length += part;
    }
    if (length == prefix) {
        if (length >= kPathMaxLength)
            return false;
        out[length++] = '\\';
    }
    out[length] = 0;
    return true;
}

// ---- Existence ----
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
