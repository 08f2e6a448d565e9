// Setting the library up on load, and taking its objects down where that
// reaches across mounts, open files and searches: an unmount, and the unload
// that closes everything.
// Above every other part of the core, so the calls run one way.
#ifndef KVZ_REF_TEARDOWN_H
#define KVZ_REF_TEARDOWN_H

#include "platform/win32.h"

// KVZ_UnMount (any path form): 1, or 0 with ERROR_PATH_NOT_FOUND when the
// directory holds no mount. Frees the spare records of closed entries too:
// the open and close loop over that archive is over.
DWORD RefUnMount(const char *dir);

// Sets up the library lock and the handle table: the library is being loaded.
// No static constructor does it, since the handheld's image has none to run.
void RefStartup(void);

// Closes every handle and unmounts everything: the library is being unloaded.
void RefShutdown(void);

#endif
