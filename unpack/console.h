// Console output of kvz_unpack: 8-bit text on standard output. Every line end
// is a newline followed by a flush, so a caller piping the output sees each
// line as soon as it is complete.
#ifndef KVZ_UNPACK_CONSOLE_H
#define KVZ_UNPACK_CONSOLE_H

#include <stddef.h>
#include <stdint.h>

// Writes a zero-terminated text, no line end.
void PrintText(const char *text);
// Writes exactly count characters of text (which need not be terminated).
void PrintChars(const char *text, size_t count);
// Writes one character.
void PrintChar(char c);
// Writes a number in decimal, without leading blanks or zeros.
void PrintSigned(long value);
void PrintUnsigned(uint32_t value);
// Ends the line: newline, then flush.
void PrintLineEnd(void);
// PrintText(text), then PrintLineEnd().
void PrintLine(const char *text);

#endif
