#include "resources.h"

#include "bytes.h"
#include "pe_format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- The .res file ----
// Each record: DataSize, HeaderSize, type, name (each 0xFFFF and a number,
// or a terminated UTF-16 string), padding to 4 bytes, then DataVersion,
// MemoryFlags, LanguageId, Version, Characteristics; the data follows the
// header, and the next record starts on the next 4-byte boundary.
static const uint32_t kResPrefixSize = 8;          // DataSize, HeaderSize
static const uint32_t kResTailSize = 16;           // DataVersion to Characteristics
static const uint32_t kResLanguageOffset = 6;      // LanguageId, from the tail's start
static const uint32_t kResMinHeaderSize = 32;      // two numbers and the tail
static const uint16_t kResNumberMark = 0xFFFF;     // a number follows instead of a string
static const uint32_t kMaxSectionSize = 16u << 20; // a version resource takes under 1 KiB

// Reads a type or name field within limit bytes; *used is its size.
static bool ReadId(const uint8_t *p, uint32_t limit, ResourceId *id, uint32_t *used)
{
    memset(id, 0, sizeof *id);
    if (limit >= 4 && ReadLe16(p) == kResNumberMark) {
        id->number = ReadLe16(p + 2);
        *used = 4;
        return true;
    }
    for (uint32_t n = 0; 2 * n + 2 <= limit; n++) {
        if (ReadLe16(p + 2 * n) == 0) {
            id->name = p;
            id->length = n;
            *used = 2 * n + 2;
            return true;
        }
    }
    return false;
}

// The id for messages: its number, or its name with units above ASCII as '?'.
static const char *Describe(const ResourceId *id, char *text, size_t size)
{
    if (!id->name) {
        snprintf(text, size, "%u", id->number);
        return text;
    }
    size_t n = 0;
    for (uint32_t i = 0; i < id->length && n + 1 < size; i++) {
        uint16_t unit = ReadLe16(id->name + 2 * i);
        text[n++] = unit >= 0x20 && unit < 0x7F ? (char)unit : '?';
    }
    text[n] = 0;
    return text;
}

static bool CheckId(const ResourceId *id, const char *field, const char *what, size_t at, Diag *d)
{
    if (id->name && id->length == 0)
        return DiagFail(d, "%s: record at 0x%zx: empty %s", what, at, field);
    if (id->name && id->length > 0xFFFF)
        return DiagFail(d, "%s: record at 0x%zx: %s longer than 65535 units", what, at, field);
    if (!id->name && id->number == 0)
        return DiagFail(d, "%s: record at 0x%zx: %s number 0", what, at, field);
    return true;
}

// Reads the record at `at` into out; *next is where the following one starts.
static bool ReadRecord(const uint8_t *bytes, size_t size, size_t at, Resource *out, size_t *next,
                       const char *what, Diag *d)
{
    const uint8_t *p = bytes + at;
    size_t left = size - at;
    if (left < kResPrefixSize)
        return DiagFail(d, "%s: record at 0x%zx: cut short", what, at);
    uint32_t data_size = ReadLe32(p), header_size = ReadLe32(p + 4);
    if (header_size < kResMinHeaderSize)
        return DiagFail(d, "%s: record at 0x%zx: header size %u is below %u", what, at, header_size,
                        kResMinHeaderSize);
    if (header_size > left || data_size > left - header_size)
        return DiagFail(d,
                        "%s: record at 0x%zx: header of %u and data of %u bytes run past "
                        "the end of the file",
                        what, at, header_size, data_size);
    uint32_t fields = kResPrefixSize, used = 0;
    if (!ReadId(p + fields, header_size - kResTailSize - fields, &out->type, &used))
        return DiagFail(d, "%s: record at 0x%zx: type runs past the header", what, at);
    fields += used;
    if (!ReadId(p + fields, header_size - kResTailSize - fields, &out->name, &used))
        return DiagFail(d, "%s: record at 0x%zx: name runs past the header", what, at);
    fields = (uint32_t)AlignUp(fields + used, 4);
    if (fields + kResTailSize != header_size)
        return DiagFail(d, "%s: record at 0x%zx: header size %u does not match its fields (%u)",
                        what, at, header_size, fields + kResTailSize);
    if (!CheckId(&out->type, "type", what, at, d) || !CheckId(&out->name, "name", what, at, d))
        return false;
    out->language = ReadLe16(p + fields + kResLanguageOffset);
    out->data = p + header_size;
    out->size = data_size;
    size_t end = at + header_size + data_size;
    *next = AlignUp(end, 4) < size ? AlignUp(end, 4) : size;
    return true;
}

// The 32-bit format starts with an empty record of type 0 and name 0; a
// 16-bit .res, which the writer does not read, has none.
static bool HasMarker(const uint8_t *bytes, size_t size)
{
    return size >= kResMinHeaderSize && ReadLe32(bytes) == 0 &&
           ReadLe32(bytes + 4) == kResMinHeaderSize && ReadLe16(bytes + 8) == kResNumberMark &&
           ReadLe16(bytes + 10) == 0 && ReadLe16(bytes + 12) == kResNumberMark &&
           ReadLe16(bytes + 14) == 0;
}

// ---- Order and grouping ----

static int CompareIds(const ResourceId *a, const ResourceId *b)
{
    if (!a->name || !b->name) {
        if (a->name || b->name)
            return a->name ? -1 : 1; // named entries come first
        return (int)a->number - (int)b->number;
    }
    for (uint32_t i = 0; i < a->length && i < b->length; i++) {
        int diff = (int)ReadLe16(a->name + 2 * i) - (int)ReadLe16(b->name + 2 * i);
        if (diff)
            return diff;
    }
    return (int)(a->length > b->length) - (int)(a->length < b->length);
}

// Compares the first `keys` keys of two resources: type, name, language.
static int CompareKeys(const Resource *a, const Resource *b, int keys)
{
    int diff = 0;
    if (keys >= 1)
        diff = CompareIds(&a->type, &b->type);
    if (!diff && keys >= 2)
        diff = CompareIds(&a->name, &b->name);
    if (!diff && keys >= 3)
        diff = (int)a->language - (int)b->language;
    return diff;
}

static int CompareResources(const void *a, const void *b)
{
    return CompareKeys((const Resource *)a, (const Resource *)b, 3);
}

// The resources from `first` on that share its first `level` keys, and how
// many distinct next keys they hold, named ones among them.
struct ResourceGroup {
    uint32_t end, keys, named;
};

static ResourceGroup GroupAt(const Resources *r, uint32_t first, int level)
{
    ResourceGroup g = {first, 0, 0};
    const Resource *e = r->entries;
    for (uint32_t i = first; i < r->count && CompareKeys(&e[first], &e[i], level) == 0; i++) {
        g.end = i + 1;
        if (i > first && CompareKeys(&e[i - 1], &e[i], level + 1) == 0)
            continue;
        g.keys++;
        if ((level == 0 && e[i].type.name) || (level == 1 && e[i].name.name))
            g.named++;
    }
    return g;
}

// ---- The section ----
// Directories breadth first (root, one per type, one per type and name),
// then the data entries, the name strings, and the data, each on 8 bytes.
static const uint32_t kResAlignment = 8;

struct SectionPlan {
    uint64_t types, names, entriesAt, stringsAt, dataAt, end;
};

static uint64_t StringSize(const ResourceId *id)
{
    return id->name ? 2 + 2 * (uint64_t)id->length : 0;
}

static SectionPlan PlanSection(const Resources *r)
{
    SectionPlan p;
    memset(&p, 0, sizeof p);
    uint64_t strings = 0, data = 0;
    for (uint32_t i = 0; i < r->count; i++) {
        const Resource *e = &r->entries[i];
        bool new_type = i == 0 || CompareKeys(&e[-1], e, 1) != 0;
        bool new_name = new_type || CompareKeys(&e[-1], e, 2) != 0;
        p.types += new_type;
        p.names += new_name;
        strings += (new_type ? StringSize(&e->type) : 0) + (new_name ? StringSize(&e->name) : 0);
        data += AlignUp(e->size, kResAlignment);
    }
    p.entriesAt = kPeResourceDirectorySize * (1 + p.types + p.names) +
                  kPeResourceEntrySize * (p.types + p.names + r->count);
    p.stringsAt = p.entriesAt + kPeResourceDataEntrySize * (uint64_t)r->count;
    p.dataAt = AlignUp(p.stringsAt + strings, kResAlignment);
    p.end = p.dataAt + data;
    return p;
}

static void WriteDirectory(uint8_t *at, uint32_t named, uint32_t numbered)
{
    // Characteristics, TimeDateStamp and version stay 0: the image is reproducible.
    WriteLe16(at + 12, named);
    WriteLe16(at + 14, numbered);
}

// Writes the id half of the directory entry at `slot`, a name into the strings.
static void WriteId(uint8_t *section, uint32_t slot, const ResourceId *id, uint32_t *strings)
{
    if (!id->name) {
        WriteLe32(section + slot, id->number);
        return;
    }
    WriteLe32(section + slot, kPeResourceNameIsString | *strings);
    WriteLe16(section + *strings, id->length);
    memcpy(section + *strings + 2, id->name, 2 * (size_t)id->length);
    *strings += 2 + 2 * id->length;
}

bool ResourcesParse(Resources *out, const char *bytes, size_t size, const char *what, Diag *d)
{
    memset(out, 0, sizeof *out);
    if (!HasMarker((const uint8_t *)bytes, size))
        return DiagFail(d, "%s: not a 32-bit resource file (.res): no empty first record", what);
    out->bytes = (uint8_t *)malloc(size);
    out->entries = (Resource *)calloc(size / kResMinHeaderSize, sizeof(Resource));
    if (!out->bytes || !out->entries) {
        ResourcesFree(out);
        return DiagFail(d, "%s: out of memory", what);
    }
    memcpy(out->bytes, bytes, size);
    for (size_t at = kResMinHeaderSize, next = 0; at < size; at = next) {
        if (!ReadRecord(out->bytes, size, at, &out->entries[out->count], &next, what, d)) {
            ResourcesFree(out);
            return false;
        }
        out->count++;
    }
    qsort(out->entries, out->count, sizeof out->entries[0], CompareResources);
    bool ok = out->count != 0 || DiagFail(d, "%s: holds no resources", what);
    for (uint32_t i = 1; ok && i < out->count; i++) {
        const Resource *e = &out->entries[i];
        char type[64], name[64];
        if (CompareResources(&e[-1], e) == 0)
            ok = DiagFail(d, "%s: resource type %s name %s language 0x%04x appears twice", what,
                          Describe(&e->type, type, sizeof type),
                          Describe(&e->name, name, sizeof name), e->language);
    }
    SectionPlan plan = PlanSection(out);
    if (ok && plan.end > kMaxSectionSize)
        ok = DiagFail(d, "%s: the resource section would exceed %u MiB", what,
                      kMaxSectionSize >> 20);
    if (!ok) {
        ResourcesFree(out);
        return false;
    }
    out->sectionSize = (uint32_t)plan.end;
    return true;
}

void ResourcesFree(Resources *resources)
{
    free(resources->bytes);
    free(resources->entries);
    memset(resources, 0, sizeof *resources);
}

void ResourcesWrite(const Resources *r, uint32_t section_rva, uint8_t *section)
{
    SectionPlan plan = PlanSection(r);
    uint32_t entry = (uint32_t)plan.entriesAt, strings = (uint32_t)plan.stringsAt;
    uint32_t data = (uint32_t)plan.dataAt;
    ResourceGroup root = GroupAt(r, 0, 0);
    WriteDirectory(section, root.named, root.keys - root.named);
    uint32_t root_slot = kPeResourceDirectorySize;
    uint32_t type_dir = root_slot + kPeResourceEntrySize * root.keys;
    uint32_t name_dir = (uint32_t)(kPeResourceDirectorySize * (1 + plan.types) +
                                   kPeResourceEntrySize * (plan.types + plan.names));
    for (uint32_t i = 0; i < r->count;) {
        ResourceGroup names = GroupAt(r, i, 1);
        WriteId(section, root_slot, &r->entries[i].type, &strings);
        WriteLe32(section + root_slot + 4, kPeResourceSubdirectory | type_dir);
        root_slot += kPeResourceEntrySize;
        WriteDirectory(section + type_dir, names.named, names.keys - names.named);
        uint32_t type_slot = type_dir + kPeResourceDirectorySize;
        type_dir = type_slot + kPeResourceEntrySize * names.keys;
        for (uint32_t j = i; j < names.end;) {
            ResourceGroup languages = GroupAt(r, j, 2);
            WriteId(section, type_slot, &r->entries[j].name, &strings);
            WriteLe32(section + type_slot + 4, kPeResourceSubdirectory | name_dir);
            type_slot += kPeResourceEntrySize;
            WriteDirectory(section + name_dir, 0, languages.keys);
            uint32_t name_slot = name_dir + kPeResourceDirectorySize;
            name_dir = name_slot + kPeResourceEntrySize * languages.keys;
            for (uint32_t k = j; k < languages.end; k++, name_slot += kPeResourceEntrySize) {
                const Resource *e = &r->entries[k];
                WriteLe32(section + name_slot, e->language);
                WriteLe32(section + name_slot + 4, entry);
                WriteLe32(section + entry, section_rva + data); // CodePage, Reserved stay 0
                WriteLe32(section + entry + 4, e->size);
                entry += kPeResourceDataEntrySize;
                memcpy(section + data, e->data, e->size);
                data = (uint32_t)AlignUp(data + e->size, kResAlignment);
            }
            j = languages.end;
        }
        i = names.end;
    }
}
