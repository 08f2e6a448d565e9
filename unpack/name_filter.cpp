#include "unpack/name_filter.h"

#include <stdlib.h>
#include <string.h>

NameFilterNode *NameFilter = NULL;
void *(*NameFilterAllocate)(size_t size) = malloc;

static bool FreeAtExitArranged = false;

static bool ArrangeFreeAtExit(void)
{
    if (FreeAtExitArranged)
        return true;
    if (atexit(FreeNameFilter) != 0)
        return false;
    FreeAtExitArranged = true;
    return true;
}

bool AddFilterName(const char *name)
{
    if (!ArrangeFreeAtExit())
        return false;
    NameFilterNode *node = (NameFilterNode *)NameFilterAllocate(sizeof *node);
    if (node == NULL)
        return false;
    size_t size = strlen(name) + 1;
    node->name = (char *)NameFilterAllocate(size);
    if (node->name == NULL) {
        free(node);
        return false;
    }
    memcpy(node->name, name, size);
    node->next = NameFilter;
    NameFilter = node;
    return true;
}

static char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool NamesEqualIgnoringCase(const char *a, const char *b)
{
    for (; *a != 0 && LowerAscii(*a) == LowerAscii(*b); a++, b++) {
    }
    return LowerAscii(*a) == LowerAscii(*b);
}

bool NameFilterAccepts(const char *name)
{
    if (NameFilter == NULL)
        return true;
    for (const NameFilterNode *node = NameFilter; node != NULL; node = node->next)
        if (NamesEqualIgnoringCase(node->name, name))
            return true;
    return false;
}

void FreeNameFilter(void)
{
    while (NameFilter != NULL) {
        NameFilterNode *node = NameFilter;
        NameFilter = node->next;
        free(node->name);
        free(node);
    }
}
