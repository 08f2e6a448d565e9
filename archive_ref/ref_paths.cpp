// 8-bit path helpers: bounded copy, normal form, prefix and wildcard tests.
#include "archive_ref/ref_paths.h"

#include <string.h>

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

size_t RefCopy(char *dest, size_t capacity, const char *src)
{
    size_t length = strlen(src);
    if (capacity == 0)
        return (size_t)-1;
    if (length >= capacity) {
        dest[0] = 0;
        return (size_t)-1;
    }
    memcpy(dest, src, length + 1);
    return length;
}

// Length of the root at the start of path: "X:\" 3, "X:" 2, the "\\" of a
// network path 2, "\" 1, else 0.
static size_t RootLength(const char *path)
{
    if (path[0] != 0 && path[1] == ':')
        return IsSeparator(path[2]) ? 3 : 2;
    if (IsSeparator(path[0]))
        return IsSeparator(path[1]) ? 2 : 1;
    return 0;
}

// Removes the last component of out[root..length), unless it is "..".
// Returns the new length, or length itself when nothing could be removed.
static size_t DropLastComponent(const char *out, size_t root, size_t length)
{
    if (length == root)
        return length;
    size_t start = length;
    while (start > root && out[start - 1] != '\\')
        start--;
    if (length - start == 2 && out[start] == '.' && out[start + 1] == '.')
        return length;
    return start > root ? start - 1 : root;
}

size_t RefNormalisePath(const char *path, char *out, size_t capacity)
{
    if (path[0] == 0 || capacity < 2)
        return (size_t)-1;
    size_t root = RootLength(path);
    if (root >= capacity)
        return (size_t)-1;
    for (size_t i = 0; i < root; i++)
        out[i] = IsSeparator(path[i]) ? '\\' : path[i];
    size_t length = root;
    const char *p = path + root;
    while (*p != 0) {
        while (IsSeparator(*p))
            p++;
        const char *start = p;
        while (*p != 0 && !IsSeparator(*p))
            p++;
        size_t part = (size_t)(p - start);
        if (part == 0 || (part == 1 && start[0] == '.'))
            continue;
        if (part == 2 && start[0] == '.' && start[1] == '.') {
            size_t shorter = DropLastComponent(out, root, length);
            if (shorter != length || root != 0) {
                length = shorter;
                continue;
            }
        }
        size_t need = part + (length > root ? 1 : 0);
        if (length + need + 1 > capacity)
            return (size_t)-1;
        if (length > root)
            out[length++] = '\\';
        memcpy(out + length, start, part);
        length += part;
    }
    if (length == 0)
        out[length++] = '.';
    out[length] = 0;
    return length;
}

bool RefSameNoCase(const char *a, const char *b, size_t length)
{
    for (size_t i = 0; i < length; i++)
        if (RefLowerAscii(a[i]) != RefLowerAscii(b[i]))
            return false;
    return true;
}

const char *RefPathBelow(const char *path, const char *dir, size_t dir_length)
{
    if (strlen(path) < dir_length || !RefSameNoCase(path, dir, dir_length))
        return NULL;
    const char *rest = path + dir_length;
    if (*rest == 0)
        return rest;
    if (dir_length > 0 && dir[dir_length - 1] == '\\')
        return rest;
    return *rest == '\\' ? rest + 1 : NULL;
}

const char *RefSplitPattern(const char *pattern, char *dir, size_t capacity)
{
    const char *name = pattern;
    for (const char *p = pattern; *p != 0; p++)
        if (IsSeparator(*p) || (*p == ':' && p == pattern + 1))
            name = p + 1;
    size_t dir_length = (size_t)(name - pattern);
    if (dir_length == 0)
        return RefCopy(dir, capacity, ".") == (size_t)-1 ? NULL : name;
    if (dir_length >= capacity)
        return NULL;
    char raw[KVZ_REF_PATH_MAX];
    if (dir_length >= sizeof raw)
        return NULL;
    memcpy(raw, pattern, dir_length);
    raw[dir_length] = 0;
    return RefNormalisePath(raw, dir, capacity) == (size_t)-1 ? NULL : name;
}

bool RefWildcardMatch(const char *pattern, const char *name)
{
    if (strcmp(pattern, "*.*") == 0)
        return true;
    // Iterative match with one backtrack point: the last '*' seen.
    const char *star = NULL;
    const char *resume = NULL;
    while (*name != 0) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' ||
                   (*pattern != 0 && RefLowerAscii(*pattern) == RefLowerAscii(*name))) {
            pattern++;
            name++;
        } else if (star != NULL) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == 0;
}
