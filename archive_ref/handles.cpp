// Slot table behind the library's 32-bit handles.
#include "archive_ref/handles.h"

#include "archive_ref/ref_state.h"

static_assert((KVZ_REF_MAX_HANDLES & (KVZ_REF_MAX_HANDLES - 1)) == 0,
              "KVZ_REF_MAX_HANDLES must be a power of two");
static_assert(KVZ_REF_MAX_HANDLES >= 2 && KVZ_REF_MAX_HANDLES <= 0x10000u,
              "KVZ_REF_MAX_HANDLES out of range");

// Generations run from 1 below this bound: 0 would let a handle be 0, and
// the top value with the top slot would be all-ones.
static const DWORD kGenerationLimit = 0xFFFFFFFFu / KVZ_REF_MAX_HANDLES;

static const DWORD kNoSlot = 0xFFFFFFFFu;

HandleSlot HandleSlots[KVZ_REF_MAX_HANDLES];
static DWORD FirstFree = kNoSlot; // under the library lock

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
        InitializeCriticalSection(&HandleSlots[i].queue);
        HandleSlots[i].generation = 1;
        HandleSlots[i].kind = HANDLE_KIND_FREE;
        HandleSlots[i].object = NULL;
        HandleSlots[i].nextFree = FirstFree;
        FirstFree = i;
    }
}

KVZHANDLE HandleAttach(HandleKind kind, void *object)
{
    RefLock();
    DWORD at = FirstFree;
    if (at == kNoSlot) {
        RefUnlock();
        return KVZ_INVALID_HANDLE;
    }
    HandleSlot *slot = &HandleSlots[at];
    FirstFree = slot->nextFree;
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
    slot->generation = slot->generation + 1 < kGenerationLimit ? slot->generation + 1 : 1;
    LeaveSlot(slot);
    RefLock();
    slot->nextFree = FirstFree;
    FirstFree = (DWORD)(slot - HandleSlots);
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
        HandleSlot *slot = &HandleSlots[i];
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
