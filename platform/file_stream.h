// C file streams opened by a kit path (backslashes, as every kit path).
//
// The C library takes the system's own path form: on Windows the kit path is
// that form already; on POSIX the backslashes become slashes first.
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

#endif
