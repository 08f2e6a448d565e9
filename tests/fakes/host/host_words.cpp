// Splitting command lines, reading numbers, and the checksum of data read.
#include "tests/fakes/host/host_words.h"

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

/* ---- Words ---- */

// Cuts the word starting at p (no leading blank) and returns the position
// after it, or null for a malformed quote.
static char *CutWord(char *p, char **word)
{
    if (*p != '"') {
        *word = p;
        while (*p != 0 && !IsBlank(*p))
            p++;
        if (*p != 0)
            *p++ = 0;
        return p;
    }
    *word = ++p;
    while (*p != 0 && *p != '"')
        p++;
    if (*p == 0)
        return NULL;
    *p++ = 0;
    if (*p != 0 && !IsBlank(*p))
        return NULL;
    return p;
}

int HostSplitWords(char *line, char **words, int max)
{
    int count = 0;
    char *p = line;
    for (;;) {
        while (IsBlank(*p))
            p++;
        if (*p == 0)
            return count;
        if (count == max)
            return -1;
        p = CutWord(p, &words[count]);
        if (p == NULL)
            return -1;
        count++;
    }
}

/* ---- Numbers ---- */

static int DigitValue(char c, unsigned base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v >= 0 && (unsigned)v < base ? v : -1;
}

int HostParseNumber(const char *text, DWORD *value)
{
    int negative = text[0] == '-';
    if (negative)
        text++;
    unsigned base = 10;
    if (!negative && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == 0)
        return 0;
    uint64_t v = 0;
    for (; *text != 0; text++) {
        int digit = DigitValue(*text, base);
        if (digit < 0)
            return 0;
        v = v * base + (unsigned)digit;
        if (v > (negative ? 0x80000000u : 0xFFFFFFFFu))
            return 0;
    }
    *value = negative ? (DWORD)(0u - (uint32_t)v) : (DWORD)v;
    return 1;
}

/* ---- Checksum ---- */

static DWORD g_crc_table[256];
static int g_crc_ready;

static void BuildCrcTable(void)
{
    for (DWORD n = 0; n < 256; n++) {
        DWORD c = n;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        g_crc_table[n] = c;
    }
    g_crc_ready = 1;
}

DWORD HostCrc32(DWORD crc, const void *data, size_t size)
{
    if (!g_crc_ready)
        BuildCrcTable();
    const unsigned char *p = (const unsigned char *)data;
    crc = ~crc;
    for (size_t i = 0; i < size; i++)
        crc = g_crc_table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
