// Present on the headless software device: a picture is read only when asked for, stays available until
// the next frame starts drawing, and is the same whether it is read at once or later.
#include "tests/support/RefDeviceTest.h"

#include "platform/d3d/D3DHost.h"

namespace {

class PresentTest : public RefDeviceTest {
protected:
    HRESULT Presented(std::vector<DWORD>* pixels, IDirect3DDevice8* from = nullptr) {
        UINT w = 0, h = 0;
        HRESULT hr = d3dhost::ReadPresentedFrame(from ? from : device, pixels, &w, &h);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(w, kSize);
            EXPECT_EQ(h, kSize);
        }
        return hr;
    }
    void DrawQuad(DWORD colour) {
        struct V {
            float x, y, z, rhw;
            DWORD c;
        } q[4] = {{8, 8, 0.5f, 1, colour}, {40, 8, 0.5f, 1, colour}, {8, 40, 0.5f, 1, colour}, {40, 40, 0.5f, 1, colour}};
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(V)), D3D_OK);
    }
};

TEST_F(PresentTest, PictureIsReadWhenAskedUntilTheNextFrameDraws) {
    std::vector<DWORD> pixels;
    EXPECT_EQ(Presented(&pixels), D3DERR_INVALIDCALL);  // nothing presented yet
    UINT w = 0, h = 0;
    EXPECT_EQ(d3dhost::ReadPresentedFrame(device, nullptr, &w, &h), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3dhost::ReadPresentedFrame(nullptr, &pixels, &w, &h), D3DERR_INVALIDCALL);

    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0), D3D_OK);
    DrawQuad(0xFFC08040u);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(Presented(&pixels), D3D_OK);
    EXPECT_EQ(pixels[0], 0xFF102030u);
    EXPECT_EQ(pixels[20 * kSize + 20], 0xFFC08040u);
    // Asked twice, the same picture; it is the back buffer's.
    std::vector<DWORD> again;
    ASSERT_EQ(Presented(&again), D3D_OK);
    EXPECT_EQ(again, pixels);
    EXPECT_EQ(ReadBackBuffer(), pixels);

    // The next frame's clear or draw takes the picture's place: it is gone, not replaced by a half-drawn one.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Presented(&again), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(Presented(&again), D3D_OK);
    DrawQuad(0xFFFFFFFFu);
    EXPECT_EQ(Presented(&again), D3DERR_INVALIDCALL);

    // A reset makes a new back buffer without a presented picture.
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    D3DPRESENT_PARAMETERS pp = params;
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(Presented(&again), D3DERR_INVALIDCALL);
}

TEST_F(PresentTest, ReadingBackAtEachPresentKeepsThePictureAndChangesNothing) {
    // The same two frames, read as they are presented and read back at each Present.
    std::vector<DWORD> late[2], early[2];
    for (bool each : {false, true}) {
        d3dhost::SetReadBackEachPresent(each);
        for (int frame = 0; frame < 2; ++frame) {
            ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040u + frame, 1.0f, 0), D3D_OK);
            DrawQuad(frame ? 0xFF00FF00u : 0xFFFF0000u);
            ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
            ASSERT_EQ(Presented(each ? &early[frame] : &late[frame]), D3D_OK);
        }
        // Read back at Present, the picture outlives the next frame's drawing.
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0), D3D_OK);
        std::vector<DWORD> after;
        EXPECT_EQ(Presented(&after), each ? D3D_OK : D3DERR_INVALIDCALL);
        if (each) {
            EXPECT_EQ(after, early[1]);
        }
    }
    EXPECT_EQ(late[0], early[0]);
    EXPECT_EQ(late[1], early[1]);
    EXPECT_NE(late[0], late[1]);
}

TEST_F(PresentTest, MultisampledPictureIsResolvedWhenRead) {
    D3DPRESENT_PARAMETERS pp = Params();
    pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    IDirect3DDevice8* msaa = nullptr;
    if (FAILED(CreateDevice(pp, &msaa))) GTEST_SKIP() << "no 4 samples on this device";
    ASSERT_EQ(msaa->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF405060u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(msaa->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    std::vector<DWORD> pixels;
    ASSERT_EQ(Presented(&pixels, msaa), D3D_OK);
    EXPECT_EQ(pixels[5 * kSize + 7], 0xFF405060u);
    EXPECT_EQ(ReadBackBuffer(msaa), pixels);
    msaa->Release();
}

TEST_F(PresentTest, HeadlessDevicesOfferNoWaitForTheDisplay) {
    D3DCAPS8 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.PresentationIntervals, D3DPRESENT_INTERVAL_IMMEDIATE);
}

}  // namespace
