// The scene's textures, painted procedurally, and their PNG (libpng) and JPEG (libjpeg)
// writers. Noise comes from a fixed integer hash, so every run paints the same pixels.
#include "tools/mediagen/Images.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>

#include "math/Hash.h"

namespace mediagen {

// [SECTION] Painting helpers

namespace {

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

double SmoothStep(double e0, double e1, double x) {
    double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

double HashUnit(int x, int y, uint32_t seed) {
    return (Hash3(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) & 0xFFFFFF) /
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

}  // namespace

Image::Image(int w, int h, int c)
    : width(w), height(h), channels(c), pixels(static_cast<size_t>(w) * h * c, 0) {}

// [SECTION] The pot: brushed stainless steel

Image PaintPotTexture() {
    // u (x) runs around the pot, v (y) along its profile: the brushing runs around it, as
    // long fine streaks of slightly different brightness; the steel is a cool grey.
    const int size = 256;
    Image image(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double streaks = 0.45 * ValueNoise(x / 64.0, y / 1.1, 4, 11) +
                             0.35 * ValueNoise(x / 16.0, y / 0.55, 16, 12) +
                             0.20 * ValueNoise(x / 128.0, y / 6.0, 2, 13);
            double grain = HashUnit(x, y, 14) - 0.5;
            double g = 0.60 + 0.26 * streaks + 0.03 * grain;
            // A faint wide sheen band gives the metal some depth under flat light.
            g += 0.05 * std::sin(y / static_cast<double>(size) * 6.2831853 * 3.0);
            Put(image, x, y, {g * 0.95, g * 0.99, g * 1.05});
        }
    }
    return image;
}

// [SECTION] The environment: the kitchen around the stove, seen from the pot

namespace {

// The kitchen as a box around the pot, in world units with the pot's water at the origin:
// a window wall in -x with upper cupboards either side of the window, cupboards along the
// +-y walls, a lamp hanging from the ceiling over the stove towards the window.
constexpr double kRoomX = 750, kRoomY = 700, kCeiling = 750, kFloor = -450;
constexpr double kLampX = -450, kLampZ = 690, kLampRadius = 30;

struct Vec {
    double x, y, z;
};

// Brightness of the lamp's light at a point of a wall, ceiling or floor (1 close to it).
double LampLight(const Vec& p) {
    double dx = p.x - kLampX, dy = p.y, dz = p.z - kLampZ;
    double d2 = (dx * dx + dy * dy + dz * dz) / (600.0 * 600.0);
    return 1.0 / (1.0 + d2);
}

// Wooden cupboard fronts: doors `width` wide between gaps, a handle near each door's edge.
// a runs along the wall, b up it, both within the cupboard's rectangle.
Rgb Cupboard(double a, double b, double width, double top, const Rgb& wood) {
    double door = std::fmod(a + 10000.0 * width, width) / width;   // 0..1 across one door
    double gap = SmoothStep(0.0, 0.03, door) * (1.0 - SmoothStep(0.97, 1.0, door));
    double rail = SmoothStep(0.0, 12.0, top - b);
    double grain = 0.9 + 0.1 * std::sin(a * 0.11 + std::sin(b * 0.05) * 2.0);
    double handle = (1.0 - SmoothStep(0.0, 0.02, std::fabs(door - 0.88))) *
                    (1.0 - SmoothStep(0.0, 0.06, std::fabs((b - top) / 250.0 + 0.75)));
    Rgb c{wood.r * grain, wood.g * grain, wood.b * grain};
    c = Mix({0.08, 0.05, 0.03}, c, gap * rail);
    return Mix(c, {0.85, 0.85, 0.82}, handle);
}

// The colour (before the lamp's light) and the window's own light where a ray from the pot
// meets the room. Returns the point too.
Rgb Room(const Vec& d, double* daylight, Vec* hit) {
    // The nearest of the six planes along d.
    double t = 1e30;
    int face = 0;
    auto consider = [&](double dist, double component, int id) {
        if (component != 0.0) {
            double s = dist / component;
            if (s > 0 && s < t) {
                t = s;
                face = id;
            }
        }
    };
    consider(-kRoomX, d.x, 0);
    consider(kRoomX, d.x, 1);
    consider(-kRoomY, d.y, 2);
    consider(kRoomY, d.y, 3);
    consider(kFloor, d.z, 4);
    consider(kCeiling, d.z, 5);
    Vec p{d.x * t, d.y * t, d.z * t};
    *hit = p;
    *daylight = 0.0;
    const Rgb plaster{0.78, 0.70, 0.58}, tiles{0.70, 0.72, 0.70}, wood{0.45, 0.27, 0.14};
    const Rgb floorA{0.30, 0.24, 0.20}, floorB{0.20, 0.16, 0.13};
    if (face == 5) {   // ceiling, with two soft-edged beams across
        double beam = std::min(std::fabs(p.y - 250.0), std::fabs(p.y + 250.0));
        return Mix({0.70, 0.60, 0.48}, {0.86, 0.80, 0.70}, SmoothStep(10.0, 70.0, beam));
    }
    if (face == 4) {   // floor tiles
        bool odd = (static_cast<int>(std::floor(p.x / 180.0)) + static_cast<int>(std::floor(p.y / 180.0))) & 1;
        return odd ? floorA : floorB;
    }
    // Walls: a along the wall, b = height.
    double a = (face <= 1) ? p.y : p.x, b = p.z;
    Rgb wall = plaster;
    if (b > -120.0 && b < 280.0) {   // tiled splashback above the worktop
        double ta = std::fabs(std::fmod(a + 10000.0, 60.0) - 30.0), tb = std::fabs(std::fmod(b + 10000.0, 60.0) - 30.0);
        wall = Mix({0.50, 0.50, 0.48}, tiles, SmoothStep(27.0, 25.0, std::max(ta, tb)));
    }
    if (b < -120.0) wall = Cupboard(a, b, 280.0, -150.0, {wood.r * 0.8, wood.g * 0.8, wood.b * 0.8});
    if (b > -150.0 && b < -120.0) wall = {0.35, 0.33, 0.30};   // worktop edge
    if (face == 0) {
        // The window wall: a window over the stove, upper cupboards either side of it.
        double wa = std::fabs(a);
        if (wa < 260.0 && b > 90.0 && b < 560.0) {
            double frame = std::min({std::fabs(wa - 0.0), 260.0 - wa, b - 90.0, 560.0 - b,
                                     std::fabs(b - 380.0)});
            double sky = (b - 90.0) / 470.0;
            Rgb outside = Mix({0.70, 0.78, 0.80}, {0.72, 0.86, 1.0}, sky);
            *daylight = SmoothStep(6.0, 12.0, frame);
            return Mix({0.92, 0.92, 0.90}, outside, *daylight);
        }
        if (wa > 300.0 && b > 320.0 && b < 700.0) return Cupboard(a, b, 240.0, 700.0, wood);
    } else if (face >= 2) {
        if (b > 320.0 && b < 700.0 && a > -600.0) return Cupboard(a, b, 260.0, 700.0, wood);
    } else {
        // The wall behind the viewer at the start: a tall dresser, a picture on the wall.
        if (b < 600.0 && a > 150.0 && a < 560.0) return Cupboard(a, b, 205.0, 600.0, {0.32, 0.20, 0.12});
        if (a > -450.0 && a < -150.0 && b > 300.0 && b < 520.0)
            return Mix({0.25, 0.35, 0.45}, {0.85, 0.65, 0.35}, SmoothStep(300.0, 520.0, b));
    }
    return wall;
}

}  // namespace

Image PaintEnvironment() {
    // Equal-area map of all directions seen from above: the centre looks straight up, the
    // circle of radius 1/sqrt(2) of the half size is the horizon, the edge straight down;
    // +x is to the right, +y up the image. Alpha marks the light sources (lamp 1, window
    // less), which the water adds on top as its highlight.
    const int size = 512;
    Image image(size, size, 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double px = (x + 0.5) / size * 2.0 - 1.0, py = 1.0 - (y + 0.5) / size * 2.0;
            double rho = std::min(std::hypot(px, py), 1.0);
            double z = 1.0 - 2.0 * rho * rho, h = std::sqrt(std::max(0.0, 1.0 - z * z));
            double phi = std::atan2(py, px);
            Vec d{h * std::cos(phi), h * std::sin(phi), z};
            double daylight = 0.0;
            Vec p{};
            Rgb base = Room(d, &daylight, &p);
            // Lit by the lamp (warm) and a little by the window (cool) wherever it is not
            // the window itself.
            double lamp = LampLight(p);
            double cool = 0.20 * SmoothStep(600.0, -750.0, p.x);
            Rgb c{base.r * (0.30 + 0.85 * lamp + 0.8 * cool), base.g * (0.28 + 0.75 * lamp + 0.9 * cool),
                  base.b * (0.25 + 0.55 * lamp + 1.0 * cool)};
            c = Mix(c, base, daylight);
            // The lamp: a bright shade seen from below, and its glow.
            double ld = d.x * kLampX + d.z * kLampZ;
            double lampDistance = std::sqrt(kLampX * kLampX + kLampZ * kLampZ);
            double cosine = ld / lampDistance;
            double angle = std::acos(std::clamp(cosine, -1.0, 1.0));
            double core = SmoothStep(kLampRadius / lampDistance, 0.8 * kLampRadius / lampDistance, angle);
            double glow = std::exp(-angle * angle / (2.0 * 0.09 * 0.09));
            c = {c.r + 0.45 * glow, c.g + 0.38 * glow, c.b + 0.25 * glow};
            // Only half way to white in colour: the pot's steel mirrors the colour and would show a
            // second lamp on the floor under the water; the water's highlight takes alpha.
            c = Mix(c, {0.95, 0.90, 0.80}, 0.5 * core);
            // The highlight has no hard edge: the ripples bend it across the water's triangles,
            // and a sharp disc would trace their edges in lines of light.
            double spot = std::exp(-angle * angle / (2.0 * 0.035 * 0.035));
            double alpha = std::max(spot, 0.4 * glow * glow) + 0.45 * daylight;
            double grain = (HashUnit(x, y, 21) - 0.5) * 0.015;
            Put(image, x, y, {c.r + grain, c.g + grain, c.b + grain}, alpha);
        }
    }
    return image;
}

// A square RGBA sprite of `size` pixels: shade(image, x, y, px, py) puts each pixel, given its
// centre in -1..1 across the square (0 at the middle).
template <typename Shade>
Image PaintSprite(int size, Shade shade) {
    Image image(size, size, 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double px = (x + 0.5 - size / 2.0) / (size / 2.0);
            double py = (y + 0.5 - size / 2.0) / (size / 2.0);
            shade(image, x, y, px, py);
        }
    }
    return image;
}

// [SECTION] The bubble sprite: clear centre, bright rim, a highlight

Image PaintBubble() {
    // A bubble in water shows the light it bends at its edge (a bright, thin rim), a small
    // reflection of the lamp up and to the left, and the water through its middle. The
    // corners stay empty so that the square never shows, even in the smallest mip levels.
    return PaintSprite(32, [](Image& image, int x, int y, double px, double py) {
        double d = std::hypot(px, py);
        double rim = SmoothStep(0.45, 0.78, d) * (1.0 - SmoothStep(0.80, 0.92, d));
        double alpha = 0.08 * (1.0 - SmoothStep(0.80, 0.92, d)) + 0.90 * rim;
        Rgb c = Mix({0.55, 0.70, 0.82}, {0.88, 0.95, 1.0}, rim);
        double dh = std::hypot(px + 0.32, py + 0.34);
        double spot = 1.0 - SmoothStep(0.08, 0.24, dh);
        c = Mix(c, {1.0, 1.0, 1.0}, spot);
        alpha = std::max(alpha, spot);
        Put(image, x, y, c, alpha);
    });
}

// [SECTION] The steam's wisp: soft, ragged, densest in the middle

Image PaintSteam() {
    // White throughout; the alpha makes the shape: a soft round falloff broken up by noise, so
    // that overlapping wisps read as steam rather than as discs. The border stays empty.
    const int size = 64;
    return PaintSprite(size, [](Image& image, int x, int y, double px, double py) {
        double d = std::hypot(px, py);
        double noise = 0.6 * ValueNoise(x / 9.0, y / 9.0, 1 << 20, 31) + 0.4 * ValueNoise(x / 4.0, y / 4.0, 1 << 20, 32);
        double falloff = 1.0 - SmoothStep(0.15, 0.95, d + 0.35 * (noise - 0.5));
        double alpha = falloff * falloff * (0.65 + 0.35 * noise);
        if (x == 0 || y == 0 || x == size - 1 || y == size - 1) alpha = 0.0;
        Put(image, x, y, {1.0, 1.0, 1.0}, alpha);
    });
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
