// Image readers over bytes in memory: the helpers they share and the order ReadImage tries them in.
// Every header field is checked against the bytes actually present before anything is allocated;
// each format has its own file (ImageBmp, ImagePpm, ImageDds, ImageJpeg, ImagePng, ImageTga).
#include "texture/Image.h"

#include "texture/ImageReaderHelpers.h"
#include "texture/PixelFormat.h"

namespace textureimpl {

bool SizeAllowed(uint64_t width, uint64_t height, const ImageLimits& limits) {
    // Both sides come from 32-bit fields (or smaller), so the product cannot wrap.
    return width > 0 && height > 0 && width <= 0xFFFFFFFFu && height <= 0xFFFFFFFFu &&
           width * height <= limits.maxPixels;
}

// Starts the top level of `image` with room for width x height pixels.
ImageLevel& StartLevel(Image* image, uint32_t width, uint32_t height, bool palettized) {
    image->levels.emplace_back();
    ImageLevel& level = image->levels.back();
    level.width = width;
    level.height = height;
    size_t pixels = static_cast<size_t>(width) * height;
    if (palettized) level.indices.assign(pixels, 0);
    else level.rgba.assign(pixels * 4, 0.0f);
    return level;
}

bool Refuse(Image* image) {
    *image = Image{};
    return false;
}

// A file the reader knows as its own (by its signature) whose size is beyond the limits.
bool RefuseTooLarge(Image* image) {
    *image = Image{};
    image->tooLarge = true;
    return false;
}

// The table format whose packed layout has exactly these masks, if any.
D3DFORMAT FormatFromMasks(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    size_t count;
    const texfmt::FormatInfo* table = texfmt::Table(&count);
    for (size_t i = 0; i < count; ++i) {
        const texfmt::FormatInfo& f = table[i];
        if (f.bytesPerPixel * 8u != bits || f.type == texfmt::kBumpMap || texfmt::IsPalettized(f.format))
            continue;
        uint32_t m[4] = {0, 0, 0, 0};  // r g b a
        bool luminance = false;
        for (const texfmt::Channel& c : f.channels) {
            if (!c.component || c.component == 'x') continue;
            uint32_t mask = ((c.bits >= 32 ? 0xFFFFFFFFu : (1u << c.bits) - 1)) << c.shift;
            switch (c.component) {
                case 'r': m[0] = mask; break;
                case 'g': m[1] = mask; break;
                case 'b': m[2] = mask; break;
                case 'a': m[3] = mask; break;
                case 'l': m[0] = mask, luminance = true; break;
            }
        }
        if (luminance) {
            if (m[0] == r && g == 0 && b == 0 && m[3] == a) return f.format;
        } else if (m[0] == r && m[1] == g && m[2] == b && m[3] == a) {
            return f.format;
        }
    }
    return D3DFMT_UNKNOWN;
}

}  // namespace textureimpl

using namespace textureimpl;

void ExpandPalette(ImageLevel& level, const PALETTEENTRY palette[256]) {
    level.rgba.resize(level.indices.size() * 4);
    for (size_t i = 0; i < level.indices.size(); ++i) {
        const PALETTEENTRY& e = palette[level.indices[i]];
        SetPixel(level, i, e.peRed / 255.0f, e.peGreen / 255.0f, e.peBlue / 255.0f, e.peFlags / 255.0f);
    }
}

// [SECTION] Reader order

bool ReadImage(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    using Reader = bool (*)(const uint8_t*, size_t, Image*, const ImageLimits&);
    static const Reader kReaders[] = {ReadBmp, ReadPpm, ReadDds, ReadJpeg, ReadPng, ReadTga, ReadDib};
    if (!data || !image) return false;
    for (Reader reader : kReaders) {
        if (reader(data, size, image, limits)) return true;
        bool tooLarge = image->tooLarge;
        *image = Image{};  // whatever a failed reader made is gone before the next one tries
        if (tooLarge) {
            image->tooLarge = true;
            return false;
        }
    }
    return false;
}
