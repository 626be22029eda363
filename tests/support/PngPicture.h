// PNG pictures the tests read back (screenshots, captures, the icon) through libpng's simplified
// reader: rows top-down, `channels` bytes a pixel.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
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

// --capture's picture of a frame in `dir` (frame_NNNNNN.png).
inline Picture CapturedFrame(const std::filesystem::path& dir, unsigned frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06u.png", frame);
    return ReadPicture(dir / name);
}

// RGB pixels from row `firstRow` down whose colour differs by more than `by` in some channel; -1
// for pictures of different sizes.
inline int ChangedPixelsFrom(const Picture& a, const Picture& b, unsigned firstRow, int by = 40) {
    if (a.width != b.width || a.height != b.height || a.data.empty()) return -1;
    int changed = 0;
    for (size_t i = static_cast<size_t>(a.width) * firstRow * 3; i + 2 < a.data.size(); i += 3)
        for (int c = 0; c < 3; ++c)
            if (std::abs(a.data[i + c] - b.data[i + c]) > by) {
                ++changed;
                break;
            }
    return changed;
}
