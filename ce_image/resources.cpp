#include "resources.h"

#include "pe_format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// ---- The .res file ----
// Each record: DataSize, HeaderSize, type, name (each 0xFFFF and a number,
// or a terminated UTF-16 string), padding to 4 bytes, then DataVersion,
// MemoryFlags, LanguageId, Version, Characteristics; the data follows the
// header, and the next record starts on the next 4-byte boundary.
const uint32_t kResPrefixSize = 8;          // DataSize, HeaderSize
const uint32_t kResTailSize = 16;           // DataVersion to Characteristics
const uint32_t kResLanguageOffset = 6;      // LanguageId, from the tail's start
const uint32_t kResMinHeaderSize = 32;      // two numbers and the tail
const uint16_t kResNumberMark = 0xFFFF;     // a number follows instead of a string
const uint32_t kMaxSectionSize = 16u << 20; // a version resource takes under 1 KiB

uint64_t align8(uint64_t v)
{
    return (v + 7) & ~(uint64_t)7;
}

// Reads a type or name field within limit bytes; *used is its size.
bool read_id(const uint8_t *p, uint32_t limit, ResourceId *id, uint32_t *used)
{
    memset(id, 0, sizeof *id);
    if (limit >= 4 && get_le16(p) == kResNumberMark) {
        id->number = get_le16(p + 2);
        *used = 4;
        return true;
    }
    for (uint32_t n = 0; 2 * n + 2 <= limit; n++) {
        if (get_le16(p + 2 * n) == 0) {
            id->name = p;
            id->length = n;
            *used = 2 * n + 2;
            return true;
        }
    }
    return false;
}

// The id for messages: its number, or its name with units above ASCII as '?'.
const char *describe(const ResourceId *id, char *text, size_t size)
{
    if (!id->name) {
        snprintf(text, size, "%u", id->number);
        return text;
    }
    size_t n = 0;
    for (uint32_t i = 0; i < id->length && n + 1 < size; i++) {
        uint16_t unit = get_le16(id->name + 2 * i);
        text[n++] = unit >= 0x20 && unit < 0x7F ? (char)unit : '?';
    }
    text[n] = 0;
    return text;
}

bool check_id(const ResourceId *id, const char *field, const char *what, size_t at, Diag *d)
{
    if (id->name && id->length == 0)
        return diag_fail(d, "%s: record at 0x%zx: empty %s", what, at, field);
    if (id->name && id->length > 0xFFFF)
        return diag_fail(d, "%s: record at 0x%zx: %s longer than 65535 units", what, at, field);
    if (!id->name && id->number == 0)
        return diag_fail(d, "%s: record at 0x%zx: %s number 0", what, at, field);
    return true;
}

// Reads the record at `at` into out; *next is where the following one starts.
bool read_record(const uint8_t *bytes, size_t size, size_t at, Resource *out, size_t *next,
                 const char *what, Diag *d)
{
    const uint8_t *p = bytes + at;
    size_t left = size - at;
    if (left < kResPrefixSize)
        return diag_fail(d, "%s: record at 0x%zx: cut short", what, at);
    uint32_t data_size = get_le32(p), header_size = get_le32(p + 4);
    if (header_size < kResMinHeaderSize)
        return diag_fail(d, "%s: record at 0x%zx: header size %u is below %u", what, at,
                         header_size, kResMinHeaderSize);
    if (header_size > left || data_size > left - header_size)
        return diag_fail(d,
                         "%s: record at 0x%zx: header of %u and data of %u bytes run past "
                         "the end of the file",
                         what, at, header_size, data_size);
    uint32_t fields = kResPrefixSize, used = 0;
    if (!read_id(p + fields, header_size - kResTailSize - fields, &out->type, &used))
        return diag_fail(d, "%s: record at 0x%zx: type runs past the header", what, at);
    fields += used;
    if (!read_id(p + fields, header_size - kResTailSize - fields, &out->name, &used))
        return diag_fail(d, "%s: record at 0x%zx: name runs past the header", what, at);
    fields = align_up(fields + used, 4);
    if (fields + kResTailSize != header_size)
        return diag_fail(d, "%s: record at 0x%zx: header size %u does not match its fields (%u)",
                         what, at, header_size, fields + kResTailSize);
    if (!check_id(&out->type, "type", what, at, d) || !check_id(&out->name, "name", what, at, d))
        return false;
    out->language = get_le16(p + fields + kResLanguageOffset);
    out->data = p + header_size;
    out->size = data_size;
    size_t end = at + header_size + data_size;
    *next = (end + 3) / 4 * 4 < size ? (end + 3) / 4 * 4 : size;
    return true;
}

// The 32-bit format starts with an empty record of type 0 and name 0; a
// 16-bit .res, which the writer does not read, has none.
bool has_marker(const uint8_t *bytes, size_t size)
{
    return size >= kResMinHeaderSize && get_le32(bytes) == 0 &&
           get_le32(bytes + 4) == kResMinHeaderSize && get_le16(bytes + 8) == kResNumberMark &&
           get_le16(bytes + 10) == 0 && get_le16(bytes + 12) == kResNumberMark &&
           get_le16(bytes + 14) == 0;
}

// ---- Order and grouping ----

int compare_ids(const ResourceId *a, const ResourceId *b)
{
    if (!a->name || !b->name) {
        if (a->name || b->name)
            return a->name ? -1 : 1; // named entries come first
        return (int)a->number - (int)b->number;
    }
    for (uint32_t i = 0; i < a->length && i < b->length; i++) {
        int diff = (int)get_le16(a->name + 2 * i) - (int)get_le16(b->name + 2 * i);
        if (diff)
            return diff;
    }
    return (int)(a->length > b->length) - (int)(a->length < b->length);
}

// Compares the first `keys` keys of two resources: type, name, language.
int compare_keys(const Resource *a, const Resource *b, int keys)
{
    int diff = 0;
    if (keys >= 1)
        diff = compare_ids(&a->type, &b->type);
    if (!diff && keys >= 2)
        diff = compare_ids(&a->name, &b->name);
    if (!diff && keys >= 3)
        diff = (int)a->language - (int)b->language;
    return diff;
}

int compare_resources(const void *a, const void *b)
{
    return compare_keys((const Resource *)a, (const Resource *)b, 3);
}

// The resources from `first` on that share its first `level` keys, and how
// many distinct next keys they hold, named ones among them.
struct Group {
    uint32_t end, keys, named;
};

Group group_at(const Resources *r, uint32_t first, int level)
{
    Group g = {first, 0, 0};
    const Resource *e = r->entries;
    for (uint32_t i = first; i < r->count && compare_keys(&e[first], &e[i], level) == 0; i++) {
        g.end = i + 1;
        if (i > first && compare_keys(&e[i - 1], &e[i], level + 1) == 0)
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
struct Plan {
    uint64_t types, names, entries_at, strings_at, data_at, end;
};

uint64_t string_size(const ResourceId *id)
{
    return id->name ? 2 + 2 * (uint64_t)id->length : 0;
}

Plan plan_section(const Resources *r)
{
    Plan p;
    memset(&p, 0, sizeof p);
    uint64_t strings = 0, data = 0;
    for (uint32_t i = 0; i < r->count; i++) {
        const Resource *e = &r->entries[i];
        bool new_type = i == 0 || compare_keys(&e[-1], e, 1) != 0;
        bool new_name = new_type || compare_keys(&e[-1], e, 2) != 0;
        p.types += new_type;
        p.names += new_name;
        strings += (new_type ? string_size(&e->type) : 0) + (new_name ? string_size(&e->name) : 0);
        data += align8(e->size);
    }
    p.entries_at = kPeResourceDirectorySize * (1 + p.types + p.names) +
                   kPeResourceEntrySize * (p.types + p.names + r->count);
    p.strings_at = p.entries_at + kPeResourceDataEntrySize * (uint64_t)r->count;
    p.data_at = align8(p.strings_at + strings);
    p.end = p.data_at + data;
    return p;
}

void write_directory(uint8_t *at, uint32_t named, uint32_t numbered)
{
    // Characteristics, TimeDateStamp and version stay 0: the image is reproducible.
    put_le16(at + 12, named);
    put_le16(at + 14, numbered);
}

// Writes the id half of the directory entry at `slot`, a name into the strings.
void write_id(uint8_t *section, uint32_t slot, const ResourceId *id, uint32_t *strings)
{
    if (!id->name) {
        put_le32(section + slot, id->number);
        return;
    }
    put_le32(section + slot, kPeResourceNameIsString | *strings);
    put_le16(section + *strings, id->length);
    memcpy(section + *strings + 2, id->name, 2 * (size_t)id->length);
    *strings += 2 + 2 * id->length;
}

} // namespace

bool resources_parse(Resources *out, const char *bytes, size_t size, const char *what, Diag *d)
{
    memset(out, 0, sizeof *out);
    if (!has_marker((const uint8_t *)bytes, size))
        return diag_fail(d, "%s: not a 32-bit resource file (.res): no empty first record", what);
    out->bytes = (uint8_t *)malloc(size);
    out->entries = (Resource *)calloc(size / kResMinHeaderSize, sizeof(Resource));
    if (!out->bytes || !out->entries) {
        resources_free(out);
        return diag_fail(d, "%s: out of memory", what);
    }
    memcpy(out->bytes, bytes, size);
    for (size_t at = kResMinHeaderSize, next = 0; at < size; at = next) {
        if (!read_record(out->bytes, size, at, &out->entries[out->count], &next, what, d)) {
            resources_free(out);
            return false;
        }
        out->count++;
    }
    qsort(out->entries, out->count, sizeof out->entries[0], compare_resources);
    bool ok = out->count != 0 || diag_fail(d, "%s: holds no resources", what);
    for (uint32_t i = 1; ok && i < out->count; i++) {
        const Resource *e = &out->entries[i];
        char type[64], name[64];
        if (compare_resources(&e[-1], e) == 0)
            ok = diag_fail(d, "%s: resource type %s name %s language 0x%04x appears twice", what,
                           describe(&e->type, type, sizeof type),
                           describe(&e->name, name, sizeof name), e->language);
    }
    Plan plan = plan_section(out);
    if (ok && plan.end > kMaxSectionSize)
        ok = diag_fail(d, "%s: the resource section would exceed %u MiB", what,
                       kMaxSectionSize >> 20);
    if (!ok) {
        resources_free(out);
        return false;
    }
    out->section_size = (uint32_t)plan.end;
    return true;
}

void resources_free(Resources *resources)
{
    free(resources->bytes);
    free(resources->entries);
    memset(resources, 0, sizeof *resources);
}

void resources_write(const Resources *r, uint32_t section_rva, uint8_t *section)
{
    Plan plan = plan_section(r);
    uint32_t entry = (uint32_t)plan.entries_at, strings = (uint32_t)plan.strings_at;
    uint32_t data = (uint32_t)plan.data_at;
    Group root = group_at(r, 0, 0);
    write_directory(section, root.named, root.keys - root.named);
    uint32_t root_slot = kPeResourceDirectorySize;
    uint32_t type_dir = root_slot + kPeResourceEntrySize * root.keys;
    uint32_t name_dir = (uint32_t)(kPeResourceDirectorySize * (1 + plan.types) +
                                   kPeResourceEntrySize * (plan.types + plan.names));
    for (uint32_t i = 0; i < r->count;) {
        Group names = group_at(r, i, 1);
        write_id(section, root_slot, &r->entries[i].type, &strings);
        put_le32(section + root_slot + 4, kPeResourceSubdirectory | type_dir);
        root_slot += kPeResourceEntrySize;
        write_directory(section + type_dir, names.named, names.keys - names.named);
        uint32_t type_slot = type_dir + kPeResourceDirectorySize;
        type_dir = type_slot + kPeResourceEntrySize * names.keys;
        for (uint32_t j = i; j < names.end;) {
            Group languages = group_at(r, j, 2);
            write_id(section, type_slot, &r->entries[j].name, &strings);
            put_le32(section + type_slot + 4, kPeResourceSubdirectory | name_dir);
            type_slot += kPeResourceEntrySize;
            write_directory(section + name_dir, 0, languages.keys);
            uint32_t name_slot = name_dir + kPeResourceDirectorySize;
            name_dir = name_slot + kPeResourceEntrySize * languages.keys;
            for (uint32_t k = j; k < languages.end; k++, name_slot += kPeResourceEntrySize) {
                const Resource *e = &r->entries[k];
                put_le32(section + name_slot, e->language);
                put_le32(section + name_slot + 4, entry);
                put_le32(section + entry, section_rva + data); // CodePage, Reserved stay 0
                put_le32(section + entry + 4, e->size);
                entry += kPeResourceDataEntrySize;
                memcpy(section + data, e->data, e->size);
                data = (uint32_t)align8(data + e->size);
            }
            j = languages.end;
        }
        i = names.end;
    }
}
