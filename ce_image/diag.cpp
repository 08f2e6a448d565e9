#include "diag.h"

#include <cstdarg>
#include <cstdio>

bool DiagFail(Diag *d, const char *format, ...)
{
    if (d) {
        va_list args;
        va_start(args, format);
        vsnprintf(d->text, sizeof d->text, format, args);
        va_end(args);
    }
    return false;
}
