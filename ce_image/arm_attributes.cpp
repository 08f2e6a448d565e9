#include "arm_attributes.h"

#include "bytes.h"

#include <cstring>

struct AttributeReader {
    const uint8_t *p;
    uint32_t pos;
    uint32_t end;
};

static bool ReadUleb(AttributeReader *r, uint32_t *out)
{
    uint32_t value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (r->pos >= r->end)
            return false;
        uint8_t byte = r->p[r->pos++];
        value |= (uint32_t)(byte & 0x7F) << shift;
        if (!(byte & 0x80)) {
            *out = value;
            return true;
        }
    }
    return false;
}

static bool SkipString(AttributeReader *r)
{
    while (r->pos < r->end)
        if (r->p[r->pos++] == 0)
            return true;
    return false;
}

// String-valued tags: the listed ones below 32, every odd one from 32 on.
static bool TagIsString(uint32_t tag)
{
    if (tag == kArmTagCpuRawName || tag == kArmTagCpuName || tag == kArmTagAlsoCompatibleWith ||
        tag == kArmTagConformance)
        return true;
    return tag > kArmTagCompatibility && (tag & 1);
}

static bool ReadFileAttributes(AttributeReader r, ArmAttributes *out, Diag *d)
{
    while (r.pos < r.end) {
        uint32_t tag, value = 0;
        if (!ReadUleb(&r, &tag))
            return DiagFail(d, ".ARM.attributes: truncated tag");
        bool ok;
        if (tag == kArmTagCompatibility)
            ok = ReadUleb(&r, &value) && SkipString(&r);
        else if (TagIsString(tag))
            ok = SkipString(&r);
        else
            ok = ReadUleb(&r, &value);
        if (!ok)
            return DiagFail(d, ".ARM.attributes: truncated value of tag %u", tag);
        if (tag == kArmTagCpuArch)
            out->cpuArch = value;
        else if (tag == kArmTagThumbIsaUse)
            out->thumbIsaUse = value;
        else if (tag == kArmTagWcharT)
            out->wcharSize = value;
        else if (tag == kArmTagEnumSize)
            out->enumSize = value;
    }
    return true;
}

// One "aeabi" subsection: sub-subsections of tag, size, attributes.
static bool ReadAeabi(AttributeReader r, ArmAttributes *out, Diag *d)
{
    while (r.pos < r.end) {
        uint32_t start = r.pos, tag, size;
        if (!ReadUleb(&r, &tag) || r.end - r.pos < 4)
            return DiagFail(d, ".ARM.attributes: truncated scope");
        size = ReadLe32(r.p + r.pos);
        r.pos += 4;
        if (size < r.pos - start || size > r.end - start)
            return DiagFail(d, ".ARM.attributes: scope of size %u does not fit", size);
        if (tag == kArmAttrTagFile) {
            AttributeReader inner = {r.p, r.pos, start + size};
            if (!ReadFileAttributes(inner, out, d))
                return false;
        }
        r.pos = start + size;
    }
    return true;
}

static const char *ArchName(uint32_t arch)
{
    static const char *const kNames[] = {"pre-v4", "v4",   "v4T",   "v5T",   "v5TE",
                                         "v5TEJ",  "v6",   "v6KZ",  "v6T2",  "v6K",
                                         "v7",     "v6-M", "v6S-M", "v7E-M", "v8"};
    return arch < sizeof kNames / sizeof kNames[0] ? kNames[arch] : "later";
}

bool ArmAttributesParse(const uint8_t *p, uint32_t size, ArmAttributes *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    if (size < 1 || p[0] != kArmAttrFormatVersion)
        return DiagFail(d, ".ARM.attributes: unknown format version");
    uint32_t pos = 1;
    while (pos < size) {
        if (size - pos < 4)
            return DiagFail(d, ".ARM.attributes: truncated subsection");
        uint32_t length = ReadLe32(p + pos);
        if (length < 5 || length > size - pos)
            return DiagFail(d, ".ARM.attributes: subsection of length %u does not fit", length);
        AttributeReader r = {p, pos + 4, pos + length};
        const char *vendor = (const char *)p + r.pos;
        if (!SkipString(&r))
            return DiagFail(d, ".ARM.attributes: unterminated vendor name");
        if (strcmp(vendor, "aeabi") == 0 && !ReadAeabi(r, out, d))
            return false;
        pos += length;
    }
    return true;
}

bool ArmAttributesCheck(const ElfFile *elf, Diag *d)
{
    const ElfSection *section = nullptr;
    for (uint32_t i = 0; i < elf->sectionCount; i++)
        if (elf->sections[i].type == kElfShtArmAttributes)
            section = &elf->sections[i];
    if (!section)
        return DiagFail(d, "no .ARM.attributes: cannot tell which ARM core the code needs");
    ArmAttributes a;
    if (!ArmAttributesParse(ElfSectionBytes(elf, section), section->size, &a, d))
        return false;
    if (a.cpuArch > kArmCpuArchV4T)
        return DiagFail(d, ".ARM.attributes: Tag_CPU_arch %s (%u) is later than v4T",
                        ArchName(a.cpuArch), a.cpuArch);
    if (a.thumbIsaUse > kArmThumbIsaThumb1)
        return DiagFail(d, ".ARM.attributes: Tag_THUMB_ISA_use %u allows Thumb-2, not only Thumb-1",
                        a.thumbIsaUse);
    if (a.wcharSize == kArmWcharT4Bytes)
        return DiagFail(d, ".ARM.attributes: Tag_ABI_PCS_wchar_t 4, CE text is 16-bit "
                           "(compile with -fshort-wchar)");
    if (a.enumSize == kArmEnumSizeSmallest)
        return DiagFail(d, ".ARM.attributes: Tag_ABI_enum_size smallest, CE enums are int-sized "
                           "(compile with -fno-short-enums)");
    return true;
}
