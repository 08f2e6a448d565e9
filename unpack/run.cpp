// The run of kvz_unpack; see run.h.
#include "unpack/run.h"

#include <string.h>

#include "unpack/console.h"
#include "unpack/extract.h"
#include "unpack/library.h"
#include "unpack/name_filter.h"
#include "unpack/options.h"
#include "unpack/paths.h"
#include "unpack/target_check.h"
#include "unpack/walk.h"

static char ArchivePath[kPathChars];
static char MountDir[kPathChars];
static char TargetDir[kPathChars];
static char OutputPath[kPathChars];
static const char *ArchiveName = "";

static void ReportAbsolutePathFailure(int result, const char *too_long_text)
{
    if (result == ABSOLUTE_PATH_NO_CURRENT)
        PrintLine("Das aktuelle Verzeichnis ist unbekannt oder laenger als 1024 Zeichen!");
    else
        PrintLine(too_long_text);
}

// ArchivePath from the argument, absolute and existing; false after a message.
static bool ResolveArchivePath(char *argument)
{
    static const char too_long[] = "Der Pfad der KVZ-Datei ist laenger als 1024 Zeichen!";
    KvzArgToPath(argument);
    if (!CopyPath(ArchivePath, argument)) {
        PrintLine(too_long);
        return false;
    }
    int length = MakeAbsolutePath(ArchivePath);
    if (length < 0) {
        ReportAbsolutePathFailure(length, too_long);
        return false;
    }
    if (!PathExists(ArchivePath)) {
        PrintText("Archivdatei '");
        PrintText(ArchivePath);
        PrintLine("' nicht gefunden!");
        return false;
    }
    // "C:a.kvz" is relative to another drive's current directory: no
    // directory can be derived from it.
    if (strrchr(ArchivePath, '\\') == NULL) {
        PrintText("Archivdatei '");
        PrintText(ArchivePath);
        PrintLine("' liegt in keinem Verzeichnis!");
        return false;
    }
    return true;
}

// KVZ32.DLL loaded and all its entry points bound; false after a message.
static bool LoadLibraryOrReport(void)
{
    unsigned missing = 0;
    int result = LoadUnpackerLibrary(&missing);
    if (result == LIBRARY_NOT_FOUND) {
        PrintLine("KVZ32.DLL nicht gefunden.");
        return false;
    }
    if (result == LIBRARY_INCOMPLETE) {
        PrintText("KVZ32.DLL ist unvollstaendig: Ordinal ");
        PrintUnsigned(missing);
        PrintLine(" fehlt!");
        return false;
    }
    return true;
}

// MountDir: the folder the archive lies in, ArchivePath cut at its last
// backslash. Returns its length and points ArchiveName at the name behind.
static int SplitMountDir(void)
{
    memcpy(MountDir, ArchivePath, sizeof MountDir);
    char *last = strrchr(MountDir, '\\');
    *last = 0;
    ArchiveName = ArchivePath + (last - MountDir) + 1;
    return (int)(last - MountDir);
}

// The default target's length: the archive name up to its first dot behind
// its leading dots, so ".sounds.KVZ" gives ".sounds" and never "", which
// would extract into the current directory itself.
static size_t DefaultTargetLength(const char *name)
{
    const char *stem = name;
    while (*stem == '.')
        stem++;
    const char *dot = strchr(stem, '.');
    return dot != NULL ? (size_t)(dot - name) : strlen(name);
}

// TargetDir from -o or the archive name up to its first dot, then made
// absolute; false after a message.
static bool ResolveTargetDir(void)
{
    static const char too_long[] = "Das Zielverzeichnis ist laenger als 1024 Zeichen!";
    bool fits;
    if (TargetDirArg[0] != 0)
        fits = CopyPath(TargetDir, TargetDirArg);
    else
        fits = AppendPath(TargetDir, 0, ArchiveName, DefaultTargetLength(ArchiveName));
    int length = fits ? MakeAbsolutePath(TargetDir) : ABSOLUTE_PATH_TOO_LONG;
    if (length < 0) {
        ReportAbsolutePathFailure(length, too_long);
        return false;
    }
    return true;
}

static void ResetCounters(void)
{
    MatchedCount = 0;
    ExtractedCount = 0;
    ArchiveEntryCount = 0;
    FailedCount = 0;
}

// The closing line. The failure line counts what the walk reported as
// failed, so a target that could not be made is never followed by a success
// line.
static void PrintSummary(void)
{
    if (ListOnly) {
        PrintText("Insgesamt ");
        PrintSigned(ArchiveEntryCount);
        PrintText(" Dateien im Archiv ");
        PrintLine(ArchiveName);
        return;
    }
    if (FailedCount > 0) {
        PrintSigned(FailedCount);
        PrintLine(" Dateien wurden nicht fehlerfrei entpackt!");
    } else {
        PrintSigned(ExtractedCount);
        PrintLine(" Dateien erfolgreich entpackt!");
    }
}

// Before anything is created: a new target in the mount folder must not
// hide an archive entry of its name, or the walk would silently leave that
// entry out. False after a message.
static bool TargetLeavesArchiveWhole(int mount_length)
{
    char hidden[MAX_PATH];
    if (ListOnly || !TargetHidesArchiveEntry(TargetDir, MountDir, mount_length, hidden))
        return true;
    PrintText("Das Zielverzeichnis '");
    PrintText(TargetDir);
    PrintText("' wuerde '");
    PrintText(hidden);
    PrintLine("' im Archiv verdecken! Bitte mit -o<Zielordner> ein anderes Verzeichnis angeben.");
    return false;
}

static void ReportNotInArchive(const char *name)
{
    PrintText("Datei '");
    PrintText(name);
    PrintLine("' nicht im Archiv gefunden!");
}

static int MountAndWalk(int mount_length)
{
    if (KvzMount(ArchivePath, MountDir, GENERIC_READ, 1) != 1) {
        PrintLine("Fehler beim Oeffnen der KVZ-Datei!");
        UnloadUnpackerLibrary();
        return UNPACK_EXIT_FAILED;
    }
    int exit_code = UNPACK_EXIT_FAILED;
    if (TargetLeavesArchiveWhole(mount_length)) {
        memcpy(OutputPath, TargetDir, sizeof OutputPath);
        ResetCounters();
        WalkDirectory(MountDir, mount_length, OutputPath, (int)strlen(OutputPath), 0);
        FinishExtracting();
        // A -f name that matched nothing is a failure, told before the summary.
        int unmatched = ForEachUnmatchedName(ReportNotInArchive);
        PrintSummary();
        exit_code = FailedCount > 0 || unmatched > 0 ? UNPACK_EXIT_WALK_FAILED : UNPACK_EXIT_OK;
    }
    KvzUnMount(MountDir);
    UnloadUnpackerLibrary();
    return exit_code;
}

int RunUnpacker(int argc, char **argv)
{
    if (argc > 1 && IsHelpRequest(argv[1])) {
        PrintUsage();
        return UNPACK_EXIT_OK;
    }
    int archive_index = 0;
    if (ReadOptions(argc, argv, &archive_index) != OPTIONS_READ)
        return UNPACK_EXIT_FAILED;
    if (archive_index >= argc) {
        PrintLine("Kein Archivname eingegeben!");
        PrintUsage();
        return UNPACK_EXIT_FAILED;
    }
    if (!ResolveArchivePath(argv[archive_index]) || !LoadLibraryOrReport())
        return UNPACK_EXIT_FAILED;
    int mount_length = SplitMountDir();
    if (!ListOnly && !ResolveTargetDir()) {
        UnloadUnpackerLibrary();
        return UNPACK_EXIT_FAILED;
    }
    SetRunOutputDir(ListOnly ? NULL : TargetDir);
    return MountAndWalk(mount_length);
}
