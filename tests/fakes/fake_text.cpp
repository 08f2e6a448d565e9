// UTF-8 <-> UTF-16 without the C library's wide calls, whose wchar_t is not
// 16-bit everywhere.
#include "tests/fakes/fake_text.h"

static const uint32_t kReplacement = 0xFFFD;

/* ---- UTF-8 decoding ---- */

// Length of the sequence a lead byte starts, 0 for a byte that cannot lead.
static int SequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Decodes one code point at *in and advances past it; malformed input gives
// the replacement character and advances by one byte.
static uint32_t DecodeUtf8(const unsigned char **in)
{
    const unsigned char *p = *in;
    int length = SequenceLength(p[0]);
    if (length == 1) {
        *in = p + 1;
        return p[0];
    }
    *in = p + 1;
    if (length == 0)
        return kReplacement;
    uint32_t code = p[0] & (0x7F >> length);
    for (int i = 1; i < length; i++) {
        if ((p[i] & 0xC0) != 0x80)
            return kReplacement;
        code = (code << 6) | (p[i] & 0x3F);
    }
    static const uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return kReplacement;
    *in = p + length;
    return code;
}

int FakeUtf8ToWide(const char *in, WCHAR *out, size_t room)
{
    if (room == 0)
        return -1;
    const unsigned char *p = (const unsigned char *)in;
    size_t used = 0;
    while (*p != 0) {
        uint32_t code = DecodeUtf8(&p);
        size_t units = code >= 0x10000 ? 2 : 1;
        if (room - used <= units) {
            out[0] = 0;
            return -1;
        }
        if (units == 2) {
            code -= 0x10000;
            out[used++] = (WCHAR)(0xD800 | (code >> 10));
            out[used++] = (WCHAR)(0xDC00 | (code & 0x3FF));
        } else {
            out[used++] = (WCHAR)code;
        }
    }
    out[used] = 0;
    return (int)used;
}

/* ---- UTF-16 decoding ---- */

static uint32_t DecodeUtf16(const WCHAR **in)
{
    const WCHAR *p = *in;
    uint32_t first = p[0];
    *in = p + 1;
    if (first < 0xD800 || first > 0xDFFF)
        return first;
    if (first >= 0xDC00 || p[1] < 0xDC00 || p[1] > 0xDFFF)
        return kReplacement;
    *in = p + 2;
    return 0x10000 + ((first - 0xD800) << 10) + (p[1] - 0xDC00);
}

static size_t EncodeUtf8(uint32_t code, char *out)
{
    if (code < 0x80) {
        out[0] = (char)code;
        return 1;
    }
    if (code < 0x800) {
        out[0] = (char)(0xC0 | (code >> 6));
        out[1] = (char)(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = (char)(0xE0 | (code >> 12));
        out[1] = (char)(0x80 | ((code >> 6) & 0x3F));
        out[2] = (char)(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = (char)(0xF0 | (code >> 18));
    out[1] = (char)(0x80 | ((code >> 12) & 0x3F));
    out[2] = (char)(0x80 | ((code >> 6) & 0x3F));
    out[3] = (char)(0x80 | (code & 0x3F));
    return 4;
}

int FakeWideToUtf8(const WCHAR *in, char *out, size_t room)
{
    if (room == 0)
        return -1;
    size_t used = 0;
    while (*in != 0) {
        char bytes[4];
        size_t length = EncodeUtf8(DecodeUtf16(&in), bytes);
        if (room - used <= length) {
            out[0] = 0;
            return -1;
        }
        for (size_t i = 0; i < length; i++)
            out[used++] = bytes[i];
    }
    out[used] = 0;
    return (int)used;
}

/* ---- Plain 16-bit strings ---- */

size_t FakeWideLength(const WCHAR *text, size_t max)
{
    size_t n = 0;
    while (n < max && text[n] != 0)
        n++;
    return n;
}

int FakeWideCopy(WCHAR *out, size_t room, const WCHAR *text)
{
    if (room == 0)
        return 0;
    size_t n = 0;
    if (text != NULL)
        for (; n + 1 < room && text[n] != 0; n++)
            out[n] = text[n];
    out[n] = 0;
    return text == NULL || text[n] == 0;
}

int FakeWideEqual(const WCHAR *a, const WCHAR *b)
{
    size_t i = 0;
    for (; a[i] != 0 && a[i] == b[i]; i++) {
    }
    return a[i] == b[i];
}
