// The byte-level helpers of the image writer: little-endian words as both
// ELF and PE store them, alignment, and the range check every offset read
// from a file passes before use.
#ifndef KVZ_CE_IMAGE_BYTES_H
#define KVZ_CE_IMAGE_BYTES_H

#include <cstdint>

inline uint16_t ReadLe16(const uint8_t *p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

inline uint32_t ReadLe32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

inline void WriteLe16(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

inline void WriteLe32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// Rounds v up to a power-of-two alignment. In 64 bits, so that sizes summed
// from hostile input cannot wrap; the image's own RVAs and sizes stay far
// below 4 GiB and are kept in 32.
inline uint64_t AlignUp(uint64_t v, uint32_t alignment)
{
    return (v + alignment - 1) & ~(uint64_t)(alignment - 1);
}

// [offset, offset + length) lies within size bytes.
inline bool Fits(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

#endif
