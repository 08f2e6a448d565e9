// The walk over the mounted archive; see walk.h.
#include "unpack/walk.h"

#include <string.h>

#include "unpack/console.h"
#include "unpack/extract.h"
#include "unpack/library.h"
#include "unpack/name_filter.h"
#include "unpack/options.h"
#include "unpack/paths.h"

int MatchedCount = 0;
int ExtractedCount = 0;
int ArchiveEntryCount = 0;
int FailedCount = 0;

// The run's target directory in resolved form; "" when there is none.
static char RunOutputDir[kPathChars] = "";

// What the walk does with one entry after the archive and name tests.
enum EntryUse {
    ENTRY_SKIP,     // not processed, not counted in MatchedCount
    ENTRY_PROCESS,  // the name and its entry path are usable
    ENTRY_BAD_NAME, // processed, but the name must not be joined to a path
    ENTRY_TOO_LONG, // processed, but its entry path does not fit the buffer
};

// ---- Messages ----

static void PrintListingLine(const WIN32_FIND_DATAA *data, int depth)
{
    for (int i = 0; i < depth; i++)
        PrintChar(' ');
    bool directory = (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    PrintText(directory ? "+ " : "- ");
    PrintText(data->cFileName);
    if (!directory) {
        PrintText(" (");
        PrintUnsigned(data->nFileSizeLow);
        PrintText(" Bytes)");
    }
}

static void ReportBadName(const char *name)
{
    FailedCount++;
    PrintLineEnd();
    PrintText("Ungueltiger Dateiname im Archiv: '");
    PrintText(name);
    PrintLine("'");
}

// The path that did not fit: length characters of base, a backslash, name.
static void ReportTooLong(const char *base, int length, const char *name)
{
    FailedCount++;
    PrintLineEnd();
    PrintText("Pfad zu lang (hoechstens 1024 Zeichen): '");
    PrintChars(base, (size_t)length);
    PrintChar('\\');
    PrintText(name);
    PrintLine("'");
}

static void ReportSearchFailed(const char *dir_path)
{
    FailedCount++;
    PrintText("Fehler beim Suchen in ");
    PrintLine(dir_path);
}

// ---- Entry tests ----

static bool IsDotEntry(const char *name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

void SetRunOutputDir(const char *target_dir)
{
    if (target_dir == NULL || !ResolvePath(target_dir, RunOutputDir))
        RunOutputDir[0] = 0;
}

// True when path resolves to resolved, letters A-Z taken as a-z.
static bool ResolvesTo(const char *path, const char *resolved)
{
    char own[kPathChars];
    return ResolvePath(path, own) && NamesEqualIgnoringCase(own, resolved);
}

// A real entry that is the run's own output: walking it would copy what the
// run writes into itself, one level deeper each run.
static bool IsRunOutput(const char *entry_path)
{
    return RunOutputDir[0] != 0 && ResolvesTo(entry_path, RunOutputDir);
}

// A real file that would be its own output, as with -a and the archive's
// folder as target: opening the output empties the file before it is read.
// A real directory is still walked, since archive entries may lie in it.
static bool IsOwnOutput(const char *entry_path, const char *output_path, int output_length,
                        const WIN32_FIND_DATAA *data)
{
    if (ListOnly || (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    size_t at = (size_t)output_length;
    const char *name = data->cFileName;
    char output[kPathChars];
    char resolved[kPathChars];
    // An output path that does not fit is never opened: ProcessEntry reports it.
    return AppendPath(output, 0, output_path, at) && AppendPath(output, at, "\\", 1) &&
           AppendPath(output, at + 1, name, strlen(name)) && ResolvePath(entry_path, resolved) &&
           ResolvesTo(output, resolved);
}

// The archive test, the "." and ".." test and the name filter, in that
// order; writes the entry path behind dir_length when the name allows it.
// output_path, this level's output directory, is only read.
static EntryUse ChooseEntryUse(char *dir_path, int dir_length, const char *output_path,
                               int output_length, WIN32_FIND_DATAA *data)
{
    // A name the library did not terminate is as unusable as a bad one.
    bool terminated = memchr(data->cFileName, 0, sizeof data->cFileName) != NULL;
    data->cFileName[sizeof data->cFileName - 1] = 0;
    const char *name = data->cFileName;
    EntryUse use = ENTRY_PROCESS;
    if (!terminated || !IsSafeEntryName(name)) {
        use = ENTRY_BAD_NAME; // never joined, so never found on disk
        ArchiveEntryCount++;
    } else if (!AppendPath(dir_path, (size_t)dir_length + 1, name, strlen(name))) {
        use = ENTRY_TOO_LONG; // no path of that length lies on disk either
        ArchiveEntryCount++;
    } else {
        dir_path[dir_length] = '\\';
        if (!PathExists(dir_path))
            ArchiveEntryCount++;
        else if (ArchiveOnly || IsRunOutput(dir_path) ||
                 IsOwnOutput(dir_path, output_path, output_length, data))
            return ENTRY_SKIP;
    }
    if (IsDotEntry(name) || !NameFilterAccepts(name))
        return ENTRY_SKIP;
    return use;
}

// ---- Walk ----

// The output directory of a level, made before its first entry is written;
// false when it neither exists nor can be made.
static bool MakeOutputDirectory(char *output_path, int output_length)
{
    if (!PathExists(output_path) && !CreateDirectoryA(output_path, NULL)) {
        FailedCount++;
        PrintText("Fehler beim Erstellen des Verzeichnisses '");
        PrintText(output_path);
        PrintLine("'!");
        return false;
    }
    if (output_length >= kPathMaxLength)
        return true; // no name fits behind it; each entry reports that
    output_path[output_length] = '\\';
    output_path[output_length + 1] = 0;
    return true;
}

static void ProcessEntry(char *dir_path, int dir_length, char *output_path, int output_length,
                         int depth, WIN32_FIND_DATAA *data)
{
    EntryUse use = ChooseEntryUse(dir_path, dir_length, output_path, output_length, data);
    if (use == ENTRY_SKIP)
        return;
    const char *name = data->cFileName;
    int name_length = (int)strlen(name);
    MatchedCount++;
    PrintListingLine(data, depth);
    if (use == ENTRY_BAD_NAME) {
        ReportBadName(name);
        return;
    }
    if (use == ENTRY_TOO_LONG) {
        ReportTooLong(dir_path, dir_length, name);
        return;
    }
    if (ListOnly) {
        PrintLineEnd();
        return;
    }
    if (!AppendPath(output_path, (size_t)output_length + 1, name, (size_t)name_length)) {
        ReportTooLong(output_path, output_length, name);
        return;
    }
    output_path[output_length] = '\\';
    if (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        WalkDirectory(dir_path, dir_length + name_length + 1, output_path,
                      output_length + name_length + 1, depth + 1);
        PrintLineEnd();
    } else {
        if (ExtractFile(dir_path, output_path, data->nFileSizeLow))
            ExtractedCount++;
        else
            FailedCount++;
    }
}

void WalkDirectory(char *dir_path, int dir_length, char *output_path, int output_length, int depth)
{
    WIN32_FIND_DATAA data;
    KVZHANDLE search = KVZ_INVALID_HANDLE;
    if (AppendPath(dir_path, (size_t)dir_length, "\\*", 2))
        search = KvzFindFirstFile(dir_path, &data);
    dir_path[dir_length] = 0;
    if (search == KVZ_INVALID_HANDLE) {
        ReportSearchFailed(dir_path);
        return;
    }
    if (!ListOnly && !MakeOutputDirectory(output_path, output_length)) {
        KvzFindClose(search);
        return;
    }
    do {
        ProcessEntry(dir_path, dir_length, output_path, output_length, depth, &data);
        dir_path[dir_length] = 0;
    } while (KvzFindNextFile(search, &data));
    KvzFindClose(search);
    dir_path[dir_length] = 0;
}
