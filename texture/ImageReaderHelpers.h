// Helpers shared by the image readers (one file per format): little-endian fields, size limits,
// level start and pixel stores, refusals, and channel masks. Private to texture/.
#pragma once

#include <cstddef>
#include <cstdint>

#include "texture/Image.h"

namespace textureimpl {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool SizeAllowed(uint64_t width, uint64_t height, const ImageLimits& limits);
// Starts the top level of `image` with room for width x height pixels.
ImageLevel& StartLevel(Image* image, uint32_t width, uint32_t height, bool palettized);
// Inline: it runs once per pixel.
inline void SetPixel(ImageLevel& level, size_t index, float r, float g, float b, float a) {
    float* p = &level.rgba[index * 4];
    p[0] = r, p[1] = g, p[2] = b, p[3] = a;
}
// A broken file: empties `image` and returns false.
bool Refuse(Image* image);
// A file the reader knows as its own (by its signature) whose size is beyond the limits.
bool RefuseTooLarge(Image* image);

// A channel mask as shift and maximum (for BMP bit fields and DDS masks).
struct MaskField {
    uint32_t mask = 0;
    int shift = 0;
    float max = 0;
    explicit MaskField(uint32_t m = 0) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        max = static_cast<float>(m >> shift);
    }
    float Get(uint32_t v, float fallback) const { return mask ? ((v & mask) >> shift) / max : fallback; }
};

// The table format whose packed layout has exactly these masks, if any.
D3DFORMAT FormatFromMasks(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a);

}  // namespace textureimpl
