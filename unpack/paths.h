// Paths of kvz_unpack: 8-bit, zero-terminated, backslash the only separator,
// each in a buffer of kPathChars characters.
#ifndef KVZ_UNPACK_PATHS_H
#define KVZ_UNPACK_PATHS_H

#include <stddef.h>

// A path of up to 1024 characters and its terminator: the unpacker's buffers
// have always been this size, and Windows paths without the \\?\ prefix are
// far shorter.
static const int kPathChars = 1025;
static const int kPathMaxLength = kPathChars - 1;

// Copies source into dest (kPathChars characters). Returns false, and
// leaves dest empty, when source is longer than kPathMaxLength.
bool CopyPath(char *dest, const char *source);

// Copies count characters of source behind dest[at] and terminates. Returns
// false, and writes nothing, when the result would not fit kPathChars.
bool AppendPath(char *dest, size_t at, const char *source, size_t count);

// Result codes of MakeAbsolutePath besides a length.
#define ABSOLUTE_PATH_TOO_LONG (-1)   // the absolute path would not fit
#define ABSOLUTE_PATH_NO_CURRENT (-2) // current directory unknown or too long

// Rewrites the path in its buffer (kPathChars characters) as an
// absolute path and returns its new length, or one of the codes above (the
// buffer is then unchanged).
//   - a path with a colon anywhere is left as it is;
//   - a path starting with two backslashes (a network path) is left as it is;
//   - a path starting with one backslash is taken from the root of the
//     current directory's drive ("C:" on Windows; nothing on the host);
//   - any other path is joined to the current directory by one backslash.
int MakeAbsolutePath(char *path);

// Length of the drive part at the start of an absolute directory: 2 for
// "C:...", the length of "\\server\share" for a network path, else 0.
size_t DrivePrefixLength(const char *directory);

// Writes path into out (kPathChars characters) in the form the
// platform resolves it to, so that two spellings of one place compare equal:
// its drive part as written, then its components, each behind one backslash,
// with empty and "." components dropped and each ".." taking away the
// component before it (never the drive part); "/" is a separator too. A
// path with no components resolves to its drive part and a backslash. False
// when the result would not fit.
bool ResolvePath(const char *path, char *out);

// True when the platform finds the path, or fails to look for any reason but
// a missing file (ERROR_FILE_NOT_FOUND), a missing directory on the way
// (ERROR_PATH_NOT_FOUND), or a path no file on disk can have: one the
// platform cannot name (ERROR_INVALID_NAME) or one longer than its paths
// (ERROR_FILENAME_EXCED_RANGE, Windows' 260 characters).
bool PathExists(const char *path);

// True when an archive entry's name can be joined to a path: not empty and
// free of backslashes, slashes and colons, so it names one entry of the
// directory it was found in and no other place.
bool IsSafeEntryName(const char *name);

#endif
