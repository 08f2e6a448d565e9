// The proxy's access log: one line per mount, open and close, each starting
// with the local time as "[DD.MM.YYYY HH:MM:SS] ".
//
// The file holds 16-bit text as UTF-16LE bytes without a byte-order mark,
// lines end in CR LF, and every build writes the same bytes. A line is
// written whole under the AccessLog lock, however long its texts are, so
// lines never mix. Logging off (a null stream) costs one test: no lock is
// entered and the clock is not read. Writing a line never changes the
// thread's last error, allocates nothing itself and ignores write failures.
#ifndef KVZ_PROXY_ACCESS_LOG_H
#define KVZ_PROXY_ACCESS_LOG_H

#include "archive_api/kvz_api.h"

// Room for the longest timestamp any SYSTEMTIME can give: six 16-bit fields
// of up to five digits, eight punctuation characters and the terminator.
static const DWORD kLogTimestampCapacity = 39;

// Room for a 32-bit unsigned decimal and its terminator.
static const DWORD kLogNumberCapacity = 11;

// Formats time as "[%02d.%02d.%d %02d:%02d:%02d] " (day, month, year, hour,
// minute, second, each an unsigned 16-bit value) into out, which holds
// kLogTimestampCapacity characters. Returns the number of characters
// written before the terminator (22 for a four-digit year).
DWORD FormatTimestampText(const SYSTEMTIME *time, WCHAR *out);

// Writes value as unsigned decimal into out (kLogNumberCapacity characters).
void FormatUnsigned(DWORD value, WCHAR *out);

// Writes one line: the timestamp, then the count texts in order. The texts
// carry the line's own CR LF. Nothing happens while logging is off.
void WriteLogLine(const WCHAR *const *texts, unsigned count);

// ---- The five lines of the log ----
// "<ts>Closing #<handle>"
void LogClose(KVZHANDLE handle);
// "<ts><name> => <composed> [#<handle>]"
void LogRedirectedOpen(LPCWSTR name, LPCWSTR composed, KVZHANDLE handle);
// "<ts><name>[ (FAILED!)] [#<handle>]", the suffix when handle is all-ones.
void LogOrdinaryOpen(LPCWSTR name, KVZHANDLE handle);
// "<ts>Archive: <archive> => <composed>[ (FAILED - SKIPPED)]", the suffix
// when the next library's result is 0.
void LogRelocatedMount(LPCWSTR archive, LPCWSTR composed, DWORD result);
// "<ts>Archive: <archive>[ (FAILED!)]", the suffix when result is 0.
void LogOrdinaryMount(LPCWSTR archive, DWORD result);

#endif
