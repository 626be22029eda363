// Test fixture for the Direct3D stand-in: a headless device with a small back buffer, and pixel readers.
// The device is REF; SIMMERGLASS_TEST_DEVICE=hal runs the pixel tests on the hardware device instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/d3d/d3d8.h"

struct TLVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
};
constexpr DWORD kTLVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

// The device type the pixel tests draw on (see above).
inline D3DDEVTYPE TestDeviceType() {
    const char* choice = std::getenv("SIMMERGLASS_TEST_DEVICE");
    return choice && std::strcmp(choice, "hal") == 0 ? D3DDEVTYPE_HAL : D3DDEVTYPE_REF;
}

class DeviceTest : public ::testing::Test {
protected:
    static constexpr UINT kSize = 64;

    void SetUp() override {
        d3dhost::ResetHostOptions();
        d3dhost::SetHeadless(true);
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        ASSERT_EQ(CreateDevice(D3DFMT_X8R8G8B8, &device), D3D_OK)
            << (TestDeviceType() == D3DDEVTYPE_HAL ? "no hardware device" : "no software device");
    }

    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        d3dhost::ResetHostOptions();
    }

    HRESULT CreateDevice(D3DFORMAT format, IDirect3DDevice8** out, bool depth = true) {
        D3DPRESENT_PARAMETERS pp = Params(format, depth);
        return d3d->CreateDevice(0, TestDeviceType(), nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, out);
    }

    static D3DPRESENT_PARAMETERS Params(D3DFORMAT format, bool depth = true) {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = kSize;
        pp.BackBufferHeight = kSize;
        pp.BackBufferFormat = format;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = depth ? TRUE : FALSE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        return pp;
    }

    // The back buffer as 0xAARRGGBB words, top row first.
    std::vector<DWORD> Read(IDirect3DDevice8* dev = nullptr) {
        if (!dev) dev = device;
        std::vector<DWORD> out;
        IDirect3DSurface8* surface = nullptr;
        EXPECT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
        if (!surface) return out;
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(surface->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        out.resize(desc.Width * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(&out[y * desc.Width], static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, desc.Width * 4);
        surface->UnlockRect();
        surface->Release();
        return out;
    }

    DWORD Pixel(const std::vector<DWORD>& p, UINT x, UINT y) { return p[y * kSize + x] & 0x00FFFFFFu; }

    // Draws a triangle list of pre-transformed vertices with lighting off.
    void DrawTL(const std::vector<TLVertex>& v, D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST) {
        device->SetVertexShader(kTLVertexFvf);
        UINT prims = type == D3DPT_TRIANGLELIST ? static_cast<UINT>(v.size()) / 3
                     : type == D3DPT_LINELIST   ? static_cast<UINT>(v.size()) / 2
                     : type == D3DPT_LINESTRIP  ? static_cast<UINT>(v.size()) - 1
                     : type == D3DPT_POINTLIST  ? static_cast<UINT>(v.size())
                                                : static_cast<UINT>(v.size()) - 2;
        ASSERT_EQ(device->DrawPrimitiveUP(type, prims, v.data(), sizeof(TLVertex)), D3D_OK);
    }

    // Counts pixels equal to a colour (RGB only).
    int Count(const std::vector<DWORD>& p, DWORD rgb) {
        int n = 0;
        for (DWORD v : p) n += (v & 0x00FFFFFFu) == rgb ? 1 : 0;
        return n;
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
};
