// D3DXCreateTextureFromFileExA: read the image, settle format, size and levels against the
// device, create the texture (through a system-memory copy for the default pool) and fill every
// level. Nothing survives a failure: the textures, the image and the mapping are released.
//
// [SECTION] Arguments and defaults
// [SECTION] Device format
// [SECTION] Filling levels
// [SECTION] Entry points
#include "texture/D3DXTexture.h"

#include "platform/win/WinFile.h"
#include "texture/Image.h"
#include "texture/PixelFormat.h"
#include "texture/TextureRules.h"

#include <cmath>
#include <cstring>

namespace {

// [SECTION] Arguments and defaults

constexpr DWORD kFilterFlags = D3DX_FILTER_MIRROR | D3DX_FILTER_DITHER;
constexpr DWORD kAllowedUsage = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_WRITEONLY |
                                D3DUSAGE_DYNAMIC;  // 0x20B

bool ValidFilter(DWORD filter) {
    DWORD kind = filter & 0xFF;
    return kind >= D3DX_FILTER_NONE && kind <= D3DX_FILTER_BOX && (filter & ~(0xFFu | kFilterFlags)) == 0;
}

template <typename T>
void ReleaseAndClear(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// [SECTION] Device format

HRESULT ChooseDeviceFormat(IDirect3DDevice8* device, DWORD usage, D3DFORMAT wanted, D3DFORMAT* chosen) {
    D3DCAPS8 caps{};
    D3DDISPLAYMODE mode{};
    HRESULT hr = device->GetDeviceCaps(&caps);
    if (FAILED(hr)) return hr;
    hr = device->GetDisplayMode(&mode);
    if (FAILED(hr)) return hr;
    IDirect3D8* d3d = nullptr;
    hr = device->GetDirect3D(&d3d);
    if (FAILED(hr) || !d3d) return FAILED(hr) ? hr : D3DERR_INVALIDCALL;
    DebugSetMute(1);
    hr = texrules::ChooseFormat(
        wanted,
        [&](D3DFORMAT candidate) {
            return SUCCEEDED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, mode.Format, usage,
                                                    D3DRTYPE_TEXTURE, candidate));
        },
        chosen);
    DebugSetMute(0);
    d3d->Release();
    return hr;
}

// [SECTION] Filling levels

// 4 x 4 ordered dither, in [-0.5, 0.5) of a least significant bit.
float DitherAt(uint32_t x, uint32_t y) {
    static const uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (kBayer[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f;
}

// Writes a level already at the surface's size into the surface, converting its format.
HRESULT WriteSurface(IDirect3DSurface8* surface, const ImageLevel& level, bool dither,
                     const PALETTEENTRY* palette) {
    D3DSURFACE_DESC desc{};
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    if (desc.Width != level.width || desc.Height != level.height) return D3DERR_INVALIDCALL;
    D3DFORMAT format = desc.Format;
    const texfmt::FormatInfo* info = texfmt::Find(format);
    bool dxt = texfmt::IsDxt(format);
    if (!dxt && (!info || info->bytesPerPixel == 0)) return D3DERR_NOTAVAILABLE;
    bool palettized = texfmt::IsPalettized(format);
    if (palettized && level.indices.empty()) return D3DERR_NOTAVAILABLE;
    D3DLOCKED_RECT locked{};
    hr = surface->LockRect(&locked, nullptr, 0);
    if (FAILED(hr)) return hr;
    uint8_t* base = static_cast<uint8_t*>(locked.pBits);
    uint32_t w = level.width, h = level.height;
    if (dxt) {
        size_t blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
        for (uint32_t by = 0; by < (h + 3) / 4; ++by)
            for (uint32_t bx = 0; bx < (w + 3) / 4; ++bx) {
                float block[16][4];
                for (uint32_t k = 0; k < 16; ++k) {
                    uint32_t x = std::min(bx * 4 + k % 4, w - 1), y = std::min(by * 4 + k / 4, h - 1);
                    std::memcpy(block[k], &level.rgba[(static_cast<size_t>(y) * w + x) * 4], sizeof(block[k]));
                }
                texfmt::EncodeDxtBlock(format, block, base + by * locked.Pitch + bx * blockBytes);
            }
    } else {
        for (uint32_t y = 0; y < h; ++y) {
            uint8_t* row = base + static_cast<size_t>(y) * locked.Pitch;
            for (uint32_t x = 0; x < w; ++x) {
                size_t i = static_cast<size_t>(y) * w + x;
                uint8_t* dst = row + static_cast<size_t>(x) * info->bytesPerPixel;
                if (palettized) {
                    uint8_t index = level.indices[i];
                    dst[0] = index;
                    if (format == D3DFMT_A8P8) dst[1] = palette ? palette[index].peFlags : 255;
                } else {
                    texfmt::Encode(*info, &level.rgba[i * 4], dither ? DitherAt(x, y) : 0.0f, dst);
                }
            }
        }
    }
    return surface->UnlockRect();
}

// The surface loader: resamples `source` to the level's size with `filter`, then writes it.
// `written` receives the level as written (before quantisation), for generating the next one.
HRESULT LoadLevel(IDirect3DTexture8* texture, UINT index, const ImageLevel& source, DWORD filter,
                  const PALETTEENTRY* palette, ImageLevel* written) {
    IDirect3DSurface8* surface = nullptr;
    HRESULT hr = texture->GetSurfaceLevel(index, &surface);
    if (FAILED(hr)) return hr;
    D3DSURFACE_DESC desc{};
    hr = surface->GetDesc(&desc);
    if (SUCCEEDED(hr)) {
        if (texfmt::IsPalettized(desc.Format) && !source.indices.empty()) {
            texrules::ResampleIndices(source, desc.Width, desc.Height, written);
        } else {
            texrules::Resample(source, desc.Width, desc.Height, filter, written);
        }
        hr = WriteSurface(surface, *written, (filter & D3DX_FILTER_DITHER) != 0, palette);
    }
    surface->Release();
    return hr;
}

struct Request {
    UINT width, height, mipLevels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    DWORD filter, mipFilter;
    D3DCOLOR colourKey;
};

HRESULT CreateFromImage(IDirect3DDevice8* device, Image& image, Request r, PALETTEENTRY* callerPalette,
                        IDirect3DTexture8** result) {
    const ImageLevel& top = image.levels[0];
    // Defaults.
    if (r.width == 0 || r.width == D3DX_DEFAULT) r.width = top.width;
    if (r.height == 0 || r.height == D3DX_DEFAULT) r.height = top.height;
    if (r.filter == D3DX_DEFAULT) r.filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
    if (r.mipFilter == D3DX_DEFAULT) r.mipFilter = D3DX_FILTER_BOX;
    if (r.mipLevels == D3DX_DEFAULT) r.mipLevels = 0;
    if (r.usage == D3DX_DEFAULT) r.usage = 0;
    if (!ValidFilter(r.filter) || !ValidFilter(r.mipFilter)) return D3DERR_INVALIDCALL;

    // Format from the image.
    if (r.format == D3DFMT_UNKNOWN) {
        r.format = image.format;
        if (r.colourKey != 0) r.format = texrules::AddOneBitAlpha(r.format);
        if (r.format == D3DFMT_R8G8B8 && r.pool != D3DPOOL_SCRATCH) r.format = D3DFMT_X8R8G8B8;
    }
    // Palette: the colour key becomes a transparent entry; then the key is done with.
    PALETTEENTRY palette[256];
    if (image.hasPalette) {
        std::memcpy(palette, image.palette, sizeof(palette));
        if (r.colourKey != 0) {
            for (PALETTEENTRY& e : palette) {
                D3DCOLOR c = D3DCOLOR_ARGB(e.peFlags, e.peRed, e.peGreen, e.peBlue);
                if (c == r.colourKey) e = PALETTEENTRY{0, 0, 0, 0};
            }
            r.colourKey = 0;
        }
    } else {
        std::memset(palette, 0xFF, sizeof(palette));
    }
    if (callerPalette) {
        std::memcpy(callerPalette, palette, sizeof(palette));
    } else if (r.format == D3DFMT_A8P8) {
        r.format = D3DFMT_A8R8G8B8;
    } else if (r.format == D3DFMT_P8) {
        bool alpha = false;
        for (const PALETTEENTRY& e : palette) alpha |= e.peFlags != 255;
        r.format = alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }

    // Device requirements.
    if ((r.usage & ~kAllowedUsage) != 0 || r.pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    D3DFORMAT format = r.format;
    if (r.pool == D3DPOOL_SCRATCH) {
        if (format == D3DFMT_UNKNOWN) format = D3DFMT_A8R8G8B8;
    } else {
        HRESULT hr = ChooseDeviceFormat(device, r.usage, r.format, &format);
        if (FAILED(hr)) return hr;
    }
    D3DCAPS8 caps{};
    HRESULT hr = device->GetDeviceCaps(&caps);
    if (FAILED(hr)) return hr;
    UINT width = r.width, height = r.height, levels = r.mipLevels;
    texrules::ComputeSize(caps, format, r.pool, &width, &height, &levels);

    // Creation; the default pool is filled through a system-memory copy.
    IDirect3DTexture8* texture = nullptr;
    IDirect3DTexture8* staging = nullptr;
    hr = device->CreateTexture(width, height, levels, r.usage, format, r.pool, &texture);
    if (FAILED(hr)) return hr;
    if (!texture) return E_FAIL;
    levels = texture->GetLevelCount();
    if (r.pool == D3DPOOL_DEFAULT && !(r.usage & D3DUSAGE_DYNAMIC)) {
        hr = device->CreateTexture(width, height, levels, 0, format, D3DPOOL_SYSTEMMEM, &staging);
        if (FAILED(hr) || !staging) {
            ReleaseAndClear(texture);
            return FAILED(hr) ? hr : E_FAIL;
        }
    }
    IDirect3DTexture8* target = staging ? staging : texture;

    // Source levels in float RGBA (palettized images through the final palette), keyed.
    for (ImageLevel& level : image.levels) {
        if (!level.indices.empty()) ExpandPalette(level, palette);
        if (r.colourKey != 0) texrules::ApplyColourKey(level, r.colourKey);
    }
    UINT fileLevels = static_cast<UINT>(image.levels.size());
    bool generate = (r.filter & 0xFF) == D3DX_FILTER_NONE || (r.mipFilter & 0xFF) == D3DX_FILTER_POINT ||
                    (r.mipFilter & 0xFF) == D3DX_FILTER_BOX;
    ImageLevel above;
    for (UINT l = 0; l < levels && SUCCEEDED(hr); ++l) {
        ImageLevel written;
        if (l < fileLevels) {
            hr = LoadLevel(target, l, image.levels[l], r.filter, palette, &written);
        } else if (!generate) {
            hr = LoadLevel(target, l, image.levels[fileLevels - 1], r.filter, palette, &written);
        } else {
            hr = LoadLevel(target, l, above, r.mipFilter, palette, &written);
        }
        above = std::move(written);
    }
    if (SUCCEEDED(hr) && staging) hr = device->UpdateTexture(staging, texture);
    ReleaseAndClear(staging);
    if (FAILED(hr)) {
        ReleaseAndClear(texture);
        return hr;
    }
    *result = texture;
    return S_OK;
}

}  // namespace

// [SECTION] Entry points

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* srcData, UINT srcDataSize,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                            D3DCOLOR colourKey, D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture8** texture) {
    if (!device || !srcData || !texture) return D3DERR_INVALIDCALL;
    Image image;
    if (!ReadImage(static_cast<const uint8_t*>(srcData), srcDataSize, &image)) {
        // A valid file beyond the readers' pixel budget is refused as an allocation that
        // cannot be made, so that its caller can say it is too large rather than damaged.
        return image.tooLarge ? E_OUTOFMEMORY : D3DXERR_INVALIDDATA;
    }
    if (srcInfo) {
        srcInfo->Width = image.levels[0].width;
        srcInfo->Height = image.levels[0].height;
        srcInfo->Depth = 1;
        srcInfo->MipLevels = static_cast<UINT>(image.levels.size());
        srcInfo->Format = image.format;
        srcInfo->ResourceType = D3DRTYPE_TEXTURE;
        srcInfo->ImageFileFormat = image.fileFormat;
    }
    Request request{width, height, mipLevels, usage, format, pool, filter, mipFilter, colourKey};
    return CreateFromImage(device, image, request, palette, texture);
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* device, LPCSTR srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colourKey, D3DXIMAGE_INFO* srcInfo,
                                     PALETTEENTRY* palette, IDirect3DTexture8** texture) {
    if (!device || !srcFile || !texture) return D3DERR_INVALIDCALL;
    // The file is mapped read-only for the decode and unmapped before returning.
    ReadOnlyFileMapping file(srcFile, FILE_FLAG_RANDOM_ACCESS);
    if (!file.Data()) return D3DXERR_INVALIDDATA;
    return D3DXCreateTextureFromFileInMemoryEx(device, file.Data(), file.Size(), width, height, mipLevels, usage,
                                               format, pool, filter, mipFilter, colourKey, srcInfo, palette, texture);
}
