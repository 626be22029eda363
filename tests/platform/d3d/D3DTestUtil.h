// Test fixture for the Direct3D stand-in: the shared test device with a depth buffer, and drawing helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/d3d/d3d8.h"
#include "tests/support/RefDeviceTest.h"

struct TLVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
};
constexpr DWORD kTLVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

// The REF device with a D24S8 depth buffer; TearDown checks that nothing else holds it.
class DeviceTest : public RefDeviceTest {
protected:
    DeviceTest() {
        params = Params(D3DFMT_X8R8G8B8, true);
        expectNoLeaks = true;
    }

    HRESULT CreateDevice(D3DFORMAT format, IDirect3DDevice8** out, bool depth = true) {
        return RefDeviceTest::CreateDevice(Params(format, depth), out);
    }

    static D3DPRESENT_PARAMETERS Params(D3DFORMAT format, bool depth = true) {
        return RefDeviceTest::Params(format, depth ? D3DFMT_D24S8 : D3DFMT_UNKNOWN);
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
};
