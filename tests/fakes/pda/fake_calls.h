// The fake library's call record: a fixed array of the first
// KVZ_FAKE_MAX_CALLS calls, a count that goes on beyond it, and the optional
// log file with one line per call. Callers hold the fake's lock.
#ifndef KVZ_FAKE_CALLS_H
#define KVZ_FAKE_CALLS_H

#include "tests/fakes/fake_control.h"

// Forgets every recorded call.
void FakeCallsReset(void);

// Records a call of ordinal with its arguments (as many as the entry point
// takes); path and path2 are its first and second path arguments, or null.
// Returns the record, or null once the array is full (the call is counted).
const KvzFakeCall *FakeCallsRecord(unsigned ordinal, const uintptr_t *args, const WCHAR *path,
                                   const WCHAR *path2);

// Calls since the last reset, also those beyond the array.
unsigned FakeCallsCount(void);

// Call i (0 = oldest), or null when it was not kept.
const KvzFakeCall *FakeCallsGet(unsigned i);

// Opens the log file for appending; a null or empty name leaves logging off.
// Returns 1 when logging is on.
int FakeLogOpen(const char *file_name);

// Appends "<ordinal> <entry> <args...>" and LF, then flushes, so that the line
// survives the process being terminated. The path arguments (path_count of
// them, leading) are written as UTF-8 text, the others as 0x hexadecimal.
void FakeLogCall(unsigned ordinal, const uintptr_t *args, unsigned path_count);

void FakeLogClose(void);

#endif
