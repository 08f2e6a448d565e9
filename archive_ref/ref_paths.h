// 8-bit path helpers of the reference library. Paths are UTF-8 with the
// backslash as separator; the slash is accepted as one on input, as Windows
// does. Comparison ignores ASCII letter case only.
#ifndef KVZ_REF_PATHS_H
#define KVZ_REF_PATHS_H

#include <stddef.h>

// Longest path, terminator included: the unpacker's path buffers hold 1025
// characters. Tests may shrink it with -D to reach the edge cheaply.
#ifndef KVZ_REF_PATH_MAX
#define KVZ_REF_PATH_MAX 1025
#endif

// c with A-Z taken as a-z; every other byte as it is.
inline char RefLowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

// Copies src with its terminator into dest if it fits in capacity bytes;
// returns the length copied, or (size_t)-1 with dest left empty when it does
// not fit.
size_t RefCopy(char *dest, size_t capacity, const char *src);

// Writes the lexical normal form of path into out: separators become single
// backslashes, "." components go, ".." removes the component before it (a
// leading ".." of a relative path stays; one at the root is dropped), no
// trailing backslash except after a root ("\", "X:\"; a network path keeps
// its leading "\\"). An empty relative
// path becomes ".". Returns the length, or (size_t)-1 when the result does not
// fit in capacity bytes or path is empty.
size_t RefNormalisePath(const char *path, char *out, size_t capacity);

// True when a[0..length) equals b[0..length) ignoring ASCII letter case.
bool RefSameNoCase(const char *a, const char *b, size_t length);

// If the normal-form path is dir itself or lies below it, returns the rest of
// path after dir and its separator ("" for dir itself); NULL otherwise.
const char *RefPathBelow(const char *path, const char *dir, size_t dir_length);

// Splits a search pattern "dir\name" at its last separator: the directory
// (normal form, "." when there is none) goes to dir, the last component is
// returned, pointing into pattern. NULL when dir does not fit.
const char *RefSplitPattern(const char *pattern, char *dir, size_t capacity);

// Wildcard match ignoring ASCII case: '*' any run, '?' one character; "*.*"
// matches every name, as on Windows.
bool RefWildcardMatch(const char *pattern, const char *name);

#endif
