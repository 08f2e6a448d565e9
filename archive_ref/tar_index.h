// The index of a tar archive: every regular file and directory it holds,
// with the directories its paths imply, found by path in constant time.
//
// The members come from tar_header.h (ustar, GNU and pax). A hard link is a
// file with the data of the file it names, when that file came earlier in
// the archive. Symbolic links, hard links to anything else, devices, fifos,
// sparse files and volume labels are left out; the rest still mounts. What the library could not
// serve faithfully as a Windows file tree refuses the whole archive: absolute names, ".."
// components, backslashes, characters Windows forbids in names, malformed UTF-8, a path longer than
// kTarPathMax, a name used twice, and every fault of the headers themselves (a header cut short, a
// bad checksum, a malformed number or pax record, data running past the end, a missing end block).
#ifndef KVZ_REF_TAR_INDEX_H
#define KVZ_REF_TAR_INDEX_H

#include "archive_ref/tar_header.h"

#include <stddef.h>
#include <stdint.h>

// A hostile archive of tiny headers with deep paths could otherwise make the
// index claim far more memory than its own size.
#ifndef KVZ_REF_MAX_ENTRIES
#define KVZ_REF_MAX_ENTRIES (1u << 22)
#endif

static const uint32_t kTarNone = 0xFFFFFFFFu; // no entry
static const uint32_t kTarRoot = 0xFFFFFFFEu; // the archive's top level, which has no entry

struct TarEntry {
    char *path;          // below the archive root, '\'-separated; in a name block
    uint32_t nameAt;     // offset of the last component in path
    uint32_t parent;     // directory entry, or kTarRoot
    uint32_t firstChild; // children in archive order
    uint32_t lastChild;
    uint32_t nextSibling;
    uint32_t hashNext;   // chain of the path's hash bucket
    uint64_t dataOffset; // of the file's first byte in the archive
    uint64_t size;
    int64_t mtime; // seconds since 1970; 0 for implied directories
    bool isDirectory;
};

// A block of entry paths, allocated whole; the bytes follow the record.
struct TarNameBlock {
    TarNameBlock *next;
    size_t used;
    size_t room;
};

// Built in a bounded number of allocations: the headers are counted first,
// then the entries, the hash buckets and the paths each get one allocation
// of the size they need. Only directories that the archive implies without
// listing them can make one of them grow.
struct TarIndex {
    TarEntry *entries;
    uint32_t count;
    uint32_t capacity;
    uint32_t *buckets; // heads of hash chains; bucketCount is a power of two
    uint32_t bucketCount;
    uint32_t rootFirstChild;
    uint32_t rootLastChild;
    TarNameBlock *names; // newest first
};

// Builds index (which must be zeroed) from an archive of archive_size bytes
// read through read. On any result but TAR_OK the index is left empty.
TarResult TarIndexBuild(TarIndex *index, uint64_t archive_size, TarReadFn read, void *context);

// The same over an archive held in memory.
TarResult TarIndexFromMemory(TarIndex *index, const void *bytes, size_t size);

// Frees what the index holds and zeroes it.
void TarIndexFree(TarIndex *index);

// The entry of path[0..length) ('\'-separated, no leading or trailing
// separator), ignoring ASCII case: kTarRoot for "", kTarNone when absent.
uint32_t TarIndexFind(const TarIndex *index, const char *path, size_t length);

// First child of a directory entry (or kTarRoot) in archive order, kTarNone
// when it has none or is a file.
uint32_t TarFirstChild(const TarIndex *index, uint32_t directory);

// A short English word for a result, for messages and tests.
const char *TarResultName(TarResult result);

#endif
