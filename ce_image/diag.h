// Failure messages of the image writer. Every function that can fail
// returns false and leaves one line in a Diag naming the symbol, section or
// relocation at fault.
#ifndef KVZ_CE_IMAGE_DIAG_H
#define KVZ_CE_IMAGE_DIAG_H

#include <cstddef>

static const size_t kDiagTextSize = 512; // one line; long symbol names are cut, never overrun

struct Diag {
    char text[kDiagTextSize];
};

// Formats the message into d (when d is not null) and returns false.
bool DiagFail(Diag *d, const char *format, ...) __attribute__((format(printf, 2, 3)));

#endif
