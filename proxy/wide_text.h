// Small helpers for 16-bit text. WCHAR is 16-bit in every build, so the C
// library's wide functions (32-bit wchar_t on POSIX) are never used.
#ifndef KVZ_PROXY_WIDE_TEXT_H
#define KVZ_PROXY_WIDE_TEXT_H

#include "platform/win32.h"

// What the appending and formatting helpers return when the text does not fit.
static const DWORD kNoRoom = (DWORD)-1;

// Number of characters before the terminator. Every open of the host counts
// its name, so the count looks at eight characters per round, and it is
// inline so that the open pays no call for it.
inline DWORD WideLength(const WCHAR *text)
{
    const WCHAR *p = text;
    for (;; p += 8) {
        if (p[0] == 0)
            return (DWORD)(p - text);
        if (p[1] == 0)
            return (DWORD)(p + 1 - text);
        if (p[2] == 0)
            return (DWORD)(p + 2 - text);
        if (p[3] == 0)
            return (DWORD)(p + 3 - text);
        if (p[4] == 0)
            return (DWORD)(p + 4 - text);
        if (p[5] == 0)
            return (DWORD)(p + 5 - text);
        if (p[6] == 0)
            return (DWORD)(p + 6 - text);
        if (p[7] == 0)
            return (DWORD)(p + 7 - text);
    }
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
