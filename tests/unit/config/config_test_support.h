// Helpers of the configuration reader's tests: files in the current
// directory, a canonical dump of a store, and counting heap hooks.
#ifndef KVZ_TESTS_CONFIG_TEST_SUPPORT_H
#define KVZ_TESTS_CONFIG_TEST_SUPPORT_H

#include <string>

#include "proxy/config.h"

// Writes bytes to a new file in the current directory, named after tag and the
// running test so parallel test processes never share one. Returns its name.
std::string WriteConfigFile(const std::string &tag, const std::string &bytes);

// The store as text, lists in stored order (newest first): top-level entries
// first, then each section as [name] followed by its entries, one per line as
// "key"="value". Bytes outside printable ASCII, quotes and backslashes are
// escaped (\r, \t, \xNN, \", \\). A length that differs from its string's
// strlen shows as "!len" behind the entry.
std::string DumpStore(const ConfigStore &store);

// Counting hooks for ConfigAllocHook and ConfigFreeHook: every call is
// counted, the call numbered failAt (from 0) returns null.
struct HeapCounter {
    long calls = 0;
    long live = 0;
    long failAt = -1;
};
extern HeapCounter Heap;
void InstallCountingHeap(long failAt = -1);
// Restarts the numbering of calls, keeping the count of live allocations.
void FailAllocationFromNow(long failAt);
void RemoveHooks();

#endif
