// Tar members into a hash-indexed tree of entries.
#include "archive_ref/tar_index.h"

#include "archive_ref/utf_text.h"

#include <stdlib.h>
#include <string.h>

// ---- Hashing ----
static uint32_t HashPath(const char *path, size_t length)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; i++)
        hash = (hash ^ (unsigned char)RefLowerAscii(path[i])) * 16777619u;
    return hash;
}

uint32_t TarIndexFind(const TarIndex *index, const char *path, size_t length)
{
    if (length == 0)
        return kTarRoot;
    if (index->bucketCount == 0)
        return kTarNone;
    uint32_t at = index->buckets[HashPath(path, length) & (index->bucketCount - 1)];
    while (at != kTarNone) {
        const TarEntry *entry = &index->entries[at];
        if (strlen(entry->path) == length && RefSameNoCase(entry->path, path, length))
            return at;
        at = entry->hashNext;
    }
    return kTarNone;
}

uint32_t TarFirstChild(const TarIndex *index, uint32_t directory)
{
    if (directory == kTarRoot)
        return index->rootFirstChild;
    if (directory >= index->count || !index->entries[directory].isDirectory)
        return kTarNone;
    return index->entries[directory].firstChild;
}

static bool Rehash(TarIndex *index, uint32_t bucket_count)
{
    uint32_t *buckets = (uint32_t *)malloc(sizeof(uint32_t) * bucket_count);
    if (buckets == NULL)
        return false;
    memset(buckets, 0xFF, sizeof(uint32_t) * bucket_count);
    for (uint32_t i = 0; i < index->count; i++) {
        TarEntry *entry = &index->entries[i];
        uint32_t slot = HashPath(entry->path, strlen(entry->path)) & (bucket_count - 1);
        entry->hashNext = buckets[slot];
        buckets[slot] = i;
    }
    free(index->buckets);
    index->buckets = buckets;
    index->bucketCount = bucket_count;
    return true;
}

// ---- Building ----
// Room for count entries and their hash buckets, allocated before the first.
static bool ReserveEntries(TarIndex *index, uint32_t count)
{
    if (count == 0)
        return true;
    if (count > KVZ_REF_MAX_ENTRIES)
        count = KVZ_REF_MAX_ENTRIES;
    index->entries = (TarEntry *)malloc(sizeof(TarEntry) * count);
    if (index->entries == NULL)
        return false;
    index->capacity = count;
    uint32_t buckets = 64;
    while (buckets < count)
        buckets *= 2;
    return Rehash(index, buckets);
}

static bool GrowEntries(TarIndex *index)
{
    if (index->count < index->capacity)
        return true;
    if (index->capacity >= KVZ_REF_MAX_ENTRIES)
        return false;
    uint32_t capacity = index->capacity == 0 ? 64 : index->capacity * 2;
    if (capacity > KVZ_REF_MAX_ENTRIES)
        capacity = KVZ_REF_MAX_ENTRIES;
    TarEntry *entries = (TarEntry *)realloc(index->entries, sizeof(TarEntry) * capacity);
    if (entries == NULL)
        return false;
    index->entries = entries;
    index->capacity = capacity;
    return true;
}

// Smallest block added when the reserved names run out.
static const size_t kNameBlockMin = 4096;

static bool AddNameBlock(TarIndex *index, size_t room)
{
    if (room < kNameBlockMin)
        room = kNameBlockMin;
    TarNameBlock *block = (TarNameBlock *)malloc(sizeof(TarNameBlock) + room);
    if (block == NULL)
        return false;
    block->next = index->names;
    block->used = 0;
    block->room = room;
    index->names = block;
    return true;
}

// A copy of text[0..length) with a terminator, in the newest name block.
static char *StoreName(TarIndex *index, const char *text, size_t length)
{
    TarNameBlock *block = index->names;
    if ((block == NULL || block->room - block->used < length + 1) &&
        !AddNameBlock(index, length + 1))
        return NULL;
    block = index->names;
    char *copy = (char *)(block + 1) + block->used;
    block->used += length + 1;
    memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

static void LinkChild(TarIndex *index, uint32_t parent, uint32_t child)
{
    uint32_t *first =
        parent == kTarRoot ? &index->rootFirstChild : &index->entries[parent].firstChild;
    uint32_t *last = parent == kTarRoot ? &index->rootLastChild : &index->entries[parent].lastChild;
    if (*first == kTarNone)
        *first = child;
    else
        index->entries[*last].nextSibling = child;
    *last = child;
}

// Appends the entry path[0..length), whose last component starts at name_at.
static uint32_t AppendEntry(TarIndex *index, const char *path, size_t length, size_t name_at,
                            uint32_t parent, const TarEntry *model)
{
    if (!GrowEntries(index))
        return kTarNone;
    char *copy = StoreName(index, path, length);
    if (copy == NULL)
        return kTarNone;
    uint32_t id = index->count++;
    TarEntry *entry = &index->entries[id];
    *entry = *model;
    entry->path = copy;
    entry->nameAt = (uint32_t)name_at;
    entry->parent = parent;
    entry->firstChild = entry->lastChild = entry->nextSibling = kTarNone;
    LinkChild(index, parent, id);
    if (index->count > index->bucketCount) {
        if (!Rehash(index, index->bucketCount == 0 ? 64 : index->bucketCount * 2))
            return kTarNone;
    } else {
        uint32_t slot = HashPath(copy, length) & (index->bucketCount - 1);
        entry->hashNext = index->buckets[slot];
        index->buckets[slot] = id;
    }
    return id;
}

// Adds path (normal form) and every directory above it that is not there yet.
static TarResult AddPath(TarIndex *index, const char *path, const TarEntry *model)
{
    static const TarEntry kImpliedDirectory = {NULL, 0, 0, 0, 0, 0, 0, 0, 0, 0, true};
    size_t length = strlen(path);
    uint32_t parent = kTarRoot;
    for (size_t start = 0;;) {
        size_t end = start;
        while (end < length && path[end] != '\\')
            end++;
        bool last = end == length;
        uint32_t found = TarIndexFind(index, path, end);
        if (found == kTarNone) {
            found = AppendEntry(index, path, end, start, parent, last ? model : &kImpliedDirectory);
            if (found == kTarNone)
                return TAR_NO_MEMORY;
        } else if (!index->entries[found].isDirectory || (last && !model->isDirectory)) {
            return TAR_DUPLICATE;
        } else if (last) {
            index->entries[found].mtime = model->mtime;
        }
        if (last)
            return TAR_OK;
        parent = found;
        start = end + 1;
    }
}

// ---- Names ----
static bool IsForbiddenByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
           c == '<' || c == '>' || c == '|';
}

static bool IsValidComponent(const char *text, size_t length)
{
    if (length == 2 && text[0] == '.' && text[1] == '.')
        return false;
    const unsigned char *p = (const unsigned char *)text;
    for (size_t i = 0; i < length;) {
        unsigned long code;
        size_t used = Utf8Decode(p + i, length - i, &code);
        if (used == 0 || (used == 1 && IsForbiddenByte(p[i])))
            return false;
        i += used;
    }
    return true;
}

// Turns the raw '/'-separated name into the index's form in out (room for
// kTarPathMax characters and a terminator): components joined by '\', with
// empty and "." components dropped. An empty result is the root.
static TarResult NormaliseName(const char *raw, char *out)
{
    if (raw[0] == '/')
        return TAR_BAD_NAME;
    size_t length = 0;
    for (const char *p = raw; *p != 0;) {
        while (*p == '/')
            p++;
        const char *start = p;
        while (*p != 0 && *p != '/')
            p++;
        size_t part = (size_t)(p - start);
        if (part == 0 || (part == 1 && start[0] == '.'))
            continue;
        if (!IsValidComponent(start, part))
            return TAR_BAD_NAME;
        if (length + (length > 0 ? 1 : 0) + part > kTarPathMax)
            return TAR_NAME_TOO_LONG;
        if (length > 0)
            out[length++] = '\\';
        memcpy(out + length, start, part);
        length += part;
    }
    out[length] = 0;
    return TAR_OK;
}

// The file entry a hard link names, or kTarNone when the name could name no
// file read so far: too long, malformed, absent, a later member, a directory.
static uint32_t FindLinkedFile(const TarIndex *index, const TarMember *member)
{
    char path[kTarPathMax + 1];
    if (member->linkNameTooLong || NormaliseName(member->linkName, path) != TAR_OK)
        return kTarNone;
    uint32_t found = TarIndexFind(index, path, strlen(path));
    if (found == kTarNone || found == kTarRoot || index->entries[found].isDirectory)
        return kTarNone;
    return found;
}

// What the member's entry holds: its own data, or a hard link's target's.
// False when the member has no entry of its own.
static bool ModelOfMember(const TarIndex *index, const TarMember *member, TarEntry *model)
{
    *model = TarEntry();
    if (member->kind == TAR_MEMBER_SKIPPED)
        return false;
    if (member->kind == TAR_MEMBER_HARD_LINK) {
        uint32_t target = FindLinkedFile(index, member);
        if (target == kTarNone)
            return false;
        *model = index->entries[target];
        return true;
    }
    model->dataOffset = member->dataOffset;
    model->size = member->size;
    model->mtime = member->mtime;
    model->isDirectory = member->kind == TAR_MEMBER_DIRECTORY;
    return true;
}

// A hard link whose target is served becomes a file of its own, held to
// every rule a file's name is held to; one to nothing is left out.
static TarResult AddMember(TarIndex *index, const TarMember *member)
{
    TarEntry model;
    if (!ModelOfMember(index, member, &model))
        return TAR_OK;
    if (member->nameTooLong)
        return TAR_NAME_TOO_LONG;
    char path[kTarPathMax + 1];
    TarResult result = NormaliseName(member->name, path);
    if (result != TAR_OK)
        return result;
    if (path[0] == 0)
        return model.isDirectory ? TAR_OK : TAR_BAD_NAME;
    return AddPath(index, path, &model);
}

// The first pass: how many members the index may take and how many bytes
// their names take with terminators, up to the first fault (the second pass
// reports it).
static void CountMembers(TarReader reader, uint32_t *members, size_t *name_bytes)
{
    bool at_end = false;
    TarMember member;
    *members = 0;
    *name_bytes = 0;
    while (*members < KVZ_REF_MAX_ENTRIES && TarNextMember(&reader, &member, &at_end) == TAR_OK &&
           !at_end) {
        if (member.kind == TAR_MEMBER_SKIPPED)
            continue;
        ++*members;
        *name_bytes += strlen(member.name) + 1;
    }
}

static TarResult ReadEntries(TarIndex *index, TarReader reader)
{
    for (;;) {
        TarMember member;
        bool at_end = false;
        TarResult result = TarNextMember(&reader, &member, &at_end);
        if (result != TAR_OK || at_end)
            return result;
        result = AddMember(index, &member);
        if (result != TAR_OK)
            return result;
    }
}

TarResult TarIndexBuild(TarIndex *index, uint64_t archive_size, TarReadFn read, void *context)
{
    index->rootFirstChild = index->rootLastChild = kTarNone;
    const TarReader reader = {archive_size, read, context, 0};
    uint32_t members = 0;
    size_t name_bytes = 0;
    CountMembers(reader, &members, &name_bytes);
    TarResult result = TAR_NO_MEMORY;
    if (ReserveEntries(index, members) && (members == 0 || AddNameBlock(index, name_bytes)))
        result = ReadEntries(index, reader);
    if (result != TAR_OK)
        TarIndexFree(index);
    return result;
}

// ---- Memory archives ----
struct MemoryArchive {
    const unsigned char *bytes;
    size_t size;
};

static bool ReadMemory(void *context, uint64_t offset, void *buffer, uint32_t size)
{
    const MemoryArchive *archive = (const MemoryArchive *)context;
    if (offset > archive->size || archive->size - offset < size)
        return false;
    memcpy(buffer, archive->bytes + offset, size);
    return true;
}

TarResult TarIndexFromMemory(TarIndex *index, const void *bytes, size_t size)
{
    MemoryArchive archive = {(const unsigned char *)bytes, size};
    return TarIndexBuild(index, size, ReadMemory, &archive);
}

void TarIndexFree(TarIndex *index)
{
    while (index->names != NULL) {
        TarNameBlock *next = index->names->next;
        free(index->names);
        index->names = next;
    }
    free(index->entries);
    free(index->buckets);
    memset(index, 0, sizeof *index);
    index->rootFirstChild = index->rootLastChild = kTarNone;
}

const char *TarResultName(TarResult result)
{
    static const char *const kNames[] = {
        "ok",
        "truncated",
        "bad checksum",
        "bad magic",
        "bad number",
        "unsupported type",
        "bad name",
        "duplicate",
        "past end",
        "no memory",
        "read failed",
        "bad record",
        "name too long",
    };
    unsigned at = (unsigned)result;
    return at < sizeof kNames / sizeof kNames[0] ? kNames[at] : "unknown";
}
