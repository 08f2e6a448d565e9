// C file streams opened by a kit path (backslashes, as every kit path).
//
// The C library takes the system's own path form: on Windows the kit path is
// that form already; on POSIX the backslashes become slashes first. A wide
// path goes to _wfopen, which Windows and CE's coredll have and the POSIX
// layer serves, so a folder of any name can be opened: CE's 8-bit fopen
// widens its path with the device's code page.
#ifndef KVZ_PLATFORM_FILE_STREAM_H
#define KVZ_PLATFORM_FILE_STREAM_H

#include <stdio.h>
#include <string.h>

#include "platform/win32.h"

#ifdef KVZ_POSIX_LAYER

// Longest kit path the conversion takes; longer ones fail like a bad name.
#define KVZ_STREAM_PATH_CHARS 4096

inline bool KvzStreamPathToSystem(const char *path, char *system_path)
{
    size_t length = strlen(path);
    if (length >= KVZ_STREAM_PATH_CHARS)
        return false;
    for (size_t i = 0; i <= length; i++)
        system_path[i] = path[i] == '\\' ? '/' : path[i];
    return true;
}

// fopen of a kit path.
inline FILE *KvzOpenFileStreamA(const char *path, const char *mode)
{
    char system_path[KVZ_STREAM_PATH_CHARS];
    if (!KvzStreamPathToSystem(path, system_path))
        return NULL;
    return fopen(system_path, mode);
}

// freopen of a kit path: closes what the stream held and opens the new file
// in the same stream object. NULL on failure, and the stream is then closed.
inline FILE *KvzReopenFileStreamA(const char *path, const char *mode, FILE *stream)
{
    char system_path[KVZ_STREAM_PATH_CHARS];
    if (!KvzStreamPathToSystem(path, system_path)) {
        fclose(stream);
        return NULL;
    }
    return freopen(system_path, mode, stream);
}

// The layer's _wfopen: the wide kit path as UTF-8 with slashes, the mode's
// characters as they are. NULL with errno set when the C library refuses, or
// when the path cannot be converted (EINVAL).
extern "C" FILE *_wfopen(const WCHAR *path, const WCHAR *mode);

#else

inline FILE *KvzOpenFileStreamA(const char *path, const char *mode)
{
    return fopen(path, mode);
}

#ifndef KVZ_CE_BARE // CE's C runtime has no 8-bit freopen
inline FILE *KvzReopenFileStreamA(const char *path, const char *mode, FILE *stream)
{
    return freopen(path, mode, stream);
}
#endif

#endif

// fopen of a wide kit path.
inline FILE *KvzOpenFileStreamW(const WCHAR *path, const WCHAR *mode)
{
    return _wfopen(path, mode);
}

#endif
