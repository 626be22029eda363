// Fuzz target: every image reader (in the loader's order), then what texture filling does with
// the result on the CPU: palette expansion, colour key, resampling and packing to a format.
#include "texture/Image.h"
#include "texture/PixelFormat.h"
#include "texture/TextureRules.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageLimits limits;
    limits.maxPixels = 1 << 18;  // keeps each run fast; the checks are the same at any limit
    Image image;
    if (!ReadImage(data, size, &image, limits)) return 0;
    // The last byte picks how the image is filled into a small level.
    uint8_t pick = size ? data[size - 1] : 0;
    static const D3DFORMAT kTargets[] = {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A4R4G4B4, D3DFMT_L8,
                                         D3DFMT_V8U8, D3DFMT_A2B10G10R10, D3DFMT_A8P8, D3DFMT_DXT5};
    const DWORD filter = (1 + pick % 5) | ((pick & 0x20) ? D3DX_FILTER_MIRROR : 0);
    for (ImageLevel& level : image.levels) {
        if (!level.indices.empty()) ExpandPalette(level, image.palette);
        texrules::ApplyColourKey(level, 0xFF000000);
        ImageLevel small;
        texrules::Resample(level, 1 + pick % 7, 1 + (pick >> 3) % 5, filter, &small);
        D3DFORMAT target = kTargets[pick % 8];
        const texfmt::FormatInfo* info = texfmt::Find(target);
        if (texfmt::IsDxt(target)) {
            float block[16][4] = {};
            for (size_t i = 0; i < 16 && i * 4 < small.rgba.size(); ++i)
                for (int c = 0; c < 4; ++c) block[i][c] = small.rgba[i * 4 + c];
            uint8_t bytes[16];
            texfmt::EncodeDxtBlock(target, block, bytes);
            texfmt::DecodeDxtBlock(target, bytes, block);
        } else if (info && info->bytesPerPixel && !texfmt::IsPalettized(target)) {
            std::vector<uint8_t> out(info->bytesPerPixel);
            for (size_t i = 0; i + 3 < small.rgba.size(); i += 4) {
                texfmt::Encode(*info, &small.rgba[i], 0.25f, out.data());
                float back[4];
                texfmt::Decode(*info, out.data(), back);
            }
        }
    }
    return 0;
}
