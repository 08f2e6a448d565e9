#include "pe_writer.h"

#include <cstring>

static const uint32_t kPeHeaderOffset = kPeDosHeaderSize; // PE signature right after the MZ header
static const uint32_t kFileHeaderOffset = kPeHeaderOffset + 4;
static const uint32_t kOptionalHeaderOffset = kFileHeaderOffset + kPeFileHeaderSize;
static const uint32_t kSectionTableOffset = kOptionalHeaderOffset + kPeOptionalHeaderSize;
static const uint32_t kChecksumOffset = kOptionalHeaderOffset + kPeOptChecksumOffset;

struct SectionSums {
    uint32_t code, initialized, uninitialized, baseOfCode, baseOfData;
};

static SectionSums SumSections(const ImageLayout *layout)
{
    SectionSums s = {0, 0, 0, 0, 0};
    for (uint32_t i = 0; i < layout->count; i++) {
        const ImageSection *sec = &layout->sections[i];
        if (sec->flags & kPeScnCode) {
            s.code += sec->fileSize;
            if (!s.baseOfCode)
                s.baseOfCode = sec->rva;
        } else if (!s.baseOfData) {
            s.baseOfData = sec->rva;
        }
        if (sec->flags & kPeScnInitializedData)
            s.initialized += sec->fileSize;
        if (sec->flags & kPeScnUninitializedData)
            s.uninitialized += (uint32_t)AlignUp(sec->virtualSize, kPeFileAlignment);
    }
    return s;
}

static void WriteFileHeader(const ImageLayout *layout, uint8_t *h)
{
    WriteLe16(h + 0, kPeMachineArm);
    WriteLe16(h + kPeFileSectionCountOffset, layout->count);
    // TimeDateStamp, symbol table and symbol count stay 0: reproducible, no COFF symbols.
    WriteLe16(h + kPeFileOptionalSizeOffset, kPeOptionalHeaderSize);
    WriteLe16(h + kPeFileFlagsOffset, kPeFileExecutableImage | kPeFile32BitMachine | kPeFileDll);
}

static void WriteOptionalHeader(const ImageLayout *layout, const PeHeaderInfo *info, uint8_t *h)
{
    SectionSums sums = SumSections(layout);
    WriteLe16(h + 0, kPeOptionalMagic32);
    WriteLe32(h + 4, sums.code);
    WriteLe32(h + 8, sums.initialized);
    WriteLe32(h + 12, sums.uninitialized);
    WriteLe32(h + 16, info->entryRva);
    WriteLe32(h + 20, sums.baseOfCode);
    WriteLe32(h + 24, sums.baseOfData);
    WriteLe32(h + 28, layout->base);
    WriteLe32(h + 32, kPeSectionAlignment);
    WriteLe32(h + 36, kPeFileAlignment);
    WriteLe16(h + 40, kPeCeVersionMajor); // operating system version
    WriteLe16(h + 42, kPeCeVersionMinor);
    WriteLe16(h + kPeOptSubsystemVersionOffset, kPeCeVersionMajor);
    WriteLe16(h + kPeOptSubsystemVersionOffset + 2, kPeCeVersionMinor);
    WriteLe32(h + 56, layout->imageSize);
    WriteLe32(h + 60, layout->headersSize);
    WriteLe16(h + kPeOptSubsystemOffset, kPeSubsystemWinCeGui);
    WriteLe32(h + 72, kPeStackReserve);
    WriteLe32(h + 76, kPeStackCommit);
    WriteLe32(h + 80, kPeHeapReserve);
    WriteLe32(h + 84, kPeHeapCommit);
    WriteLe32(h + kPeOptDirectoryCountOffset, kPeDirectoryCount);
    for (uint32_t i = 0; i < kPeDirectoryCount; i++) {
        WriteLe32(h + kPeOptDirectoryOffset + 8 * i, info->directories[i].rva);
        WriteLe32(h + kPeOptDirectoryOffset + 8 * i + 4, info->directories[i].size);
    }
}

static void WriteSectionTable(const ImageLayout *layout, uint8_t *h)
{
    for (uint32_t i = 0; i < layout->count; i++, h += kPeSectionHeaderSize) {
        const ImageSection *s = &layout->sections[i];
        memcpy(h, s->name, strlen(s->name)); // at most 8 bytes, zero-padded
        WriteLe32(h + kPeSectionVirtualSizeOffset, s->virtualSize);
        WriteLe32(h + kPeSectionRvaOffset, s->rva);
        WriteLe32(h + kPeSectionRawSizeOffset, s->fileSize);
        WriteLe32(h + kPeSectionRawOffsetOffset, s->fileOffset);
        WriteLe32(h + kPeSectionFlagsOffset, s->flags);
    }
}

void PeWriteHeaders(const ImageLayout *layout, const PeHeaderInfo *info, uint8_t *file)
{
    WriteLe16(file, kPeDosMagic);
    WriteLe32(file + kPeDosLfanewOffset, kPeHeaderOffset);
    WriteLe32(file + kPeHeaderOffset, kPeSignature);
    WriteFileHeader(layout, file + kFileHeaderOffset);
    WriteOptionalHeader(layout, info, file + kOptionalHeaderOffset);
    WriteSectionTable(layout, file + kSectionTableOffset);
}

uint32_t PeChecksum(const uint8_t *file, uint32_t size)
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i + 1 < size; i += 2) {
        if (i >= kChecksumOffset && i < kChecksumOffset + 4)
            continue;
        sum += ReadLe16(file + i);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    if (size & 1) {
        sum += file[size - 1];
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return (uint32_t)((sum & 0xFFFF) + size);
}

void PeSetChecksum(uint8_t *file, uint32_t size)
{
    WriteLe32(file + kChecksumOffset, PeChecksum(file, size));
}
