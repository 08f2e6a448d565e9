// Small helpers for 16-bit text. WCHAR is 16-bit in every build, so the C
// library's wide functions (32-bit wchar_t on POSIX) are never used.
#ifndef KVZ_PROXY_WIDE_TEXT_H
#define KVZ_PROXY_WIDE_TEXT_H

#include "platform/win32.h"

// What the appending and formatting helpers return when the text does not fit.
static const DWORD kNoRoom = (DWORD)-1;

// The terminator of text. Every open of the host looks for the end of its
// name, so the search looks at eight characters per round, and it is inline
// so that the open pays no call for it.
inline const WCHAR *WideEnd(const WCHAR *text)
{
    for (const WCHAR *p = text;; p += 8) {
        if (p[0] == 0)
            return p;
        if (p[1] == 0)
            return p + 1;
        if (p[2] == 0)
            return p + 2;
        if (p[3] == 0)
            return p + 3;
        if (p[4] == 0)
            return p + 4;
        if (p[5] == 0)
            return p + 5;
        if (p[6] == 0)
            return p + 6;
        if (p[7] == 0)
            return p + 7;
    }
}

// Number of characters before the terminator.
inline DWORD WideLength(const WCHAR *text)
{
    return (DWORD)(WideEnd(text) - text);
}

// Index one past the last backslash in path[0..from], or 0 when there is
// none: where the file name of a path ending at or after from starts.
inline DWORD WideFileNameStart(const WCHAR *path, DWORD from)
{
    DWORD i = from;
    while (i > 0 && path[i] != '\\')
        i--;
    return path[i] == '\\' ? i + 1 : 0;
}

// Copies text with its terminator to dest[at..], if it fits in capacity
// characters in all; returns the new length (at + characters copied), or
// kNoRoom when it does not fit, in which case dest is left unchanged.
DWORD WideAppend(WCHAR *dest, DWORD at, DWORD capacity, const WCHAR *text);

// The same for 8-bit text widened one character per byte, each byte taken as
// a signed 8-bit value (so bytes above 0x7F give 0xFF80..0xFFFF).
DWORD WideAppendNarrow(WCHAR *dest, DWORD at, DWORD capacity, const char *text);

// Exact, case-sensitive comparison of two terminated strings.
bool WideEqual(const WCHAR *a, const WCHAR *b);

// Writes format to dest with each "%s" replaced by arg; any other character,
// '%' included, is copied as it is. Always terminates dest (capacity > 0).
// Returns the length written, or kNoRoom when the text was cut to fit.
DWORD WideFormat(WCHAR *dest, DWORD capacity, const WCHAR *format, const WCHAR *arg);

#endif
