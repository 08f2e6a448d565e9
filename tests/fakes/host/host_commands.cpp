// The host application's commands, one short function each, and the table
// that maps a command word to its function.
#include "tests/fakes/host/host_commands.h"

#include <stdio.h>
#include <string.h>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_text.h"
#include "tests/fakes/host/host_words.h"

// Reads go in pieces of this size, as the handheld application reads.
#define KVZ_HOST_READ_PIECE 100
// cat shows this many bytes at most: it is meant for short text entries.
#define KVZ_HOST_MAX_CAT 65536

static FARPROC g_entries[KVZ_HANDHELD_ORDINAL_COUNT];
static KVZHANDLE g_last_handle = KVZ_INVALID_HANDLE;
static char g_cat_bytes[KVZ_HOST_MAX_CAT];

// The entry point of ordinal as its own type; void(*)(void) converts to any.
#define ENTRY(type, ordinal) ((type)(void (*)(void))g_entries[(ordinal)-1])

unsigned HostBindLibrary(HMODULE module)
{
    for (unsigned ordinal = 1; ordinal <= KVZ_HANDHELD_ORDINAL_COUNT; ordinal++) {
        g_entries[ordinal - 1] = GetProcAddressW(module, KVZ_ORDINAL_NAMEW(ordinal));
        if (g_entries[ordinal - 1] == NULL)
            return ordinal;
    }
    return 0;
}

/* ---- Output and arguments ---- */

static void PrintResult(const char *name, DWORD value)
{
    printf("%s %lu\n", name, (unsigned long)value);
    fflush(stdout);
}

static void PrintLine(const char *text)
{
    printf("%s\n", text);
    fflush(stdout);
}

static void PrintBad(const char *name)
{
    printf("bad %s\n", name);
    fflush(stdout);
}

// A path word in the library's form: backslashes, 16-bit. 0 when too long.
static int PathArgument(char *word, WCHAR *path)
{
    KvzArgToPath(word);
    return FakeUtf8ToWide(word, path, MAX_PATH) >= 0;
}

// "$" is the handle of the last open or find.
static int HandleArgument(const char *word, KVZHANDLE *handle)
{
    if (strcmp(word, "$") == 0) {
        *handle = g_last_handle;
        return 1;
    }
    return HostParseNumber(word, handle);
}

// Optional number at words[index], or fallback when absent.
static int OptionalNumber(char **words, int count, int index, DWORD fallback, DWORD *value)
{
    if (index >= count) {
        *value = fallback;
        return 1;
    }
    return HostParseNumber(words[index], value);
}

/* ---- Mounting ---- */

static void MountWith(unsigned ordinal, char **words, int count)
{
    WCHAR archive[MAX_PATH], dir[MAX_PATH];
    DWORD access, fourth;
    if (!PathArgument(words[1], archive) || !PathArgument(words[2], dir) ||
        !OptionalNumber(words, count, 3, GENERIC_READ, &access) ||
        !OptionalNumber(words, count, 4, 1, &fourth)) {
        PrintBad(words[0]);
        return;
    }
    PrintResult(words[0], ENTRY(PFN_KVZ_MountW, ordinal)(archive, dir, access, fourth));
}

static void RunMount(char **words, int count)
{
    MountWith(KVZ_ORD_Mount, words, count);
}
static void RunMountRes(char **words, int count)
{
    MountWith(KVZ_ORD_MountRes, words, count);
}

// Commands whose one argument is a path and whose answer is a number.
static void PathCall(unsigned ordinal, char **words)
{
    WCHAR path[MAX_PATH];
    if (!PathArgument(words[1], path)) {
        PrintBad(words[0]);
        return;
    }
    PrintResult(words[0], ENTRY(PFN_KVZ_MountedW, ordinal)(path));
}

static void RunMounted(char **words, int)
{
    PathCall(KVZ_ORD_Mounted, words);
}
static void RunUnMount(char **words, int)
{
    PathCall(KVZ_ORD_UnMount, words);
}

static void RunIsFile(char **words, int)
{
    WCHAR path[MAX_PATH];
    if (!PathArgument(words[1], path)) {
        PrintBad(words[0]);
        return;
    }
    PrintResult("isfile", (DWORD)ENTRY(PFN_KVZ_IsFileW, KVZ_ORD_IsFile)(path));
}

/* ---- Files ---- */

static void RunOpen(char **words, int count)
{
    WCHAR name[MAX_PATH];
    DWORD access, share, disposition, flags;
    if (!PathArgument(words[1], name) || !OptionalNumber(words, count, 2, GENERIC_READ, &access) ||
        !OptionalNumber(words, count, 3, FILE_SHARE_READ, &share) ||
        !OptionalNumber(words, count, 4, OPEN_EXISTING, &disposition) ||
        !OptionalNumber(words, count, 5, 0, &flags)) {
        PrintBad(words[0]);
        return;
    }
    g_last_handle = ENTRY(PFN_KVZ_CreateFileW, KVZ_ORD_CreateFile)(name, access, share, NULL,
                                                                   disposition, flags, NULL);
    PrintResult("open", g_last_handle);
}

// Reads handle to the end in pieces; writes the bytes to out when given and
// keeps the first KVZ_HOST_MAX_CAT of them in g_cat_bytes when keep is set.
static void ReadToEnd(KVZHANDLE handle, FILE *out, int keep, DWORD *total, DWORD *crc, size_t *kept)
{
    char piece[KVZ_HOST_READ_PIECE];
    *total = 0;
    *crc = 0;
    *kept = 0;
    for (;;) {
        DWORD got = 0;
        ENTRY(PFN_KVZ_ReadFile, KVZ_ORD_ReadFile)(handle, piece, sizeof piece, &got, NULL);
        if (got == 0)
            break;
        if (got > sizeof piece) // a library that claims more than it was asked
            got = sizeof piece;
        *total += got;
        *crc = HostCrc32(*crc, piece, got);
        if (out != NULL)
            fwrite(piece, 1, got, out);
        size_t room = sizeof g_cat_bytes - *kept;
        size_t take = keep ? (got < room ? got : room) : 0;
        memcpy(g_cat_bytes + *kept, piece, take);
        *kept += take;
    }
}

static void PrintReadTotal(DWORD total, DWORD crc)
{
    printf("read %lu bytes crc32=%08lx\n", (unsigned long)total, (unsigned long)crc);
    fflush(stdout);
}

static void RunRead(char **words, int count)
{
    KVZHANDLE handle;
    if (!HandleArgument(words[1], &handle)) {
        PrintBad(words[0]);
        return;
    }
    FILE *out = NULL;
    if (count > 2 && (out = fopen(words[2], "wb")) == NULL) {
        PrintBad(words[0]);
        return;
    }
    DWORD total, crc;
    size_t kept;
    ReadToEnd(handle, out, 0, &total, &crc, &kept);
    if (out != NULL && fclose(out) != 0) {
        PrintBad(words[0]);
        return;
    }
    PrintReadTotal(total, crc);
}

static void RunCat(char **words, int)
{
    KVZHANDLE handle;
    if (!HandleArgument(words[1], &handle)) {
        PrintBad(words[0]);
        return;
    }
    DWORD total, crc;
    size_t kept;
    ReadToEnd(handle, NULL, 1, &total, &crc, &kept);
    PrintReadTotal(total, crc);
    for (size_t i = 0; i < kept; i++) {
        unsigned char c = (unsigned char)g_cat_bytes[i];
        if (c < 0x20 || c > 0x7E)
            g_cat_bytes[i] = '.';
    }
    printf("data %.*s\n", (int)kept, g_cat_bytes);
    fflush(stdout);
}

static void RunWrite(char **words, int)
{
    KVZHANDLE handle;
    if (!HandleArgument(words[1], &handle)) {
        PrintBad(words[0]);
        return;
    }
    DWORD written = 0;
    BOOL result = ENTRY(PFN_KVZ_WriteFile, KVZ_ORD_WriteFile)(
        handle, words[2], (DWORD)strlen(words[2]), &written, NULL);
    printf("write %lu %lu\n", (unsigned long)(DWORD)result, (unsigned long)written);
    fflush(stdout);
}

static void RunSeek(char **words, int)
{
    KVZHANDLE handle;
    DWORD distance, method;
    if (!HandleArgument(words[1], &handle) || !HostParseNumber(words[2], &distance) ||
        !HostParseNumber(words[3], &method)) {
        PrintBad(words[0]);
        return;
    }
    PrintResult("seek", ENTRY(PFN_KVZ_SetFilePointer,
                              KVZ_ORD_SetFilePointer)(handle, (LONG)distance, NULL, method));
}

static void RunClose(char **words, int)
{
    KVZHANDLE handle;
    if (!HandleArgument(words[1], &handle)) {
        PrintBad(words[0]);
        return;
    }
    PrintResult("close", (DWORD)ENTRY(PFN_KVZ_CloseHandle, KVZ_ORD_CloseHandle)(handle));
}

/* ---- Searches ---- */

static void PrintEntry(WIN32_FIND_DATAW *data)
{
    char name[3 * MAX_PATH + 1];
    data->cFileName[MAX_PATH - 1] = 0;
    if (FakeWideToUtf8(data->cFileName, name, sizeof name) < 0)
        name[0] = 0;
    printf("entry %s attr=0x%lx size=%lu\n", name, (unsigned long)data->dwFileAttributes,
           (unsigned long)data->nFileSizeLow);
    fflush(stdout);
}

static void RunFind(char **words, int)
{
    WCHAR pattern[MAX_PATH];
    if (!PathArgument(words[1], pattern)) {
        PrintBad(words[0]);
        return;
    }
    WIN32_FIND_DATAW data;
    memset(&data, 0, sizeof data);
    KVZHANDLE search = ENTRY(PFN_KVZ_FindFirstFileW, KVZ_ORD_FindFirstFile)(pattern, &data);
    if (search == KVZ_INVALID_HANDLE) {
        PrintLine("find failed");
        return;
    }
    g_last_handle = search;
    DWORD count = 0;
    do {
        PrintEntry(&data);
        count++;
        memset(&data, 0, sizeof data);
    } while (ENTRY(PFN_KVZ_FindNextFileW, KVZ_ORD_FindNextFile)(search, &data));
    ENTRY(PFN_KVZ_FindClose, KVZ_ORD_FindClose)(search);
    PrintResult("find", count);
}

/* ---- Plain forwarders ---- */

// Commands without arguments whose answer is a number.
static void NumberCall(unsigned ordinal, const char *name)
{
    PrintResult(name, ENTRY(PFN_KVZ_GetCacheSize, ordinal)());
}

static void RunVersion(char **, int)
{
    NumberCall(KVZ_ORD_SupportVersion, "version");
}
static void RunCacheSize(char **, int)
{
    NumberCall(KVZ_ORD_GetCacheSize, "cachesize");
}
static void RunCacheBlockSize(char **, int)
{
    NumberCall(KVZ_ORD_GetCacheBlockSize, "cacheblocksize");
}
static void RunLastError(char **, int)
{
    NumberCall(KVZ_ORD_GetLastError, "lasterror");
}

// Commands whose one argument is a number and whose answer is a number.
static void SizeCall(unsigned ordinal, char **words)
{
    DWORD size;
    if (!HostParseNumber(words[1], &size)) {
        PrintBad(words[0]);
        return;
    }
    PrintResult(words[0], ENTRY(PFN_KVZ_SetCacheSize, ordinal)(size));
}

static void RunSetCacheSize(char **words, int)
{
    SizeCall(KVZ_ORD_SetCacheSize, words);
}
static void RunSetCacheBlockSize(char **words, int)
{
    SizeCall(KVZ_ORD_SetCacheBlockSize, words);
}

static void RunSetLastError(char **words, int)
{
    DWORD code;
    if (!HostParseNumber(words[1], &code)) {
        PrintBad(words[0]);
        return;
    }
    ENTRY(PFN_KVZ_SetLastError, KVZ_ORD_SetLastError)(code);
    PrintLine("setlasterror");
}

/* ---- Dispatch ---- */

struct HostCommand {
    const char *name;
    int min_args;
    int max_args;
    void (*run)(char **words, int count);
    const char *args;  // for HostPrintCommands: the arguments,
    const char *calls; // and what the command calls and prints
};

static const HostCommand kCommands[] = {
    {"mount", 2, 4, RunMount, "<archive> <dir> [access] [fourth]", "KVZ_Mount"},
    {"mountres", 2, 4, RunMountRes, "<archive> <dir> [access] [fourth]", "KVZ_MountRes"},
    {"mounted", 1, 1, RunMounted, "<archive>", "KVZ_Mounted"},
    {"unmount", 1, 1, RunUnMount, "<dir>", "KVZ_UnMount"},
    {"open", 1, 5, RunOpen, "<file> [access] [share] [disposition] [flags]", "KVZ_CreateFile"},
    {"read", 1, 2, RunRead, "<handle> [out file]", "KVZ_ReadFile to the end; size, crc32"},
    {"cat", 1, 1, RunCat, "<handle>", "as read, then the bytes as text"},
    {"write", 2, 2, RunWrite, "<handle> <text>", "KVZ_WriteFile"},
    {"seek", 3, 3, RunSeek, "<handle> <distance> <method>", "KVZ_SetFilePointer"},
    {"close", 1, 1, RunClose, "<handle>", "KVZ_CloseHandle"},
    {"find", 1, 1, RunFind, "<pattern>", "KVZ_FindFirstFile, FindNextFile: a line an entry"},
    {"isfile", 1, 1, RunIsFile, "<path>", "KVZ_IsFile"},
    {"version", 0, 0, RunVersion, "", "KVZ_SupportVersion"},
    {"cachesize", 0, 0, RunCacheSize, "", "KVZ_GetCacheSize"},
    {"cacheblocksize", 0, 0, RunCacheBlockSize, "", "KVZ_GetCacheBlockSize"},
    {"setcachesize", 1, 1, RunSetCacheSize, "<bytes>", "KVZ_SetCacheSize"},
    {"setcacheblocksize", 1, 1, RunSetCacheBlockSize, "<bytes>", "KVZ_SetCacheBlockSize"},
    {"lasterror", 0, 0, RunLastError, "", "KVZ_GetLastError"},
    {"setlasterror", 1, 1, RunSetLastError, "<code>", "KVZ_SetLastError"},
};

void HostPrintCommands(FILE *out)
{
    for (const HostCommand &command : kCommands) {
        char usage[80];
        snprintf(usage, sizeof usage, "%s %s", command.name, command.args);
        fprintf(out, "  %-52s %s\n", usage, command.calls);
    }
    fprintf(out, "A <handle> may be $, the handle of the last open or find. Numbers are\n"
                 "decimal, or hexadecimal behind 0x.\n");
}

void HostRunCommand(char *line)
{
    char *words[KVZ_HOST_MAX_WORDS];
    int count = HostSplitWords(line, words, KVZ_HOST_MAX_WORDS);
    if (count == 0)
        return;
    if (count < 0) {
        PrintLine("bad line");
        return;
    }
    for (const HostCommand &command : kCommands) {
        if (strcmp(command.name, words[0]) != 0)
            continue;
        if (count - 1 < command.min_args || count - 1 > command.max_args)
            PrintBad(words[0]);
        else
            command.run(words, count);
        return;
    }
    printf("unknown %s\n", words[0]);
    fflush(stdout);
}
