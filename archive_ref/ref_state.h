// Process-wide state of the reference library: the one library lock, the
// per-thread last error, the cache settings and the version.
#ifndef KVZ_REF_STATE_H
#define KVZ_REF_STATE_H

#include "archive_api/kvz_api.h"

// The value KVZ_SupportVersion answers: 1.0.
static const DWORD kRefVersion = 0x00010000u;

// Archive reads go through a buffer of the cache block size per open entry,
// clamped to these bounds; the cache size is stored and answered only.
static const DWORD kDefaultBlockSize = 0x10000u; // 64 KiB: one read per 655 reads of 100 bytes
static const DWORD kMinBlockSize = 512u;
static const DWORD kMaxBlockSize = 0x400000u; // 4 MiB: bounds memory per open handle
static const DWORD kDefaultCacheSize = 0x100000u;

// Archive error codes beside the platform's.
static const DWORD kErrorBadArchive = 13; // ERROR_INVALID_DATA: the archive is not one we serve
static const DWORD kErrorTooManyOpen = 4; // ERROR_TOO_MANY_OPEN_FILES: handle table full

// Sets up the library lock; the library entry calls it on load (see
// RefStartup), before any entry point can be called.
void RefStateStart(void);

// The library lock: covers the mount list and the handle table's free list.
void RefLock(void);
void RefUnlock(void);

// The calling thread's last error, as KVZ_GetLastError answers it: the
// platform's own, which is kept per thread, so callers reading either see
// the cause.
void RefSetError(DWORD code);
DWORD RefGetError(void);

// Cache settings: each setter answers the previous value.
DWORD RefSetCacheBlockSize(DWORD size);
DWORD RefGetCacheBlockSize(void);
DWORD RefSetCacheSize(DWORD size);
DWORD RefGetCacheSize(void);

// The block size clamped to the bounds above: the buffer of one open entry.
DWORD RefReadBufferSize(void);

#endif
