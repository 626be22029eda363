// PNG reader through libpng, reading from memory; its errors jump back (setjmp inside ReadPng) and become a
// refusal.
#include "texture/Image.h"

#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

#include "texture/ImageReaderHelpers.h"

using namespace textureimpl;

namespace {

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
