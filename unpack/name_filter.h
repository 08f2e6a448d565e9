// NameFilter: the names given with -f. When it holds any, the walk processes
// only entries whose name equals one of them, letters A-Z equal to a-z.
#ifndef KVZ_UNPACK_NAME_FILTER_H
#define KVZ_UNPACK_NAME_FILTER_H

#include <stddef.h>

// One name of the filter; the list is built by prepending.
struct NameFilterNode {
    NameFilterNode *next;
    char *name;   // owned, zero-terminated copy
    bool matched; // NameFilterAccepts accepted an entry for it
};

extern NameFilterNode *NameFilter;

// The allocator of nodes and names (malloc). A seam for tests: a test build
// replaces it to make storage run out.
extern void *(*NameFilterAllocate)(size_t size);

// Puts a copy of name in front of the list. The first name added arranges
// FreeNameFilter to run at process end. Returns false, with nothing kept for
// this name, when storage cannot be had.
bool AddFilterName(const char *name);

// True when the filter is empty or holds name (letter case of A-Z ignored).
// Marks every name of the filter that equals name as matched.
bool NameFilterAccepts(const char *name);

// Calls report for each name of the filter that was never matched, in the
// order of the command line, and returns how many there were.
int ForEachUnmatchedName(void (*report)(const char *name));

// Byte-wise equality with A-Z taken as a-z.
bool NamesEqualIgnoringCase(const char *a, const char *b);

// Releases every node and its name, front to back. Runs at process end.
void FreeNameFilter(void);

#endif
