// FontTexture on the REF device: the glyph texture's size rule, layout and texel values, text
// drawn where the pen rules put it, and the device state put back after drawing.
#include "scene/FontTexture.h"
#include "tests/support/RefDeviceTest.h"

#include <gtest/gtest.h>

namespace {

class FontTextureTest : public RefDeviceTest {
protected:
    // Draws `text` white at (x, y) on black and returns the lit pixels' bounding box and count.
    struct Ink {
        int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
    };
    Ink Draw(FontTexture& font, const char* text, float x, float y, std::vector<uint32_t>* frame = nullptr) {
        EXPECT_EQ(S_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0));
        EXPECT_EQ(S_OK, device->BeginScene());
        EXPECT_EQ(S_OK, font.DrawText(x, y, 0xFFFFFFFF, text, 0));
        EXPECT_EQ(S_OK, device->EndScene());
        std::vector<uint32_t> pixels = ReadBackBuffer();
        Ink ink;
        for (int py = 0; py < static_cast<int>(kSize); ++py)
            for (int px = 0; px < static_cast<int>(kSize); ++px)
                if ((pixels[py * kSize + px] & 0xFF) > 0x40) {
                    ink.left = std::min(ink.left, px), ink.right = std::max(ink.right, px);
                    ink.top = std::min(ink.top, py), ink.bottom = std::max(ink.bottom, py);
                    ++ink.count;
                }
        if (frame) *frame = pixels;
        return ink;
    }
};

}  // namespace

TEST_F(FontTextureTest, GlyphTextureLayoutAndTexels) {
    FontTexture font("Arial", 12, FontTexture::Bold);
    ASSERT_EQ(S_OK, font.CreateResources(device));
    EXPECT_EQ(font.TextureWidth(), 256u);
    EXPECT_FLOAT_EQ(font.TextScale(), 1.0f);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(S_OK, font.Texture()->GetLevelDesc(0, &desc));
    EXPECT_EQ(desc.Format, D3DFMT_A4R4G4B4);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(font.Texture()->GetLevelCount(), 1u);
    // Cells run left to right with one empty column between them, rows restart at x = 0.
    for (int c = 32; c < 126; ++c) {
        const float* g = font.GlyphCoords(static_cast<unsigned char>(c));
        const float* n = font.GlyphCoords(static_cast<unsigned char>(c + 1));
        EXPECT_GT(g[2], g[0]) << c;
        EXPECT_GT(g[3], g[1]) << c;
        if (n[1] == g[1]) EXPECT_FLOAT_EQ(n[0], g[2] + 1.0f / 256) << c;
        else EXPECT_EQ(n[0], 0.0f) << c;
    }
    EXPECT_EQ(font.GlyphCoords(127)[2], 0.0f);
    // Every texel is transparent or white with 4-bit alpha; '#' has ink, ' ' has none.
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(S_OK, font.Texture()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    auto texel = [&](int x, int y) {
        return reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch)[x];
    };
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            uint16_t t = texel(x, y);
            ASSERT_TRUE(t == 0 || (t & 0x0FFF) == 0x0FFF) << x << "," << y;
        }
    auto inkIn = [&](unsigned char c) {
        const float* g = font.GlyphCoords(c);
        int n = 0;
        for (int y = static_cast<int>(g[1] * 256); y < static_cast<int>(g[3] * 256); ++y)
            for (int x = static_cast<int>(g[0] * 256); x < static_cast<int>(g[2] * 256); ++x) n += texel(x, y) != 0;
        return n;
    };
    EXPECT_GT(inkIn('#'), 20);
    EXPECT_EQ(inkIn(' '), 0);
    font.Texture()->UnlockRect(0);
    font.ReleaseResources();
    EXPECT_EQ(font.Texture(), nullptr);
}

TEST_F(FontTextureTest, TextureSizeFollowsPointSizeAndDeviceLimit) {
    for (auto [points, size] : {std::pair{9u, 256u}, {20u, 256u}, {21u, 512u}, {40u, 512u}, {41u, 1024u}}) {
        FontTexture font("Arial", points, FontTexture::Bold);
        ASSERT_EQ(S_OK, font.CreateResources(device));
        EXPECT_EQ(font.TextureWidth(), size) << points;
        font.ReleaseResources();
    }
    d3dhost::SetCapsEditor(D3DDEVTYPE_REF, [](D3DCAPS8& caps) { caps.MaxTextureWidth = caps.MaxTextureHeight = 512; });
    CreateDevice();
    FontTexture big("Arial", 48, 0);
    ASSERT_EQ(S_OK, big.CreateResources(device));
    EXPECT_EQ(big.TextureWidth(), 512u);
    EXPECT_FLOAT_EQ(big.TextScale(), 0.5f);
    big.ReleaseResources();
}

TEST_F(FontTextureTest, PenRulesSideBySideNewlineAndSkippedCodes) {
    FontTexture font("Arial", 12, FontTexture::Bold);
    ASSERT_EQ(S_OK, font.CreateResources(device));
    ASSERT_EQ(S_OK, font.RestoreResources());
    const float* space = font.GlyphCoords(' ');
    const float* i = font.GlyphCoords('I');
    int lineHeight = static_cast<int>((space[3] - space[1]) * 256 + 0.5f);
    int advance = static_cast<int>((i[2] - i[0]) * 256 + 0.5f);

    Ink one = Draw(font, "I", 10, 4);
    ASSERT_GT(one.count, 5);
    EXPECT_GE(one.left, 10);
    EXPECT_LT(one.right, 10 + advance);
    EXPECT_GE(one.top, 4);
    EXPECT_LT(one.bottom, 4 + lineHeight);

    Ink two = Draw(font, "II", 10, 4);
    EXPECT_EQ(two.count, 2 * one.count);
    EXPECT_EQ(two.left, one.left);
    EXPECT_EQ(two.right, one.right + advance);
    EXPECT_EQ(two.top, one.top);

    Ink below = Draw(font, "I\nI", 10, 4);
    EXPECT_EQ(below.count, 2 * one.count);
    EXPECT_EQ(below.left, one.left);
    EXPECT_EQ(below.right, one.right);
    EXPECT_EQ(below.bottom, one.bottom + lineHeight);

    std::vector<uint32_t> plain, skipped;
    Draw(font, "II", 10, 4, &plain);
    Draw(font, "I\x01\t\x7F\x80\xFFI\n", 10, 4, &skipped);
    EXPECT_EQ(plain, skipped);

    Ink none = Draw(font, "", 10, 4);
    EXPECT_EQ(none.count, 0);
    font.LoseResources();
    font.ReleaseResources();
}

TEST_F(FontTextureTest, DeviceStateAfterDrawingIsWhatItWasBefore) {
    FontTexture font("Arial", 9, FontTexture::Bold);
    ASSERT_EQ(S_OK, font.CreateResources(device));
    ASSERT_EQ(S_OK, font.RestoreResources());
    IDirect3DTexture8* other = nullptr;
    ASSERT_EQ(S_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &other));
    device->SetTexture(0, other);
    const std::pair<D3DRENDERSTATETYPE, DWORD> renderStates[] = {
        {D3DRS_ALPHABLENDENABLE, FALSE}, {D3DRS_SRCBLEND, D3DBLEND_ONE},     {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_ALPHATESTENABLE, FALSE},  {D3DRS_ALPHAREF, 0x80},             {D3DRS_ALPHAFUNC, D3DCMP_LESS},
        {D3DRS_FILLMODE, D3DFILL_WIREFRAME}, {D3DRS_CULLMODE, D3DCULL_NONE}, {D3DRS_ZENABLE, TRUE},
        {D3DRS_FOGENABLE, TRUE},         {D3DRS_CLIPPLANEENABLE, 1},
    };
    const std::tuple<DWORD, D3DTEXTURESTAGESTATETYPE, DWORD> stageStates[] = {
        {0, D3DTSS_COLOROP, D3DTOP_SELECTARG2}, {0, D3DTSS_MINFILTER, D3DTEXF_LINEAR},
        {0, D3DTSS_TEXCOORDINDEX, 1},           {1, D3DTSS_COLOROP, D3DTOP_ADD},
    };
    for (auto [state, value] : renderStates) device->SetRenderState(state, value);
    for (auto [stage, type, value] : stageStates) device->SetTextureStageState(stage, type, value);
    for (DWORD flags : {0u, static_cast<unsigned>(FontTexture::Filtered)}) {
        ASSERT_EQ(S_OK, device->BeginScene());
        EXPECT_EQ(S_OK, font.DrawText(2, 2, 0xFFFF0000, "State", flags));
        EXPECT_EQ(S_OK, font.DrawText(2, 2, 0xFFFF0000, "", flags));
        ASSERT_EQ(S_OK, device->EndScene());
        for (auto [state, value] : renderStates) {
            DWORD now = 0;
            device->GetRenderState(state, &now);
            EXPECT_EQ(now, value) << state;
        }
        for (auto [stage, type, value] : stageStates) {
            DWORD now = 0;
            device->GetTextureStageState(stage, type, &now);
            EXPECT_EQ(now, value) << stage << " " << type;
        }
        IDirect3DBaseTexture8* bound = nullptr;
        device->GetTexture(0, &bound);
        EXPECT_EQ(bound, other);
        if (bound) bound->Release();
    }
    // The vertex shader and stream stay as drawing left them.
    DWORD shader = 0;
    device->GetVertexShader(&shader);
    EXPECT_EQ(shader, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->SetTexture(0, nullptr);
    other->Release();
    // Losing and restoring any number of times keeps it drawable; without a device it refuses.
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(S_OK, font.LoseResources());
        EXPECT_EQ(S_OK, font.RestoreResources());
    }
    EXPECT_EQ(S_OK, font.LoseResources());
    EXPECT_EQ(S_OK, font.ReleaseResources());
    EXPECT_EQ(font.DrawText(0, 0, 0xFFFFFFFF, "x", 0), E_FAIL);
}
