// PNG pictures the tests read back (screenshots, captures, the icon) through libpng's simplified
// reader: rows top-down, `channels` bytes a pixel.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <vector>

struct Picture {
    unsigned width = 0, height = 0, channels = 3;
    std::vector<unsigned char> data;  // width * height * channels bytes
    const unsigned char* At(unsigned x, unsigned y) const {
        return &data[(static_cast<size_t>(y) * width + x) * channels];
    }
};

// channels 3 reads RGB, 4 RGBA. A file that cannot be read is a test failure and an empty picture.
inline Picture ReadPicture(const std::filesystem::path& path, unsigned channels = 3) {
    Picture picture;
    picture.channels = channels;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << "cannot read " << path;
        return picture;
    }
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    picture.data.resize(PNG_IMAGE_SIZE(image));
    picture.width = image.width;
    picture.height = image.height;
    if (!png_image_finish_read(&image, nullptr, picture.data.data(), 0, nullptr)) {
        ADD_FAILURE() << "cannot decode " << path;
        picture = Picture();
    }
    png_image_free(&image);
    return picture;
}
