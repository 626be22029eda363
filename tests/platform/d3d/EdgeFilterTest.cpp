// The edge filter on pictures made in memory: what it must leave alone (flat and faint areas,
// alpha, tiny pictures), what it must smooth (staircases, specks), and that it treats x and y,
// up and down alike.
#include "platform/d3d/EdgeFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

using d3dimpl::EdgeFilter;

namespace {

constexpr uint32_t kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu;

struct Image {
    int width, height;
    std::vector<uint32_t> pixels;
    uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Image Filled(int width, int height, uint32_t colour) {
    return {width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, colour)};
}

Image Filtered(const Image& in) {
    Image out = Filled(in.width, in.height, 0x12345678u);
    EdgeFilter filter;
    filter.Apply(in.pixels.data(), out.pixels.data(), in.width, in.height);
    return out;
}

int Green(uint32_t c) { return (c >> 8) & 0xFF; }

// White below a line that climbs one pixel every `run` pixels: a staircase of steps `run` long.
Image Staircase(int width, int height, int run) {
    Image image = Filled(width, height, kBlack);
    for (int x = 0; x < width; ++x)
        for (int y = height / 2 + x / run - width / (2 * run); y < height; ++y)
            if (y >= 0) image.At(x, y) = kWhite;
    return image;
}

Image Transposed(const Image& in) {
    Image out = Filled(in.height, in.width, 0);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) out.At(y, x) = in.At(x, y);
    return out;
}

Image UpsideDown(const Image& in) {
    Image out = in;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) out.At(x, in.height - 1 - y) = in.At(x, y);
    return out;
}

}  // namespace

TEST(EdgeFilter, FlatFaintAndTinyPicturesAreCopiedExactly) {
    // Flat, and a gradient whose steps are too faint to show a staircase (alpha varies too).
    Image faint = Filled(40, 30, 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            faint.At(x, y) = (static_cast<uint32_t>(x * 6) << 24) | 0x00404040u | static_cast<uint32_t>(x / 2 + y);
    for (const Image& in : {Filled(40, 30, 0x80336699u), faint}) EXPECT_EQ(Filtered(in).pixels, in.pixels);
    // Pictures of one row, one column, one pixel: whatever is in them, they are read and written
    // within bounds (the sanitizer build checks) and flat ones stay as they are.
    for (auto [w, h] : {std::pair{1, 1}, {1, 7}, {7, 1}, {2, 2}}) {
        Image in = Filled(w, h, kBlack);
        EXPECT_EQ(Filtered(in).pixels, in.pixels);
        in.At(w - 1, h - 1) = kWhite;
        Filtered(in);
    }
    // No pixels: nothing written, nothing read.
    EdgeFilter filter;
    uint32_t untouched = 7;
    filter.Apply(nullptr, &untouched, 0, 5);
    filter.Apply(nullptr, &untouched, 5, 0);
    EXPECT_EQ(untouched, 7u);
}

TEST(EdgeFilter, StaircasesBecomeRampsAndStraightEdgesStay) {
    const Image in = Staircase(64, 32, 4);
    const Image out = Filtered(in);
    int grey = 0;
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < in.width; ++x) {
            const int before = Green(in.At(x, y)), after = Green(out.At(x, y));
            // Only pixels next to the edge change, and only towards their neighbour's colour.
            const bool nearEdge = (y > 0 && in.At(x, y - 1) != in.At(x, y)) ||
                                  (y + 1 < in.height && in.At(x, y + 1) != in.At(x, y));
            if (!nearEdge) {
                ASSERT_EQ(after, before) << x << "," << y;
            }
            if (after != before) ++grey;
            ASSERT_EQ(out.At(x, y) >> 24, 0xFFu);
        }
    }
    EXPECT_GT(grey, in.width / 2);
    // One step of the staircase, white from row y at x = 8 ... 11 (black above), a row lower
    // from x = 12: a ramp blends the black pixel over the step's start towards white and the
    // white pixel at its end towards black, each by 3/8 (half less the half pixel of a 4-pixel
    // run), and leaves the middle of the run nearly sharp (only a corner's softening).
    const int y = in.height / 2 + 8 / 4 - 64 / 8;
    ASSERT_EQ(in.At(8, y), kWhite);
    ASSERT_EQ(in.At(8, y - 1), kBlack);
    ASSERT_EQ(in.At(12, y), kBlack);
    EXPECT_NEAR(Green(out.At(8, y - 1)), 96, 2);
    EXPECT_NEAR(255 - Green(out.At(11, y)), 96, 2);
    for (int x = 9; x <= 10; ++x) {
        EXPECT_LT(255 - Green(out.At(x, y)), 40) << x;
        EXPECT_LT(Green(out.At(x, y - 1)), 40) << x;
    }

    // A straight edge along a row has no ends to ramp between: it stays sharp.
    Image straight = Filled(40, 20, kBlack);
    for (int y2 = 10; y2 < 20; ++y2)
        for (int x = 0; x < 40; ++x) straight.At(x, y2) = kWhite;
    const Image kept = Filtered(straight);
    for (size_t i = 0; i < straight.pixels.size(); ++i)
        ASSERT_LE(std::abs(Green(kept.pixels[i]) - Green(straight.pixels[i])), 16) << i;
}

TEST(EdgeFilter, TreatsRowsAndColumnsAndBothDirectionsAlike) {
    const Image in = Staircase(48, 40, 3);
    const Image out = Filtered(in);
    EXPECT_EQ(Filtered(Transposed(in)).pixels, Transposed(out).pixels);
    EXPECT_EQ(Filtered(UpsideDown(in)).pixels, UpsideDown(out).pixels);
}

TEST(EdgeFilter, ALoneSpeckIsSoftened) {
    Image in = Filled(9, 9, kBlack);
    in.At(4, 4) = kWhite;
    const Image out = Filtered(in);
    EXPECT_LT(Green(out.At(4, 4)), 255);
    EXPECT_GT(Green(out.At(4, 4)), 0);
    EXPECT_EQ(out.At(0, 0), kBlack);
}
