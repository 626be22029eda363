// The fixture of every test that draws on the software (REF) device: a headless Direct3D object,
// a 64 x 64 windowed back buffer, the back-buffer reader, and temporary files for the loaders
// that take file names. Suites derive from it for their own helpers and device settings.
// SIMMERGLASS_TEST_DEVICE=hal draws on the hardware device instead (scripts/hal-check).
#pragma once

#include "platform/d3d/D3DHost.h"
#include "platform/d3d/d3d8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

// The device type the tests draw on: REF, or HAL when SIMMERGLASS_TEST_DEVICE=hal.
inline D3DDEVTYPE TestDeviceType() {
    const char* choice = std::getenv("SIMMERGLASS_TEST_DEVICE");
    return choice && std::strcmp(choice, "hal") == 0 ? D3DDEVTYPE_HAL : D3DDEVTYPE_REF;
}

class RefDeviceTest : public ::testing::Test {
protected:
    static constexpr UINT kSize = 64;

    // A windowed kSize x kSize back buffer of `format`, lockable; `depth` D3DFMT_UNKNOWN: none.
    static D3DPRESENT_PARAMETERS Params(D3DFORMAT format = D3DFMT_X8R8G8B8, D3DFORMAT depth = D3DFMT_UNKNOWN) {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = kSize;
        pp.BackBufferHeight = kSize;
        pp.BackBufferFormat = format;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        pp.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
        pp.AutoDepthStencilFormat = depth;
        return pp;
    }

    // Creates `device` from `params` in SetUp unless a suite sets createDeviceInSetUp = false in
    // its constructor (to install a caps editor first, say).
    void SetUp() override {
        d3dhost::HostOptions headless;
        headless.headless = true;
        hostOptions.emplace(headless);
        dir = std::filesystem::temp_directory_path() /
              ("sg-test-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        if (createDeviceInSetUp) CreateDevice();
    }

    void TearDown() override {
        if (device) {
            ULONG left = device->Release();
            if (expectNoLeaks) {
                EXPECT_EQ(left, 0u);
            }
        }
        if (d3d) {
            ULONG left = d3d->Release();
            if (expectNoLeaks) {
                EXPECT_EQ(left, 0u);
            }
        }
        device = nullptr;
        d3d = nullptr;
        hostOptions.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // (Re)creates `device` from `params`, e.g. after a caps editor was installed.
    void CreateDevice(DWORD behavior = D3DCREATE_SOFTWARE_VERTEXPROCESSING) {
        if (device) device->Release();
        device = nullptr;
        ASSERT_EQ(S_OK, CreateDevice(params, &device, behavior));
    }
    // A further device on the same Direct3D object.
    HRESULT CreateDevice(D3DPRESENT_PARAMETERS pp, IDirect3DDevice8** out,
                         DWORD behavior = D3DCREATE_SOFTWARE_VERTEXPROCESSING) {
        return d3d->CreateDevice(D3DADAPTER_DEFAULT, TestDeviceType(), nullptr, behavior, &pp, out);
    }

    // The back buffer of `from` (default: `device`) as 0xAARRGGBB words, top row first.
    std::vector<DWORD> ReadBackBuffer(IDirect3DDevice8* from = nullptr) {
        if (!from) from = device;
        std::vector<DWORD> pixels;
        IDirect3DSurface8* surface = nullptr;
        EXPECT_EQ(from->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
        if (!surface) return pixels;
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        if (locked.pBits) {
            pixels.resize(size_t(desc.Width) * desc.Height);
            for (UINT y = 0; y < desc.Height; ++y)
                std::memcpy(&pixels[size_t(y) * desc.Width], static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch,
                            desc.Width * 4);
            surface->UnlockRect();
        }
        surface->Release();
        return pixels;
    }

    // Writes a file into `dir` and returns its path.
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string WriteText(const std::string& name, const std::string& text) {
        return WriteFile(name, std::vector<uint8_t>(text.begin(), text.end()));
    }

    bool createDeviceInSetUp = true;
    bool expectNoLeaks = false;  // TearDown checks that nothing else holds the device or d3d
    D3DPRESENT_PARAMETERS params = Params();
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    std::filesystem::path dir;  // this test's temporary folder, removed after it
    std::optional<d3dhost::ScopedHostOptions> hostOptions;  // headless while the test runs
};
