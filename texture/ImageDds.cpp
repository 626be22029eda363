// DDS reader: DXT-compressed and uncompressed surfaces with their mip levels, by FourCC or channel masks.
#include "texture/Image.h"

#include <algorithm>
#include <cstring>

#include "texture/ImageReaderHelpers.h"
#include "texture/PixelFormat.h"

using namespace textureimpl;

bool ReadDds(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    if (size < 128 || std::memcmp(data, "DDS ", 4) != 0) return false;
    const uint8_t* h = data + 4;
    if (Le32(h) != 124 || Le32(h + 72) != 32) return Refuse(image);
    uint32_t flags = Le32(h + 4), height = Le32(h + 8), width = Le32(h + 12);
    uint32_t mipCount = (flags & 0x20000) ? Le32(h + 24) : 1;
    uint32_t pfFlags = Le32(h + 76), fourCC = Le32(h + 80), bitCount = Le32(h + 84);
    uint32_t rMask = Le32(h + 88), gMask = Le32(h + 92), bMask = Le32(h + 96), aMask = Le32(h + 100);
    uint32_t caps2 = Le32(h + 108);
    if (caps2 & 0x200000) return Refuse(image);  // volume textures are not loaded
    if (!SizeAllowed(width, height, limits)) return RefuseTooLarge(image);
    D3DFORMAT format = D3DFMT_UNKNOWN;
    if (pfFlags & 0x4) {
        format = static_cast<D3DFORMAT>(fourCC);
        const texfmt::FormatInfo* info = texfmt::Find(format);
        if (!texfmt::IsDxt(format) && (!info || info->bytesPerPixel == 0 || texfmt::IsPalettized(format)))
            return Refuse(image);
    } else if (pfFlags & (0x40 | 0x20000 | 0x2)) {
        uint32_t alpha = (pfFlags & 0x3) ? aMask : 0;
        if (pfFlags & 0x20000) format = FormatFromMasks(bitCount, rMask, 0, 0, alpha);
        else if (pfFlags & 0x40) format = FormatFromMasks(bitCount, rMask, gMask, bMask, alpha);
        else format = FormatFromMasks(bitCount, 0, 0, 0, alpha);
        if (format == D3DFMT_UNKNOWN) return Refuse(image);
    } else {
        return Refuse(image);
    }
    uint32_t maxLevels = 1;
    for (uint32_t s = std::max(width, height); s > 1; s >>= 1) ++maxLevels;
    if (mipCount == 0) mipCount = 1;
    if (mipCount > maxLevels) return Refuse(image);
    image->format = format;
    image->fileFormat = D3DXIFF_DDS;
    size_t p = 128;
    const texfmt::FormatInfo* info = texfmt::Find(format);
    uint32_t w = width, hgt = height;
    for (uint32_t l = 0; l < mipCount; ++l) {
        size_t rowBytes = texfmt::RowBytes(format, w);
        size_t rows = texfmt::StorageRows(format, hgt);
        if (rowBytes == 0 || rowBytes * rows > size - p) return Refuse(image);
        ImageLevel& level = StartLevel(image, w, hgt, false);
        if (texfmt::IsDxt(format)) {
            size_t blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
            for (uint32_t by = 0; by < rows; ++by)
                for (uint32_t bx = 0; bx < (w + 3) / 4; ++bx) {
                    float block[16][4];
                    texfmt::DecodeDxtBlock(format, data + p + by * rowBytes + bx * blockBytes, block);
                    for (uint32_t k = 0; k < 16; ++k) {
                        uint32_t x = bx * 4 + k % 4, y = by * 4 + k / 4;
                        if (x < w && y < hgt)
                            SetPixel(level, static_cast<size_t>(y) * w + x, block[k][0], block[k][1], block[k][2], block[k][3]);
                    }
                }
        } else {
            for (uint32_t y = 0; y < hgt; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    texfmt::Decode(*info, data + p + y * rowBytes + static_cast<size_t>(x) * info->bytesPerPixel,
                                   &level.rgba[(static_cast<size_t>(y) * w + x) * 4]);
        }
        p += rowBytes * rows;
        w = std::max(1u, w / 2);
        hgt = std::max(1u, hgt / 2);
    }
    return true;
}
