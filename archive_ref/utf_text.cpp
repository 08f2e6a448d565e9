// UTF-8 <-> UTF-16 for the handheld flavour's paths.
#include "archive_ref/utf_text.h"

#include <string.h>

size_t Utf8Decode(const unsigned char *text, size_t available, unsigned long *code)
{
    static const unsigned long kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (available == 0)
        return 0;
    unsigned char lead = text[0];
    size_t length;
    unsigned long value;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (available < length)
        return 0;
    for (size_t i = 1; i < length; i++) {
        if ((text[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (text[i] & 0x3F);
    }
    if (value < kMinimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *code = value;
    return length;
}

static size_t Refuse(char *dest)
{
    dest[0] = 0;
    return (size_t)-1;
}

// Appends the UTF-8 form of code; false when it does not fit with a terminator.
static bool PutUtf8(unsigned long code, char *dest, size_t capacity, size_t *at)
{
    unsigned char bytes[4];
    size_t n;
    if (code < 0x80) {
        bytes[0] = (unsigned char)code;
        n = 1;
    } else if (code < 0x800) {
        bytes[0] = (unsigned char)(0xC0 | (code >> 6));
        bytes[1] = (unsigned char)(0x80 | (code & 0x3F));
        n = 2;
    } else if (code < 0x10000) {
        bytes[0] = (unsigned char)(0xE0 | (code >> 12));
        bytes[1] = (unsigned char)(0x80 | ((code >> 6) & 0x3F));
        bytes[2] = (unsigned char)(0x80 | (code & 0x3F));
        n = 3;
    } else {
        bytes[0] = (unsigned char)(0xF0 | (code >> 18));
        bytes[1] = (unsigned char)(0x80 | ((code >> 12) & 0x3F));
        bytes[2] = (unsigned char)(0x80 | ((code >> 6) & 0x3F));
        bytes[3] = (unsigned char)(0x80 | (code & 0x3F));
        n = 4;
    }
    if (*at + n + 1 > capacity)
        return false;
    memcpy(dest + *at, bytes, n);
    *at += n;
    return true;
}

size_t Utf16ToUtf8(const WCHAR *text, char *dest, size_t capacity)
{
    if (capacity == 0)
        return (size_t)-1;
    size_t at = 0;
    for (size_t i = 0; text[i] != 0; i++) {
        unsigned long code = (unsigned long)(unsigned short)text[i];
        if (code >= 0xDC00 && code <= 0xDFFF)
            return Refuse(dest);
        if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned long low = (unsigned long)(unsigned short)text[i + 1];
            if (low < 0xDC00 || low > 0xDFFF)
                return Refuse(dest);
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i++;
        }
        if (!PutUtf8(code, dest, capacity, &at))
            return Refuse(dest);
    }
    dest[at] = 0;
    return at;
}

size_t Utf8ToUtf16(const char *text, WCHAR *dest, size_t capacity)
{
    const unsigned char *p = (const unsigned char *)text;
    size_t remaining = strlen(text);
    size_t at = 0;
    while (remaining > 0) {
        unsigned long code = 0;
        size_t used = Utf8Decode(p, remaining, &code);
        size_t units = code >= 0x10000 ? 2 : 1;
        if (used == 0 || at + units + 1 > capacity) {
            if (capacity > 0)
                dest[0] = 0;
            return (size_t)-1;
        }
        if (units == 2) {
            dest[at++] = (WCHAR)(0xD800 + ((code - 0x10000) >> 10));
            dest[at++] = (WCHAR)(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            dest[at++] = (WCHAR)code;
        }
        p += used;
        remaining -= used;
    }
    if (capacity == 0)
        return (size_t)-1;
    dest[at] = 0;
    return at;
}
