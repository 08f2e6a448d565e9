// The handle table: 32-bit handles for open files and searches, made of a
// slot index and the slot's generation, so a closed handle never names the
// slot's next occupant. Never 0, never all-ones, never a pointer.
//
// Each slot has its own lock; a handle's object is only used while its slot
// is entered, so a close from another thread waits for a running read and
// the object is never used after it is freed.
#ifndef KVZ_REF_HANDLES_H
#define KVZ_REF_HANDLES_H

#include "archive_api/kvz_api.h"

// Open files and searches at once. The unpacker holds one search per
// directory level and one file; 1024 leaves room for any real caller. A
// power of two, so a handle splits into slot and generation with a mask.
#ifndef KVZ_REF_MAX_HANDLES
#define KVZ_REF_MAX_HANDLES 1024u
#endif

enum HandleKind {
    HANDLE_KIND_FREE = 0,
    HANDLE_KIND_ARCHIVE_FILE = 1, // an entry of a mounted archive
    HANDLE_KIND_DISK_FILE = 2,    // a real file; the object is its platform HANDLE
    HANDLE_KIND_SEARCH = 4,
};
#define HANDLE_KINDS_FILE (HANDLE_KIND_ARCHIVE_FILE | HANDLE_KIND_DISK_FILE)

struct HandleSlot;

// Prepares every slot; called once when the library starts.
void HandleTableStart(void);

// Stores object under a new handle; KVZ_INVALID_HANDLE when the table is full.
KVZHANDLE HandleAttach(HandleKind kind, void *object);

// A handle's slot while it is entered: its kind and object.
struct HandleUse {
    HandleSlot *slot;
    HandleKind kind;
    void *object;
};

// Enters the slot of a live handle whose kind is in kinds and fills use;
// false for an unknown, closed or other-kind handle, in which case nothing
// is held. Pair with HandleLeave.
bool HandleEnter(KVZHANDLE handle, unsigned kinds, HandleUse *use);
void HandleLeave(HandleUse *use);

// Frees a live handle whose kind is in kinds and gives its kind and object
// in use (no slot is held) for the caller to release; false when the handle
// is unknown.
bool HandleDetach(KVZHANDLE handle, unsigned kinds, HandleUse *use);

// Frees any one live handle, as HandleDetach; false when none is live. The
// library's unload closes everything with it.
bool HandleDetachAny(HandleUse *use);

#endif
