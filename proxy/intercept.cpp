// pdaKVZ: the four intercepting exports.
//
// An archive mounted from a directory named "sound" is mounted from the
// archive directory instead; every open of an .ogg name is first tried,
// read-only, in the sound directory; mounts, opens and closes go to the
// access log. Redirected paths are composed on the caller's stack, so threads
// never share them, and a name that does not fit beside its directory is not
// redirected at all.
#include "proxy/intercept.h"

#include <string.h>

#include "proxy/access_log.h"
#include "proxy/proxy_state.h"
#include "proxy/wide_text.h"

// The next library's entries that the interceptors call through.
#define Next_CloseHandle NEXT_ENTRY(PFN_KVZ_CloseHandle, KVZ_ORD_CloseHandle)
#define Next_CreateFile NEXT_ENTRY(PFN_KVZ_CreateFileW, KVZ_ORD_CreateFile)
#define Next_Mount NEXT_ENTRY(PFN_KVZ_MountW, KVZ_ORD_Mount)
#define Next_Mounted NEXT_ENTRY(PFN_KVZ_MountedW, KVZ_ORD_Mounted)

// ---- Names ----

// ASCII letter test against both cases and nothing else; upper is 'A'..'Z'.
static bool IsLetter(WCHAR c, char upper)
{
    return c == (WCHAR)upper || c == (WCHAR)(upper + ('a' - 'A'));
}

bool IsSoundFolderPath(LPCWSTR path, DWORD *file_name_index)
{
    DWORD n = WideLength(path);
    DWORD index = n == 0 ? 0 : WideFileNameStart(path, n - 1);
    *file_name_index = index;
    if (index < 6)
        return false;
    DWORD s = index - 6;
    if (s > 0 && path[s - 1] != TEXT('\\'))
        return false;
    return IsLetter(path[s], 'S') && IsLetter(path[s + 1], 'O') && IsLetter(path[s + 2], 'U') &&
           IsLetter(path[s + 3], 'N') && IsLetter(path[s + 4], 'D') && path[s + 5] == TEXT('\\');
}

// True when the name ending at end ends in ".ogg", the full stop exact. The
// last letter comes first: it tells most other names apart at once, where
// the full stop of their own extension would not.
static bool HasOggExtension(LPCWSTR name, const WCHAR *end)
{
    return end - name >= 4 && IsLetter(end[-1], 'G') && IsLetter(end[-2], 'G') &&
           IsLetter(end[-3], 'O') && end[-4] == TEXT('.');
}

// Composes dir (dir_length characters) and file_name (name_length characters
// and its terminator) into out, which holds MAX_PATH characters. False, with
// out untouched, when they do not fit.
static bool ComposePath(WCHAR *out, const WCHAR *dir, DWORD dir_length, LPCWSTR file_name,
                        DWORD name_length)
{
    if (dir_length >= MAX_PATH || name_length >= MAX_PATH - dir_length)
        return false;
    memcpy(out, dir, dir_length * sizeof(WCHAR));
    memcpy(out + dir_length, file_name, (name_length + 1) * sizeof(WCHAR));
    return true;
}

// ---- Exports ----

// A sound-folder archive whose name fits beside the archive directory.
static bool ComposeRelocatedArchive(LPCWSTR archive, WCHAR *composed)
{
    DWORD name_at;
    if (!IsSoundFolderPath(archive, &name_at))
        return false;
    const WCHAR *file_name = archive + name_at;
    return ComposePath(composed, ArchiveDirPath, ArchiveDirLength, file_name,
                       WideLength(file_name));
}

/* pdaKVZ.@3: logged before the handle is gone, then closed. */
KVZ_EXPORT BOOL WINAPI KVZ_CloseHandle(KVZHANDLE handle)
{
    LogClose(handle);
    return Next_CloseHandle(handle);
}

// The host's own open, forwarded unchanged and logged.
static KVZHANDLE OpenAsGiven(LPCWSTR name, DWORD access, DWORD share,
                             LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                             HANDLE template_file)
{
    if (AccessLog.stream == NULL) // nothing to log: the call is the last thing done
        return Next_CreateFile(name, access, share, security, disposition, flags, template_file);
    KVZHANDLE h = Next_CreateFile(name, access, share, security, disposition, flags, template_file);
    LogOrdinaryOpen(name, h);
    return h;
}

// An .ogg open: first the file name after the last backslash before ".ogg",
// read-only from the sound directory, then, when that fails or the name does
// not fit there, the host's own open.
static KVZHANDLE OpenSound(LPCWSTR name, DWORD n, DWORD access, DWORD share,
                           LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                           HANDLE template_file)
{
    DWORD name_at = WideFileNameStart(name, n - 4);
    WCHAR composed[MAX_PATH];
    if (ComposePath(composed, SoundDirPath, SoundDirLength, name + name_at, n - name_at)) {
        KVZHANDLE h =
            Next_CreateFile(composed, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (h != KVZ_INVALID_HANDLE) {
            LogRedirectedOpen(name, composed, h);
            return h;
        }
    }
    return OpenAsGiven(name, access, share, security, disposition, flags, template_file);
}

/* pdaKVZ.@4: an .ogg name is first opened read-only in the sound directory.
   Every open of the host comes here; other names cost the search for their
   end and a look at their last character or few. */
KVZ_EXPORT KVZHANDLE WINAPI KVZ_CreateFile(LPCWSTR name, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE template_file)
{
    const WCHAR *end = WideEnd(name);
    if (HasOggExtension(name, end))
        return OpenSound(name, (DWORD)(end - name), access, share, security, disposition, flags,
                         template_file);
    return OpenAsGiven(name, access, share, security, disposition, flags, template_file);
}

/* pdaKVZ.@10: a sound-folder archive is mounted from the archive directory
   and always reported mounted. */
KVZ_EXPORT DWORD WINAPI KVZ_Mount(LPCWSTR archive, LPCWSTR mount_dir, DWORD access, DWORD fourth)
{
    WCHAR composed[MAX_PATH];
    if (ComposeRelocatedArchive(archive, composed)) {
        DWORD r = Next_Mount(composed, mount_dir, access, fourth);
        LogRelocatedMount(archive, composed, r);
        return 1;
    }
    DWORD r = Next_Mount(archive, mount_dir, access, fourth);
    LogOrdinaryMount(archive, r);
    return r;
}

/* pdaKVZ.@12: relocated archives always count as mounted. */
KVZ_EXPORT DWORD WINAPI KVZ_Mounted(LPCWSTR archive)
{
    WCHAR composed[MAX_PATH];
    if (ComposeRelocatedArchive(archive, composed))
        return 1;
    return Next_Mounted(archive) != 0 ? 1 : 0;
}
