// MessageBoxW as one line on standard error; a Yes/No box reads its answer
// from standard input.
#include "platform/posix/posix_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// UTF-8 of `text` with line feeds and carriage returns written as \n and \r,
// so the box stays one line. Malformed UTF-16 becomes '?'. Heap, or NULL.
static char *EscapedUtf8(LPCWSTR text)
{
    size_t units = 0;
    while (text != NULL && text[units] != 0)
        units++;
    char *out = (char *)malloc(units * 3 + 1); // 3 bytes covers any unit, pair or escape
    if (out == NULL)
        return NULL;
    size_t used = 0;
    for (size_t i = 0; i < units; i++) {
        WCHAR one[3] = {text[i], 0, 0};
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < units)
            one[1] = text[++i];
        char bytes[8];
        if (one[0] == '\n' || one[0] == '\r') {
            bytes[0] = '\\';
            bytes[1] = one[0] == '\n' ? 'n' : 'r';
            bytes[2] = 0;
        } else if (!KvzWideToUtf8(one, bytes, sizeof bytes)) {
            bytes[0] = '?';
            bytes[1] = 0;
        }
        size_t n = strlen(bytes);
        memcpy(out + used, bytes, n);
        used += n;
    }
    out[used] = 0;
    return out;
}

static int ReadYesNoAnswer(void)
{
    char line[256];
    if (fgets(line, sizeof line, stdin) == NULL)
        return 0;
    if (strchr(line, '\n') == NULL) { // drop the rest of a long line
        int c;
        while ((c = getchar()) != EOF && c != '\n') {
        }
    }
    switch (line[0]) {
    case 'j':
    case 'J':
    case 'y':
    case 'Y':
        return IDYES;
    case 'n':
    case 'N':
        return IDNO;
    default:
        return 0;
    }
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT flags)
{
    char *text_utf8 = EscapedUtf8(text);
    char *caption_utf8 = EscapedUtf8(caption);
    if (text_utf8 == NULL || caption_utf8 == NULL) {
        free(text_utf8);
        free(caption_utf8);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    fflush(stdout);
    flockfile(stderr); // one line, even when threads show boxes at once
    fprintf(stderr, "MessageBox: caption=\"%s\" flags=0x%x text=\"%s\"\n", caption_utf8,
            (unsigned)flags, text_utf8);
    fflush(stderr);
    funlockfile(stderr);
    free(text_utf8);
    free(caption_utf8);
    if ((flags & 0xF) == MB_YESNO)
        return ReadYesNoAnswer();
    return IDOK;
}
