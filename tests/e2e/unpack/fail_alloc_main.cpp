// kvz_unpack whose filter storage runs out at the Nth allocation, N taken
// from KVZ_UNPACK_FAIL_ALLOC (1 = the first node, 2 = its name, ...).
#include <stdlib.h>

#include "unpack/name_filter.h"
#include "unpack/run.h"

static long allocations_left = -1;

static void *FailingAllocate(size_t size)
{
    if (allocations_left > 0 && --allocations_left == 0)
        return NULL;
    return malloc(size);
}

int main(int argc, char **argv)
{
    const char *fail_at = getenv("KVZ_UNPACK_FAIL_ALLOC");
    if (fail_at != NULL)
        allocations_left = strtol(fail_at, NULL, 10);
    NameFilterAllocate = FailingAllocate;
    return RunUnpacker(argc, argv);
}
