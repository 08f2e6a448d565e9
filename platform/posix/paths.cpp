// Path and text conversion between the kit (backslashes, UTF-16) and the OS
// (slashes, UTF-8), and the Windows error codes for failed path calls.
#include "platform/posix/posix_internal.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

bool KvzCopyText(char *out, size_t size, const char *text)
{
    if (size == 0)
        return false;
    size_t n = strlen(text);
    bool fits = n < size;
    if (!fits)
        n = size - 1;
    memcpy(out, text, n);
    out[n] = 0;
    return fits;
}

static bool ReplaceSeparator(const char *in, char *out, size_t size, char from, char to)
{
    size_t i = 0;
    for (; in[i] != 0; i++) {
        if (i + 1 >= size) {
            out[0] = 0;
            return false;
        }
        out[i] = in[i] == from ? to : in[i];
    }
    if (size == 0)
        return false;
    out[i] = 0;
    return true;
}

bool KvzPathToOs(const char *path, char *out, size_t size)
{
    return ReplaceSeparator(path, out, size, '\\', '/');
}

bool KvzOsToPath(const char *os_path, char *out, size_t size)
{
    return ReplaceSeparator(os_path, out, size, '/', '\\');
}

// ---- UTF-16 <-> UTF-8 ----

// Reads one code point from UTF-16 text; 0 at the end, -1 for a lone surrogate.
static long NextWideCodePoint(const WCHAR **text)
{
    unsigned unit = (*text)[0];
    if (unit == 0)
        return 0;
    (*text)++;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        unsigned low = (*text)[0];
        if (low < 0xDC00 || low > 0xDFFF)
            return -1;
        (*text)++;
        return 0x10000 + ((long)(unit - 0xD800) << 10) + (low - 0xDC00);
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF)
        return -1;
    return (long)unit;
}

static size_t EncodeUtf8(long cp, char *bytes)
{
    if (cp < 0x80) {
        bytes[0] = (char)cp;
        return 1;
    }
    if (cp < 0x800) {
        bytes[0] = (char)(0xC0 | (cp >> 6));
        bytes[1] = (char)(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        bytes[0] = (char)(0xE0 | (cp >> 12));
        bytes[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = (char)(0x80 | (cp & 0x3F));
        return 3;
    }
    bytes[0] = (char)(0xF0 | (cp >> 18));
    bytes[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
    bytes[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
    bytes[3] = (char)(0x80 | (cp & 0x3F));
    return 4;
}

bool KvzWideToUtf8(const WCHAR *text, char *out, size_t size)
{
    size_t used = 0;
    if (size == 0)
        return false;
    out[0] = 0;
    for (;;) {
        long cp = NextWideCodePoint(&text);
        if (cp == 0)
            break;
        if (cp < 0) {
            out[0] = 0;
            return false;
        }
        char bytes[4];
        size_t n = EncodeUtf8(cp, bytes);
        if (used + n + 1 > size) {
            out[0] = 0;
            return false;
        }
        memcpy(out + used, bytes, n);
        used += n;
    }
    out[used] = 0;
    return true;
}

// The smallest code point each count of continuation bytes may encode: a
// smaller one is an overlong form.
static const long kSmallestOfLength[4] = {0, 0x80, 0x800, 0x10000};

// Reads one code point from UTF-8 text; 0 at the end, -1 when malformed.
static long NextUtf8CodePoint(const unsigned char **text)
{
    const unsigned char *s = *text;
    if (s[0] == 0)
        return 0;
    if (s[0] < 0x80) {
        *text = s + 1;
        return s[0];
    }
    int extra = (s[0] & 0xE0) == 0xC0   ? 1
                : (s[0] & 0xF0) == 0xE0 ? 2
                : (s[0] & 0xF8) == 0xF0 ? 3
                                        : -1;
    if (extra < 0)
        return -1;
    long cp = s[0] & (0x3F >> extra);
    for (int i = 1; i <= extra; i++) {
        if ((s[i] & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < kSmallestOfLength[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    *text = s + extra + 1;
    return cp;
}

bool KvzUtf8ToWide(const char *text, WCHAR *out, size_t count)
{
    const unsigned char *s = (const unsigned char *)text;
    size_t used = 0;
    if (count == 0)
        return false;
    out[0] = 0;
    for (;;) {
        long cp = NextUtf8CodePoint(&s);
        if (cp == 0)
            break;
        size_t units = cp >= 0x10000 ? 2 : 1;
        if (cp < 0 || used + units + 1 > count) {
            out[0] = 0;
            return false;
        }
        if (units == 2) {
            cp -= 0x10000;
            out[used++] = (WCHAR)(0xD800 + (cp >> 10));
            out[used++] = (WCHAR)(0xDC00 + (cp & 0x3FF));
        } else {
            out[used++] = (WCHAR)cp;
        }
    }
    out[used] = 0;
    return true;
}

bool KvzWidePathToOs(const WCHAR *path, char *out, size_t size)
{
    if (!KvzWideToUtf8(path, out, size))
        return false;
    for (char *p = out; *p != 0; p++) {
        if (*p == '\\')
            *p = '/';
    }
    return true;
}

// ---- Error codes ----

static bool ParentIsDirectory(const char *os_path)
{
    char parent[kOsPathMax];
    if (!KvzCopyText(parent, sizeof parent, os_path))
        return false;
    size_t n = strlen(parent);
    while (n > 1 && parent[n - 1] == '/')
        parent[--n] = 0;
    char *slash = strrchr(parent, '/');
    if (slash == NULL)
        return true; // relative name: its parent is the current directory
    if (slash == parent)
        slash[1] = 0;
    else
        slash[0] = 0;
    struct stat st;
    return stat(parent, &st) == 0 && S_ISDIR(st.st_mode);
}

DWORD KvzErrorFromErrno(int err)
{
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

DWORD KvzErrorForPath(int err, const char *os_path)
{
    if (err == ENOENT || err == ENOTDIR)
        return ParentIsDirectory(os_path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    return KvzErrorFromErrno(err);
}

// ---- Program arguments ----

void KvzArgToPath(char *arg)
{
    for (; *arg != 0; arg++) {
        if (*arg == '/')
            *arg = '\\';
    }
}
