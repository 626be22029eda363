// Writers for the test images (see ImageFiles.h).
#include "tests/texture/ImageFiles.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace testimg {

namespace {

void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

extern "C" void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
extern "C" void PngFlush(png_structp) {}

Bytes WritePng(uint32_t width, uint32_t height, int colourType, int bitDepth,
               const std::vector<std::vector<uint8_t>>& rows, const std::vector<uint8_t>* palette) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error("png write");
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, width, height, bitDepth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        std::vector<png_color> entries;
        std::vector<png_byte> alpha;
        for (size_t i = 0; i + 3 < palette->size(); i += 4) {
            entries.push_back({(*palette)[i], (*palette)[i + 1], (*palette)[i + 2]});
            alpha.push_back((*palette)[i + 3]);
        }
        png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
        png_set_tRNS(png, info, alpha.data(), static_cast<int>(alpha.size()), nullptr);
    }
    png_write_info(png, info);
    for (const auto& row : rows) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

Bytes Png(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba, int channels, int bitDepth) {
    static const int kTypes[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                 PNG_COLOR_TYPE_RGB_ALPHA};
    std::vector<std::vector<uint8_t>> rows(height);
    int bytes = bitDepth / 8;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = &rgba[(y * width + x) * 4];
            uint8_t values[4];
            int n = 0;
            if (channels <= 2) values[n++] = p[0];
            else values[n++] = p[0], values[n++] = p[1], values[n++] = p[2];
            if (channels == 2 || channels == 4) values[n++] = p[3];
            for (int k = 0; k < n; ++k)
                for (int b = 0; b < bytes; ++b) rows[y].push_back(values[k]);  // 16-bit: v * 257
        }
    return WritePng(width, height, kTypes[channels], bitDepth, rows, nullptr);
}

Bytes PalettePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& indices,
                 const std::vector<uint8_t>& paletteRgba) {
    std::vector<std::vector<uint8_t>> rows(height);
    for (uint32_t y = 0; y < height; ++y)
        rows[y].assign(indices.begin() + y * width, indices.begin() + (y + 1) * width);
    return WritePng(width, height, PNG_COLOR_TYPE_PALETTE, 8, rows, &paletteRgba);
}

Bytes Jpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba, bool grey) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(width * info.input_components);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x)
            for (int k = 0; k < info.input_components; ++k) row[x * info.input_components + k] = rgba[(y * width + x) * 4 + k];
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    free(buffer);
    return out;
}

Bytes Bmp24(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba) {
    uint32_t stride = (width * 3 + 3) & ~3u;
    Bytes b = {'B', 'M'};
    Put32(b, 54 + stride * height);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, width);
    Put32(b, height);
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    for (uint32_t y = height; y-- > 0;) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = &rgba[(y * width + x) * 4];
            b.push_back(p[2]), b.push_back(p[1]), b.push_back(p[0]);
        }
        for (uint32_t i = width * 3; i < stride; ++i) b.push_back(0);
    }
    return b;
}

Bytes Tga32(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba, bool rle) {
    Bytes b = {0, 0, static_cast<uint8_t>(rle ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(b, width);
    Put16(b, height);
    b.push_back(32);
    b.push_back(0x28);  // 8 alpha bits, top-down
    for (uint32_t i = 0; i < width * height;) {
        const uint8_t* p = &rgba[i * 4];
        if (rle) {
            uint32_t run = 1;
            while (i + run < width * height && run < 128 && std::memcmp(p, &rgba[(i + run) * 4], 4) == 0) ++run;
            b.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            b.push_back(p[2]), b.push_back(p[1]), b.push_back(p[0]), b.push_back(p[3]);
            i += run;
        } else {
            b.push_back(p[2]), b.push_back(p[1]), b.push_back(p[0]), b.push_back(p[3]);
            ++i;
        }
    }
    return b;
}

Bytes Ppm(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba) {
    char header[64];
    int n = std::snprintf(header, sizeof(header), "P6\n# test\n%u %u\n255\n", width, height);
    Bytes b(header, header + n);
    for (uint32_t i = 0; i < width * height; ++i)
        b.push_back(rgba[i * 4]), b.push_back(rgba[i * 4 + 1]), b.push_back(rgba[i * 4 + 2]);
    return b;
}

Bytes DdsArgb(uint32_t width, uint32_t height, const std::vector<uint32_t>& colours) {
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(b, 124);
    Put32(b, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000);
    Put32(b, height);
    Put32(b, width);
    Put32(b, width * 4);
    Put32(b, 0);
    Put32(b, static_cast<uint32_t>(colours.size()));
    for (int i = 0; i < 11; ++i) Put32(b, 0);
    Put32(b, 32);
    Put32(b, 0x41);  // RGB with alpha
    Put32(b, 0);
    Put32(b, 32);
    Put32(b, 0x00FF0000), Put32(b, 0x0000FF00), Put32(b, 0x000000FF), Put32(b, 0xFF000000);
    Put32(b, 0x1000 | 0x400000 | 0x8);
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    uint32_t w = width, h = height;
    for (uint32_t colour : colours) {
        for (uint32_t i = 0; i < w * h; ++i) Put32(b, colour);
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return b;
}

void SetPngSize(Bytes* png, uint32_t width, uint32_t height) {
    // IHDR is the first chunk: length at 8, type at 12, width at 16, height at 20, CRC at 29.
    Bytes& p = *png;
    for (int i = 0; i < 4; ++i) {
        p[16 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
        p[20 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 12; i < 29; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i) p[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

}  // namespace testimg
