// Slot table behind the library's 32-bit handles.
#include "archive_ref/handles.h"

#include "archive_ref/ref_state.h"

#include <atomic>

static_assert((KVZ_REF_MAX_HANDLES & (KVZ_REF_MAX_HANDLES - 1)) == 0,
              "KVZ_REF_MAX_HANDLES must be a power of two");
static_assert(KVZ_REF_MAX_HANDLES >= 2 && KVZ_REF_MAX_HANDLES <= 0x10000u,
              "KVZ_REF_MAX_HANDLES out of range");

// Generations run from 1 below this bound: 0 would let a handle be 0, and
// the top value with the top slot would be all-ones.
#define GENERATION_LIMIT (0xFFFFFFFFu / KVZ_REF_MAX_HANDLES)

// A slot's lock is a flag taken with one atomic exchange: a read of 100
// bytes costs little more than its copy. Threads that find it taken line up
// on the slot's critical section, so at most one of them spins, and only
// while the holder serves one call.
struct HandleSlot {
    std::atomic<bool> busy;
    CRITICAL_SECTION queue;
    DWORD generation;
    HandleKind kind;
    void *object;
    DWORD next_free;
};

#define NO_SLOT 0xFFFFFFFFu

static HandleSlot g_slots[KVZ_REF_MAX_HANDLES];
static DWORD g_first_free = NO_SLOT; // under the library lock

static void EnterSlot(HandleSlot *slot)
{
    if (!slot->busy.exchange(true, std::memory_order_acquire))
        return;
    EnterCriticalSection(&slot->queue);
    while (slot->busy.load(std::memory_order_relaxed) ||
           slot->busy.exchange(true, std::memory_order_acquire)) {
    }
    LeaveCriticalSection(&slot->queue);
}

static void LeaveSlot(HandleSlot *slot)
{
    slot->busy.store(false, std::memory_order_release);
}

static KVZHANDLE MakeHandle(DWORD slot, DWORD generation)
{
    return generation * KVZ_REF_MAX_HANDLES + slot;
}

void HandleTableStart(void)
{
    for (DWORD i = KVZ_REF_MAX_HANDLES; i-- > 0;) {
        InitializeCriticalSection(&g_slots[i].queue);
        g_slots[i].generation = 1;
        g_slots[i].kind = HANDLE_KIND_FREE;
        g_slots[i].object = NULL;
        g_slots[i].next_free = g_first_free;
        g_first_free = i;
    }
}

KVZHANDLE HandleAttach(HandleKind kind, void *object)
{
    RefLock();
    DWORD at = g_first_free;
    if (at == NO_SLOT) {
        RefUnlock();
        return KVZ_INVALID_HANDLE;
    }
    HandleSlot *slot = &g_slots[at];
    g_first_free = slot->next_free;
    EnterSlot(slot);
    slot->kind = kind;
    slot->object = object;
    KVZHANDLE handle = MakeHandle(at, slot->generation);
    LeaveSlot(slot);
    RefUnlock();
    return handle;
}

bool HandleEnter(KVZHANDLE handle, unsigned kinds, HandleUse *use)
{
    HandleSlot *slot = &g_slots[handle & (KVZ_REF_MAX_HANDLES - 1)];
    DWORD generation = handle / KVZ_REF_MAX_HANDLES;
    EnterSlot(slot);
    if (slot->generation != generation || (slot->kind & kinds) == 0) {
        LeaveSlot(slot);
        return false;
    }
    use->slot = slot;
    use->kind = slot->kind;
    use->object = slot->object;
    return true;
}

void HandleLeave(HandleUse *use)
{
    LeaveSlot(use->slot);
}

// Empties the entered slot of use and puts it back on the free list.
static void FreeSlot(HandleUse *use)
{
    HandleSlot *slot = use->slot;
    use->slot = NULL;
    slot->kind = HANDLE_KIND_FREE;
    slot->object = NULL;
    slot->generation = slot->generation + 1 < GENERATION_LIMIT ? slot->generation + 1 : 1;
    LeaveSlot(slot);
    RefLock();
    slot->next_free = g_first_free;
    g_first_free = (DWORD)(slot - g_slots);
    RefUnlock();
}

bool HandleDetach(KVZHANDLE handle, unsigned kinds, HandleUse *use)
{
    if (!HandleEnter(handle, kinds, use))
        return false;
    FreeSlot(use);
    return true;
}

bool HandleDetachAny(HandleUse *use)
{
    for (DWORD i = 0; i < KVZ_REF_MAX_HANDLES; i++) {
        HandleSlot *slot = &g_slots[i];
        EnterSlot(slot);
        if (slot->kind != HANDLE_KIND_FREE) {
            use->slot = slot;
            use->kind = slot->kind;
            use->object = slot->object;
            FreeSlot(use);
            return true;
        }
        LeaveSlot(slot);
    }
    return false;
}
