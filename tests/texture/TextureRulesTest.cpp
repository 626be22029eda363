// Decisions made before the device is touched: substitute scoring, size and level rules, the
// box and point filters and the colour key.
#include "texture/PixelFormat.h"
#include "texture/TextureRules.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::function<bool(D3DFORMAT)> Offering(std::set<D3DFORMAT> formats) {
    return [formats](D3DFORMAT f) { return formats.count(f) != 0; };
}

}  // namespace

TEST(TextureRules, SubstituteScoring) {
    D3DFORMAT chosen = D3DFMT_UNKNOWN;
    // Narrowing four channels by four bits costs less than losing alpha.
    ASSERT_EQ(texrules::ChooseFormat(D3DFMT_A8R8G8B8, Offering({D3DFMT_A4R4G4B4, D3DFMT_X8R8G8B8}), &chosen), S_OK);
    EXPECT_EQ(chosen, D3DFMT_A4R4G4B4);
    // A1R5G5B5 scores the same and is earlier in the table.
    ASSERT_EQ(texrules::ChooseFormat(D3DFMT_A8R8G8B8,
                                     Offering({D3DFMT_A4R4G4B4, D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5}), &chosen), S_OK);
    EXPECT_EQ(chosen, D3DFMT_A1R5G5B5);
    // The wanted format itself ends the walk.
    ASSERT_EQ(texrules::ChooseFormat(D3DFMT_X8R8G8B8, Offering({D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}), &chosen), S_OK);
    EXPECT_EQ(chosen, D3DFMT_X8R8G8B8);
    // Only substitutes stand in; on equal scores the narrower format wins.
    ASSERT_EQ(texrules::ChooseFormat(D3DFMT_L8, Offering({D3DFMT_X8R8G8B8, D3DFMT_R8G8B8}), &chosen), S_OK);
    EXPECT_EQ(chosen, D3DFMT_X8R8G8B8);  // R8G8B8 is not a substitute
    ASSERT_EQ(texrules::ChooseFormat(D3DFMT_A4L4, Offering({D3DFMT_A8L8, D3DFMT_A8R8G8B8}), &chosen), S_OK);
    EXPECT_EQ(chosen, D3DFMT_A8L8);  // same score, 16 bits beat 32
    // Luminance may become colour; bump maps may not.
    EXPECT_EQ(texrules::ChooseFormat(D3DFMT_V8U8, Offering({D3DFMT_A8R8G8B8}), &chosen), D3DERR_NOTAVAILABLE);
    // A candidate that loses every wanted channel is not eligible.
    EXPECT_EQ(texrules::ChooseFormat(D3DFMT_A8, Offering({D3DFMT_X8R8G8B8}), &chosen), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(texrules::ChooseFormat(D3DFMT_A8, Offering({D3DFMT_A8R8G8B8}), &chosen), S_OK);
    // Colour keys add one bit of alpha to formats without it.
    EXPECT_EQ(texrules::AddOneBitAlpha(D3DFMT_X8R8G8B8), D3DFMT_A8R8G8B8);
    EXPECT_EQ(texrules::AddOneBitAlpha(D3DFMT_X1R5G5B5), D3DFMT_A1R5G5B5);
    EXPECT_EQ(texrules::AddOneBitAlpha(D3DFMT_L8), D3DFMT_A8L8);
    EXPECT_EQ(texrules::AddOneBitAlpha(D3DFMT_A4R4G4B4), D3DFMT_A4R4G4B4);
}

TEST(TextureRules, SizeAndLevels) {
    D3DCAPS8 caps{};
    caps.MaxTextureWidth = caps.MaxTextureHeight = 2048;
    caps.TextureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_MIPMAP;
    UINT w = 300, h = 200, levels = 0;
    texrules::ComputeSize(caps, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &w, &h, &levels);
    EXPECT_EQ(w, 512u);
    EXPECT_EQ(h, 256u);
    EXPECT_EQ(levels, 10u);

    levels = 3, w = 300, h = 200;
    texrules::ComputeSize(caps, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &w, &h, &levels);
    EXPECT_EQ(levels, 3u);

    // Non-power-of-two sizes on a conditional device keep one level; square-only squares.
    caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_SQUAREONLY;
    w = 300, h = 200, levels = 0;
    texrules::ComputeSize(caps, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &w, &h, &levels);
    EXPECT_EQ(w, 200u);
    EXPECT_EQ(h, 200u);
    EXPECT_EQ(levels, 1u);
    // The scratch pool always gets a chain; DXT sizes round to blocks; caps cut sizes.
    caps.TextureCaps = D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    caps.MaxTextureWidth = 64;
    caps.MaxTextureAspectRatio = 2;
    w = 300, h = 10, levels = 0;
    texrules::ComputeSize(caps, D3DFMT_DXT1, D3DPOOL_SCRATCH, &w, &h, &levels);
    EXPECT_EQ(w, 20u);
    EXPECT_EQ(h, 12u);
    EXPECT_EQ(levels, 5u);
}

TEST(TextureRules, BoxLevelIsTheTwoByTwoAverageAndPointPicksPixels) {
    ImageLevel src;
    src.width = 4;
    src.height = 2;
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 4; ++c) src.rgba.push_back(static_cast<float>(i * 4 + c) / 40.0f);
    ImageLevel box;
    texrules::Resample(src, 2, 1, D3DX_FILTER_BOX, &box);
    ASSERT_EQ(box.rgba.size(), 8u);
    for (int x = 0; x < 2; ++x)
        for (int c = 0; c < 4; ++c) {
            auto at = [&](int px, int py) { return src.rgba[(py * 4 + px) * 4 + c]; };
            float expected = (at(2 * x, 0) + at(2 * x + 1, 0) + at(2 * x, 1) + at(2 * x + 1, 1)) / 4;
            EXPECT_FLOAT_EQ(box.rgba[x * 4 + c], expected);
        }
    ImageLevel point;
    texrules::Resample(src, 2, 1, D3DX_FILTER_POINT, &point);
    EXPECT_FLOAT_EQ(point.rgba[4], src.rgba[(1 * 4 + 3) * 4]);  // centre (3, 1) lands on pixel (3, 1)
    // Triangle and linear keep a flat image flat, mirrored or wrapped.
    ImageLevel flat;
    flat.width = 5, flat.height = 3;
    flat.rgba.assign(5 * 3 * 4, 0.25f);
    for (DWORD filter : {D3DX_FILTER_TRIANGLE, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR}) {
        ImageLevel out;
        texrules::Resample(flat, 8, 2, filter, &out);
        for (float v : out.rgba) EXPECT_NEAR(v, 0.25f, 1e-5f);
    }
    // No filter: the overlap is copied and the rest is transparent black.
    ImageLevel none;
    texrules::Resample(flat, 6, 3, D3DX_FILTER_NONE, &none);
    EXPECT_FLOAT_EQ(none.rgba[(0 * 6 + 4) * 4], 0.25f);
    EXPECT_FLOAT_EQ(none.rgba[(0 * 6 + 5) * 4 + 3], 0.0f);
}

TEST(TextureRules, ConvertersRoundTripAndColourKey) {
    const float colour[4] = {1.0f, 0.5f, 0.0f, 0.2f};
    uint8_t bytes[4];
    float back[4];
    texfmt::Encode(*texfmt::Find(D3DFMT_A4R4G4B4), colour, 0.0f, bytes);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), 0x3F80);  // a = 3, r = 15, g = 8, b = 0
    texfmt::Encode(*texfmt::Find(D3DFMT_R5G6B5), colour, 0.0f, bytes);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), (31 << 11) | (32 << 5));
    texfmt::Encode(*texfmt::Find(D3DFMT_X8R8G8B8), colour, 0.0f, bytes);
    EXPECT_EQ(bytes[3], 0xFF);
    texfmt::Decode(*texfmt::Find(D3DFMT_A8R8G8B8), (const uint8_t[]){0x40, 0x80, 0xFF, 0x20}, back);
    EXPECT_NEAR(back[0], 1.0f, 1e-6f);
    EXPECT_NEAR(back[2], 0x40 / 255.0f, 1e-6f);
    EXPECT_NEAR(back[3], 0x20 / 255.0f, 1e-6f);
    // DXT blocks survive a round trip of a two-colour block.
    float block[16][4], decoded[16][4];
    for (int p = 0; p < 16; ++p) {
        block[p][0] = p < 8 ? 1.0f : 0.0f;
        block[p][1] = 0.0f;
        block[p][2] = p < 8 ? 0.0f : 1.0f;
        block[p][3] = 1.0f;
    }
    uint8_t dxt[16];
    for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
        texfmt::EncodeDxtBlock(f, block, dxt);
        texfmt::DecodeDxtBlock(f, dxt, decoded);
        for (int p = 0; p < 16; ++p)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(decoded[p][c], block[p][c], 0.01f) << f << " " << p;
    }
    ImageLevel level;
    level.width = 2, level.height = 1;
    level.rgba = {1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.9f, 1.0f};
    texrules::ApplyColourKey(level, 0xFFFF00FF);
    EXPECT_EQ(level.rgba[3], 0.0f);
    EXPECT_EQ(level.rgba[0], 0.0f);
    EXPECT_EQ(level.rgba[7], 1.0f);
}
