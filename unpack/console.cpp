// Console output of kvz_unpack; see console.h.
#include "unpack/console.h"

#include <stdio.h>

void PrintText(const char *text)
{
    fputs(text, stdout);
}

void PrintChars(const char *text, size_t count)
{
    fwrite(text, 1, count, stdout);
}

void PrintChar(char c)
{
    putchar(c);
}

void PrintSigned(long value)
{
    printf("%ld", value);
}

void PrintUnsigned(uint32_t value)
{
    printf("%lu", (unsigned long)value);
}

void PrintLineEnd(void)
{
    putchar('\n');
    fflush(stdout);
}

void PrintLine(const char *text)
{
    PrintText(text);
    PrintLineEnd();
}
