// PNG writer on libpng's simplified API; the alpha byte of the frame is dropped.
#include "app/Screenshot.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

bool WritePng(const std::string& path, const DWORD* pixels, UINT width, UINT height, std::string* error) {
    if (!pixels || width == 0 || height == 0 || width > 16384 || height > 16384) {
        *error = "no picture to write";
        return false;
    }
    std::vector<png_byte> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        DWORD p = pixels[i];
        rgb[i * 3 + 0] = static_cast<png_byte>((p >> 16) & 0xFF);
        rgb[i * 3 + 1] = static_cast<png_byte>((p >> 8) & 0xFF);
        rgb[i * 3 + 2] = static_cast<png_byte>(p & 0xFF);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), static_cast<png_int_32>(width * 3), nullptr)) {
        *error = std::string("cannot write ") + path + ": " + image.message;
        png_image_free(&image);
        std::remove(path.c_str());
        return false;
    }
    png_image_free(&image);
    return true;
}
