// The decoded image every reader produces: float RGBA levels (or palette indices), the format
// the file holds as reported to callers, and the file kind. Readers refuse rather than guess.
#pragma once

#include "texture/D3DXTexture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ImageLevel {
    uint32_t width = 0, height = 0;
    std::vector<float> rgba;        // 4 floats per pixel, 0..1, rows top-down
    std::vector<uint8_t> indices;   // palettized images: one index per pixel instead of rgba
};

struct Image {
    D3DFORMAT format = D3DFMT_UNKNOWN;     // the file's pixel format as reported
    D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
    std::vector<ImageLevel> levels;        // top level first (DDS files may hold more)
    bool hasPalette = false;
    PALETTEENTRY palette[256] = {};        // peFlags = alpha
    // Set, on an otherwise empty image, when a reader recognised the file but refused it only
    // because its size is beyond the limits.
    bool tooLarge = false;
};

// The bound that keeps absurd headers from allocating: the top level's pixel count. It bounds
// each side as well, so a long thin image within it is read whatever its width.
struct ImageLimits {
    uint64_t maxPixels = uint64_t(1) << 24;
};

// Tries the readers in the order BMP, PPM, DDS, JPEG, PNG, TGA, DIB on `size` bytes; the first
// that accepts them fills `image`. False when none does (image then empty); a file that one of
// the readers that know their files by a signature (all but TGA and DIB) recognised as its own
// but found too large stops the search with image->tooLarge set.
bool ReadImage(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits = {});

// The readers one by one (false and an empty image when the bytes are not theirs or broken).
bool ReadBmp(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits);
bool ReadPpm(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits);
bool ReadDds(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits);
bool ReadJpeg(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits);
bool ReadPng(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits);
bool ReadTga(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits);
bool ReadDib(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits);

// Fills the rgba of a palettized level from its indices through `palette`.
void ExpandPalette(ImageLevel& level, const PALETTEENTRY palette[256]);
