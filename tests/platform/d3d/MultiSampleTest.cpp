// Multisampled back buffers: what CheckDeviceMultiSampleType answers against what the devices then make, edges
// resolved to in-between colours on REF, and the resolved picture in every read-back (locks, Present) and after
// loss and reset.
#include "tests/platform/d3d/D3DTestUtil.h"

namespace {

class MultiSampleTest : public DeviceTest {
protected:
    static D3DPRESENT_PARAMETERS MsaaParams(D3DMULTISAMPLE_TYPE type) {
        D3DPRESENT_PARAMETERS pp = Params(D3DFMT_X8R8G8B8);
        pp.MultiSampleType = type;
        return pp;
    }

    // Swaps the fixture's device for a REF device with that many samples.
    void UseSamples(D3DMULTISAMPLE_TYPE type) {
        ASSERT_EQ(device->Release(), 0u);
        device = nullptr;
        D3DPRESENT_PARAMETERS pp = MsaaParams(type);
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
    }

    // White triangle on black whose long edge runs from (0,0) to (64,48): a slope no pixel row meets evenly.
    void DrawEdge() {
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        const D3DCOLOR w = 0xFFFFFFFFu;
        DrawTL({{0, 0, 0.5f, 1, w}, {64, 48, 0.5f, 1, w}, {0, 64, 0.5f, 1, w}});
    }

    // Pixels that are grey, strictly between black and white, with all three channels equal.
    static int CountBetween(const std::vector<DWORD>& p) {
        int n = 0;
        for (DWORD v : p) {
            DWORD r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
            if (r > 0 && r < 255) n += (r == g && g == b) ? 1 : 0;
        }
        return n;
    }

    D3DMULTISAMPLE_TYPE BackBufferSamples() {
        IDirect3DSurface8* back = nullptr;
        device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DSURFACE_DESC desc{};
        back->GetDesc(&desc);
        back->Release();
        return desc.MultiSampleType;
    }
};

TEST_F(MultiSampleTest, CheckAnswersWhatCreateDeviceThenMakes) {
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_NONE), D3D_OK);
    // REF must offer 4 samples (the --msaa 4 the program promises); 1 and counts above 16 are not types at all.
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_4_SAMPLES),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_D24S8, TRUE, D3DMULTISAMPLE_4_SAMPLES), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, TRUE,
                                              static_cast<D3DMULTISAMPLE_TYPE>(1)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, TRUE,
                                              static_cast<D3DMULTISAMPLE_TYPE>(17)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(5, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_4_SAMPLES),
              D3DERR_INVALIDCALL);
    // Formats that are neither back-buffer nor depth formats have no multisampled form.
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_A8, TRUE, D3DMULTISAMPLE_4_SAMPLES),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_DXT1, TRUE, D3DMULTISAMPLE_NONE),
              D3DERR_NOTAVAILABLE);

    // Every answer, on both device types (HAL backed by the software device where there is no GPU), for every
    // count, is what CreateDevice then does: a yes makes a device whose back buffer says so, a no is refused.
    d3dhost::SimulateHardwareDevice(true);
    int offered = 0;
    for (D3DDEVTYPE type : {D3DDEVTYPE_HAL, D3DDEVTYPE_REF}) {
        for (DWORD n = 2; n <= 16; ++n) {
            auto samples = static_cast<D3DMULTISAMPLE_TYPE>(n);
            bool yes = d3d->CheckDeviceMultiSampleType(0, type, D3DFMT_X8R8G8B8, TRUE, samples) == D3D_OK &&
                       d3d->CheckDeviceMultiSampleType(0, type, D3DFMT_D24S8, TRUE, samples) == D3D_OK;
            D3DPRESENT_PARAMETERS pp = MsaaParams(samples);
            IDirect3DDevice8* other = nullptr;
            HRESULT hr = d3d->CreateDevice(0, type, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &other);
            EXPECT_EQ(hr, yes ? D3D_OK : D3DERR_INVALIDCALL) << "type " << type << ", " << n << " samples";
            if (other) {
                ++offered;
                IDirect3DSurface8* back = nullptr;
                other->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
                D3DSURFACE_DESC desc{};
                back->GetDesc(&desc);
                EXPECT_EQ(desc.MultiSampleType, samples);
                back->Release();
                EXPECT_EQ(other->Release(), 0u);
            }
        }
    }
    EXPECT_GE(offered, 2);  // 4 samples on both types at least
    // A multisampled picture is resolved when presented: only the discard swap effect goes with it.
    D3DPRESENT_PARAMETERS pp = MsaaParams(D3DMULTISAMPLE_4_SAMPLES);
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    IDirect3DDevice8* other = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &other),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(other, nullptr);
}

TEST_F(MultiSampleTest, EdgesResolveBetweenTheTwoColoursInLocksAndPresentedFrames) {
    // Without samples every pixel is one colour or the other.
    DrawEdge();
    EXPECT_EQ(CountBetween(ReadBackBuffer()), 0);

    UseSamples(D3DMULTISAMPLE_4_SAMPLES);
    DrawEdge();
    std::vector<DWORD> locked = ReadBackBuffer();
    // Inside and outside stay pure; along the edge (about one pixel per column) the colours mix.
    EXPECT_EQ(Pixel(locked, 2, 40), 0xFFFFFFu);
    EXPECT_EQ(Pixel(locked, 60, 10), 0u);
    EXPECT_GE(CountBetween(locked), 40);
    // Pixel (32, 24) has its centre on the edge: some of its samples are in, some out.
    DWORD edge = Pixel(locked, 32, 24);
    EXPECT_GT(edge & 255, 0u);
    EXPECT_LT(edge & 255, 255u);
    // Present resolves the same picture.
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    std::vector<DWORD> shown;
    UINT w = 0, h = 0;
    ASSERT_TRUE(d3dhost::GetPresentedFrame(device, &shown, &w, &h));
    ASSERT_EQ(shown.size(), locked.size());
    for (size_t i = 0; i < shown.size(); ++i) ASSERT_EQ(shown[i] & 0xFFFFFFu, locked[i] & 0xFFFFFFu) << i;
    // A later clear reaches the next read-back: nothing stale is kept from the earlier resolve.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060u, 1.0f, 0);
    EXPECT_EQ(Count(ReadBackBuffer(), 0x204060), static_cast<int>(kSize * kSize));

    // MULTISAMPLEANTIALIAS off: one coverage test per pixel again. MULTISAMPLEMASK 1: only the first of the four
    // samples is written, so the inside resolves to a quarter of white.
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    DrawEdge();
    EXPECT_EQ(CountBetween(ReadBackBuffer()), 0);
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
    device->SetRenderState(D3DRS_MULTISAMPLEMASK, 0x1);
    DrawEdge();
    DWORD inside = Pixel(ReadBackBuffer(), 2, 40) & 255;
    EXPECT_GE(inside, 0x3Fu);
    EXPECT_LE(inside, 0x40u);
}

TEST_F(MultiSampleTest, LossAndResetKeepOrChangeTheSampleCount) {
    UseSamples(D3DMULTISAMPLE_4_SAMPLES);
    ASSERT_EQ(d3dhost::ForceDeviceLoss(device, 1), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    D3DPRESENT_PARAMETERS pp = MsaaParams(D3DMULTISAMPLE_4_SAMPLES);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(BackBufferSamples(), D3DMULTISAMPLE_4_SAMPLES);
    DrawEdge();
    EXPECT_GE(CountBetween(ReadBackBuffer()), 40);

    // To no samples and back, at another size: the picture follows each time.
    pp = MsaaParams(D3DMULTISAMPLE_NONE);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(BackBufferSamples(), D3DMULTISAMPLE_NONE);
    DrawEdge();
    EXPECT_EQ(CountBetween(ReadBackBuffer()), 0);
    pp = MsaaParams(D3DMULTISAMPLE_4_SAMPLES);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    DrawEdge();
    EXPECT_GE(CountBetween(ReadBackBuffer()), 40);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    // A count that is not a type is refused and changes nothing.
    pp = MsaaParams(static_cast<D3DMULTISAMPLE_TYPE>(1));
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(BackBufferSamples(), D3DMULTISAMPLE_4_SAMPLES);
}

}  // namespace
