// Libraries: LoadLibrary, FreeLibrary, GetProcAddress and GetModuleFileName
// over dlopen for ELF libraries and over the CE image loader (ce/) for CE
// ARM images, with DllMain run as the Windows loader runs it.
//
// One recursive loader lock covers the module list and every DllMain call, as
// on Windows: a library may load the next one from inside its DllMain.
#include "platform/ordinal_table.h"
#include "platform/posix/ce/ce_loader.h"
#include "platform/posix/posix_internal.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

typedef BOOL(WINAPI *DllMainProc)(HINSTANCE, DWORD, LPVOID);

// One loaded library. Its HMODULE is the record itself for an ELF library
// and the image's base for a PE image, as on Windows.
struct ModuleRecord {
    ModuleRecord *next;
    int format; // KVZ_MODULE_ELF or KVZ_MODULE_PE
    void *dl;   // ELF
    KvzPeModule *pe;
    HMODULE handle;
    unsigned references;
    DllMainProc dllMain;
    bool detachedAtExit;
    char osPath[kOsPathMax]; // resolved, absolute
};

static pthread_mutex_t LoaderLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
static ModuleRecord *ModuleList; // newest first
static bool ExitHookInstalled;

// ---- The module list ----

static ModuleRecord *FindModule(HMODULE module)
{
    for (ModuleRecord *m = ModuleList; m != NULL; m = m->next) {
        if (m->handle == module)
            return m;
    }
    return NULL;
}

static ModuleRecord *FindModuleByPath(const char *os_path)
{
    for (ModuleRecord *m = ModuleList; m != NULL; m = m->next) {
        if (strcmp(m->osPath, os_path) == 0)
            return m;
    }
    return NULL;
}

static size_t LengthWithoutDll(const char *name)
{
    size_t length = strlen(name);
    return length > 4 && strcasecmp(name + length - 4, ".dll") == 0 ? length - 4 : length;
}

static bool SameCeName(const char *a, size_t a_length, const char *b, size_t b_length)
{
    return a_length == b_length && strncasecmp(a, b, a_length) == 0;
}

// A CE image loaded under the file name of os_name: CE tells modules apart by
// file name alone, without regard to case or a ".dll" at its end, so any
// folder's file of that name is the module already loaded.
static ModuleRecord *FindCeModuleByName(const char *os_name)
{
    const char *slash = strrchr(os_name, '/');
    const char *name = slash != NULL ? slash + 1 : os_name;
    size_t length = LengthWithoutDll(name);
    for (ModuleRecord *m = ModuleList; m != NULL; m = m->next) {
        const char *own = strrchr(m->osPath, '/') + 1; // osPath is absolute
        if (m->format == KVZ_MODULE_PE && SameCeName(name, length, own, LengthWithoutDll(own)))
            return m;
    }
    return NULL;
}

static void UnlinkModule(ModuleRecord *module)
{
    for (ModuleRecord **link = &ModuleList; *link != NULL; link = &(*link)->next) {
        if (*link == module) {
            *link = module->next;
            return;
        }
    }
}

// ---- Symbols that really lie in a library ----

// dlsym also searches a library's dependencies; the loader wants the
// library's own DllMain and ordinal table only.
static void *OwnSymbol(void *dl, const char *name)
{
    void *symbol = dlsym(dl, name);
    struct link_map *own = NULL, *where = NULL;
    Dl_info info;
    if (symbol == NULL || dlinfo(dl, RTLD_DI_LINKMAP, &own) != 0)
        return NULL;
    if (dladdr1(symbol, &info, (void **)&where, RTLD_DL_LINKMAP) == 0 || where != own)
        return NULL;
    return symbol;
}

// ---- Finding the file ----

static bool ProgramDirectory(char *out, size_t size)
{
    ssize_t n = readlink("/proc/self/exe", out, size - 1);
    if (n <= 0 || (size_t)n >= size - 1)
        return false;
    out[n] = 0;
    char *slash = strrchr(out, '/');
    if (slash == NULL)
        return false;
    *slash = 0;
    return true;
}

static bool IsRegularFile(const char *os_path)
{
    struct stat st;
    return stat(os_path, &st) == 0 && S_ISREG(st.st_mode);
}

// A path is opened as given; a plain name is looked for in the program's
// directory, then in the current one; never on the system's library path.
static bool LocateLibrary(const char *os_name, char *found)
{
    char candidate[kOsPathMax];
    if (strchr(os_name, '/') != NULL)
        return IsRegularFile(os_name) && realpath(os_name, found) != NULL;
    size_t name_length = strlen(os_name);
    if (ProgramDirectory(candidate, sizeof candidate)) {
        size_t dir_length = strlen(candidate);
        if (dir_length + 1 + name_length + 1 <= sizeof candidate) {
            candidate[dir_length] = '/';
            memcpy(candidate + dir_length + 1, os_name, name_length + 1);
            if (IsRegularFile(candidate) && realpath(candidate, found) != NULL)
                return true;
        }
    }
    return IsRegularFile(os_name) && realpath(os_name, found) != NULL;
}

// An ELF shared object of this process's word size, or the file is not a library.
static bool IsLoadableElf(const char *os_path)
{
    unsigned char ident[EI_NIDENT];
    FILE *file = fopen(os_path, "rb");
    if (file == NULL)
        return false;
    size_t n = fread(ident, 1, sizeof ident, file);
    fclose(file);
    unsigned char wanted_class = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;
    return n == sizeof ident && memcmp(ident, ELFMAG, SELFMAG) == 0 &&
           ident[EI_CLASS] == wanted_class;
}

// KVZ_LOADER_TRACE=1: one line on standard error per module mapped or
// refused ("kvz loader: ...").
static bool LoaderTracing(void)
{
    const char *trace = getenv("KVZ_LOADER_TRACE");
    return trace != NULL && strcmp(trace, "1") == 0;
}

// ---- Process exit ----

// Windows detaches every library still loaded when the process exits, with a
// non-null reserved argument; libraries may free others meanwhile.
static void DetachAllAtExit(void)
{
    pthread_mutex_lock(&LoaderLock);
    for (;;) {
        ModuleRecord *m = ModuleList;
        while (m != NULL && m->detachedAtExit)
            m = m->next;
        if (m == NULL)
            break;
        m->detachedAtExit = true;
        if (m->dllMain != NULL)
            m->dllMain((HINSTANCE)m->handle, DLL_PROCESS_DETACH, (LPVOID)1);
    }
    pthread_mutex_unlock(&LoaderLock);
}

// ---- LoadLibrary / FreeLibrary ----

// Unmaps what dlopen or the PE loader mapped.
static void ReleaseImage(void *dl, KvzPeModule *pe)
{
    if (dl != NULL)
        dlclose(dl);
    else
        KvzPeUnload(pe);
}

static void TraceNewModule(const ModuleRecord *module)
{
    if (!LoaderTracing())
        return;
    if (module->format == KVZ_MODULE_PE)
        fprintf(stderr, "kvz loader: PE %s at 0x%08lx (%s)\n", module->osPath,
                (unsigned long)(uintptr_t)module->handle,
                KvzPeRelocated(module->pe) ? "relocated" : "preferred base");
    else
        fprintf(stderr, "kvz loader: ELF %s\n", module->osPath);
}

// Lists the library mapped by dlopen (`dl`) or the PE loader (`pe`) and runs
// its DllMain; on failure both are undone. An ELF library whose attach says
// FALSE sees the detach, as on the desktop; a CE image does not, as on CE.
static ModuleRecord *AttachNewModule(const char *os_path, void *dl, KvzPeModule *pe)
{
    ModuleRecord *module = (ModuleRecord *)calloc(1, sizeof *module);
    if (module == NULL) {
        ReleaseImage(dl, pe);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    module->format = dl != NULL ? KVZ_MODULE_ELF : KVZ_MODULE_PE;
    module->dl = dl;
    module->pe = pe;
    module->handle = dl != NULL ? (HMODULE)module : (HMODULE)KvzPeBase(pe);
    module->references = 1;
    module->dllMain =
        dl != NULL ? (DllMainProc)OwnSymbol(dl, "DllMain") : (DllMainProc)KvzPeEntry(pe);
    KvzCopyText(module->osPath, sizeof module->osPath, os_path);
    module->next = ModuleList;
    ModuleList = module; // listed first, so DllMain may ask for its own file name
    if (!ExitHookInstalled)
        ExitHookInstalled = atexit(DetachAllAtExit) == 0;
    TraceNewModule(module);
    if (module->dllMain != NULL &&
        !module->dllMain((HINSTANCE)module->handle, DLL_PROCESS_ATTACH, NULL)) {
        if (module->format == KVZ_MODULE_ELF)
            module->dllMain((HINSTANCE)module->handle, DLL_PROCESS_DETACH, NULL);
        UnlinkModule(module);
        ReleaseImage(dl, pe);
        free(module);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return NULL;
    }
    return module;
}

static HMODULE LoadPeLocked(const char *os_path)
{
    KvzPeModule *pe = NULL;
    DWORD result = KvzPeLoad(os_path, LoaderTracing(), &pe);
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        return NULL;
    }
    ModuleRecord *module = AttachNewModule(os_path, NULL, pe);
    return module != NULL ? module->handle : NULL;
}

static HMODULE LoadLibraryLocked(const char *os_name)
{
    char os_path[kOsPathMax];
    ModuleRecord *ce_module = FindCeModuleByName(os_name);
    if (ce_module != NULL) {
        ce_module->references++;
        return ce_module->handle;
    }
    if (!LocateLibrary(os_name, os_path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    ModuleRecord *loaded = FindModuleByPath(os_path);
    if (loaded == NULL && !IsLoadableElf(os_path)) {
        if (KvzIsPeFile(os_path))
            return LoadPeLocked(os_path);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return NULL;
    }
    if (loaded == NULL) {
        void *dl = dlopen(os_path, RTLD_NOW | RTLD_LOCAL);
        if (dl == NULL) {
            SetLastError(ERROR_MOD_NOT_FOUND); // a dependency is missing
            return NULL;
        }
        for (ModuleRecord *m = ModuleList; m != NULL && loaded == NULL; m = m->next) {
            if (m->dl == dl) {
                loaded = m; // the same file under another name
                dlclose(dl);
            }
        }
        if (loaded == NULL) {
            ModuleRecord *module = AttachNewModule(os_path, dl, NULL);
            return module != NULL ? module->handle : NULL;
        }
    }
    loaded->references++;
    return loaded->handle;
}

static HMODULE LoadLibraryOs(const char *os_name)
{
    pthread_mutex_lock(&LoaderLock);
    HMODULE module = LoadLibraryLocked(os_name);
    pthread_mutex_unlock(&LoaderLock);
    return module;
}

HMODULE LoadLibraryA(LPCSTR name)
{
    char os_name[kOsPathMax];
    if (name == NULL || name[0] == 0 || !KvzPathToOs(name, os_name, sizeof os_name)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return LoadLibraryOs(os_name);
}

HMODULE LoadLibraryW(LPCWSTR name)
{
    char os_name[kOsPathMax];
    if (name == NULL || name[0] == 0 || !KvzWidePathToOs(name, os_name, sizeof os_name)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return LoadLibraryOs(os_name);
}

BOOL FreeLibrary(HMODULE handle)
{
    pthread_mutex_lock(&LoaderLock);
    ModuleRecord *module = FindModule(handle);
    if (module == NULL) {
        pthread_mutex_unlock(&LoaderLock);
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--module->references == 0) {
        if (module->dllMain != NULL && !module->detachedAtExit)
            module->dllMain((HINSTANCE)module->handle, DLL_PROCESS_DETACH, NULL);
        UnlinkModule(module);
        ReleaseImage(module->dl, module->pe);
        free(module);
    }
    pthread_mutex_unlock(&LoaderLock);
    return TRUE;
}

// ---- GetProcAddress ----

static FARPROC OrdinalExport(void *dl, unsigned ordinal)
{
    const KvzOrdinalExport *table =
        (const KvzOrdinalExport *)OwnSymbol(dl, KVZ_ORDINAL_TABLE_SYMBOL);
    for (; table != NULL && table->ordinal != 0; table++) {
        if (table->ordinal == ordinal)
            return table->address;
    }
    return NULL;
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR name)
{
    bool by_ordinal = (uintptr_t)name < 0x10000;
    pthread_mutex_lock(&LoaderLock);
    ModuleRecord *module = FindModule(handle);
    void *dl = module != NULL ? module->dl : NULL;
    FARPROC proc = NULL;
    // A PE image's own export table, read while FreeLibrary cannot unmap it.
    if (module != NULL && module->format == KVZ_MODULE_PE)
        proc = KvzPeExport(module->pe, by_ordinal ? NULL : name, (unsigned)(uintptr_t)name);
    pthread_mutex_unlock(&LoaderLock);
    if (module == NULL) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    if (dl != NULL && by_ordinal) // an ordinal: the table and nothing else
        proc = OrdinalExport(dl, (unsigned)(uintptr_t)name);
    else if (dl != NULL)
        proc = (FARPROC)OwnSymbol(dl, name);
    if (proc == NULL)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return proc;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name)
{
    if ((uintptr_t)name < 0x10000)
        return GetProcAddress(module, (LPCSTR)name);
    char narrow[kOsPathMax];
    if (!KvzWideToUtf8(name, narrow, sizeof narrow)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return NULL;
    }
    return GetProcAddress(module, narrow);
}

int KvzModuleFormatOf(HMODULE handle)
{
    pthread_mutex_lock(&LoaderLock);
    ModuleRecord *module = FindModule(handle);
    int format = module != NULL ? module->format : 0;
    pthread_mutex_unlock(&LoaderLock);
    return format;
}

// ---- GetModuleFileName ----

// The module's OS path; NULL means the program itself.
static bool ModuleOsPath(HMODULE handle, char *out, size_t size)
{
    if (handle == NULL) {
        ssize_t n = readlink("/proc/self/exe", out, size - 1);
        if (n <= 0 || (size_t)n >= size - 1)
            return false;
        out[n] = 0;
        return true;
    }
    pthread_mutex_lock(&LoaderLock);
    ModuleRecord *module = FindModule(handle);
    bool found = module != NULL && KvzCopyText(out, size, module->osPath);
    pthread_mutex_unlock(&LoaderLock);
    return found;
}

// Copies as much as fits, always terminated; a cut name gives `size` and
// ERROR_INSUFFICIENT_BUFFER, as on Windows.
template <typename Char> static DWORD CopyFileName(const Char *name, Char *buffer, DWORD size)
{
    DWORD length = 0;
    while (name[length] != 0)
        length++;
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    DWORD copied = length < size ? length : size - 1;
    memcpy(buffer, name, copied * sizeof(Char));
    buffer[copied] = 0;
    SetLastError(copied < length ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
    return copied < length ? size : length;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    char os_path[kOsPathMax], path[kOsPathMax];
    if (!ModuleOsPath(module, os_path, sizeof os_path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    KvzOsToPath(os_path, path, sizeof path);
    return CopyFileName(path, buffer, size);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    char os_path[kOsPathMax], path[kOsPathMax];
    WCHAR wide[kOsPathMax];
    if (!ModuleOsPath(module, os_path, sizeof os_path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    KvzOsToPath(os_path, path, sizeof path);
    if (!KvzUtf8ToWide(path, wide, kOsPathMax)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    return CopyFileName(wide, buffer, size);
}
