// The reader of the proxy's configuration file (sound_config.txt).
//
// The file is 8-bit text of lines. A line whose first byte is "[" is a header
// and opens the section named by the text behind it up to the first "]" (or
// the line's end). Any other line that contains "=" is an entry: the bytes
// before the first "=" are its key, the bytes behind it its value. Every other
// line is ignored. Nothing is trimmed or unquoted, and there is no comment
// syntax. Entries written before the first header belong to the store's
// top-level section; after a header they belong to the current section.
// Within a section the first occurrence of a key wins, and a header naming a
// section read earlier makes that section current again.
//
// Editors' encodings are read as well: a UTF-8 byte-order mark at the start
// is skipped, and a file starting with the UTF-16LE mark (FF FE) is taken as
// its characters, each below 256 as one byte; a line holding any other
// character is dropped whole. The rules above then apply unchanged.
//
// The file is read whole with one read into one buffer, decoded, its line
// ends normalised (CR LF becomes LF; a CR on its own stays a byte of the
// line) and its lines split in place; everything behind the first NUL is
// ignored.
// Keys, values and names are copied out and the buffer is freed before
// ConfigLoad returns. A store is used by one thread at a time.
#ifndef KVZ_PROXY_CONFIG_H
#define KVZ_PROXY_CONFIG_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "platform/win32.h"

// One entry line. key and value are owned, NUL-terminated copies of the
// line's bytes; the lengths count their bytes without the terminator.
struct ConfigEntry {
    char *key;
    uint32_t keyLength;
    char *value;
    uint32_t valueLength;
    ConfigEntry *next;
};

// One header line and the entries that follow it, newest first.
struct ConfigSection {
    char *name;
    ConfigEntry *entries;
    ConfigSection *next;
};

// The parsed file. sections lists every named section, newest first; no two
// have the same name. topLevel is held here and never linked into that list:
// its name and next stay null, its entries are the lines before the first
// header. Keys and names compare byte by byte, case-sensitively.
struct ConfigStore {
    ConfigSection *sections;
    ConfigSection topLevel;
};

// Results of ConfigLoad.
enum : uint32_t {
    CONFIG_LOADED = 0,       // the file was read whole and every line processed
    CONFIG_UNREADABLE = 1,   // not opened, size unknown, or not read in full; store empty
    CONFIG_OUT_OF_MEMORY = 2 // the store holds the lines before the one that failed
};

// The largest file ConfigLoad reads: every length must fit its 32-bit field.
static const uint64_t kConfigMaxFileSize = 0xFFFFFFFFu;

// Makes store empty. Call once before the first ConfigLoad.
void ConfigInit(ConfigStore *store);

// Releases what store holds, as ConfigRelease does, then reads the 8-bit file
// name path into it. Returns CONFIG_LOADED, CONFIG_UNREADABLE (also for a null
// store or path, or a file larger than kConfigMaxFileSize) or
// CONFIG_OUT_OF_MEMORY. Whatever the result, no buffer of the read stays
// allocated; only the store's records and strings do.
uint32_t ConfigLoad(ConfigStore *store, const char *path);

// The same for a wide file name, which may name a folder in any script; the
// file's contents are 8-bit text all the same.
uint32_t ConfigLoadW(ConfigStore *store, const WCHAR *path);

// The first section in store's list named name, or null. The top-level
// section is never returned: callers use &store->topLevel.
ConfigSection *ConfigFindSection(const ConfigStore *store, const char *name);

// The first entry of section whose key equals key, or null.
ConfigEntry *ConfigFindEntry(const ConfigSection *section, const char *key);

// Frees everything store owns and leaves it empty and reusable. Does nothing
// on an empty store. What the lookups returned is invalid afterwards.
void ConfigRelease(ConfigStore *store);

// ---- Test seams ----
// Null by default, meaning the C library's malloc, free, ftell and fread.
// Only tests set them: to make a chosen allocation fail, to count live
// allocations (alloc and free are always set together), to make the stream
// position fail, or to make the read come up short. Every allocation and free
// of the reader goes through ConfigAllocHook and ConfigFreeHook.
extern void *(*ConfigAllocHook)(size_t size);
extern void (*ConfigFreeHook)(void *block);
extern long (*ConfigTellHook)(FILE *stream);
extern size_t (*ConfigReadHook)(void *buffer, size_t size, size_t count, FILE *stream);

#endif
