// The PE headers of a laid-out image and its checksum.
#ifndef KVZ_CE_IMAGE_PE_WRITER_H
#define KVZ_CE_IMAGE_PE_WRITER_H

#include "layout.h"

struct PeDirectory {
    uint32_t rva;
    uint32_t size;
};

struct PeHeaderInfo {
    uint32_t entryRva;
    PeDirectory directories[kPeDirectoryCount];
};

// Writes the DOS header, PE signature, file header, optional header and
// section table into file (layout->headersSize bytes, zeroed). The
// checksum field stays 0 for PeSetChecksum.
void PeWriteHeaders(const ImageLayout *layout, const PeHeaderInfo *info, uint8_t *file);

// The PE checksum: 16-bit one's-complement-style sum of the file with the
// checksum field taken as 0, folded, plus the file's length.
uint32_t PeChecksum(const uint8_t *file, uint32_t size);
void PeSetChecksum(uint8_t *file, uint32_t size);

#endif
