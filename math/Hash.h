// A 32-bit hash of three integers, for patterns drawn without stored random numbers (the media
// generator's textures, the scene's shimmer and steam): the same arguments give the same bits.
#pragma once

#include <cstdint>

inline uint32_t Hash3(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = a * 0x8DA6B343u ^ b * 0xD8163841u ^ c * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}
