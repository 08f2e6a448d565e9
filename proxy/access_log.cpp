// The access log line writer and its timestamp.
#include "proxy/access_log.h"

#include "proxy/proxy_state.h"

// Bytes of encoded text gathered before one fwrite. A line of two full paths
// fits in one write; a longer one goes out in several, all under the lock.
#ifndef KVZ_PROXY_LOG_CHUNK_BYTES
#define KVZ_PROXY_LOG_CHUNK_BYTES 2048
#endif
static_assert(KVZ_PROXY_LOG_CHUNK_BYTES >= 2 && KVZ_PROXY_LOG_CHUNK_BYTES % 2 == 0,
              "log chunks hold whole 16-bit characters");

static const WCHAR kSuffixNone[] = TEXT("");
static const WCHAR kSuffixFailed[] = TEXT(" (FAILED!)");
static const WCHAR kSuffixSkipped[] = TEXT(" (FAILED - SKIPPED)");
static const WCHAR kLineEnd[] = TEXT("\r\n");

// ---- Numbers and the timestamp ----

// Appends value in decimal with at least min_digits digits; returns the new
// position. A WORD has at most five digits, a DWORD ten.
static DWORD AppendDecimal(WCHAR *out, DWORD at, DWORD value, DWORD min_digits)
{
    WCHAR digits[10];
    DWORD count = 0;
    do {
        digits[count++] = (WCHAR)(TEXT('0') + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < min_digits)
        digits[count++] = TEXT('0');
    while (count > 0)
        out[at++] = digits[--count];
    return at;
}

DWORD FormatTimestampText(const SYSTEMTIME *time, WCHAR *out)
{
    DWORD at = 0;
    out[at++] = TEXT('[');
    at = AppendDecimal(out, at, time->wDay, 2);
    out[at++] = TEXT('.');
    at = AppendDecimal(out, at, time->wMonth, 2);
    out[at++] = TEXT('.');
    at = AppendDecimal(out, at, time->wYear, 1);
    out[at++] = TEXT(' ');
    at = AppendDecimal(out, at, time->wHour, 2);
    out[at++] = TEXT(':');
    at = AppendDecimal(out, at, time->wMinute, 2);
    out[at++] = TEXT(':');
    at = AppendDecimal(out, at, time->wSecond, 2);
    out[at++] = TEXT(']');
    out[at++] = TEXT(' ');
    out[at] = 0;
    return at;
}

void FormatUnsigned(DWORD value, WCHAR *out)
{
    out[AppendDecimal(out, 0, value, 1)] = 0;
}

// ---- Encoding into the stream ----

// Encoded bytes waiting for one fwrite; lives on the writer's stack.
struct LogChunk {
    FILE *stream;
    size_t used;
    unsigned char bytes[KVZ_PROXY_LOG_CHUNK_BYTES];
};

static void ChunkFlush(LogChunk *chunk)
{
    if (chunk->used != 0)
        fwrite(chunk->bytes, 1, chunk->used, chunk->stream);
    chunk->used = 0;
}

// Each 16-bit character as two bytes, low byte first, whatever the machine.
static void ChunkPut(LogChunk *chunk, const WCHAR *text)
{
    for (; *text != 0; text++) {
        if (chunk->used == sizeof chunk->bytes)
            ChunkFlush(chunk);
        chunk->bytes[chunk->used++] = (unsigned char)(*text & 0xFF);
        chunk->bytes[chunk->used++] = (unsigned char)(*text >> 8);
    }
}

void WriteLogLine(const WCHAR *const *texts, unsigned count)
{
    if (AccessLog.stream == NULL)
        return;
    DWORD saved_error = GetLastError();
    WCHAR timestamp[kLogTimestampCapacity];
    SYSTEMTIME now;
    LogChunk chunk;
    chunk.used = 0;
    EnterCriticalSection(&AccessLog.lock);
    // The clock is read under the lock, so the lines stand in time order.
    GetLocalTime(&now);
    FormatTimestampText(&now, timestamp);
    chunk.stream = AccessLog.stream;
    ChunkPut(&chunk, timestamp);
    for (unsigned i = 0; i < count; i++)
        ChunkPut(&chunk, texts[i]);
    ChunkFlush(&chunk);
    LeaveCriticalSection(&AccessLog.lock);
    SetLastError(saved_error);
}

// ---- The five lines ----

void LogClose(KVZHANDLE handle)
{
    if (AccessLog.stream == NULL)
        return;
    WCHAR number[kLogNumberCapacity];
    FormatUnsigned(handle, number);
    const WCHAR *texts[] = {TEXT("Closing #"), number, kLineEnd};
    WriteLogLine(texts, 3);
}

void LogRedirectedOpen(LPCWSTR name, LPCWSTR composed, KVZHANDLE handle)
{
    if (AccessLog.stream == NULL)
        return;
    WCHAR number[kLogNumberCapacity];
    FormatUnsigned(handle, number);
    const WCHAR *texts[] = {name, TEXT(" => "), composed, TEXT(" [#"), number, TEXT("]"), kLineEnd};
    WriteLogLine(texts, 7);
}

void LogOrdinaryOpen(LPCWSTR name, KVZHANDLE handle)
{
    if (AccessLog.stream == NULL)
        return;
    WCHAR number[kLogNumberCapacity];
    FormatUnsigned(handle, number);
    const WCHAR *suffix = handle == KVZ_INVALID_HANDLE ? kSuffixFailed : kSuffixNone;
    const WCHAR *texts[] = {name, suffix, TEXT(" [#"), number, TEXT("]"), kLineEnd};
    WriteLogLine(texts, 6);
}

void LogRelocatedMount(LPCWSTR archive, LPCWSTR composed, DWORD result)
{
    const WCHAR *suffix = result == 0 ? kSuffixSkipped : kSuffixNone;
    const WCHAR *texts[] = {TEXT("Archive: "), archive, TEXT(" => "), composed, suffix, kLineEnd};
    WriteLogLine(texts, 6);
}

void LogOrdinaryMount(LPCWSTR archive, DWORD result)
{
    const WCHAR *suffix = result == 0 ? kSuffixFailed : kSuffixNone;
    const WCHAR *texts[] = {TEXT("Archive: "), archive, suffix, kLineEnd};
    WriteLogLine(texts, 4);
}
