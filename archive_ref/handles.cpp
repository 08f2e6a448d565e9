// Slot table behind the library's 32-bit handles.
#include "archive_ref/handles.h"

#include "archive_ref/ref_state.h"

static_assert((KVZ_REF_MAX_HANDLES & (KVZ_REF_MAX_HANDLES - 1)) == 0,
              "KVZ_REF_MAX_HANDLES must be a power of two");
static_assert(KVZ_REF_MAX_HANDLES >= 2 && KVZ_REF_MAX_HANDLES <= 0x10000u,
              "KVZ_REF_MAX_HANDLES out of range");

// Generations run from 1 below this bound: 0 would let a handle be 0, and
// the top value with the top slot would be all-ones.
#define GENERATION_LIMIT (0xFFFFFFFFu / KVZ_REF_MAX_HANDLES)

#define NO_SLOT 0xFFFFFFFFu

HandleSlot g_handle_slots[KVZ_REF_MAX_HANDLES];
static DWORD g_first_free = NO_SLOT; // under the library lock

void HandleWaitForSlot(HandleSlot *slot)
{
    EnterCriticalSection(&slot->queue);
    while (KvzInterlockedRead(&slot->busy) != 0 || InterlockedExchange(&slot->busy, 1) != 0) {
    }
    LeaveCriticalSection(&slot->queue);
}

static void EnterSlot(HandleSlot *slot)
{
    if (InterlockedExchange(&slot->busy, 1) != 0)
        HandleWaitForSlot(slot);
}

static void LeaveSlot(HandleSlot *slot)
{
    InterlockedExchange(&slot->busy, 0);
}

static KVZHANDLE MakeHandle(DWORD slot, DWORD generation)
{
    return generation * KVZ_REF_MAX_HANDLES + slot;
}

void HandleTableStart(void)
{
    for (DWORD i = KVZ_REF_MAX_HANDLES; i-- > 0;) {
        InitializeCriticalSection(&g_handle_slots[i].queue);
        g_handle_slots[i].generation = 1;
        g_handle_slots[i].kind = HANDLE_KIND_FREE;
        g_handle_slots[i].object = NULL;
        g_handle_slots[i].next_free = g_first_free;
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
    HandleSlot *slot = &g_handle_slots[at];
    g_first_free = slot->next_free;
    EnterSlot(slot);
    slot->kind = kind;
    slot->object = object;
    KVZHANDLE handle = MakeHandle(at, slot->generation);
    LeaveSlot(slot);
    RefUnlock();
    return handle;
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
    g_first_free = (DWORD)(slot - g_handle_slots);
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
        HandleSlot *slot = &g_handle_slots[i];
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
