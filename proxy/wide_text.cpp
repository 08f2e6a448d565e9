// 16-bit text helpers; see wide_text.h.
#include "proxy/wide_text.h"

#include <string.h>

DWORD WideAppend(WCHAR *dest, DWORD at, DWORD capacity, const WCHAR *text)
{
    DWORD n = WideLength(text);
    if (at >= capacity || n >= capacity - at)
        return kNoRoom;
    for (DWORD i = 0; i <= n; i++)
        dest[at + i] = text[i];
    return at + n;
}

// A byte is widened as a signed 8-bit value whatever the compiler's plain
// char is, so 0x80..0xFF always give 0xFF80..0xFFFF.
static WCHAR WidenByte(char b)
{
    return (WCHAR)(signed char)b;
}

DWORD WideAppendNarrow(WCHAR *dest, DWORD at, DWORD capacity, const char *text)
{
    DWORD n = (DWORD)strlen(text);
    if (at >= capacity || n >= capacity - at)
        return kNoRoom;
    for (DWORD i = 0; i < n; i++)
        dest[at + i] = WidenByte(text[i]);
    dest[at + n] = 0;
    return at + n;
}

bool WideEqual(const WCHAR *a, const WCHAR *b)
{
    DWORD i = 0;
    while (a[i] != 0 && a[i] == b[i])
        i++;
    return a[i] == b[i];
}

DWORD WideFormat(WCHAR *dest, DWORD capacity, const WCHAR *format, const WCHAR *arg)
{
    DWORD at = 0;
    for (DWORD i = 0; format[i] != 0; i++) {
        bool is_arg = format[i] == '%' && format[i + 1] == 's';
        const WCHAR *piece = is_arg ? arg : &format[i];
        DWORD count = is_arg ? WideLength(arg) : 1;
        for (DWORD k = 0; k < count; k++) {
            if (at + 1 >= capacity) {
                dest[at] = 0;
                return kNoRoom;
            }
            dest[at++] = piece[k];
        }
        if (is_arg)
            i++;
    }
    dest[at] = 0;
    return at;
}
