// Small image files built in memory for the texture tests (PNG and JPEG through the libraries'
// writers, BMP, TGA, PPM and DDS byte by byte).
#pragma once

#include <cstdint>
#include <vector>

namespace testimg {

using Bytes = std::vector<uint8_t>;

// rgba: 4 bytes per pixel, rows top-down. channels: 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA.
Bytes Png(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba, int channels,
          int bitDepth = 8);
// Palette PNG: indices one per pixel, palette RGBA (4 bytes per entry).
Bytes PalettePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& indices,
                 const std::vector<uint8_t>& paletteRgba);
// Rewrites the size in a PNG's header (with a good checksum); the pixel data stays as it was.
void SetPngSize(Bytes* png, uint32_t width, uint32_t height);
// Baseline JPEG at quality 100; grey when `grey`, else RGB from rgba.
Bytes Jpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba, bool grey);
// Uncompressed 24-bit bottom-up BMP.
Bytes Bmp24(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba);
// 32-bit top-down TGA, RLE-compressed when `rle`.
Bytes Tga32(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba, bool rle);
// Binary PPM (P6).
Bytes Ppm(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba);
// A8R8G8B8 DDS holding `levels` levels, each filled with one colour from `colours` (ARGB).
Bytes DdsArgb(uint32_t width, uint32_t height, const std::vector<uint32_t>& colours);

}  // namespace testimg
