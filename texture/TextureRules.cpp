// Format choice, size rules and the separable resampling filters behind texture creation.
//
// [SECTION] Format choice
// [SECTION] Size and levels
// [SECTION] Filters
#include "texture/TextureRules.h"

#include "texture/PixelFormat.h"

#include <algorithm>
#include <cmath>

namespace texrules {

// [SECTION] Format choice

HRESULT ChooseFormat(D3DFORMAT wanted, const std::function<bool(D3DFORMAT)>& offered,
                     D3DFORMAT* chosen) {
    const texfmt::FormatInfo* want = texfmt::Find(wanted);
    if (!want) {
        if (wanted != D3DFMT_UNKNOWN && offered(wanted)) {
            *chosen = wanted;
            return S_OK;
        }
        return D3DERR_NOTAVAILABLE;
    }
    size_t count;
    const texfmt::FormatInfo* table = texfmt::Table(&count);
    const texfmt::FormatInfo* best = nullptr;
    uint32_t bestScore = 0;
    for (size_t i = 0; i < count; ++i) {
        const texfmt::FormatInfo& candidate = table[i];
        if (!offered(candidate.format)) continue;
        if (candidate.format == wanted) {
            *chosen = wanted;
            return S_OK;
        }
        uint32_t score;
        if (!texfmt::ScoreSubstitute(*want, candidate, &score)) continue;
        if (!best || score < bestScore ||
            (score == bestScore && candidate.bitsPerPixel < best->bitsPerPixel)) {
            best = &candidate;
            bestScore = score;
        }
    }
    if (!best) return D3DERR_NOTAVAILABLE;
    *chosen = best->format;
    return S_OK;
}

D3DFORMAT AddOneBitAlpha(D3DFORMAT format) {
    const texfmt::FormatInfo* info = texfmt::Find(format);
    if (!info || info->type > texfmt::kLuminance || texfmt::HasAlpha(*info)) return format;
    uint8_t widths[5];
    std::copy(info->widths, info->widths + 5, widths);
    widths[1] = 1;
    size_t count;
    const texfmt::FormatInfo* table = texfmt::Table(&count);
    const texfmt::FormatInfo* best = nullptr;
    uint32_t bestScore = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t score;
        if (!texfmt::ScoreSubstitute(widths, info->type, table[i], &score)) continue;
        if (!best || score < bestScore ||
            (score == bestScore && table[i].bitsPerPixel < best->bitsPerPixel)) {
            best = &table[i];
            bestScore = score;
        }
    }
    return best ? best->format : format;
}

// [SECTION] Size and levels

namespace {

UINT NextPowerOfTwo(UINT v) {
    UINT p = 1;
    while (p < v && p < 0x80000000u) p <<= 1;
    return p;
}

bool IsPowerOfTwo(UINT v) { return v && !(v & (v - 1)); }

UINT BitsNeeded(UINT v) {
    UINT bits = 0;
    while (v) ++bits, v >>= 1;
    return bits;
}

}  // namespace

void ComputeSize(const D3DCAPS8& caps, D3DFORMAT format, D3DPOOL pool, UINT* width,
                 UINT* height, UINT* levels) {
    UINT w = *width, h = *height;
    if (w == 0 && h == 0) w = h = 256;
    else if (w == 0) w = h;
    else if (h == 0) h = w;
    if (caps.MaxTextureWidth && w > caps.MaxTextureWidth) w = caps.MaxTextureWidth;
    if (caps.MaxTextureHeight && h > caps.MaxTextureHeight) h = caps.MaxTextureHeight;
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        w = h = std::min(w, h);
    } else if (caps.MaxTextureAspectRatio) {
        uint64_t ratio = caps.MaxTextureAspectRatio;
        if (w > h * ratio) w = static_cast<UINT>(h * ratio);
        if (h > w * ratio) h = static_cast<UINT>(w * ratio);
    }
    if (caps.TextureCaps & D3DPTEXTURECAPS_POW2) {
        w = NextPowerOfTwo(w);
        h = NextPowerOfTwo(h);
    }
    if (texfmt::IsDxt(format)) {
        w = (w + 3) & ~3u;
        h = (h + 3) & ~3u;
    }
    w = std::max(w, 1u);
    h = std::max(h, 1u);
    bool mips = pool == D3DPOOL_SCRATCH ||
                ((caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP) &&
                 (!(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) ||
                  (IsPowerOfTwo(w) && IsPowerOfTwo(h))));
    UINT count = 1;
    if (mips) {
        count = BitsNeeded(std::max(w, h));
        if (*levels != 0 && *levels < count) count = *levels;
    }
    *width = w;
    *height = h;
    *levels = count;
}

// [SECTION] Filters

namespace {

struct Tap {
    uint32_t index;
    float weight;
};

// Source index for a possibly out-of-range coordinate: wrapped, or mirrored with the flag.
uint32_t Address(int64_t i, uint32_t size, bool mirror) {
    int64_t n = size;
    if (mirror) {
        int64_t m = ((i % (2 * n)) + 2 * n) % (2 * n);
        return static_cast<uint32_t>(m < n ? m : 2 * n - 1 - m);
    }
    return static_cast<uint32_t>(((i % n) + n) % n);
}

// Taps of every destination position along one axis; taps[d] sums to 1.
std::vector<std::vector<Tap>> AxisTaps(uint32_t src, uint32_t dst, DWORD kind, bool mirror) {
    std::vector<std::vector<Tap>> taps(dst);
    double scale = static_cast<double>(src) / dst;
    for (uint32_t d = 0; d < dst; ++d) {
        std::vector<Tap>& t = taps[d];
        double centre = (d + 0.5) * scale;
        switch (kind) {
            case D3DX_FILTER_LINEAR: {
                double c = centre - 0.5;
                double i0 = std::floor(c);
                float f = static_cast<float>(c - i0);
                t.push_back({Address(static_cast<int64_t>(i0), src, mirror), 1.0f - f});
                t.push_back({Address(static_cast<int64_t>(i0) + 1, src, mirror), f});
                break;
            }
            case D3DX_FILTER_TRIANGLE: {
                double radius = std::max(1.0, scale);
                double c = centre - 0.5;
                int64_t first = static_cast<int64_t>(std::ceil(c - radius));
                int64_t last = static_cast<int64_t>(std::floor(c + radius));
                for (int64_t i = first; i <= last; ++i) {
                    double w = 1.0 - std::fabs(i - c) / radius;
                    if (w > 0) t.push_back({Address(i, src, mirror), static_cast<float>(w)});
                }
                break;
            }
            case D3DX_FILTER_BOX: {
                double a = d * scale, b = (d + 1) * scale;
                for (int64_t i = static_cast<int64_t>(std::floor(a)); i < b; ++i) {
                    double overlap = std::min<double>(b, i + 1) - std::max<double>(a, i);
                    if (overlap > 1e-9) t.push_back({Address(i, src, mirror), static_cast<float>(overlap)});
                }
                break;
            }
            default: {  // point
                int64_t i = static_cast<int64_t>(std::floor(centre));
                t.push_back({static_cast<uint32_t>(std::min<int64_t>(i, src - 1)), 1.0f});
                break;
            }
        }
        float sum = 0;
        for (const Tap& tap : t) sum += tap.weight;
        if (sum > 0)
            for (Tap& tap : t) tap.weight /= sum;
    }
    return taps;
}

}  // namespace

void Resample(const ImageLevel& src, uint32_t width, uint32_t height, DWORD filter, ImageLevel* dst) {
    ImageLevel out;
    out.width = width;
    out.height = height;
    out.rgba.assign(static_cast<size_t>(width) * height * 4, 0.0f);
    DWORD kind = filter & 0xFF;
    if (kind == D3DX_FILTER_NONE || (src.width == width && src.height == height && kind != D3DX_FILTER_LINEAR)) {
        // No scaling: copy the overlap; beyond the source is transparent black.
        uint32_t w = std::min(width, src.width), h = std::min(height, src.height);
        for (uint32_t y = 0; y < h; ++y)
            std::copy_n(&src.rgba[static_cast<size_t>(y) * src.width * 4], w * 4,
                        &out.rgba[static_cast<size_t>(y) * width * 4]);
        *dst = std::move(out);
        return;
    }
    auto tx = AxisTaps(src.width, width, kind, (filter & D3DX_FILTER_MIRROR_U) != 0);
    auto ty = AxisTaps(src.height, height, kind, (filter & D3DX_FILTER_MIRROR_V) != 0);
    // Horizontal pass into width x src.height, then vertical.
    std::vector<float> rows(static_cast<size_t>(width) * src.height * 4, 0.0f);
    for (uint32_t y = 0; y < src.height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            float* o = &rows[(static_cast<size_t>(y) * width + x) * 4];
            for (const Tap& t : tx[x]) {
                const float* s = &src.rgba[(static_cast<size_t>(y) * src.width + t.index) * 4];
                for (int c = 0; c < 4; ++c) o[c] += s[c] * t.weight;
            }
        }
    for (uint32_t y = 0; y < height; ++y)
        for (const Tap& t : ty[y]) {
            const float* s = &rows[static_cast<size_t>(t.index) * width * 4];
            float* o = &out.rgba[static_cast<size_t>(y) * width * 4];
            for (size_t i = 0; i < static_cast<size_t>(width) * 4; ++i) o[i] += s[i] * t.weight;
        }
    *dst = std::move(out);
}

void ResampleIndices(const ImageLevel& src, uint32_t width, uint32_t height, ImageLevel* dst) {
    ImageLevel out;
    out.width = width;
    out.height = height;
    out.indices.assign(static_cast<size_t>(width) * height, 0);
    for (uint32_t y = 0; y < height; ++y) {
        uint32_t sy = std::min<uint32_t>(static_cast<uint32_t>((y + 0.5) * src.height / height), src.height - 1);
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t sx = std::min<uint32_t>(static_cast<uint32_t>((x + 0.5) * src.width / width), src.width - 1);
            out.indices[static_cast<size_t>(y) * width + x] = src.indices[static_cast<size_t>(sy) * src.width + sx];
        }
    }
    *dst = std::move(out);
}

void ApplyColourKey(ImageLevel& level, D3DCOLOR key) {
    auto byte = [](float v) {
        v = v < 0 ? 0 : (v > 1 ? 1 : v);
        return static_cast<DWORD>(std::lround(v * 255.0f));
    };
    for (size_t i = 0; i + 3 < level.rgba.size(); i += 4) {
        float* p = &level.rgba[i];
        D3DCOLOR c = (byte(p[3]) << 24) | (byte(p[0]) << 16) | (byte(p[1]) << 8) | byte(p[2]);
        if (c == key) p[0] = p[1] = p[2] = p[3] = 0.0f;
    }
}

}  // namespace texrules
