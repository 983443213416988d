// Little-endian integers in byte buffers, as every stored format here uses.
#pragma once

#include <cstdint>

inline void PutLE(uint8_t* p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint64_t GetLE(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}
