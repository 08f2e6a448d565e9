// Start-up and shutdown of the proxy; see startup.h.
#include "proxy/startup.h"

#include <stdio.h>
#include <string.h>

#include "platform/file_stream.h"
#include "proxy/config.h"
#include "proxy/proxy_state.h"
#include "proxy/wide_text.h"

// ---- Messages ----
static const UINT kErrorBox = MB_OK | MB_ICONERROR;                                // 0x10
static const UINT kQuestionBox = MB_YESNO | MB_ICONEXCLAMATION | MB_SETFOREGROUND; // 0x10034

static const WCHAR kLogOpenFailed[] =
    TEXT("Fehler beim \u00D6ffnen der Log-Datei.\nLogging deaktiviert.");
static const WCHAR kSameDirWarning[] =
    TEXT("Obwohl eigene Sounds installiert sind, k\u00F6nnen sie nicht abgespielt werden, da sie "
         "sich im selben Verzeichnis wie das .KVZ-Archiv befinden.\n\nTrotzdem Fortfahren?");
static const WCHAR kNotFoundFormat[] = TEXT("Die Datei %s wurde nicht gefunden!");
static const WCHAR kNextIsProxyFormat[] = TEXT("Die Datei %s ist pdaKVZ.dll selbst!");
static const WCHAR kImportFailed[] = TEXT("Fehler beim Importieren einer Funktion.");
static const WCHAR kModuleDirUnknown[] = TEXT("Das Verzeichnis von pdaKVZ.dll ist unbekannt!");
static const WCHAR kModulePathTooLong[] = TEXT("Der Pfad von pdaKVZ.dll ist zu lang!");
static const WCHAR kKeyPathTooLongFormat[] = TEXT("Der Pfad f\u00FCr %s ist zu lang!");

// The longest text a message gets: a format plus one value of MAX_PATH.
static const DWORD kMessageChars = MAX_PATH + 64;

// The configuration file, looked up in ModuleDir and opened by its wide path.
static const WCHAR kConfigName[] = TEXT("sound_config.txt");

static void ShowError(const WCHAR *text)
{
    MessageBoxW(NULL, text, ProxyCaption, kErrorBox);
}

// Shows "text with %s" for one value; the buffer always holds it whole.
static void ShowErrorWith(const WCHAR *format, const WCHAR *value)
{
    WCHAR text[kMessageChars];
    WideFormat(text, kMessageChars, format, value);
    ShowError(text);
}

static void ShowPathTooLong(const WCHAR *key)
{
    ShowErrorWith(kKeyPathTooLongFormat, key);
}

// ---- Paths ----
BOOL SetModuleDirFromPath(const WCHAR *path, DWORD length)
{
    ModuleDir[0] = 0;
    ModuleDirLength = 0;
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    DWORD slash = WideFileNameStart(path, length - 1);
    if (slash == 0)
        return FALSE;
    for (DWORD i = 0; i < slash; i++)
        ModuleDir[i] = path[i];
    ModuleDir[slash] = 0;
    ModuleDirLength = slash;
    return TRUE;
}

BOOL BuildDirPath(WCHAR *dest, DWORD *length, const char *value)
{
    DWORD at = 0;
    if (value[0] != '\\')
        at = WideAppend(dest, 0, MAX_PATH, ModuleDir);
    at = WideAppendNarrow(dest, at, MAX_PATH, value);
    size_t n = strlen(value);
    if (n > 0 && value[n - 1] != '\\')
        at = WideAppend(dest, at, MAX_PATH, TEXT("\\"));
    if (at == kNoRoom || at > MAX_PATH - kDirTailRoom)
        return FALSE;
    *length = at;
    return TRUE;
}

// The configuration file's path: ModuleDir as it is, so a folder of any
// name finds it, then the file name.
static BOOL BuildConfigPath(WCHAR *dest, DWORD capacity)
{
    DWORD at = WideAppend(dest, 0, capacity, ModuleDir);
    return WideAppend(dest, at, capacity, kConfigName) != kNoRoom;
}

// ---- Steps ----
static const char *ConfigValue(const ConfigStore *store, const char *key, const char *fallback)
{
    const ConfigEntry *entry = ConfigFindEntry(&store->topLevel, key);
    return entry != NULL ? entry->value : fallback;
}

// An access log that cannot be opened only turns logging off. The name is
// taken as written, not resolved against ModuleDir.
static void OpenAccessLog(const char *name)
{
    AccessLog.stream = NULL;
    if (name == NULL || name[0] == 0)
        return;
    AccessLog.stream = KvzOpenFileStreamA(name, "a+b");
    if (AccessLog.stream == NULL) {
        ShowError(kLogOpenFailed);
        return;
    }
    InitializeCriticalSection(&AccessLog.lock);
}

// Looks for pattern in the directory dir[0..length); a search that fails for
// any reason but "no more files" counts as a find. Leaves dir as it was.
static bool ProbeFinds(WCHAR *dir, DWORD length, const WCHAR *pattern)
{
    WIN32_FIND_DATAW data;
    WideAppend(dir, length, MAX_PATH, pattern); // BuildDirPath kept the room
    HANDLE search = FindFirstFileW(dir, &data);
    bool present = true;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    else
        present = GetLastError() != ERROR_NO_MORE_FILES;
    dir[length] = 0;
    return present;
}

// Sound files in the archive directory cannot be played; the user decides
// whether to go on. FALSE when the answer is No.
static BOOL ConfirmSeparateDirs(void)
{
    bool sounds = ProbeFinds(SoundDirPath, SoundDirLength, TEXT("*.ogg"));
    bool archives = ProbeFinds(ArchiveDirPath, ArchiveDirLength, TEXT("*.KVZ"));
    if (!sounds || !archives || !WideEqual(SoundDirPath, ArchiveDirPath))
        return TRUE;
    return MessageBoxW(NULL, kSameDirWarning, ProxyCaption, kQuestionBox) != IDNO;
}

// The next library's name widened, and its full path in ModuleDir.
static BOOL ComposeNextPath(WCHAR *name, WCHAR *path, const char *value)
{
    DWORD at = WideAppend(path, 0, MAX_PATH, ModuleDir);
    return WideAppendNarrow(name, 0, MAX_PATH, value) != kNoRoom &&
           WideAppend(path, at, MAX_PATH, name) != kNoRoom;
}

// CE knows a loaded module by its file name alone, so a NextDLL naming a
// pdaKVZ.dll in any folder gives back the proxy itself, whose forwarders
// would then call themselves without end.
static BOOL LoadNextLibrary(const WCHAR *name, const WCHAR *path)
{
    NextLibrary = LoadLibraryW(path);
    if (NextLibrary == NULL) {
        ShowErrorWith(kNotFoundFormat, name);
        return FALSE;
    }
    if (NextLibrary == ProxyModule) {
        FreeLibrary(NextLibrary);
        NextLibrary = NULL;
        ShowErrorWith(kNextIsProxyFormat, name);
        return FALSE;
    }
    return TRUE;
}

// Binds ordinals 1 to 20 in order and stops at the first one missing.
static BOOL BindForwardTable(void)
{
    for (DWORD ordinal = 1; ordinal <= KVZ_HANDHELD_ORDINAL_COUNT; ordinal++) {
        ForwardTable[ordinal - 1] = GetProcAddressW(NextLibrary, KVZ_ORDINAL_NAMEW(ordinal));
        if (ForwardTable[ordinal - 1] == NULL) {
            ShowError(kImportFailed);
            return FALSE;
        }
    }
    return TRUE;
}

// Everything that reads the configuration; the caller owns and releases store.
static BOOL StartWithConfig(const ConfigStore *store)
{
    const char *log = ConfigValue(store, "Log", NULL);
    const char *archive_dir = ConfigValue(store, "ArchiveDir", "sound");
    const char *sound_dir = ConfigValue(store, "SoundDir", "sound");
    const char *next_dll = ConfigValue(store, "NextDLL", "_pdaKVZ.dll");

    OpenAccessLog(log);
    if (!BuildDirPath(ArchiveDirPath, &ArchiveDirLength, archive_dir)) {
        ShowPathTooLong(TEXT("ArchiveDir"));
        return FALSE;
    }
    if (!BuildDirPath(SoundDirPath, &SoundDirLength, sound_dir)) {
        ShowPathTooLong(TEXT("SoundDir"));
        return FALSE;
    }
    // The library's path is composed before any question is asked, so a name
    // that cannot fit is reported as the configuration fault it is.
    WCHAR next_name[MAX_PATH];
    WCHAR next_path[MAX_PATH];
    if (!ComposeNextPath(next_name, next_path, next_dll)) {
        ShowPathTooLong(TEXT("NextDLL"));
        return FALSE;
    }
    if (!ConfirmSeparateDirs())
        return FALSE;
    return LoadNextLibrary(next_name, next_path) && BindForwardTable();
}

// ---- Entry points ----
BOOL ProxyStartupInModuleDir(void)
{
    WCHAR config_path[MAX_PATH];
    if (!BuildConfigPath(config_path, MAX_PATH)) {
        ShowError(kModulePathTooLong);
        return FALSE;
    }
    ConfigStore store;
    ConfigInit(&store);
    ConfigLoadW(&store, config_path); // a missing or bad file only leaves keys absent
    BOOL ok = StartWithConfig(&store);
    ConfigRelease(&store);
    return ok;
}

BOOL ProxyStartup(HMODULE module)
{
    WCHAR path[MAX_PATH];
    ProxyModule = module;
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (!SetModuleDirFromPath(path, length)) {
        ShowError(length >= MAX_PATH ? kModulePathTooLong : kModuleDirUnknown);
        return FALSE;
    }
    return ProxyStartupInModuleDir();
}

void ProxyShutdown(void)
{
    if (NextLibrary != NULL) {
        FreeLibrary(NextLibrary);
        NextLibrary = NULL;
    }
    if (AccessLog.stream != NULL) {
        fclose(AccessLog.stream);
        AccessLog.stream = NULL;
        DeleteCriticalSection(&AccessLog.lock);
    }
}
