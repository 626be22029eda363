// D3DXCreateTextureFromFileExA on the REF device: formats, sizes and levels as the device
// allows, level contents (the file's pixels, box-filtered levels), colour keys and palettes,
// and every failure leaving nothing behind.
#include "tests/support/RefDeviceTest.h"
#include "tests/texture/ImageFiles.h"
#include "texture/D3DXTexture.h"
#include "texture/PixelFormat.h"

#include <cmath>
#include <cstdlib>

namespace {

class TextureTest : public RefDeviceTest {
protected:
    HRESULT Load(const std::string& path, IDirect3DTexture8** texture, D3DXIMAGE_INFO* info = nullptr,
                 D3DPOOL pool = D3DPOOL_MANAGED, D3DCOLOR key = 0, PALETTEENTRY* palette = nullptr,
                 DWORD usage = 0) {
        return D3DXCreateTextureFromFileExA(device, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, usage,
                                            D3DFMT_UNKNOWN, pool, D3DX_DEFAULT, D3DX_DEFAULT, key, info, palette,
                                            texture);
    }
    // Level `level` of an A8R8G8B8 or X8R8G8B8 texture as words.
    std::vector<uint32_t> Texels(IDirect3DTexture8* texture, UINT level) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        std::vector<uint32_t> out;
        D3DLOCKED_RECT locked{};
        if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return out;
        for (UINT y = 0; y < desc.Height; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch);
            out.insert(out.end(), row, row + desc.Width);
        }
        texture->UnlockRect(level);
        return out;
    }
};

std::vector<uint8_t> Gradient(uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgba(width * height * 4);
    for (uint32_t i = 0; i < width * height; ++i) {
        rgba[i * 4] = static_cast<uint8_t>(i * 16);
        rgba[i * 4 + 1] = static_cast<uint8_t>(255 - i * 8);
        rgba[i * 4 + 2] = static_cast<uint8_t>(i * 3);
        rgba[i * 4 + 3] = static_cast<uint8_t>(128 + i);
    }
    return rgba;
}

}  // namespace

TEST_F(TextureTest, PngBecomesTextureWithItsPixelsAndFullChain) {
    std::vector<uint8_t> rgba = Gradient(4, 4);
    std::string path = WriteFile("grad.png", testimg::Png(4, 4, rgba, 4));
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, Load(path, &texture, &info));
    ASSERT_TRUE(texture);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(info.Height, 4u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(S_OK, texture->GetLevelDesc(0, &desc));
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(texture->GetLevelCount(), 3u);
    std::vector<uint32_t> top = Texels(texture, 0);
    ASSERT_EQ(top.size(), 16u);
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t expected = D3DCOLOR_ARGB(rgba[i * 4 + 3], rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2]);
        EXPECT_EQ(top[i], expected) << i;
    }
    // Level 1 is the box filter of level 0: each texel the average of a 2 x 2 block.
    std::vector<uint32_t> next = Texels(texture, 1);
    ASSERT_EQ(next.size(), 4u);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 2; ++x)
            for (int shift = 0; shift < 32; shift += 8) {
                auto channel = [&](uint32_t px, uint32_t py) { return (top[py * 4 + px] >> shift) & 0xFF; };
                double average = (channel(2 * x, 2 * y) + channel(2 * x + 1, 2 * y) + channel(2 * x, 2 * y + 1) +
                                  channel(2 * x + 1, 2 * y + 1)) / 4.0;
                EXPECT_NEAR((next[y * 2 + x] >> shift) & 0xFF, average, 0.5 + 1e-9) << x << "," << y << " " << shift;
            }
    texture->Release();
}

TEST_F(TextureTest, JpegIsReportedAsRgbAndBecomesX8R8G8B8) {
    std::vector<uint8_t> flat(8 * 8 * 4, 0);
    for (size_t i = 0; i < flat.size(); i += 4) flat[i] = 30, flat[i + 1] = 140, flat[i + 2] = 220;
    std::string path = WriteFile("flat.jpg", testimg::Jpeg(8, 8, flat, false));
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, Load(path, &texture, &info));
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(texture->GetLevelCount(), 4u);
    for (uint32_t texel : Texels(texture, 0)) {
        EXPECT_NEAR(static_cast<int>((texel >> 16) & 0xFF), 30, 3);
        EXPECT_NEAR(static_cast<int>((texel >> 8) & 0xFF), 140, 3);
        EXPECT_NEAR(static_cast<int>(texel & 0xFF), 220, 3);
    }
    texture->Release();
}

TEST_F(TextureTest, PowerOfTwoDeviceRoundsSizesUpAndChainsLevels) {
    d3dhost::SetCapsEditor(D3DDEVTYPE_REF, [](D3DCAPS8& caps) {
        caps.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_MIPMAP;
        caps.TextureCaps &= ~D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
        caps.MaxTextureAspectRatio = 0;
    });
    CreateDevice();
    std::vector<uint8_t> rgba(300 * 200 * 4, 200);
    std::string path = WriteFile("wide.png", testimg::Png(300, 200, rgba, 3));
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(S_OK, Load(path, &texture));
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 512u);
    EXPECT_EQ(desc.Height, 256u);
    EXPECT_EQ(texture->GetLevelCount(), 10u);
    texture->GetLevelDesc(9, &desc);
    EXPECT_EQ(desc.Width, 1u);
    texture->Release();
}

TEST_F(TextureTest, ColourKeyAndPalettes) {
    // An RGB image with a key gains alpha; the keyed pixel becomes transparent black.
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0, 255};
    std::string rgb = WriteFile("key.png", testimg::Png(2, 2, rgba, 3));
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(S_OK, Load(rgb, &texture, nullptr, D3DPOOL_MANAGED, 0xFFFF0000));
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    std::vector<uint32_t> texels = Texels(texture, 0);
    ASSERT_EQ(texels.size(), 4u);
    EXPECT_EQ(texels[0], 0u);
    EXPECT_EQ(texels[1], 0xFF0000FFu);
    EXPECT_EQ(texels[2], 0u);
    texture->Release();

    // Palettized without a place for the palette: true colour, with alpha when the palette has it.
    std::string opaque = WriteFile("opaque.png", testimg::PalettePng(2, 1, {0, 1}, {10, 20, 30, 255, 40, 50, 60, 255}));
    std::string translucent = WriteFile("alpha.png", testimg::PalettePng(2, 1, {0, 1}, {10, 20, 30, 255, 40, 50, 60, 7}));
    ASSERT_EQ(S_OK, Load(opaque, &texture));
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(Texels(texture, 0)[1] & 0xFFFFFF, 0x28323Cu);
    texture->Release();
    ASSERT_EQ(S_OK, Load(translucent, &texture));
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(Texels(texture, 0)[1], 0x0728323Cu);
    texture->Release();
    // With a place for the palette the keyed entry comes back as 0.
    PALETTEENTRY palette[256];
    ASSERT_EQ(S_OK, Load(opaque, &texture, nullptr, D3DPOOL_MANAGED, 0xFF0A141E, palette));
    EXPECT_EQ(palette[0].peRed, 0);
    EXPECT_EQ(palette[0].peFlags, 0);
    EXPECT_EQ(palette[1].peGreen, 50);
    EXPECT_EQ(palette[2].peFlags, 255);
    texture->Release();
}

TEST_F(TextureTest, DefaultPoolGoesThroughAStagingCopy) {
    std::string path = WriteFile("grad.bmp", testimg::Bmp24(4, 4, Gradient(4, 4)));
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(S_OK, Load(path, &texture, nullptr, D3DPOOL_DEFAULT));
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(TextureTest, FailuresLeaveNothingBehind) {
    IDirect3DTexture8* sentinel = reinterpret_cast<IDirect3DTexture8*>(0x1234);
    IDirect3DTexture8* texture = sentinel;
    EXPECT_EQ(Load((dir / "missing.png").string(), &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(Load(WriteText("junk.png", "definitely not an image of any kind"), &texture), D3DXERR_INVALIDDATA);
    std::vector<uint8_t> png = testimg::Png(4, 4, Gradient(4, 4), 4);
    png.resize(png.size() / 2);
    EXPECT_EQ(Load(WriteFile("half.png", png), &texture), D3DXERR_INVALIDDATA);
    std::string good = WriteFile("good.png", testimg::Png(4, 4, Gradient(4, 4), 4));
    EXPECT_EQ(D3DXCreateTextureFromFileExA(nullptr, good.c_str(), 0, 0, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                           D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(Load(good, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(Load(good, &texture, nullptr, D3DPOOL_MANAGED, 0, nullptr, 0x4 /* not a texture usage */),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(Load(good, &texture, nullptr, static_cast<D3DPOOL>(7)), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileExA(device, good.c_str(), 0, 0, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, 9,
                                           D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    // A format the device has no substitute for.
    EXPECT_EQ(D3DXCreateTextureFromFileExA(device, good.c_str(), 0, 0, 0, 0, D3DFMT_D24S8, D3DPOOL_MANAGED,
                                           D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(texture, sentinel);
}

// A wide image within the pixel budget loads with its width cut to the device's largest; one
// beyond the budget is refused as an allocation that cannot be made, before anything is made.
TEST_F(TextureTest, WideImagesAreCutAndHugeOnesAreTooLarge) {
    std::vector<uint8_t> grey(20000 * 2 * 4, 200);
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(Load(WriteFile("wide.png", testimg::Png(20000, 2, grey, 1)), &texture), S_OK);
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 8192u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(texture->GetLevelCount(), 14u);
    texture->Release();

    // A 16384 x 16384 PNG header: refused as too large before its pixels are read.
    std::vector<uint8_t> big = testimg::Png(4, 4, Gradient(4, 4), 3);
    testimg::SetPngSize(&big, 16384, 16384);
    IDirect3DTexture8* sentinel = reinterpret_cast<IDirect3DTexture8*>(0x1234);
    texture = sentinel;
    EXPECT_EQ(Load(WriteFile("huge.png", big), &texture), E_OUTOFMEMORY);
    EXPECT_EQ(texture, sentinel);
}

TEST_F(TextureTest, TheProgramsTexturesLoadWithDefaults) {
    const char* source = std::getenv("SIMMERGLASS_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "SIMMERGLASS_SOURCE_DIR not set";
    for (const char* name : {"media/tex/Environment.png", "media/tex/WaterPoint.png", "media/tex/Puodas.jpg"}) {
        std::string path = std::string(source) + "/" + name;
        if (!std::filesystem::exists(path)) GTEST_SKIP() << name << " not present";
        IDirect3DTexture8* texture = nullptr;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(S_OK, Load(path, &texture, &info)) << name;
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, info.Width) << name;
        EXPECT_GT(texture->GetLevelCount(), 1u) << name;
        texture->Release();
    }
}

TEST_F(TextureTest, DdsLevelsComeFromTheFile) {
    // Three levels in the file, each one colour: the texture's levels hold those colours.
    std::vector<uint8_t> dds = testimg::DdsArgb(4, 4, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF});
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, D3DXCreateTextureFromFileInMemoryEx(device, dds.data(), static_cast<UINT>(dds.size()), 0, 0, 0, 0,
                                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                        &info, nullptr, &texture));
    EXPECT_EQ(info.MipLevels, 3u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    ASSERT_EQ(texture->GetLevelCount(), 3u);
    EXPECT_EQ(Texels(texture, 0)[5], 0xFFFF0000u);
    EXPECT_EQ(Texels(texture, 1)[3], 0xFF00FF00u);
    EXPECT_EQ(Texels(texture, 2)[0], 0xFF0000FFu);
    texture->Release();
    // A block-compressed file becomes some texture the device can hold, with its colours.
    const uint8_t dxt1[] = {'D', 'D', 'S', ' ', 124, 0, 0, 0, 7, 0x10, 0x08, 0, 4, 0, 0, 0, 4, 0, 0, 0, 8, 0, 0, 0};
    std::vector<uint8_t> file(dxt1, dxt1 + sizeof(dxt1));
    file.resize(4 + 72, 0);
    const uint8_t pixelFormat[] = {32, 0, 0, 0, 4, 0, 0, 0, 'D', 'X', 'T', '1'};
    file.insert(file.end(), pixelFormat, pixelFormat + sizeof(pixelFormat));
    file.resize(128, 0);
    const uint8_t block[] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};  // solid red
    file.insert(file.end(), block, block + sizeof(block));
    ASSERT_EQ(S_OK, D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), 0, 0, 1, 0,
                                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                        &info, nullptr, &texture));
    EXPECT_EQ(info.Format, D3DFMT_DXT1);
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 4u);
    // Whatever the device chose (DXT1 itself or the closest packed format), red reads back red.
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(S_OK, texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    float rgba[16][4];
    if (desc.Format == D3DFMT_DXT1) {
        texfmt::DecodeDxtBlock(D3DFMT_DXT1, static_cast<const uint8_t*>(locked.pBits), rgba);
    } else {
        ASSERT_NE(texfmt::Find(desc.Format), nullptr) << desc.Format;
        texfmt::Decode(*texfmt::Find(desc.Format), static_cast<const uint8_t*>(locked.pBits), rgba[0]);
    }
    texture->UnlockRect(0);
    EXPECT_FLOAT_EQ(rgba[0][0], 1.0f);
    EXPECT_FLOAT_EQ(rgba[0][1], 0.0f);
    EXPECT_FLOAT_EQ(rgba[0][2], 0.0f);
    texture->Release();
}
