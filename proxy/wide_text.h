// Small helpers for 16-bit text. WCHAR is 16-bit in every build, so the C
// library's wide functions (32-bit wchar_t on POSIX) are never used.
#ifndef KVZ_PROXY_WIDE_TEXT_H
#define KVZ_PROXY_WIDE_TEXT_H

#include "platform/win32.h"

// Number of characters before the terminator.
DWORD WideLength(const WCHAR *text);

// Copies text with its terminator to dest[at..], if it fits in capacity
// characters in all; returns the new length (at + characters copied), or
// (DWORD)-1 when it does not fit, in which case dest is left unchanged.
DWORD WideAppend(WCHAR *dest, DWORD at, DWORD capacity, const WCHAR *text);

// The same for 8-bit text widened one character per byte, each byte taken as
// a signed 8-bit value (so bytes above 0x7F give 0xFF80..0xFFFF).
DWORD WideAppendNarrow(WCHAR *dest, DWORD at, DWORD capacity, const char *text);

// Exact, case-sensitive comparison of two terminated strings.
bool WideEqual(const WCHAR *a, const WCHAR *b);

// Writes format to dest with each "%s" replaced by arg; any other character,
// '%' included, is copied as it is. Always terminates dest (capacity > 0).
// Returns the length written, or (DWORD)-1 when the text was cut to fit.
DWORD WideFormat(WCHAR *dest, DWORD capacity, const WCHAR *format, const WCHAR *arg);

#endif
