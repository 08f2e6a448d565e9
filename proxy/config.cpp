// The configuration reader: one read, normalise and split in place, copy out.
#include "proxy/config.h"
#include "platform/file_stream.h"

#include <stdlib.h>
#include <string.h>

void *(*ConfigAllocHook)(size_t size) = NULL;
void (*ConfigFreeHook)(void *block) = NULL;
long (*ConfigTellHook)(FILE *stream) = NULL;
size_t (*ConfigReadHook)(void *buffer, size_t size, size_t count, FILE *stream) = NULL;

// ---- Heap and stream, through the test seams ----

static void *Allocate(size_t size)
{
    return ConfigAllocHook ? ConfigAllocHook(size) : malloc(size);
}

static void Free(void *block)
{
    if (ConfigFreeHook)
        ConfigFreeHook(block);
    else
        free(block);
}

static long StreamPosition(FILE *stream)
{
    return ConfigTellHook ? ConfigTellHook(stream) : ftell(stream);
}

static size_t ReadBytes(void *buffer, size_t count, FILE *stream)
{
    return ConfigReadHook ? ConfigReadHook(buffer, 1, count, stream)
                          : fread(buffer, 1, count, stream);
}

// A heap copy of length bytes of text, NUL-terminated; null when memory is out.
static char *CopyText(const char *text, uint32_t length)
{
    char *copy = (char *)Allocate((size_t)length + 1);
    if (copy == NULL)
        return NULL;
    memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// ---- Store ----

void ConfigInit(ConfigStore *store)
{
    if (store == NULL)
        return;
    store->sections = NULL;
    store->topLevel.name = NULL;
    store->topLevel.entries = NULL;
    store->topLevel.next = NULL;
}

static void FreeEntries(ConfigEntry *entry)
{
    while (entry != NULL) {
        ConfigEntry *next = entry->next;
        Free(entry->key);
        Free(entry->value);
        Free(entry);
        entry = next;
    }
}

void ConfigRelease(ConfigStore *store)
{
    if (store == NULL)
        return;
    ConfigSection *section = store->sections;
    while (section != NULL) {
        ConfigSection *next = section->next;
        FreeEntries(section->entries);
        Free(section->name);
        Free(section);
        section = next;
    }
    FreeEntries(store->topLevel.entries);
    ConfigInit(store);
}

ConfigSection *ConfigFindSection(const ConfigStore *store, const char *name)
{
    if (store == NULL || name == NULL)
        return NULL;
    for (ConfigSection *section = store->sections; section != NULL; section = section->next)
        if (strcmp(section->name, name) == 0)
            return section;
    return NULL;
}

ConfigEntry *ConfigFindEntry(const ConfigSection *section, const char *key)
{
    if (section == NULL || key == NULL)
        return NULL;
    for (ConfigEntry *entry = section->entries; entry != NULL; entry = entry->next)
        if (strcmp(entry->key, key) == 0)
            return entry;
    return NULL;
}

// ---- Reading the file ----

// Reads the whole file open in stream, or null when it could not be opened,
// into a new buffer with a NUL behind its bytes, and closes the stream. Gives
// CONFIG_LOADED with *text and *size set, else the result of the load.
static uint32_t ReadWholeFile(FILE *stream, char **text, size_t *size)
{
    if (stream == NULL)
        return CONFIG_UNREADABLE;
    long end = -1;
    if (fseek(stream, 0, SEEK_END) == 0)
        end = StreamPosition(stream);
    if (end < 0 || (uint64_t)end > kConfigMaxFileSize || fseek(stream, 0, SEEK_SET) != 0) {
        fclose(stream);
        return CONFIG_UNREADABLE;
    }
    size_t n = (size_t)end;
    char *buffer = (char *)Allocate(n + 1);
    if (buffer == NULL) {
        fclose(stream);
        return CONFIG_OUT_OF_MEMORY;
    }
    size_t got = ReadBytes(buffer, n, stream);
    fclose(stream);
    if (got != n) {
        Free(buffer);
        return CONFIG_UNREADABLE;
    }
    buffer[n] = 0;
    *text = buffer;
    *size = n;
    return CONFIG_LOADED;
}

// Drops every CR that directly precedes an LF, over all count bytes.
static void NormaliseLineEnds(char *text, size_t count)
{
    size_t out = 0;
    for (size_t in = 0; in < count; in++) {
        if (text[in] == '\r' && in + 1 < count && text[in + 1] == '\n')
            continue;
        text[out++] = text[in];
    }
}

// ---- What editors write ----

// Notepad's "UTF-8" puts EF BB BF before the text, its "Unicode" writes
// UTF-16LE behind FF FE. Both are turned into the 8-bit text the reader
// works on; any other file is taken as it is.
static const unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
static const unsigned char kUtf16LeMark[] = {0xFF, 0xFE};

static bool StartsWith(const char *text, size_t size, const unsigned char *mark, size_t length)
{
    return size >= length && memcmp(text, mark, length) == 0;
}

// Each code unit below 256 becomes that byte, in place: the output never
// overtakes the input. A line holding a larger unit is dropped whole, line
// end kept, so no part of it can pass for a key, a value or a header. A NUL
// unit ends the text, as a NUL byte does; an odd last byte is no unit.
static size_t NarrowUtf16Le(char *text, size_t size)
{
    const unsigned char *bytes = (const unsigned char *)text;
    size_t out = 0;
    size_t line_start = 0;
    bool wide_line = false;
    for (size_t in = sizeof kUtf16LeMark; in + 1 < size; in += 2) {
        unsigned unit = bytes[in] | (unsigned)bytes[in + 1] << 8;
        if (unit == 0)
            break;
        if (unit > 0xFF) {
            wide_line = true;
            continue;
        }
        if (unit == '\n') {
            if (wide_line)
                out = line_start;
            wide_line = false;
            line_start = out + 1;
        }
        text[out++] = (char)unit;
    }
    if (wide_line)
        out = line_start;
    text[out] = 0;
    return out;
}

// Turns size bytes of text (NUL-terminated behind them) into 8-bit text in
// place and returns its new size; the NUL follows it.
static size_t DecodeEditorText(char *text, size_t size)
{
    if (StartsWith(text, size, kUtf16LeMark, sizeof kUtf16LeMark))
        return NarrowUtf16Le(text, size);
    if (!StartsWith(text, size, kUtf8Mark, sizeof kUtf8Mark))
        return size;
    size -= sizeof kUtf8Mark;
    memmove(text, text + sizeof kUtf8Mark, size + 1);
    return size;
}

// ---- Lines ----

// Makes the section named by the header line current, adding it if new.
// line starts with "["; its name is cut off in place at the first "]".
static uint32_t ProcessHeader(ConfigStore *store, char *line, size_t length,
                              ConfigSection **current)
{
    char *name = line + 1;
    char *close = (char *)memchr(name, ']', length - 1);
    uint32_t nameLength = (uint32_t)(close ? close - name : (ptrdiff_t)length - 1);
    name[nameLength] = 0;
    ConfigSection *known = ConfigFindSection(store, name);
    if (known != NULL) {
        *current = known;
        return CONFIG_LOADED;
    }
    ConfigSection *section = (ConfigSection *)Allocate(sizeof(ConfigSection));
    if (section == NULL)
        return CONFIG_OUT_OF_MEMORY;
    section->name = CopyText(name, nameLength);
    if (section->name == NULL) {
        Free(section);
        return CONFIG_OUT_OF_MEMORY;
    }
    section->entries = NULL;
    section->next = store->sections;
    store->sections = section;
    *current = section;
    return CONFIG_LOADED;
}

// Adds the entry line to section unless its key is already there. equals
// points at the line's first "=", which is cut to a NUL in place.
static uint32_t ProcessEntry(ConfigSection *section, char *line, size_t length, char *equals)
{
    uint32_t keyLength = (uint32_t)(equals - line);
    uint32_t valueLength = (uint32_t)(length - keyLength - 1);
    *equals = 0;
    ConfigEntry *entry = (ConfigEntry *)Allocate(sizeof(ConfigEntry));
    if (entry == NULL)
        return CONFIG_OUT_OF_MEMORY;
    entry->key = CopyText(line, keyLength);
    if (entry->key == NULL) {
        Free(entry);
        return CONFIG_OUT_OF_MEMORY;
    }
    if (ConfigFindEntry(section, entry->key) != NULL) {
        Free(entry->key);
        Free(entry);
        return CONFIG_LOADED;
    }
    entry->value = CopyText(equals + 1, valueLength);
    if (entry->value == NULL) {
        Free(entry->key);
        Free(entry);
        return CONFIG_OUT_OF_MEMORY;
    }
    entry->keyLength = keyLength;
    entry->valueLength = valueLength;
    entry->next = section->entries;
    section->entries = entry;
    return CONFIG_LOADED;
}

static uint32_t ProcessLine(ConfigStore *store, char *line, size_t length, ConfigSection **current)
{
    if (length > 0 && line[0] == '[')
        return ProcessHeader(store, line, length, current);
    char *equals = (char *)memchr(line, '=', length);
    if (equals != NULL)
        return ProcessEntry(*current, line, length, equals);
    return CONFIG_LOADED;
}

// Processes the lines of text in order; the first NUL ends the text.
static uint32_t ProcessLines(ConfigStore *store, char *text)
{
    ConfigSection *current = &store->topLevel;
    char *line = text;
    for (;;) {
        size_t length = strcspn(line, "\n");
        bool last = line[length] == 0;
        line[length] = 0;
        uint32_t result = ProcessLine(store, line, length, &current);
        if (result != CONFIG_LOADED || last)
            return result;
        line += length + 1;
    }
}

// The reader's core, for the file open in stream (null: not opened).
static uint32_t LoadStream(ConfigStore *store, FILE *stream)
{
    char *text = NULL;
    size_t size = 0;
    uint32_t result = ReadWholeFile(stream, &text, &size);
    if (result != CONFIG_LOADED)
        return result;
    size = DecodeEditorText(text, size);
    NormaliseLineEnds(text, size + 1);
    result = ProcessLines(store, text);
    Free(text);
    return result;
}

// ---- Front ends: the file by its 8-bit or its wide name ----

uint32_t ConfigLoad(ConfigStore *store, const char *path)
{
    if (store == NULL)
        return CONFIG_UNREADABLE;
    ConfigRelease(store);
    if (path == NULL)
        return CONFIG_UNREADABLE;
    return LoadStream(store, KvzOpenFileStreamA(path, "rb")); // a kit path, as every path
}

uint32_t ConfigLoadW(ConfigStore *store, const WCHAR *path)
{
    if (store == NULL)
        return CONFIG_UNREADABLE;
    ConfigRelease(store);
    if (path == NULL)
        return CONFIG_UNREADABLE;
    return LoadStream(store, KvzOpenFileStreamW(path, TEXT("rb")));
}
