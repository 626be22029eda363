// Texture rules at their edges: every resampling filter on ramps (where a shift of half a pixel
// shows, unlike on flat images) in both axes and mirrored, and the size limits (largest side, aspect
// ratio, power-of-two rounding) exactly at each limit and one step beyond.
#include "texture/TextureRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// A horizontal (or vertical) ramp: pixel i holds i in every channel.
ImageLevel Ramp(uint32_t length, bool vertical) {
    ImageLevel level;
    level.width = vertical ? 1 : length;
    level.height = vertical ? length : 1;
    for (uint32_t i = 0; i < length; ++i)
        for (int c = 0; c < 4; ++c) level.rgba.push_back(static_cast<float>(i));
    return level;
}

std::vector<float> Values(const ImageLevel& level) {
    std::vector<float> out;
    for (size_t i = 0; i < level.rgba.size(); i += 4) out.push_back(level.rgba[i]);
    return out;
}

ImageLevel Reversed(const ImageLevel& level) {
    ImageLevel out = level;
    const size_t n = level.rgba.size() / 4;
    for (size_t i = 0; i < n; ++i)
        std::copy_n(&level.rgba[(n - 1 - i) * 4], 4, &out.rgba[i * 4]);
    return out;
}

const DWORD kFilters[] = {D3DX_FILTER_POINT, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX};

TEST(TextureEdges, EveryFilterSamplesAtPixelCentres) {
    // 8 -> 4 on a ramp 0..7: each destination pixel covers two source pixels whose centres lie at
    // 2d + 0.5. Point takes the pixel under the centre (2d + 1), the others the average of the
    // two; triangle reaches the neighbours too, so only its inner pixels are free of the wrap.
    struct Row {
        DWORD filter;
        std::vector<float> want;
        size_t first, last;  // the destination pixels compared
    };
    const Row rows[] = {
        {D3DX_FILTER_POINT, {1, 3, 5, 7}, 0, 3},
        {D3DX_FILTER_LINEAR, {0.5f, 2.5f, 4.5f, 6.5f}, 0, 3},
        {D3DX_FILTER_TRIANGLE, {0, 2.5f, 4.5f, 0}, 1, 2},
        {D3DX_FILTER_BOX, {0.5f, 2.5f, 4.5f, 6.5f}, 0, 3},
    };
    for (const Row& row : rows) {
        for (bool vertical : {false, true}) {
            ImageLevel out;
            texrules::Resample(Ramp(8, vertical), vertical ? 1 : 4, vertical ? 4 : 1, row.filter, &out);
            std::vector<float> got = Values(out);
            ASSERT_EQ(got.size(), 4u);
            for (size_t i = row.first; i <= row.last; ++i)
                EXPECT_NEAR(got[i], row.want[i], 1e-5f) << "filter " << row.filter << " vertical " << vertical << " pixel " << i;
        }
    }
    // Enlarging 2 -> 8 with linear: destination centres at (d + 0.5) / 4 - 0.5 in source pixels,
    // so pixels 2..5 lie between the two source centres and rise by a quarter each.
    ImageLevel out;
    texrules::Resample(Ramp(2, false), 8, 1, D3DX_FILTER_LINEAR, &out);
    std::vector<float> got = Values(out);
    for (int d = 2; d <= 5; ++d) EXPECT_NEAR(got[d], (d + 0.5f) / 4 - 0.5f, 1e-5f) << d;
}

TEST(TextureEdges, FiltersTreatBothDirectionsAlike) {
    // Resampling the reversed ramp gives the reversed result, growing and shrinking, with and
    // without mirrored addressing. (Point sampling picks one of two equal candidates and is not
    // symmetric when shrinking by two, so it is checked above instead.)
    for (DWORD filter : kFilters) {
        if (filter == D3DX_FILTER_POINT) continue;
        for (DWORD mirror : {0ul, static_cast<unsigned long>(D3DX_FILTER_MIRROR)}) {
            for (auto [from, to] : {std::pair{8u, 3u}, std::pair{5u, 12u}, std::pair{6u, 4u}}) {
                ImageLevel a, b;
                texrules::Resample(Ramp(from, false), to, 1, filter | mirror, &a);
                texrules::Resample(Reversed(Ramp(from, false)), to, 1, filter | mirror, &b);
                std::vector<float> forward = Values(a), backward = Values(Reversed(b));
                for (size_t i = 0; i < forward.size(); ++i)
                    EXPECT_NEAR(forward[i], backward[i], 1e-4f)
                        << "filter " << filter << " mirror " << mirror << " " << from << "->" << to << " pixel " << i;
            }
        }
    }
}

TEST(TextureEdges, SizeLimitsAtTheLimitAndOneBeyond) {
    D3DCAPS8 caps{};
    caps.MaxTextureWidth = 256;
    caps.MaxTextureHeight = 128;
    caps.MaxTextureAspectRatio = 4;
    struct Row {
        UINT width, height, wantWidth, wantHeight;
    };
    const Row rows[] = {
        {256, 128, 256, 128},  // both at their largest
        {257, 128, 256, 128},  // one beyond in width
        {256, 129, 256, 128},  // one beyond in height
        {1, 1, 1, 1},          // the smallest
        {128, 32, 128, 32},    // exactly the aspect ratio, wide
        {129, 32, 128, 32},    // one beyond: cut to the ratio
        {32, 128, 32, 128},    // exactly the aspect ratio, tall
        {32, 129, 32, 128},    // one beyond tall (also the largest height)
        {31, 125, 31, 124},    // beyond the ratio tall, within the height
    };
    for (const Row& row : rows) {
        UINT w = row.width, h = row.height, levels = 1;
        texrules::ComputeSize(caps, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &w, &h, &levels);
        EXPECT_EQ(w, row.wantWidth) << row.width << "x" << row.height;
        EXPECT_EQ(h, row.wantHeight) << row.width << "x" << row.height;
    }
    // Power-of-two devices round up from one past each power, and a full chain goes down to 1 x 1.
    caps = {};
    caps.TextureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_MIPMAP;
    for (auto [given, want, levels] : {std::tuple{64u, 64u, 7u}, std::tuple{65u, 128u, 8u}, std::tuple{1u, 1u, 1u},
                                       std::tuple{2u, 2u, 2u}, std::tuple{3u, 4u, 3u}}) {
        UINT w = given, h = given, l = 0;
        texrules::ComputeSize(caps, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &w, &h, &l);
        EXPECT_EQ(w, want) << given;
        EXPECT_EQ(h, want) << given;
        EXPECT_EQ(l, levels) << given;
    }
}

}  // namespace
