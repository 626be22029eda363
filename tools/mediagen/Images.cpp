// The scene's textures, painted procedurally, and their PNG (libpng) and JPEG (libjpeg)
// writers. Noise comes from a fixed integer hash, so every run paints the same pixels.
#include "tools/mediagen/Images.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>

namespace mediagen {

// [SECTION] Painting helpers

namespace {

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

double SmoothStep(double e0, double e1, double x) {
    double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}

double HashUnit(int x, int y, uint32_t seed) {
    return (Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) & 0xFFFFFF) /
           static_cast<double>(0xFFFFFF);
}

// Smooth value noise in [0, 1] with lattice spacing 1, repeating every `period` cells in x
// (the pot's texture wraps around it).
double ValueNoise(double x, double y, int period, uint32_t seed) {
    int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    double fx = x - x0, fy = y - y0;
    auto wrap = [period](int v) { return ((v % period) + period) % period; };
    double a = HashUnit(wrap(x0), y0, seed), b = HashUnit(wrap(x0 + 1), y0, seed);
    double c = HashUnit(wrap(x0), y0 + 1, seed), d = HashUnit(wrap(x0 + 1), y0 + 1, seed);
    double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

struct Rgb {
    double r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

uint8_t ToByte(double v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0)); }

void Put(Image& image, int x, int y, const Rgb& c, double alpha = 1.0) {
    uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * image.channels];
    p[0] = ToByte(c.r);
    p[1] = ToByte(c.g);
    p[2] = ToByte(c.b);
    if (image.channels == 4) p[3] = ToByte(alpha);
}

// Soft-edged rectangle coverage in [0, 1].
double Box(double u, double v, double u0, double v0, double u1, double v1, double soft) {
    return SmoothStep(u0 - soft, u0 + soft, u) * (1 - SmoothStep(u1 - soft, u1 + soft, u)) *
           SmoothStep(v0 - soft, v0 + soft, v) * (1 - SmoothStep(v1 - soft, v1 + soft, v));
}

}  // namespace

Image::Image(int w, int h, int c)
    : width(w), height(h), channels(c), pixels(static_cast<size_t>(w) * h * c, 0) {}

// [SECTION] The pot: brushed stainless steel

Image PaintPotTexture() {
    // u (x) runs around the pot, v (y) along its profile: the brushing runs around it.
    const int size = 256;
    Image image(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double streaks = 0.55 * ValueNoise(x / 64.0, y / 1.3, 4, 11) +
                             0.30 * ValueNoise(x / 16.0, y / 0.7, 16, 12) +
                             0.15 * ValueNoise(x / 128.0, y / 6.0, 2, 13);
            double grain = HashUnit(x, y, 14) - 0.5;
            double g = 0.56 + 0.22 * streaks + 0.035 * grain;
            // A faint wide sheen band gives the metal some depth under flat light.
            g += 0.06 * std::sin(y / static_cast<double>(size) * 6.2831853 * 3.0);
            Put(image, x, y, {g * 0.98, g * 0.99, g * 1.03});
        }
    }
    return image;
}

// [SECTION] The environment: a warm kitchen, lit from above, darker below

Image PaintEnvironment() {
    // v = 0 is straight up, v = 0.5 the horizon, v = 1 straight down; u is left to right.
    const int size = 256;
    Image image(size, size, 3);
    // A dim evening kitchen: the lamp is the one bright thing, so a flat water surface
    // reflects a small bright spot, not a sheet of light. The floor is darker than the
    // ceiling but not black, so steep ripples darken the water without punching holes in it.
    const Rgb ceiling{0.60, 0.50, 0.38}, ceilingEdge{0.50, 0.40, 0.29};
    const Rgb wall{0.46, 0.34, 0.24}, floorNear{0.34, 0.26, 0.19}, floorDeep{0.24, 0.19, 0.15};
    const Rgb lamp{1.00, 0.90, 0.66}, window{0.78, 0.86, 0.96}, wood{0.30, 0.18, 0.10};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double u = (x + 0.5) / size, v = (y + 0.5) / size;
            double e = 1.0 - 2.0 * v;   // elevation: 1 up, -1 down
            Rgb c;
            if (e > 0.1) {
                c = Mix(ceilingEdge, ceiling, SmoothStep(0.1, 0.9, e));
            } else if (e > -0.15) {
                c = Mix(wall, ceilingEdge, SmoothStep(-0.15, 0.1, e));
            } else {
                c = Mix(floorNear, floorDeep, SmoothStep(-0.15, -1.0, e));
                c = Mix(c, wall, 0.6 * SmoothStep(-0.3, -0.15, e));
            }
            // Cupboards along the left wall, a window on the right.
            double cup = Box(u, v, 0.06, 0.36, 0.40, 0.50, 0.01);
            double doors = 0.85 + 0.15 * SmoothStep(0.0, 0.02, std::fabs(std::fmod(u, 0.085) - 0.042));
            c = Mix(c, {wood.r * doors, wood.g * doors, wood.b * doors}, cup);
            double pane = Box(u, v, 0.66, 0.30, 0.90, 0.50, 0.008);
            double bars = std::min(SmoothStep(0.003, 0.008, std::fabs(u - 0.78)),
                                   SmoothStep(0.003, 0.008, std::fabs(v - 0.40)));
            c = Mix(c, Mix({0.45, 0.40, 0.35}, window, bars), pane);
            // The lamp over the stove: a hot core in a wide warm glow.
            double dl = std::hypot(u - 0.5, (v - 0.13) * 1.2);
            double glow = 0.60 * std::exp(-dl * dl / (2 * 0.05 * 0.05));
            double core = SmoothStep(0.03, 0.012, dl);
            c = {c.r + glow * lamp.r, c.g + glow * lamp.g, c.b + glow * lamp.b};
            c = Mix(c, {1.0, 0.98, 0.92}, core);
            // A second, smaller light to the left.
            double d2 = std::hypot(u - 0.22, v - 0.22);
            double glow2 = 0.35 * std::exp(-d2 * d2 / (2 * 0.05 * 0.05));
            c = {c.r + glow2, c.g + glow2 * 0.85, c.b + glow2 * 0.6};
            double grain = (HashUnit(x, y, 21) - 0.5) * 0.02;
            Put(image, x, y, {c.r + grain, c.g + grain, c.b + grain});
        }
    }
    return image;
}

// [SECTION] The bubble sprite: clear centre, bright rim, a highlight

Image PaintBubble() {
    const int size = 64;
    Image image(size, size, 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // Centred coordinates, radius 1 a little inside the square's edge.
            double px = (x + 0.5 - size / 2.0) / (size / 2.0 - 1.5);
            double py = (y + 0.5 - size / 2.0) / (size / 2.0 - 1.5);
            double d = std::hypot(px, py);
            double alpha = 0.10 + 0.80 * SmoothStep(0.55, 0.88, d);
            alpha *= 1.0 - SmoothStep(0.90, 1.0, d);
            Rgb c = Mix({0.62, 0.80, 0.98}, {0.90, 0.96, 1.0}, SmoothStep(0.5, 0.9, d));
            // Highlight up and to the left, as from the lamp above.
            double dh = std::hypot(px + 0.36, py + 0.38);
            double spot = 1.0 - SmoothStep(0.06, 0.22, dh);
            c = Mix(c, {1.0, 1.0, 1.0}, spot);
            alpha = std::max(alpha, spot * (1.0 - SmoothStep(0.90, 1.0, d)));
            Put(image, x, y, c, alpha);
        }
    }
    return image;
}

// [SECTION] Writers

bool WritePng(const std::string& path, const Image& image) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, image.width, image.height, 8,
                 image.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, &image.pixels[static_cast<size_t>(y) * image.width * image.channels]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

}  // namespace

bool WriteJpeg(const std::string& path, const Image& image, int quality) {
    if (image.channels != 3) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::fclose(f);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, f);
    info.image_width = image.width;
    info.image_height = image.height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            &image.pixels[static_cast<size_t>(info.next_scanline) * image.width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(f) == 0;
}

}  // namespace mediagen
