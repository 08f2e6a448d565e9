// The members of a tar archive in the three forms GNU tar writes: POSIX
// ustar headers (name and prefix fields), the GNU format (long-name and
// long-link records 'L' and 'K', base-256 numbers, no prefix field) and pax
// (extended headers 'x', whose "path", "linkpath" and "size" override the
// header's; global headers 'g', read past). Every field is checked, every size against
// the end of the archive, before it is used; the reader never touches a
// byte outside the archive.
#ifndef KVZ_REF_TAR_HEADER_H
#define KVZ_REF_TAR_HEADER_H

#include "archive_ref/ref_paths.h"

#include <stddef.h>
#include <stdint.h>

// A tar archive is a row of blocks of this size: each header, and each
// member's data padded to whole blocks.
static const uint32_t kTarBlockSize = 512;

// Longest path below the archive root an entry may have: the library's paths
// hold KVZ_REF_PATH_MAX - 1 characters, so a longer entry could never be
// named by a caller.
static const size_t kTarPathMax = KVZ_REF_PATH_MAX - 1;

// Room for a member's name as the archive spells it, terminator included.
// Twice the path limit leaves room for the "./" components and doubled
// slashes that the index drops; prefix, '/' and name of a ustar header
// always fit. A longer name marks the member's name as too long.
static const size_t kTarRawNameMax = 2 * kTarPathMax + 1 > 257 ? 2 * kTarPathMax + 1 : 257;

// Header checksums are verified; a fuzz build may turn that off (-D...=0) so
// mutated inputs reach the parsing beyond the checksum.
#ifndef KVZ_REF_CHECK_SUMS
#define KVZ_REF_CHECK_SUMS 1
#endif

enum TarResult {
    TAR_OK = 0,
    TAR_TRUNCATED,        // a header cut short, or no end block
    TAR_BAD_CHECKSUM,     // header checksum does not match
    TAR_BAD_MAGIC,        // neither a POSIX ustar nor a GNU header
    TAR_BAD_NUMBER,       // size, mtime or checksum field malformed or out of range
    TAR_UNSUPPORTED_TYPE, // a type no tar writes for files (multi-volume, unknown)
    TAR_BAD_NAME,         // absolute, "..", backslash, forbidden character
    TAR_DUPLICATE,        // a path given twice, or a file where a directory is
    TAR_PAST_END,         // data runs past the end of the archive
    TAR_NO_MEMORY,        // out of memory, or KVZ_REF_MAX_ENTRIES reached
    TAR_READ_FAILED,      // the reader could not supply a block
    TAR_BAD_RECORD,       // malformed pax record, or an extension header without member
    TAR_NAME_TOO_LONG,    // a path longer than kTarPathMax
};

// Supplies exactly size bytes of the archive at offset; false when it cannot.
typedef bool (*TarReadFn)(void *context, uint64_t offset, void *buffer, uint32_t size);

struct TarReader {
    uint64_t archiveSize;
    TarReadFn read;
    void *context;
    uint64_t offset; // of the next header; starts at 0
};

enum TarMemberKind {
    TAR_MEMBER_FILE,
    TAR_MEMBER_DIRECTORY,
    TAR_MEMBER_HARD_LINK, // a second name of the member named by link_name
    TAR_MEMBER_SKIPPED,   // symbolic links, devices, fifos, sparse files, volume labels
};

struct TarMember {
    char name[kTarRawNameMax]; // '/'-separated, as the archive spells it
    bool nameTooLong;          // the name did not fit name[], which is empty
    TarMemberKind kind;
    // The member a link names, spelt as name is (linkname field, GNU 'K'
    // record or pax "linkpath"); read for every member, used for hard links.
    char linkName[kTarRawNameMax];
    bool linkNameTooLong;
    uint64_t dataOffset; // of the member's first data byte in the archive
    uint64_t size;       // of its data; 0 for all but files
    int64_t mtime;       // seconds since 1970
};

// Reads the member at reader->offset, with the extension headers before it,
// and moves the offset past its data: TAR_OK with *member, TAR_OK with
// *at_end set at the end block, the fault otherwise.
TarResult TarNextMember(TarReader *reader, TarMember *member, bool *at_end);

#endif
