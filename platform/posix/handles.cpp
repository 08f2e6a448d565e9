// The list of live file and search handles.
#include "platform/posix/posix_internal.h"

#include <pthread.h>

static pthread_mutex_t handle_lock = PTHREAD_MUTEX_INITIALIZER;
static KvzHandleRecord *handle_list;

void KvzHandleAdd(KvzHandleRecord *record, int kind)
{
    record->kind = kind;
    pthread_mutex_lock(&handle_lock);
    record->next = handle_list;
    handle_list = record;
    pthread_mutex_unlock(&handle_lock);
}

bool KvzHandleIsLive(HANDLE handle, int kind)
{
    bool live = false;
    pthread_mutex_lock(&handle_lock);
    for (KvzHandleRecord *r = handle_list; r != NULL; r = r->next) {
        if (r == handle) {
            live = r->kind == kind;
            break;
        }
    }
    pthread_mutex_unlock(&handle_lock);
    return live;
}

bool KvzHandleRemove(HANDLE handle, int kind)
{
    bool removed = false;
    pthread_mutex_lock(&handle_lock);
    for (KvzHandleRecord **link = &handle_list; *link != NULL; link = &(*link)->next) {
        if (*link == handle) {
            if ((*link)->kind == kind) {
                *link = (*link)->next;
                removed = true;
            }
            break;
        }
    }
    pthread_mutex_unlock(&handle_lock);
    return removed;
}
