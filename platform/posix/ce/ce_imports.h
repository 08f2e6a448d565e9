// The coredll.dll calls the layer serves to CE images, by name.
#ifndef KVZ_POSIX_CE_CE_IMPORTS_H
#define KVZ_POSIX_CE_CE_IMPORTS_H

#include "platform/win32.h"

// The layer's function serving coredll's export `name`, NULL when none does.
FARPROC KvzCeImport(const char *name);
// The names served, one per index, NULL past the last.
const char *KvzCeImportName(unsigned index);

#endif
