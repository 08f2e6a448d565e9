// Command words of the host application: splitting a command line into
// words and reading numbers.
#ifndef KVZ_HOST_WORDS_H
#define KVZ_HOST_WORDS_H

#include "platform/win32.h"

// The longest command, mount, has five words; room for a few more to report.
#define KVZ_HOST_MAX_WORDS 8

// Splits line in place into words separated by blanks (space or tab); a word
// in double quotes may hold blanks, and its quotes are removed. Stores up to
// max pointers into line. Returns the number of words, or -1 when a quote is
// not closed, a closing quote is followed by something other than a blank, or
// there are more than max words.
int HostSplitWords(char *line, char **words, int max);

// Reads a 32-bit number: decimal (0 to 4294967295), 0x hexadecimal, or a
// negative decimal down to -2147483648, taken as its two's complement (so -1
// is all-ones). Returns 1 and stores *value on success, 0 otherwise.
int HostParseNumber(const char *text, DWORD *value);

// CRC-32 (the zlib / PNG polynomial) of size bytes, continuing from crc; start
// with 0.
DWORD HostCrc32(DWORD crc, const void *data, size_t size);

#endif
