// Conversions between the handheld flavour's 16-bit paths and the core's
// UTF-8. Both refuse malformed input rather than guess: an unpaired
// surrogate or an invalid UTF-8 sequence names no file the library knows.
#ifndef KVZ_REF_UTF_TEXT_H
#define KVZ_REF_UTF_TEXT_H

#include "platform/win32.h"

#include <stddef.h>

// Converts terminated UTF-16 text to terminated UTF-8 in dest. Returns the
// length in bytes, or (size_t)-1 when the text is malformed or the result
// does not fit in capacity bytes (dest is then left empty).
size_t Utf16ToUtf8(const WCHAR *text, char *dest, size_t capacity);

// Converts terminated UTF-8 text to terminated UTF-16 in dest. Returns the
// length in 16-bit units, or (size_t)-1 as above.
size_t Utf8ToUtf16(const char *text, WCHAR *dest, size_t capacity);

// Length in bytes of the valid UTF-8 sequence at text (1 to 4), or 0 when the
// bytes there are not one (overlong forms and surrogates included). The code
// point goes to *code.
size_t Utf8Decode(const unsigned char *text, size_t available, unsigned long *code);

#endif
