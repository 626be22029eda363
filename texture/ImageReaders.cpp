// Image readers over bytes in memory. Every header field is checked against the bytes actually
// present before anything is allocated; PNG and JPEG go through libpng and libjpeg with their
// errors turned into a refusal (setjmp/longjmp inside one function each).
//
// [SECTION] Helpers
// [SECTION] BMP and DIB
// [SECTION] PPM
// [SECTION] DDS
// [SECTION] JPEG
// [SECTION] PNG
// [SECTION] TGA
// [SECTION] Reader order
#include "texture/Image.h"

#include "texture/PixelFormat.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace {

// [SECTION] Helpers

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

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

void SetPixel(ImageLevel& level, size_t index, float r, float g, float b, float a) {
    float* p = &level.rgba[index * 4];
    p[0] = r, p[1] = g, p[2] = b, p[3] = a;
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

// [SECTION] BMP and DIB

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

// [SECTION] PPM

// Reads one header number, skipping whitespace and comments.
bool PpmNumber(const uint8_t* data, size_t size, size_t* p, uint32_t* value) {
    for (;;) {
        while (*p < size && (data[*p] == ' ' || data[*p] == '\t' || data[*p] == '\r' || data[*p] == '\n'))
            ++*p;
        if (*p < size && data[*p] == '#') {
            while (*p < size && data[*p] != '\n') ++*p;
            continue;
        }
        break;
    }
    if (*p >= size || data[*p] < '0' || data[*p] > '9') return false;
    uint64_t v = 0;
    while (*p < size && data[*p] >= '0' && data[*p] <= '9') {
        v = v * 10 + (data[*p] - '0');
        if (v > 0xFFFFFFFFu) return false;
        ++*p;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

// [SECTION] JPEG

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

extern "C" void JpegErrorExit(j_common_ptr info) {
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    std::longjmp(error->jump, 1);
}
// Messages are not printed; warnings (level -1) are counted so damaged files can be refused.
extern "C" void JpegSilence(j_common_ptr info, int level) {
    if (level < 0) ++info->err->num_warnings;
}
extern "C" void JpegNoOutput(j_common_ptr) {}

// [SECTION] PNG

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

extern "C" void PngRead(png_structp png, png_bytep out, png_size_t count) {
    PngSource* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->offset) png_error(png, "truncated");
    std::memcpy(out, source->data + source->offset, count);
    source->offset += count;
}
extern "C" void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
extern "C" void PngWarning(png_structp, png_const_charp) {}

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

bool ReadPpm(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    if (size < 3 || data[0] != 'P' || (data[1] != '6' && data[1] != '5')) return false;
    bool colour = data[1] == '6';
    size_t p = 2;
    if (data[p] != ' ' && data[p] != '\t' && data[p] != '\r' && data[p] != '\n' && data[p] != '#') return false;
    uint32_t width, height, maxValue;
    if (!PpmNumber(data, size, &p, &width) || !PpmNumber(data, size, &p, &height) ||
        !PpmNumber(data, size, &p, &maxValue))
        return false;
    if (p >= size || maxValue == 0 || maxValue > 65535) return false;
    if (!SizeAllowed(width, height, limits)) return RefuseTooLarge(image);
    ++p;  // the single whitespace character before the samples
    size_t channels = colour ? 3 : 1, bytes = maxValue > 255 ? 2 : 1;
    size_t needed = static_cast<size_t>(width) * height * channels * bytes;
    if (needed > size - p) return false;
    image->format = colour ? D3DFMT_R8G8B8 : D3DFMT_L8;
    image->fileFormat = D3DXIFF_PPM;
    ImageLevel& level = StartLevel(image, width, height, false);
    const uint8_t* s = data + p;
    float scale = 1.0f / maxValue;
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        float c[3];
        for (size_t k = 0; k < channels; ++k) {
            uint32_t v = bytes == 2 ? (s[0] << 8) | s[1] : s[0];
            s += bytes;
            c[k] = std::min(1.0f, v * scale);
        }
        if (!colour) c[1] = c[2] = c[0];
        SetPixel(level, i, c[0], c[1], c[2], 1.0f);
    }
    return true;
}

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

bool ReadJpeg(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return false;
    jpeg_decompress_struct info;
    JpegError error;
    std::vector<uint8_t> row;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    error.manager.emit_message = JpegSilence;
    error.manager.output_message = JpegNoOutput;
    jpeg_create_decompress(&info);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return Refuse(image);
    }
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return Refuse(image);
    }
    bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = grey ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_RGB);
    if (!SizeAllowed(info.image_width, info.image_height, limits)) {
        jpeg_destroy_decompress(&info);
        return RefuseTooLarge(image);
    }
    jpeg_start_decompress(&info);
    image->format = grey ? D3DFMT_L8 : D3DFMT_R8G8B8;
    image->fileFormat = D3DXIFF_JPG;
    ImageLevel& level = StartLevel(image, info.output_width, info.output_height, false);
    int components = info.output_components;
    row.resize(static_cast<size_t>(info.output_width) * components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        size_t y = info.output_scanline;
        if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
        for (size_t x = 0; x < info.output_width; ++x) {
            const uint8_t* s = &row[x * components];
            float r, g, b;
            if (components == 1) {
                r = g = b = s[0] / 255.0f;
            } else if (components == 4) {  // Adobe CMYK is stored inverted
                float k = s[3] / 255.0f;
                r = s[0] / 255.0f * k, g = s[1] / 255.0f * k, b = s[2] / 255.0f * k;
            } else {
                r = s[0] / 255.0f, g = s[1] / 255.0f, b = s[2] / 255.0f;
            }
            SetPixel(level, y * info.output_width + x, r, g, b, 1.0f);
        }
    }
    jpeg_finish_decompress(&info);
    // libjpeg carries on past corrupt or missing data with a warning and made-up pixels; such a
    // file is refused rather than shown half invented.
    bool damaged = error.manager.num_warnings > 0;
    jpeg_destroy_decompress(&info);
    if (damaged) return Refuse(image);
    return true;
}

bool ReadPng(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource source{data, size, 0};
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Refuse(image);
    }
    png_set_read_fn(png, &source, PngRead);
    // libpng's own bound on each side is lifted to the format's; the pixel budget below decides,
    // right after the header and before any row is allocated.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    int depth = png_get_bit_depth(png, info), type = png_get_color_type(png, info);
    if (!SizeAllowed(width, height, limits)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return RefuseTooLarge(image);
    }
    bool palettized = type == PNG_COLOR_TYPE_PALETTE;
    bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (palettized) {
        if (depth < 8) png_set_packing(png);
    } else {
        if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (hasTrns) png_set_tRNS_to_alpha(png);
    }
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    int channels = png_get_channels(png, info);
    int outDepth = png_get_bit_depth(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != static_cast<size_t>(width) * channels * (outDepth / 8)) png_error(png, "layout");
    pixels.resize(rowBytes * height);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + rowBytes * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);

    bool colour = (type & PNG_COLOR_MASK_COLOR) != 0;
    bool alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || (!palettized && hasTrns);
    ImageLevel& level = StartLevel(image, width, height, palettized);
    if (palettized) {
        png_colorp entries = nullptr;
        int count = 0;
        if (!png_get_PLTE(png, info, &entries, &count) || count > 256) png_error(png, "palette");
        png_bytep trans = nullptr;
        int transCount = 0;
        png_color_16p transColour = nullptr;
        if (hasTrns) png_get_tRNS(png, info, &trans, &transCount, &transColour);
        for (int i = 0; i < 256; ++i) {
            PALETTEENTRY& e = image->palette[i];
            if (i < count) e = PALETTEENTRY{entries[i].red, entries[i].green, entries[i].blue, 255};
            else e = PALETTEENTRY{0, 0, 0, 255};
            if (trans && i < transCount) e.peFlags = trans[i];
        }
        for (size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] >= count) png_error(png, "index");
            level.indices[i] = pixels[i];
        }
        image->hasPalette = true;
        image->format = D3DFMT_P8;
    } else {
        float scale = outDepth == 16 ? 1.0f / 65535.0f : 1.0f / 255.0f;
        for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
            float c[4];
            for (int k = 0; k < channels; ++k) {
                const uint8_t* s = pixels.data() + (i * channels + k) * (outDepth / 8);
                c[k] = (outDepth == 16 ? ((s[0] << 8) | s[1]) : s[0]) * scale;
            }
            if (colour) SetPixel(level, i, c[0], c[1], c[2], alpha ? c[3] : 1.0f);
            else SetPixel(level, i, c[0], c[0], c[0], alpha ? c[1] : 1.0f);
        }
        // 16-bit files are read at full precision and reported as their 8-bit kin.
        image->format = colour ? (alpha ? D3DFMT_A8R8G8B8 : D3DFMT_R8G8B8)
                               : (alpha ? D3DFMT_A8L8 : D3DFMT_L8);
    }
    image->fileFormat = D3DXIFF_PNG;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool ReadTga(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    if (size < 18) return false;
    uint8_t idLength = data[0], mapType = data[1], type = data[2];
    uint16_t mapFirst = Le16(data + 3), mapLength = Le16(data + 5);
    uint8_t mapBits = data[7];
    uint16_t width = Le16(data + 12), height = Le16(data + 14);
    uint8_t bits = data[16], descriptor = data[17];
    bool mapped = type == 1 || type == 9, truecolour = type == 2 || type == 10, grey = type == 3 || type == 11;
    bool rle = type >= 9;
    if (!mapped && !truecolour && !grey) return false;
    if (mapType > 1 || (mapped && mapType != 1) || (descriptor & 0xC0)) return false;
    if (mapped && (bits != 8 || mapFirst + mapLength > 256 || mapLength == 0 ||
                   (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)))
        return false;
    if (truecolour && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
    if (grey && bits != 8 && bits != 16) return false;
    if (!SizeAllowed(width, height, limits)) return false;  // no signature: not called too large
    uint32_t alphaBits = descriptor & 15;
    size_t p = 18 + static_cast<size_t>(idLength);
    size_t mapEntryBytes = mapType ? (mapBits + 7) / 8 : 0;
    if (p + mapLength * mapEntryBytes > size) return false;
    auto readColour = [](const uint8_t* s, uint32_t bitCount, float rgba[4]) {
        if (bitCount == 15 || bitCount == 16) {
            uint16_t v = Le16(s);
            rgba[0] = ((v >> 10) & 31) / 31.0f, rgba[1] = ((v >> 5) & 31) / 31.0f, rgba[2] = (v & 31) / 31.0f;
            rgba[3] = bitCount == 16 ? ((v >> 15) & 1) : 1.0f;
        } else {
            rgba[0] = s[2] / 255.0f, rgba[1] = s[1] / 255.0f, rgba[2] = s[0] / 255.0f;
            rgba[3] = bitCount == 32 ? s[3] / 255.0f : 1.0f;
        }
    };
    if (mapped) {
        image->hasPalette = true;
        for (int i = 0; i < 256; ++i) image->palette[i] = PALETTEENTRY{0, 0, 0, 255};
        for (uint32_t i = 0; i < mapLength; ++i) {
            float c[4];
            readColour(data + p + i * mapEntryBytes, mapBits, c);
            if (mapBits == 16 && alphaBits == 0) c[3] = 1.0f;
            image->palette[mapFirst + i] = PALETTEENTRY{static_cast<BYTE>(c[0] * 255 + 0.5f), static_cast<BYTE>(c[1] * 255 + 0.5f),
                                                        static_cast<BYTE>(c[2] * 255 + 0.5f), static_cast<BYTE>(c[3] * 255 + 0.5f)};
        }
    }
    p += mapLength * mapEntryBytes;
    uint32_t pixelBytes = (bits + 7) / 8;
    size_t count = static_cast<size_t>(width) * height;
    if (!rle && count * pixelBytes > size - p) return false;
    if (rle && count / 128 > size - p) return false;  // at least one byte per 128 pixels
    if (mapped) image->format = D3DFMT_P8;
    else if (grey) image->format = bits == 16 ? D3DFMT_A8L8 : D3DFMT_L8;
    else if (bits == 24) image->format = D3DFMT_R8G8B8;
    else if (bits == 32) image->format = alphaBits ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    else image->format = (bits == 16 && alphaBits) ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
    image->fileFormat = D3DXIFF_TGA;
    ImageLevel& level = StartLevel(image, width, height, mapped);
    bool topDown = (descriptor & 0x20) != 0, rightToLeft = (descriptor & 0x10) != 0;
    uint32_t colourBits = bits == 16 && alphaBits == 0 && truecolour ? 15 : bits;
    auto store = [&](size_t i, const uint8_t* s) {
        size_t x = i % width, y = i / width;
        if (!topDown) y = height - 1 - y;
        if (rightToLeft) x = width - 1 - x;
        size_t out = y * width + x;
        if (mapped) {
            level.indices[out] = s[0];
        } else if (grey) {
            float l = s[0] / 255.0f;
            SetPixel(level, out, l, l, l, bits == 16 ? s[1] / 255.0f : 1.0f);
        } else {
            float c[4];
            readColour(s, colourBits, c);
            if (bits == 32 && alphaBits == 0) c[3] = 1.0f;
            SetPixel(level, out, c[0], c[1], c[2], c[3]);
        }
    };
    if (!rle) {
        for (size_t i = 0; i < count; ++i) store(i, data + p + i * pixelBytes);
        return true;
    }
    size_t i = 0;
    while (i < count) {
        if (p >= size) return Refuse(image);
        uint8_t header = data[p++];
        size_t n = (header & 127) + 1;
        if (n > count - i) return Refuse(image);
        if (header & 128) {
            if (pixelBytes > size - p) return Refuse(image);
            for (size_t k = 0; k < n; ++k) store(i++, data + p);
            p += pixelBytes;
        } else {
            if (n * pixelBytes > size - p) return Refuse(image);
            for (size_t k = 0; k < n; ++k, p += pixelBytes) store(i++, data + p);
        }
    }
    return true;
}

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
