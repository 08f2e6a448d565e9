// The list of live file and search handles.
#include "platform/posix/posix_internal.h"

#include <pthread.h>

static pthread_mutex_t HandleLock = PTHREAD_MUTEX_INITIALIZER;
static KvzHandleRecord *HandleList;

void KvzHandleAdd(KvzHandleRecord *record, int kind)
{
    record->kind = kind;
    pthread_mutex_lock(&HandleLock);
    record->next = HandleList;
    HandleList = record;
    pthread_mutex_unlock(&HandleLock);
}

bool KvzHandleIsLive(HANDLE handle, int kind)
{
    bool live = false;
    pthread_mutex_lock(&HandleLock);
    for (KvzHandleRecord *r = HandleList; r != NULL; r = r->next) {
        if (r == handle) {
            live = r->kind == kind;
            break;
        }
    }
    pthread_mutex_unlock(&HandleLock);
    return live;
}

bool KvzHandleRemove(HANDLE handle, int kind)
{
    bool removed = false;
    pthread_mutex_lock(&HandleLock);
    for (KvzHandleRecord **link = &HandleList; *link != NULL; link = &(*link)->next) {
        if (*link == handle) {
            if ((*link)->kind == kind) {
                *link = (*link)->next;
                removed = true;
            }
            break;
        }
    }
    pthread_mutex_unlock(&HandleLock);
    return removed;
}
