#include "pe_writer.h"

#include <cstring>

namespace
{

const uint32_t kPeHeaderOffset = kPeDosHeaderSize; // PE signature right after the MZ header
const uint32_t kFileHeaderOffset = kPeHeaderOffset + 4;
const uint32_t kOptionalHeaderOffset = kFileHeaderOffset + kPeFileHeaderSize;
const uint32_t kSectionTableOffset = kOptionalHeaderOffset + kPeOptionalHeaderSize;
const uint32_t kChecksumOffset = kOptionalHeaderOffset + kPeOptChecksumOffset;

struct Sizes {
    uint32_t code, initialized, uninitialized, base_of_code, base_of_data;
};

Sizes sum_sections(const ImageLayout *layout)
{
    Sizes s = {0, 0, 0, 0, 0};
    for (uint32_t i = 0; i < layout->count; i++) {
        const ImageSection *sec = &layout->sections[i];
        if (sec->flags & kPeScnCode) {
            s.code += sec->file_size;
            if (!s.base_of_code)
                s.base_of_code = sec->rva;
        } else if (!s.base_of_data) {
            s.base_of_data = sec->rva;
        }
        if (sec->flags & kPeScnInitializedData)
            s.initialized += sec->file_size;
        if (sec->flags & kPeScnUninitializedData)
            s.uninitialized += align_up(sec->virtual_size, kPeFileAlignment);
    }
    return s;
}

void write_file_header(const ImageLayout *layout, uint8_t *h)
{
    put_le16(h + 0, kPeMachineArm);
    put_le16(h + 2, layout->count);
    // TimeDateStamp, symbol table and symbol count stay 0: reproducible, no COFF symbols.
    put_le16(h + 16, kPeOptionalHeaderSize);
    put_le16(h + 18, kPeFileExecutableImage | kPeFile32BitMachine | kPeFileDll);
}

void write_optional_header(const ImageLayout *layout, const PeHeaderInfo *info, uint8_t *h)
{
    Sizes sizes = sum_sections(layout);
    put_le16(h + 0, kPeOptionalMagic32);
    put_le32(h + 4, sizes.code);
    put_le32(h + 8, sizes.initialized);
    put_le32(h + 12, sizes.uninitialized);
    put_le32(h + 16, info->entry_rva);
    put_le32(h + 20, sizes.base_of_code);
    put_le32(h + 24, sizes.base_of_data);
    put_le32(h + 28, layout->base);
    put_le32(h + 32, kPeSectionAlignment);
    put_le32(h + 36, kPeFileAlignment);
    put_le16(h + 40, kPeCeVersionMajor); // operating system version
    put_le16(h + 42, kPeCeVersionMinor);
    put_le16(h + 48, kPeCeVersionMajor); // subsystem version
    put_le16(h + 50, kPeCeVersionMinor);
    put_le32(h + 56, layout->image_size);
    put_le32(h + 60, layout->headers_size);
    put_le16(h + 68, kPeSubsystemWinCeGui);
    put_le32(h + 72, kPeStackReserve);
    put_le32(h + 76, kPeStackCommit);
    put_le32(h + 80, kPeHeapReserve);
    put_le32(h + 84, kPeHeapCommit);
    put_le32(h + 92, kPeDirectoryCount);
    for (uint32_t i = 0; i < kPeDirectoryCount; i++) {
        put_le32(h + kPeOptDirectoryOffset + 8 * i, info->directories[i].rva);
        put_le32(h + kPeOptDirectoryOffset + 8 * i + 4, info->directories[i].size);
    }
}

void write_section_table(const ImageLayout *layout, uint8_t *h)
{
    for (uint32_t i = 0; i < layout->count; i++, h += kPeSectionHeaderSize) {
        const ImageSection *s = &layout->sections[i];
        memcpy(h, s->name, strlen(s->name)); // at most 8 bytes, zero-padded
        put_le32(h + 8, s->virtual_size);
        put_le32(h + 12, s->rva);
        put_le32(h + 16, s->file_size);
        put_le32(h + 20, s->file_offset);
        put_le32(h + 36, s->flags);
    }
}

} // namespace

void pe_write_headers(const ImageLayout *layout, const PeHeaderInfo *info, uint8_t *file)
{
    put_le16(file, kPeDosMagic);
    put_le32(file + kPeDosLfanewOffset, kPeHeaderOffset);
    put_le32(file + kPeHeaderOffset, kPeSignature);
    write_file_header(layout, file + kFileHeaderOffset);
    write_optional_header(layout, info, file + kOptionalHeaderOffset);
    write_section_table(layout, file + kSectionTableOffset);
}

uint32_t pe_checksum(const uint8_t *file, uint32_t size)
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i + 1 < size; i += 2) {
        if (i >= kChecksumOffset && i < kChecksumOffset + 4)
            continue;
        sum += get_le16(file + i);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    if (size & 1) {
        sum += file[size - 1];
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return (uint32_t)((sum & 0xFFFF) + size);
}

void pe_set_checksum(uint8_t *file, uint32_t size)
{
    put_le32(file + kChecksumOffset, pe_checksum(file, size));
}
