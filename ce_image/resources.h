// The resources of a compiled resource script (a 32-bit .res file, as
// `windres -O res` and rc.exe write it) and the resource section made from
// them: the directory tree of type, name and language over one data entry
// per resource, with the data behind it. Named entries come before numbered
// ones at each level, names in UTF-16 order and numbers ascending, so the
// section is the same whatever order the .res lists its resources in.
//
// The .res is read as hostile input: every length is checked against the
// bytes that hold it, and a file the writer cannot represent exactly is
// refused with the offset of the record at fault.
#ifndef KVZ_CE_IMAGE_RESOURCES_H
#define KVZ_CE_IMAGE_RESOURCES_H

#include "diag.h"

#include <cstddef>
#include <cstdint>

struct ResourceId {
    const uint8_t *name; // UTF-16LE units, not terminated; null for a number
    uint32_t length;     // of name, in units
    uint16_t number;
};

struct Resource {
    ResourceId type, name;
    uint16_t language;
    const uint8_t *data;
    uint32_t size;
};

struct Resources {
    uint8_t *bytes;    // owned copy of the .res file; ids and data point into it
    Resource *entries; // sorted by type, name, language
    uint32_t count;
    uint32_t sectionSize;
};

// Parses size bytes of a .res file. `what` names the file in messages.
// Refuses a file that does not start with the empty record that marks the
// 32-bit format, a record cut short or whose header size does not match its
// fields, a type or name that is empty, unterminated or the number 0, the
// same type, name and language twice, a file without resources, and a
// section that would exceed 16 MiB.
bool ResourcesParse(Resources *out, const char *bytes, size_t size, const char *what, Diag *d);
void ResourcesFree(Resources *resources);

// Writes the sectionSize bytes of the resource section placed at
// section_rva; the data entries hold RVAs, the tree offsets into the section.
void ResourcesWrite(const Resources *resources, uint32_t section_rva, uint8_t *section);

#endif
