// BMP and DIB reader: uncompressed, RLE4/RLE8 and bit-field pixels, palettes, top-down and bottom-up rows.
#include "texture/Image.h"

#include <cstring>

#include "texture/ImageReaderHelpers.h"

using namespace textureimpl;

namespace {

constexpr uint32_t BI_RGB_ = 0, BI_RLE8_ = 1, BI_RLE4_ = 2, BI_BITFIELDS_ = 3, BI_ALPHABITFIELDS_ = 6;

// Decodes a DIB whose header starts at `header`. `pixelOffset` is where the pixels start
// (0: directly after the header, masks and palette).
bool ReadDibAt(const uint8_t* data, size_t size, size_t header, size_t pixelOffset, Image* image,
               const ImageLimits& limits) {
    if (size < header + 12) return false;
    const uint8_t* h = data + header;
    uint32_t headerSize = Le32(h);
    int64_t width, height;
    uint32_t planes, bitCount, compression = BI_RGB_, coloursUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    size_t paletteEntrySize = 4;
    if (headerSize == 12) {
        width = Le16(h + 4);
        height = static_cast<int16_t>(Le16(h + 6));
        planes = Le16(h + 8);
        bitCount = Le16(h + 10);
        paletteEntrySize = 3;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
               headerSize == 124) {
        if (size < header + headerSize) return false;
        width = static_cast<int32_t>(Le32(h + 4));
        height = static_cast<int32_t>(Le32(h + 8));
        planes = Le16(h + 12);
        bitCount = Le16(h + 14);
        compression = Le32(h + 16);
        coloursUsed = Le32(h + 32);
        if (headerSize >= 52) masks[0] = Le32(h + 40), masks[1] = Le32(h + 44), masks[2] = Le32(h + 48);
        if (headerSize >= 56) masks[3] = Le32(h + 52);
    } else {
        return false;
    }
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (planes != 1 || width <= 0 || height <= 0) return false;
    if (!SizeAllowed(width, height, limits)) return RefuseTooLarge(image);
    size_t cursor = header + headerSize;
    bool bitFields = compression == BI_BITFIELDS_ || compression == BI_ALPHABITFIELDS_;
    switch (bitCount) {
        case 1: case 4: case 8:
            if (compression != BI_RGB_ && !(compression == BI_RLE8_ && bitCount == 8) &&
                !(compression == BI_RLE4_ && bitCount == 4))
                return false;
            break;
        case 16: case 32:
            if (compression != BI_RGB_ && !bitFields) return false;
            break;
        case 24:
            if (compression != BI_RGB_) return false;
            break;
        default:
            return false;
    }
    if (bitFields && headerSize == 40) {
        size_t n = compression == BI_ALPHABITFIELDS_ ? 4 : 3;
        if (size < cursor + 4 * n) return false;
        for (size_t i = 0; i < n; ++i) masks[i] = Le32(data + cursor + 4 * i);
        cursor += 4 * n;
    }
    if (bitFields && (masks[0] | masks[1] | masks[2]) == 0) return false;
    // The palette follows the header (and masks).
    PALETTEENTRY palette[256] = {};
    bool palettized = bitCount <= 8;
    if (palettized) {
        uint32_t entries = coloursUsed ? coloursUsed : (1u << bitCount);
        if (entries > 256) return false;
        if (size < cursor + entries * paletteEntrySize) return false;
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* e = data + cursor + i * paletteEntrySize;
            palette[i] = PALETTEENTRY{e[2], e[1], e[0], 255};
        }
        for (uint32_t i = entries; i < 256; ++i) palette[i] = PALETTEENTRY{0, 0, 0, 255};
        cursor += entries * paletteEntrySize;
    }
    size_t pixels = pixelOffset ? pixelOffset : cursor;
    if (pixels > size) return false;

    uint32_t w = static_cast<uint32_t>(width), hgt = static_cast<uint32_t>(height);
    // Reported format and pixel decoding.
    D3DFORMAT format;
    if (palettized) {
        format = D3DFMT_P8;
    } else if (bitCount == 24) {
        format = D3DFMT_R8G8B8;
    } else if (!bitFields) {
        format = bitCount == 16 ? D3DFMT_X1R5G5B5 : D3DFMT_X8R8G8B8;
        if (bitCount == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        else masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
        masks[3] = 0;
    } else {
        if (bitCount == 16) {
            for (uint32_t& m : masks) m &= 0xFFFF;
        }
        format = FormatFromMasks(bitCount, masks[0], masks[1], masks[2], masks[3]);
        if (format == D3DFMT_UNKNOWN) format = masks[3] ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }
    image->format = format;
    image->hasPalette = palettized;
    if (palettized) std::memcpy(image->palette, palette, sizeof(palette));
    ImageLevel& level = StartLevel(image, w, hgt, palettized);
    auto rowOf = [&](uint32_t fileRow) { return topDown ? fileRow : hgt - 1 - fileRow; };

    if (compression == BI_RLE8_ || compression == BI_RLE4_) {
        if (topDown) return false;  // compressed bitmaps are always bottom-up
        size_t p = pixels;
        uint32_t x = 0, row = 0;
        while (row < hgt) {
            if (p + 2 > size) return false;
            uint8_t count = data[p], value = data[p + 1];
            p += 2;
            if (count > 0) {
                for (uint32_t i = 0; i < count && x < w; ++i, ++x) {
                    uint8_t index = compression == BI_RLE8_ ? value : ((i & 1) ? (value & 15) : (value >> 4));
                    level.indices[static_cast<size_t>(rowOf(row)) * w + x] = index;
                }
            } else if (value == 0) {  // end of line
                x = 0;
                ++row;
            } else if (value == 1) {  // end of bitmap
                break;
            } else if (value == 2) {  // delta
                if (p + 2 > size) return false;
                x += data[p];
                row += data[p + 1];
                p += 2;
                if (x > w) return false;
            } else {  // absolute run of `value` indices, padded to a word
                uint32_t n = value;
                size_t bytes = compression == BI_RLE8_ ? n : (n + 1) / 2;
                if (p + bytes > size) return false;
                for (uint32_t i = 0; i < n; ++i) {
                    uint8_t index = compression == BI_RLE8_ ? data[p + i]
                                                            : ((i & 1) ? (data[p + i / 2] & 15) : (data[p + i / 2] >> 4));
                    if (x < w && row < hgt) level.indices[static_cast<size_t>(rowOf(row)) * w + x] = index;
                    ++x;
                }
                p += (bytes + 1) & ~size_t(1);
            }
        }
        return true;
    }

    size_t stride = ((static_cast<size_t>(w) * bitCount + 31) / 32) * 4;
    if (stride * hgt > size - pixels) return false;
    MaskField fr(masks[0]), fg(masks[1]), fb(masks[2]), fa(masks[3]);
    for (uint32_t row = 0; row < hgt; ++row) {
        const uint8_t* src = data + pixels + stride * row;
        size_t out = static_cast<size_t>(rowOf(row)) * w;
        for (uint32_t x = 0; x < w; ++x) {
            if (palettized) {
                uint32_t bit = x * bitCount;
                uint8_t byte = src[bit / 8];
                uint8_t index = static_cast<uint8_t>((byte >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1));
                level.indices[out + x] = index;
            } else if (bitCount == 24) {
                const uint8_t* s = src + 3 * x;
                SetPixel(level, out + x, s[2] / 255.0f, s[1] / 255.0f, s[0] / 255.0f, 1.0f);
            } else {
                uint32_t v = bitCount == 16 ? Le16(src + 2 * x) : Le32(src + 4 * x);
                SetPixel(level, out + x, fr.Get(v, 0), fg.Get(v, 0), fb.Get(v, 0), fa.Get(v, 1));
            }
        }
    }
    return true;
}

}  // namespace

bool ReadBmp(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return false;
    uint32_t offBits = Le32(data + 10);
    if (offBits < 14 + 12 || offBits > size) return Refuse(image);
    image->fileFormat = D3DXIFF_BMP;
    if (!ReadDibAt(data, size, 14, offBits, image, limits)) return image->tooLarge ? false : Refuse(image);
    image->fileFormat = D3DXIFF_BMP;
    return true;
}

bool ReadDib(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    // Without a signature any bytes may look like a header: none is called too large.
    if (!ReadDibAt(data, size, 0, 0, image, limits)) return Refuse(image);
    image->fileFormat = D3DXIFF_DIB;
    return true;
}
