// JPEG reader through libjpeg; its errors jump back (setjmp/longjmp inside ReadJpeg) and become a refusal.
#include "texture/Image.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "texture/ImageReaderHelpers.h"

using namespace textureimpl;

namespace {

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

}  // namespace

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
