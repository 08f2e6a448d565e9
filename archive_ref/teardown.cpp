// Unmount and unload.
#include "archive_ref/teardown.h"

#include "archive_ref/handles.h"
#include "archive_ref/mounts.h"
#include "archive_ref/open_read.h"
#include "archive_ref/ref_paths.h"
#include "archive_ref/ref_state.h"
#include "archive_ref/search.h"

DWORD RefUnMount(const char *dir)
{
    char dir_path[KVZ_REF_PATH_MAX];
    if (RefNormalisePath(dir, dir_path, sizeof dir_path) == (size_t)-1) {
        RefSetError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    DWORD result = MountRemove(dir_path);
    if (result != 0)
        RefFreeSpareFiles();
    return result;
}

void RefStartup(void)
{
    RefStateStart();
    HandleTableStart();
}

void RefShutdown(void)
{
    HandleUse use;
    while (HandleDetachAny(&use)) {
        if (use.kind == HANDLE_KIND_SEARCH)
            RefReleaseSearch(use.object);
        else
            RefReleaseFile(use.kind, use.object);
    }
    MountRemoveAll();
    RefFreeSpareFiles();
}
