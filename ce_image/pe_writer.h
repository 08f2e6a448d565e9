// The PE headers of a laid-out image and its checksum.
#pragma once

#include "layout.h"

struct PeDirectory {
    uint32_t rva;
    uint32_t size;
};

struct PeHeaderInfo {
    uint32_t entry_rva;
    PeDirectory directories[kPeDirectoryCount];
};

// Writes the DOS header, PE signature, file header, optional header and
// section table into file (layout->headers_size bytes, zeroed). The
// checksum field stays 0 for pe_set_checksum.
void pe_write_headers(const ImageLayout *layout, const PeHeaderInfo *info, uint8_t *file);

// The PE checksum: 16-bit one's-complement-style sum of the file with the
// checksum field taken as 0, folded, plus the file's length.
uint32_t pe_checksum(const uint8_t *file, uint32_t size);
void pe_set_checksum(uint8_t *file, uint32_t size);
