// The -f name filter; see name_filter.h.
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
    node->matched = false;
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
    bool accepted = NameFilter == NULL;
    for (NameFilterNode *node = NameFilter; node != NULL; node = node->next)
        if (NamesEqualIgnoringCase(node->name, name)) {
            node->matched = true;
            accepted = true;
        }
    return accepted;
}

// The list turned around in place; a second call restores it.
static NameFilterNode *Reversed(NameFilterNode *node)
{
    NameFilterNode *reversed = NULL;
    while (node != NULL) {
        NameFilterNode *next = node->next;
        node->next = reversed;
        reversed = node;
        node = next;
    }
    return reversed;
}

int ForEachUnmatchedName(void (*report)(const char *name))
{
    int count = 0;
    NameFilter = Reversed(NameFilter); // newest first: the command line backwards
    for (const NameFilterNode *node = NameFilter; node != NULL; node = node->next)
        if (!node->matched) {
            report(node->name);
            count++;
        }
    NameFilter = Reversed(NameFilter);
    return count;
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
