// The ranges a device's presentation parameters accept, at both edges and one step beyond, for
// CreateDevice and Reset alike: back-buffer sides, back-buffer count and swap effect; and the sides
// and level counts of textures against the device's caps.
#include <functional>

#include "platform/d3d/D3DHost.h"
#include "tests/platform/d3d/D3DTestUtil.h"

namespace {

struct Edge {
    const char* what;
    std::function<void(D3DPRESENT_PARAMETERS&, UINT)> set;
    UINT low, high;  // accepted; low - 1 and high + 1 are refused
    bool zeroIsDefault = false;  // a side of 0 asks for the window's size instead
};

class DeviceEdgeTest : public DeviceTest {
protected:
    DeviceEdgeTest() { params = Params(D3DFMT_X8R8G8B8, false); }

    const std::vector<Edge> edges = {
        {"width", [](D3DPRESENT_PARAMETERS& p, UINT v) { p.BackBufferWidth = v, p.BackBufferHeight = 16; }, 1,
         d3dhost::kMaxBackBufferSide, true},
        {"height", [](D3DPRESENT_PARAMETERS& p, UINT v) { p.BackBufferHeight = v, p.BackBufferWidth = 16; }, 1,
         d3dhost::kMaxBackBufferSide, true},
        {"back buffers", [](D3DPRESENT_PARAMETERS& p, UINT v) { p.BackBufferCount = v; }, 0, 3},
        {"swap effect", [](D3DPRESENT_PARAMETERS& p, UINT v) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(v); },
         D3DSWAPEFFECT_DISCARD, D3DSWAPEFFECT_COPY_VSYNC},
    };

    std::vector<std::pair<UINT, bool>> Cases(const Edge& e) {
        std::vector<std::pair<UINT, bool>> cases = {{e.low, true}, {e.high, true}, {e.high + 1, false}};
        if (e.low > 0 && !e.zeroIsDefault) cases.push_back({e.low - 1, false});
        return cases;
    }
};

TEST_F(DeviceEdgeTest, CreateDeviceTakesEachEdgeAndRefusesOneBeyond) {
    for (const Edge& e : edges) {
        for (auto [value, taken] : Cases(e)) {
            D3DPRESENT_PARAMETERS p = Params(D3DFMT_X8R8G8B8, false);
            e.set(p, value);
            IDirect3DDevice8* made = nullptr;
            HRESULT hr = RefDeviceTest::CreateDevice(p, &made);
            EXPECT_EQ(hr, taken ? D3D_OK : D3DERR_INVALIDCALL) << e.what << " " << value;
            if (!made) continue;
            D3DSURFACE_DESC desc{};
            IDirect3DSurface8* back = nullptr;
            ASSERT_EQ(made->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
            back->GetDesc(&desc);
            back->Release();
            EXPECT_EQ(desc.Width, p.BackBufferWidth) << e.what << " " << value;
            EXPECT_EQ(desc.Height, p.BackBufferHeight) << e.what << " " << value;
            made->Release();
        }
    }
    // A side of 0 in a window without a display takes the default 640 x 480.
    D3DPRESENT_PARAMETERS p = Params(D3DFMT_X8R8G8B8, false);
    p.BackBufferWidth = p.BackBufferHeight = 0;
    IDirect3DDevice8* made = nullptr;
    ASSERT_EQ(RefDeviceTest::CreateDevice(p, &made), D3D_OK);
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(made->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 640u);
    EXPECT_EQ(desc.Height, 480u);
    back->Release();
    made->Release();
}

TEST_F(DeviceEdgeTest, ResetTakesEachEdgeAndRefusesOneBeyond) {
    for (const Edge& e : edges) {
        for (auto [value, taken] : Cases(e)) {
            D3DPRESENT_PARAMETERS p = Params(D3DFMT_X8R8G8B8, false);
            e.set(p, value);
            EXPECT_EQ(device->Reset(&p), taken ? D3D_OK : D3DERR_INVALIDCALL) << e.what << " " << value;
            // A refused Reset leaves the device to be reset again.
            D3DPRESENT_PARAMETERS plain = params;
            ASSERT_EQ(device->Reset(&plain), D3D_OK);
        }
    }
}

TEST_F(DeviceEdgeTest, TextureSidesAndLevelsAtTheirLimits) {
    D3DCAPS8 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    ASSERT_GT(caps.MaxTextureWidth, 1u);
    struct Case {
        UINT width, height, levels;
        bool taken;
    };
    const UINT w = caps.MaxTextureWidth, h = caps.MaxTextureHeight;
    const Case cases[] = {
        {1, 1, 1, true},      {0, 1, 1, false},     {1, 0, 1, false},     {w, 1, 1, true},
        {w + 1, 1, 1, false}, {1, h, 1, true},      {1, h + 1, 1, false},
        // 8 x 2 has the levels 8x2, 4x1, 2x1 and 1x1.
        {8, 2, 4, true},      {8, 2, 5, false},     {8, 2, 0, true},
    };
    for (const Case& c : cases) {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(device->CreateTexture(c.width, c.height, c.levels, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &t),
                  c.taken ? D3D_OK : D3DERR_INVALIDCALL)
            << c.width << "x" << c.height << " levels " << c.levels;
        if (t) {
            EXPECT_EQ(t->GetLevelCount(), c.levels ? c.levels : 4u) << c.width << "x" << c.height;
            t->Release();
        }
    }
}

}  // namespace
