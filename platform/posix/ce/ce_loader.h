// The CE image loader, as the POSIX layer's LoadLibrary sees it: a PE DLL
// for Windows CE on ARM, mapped as CE's loader maps it. loader.cpp keeps the
// module record, the references and DllMain; this room the mapped bytes.
#ifndef KVZ_POSIX_CE_CE_LOADER_H
#define KVZ_POSIX_CE_CE_LOADER_H

#include "platform/win32.h"

struct KvzPeModule;

// The file starts with an MZ header whose PE signature is in place.
bool KvzIsPeFile(const char *os_path);

// Maps the image at `os_path`: sections at their RVAs, relocated when not at
// the preferred base (always away from it with KVZ_PE_LOAD_AWAY=1), coredll
// imports bound to the layer's calls, sections protected as they say.
// DllMain is not run. An import not served is named on standard error;
// with `trace` a refusal also names the step that failed. Returns
// ERROR_SUCCESS and the module, or ERROR_BAD_EXE_FORMAT (a damaged image,
// one for another CPU, or one CE's loader would refuse),
// ERROR_OLD_WIN_VERSION (made for a CE later than 4.20), ERROR_PROC_NOT_FOUND
// or ERROR_MOD_NOT_FOUND (an import not served), ERROR_NOT_ENOUGH_MEMORY,
// ERROR_FILE_NOT_FOUND; then nothing stays mapped.
DWORD KvzPeLoad(const char *os_path, bool trace, KvzPeModule **module);
void *KvzPeBase(const KvzPeModule *module);
bool KvzPeRelocated(const KvzPeModule *module);
// The entry point called as DllMain, NULL when the image has none.
FARPROC KvzPeEntry(const KvzPeModule *module);
// An export by name, or by ordinal when `name` is NULL; NULL when missing
// or forwarded.
FARPROC KvzPeExport(const KvzPeModule *module, const char *name, unsigned ordinal);
// Unmaps the image and frees the module.
void KvzPeUnload(KvzPeModule *module);
// Test probe: images mapped now.
unsigned KvzPeMappedCount(void);

#endif
