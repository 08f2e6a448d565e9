#include "arm_attributes.h"

#include "elf_arm.h"

#include <cstring>

namespace
{

struct Reader {
    const uint8_t *p;
    uint32_t pos;
    uint32_t end;
};

bool read_uleb(Reader *r, uint32_t *out)
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

bool skip_string(Reader *r)
{
    while (r->pos < r->end)
        if (r->p[r->pos++] == 0)
            return true;
    return false;
}

// String-valued tags: the listed ones below 32, every odd one from 32 on.
bool tag_is_string(uint32_t tag)
{
    if (tag == kArmTagCpuRawName || tag == kArmTagCpuName || tag == kArmTagAlsoCompatibleWith ||
        tag == kArmTagConformance)
        return true;
    return tag > kArmTagCompatibility && (tag & 1);
}

bool read_file_attributes(Reader r, ArmAttributes *out, Diag *d)
{
    while (r.pos < r.end) {
        uint32_t tag, value = 0;
        if (!read_uleb(&r, &tag))
            return diag_fail(d, ".ARM.attributes: truncated tag");
        bool ok;
        if (tag == kArmTagCompatibility)
            ok = read_uleb(&r, &value) && skip_string(&r);
        else if (tag_is_string(tag))
            ok = skip_string(&r);
        else
            ok = read_uleb(&r, &value);
        if (!ok)
            return diag_fail(d, ".ARM.attributes: truncated value of tag %u", tag);
        if (tag == kArmTagCpuArch)
            out->cpu_arch = value;
        else if (tag == kArmTagThumbIsaUse)
            out->thumb_isa_use = value;
        else if (tag == kArmTagWcharT)
            out->wchar_t_size = value;
        else if (tag == kArmTagEnumSize)
            out->enum_size = value;
    }
    return true;
}

// One "aeabi" subsection: sub-subsections of tag, size, attributes.
bool read_aeabi(Reader r, ArmAttributes *out, Diag *d)
{
    while (r.pos < r.end) {
        uint32_t start = r.pos, tag, size;
        if (!read_uleb(&r, &tag) || r.end - r.pos < 4)
            return diag_fail(d, ".ARM.attributes: truncated scope");
        size = get_le32(r.p + r.pos);
        r.pos += 4;
        if (size < r.pos - start || size > r.end - start)
            return diag_fail(d, ".ARM.attributes: scope of size %u does not fit", size);
        if (tag == kArmAttrTagFile) {
            Reader inner = {r.p, r.pos, start + size};
            if (!read_file_attributes(inner, out, d))
                return false;
        }
        r.pos = start + size;
    }
    return true;
}

const char *arch_name(uint32_t arch)
{
    static const char *const names[] = {"pre-v4", "v4",   "v4T",   "v5T",   "v5TE",
                                        "v5TEJ",  "v6",   "v6KZ",  "v6T2",  "v6K",
                                        "v7",     "v6-M", "v6S-M", "v7E-M", "v8"};
    return arch < sizeof names / sizeof names[0] ? names[arch] : "later";
}

} // namespace

bool arm_attributes_parse(const uint8_t *p, uint32_t size, ArmAttributes *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    if (size < 1 || p[0] != kArmAttrFormatVersion)
        return diag_fail(d, ".ARM.attributes: unknown format version");
    uint32_t pos = 1;
    while (pos < size) {
        if (size - pos < 4)
            return diag_fail(d, ".ARM.attributes: truncated subsection");
        uint32_t length = get_le32(p + pos);
        if (length < 5 || length > size - pos)
            return diag_fail(d, ".ARM.attributes: subsection of length %u does not fit", length);
        Reader r = {p, pos + 4, pos + length};
        const char *vendor = (const char *)p + r.pos;
        if (!skip_string(&r))
            return diag_fail(d, ".ARM.attributes: unterminated vendor name");
        if (strcmp(vendor, "aeabi") == 0 && !read_aeabi(r, out, d))
            return false;
        pos += length;
    }
    return true;
}

bool arm_attributes_check(const ElfFile *elf, Diag *d)
{
    const ElfSection *section = nullptr;
    for (uint32_t i = 0; i < elf->section_count; i++)
        if (elf->sections[i].type == kElfShtArmAttributes)
            section = &elf->sections[i];
    if (!section)
        return diag_fail(d, "no .ARM.attributes: cannot tell which ARM core the code needs");
    ArmAttributes a;
    if (!arm_attributes_parse(elf_section_bytes(elf, section), section->size, &a, d))
        return false;
    if (a.cpu_arch > kArmCpuArchV4T)
        return diag_fail(d, ".ARM.attributes: Tag_CPU_arch %s (%u) is later than v4T",
                         arch_name(a.cpu_arch), a.cpu_arch);
    if (a.thumb_isa_use > kArmThumbIsaThumb1)
        return diag_fail(d,
                         ".ARM.attributes: Tag_THUMB_ISA_use %u allows Thumb-2, not only Thumb-1",
                         a.thumb_isa_use);
    if (a.wchar_t_size == kArmWcharT4Bytes)
        return diag_fail(d, ".ARM.attributes: Tag_ABI_PCS_wchar_t 4, CE text is 16-bit "
                            "(compile with -fshort-wchar)");
    if (a.enum_size == kArmEnumSizeSmallest)
        return diag_fail(d, ".ARM.attributes: Tag_ABI_enum_size smallest, CE enums are int-sized "
                            "(compile with -fno-short-enums)");
    return true;
}
