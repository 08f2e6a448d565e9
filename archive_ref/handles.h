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
static const unsigned kHandleKindsFile = HANDLE_KIND_ARCHIVE_FILE | HANDLE_KIND_DISK_FILE;

// A slot's lock is a flag taken with one atomic exchange, so a read of 100
// bytes costs little more than its copy. Threads that find it taken line up
// on the slot's critical section, so at most one of them spins, and only
// while the holder serves one call.
struct HandleSlot {
    LONG volatile busy; // 1 while entered, through the platform's interlocked calls
    CRITICAL_SECTION queue;
    DWORD generation;
    HandleKind kind;
    void *object;
    DWORD nextFree;
};

extern HandleSlot HandleSlots[KVZ_REF_MAX_HANDLES];

// The wait of a thread that found a slot taken.
void HandleWaitForSlot(HandleSlot *slot);

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
// is held. Pair with HandleLeave. Inline: every read passes here.
inline bool HandleEnter(KVZHANDLE handle, unsigned kinds, HandleUse *use)
{
    HandleSlot *slot = &HandleSlots[handle & (KVZ_REF_MAX_HANDLES - 1)];
    if (InterlockedExchange(&slot->busy, 1) != 0)
        HandleWaitForSlot(slot);
    if (slot->generation != handle / KVZ_REF_MAX_HANDLES || (slot->kind & kinds) == 0) {
        InterlockedExchange(&slot->busy, 0);
        return false;
    }
    use->slot = slot;
    use->kind = slot->kind;
    use->object = slot->object;
    return true;
}

inline void HandleLeave(HandleUse *use)
{
    InterlockedExchange(&use->slot->busy, 0);
}

// Sets up the free list; the library entry calls it on load (see RefStartup).
void HandleTableStart(void);

// Frees a live handle whose kind is in kinds and gives its kind and object
// in use (no slot is held) for the caller to release; false when the handle
// is unknown.
bool HandleDetach(KVZHANDLE handle, unsigned kinds, HandleUse *use);

// Frees any one live handle, as HandleDetach; false when none is live. The
// library's unload closes everything with it.
bool HandleDetachAny(HandleUse *use);

#endif
