// Little-endian words read and written byte by byte: the same on every host,
// and never an unaligned word access.
#ifndef KVZ_POSIX_CE_LITTLE_ENDIAN_H
#define KVZ_POSIX_CE_LITTLE_ENDIAN_H

#include <stdint.h>

inline uint16_t KvzReadLe16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

inline uint32_t KvzReadLe32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

inline void KvzWriteLe32(uint8_t *p, uint32_t value)
{
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
    p[2] = (uint8_t)(value >> 16);
    p[3] = (uint8_t)(value >> 24);
}

#endif
