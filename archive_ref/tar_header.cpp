// Header blocks, GNU long-name records and pax extended headers.
#include "archive_ref/tar_header.h"

#include <string.h>

// ---- Header fields ----
enum {
    kNameAt = 0,
    kNameSize = 100,
    kSizeAt = 124,
    kSizeSize = 12,
    kMtimeAt = 136,
    kMtimeSize = 12,
    kChecksumAt = 148,
    kChecksumSize = 8,
    kTypeAt = 156,
    kLinkNameAt = 157,
    kLinkNameSize = 100,
    kMagicAt = 257,
    kPrefixAt = 345, // POSIX ustar only; GNU headers keep other fields there
    kPrefixSize = 155,
    kSparseMoreAt = 482,      // GNU sparse header: an extension block follows
    kSparseBlockMoreAt = 504, // the same flag in an extension block
};

// What a header block is for.
enum HeaderRole {
    ROLE_FILE,
    ROLE_DIRECTORY,
    ROLE_HARD_LINK,
    ROLE_SKIPPED,
    ROLE_SPARSE, // skipped; GNU may put extension blocks before its data
    ROLE_LONG_NAME,
    ROLE_LONG_LINK,
    ROLE_PAX,
    ROLE_PAX_GLOBAL,
    ROLE_UNKNOWN,
};

static HeaderRole RoleOf(unsigned char type)
{
    switch (type) {
    case '0':
    case 0:
    case '7': // contiguous: a regular file wherever that is not supported
        return ROLE_FILE;
    case '5':
    case 'D': // GNU incremental directory; its data lists names
        return ROLE_DIRECTORY;
    case '1':
        return ROLE_HARD_LINK;
    case '2':
    case '3':
    case '4':
    case '6':
    case 'V':
        return ROLE_SKIPPED;
    case 'S':
        return ROLE_SPARSE;
    case 'L':
        return ROLE_LONG_NAME;
    case 'K':
        return ROLE_LONG_LINK;
    case 'x':
        return ROLE_PAX;
    case 'g':
        return ROLE_PAX_GLOBAL;
    default:
        return ROLE_UNKNOWN;
    }
}

// What the extension headers read so far say about the member that follows.
enum NameSource { NAME_FROM_HEADER, NAME_FROM_LONG_RECORD, NAME_FROM_PAX };

struct Pending {
    bool waiting; // an extension header has been read, its member not yet
    NameSource nameFrom;
    NameSource linkFrom;
    bool hasSize;
    uint64_t size;
    bool sparse; // pax GNU.sparse records: the data is a sparse map
};

// ---- Numbers ----
static bool ParseOctal(const unsigned char *field, size_t size, uint64_t *value)
{
    size_t i = 0;
    while (i < size && field[i] == ' ')
        i++;
    size_t digits = 0;
    uint64_t result = 0;
    for (; i < size && field[i] >= '0' && field[i] <= '7'; i++, digits++)
        result = (result << 3) | (uint64_t)(field[i] - '0');
    for (; i < size; i++)
        if (field[i] != ' ' && field[i] != 0)
            return false;
    *value = result;
    return digits > 0;
}

// GNU base-256: the first byte's top bit marks it, its next bit is the sign,
// the rest is a big-endian two's complement number. False when it does not
// fit in 63 bits and a sign.
static bool ParseBase256(const unsigned char *field, size_t size, int64_t *value)
{
    bool negative = (field[0] & 0x40) != 0;
    unsigned char flip = negative ? 0xFF : 0;
    uint64_t magnitude = (uint64_t)((field[0] ^ flip) & 0x3F);
    for (size_t i = 1; i < size; i++) {
        if (magnitude > ((uint64_t)INT64_MAX >> 8))
            return false;
        magnitude = (magnitude << 8) | (uint64_t)(unsigned char)(field[i] ^ flip);
    }
    *value = negative ? -(int64_t)magnitude - 1 : (int64_t)magnitude;
    return true;
}

// An octal (12 octal digits hold at most 36 bits) or base-256 number field.
static bool ParseNumber(const unsigned char *field, size_t size, int64_t *value)
{
    if ((field[0] & 0x80) != 0)
        return ParseBase256(field, size, value);
    uint64_t octal;
    if (!ParseOctal(field, size, &octal))
        return false;
    *value = (int64_t)octal;
    return true;
}

// A pax decimal value of 1 to 19 digits.
static bool ParseDecimal(const char *text, size_t length, uint64_t *value)
{
    if (length == 0 || length > 19)
        return false;
    uint64_t result = 0;
    for (size_t i = 0; i < length; i++) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (uint64_t)(text[i] - '0');
    }
    *value = result;
    return true;
}

// ---- One header block ----
static bool ChecksumMatches(const unsigned char *block, uint64_t stored)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < kTarBlockSize; i++)
        sum += (i >= kChecksumAt && i < kChecksumAt + kChecksumSize) ? ' ' : block[i];
    return sum == stored;
}

static bool IsZeroBlock(const unsigned char *block)
{
    for (size_t i = 0; i < kTarBlockSize; i++)
        if (block[i] != 0)
            return false;
    return true;
}

static size_t FieldLength(const unsigned char *field, size_t size)
{
    size_t length = 0;
    while (length < size && field[length] != 0)
        length++;
    return length;
}

// The parts of a header block every role needs.
struct Block {
    unsigned char bytes[kTarBlockSize];
    bool gnu; // GNU magic: no prefix field
    uint64_t size;
    int64_t mtime;
};

static TarResult ParseBlock(Block *block)
{
    const unsigned char *b = block->bytes;
    uint64_t checksum;
    if (!ParseOctal(b + kChecksumAt, kChecksumSize, &checksum))
        return TAR_BAD_NUMBER;
    if (KVZ_REF_CHECK_SUMS && !ChecksumMatches(b, checksum))
        return TAR_BAD_CHECKSUM;
    if (memcmp(b + kMagicAt, "ustar", 6) == 0)
        block->gnu = false;
    else if (memcmp(b + kMagicAt, "ustar  ", 8) == 0)
        block->gnu = true;
    else
        return TAR_BAD_MAGIC;
    int64_t size;
    if (!ParseNumber(b + kSizeAt, kSizeSize, &size) || size < 0 ||
        !ParseNumber(b + kMtimeAt, kMtimeSize, &block->mtime))
        return TAR_BAD_NUMBER;
    block->size = (uint64_t)size;
    return TAR_OK;
}

// The name of the header fields: prefix '/' name for ustar, name for GNU.
static void NameFromFields(const Block *block, char *name)
{
    const unsigned char *b = block->bytes;
    size_t prefix = block->gnu ? 0 : FieldLength(b + kPrefixAt, kPrefixSize);
    size_t length = FieldLength(b + kNameAt, kNameSize);
    size_t at = 0;
    if (prefix > 0) {
        memcpy(name, b + kPrefixAt, prefix);
        name[prefix] = '/';
        at = prefix + 1;
    }
    memcpy(name + at, b + kNameAt, length);
    name[at + length] = 0;
}

// The link name of the header: its field has no prefix in any format.
static void LinkNameFromField(const Block *block, char *link_name)
{
    size_t length = FieldLength(block->bytes + kLinkNameAt, kLinkNameSize);
    memcpy(link_name, block->bytes + kLinkNameAt, length);
    link_name[length] = 0;
}

// ---- Extension data ----
static bool ReadAt(const TarReader *reader, uint64_t offset, void *buffer, uint32_t size)
{
    return size == 0 || reader->read(reader->context, offset, buffer, size);
}

// One of the member's two names, and where it came from: its own name or the
// name of the member a link points to.
struct NameSlot {
    char *text; // kTarRawNameMax characters
    bool *tooLong;
    NameSource *from;
};

static NameSlot OwnName(TarMember *member, Pending *pending)
{
    NameSlot slot = {member->name, &member->nameTooLong, &pending->nameFrom};
    return slot;
}

static NameSlot LinkName(TarMember *member, Pending *pending)
{
    NameSlot slot = {member->linkName, &member->linkNameTooLong, &pending->linkFrom};
    return slot;
}

// Stores a name of length bytes at offset in the slot, or marks it too long;
// a NUL inside it is refused.
static TarResult ReadName(const TarReader *reader, uint64_t offset, uint64_t length, NameSlot slot)
{
    slot.text[0] = 0;
    *slot.tooLong = length >= kTarRawNameMax;
    if (*slot.tooLong)
        return TAR_OK;
    if (!ReadAt(reader, offset, slot.text, (uint32_t)length))
        return TAR_READ_FAILED;
    slot.text[length] = 0;
    return strlen(slot.text) == length ? TAR_OK : TAR_BAD_NAME;
}

// A GNU long-name or long-link record: the name up to its first terminator,
// as GNU tar takes it. A pax path or linkpath read before it wins.
static TarResult ReadLongName(const TarReader *reader, uint64_t offset, uint64_t size,
                              NameSlot slot)
{
    if (*slot.from == NAME_FROM_PAX)
        return TAR_OK;
    *slot.from = NAME_FROM_LONG_RECORD;
    const uint32_t room = kTarRawNameMax - 1;
    uint32_t got = size < room ? (uint32_t)size : room;
    if (!ReadAt(reader, offset, slot.text, got))
        return TAR_READ_FAILED;
    const char *end = (const char *)memchr(slot.text, 0, got); // no strnlen on the handheld
    size_t length = end != NULL ? (size_t)(end - slot.text) : got;
    *slot.tooLong = length == got && size > got;
    slot.text[*slot.tooLong ? 0 : length] = 0;
    return TAR_OK;
}

// A pax path or linkpath: an empty value gives the header's name back.
static TarResult ReadPaxName(const TarReader *reader, uint64_t offset, uint64_t length,
                             NameSlot slot)
{
    *slot.from = length > 0 ? NAME_FROM_PAX : NAME_FROM_HEADER;
    return length > 0 ? ReadName(reader, offset, length, slot) : TAR_OK;
}

// One pax record "LENGTH KEY=VALUE\n" at offset, ending at most at end:
// applies path, linkpath, size and GNU.sparse keys and gives its length in
// *length.
static TarResult ReadPaxRecord(const TarReader *reader, uint64_t offset, uint64_t end,
                               TarMember *member, Pending *pending, uint64_t *length)
{
    char head[32];
    uint32_t got = end - offset < sizeof head ? (uint32_t)(end - offset) : sizeof head;
    if (!ReadAt(reader, offset, head, got))
        return TAR_READ_FAILED;
    size_t i = 0;
    while (i < got && head[i] >= '0' && head[i] <= '9')
        i++;
    // The shortest record is "LENGTH k=\n".
    if (i == got || head[i] != ' ' || !ParseDecimal(head, i, length) || *length > end - offset ||
        *length < i + 4)
        return TAR_BAD_RECORD;
    size_t key = i + 1;
    size_t limit = *length - 1 < got ? (size_t)(*length - 1) : got;
    size_t equals = key;
    while (equals < limit && head[equals] != '=')
        equals++;
    if (equals == key || (equals == limit && limit == *length - 1))
        return TAR_BAD_RECORD;
    unsigned char last;
    if (!ReadAt(reader, offset + *length - 1, &last, 1))
        return TAR_READ_FAILED;
    if (last != '\n')
        return TAR_BAD_RECORD;
    size_t key_length = equals - key;
    uint64_t value_at = offset + equals + 1;
    uint64_t value_length = *length - (equals + 1) - 1;
    if (key_length >= 11 && memcmp(head + key, "GNU.sparse.", 11) == 0)
        pending->sparse = true;
    if (equals == limit)
        return TAR_OK; // a key longer than head: none of ours
    if (key_length == 4 && memcmp(head + key, "path", 4) == 0)
        return ReadPaxName(reader, value_at, value_length, OwnName(member, pending));
    if (key_length == 8 && memcmp(head + key, "linkpath", 8) == 0)
        return ReadPaxName(reader, value_at, value_length, LinkName(member, pending));
    if (key_length == 4 && memcmp(head + key, "size", 4) == 0) {
        char digits[20];
        pending->hasSize = value_length > 0;
        if (value_length == 0)
            return TAR_OK;
        if (value_length >= sizeof digits)
            return TAR_BAD_RECORD;
        if (!ReadAt(reader, value_at, digits, (uint32_t)value_length))
            return TAR_READ_FAILED;
        return ParseDecimal(digits, (size_t)value_length, &pending->size) &&
                       pending->size <= (uint64_t)INT64_MAX
                   ? TAR_OK
                   : TAR_BAD_RECORD;
    }
    return TAR_OK;
}

static TarResult ReadPaxRecords(const TarReader *reader, uint64_t offset, uint64_t size,
                                TarMember *member, Pending *pending)
{
    uint64_t end = offset + size;
    while (offset < end) {
        uint64_t length = 0;
        TarResult result = ReadPaxRecord(reader, offset, end, member, pending, &length);
        if (result != TAR_OK)
            return result;
        offset += length;
    }
    return TAR_OK;
}

// Moves *data_offset past the extension blocks of a GNU sparse header.
static TarResult SkipSparseBlocks(const TarReader *reader, const Block *block,
                                  uint64_t *data_offset)
{
    bool more = block->gnu && block->bytes[kSparseMoreAt] != 0;
    while (more) {
        unsigned char extension[kTarBlockSize];
        if (reader->archiveSize - *data_offset < kTarBlockSize)
            return TAR_TRUNCATED;
        if (!ReadAt(reader, *data_offset, extension, kTarBlockSize))
            return TAR_READ_FAILED;
        more = extension[kSparseBlockMoreAt] != 0;
        *data_offset += kTarBlockSize;
    }
    return TAR_OK;
}

// ---- Members ----
// Reads the block at reader->offset into block; *at_end at a zero block.
static TarResult ReadBlock(TarReader *reader, Block *block, bool *at_end)
{
    *at_end = false;
    if (reader->offset > reader->archiveSize ||
        reader->archiveSize - reader->offset < kTarBlockSize)
        return TAR_TRUNCATED;
    if (!ReadAt(reader, reader->offset, block->bytes, kTarBlockSize))
        return TAR_READ_FAILED;
    if (IsZeroBlock(block->bytes)) {
        *at_end = true;
        return TAR_OK;
    }
    return ParseBlock(block);
}

// Reads what an extension header or a sparse member keeps before or in its
// data; moves *data_offset past sparse extension blocks.
static TarResult ReadRoleData(const TarReader *reader, HeaderRole role, const Block *block,
                              uint64_t *data_offset, TarMember *member, Pending *pending)
{
    switch (role) {
    case ROLE_LONG_NAME:
        return ReadLongName(reader, *data_offset, block->size, OwnName(member, pending));
    case ROLE_LONG_LINK:
        return ReadLongName(reader, *data_offset, block->size, LinkName(member, pending));
    case ROLE_PAX:
        return ReadPaxRecords(reader, *data_offset, block->size, member, pending);
    case ROLE_SPARSE:
        return SkipSparseBlocks(reader, block, data_offset);
    case ROLE_UNKNOWN:
        return TAR_UNSUPPORTED_TYPE;
    default:
        return TAR_OK;
    }
}

// Headers that describe the member after them.
static bool IsExtension(HeaderRole role)
{
    return role == ROLE_LONG_NAME || role == ROLE_LONG_LINK || role == ROLE_PAX;
}

static void FillMember(HeaderRole role, const Block *block, const Pending *pending,
                       TarMember *member)
{
    if (pending->nameFrom == NAME_FROM_HEADER) {
        NameFromFields(block, member->name);
        member->nameTooLong = false;
    }
    if (pending->linkFrom == NAME_FROM_HEADER) {
        LinkNameFromField(block, member->linkName);
        member->linkNameTooLong = false;
    }
    member->kind = role == ROLE_FILE        ? TAR_MEMBER_FILE
                   : role == ROLE_DIRECTORY ? TAR_MEMBER_DIRECTORY
                   : role == ROLE_HARD_LINK ? TAR_MEMBER_HARD_LINK
                                            : TAR_MEMBER_SKIPPED;
    if (pending->sparse)
        member->kind = TAR_MEMBER_SKIPPED;
    member->mtime = block->mtime;
}

TarResult TarNextMember(TarReader *reader, TarMember *member, bool *at_end)
{
    Pending pending = {false, NAME_FROM_HEADER, NAME_FROM_HEADER, false, 0, false};
    member->name[0] = 0;
    member->nameTooLong = false;
    member->linkName[0] = 0;
    member->linkNameTooLong = false;
    for (;;) {
        Block block;
        TarResult result = ReadBlock(reader, &block, at_end);
        if (result != TAR_OK)
            return result;
        if (*at_end)
            return pending.waiting ? TAR_BAD_RECORD : TAR_OK;
        HeaderRole role = RoleOf(block.bytes[kTypeAt]);
        bool extension = IsExtension(role) || role == ROLE_PAX_GLOBAL;
        uint64_t size = !extension && pending.hasSize ? pending.size : block.size;
        uint64_t data_offset = reader->offset + kTarBlockSize;
        if (size > reader->archiveSize - data_offset)
            return TAR_PAST_END;
        result = ReadRoleData(reader, role, &block, &data_offset, member, &pending);
        if (result != TAR_OK)
            return result;
        if (size > reader->archiveSize - data_offset) // past sparse extension blocks
            return TAR_PAST_END;
        // Both lie within the archive, so neither sum can overflow.
        uint64_t padding = (kTarBlockSize - size % kTarBlockSize) % kTarBlockSize;
        reader->offset = data_offset + size + padding;
        if (extension) {
            pending.waiting = pending.waiting || IsExtension(role);
            continue;
        }
        FillMember(role, &block, &pending, member);
        member->dataOffset = data_offset;
        member->size = member->kind == TAR_MEMBER_FILE ? size : 0;
        return TAR_OK;
    }
}
