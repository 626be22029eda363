// Rendering on the REF device checked pixel by pixel: clear, rasterisation conventions, depth, culling,
// fill modes and lines.
#include "tests/platform/d3d/D3DTestUtil.h"

namespace {

TEST_F(DeviceTest, ClearFillsTheViewportWithTheColour) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699u, 1.0f, 0), D3D_OK);
    auto p = ReadBackBuffer();
    EXPECT_EQ(Count(p, 0x336699), static_cast<int>(kSize * kSize));
    // A rectangle clear touches only the rectangle.
    D3DRECT r = {10, 20, 30, 25};
    ASSERT_EQ(device->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    p = ReadBackBuffer();
    EXPECT_EQ(Count(p, 0xFF0000), 20 * 5);
    EXPECT_EQ(Pixel(p, 10, 20), 0xFF0000u);
    EXPECT_EQ(Pixel(p, 29, 24), 0xFF0000u);
    EXPECT_EQ(Pixel(p, 30, 24), 0x336699u);
    EXPECT_EQ(Pixel(p, 10, 19), 0x336699u);
}

TEST_F(DeviceTest, PretransformedQuadCoversExactlyItsPixels) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // A rectangle from (8,8) to (24,16): pixel centres at integer coordinates, top-left rule.
    const D3DCOLOR c = 0xFF00FF00u;
    std::vector<TLVertex> v = {{8, 8, 0.5f, 1, c},  {24, 8, 0.5f, 1, c},  {8, 16, 0.5f, 1, c},
                               {24, 8, 0.5f, 1, c}, {24, 16, 0.5f, 1, c}, {8, 16, 0.5f, 1, c}};
    DrawTL(v);
    auto p = ReadBackBuffer();
    EXPECT_EQ(Count(p, 0x00FF00), 16 * 8);
    EXPECT_EQ(Pixel(p, 8, 8), 0x00FF00u);
    EXPECT_EQ(Pixel(p, 23, 15), 0x00FF00u);
    EXPECT_EQ(Pixel(p, 24, 8), 0u);
    EXPECT_EQ(Pixel(p, 8, 16), 0u);
    EXPECT_EQ(Pixel(p, 7, 8), 0u);
    EXPECT_EQ(Pixel(p, 8, 7), 0u);
}

TEST_F(DeviceTest, VertexColoursInterpolateAcrossTheTriangle) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    std::vector<TLVertex> v = {{0, 0, 0.5f, 1, 0xFFFF0000u}, {64, 0, 0.5f, 1, 0xFFFF0000u},
                               {0, 64, 0.5f, 1, 0xFF0000FFu}};
    DrawTL(v);
    auto p = ReadBackBuffer();
    DWORD top = Pixel(p, 1, 0), bottom = Pixel(p, 1, 62);
    EXPECT_GT((top >> 16) & 255, 240u);
    EXPECT_LT(top & 255, 10u);
    EXPECT_GT(bottom & 255, 240u);
    EXPECT_LT((bottom >> 16) & 255, 10u);
}

TEST_F(DeviceTest, CullModesRemoveTheMatchingWinding) {
    // Clockwise on screen (y down): (10,10) -> (30,10) -> (10,30).
    std::vector<TLVertex> cw = {{10, 10, 0.5f, 1, 0xFFFFFFFFu}, {30, 10, 0.5f, 1, 0xFFFFFFFFu},
                                {10, 30, 0.5f, 1, 0xFFFFFFFFu}};
    std::vector<TLVertex> ccw = {cw[0], cw[2], cw[1]};
    struct Case {
        DWORD cull;
        bool cwVisible, ccwVisible;
    } cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}};
    for (const Case& c : cases) {
        device->SetRenderState(D3DRS_CULLMODE, c.cull);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        DrawTL(cw);
        EXPECT_EQ(Count(ReadBackBuffer(), 0xFFFFFF) > 0, c.cwVisible) << "cull " << c.cull;
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        DrawTL(ccw);
        EXPECT_EQ(Count(ReadBackBuffer(), 0xFFFFFF) > 0, c.ccwVisible) << "cull " << c.cull;
    }
}

TEST_F(DeviceTest, DepthTestKeepsTheNearerSurface) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    auto quad = [](float z, D3DCOLOR c) {
        return std::vector<TLVertex>{{0, 0, z, 1, c},  {64, 0, z, 1, c},  {0, 64, z, 1, c},
                                     {64, 0, z, 1, c}, {64, 64, z, 1, c}, {0, 64, z, 1, c}};
    };
    DrawTL(quad(0.3f, 0xFFFF0000u));
    DrawTL(quad(0.6f, 0xFF00FF00u));  // behind: hidden
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0xFF0000u);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    DrawTL(quad(0.6f, 0xFF00FF00u));
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0x00FF00u);
    // With the depth test off everything draws.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DrawTL(quad(0.9f, 0xFF0000FFu));
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0x0000FFu);
}

TEST_F(DeviceTest, WireframeDrawsOnlyEdgesAndLinesDrawTheirPixels) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    std::vector<TLVertex> tri = {{8, 8, 0.5f, 1, 0xFFFFFFFFu}, {56, 8, 0.5f, 1, 0xFFFFFFFFu},
                                 {8, 56, 0.5f, 1, 0xFFFFFFFFu}};
    DrawTL(tri);
    auto p = ReadBackBuffer();
    EXPECT_EQ(Pixel(p, 20, 20), 0u);  // inside stays empty
    EXPECT_EQ(Pixel(p, 30, 8), 0xFFFFFFu);
    EXPECT_EQ(Pixel(p, 8, 30), 0xFFFFFFu);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    std::vector<TLVertex> line = {{4, 40, 0.5f, 1, 0xFFFF00FFu}, {60, 40, 0.5f, 1, 0xFFFF00FFu}};
    DrawTL(line, D3DPT_LINELIST);
    p = ReadBackBuffer();
    EXPECT_EQ(Pixel(p, 30, 40), 0xFF00FFu);
    EXPECT_EQ(Pixel(p, 30, 39), 0u);
    EXPECT_EQ(Pixel(p, 30, 41), 0u);
    int n = Count(p, 0xFF00FF);
    EXPECT_GE(n, 55);
    EXPECT_LE(n, 57);
}

}  // namespace
