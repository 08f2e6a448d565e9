// Failure messages and little-endian access shared by the image writer.
// Every function that can fail returns false and leaves one line in a Diag
// naming the symbol, section or relocation at fault.
#pragma once

#include <cstddef>
#include <cstdint>

const size_t kDiagTextSize = 512; // one line; long symbol names are cut, never overrun

struct Diag {
    char text[kDiagTextSize];
};

// Formats the message into d (when d is not null) and returns false.
bool diag_fail(Diag *d, const char *format, ...) __attribute__((format(printf, 2, 3)));

inline uint16_t get_le16(const uint8_t *p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}
inline uint32_t get_le32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void put_le16(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
inline void put_le32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// Rounds v up to a power-of-two alignment; the caller keeps v small enough.
inline uint32_t align_up(uint32_t v, uint32_t alignment)
{
    return (v + alignment - 1) & ~(alignment - 1);
}
