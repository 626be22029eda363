// A headless REF device of 64 x 64 pixels for the texture, mesh and font tests, and temporary
// files for the loaders that take file names.
#pragma once

#include "platform/d3d/d3d8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class RefDeviceTest : public ::testing::Test {
protected:
    static constexpr UINT kSize = 64;

    void SetUp() override {
        d3dhost::SetHeadless(true);
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_TRUE(d3d);
        CreateDevice();
        dir = std::filesystem::temp_directory_path() /
              ("sg-media-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }

    // (Re)creates the device, e.g. after a caps editor was installed.
    void CreateDevice() {
        if (device) device->Release();
        device = nullptr;
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferWidth = kSize;
        params.BackBufferHeight = kSize;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = TRUE;
        params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(S_OK, d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, nullptr,
                                          D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device));
    }
    void TearDown() override {
        if (device) device->Release();
        if (d3d) d3d->Release();
        d3dhost::ResetHostOptions();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string WriteText(const std::string& name, const std::string& text) {
        return WriteFile(name, std::vector<uint8_t>(text.begin(), text.end()));
    }

    // The back buffer as 0x00RRGGBB words, rows top-down.
    std::vector<uint32_t> ReadBackBuffer() {
        std::vector<uint32_t> pixels;
        IDirect3DSurface8* surface = nullptr;
        EXPECT_EQ(S_OK, device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface));
        if (!surface) return pixels;
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
            for (UINT y = 0; y < kSize; ++y) {
                const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch);
                for (UINT x = 0; x < kSize; ++x) pixels.push_back(row[x] & 0x00FFFFFF);
            }
            surface->UnlockRect();
        }
        surface->Release();
        return pixels;
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    std::filesystem::path dir;
};
