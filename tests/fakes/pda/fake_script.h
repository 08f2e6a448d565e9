// The fake library's script: rules "<entry> <result> [<path>]" that decide
// what an entry point answers (the format is described in fake_control.h).
// Callers hold the fake's lock.
#ifndef KVZ_FAKE_SCRIPT_H
#define KVZ_FAKE_SCRIPT_H

#include "platform/win32.h"

// A test's script is a handful of lines; further rules are ignored.
#define KVZ_FAKE_MAX_RULES 64
// Longest script file read at attach; the rest of a longer file is ignored.
#define KVZ_FAKE_MAX_SCRIPT_BYTES 16384

// Replaces the rules with those of text (null: no rules). Lines that name no
// entry point, lack a result, start with '#' or do not fit are skipped.
// Returns the number of rules kept.
unsigned FakeScriptParse(const char *text);

// Replaces the rules with those of the file at path. Returns the number of
// rules kept, or -1 when the file cannot be read (the rules are then empty).
int FakeScriptLoadFile(const char *path);

// Looks up the answer for a call of ordinal whose first path argument is path
// (null for calls without one): rules with a path that equals it exactly win
// over rules without a path; the first match wins. Returns 1 and stores the
// result in *result when a rule matched, 0 otherwise.
int FakeScriptFind(unsigned ordinal, const WCHAR *path, DWORD *result);

// Parses a result: decimal, 0x hexadecimal, or -1 for all-ones. Returns 1 on
// success, 0 when text (up to its end) is not such a number.
int FakeParseResult(const char *text, DWORD *value);

#endif
