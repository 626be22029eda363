// The icon, drawn from circles and rings. Each pixel averages 4 x 4 samples, so the edges are
// smooth at every size; the shapes are placed on a unit square so the size only sets the grid.
#include "tools/mediagen/Icon.h"

#include <algorithm>
#include <cmath>

namespace mediagen {

namespace {

struct Rgba {
    double r, g, b, a;
};

// `top` over `bottom` (straight, not premultiplied, alpha).
Rgba Over(const Rgba& top, const Rgba& bottom) {
    double a = top.a + bottom.a * (1 - top.a);
    if (a <= 0) return {0, 0, 0, 0};
    auto mix = [&](double t, double b) { return (t * top.a + b * bottom.a * (1 - top.a)) / a; };
    return {mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b), a};
}

struct Bubble {
    double x, y, radius;
};

// Rising bubbles, in unit coordinates around the centre (0.5, 0.5).
const Bubble kBubbles[] = {
    {0.43, 0.44, 0.045}, {0.58, 0.40, 0.032}, {0.52, 0.58, 0.038}, {0.36, 0.57, 0.024},
    {0.64, 0.55, 0.022}, {0.47, 0.33, 0.020},
};

// The colour of one sample at unit coordinates (x, y), y down.
Rgba Sample(double x, double y) {
    const double dx = x - 0.5, dy = y - 0.5;
    const double r = std::sqrt(dx * dx + dy * dy);
    Rgba colour = {0, 0, 0, 0};

    // Handles: a dark loop on each side, under the rim.
    for (double side : {-1.0, 1.0}) {
        double hx = x - (0.5 + side * 0.40), hy = y - 0.5;
        double ring = std::sqrt(hx * hx + hy * hy * 2.5);
        if (ring > 0.05 && ring < 0.085) colour = Over({0.34, 0.35, 0.38, 1}, colour);
    }
    // The pot's rim: brushed steel, lit from the top left.
    if (r < 0.40) {
        double light = 0.55 + 0.35 * (-(dx + dy) / (r + 1e-9)) * std::min(1.0, r / 0.2);
        double edge = r > 0.385 ? 0.7 : 1.0;  // a dark outer line
        double v = std::clamp(light, 0.25, 0.95) * edge;
        colour = Over({v, v, v * 1.03, 1}, colour);
    }
    // The water: deep blue-green at the wall, warmer and brighter towards the heated centre.
    if (r < 0.33) {
        double t = r / 0.33;
        Rgba deep = {0.05, 0.30, 0.42, 1}, warm = {0.95, 0.62, 0.25, 1};
        double heat = std::exp(-t * t * 7.0) * 0.7;
        Rgba water = {0.10 + 0.08 * (1 - t), 0.45 + 0.15 * (1 - t), 0.60 + 0.10 * (1 - t), 1};
        water = {water.r + (warm.r - water.r) * heat, water.g + (warm.g - water.g) * heat,
                 water.b + (warm.b - water.b) * heat, 1};
        if (t > 0.93) water = {deep.r, deep.g, deep.b, 1};  // the shadow of the wall
        colour = Over(water, colour);
    }
    // Bubbles: a clear middle, a bright rim and a highlight towards the light.
    for (const Bubble& b : kBubbles) {
        double bx = x - b.x, by = y - b.y;
        double d = std::sqrt(bx * bx + by * by) / b.radius;
        if (d < 1.0) {
            double rim = std::pow(d, 6.0);
            colour = Over({0.92, 0.97, 1.0, 0.25 + 0.7 * rim}, colour);
            double hx = bx / b.radius + 0.35, hy = by / b.radius + 0.35;
            if (hx * hx + hy * hy < 0.06) colour = Over({1, 1, 1, 0.9}, colour);
        }
    }
    return colour;
}

uint8_t ToByte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

}  // namespace

Image PaintIcon(int size) {
    size = std::max(size, 16);
    Image image(size, size, 4);
    const int grid = 4;
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            // Average premultiplied samples, then store straight alpha.
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < grid; ++sy)
                for (int sx = 0; sx < grid; ++sx) {
                    Rgba s = Sample((px + (sx + 0.5) / grid) / size, (py + (sy + 0.5) / grid) / size);
                    r += s.r * s.a;
                    g += s.g * s.a;
                    b += s.b * s.a;
                    a += s.a;
                }
            uint8_t* out = &image.pixels[(static_cast<size_t>(py) * size + px) * 4];
            out[0] = ToByte(a > 0 ? r / a : 0);
            out[1] = ToByte(a > 0 ? g / a : 0);
            out[2] = ToByte(a > 0 ? b / a : 0);
            out[3] = ToByte(a / (grid * grid));
        }
    return image;
}

}  // namespace mediagen
