// Records the fake library's calls in memory and, when asked, in a log file.
#include "tests/fakes/pda/fake_calls.h"

#include <stdio.h>
#include <string.h>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_text.h"

static KvzFakeCall g_calls[KVZ_FAKE_MAX_CALLS];
static unsigned g_call_count;
static FILE *g_log;

/* ---- Call record ---- */

void FakeCallsReset(void)
{
    g_call_count = 0;
}

const KvzFakeCall *FakeCallsRecord(unsigned ordinal, const uintptr_t *args, const WCHAR *path,
                                   const WCHAR *path2)
{
    unsigned index = g_call_count;
    if (g_call_count < 0xFFFFFFFFu)
        g_call_count++;
    if (index >= KVZ_FAKE_MAX_CALLS)
        return NULL;
    KvzFakeCall *call = &g_calls[index];
    memset(call, 0, sizeof *call);
    call->ordinal = ordinal;
    unsigned count = kKvzEntries[ordinal - 1].arguments;
    for (unsigned i = 0; i < count && i < KVZ_FAKE_MAX_ARGS; i++)
        call->args[i] = args[i];
    FakeWideCopy(call->path, MAX_PATH, path);
    FakeWideCopy(call->path2, MAX_PATH, path2);
    return call;
}

unsigned FakeCallsCount(void)
{
    return g_call_count;
}

const KvzFakeCall *FakeCallsGet(unsigned i)
{
    if (i >= g_call_count || i >= KVZ_FAKE_MAX_CALLS)
        return NULL;
    return &g_calls[i];
}

/* ---- Log file ---- */

int FakeLogOpen(const char *file_name)
{
    if (file_name == NULL || file_name[0] == 0)
        return 0;
    g_log = fopen(file_name, "ab");
    return g_log != NULL;
}

static void LogPath(const WCHAR *path)
{
    // Copied first, so a path longer than the record's buffer is cut the same.
    WCHAR copy[MAX_PATH];
    char text[3 * MAX_PATH + 1];
    FakeWideCopy(copy, MAX_PATH, path);
    if (FakeWideToUtf8(copy, text, sizeof text) < 0)
        text[0] = 0;
    fputs(text, g_log);
}

void FakeLogCall(unsigned ordinal, const uintptr_t *args, unsigned path_count)
{
    if (g_log == NULL)
        return;
    const KvzEntryInfo *entry = &kKvzEntries[ordinal - 1];
    fprintf(g_log, "%u %s", ordinal, entry->name);
    for (unsigned i = 0; i < entry->arguments; i++) {
        fputc(' ', g_log);
        if (i < path_count && args[i] != 0)
            LogPath((const WCHAR *)args[i]);
        else
            fprintf(g_log, "0x%lx", (unsigned long)args[i]);
    }
    fputc('\n', g_log);
    fflush(g_log);
}

void FakeLogClose(void)
{
    if (g_log != NULL)
        fclose(g_log);
    g_log = NULL;
}
