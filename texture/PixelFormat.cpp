// The pixel-format table and the converters derived from it. Packed formats are described by
// their channels' bit positions, so one encoder and one decoder serve all of them; DXT blocks
// have their own small codec.
//
// [SECTION] Table
// [SECTION] Scoring
// [SECTION] Packed pixels
// [SECTION] DXT blocks
#include "texture/PixelFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace texfmt {

namespace {

// [SECTION] Table

constexpr Channel C(char component, uint8_t shift, uint8_t bits, bool isSigned = false) {
    return Channel{component, shift, bits, isSigned};
}
constexpr Channel N{0, 0, 0, false};

// Order matters: substitutes are walked in this order and ties go to the earlier entry.
const FormatInfo kFormats[] = {
    {D3DFMT_R8G8B8, kColour, 24, {0, 0, 8, 8, 8}, false, 3, {C('r', 16, 8), C('g', 8, 8), C('b', 0, 8), N}},
    {D3DFMT_A8R8G8B8, kColour, 32, {0, 8, 8, 8, 8}, true, 4, {C('a', 24, 8), C('r', 16, 8), C('g', 8, 8), C('b', 0, 8)}},
    {D3DFMT_X8R8G8B8, kColour, 32, {0, 0, 8, 8, 8}, true, 4, {C('x', 24, 8), C('r', 16, 8), C('g', 8, 8), C('b', 0, 8)}},
    {D3DFMT_R5G6B5, kColour, 16, {0, 0, 5, 6, 5}, true, 2, {C('r', 11, 5), C('g', 5, 6), C('b', 0, 5), N}},
    {D3DFMT_X1R5G5B5, kColour, 16, {0, 0, 5, 5, 5}, true, 2, {C('x', 15, 1), C('r', 10, 5), C('g', 5, 5), C('b', 0, 5)}},
    {D3DFMT_A8P8, kPalettized, 16, {0, 8, 8, 8, 8}, true, 2, {C('a', 8, 8), N, N, N}},
    {D3DFMT_P8, kPalettized, 8, {0, 8, 8, 8, 8}, true, 1, {N, N, N, N}},
    {D3DFMT_A1R5G5B5, kColour, 16, {0, 1, 5, 5, 5}, true, 2, {C('a', 15, 1), C('r', 10, 5), C('g', 5, 5), C('b', 0, 5)}},
    {D3DFMT_A4R4G4B4, kColour, 16, {0, 4, 4, 4, 4}, true, 2, {C('a', 12, 4), C('r', 8, 4), C('g', 4, 4), C('b', 0, 4)}},
    {D3DFMT_R3G3B2, kColour, 8, {0, 0, 3, 3, 2}, true, 1, {C('r', 5, 3), C('g', 2, 3), C('b', 0, 2), N}},
    {D3DFMT_A8, kColour, 8, {0, 8, 0, 0, 0}, true, 1, {C('a', 0, 8), N, N, N}},
    {D3DFMT_A8R3G3B2, kColour, 16, {0, 8, 3, 3, 2}, true, 2, {C('a', 8, 8), C('r', 5, 3), C('g', 2, 3), C('b', 0, 2)}},
    {D3DFMT_X4R4G4B4, kColour, 16, {0, 0, 4, 4, 4}, true, 2, {C('x', 12, 4), C('r', 8, 4), C('g', 4, 4), C('b', 0, 4)}},
    {D3DFMT_A2B10G10R10, kColour, 32, {0, 2, 10, 10, 10}, true, 4, {C('a', 30, 2), C('b', 20, 10), C('g', 10, 10), C('r', 0, 10)}},
    {D3DFMT_G16R16, kColour, 32, {0, 0, 16, 16, 0}, true, 4, {C('g', 16, 16), C('r', 0, 16), N, N}},
    {D3DFMT_L8, kLuminance, 8, {0, 0, 8, 8, 8}, true, 1, {C('l', 0, 8), N, N, N}},
    {D3DFMT_A8L8, kLuminance, 16, {0, 8, 8, 8, 8}, true, 2, {C('a', 8, 8), C('l', 0, 8), N, N}},
    {D3DFMT_A4L4, kLuminance, 8, {0, 4, 4, 4, 4}, true, 1, {C('a', 4, 4), C('l', 0, 4), N, N}},
    {D3DFMT_V8U8, kBumpMap, 16, {0, 0, 0, 8, 8}, true, 2, {C('g', 8, 8, true), C('r', 0, 8, true), N, N}},
    {D3DFMT_L6V5U5, kBumpMap, 16, {6, 0, 0, 5, 5}, true, 2, {C('b', 10, 6), C('g', 5, 5, true), C('r', 0, 5, true), N}},
    {D3DFMT_X8L8V8U8, kBumpMap, 32, {8, 0, 0, 8, 8}, true, 4, {C('x', 24, 8), C('b', 16, 8), C('g', 8, 8, true), C('r', 0, 8, true)}},
    {D3DFMT_Q8W8V8U8, kBumpMap, 32, {0, 8, 8, 8, 8}, true, 4, {C('a', 24, 8, true), C('b', 16, 8, true), C('g', 8, 8, true), C('r', 0, 8, true)}},
    {D3DFMT_V16U16, kBumpMap, 32, {0, 0, 0, 16, 16}, true, 4, {C('g', 16, 16, true), C('r', 0, 16, true), N, N}},
    {D3DFMT_W11V11U10, kBumpMap, 32, {0, 0, 11, 11, 10}, true, 4, {C('b', 21, 11, true), C('g', 10, 11, true), C('r', 0, 10, true), N}},
    {D3DFMT_A2W10V10U10, kBumpMap, 32, {2, 0, 10, 10, 10}, true, 4, {C('a', 30, 2), C('b', 20, 10, true), C('g', 10, 10, true), C('r', 0, 10, true)}},
    {D3DFMT_UYVY, kColour, 16, {0, 0, 8, 8, 8}, false, 0, {N, N, N, N}},
    {D3DFMT_YUY2, kColour, 16, {0, 0, 8, 8, 8}, false, 0, {N, N, N, N}},
    {D3DFMT_DXT1, kColour, 16, {0, 1, 5, 6, 5}, false, 0, {N, N, N, N}},
    {D3DFMT_DXT2, kColour, 16, {0, 4, 5, 6, 5}, false, 0, {N, N, N, N}},
    {D3DFMT_DXT3, kColour, 16, {0, 4, 5, 6, 5}, false, 0, {N, N, N, N}},
    {D3DFMT_DXT4, kColour, 16, {0, 8, 5, 6, 5}, false, 0, {N, N, N, N}},
    {D3DFMT_DXT5, kColour, 16, {0, 8, 5, 6, 5}, false, 0, {N, N, N, N}},
    // Depth formats: widths are (depth, stencil); they only ever stand in for each other.
    {D3DFMT_D16_LOCKABLE, kDepth, 16, {16, 0, 0, 0, 0}, true, 0, {N, N, N, N}},
    {D3DFMT_D32, kDepth, 32, {32, 0, 0, 0, 0}, true, 0, {N, N, N, N}},
    {D3DFMT_D15S1, kDepth, 16, {15, 1, 0, 0, 0}, true, 0, {N, N, N, N}},
    {D3DFMT_D24S8, kDepth, 32, {24, 8, 0, 0, 0}, true, 0, {N, N, N, N}},
    {D3DFMT_D16, kDepth, 16, {16, 0, 0, 0, 0}, true, 0, {N, N, N, N}},
    {D3DFMT_D24X8, kDepth, 32, {24, 0, 0, 0, 0}, true, 0, {N, N, N, N}},
    {D3DFMT_D24X4S4, kDepth, 32, {24, 4, 0, 0, 0}, true, 0, {N, N, N, N}},
};

}  // namespace

const FormatInfo* Table(size_t* count) {
    *count = sizeof(kFormats) / sizeof(kFormats[0]);
    return kFormats;
}

const FormatInfo* Find(D3DFORMAT format) {
    for (const FormatInfo& f : kFormats)
        if (f.format == format) return &f;
    return nullptr;
}

bool HasAlpha(const FormatInfo& info) { return info.type != kDepth && info.widths[1] > 0; }

bool IsDxt(D3DFORMAT f) {
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 ||
           f == D3DFMT_DXT5;
}

bool IsPalettized(D3DFORMAT f) { return f == D3DFMT_P8 || f == D3DFMT_A8P8; }

size_t RowBytes(D3DFORMAT format, uint32_t width) {
    if (IsDxt(format)) return static_cast<size_t>((width + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
    const FormatInfo* info = Find(format);
    if (!info || info->bytesPerPixel == 0) return 0;
    return static_cast<size_t>(width) * info->bytesPerPixel;
}

uint32_t StorageRows(D3DFORMAT format, uint32_t height) {
    return IsDxt(format) ? (height + 3) / 4 : height;
}

// [SECTION] Scoring

namespace {

bool TypeMayBecome(FormatType wanted, FormatType candidate) {
    switch (wanted) {
        case kColour:
            return candidate == kColour;
        case kPalettized:
            return candidate == kColour || candidate == kPalettized;
        case kLuminance:
            return candidate == kColour || candidate == kLuminance;
        case kBumpMap:
            return candidate == kBumpMap;
        case kDepth:
            return candidate == kDepth;
    }
    return false;
}

}  // namespace

bool ScoreSubstitute(const uint8_t wantedWidths[5], FormatType wantedType,
                     const FormatInfo& candidate, uint32_t* score) {
    if (!candidate.substitute || !TypeMayBecome(wantedType, candidate.type)) return false;
    uint32_t total = 0;
    int wantedChannels = 0, lost = 0;
    for (int i = 0; i < 5; ++i) {
        uint32_t a = wantedWidths[i], b = candidate.widths[i];
        if (a > 0) ++wantedChannels;
        if (a < b) {
            total += a == 0 ? 256 : b - a;
        } else if (a > b) {
            if (b == 0) {
                total += 16777216;
                ++lost;
            } else {
                total += (a - b) * 65536;
            }
        }
    }
    if (lost == wantedChannels) return false;
    *score = total;
    return true;
}

bool ScoreSubstitute(const FormatInfo& wanted, const FormatInfo& candidate, uint32_t* score) {
    return ScoreSubstitute(wanted.widths, wanted.type, candidate, score);
}

// [SECTION] Packed pixels

namespace {

uint32_t ReadPacked(const uint8_t* src, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(src[i]) << (8 * i);
    return v;
}

void WritePacked(uint8_t* dst, int bytes, uint32_t v) {
    for (int i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>(v >> (8 * i));
}

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : (v == v ? v : 0.0f)); }

}  // namespace

void Decode(const FormatInfo& info, const uint8_t* src, float rgba[4]) {
    rgba[0] = rgba[1] = rgba[2] = 0.0f;
    rgba[3] = 1.0f;
    uint32_t packed = ReadPacked(src, info.bytesPerPixel);
    for (const Channel& c : info.channels) {
        if (!c.component || c.component == 'x') continue;
        uint32_t mask = c.bits >= 32 ? 0xFFFFFFFFu : ((1u << c.bits) - 1);
        uint32_t raw = (packed >> c.shift) & mask;
        float value;
        if (c.isSigned) {
            int32_t s = static_cast<int32_t>(raw << (32 - c.bits)) >> (32 - c.bits);
            float max = static_cast<float>((1u << (c.bits - 1)) - 1);
            value = std::max(-1.0f, s / max) * 0.5f + 0.5f;
        } else {
            value = static_cast<float>(raw) / static_cast<float>(mask);
        }
        switch (c.component) {
            case 'r': rgba[0] = value; break;
            case 'g': rgba[1] = value; break;
            case 'b': rgba[2] = value; break;
            case 'a': rgba[3] = value; break;
            case 'l': rgba[0] = rgba[1] = rgba[2] = value; break;
        }
    }
}

void Encode(const FormatInfo& info, const float rgba[4], float dither, uint8_t* dst) {
    uint32_t packed = 0;
    for (const Channel& c : info.channels) {
        if (!c.component) continue;
        uint32_t mask = c.bits >= 32 ? 0xFFFFFFFFu : ((1u << c.bits) - 1);
        if (c.component == 'x') {
            packed |= mask << c.shift;
            continue;
        }
        float value;
        switch (c.component) {
            case 'r': value = rgba[0]; break;
            case 'g': value = rgba[1]; break;
            case 'b': value = rgba[2]; break;
            case 'a': value = rgba[3]; break;
            default:  value = 0.299f * rgba[0] + 0.587f * rgba[1] + 0.114f * rgba[2]; break;
        }
        value = Clamp01(value);
        uint32_t raw;
        if (c.isSigned) {
            float max = static_cast<float>((1u << (c.bits - 1)) - 1);
            float s = std::round((value * 2.0f - 1.0f) * max + (c.bits < 8 ? dither : 0.0f));
            s = std::max(-max, std::min(max, s));
            raw = static_cast<uint32_t>(static_cast<int32_t>(s)) & mask;
        } else {
            float scaled = value * static_cast<float>(mask) + (c.bits < 8 ? dither : 0.0f);
            scaled = std::round(scaled);
            scaled = std::max(0.0f, std::min(static_cast<float>(mask), scaled));
            raw = static_cast<uint32_t>(scaled);
        }
        packed |= raw << c.shift;
    }
    WritePacked(dst, info.bytesPerPixel, packed);
}

// [SECTION] DXT blocks

namespace {

void Rgb565(uint16_t v, float out[3]) {
    out[0] = ((v >> 11) & 31) / 31.0f;
    out[1] = ((v >> 5) & 63) / 63.0f;
    out[2] = (v & 31) / 31.0f;
}

uint16_t To565(const float c[3]) {
    auto q = [](float v, int max) { return static_cast<uint16_t>(std::lround(Clamp01(v) * max)); };
    return static_cast<uint16_t>((q(c[0], 31) << 11) | (q(c[1], 63) << 5) | q(c[2], 31));
}

// The four colours a DXT colour block can select from its two 5:6:5 endpoints.
void ColourEntries(uint16_t c0, uint16_t c1, bool allowTransparent, float palette[4][4]) {
    Rgb565(c0, palette[0]);
    Rgb565(c1, palette[1]);
    palette[0][3] = palette[1][3] = palette[2][3] = palette[3][3] = 1.0f;
    if (c0 > c1 || !allowTransparent) {
        for (int i = 0; i < 3; ++i) {
            palette[2][i] = (2 * palette[0][i] + palette[1][i]) / 3;
            palette[3][i] = (palette[0][i] + 2 * palette[1][i]) / 3;
        }
    } else {
        for (int i = 0; i < 3; ++i) {
            palette[2][i] = (palette[0][i] + palette[1][i]) / 2;
            palette[3][i] = 0.0f;
        }
        palette[3][3] = 0.0f;
    }
}

// The colour part shared by all DXT formats: two endpoints and 2-bit indices.
void DecodeColourBlock(const uint8_t* block, bool allowTransparent, float rgba[16][4]) {
    uint16_t c0 = static_cast<uint16_t>(block[0] | (block[1] << 8));
    uint16_t c1 = static_cast<uint16_t>(block[2] | (block[3] << 8));
    float palette[4][4];
    ColourEntries(c0, c1, allowTransparent, palette);
    uint32_t bits = ReadPacked(block + 4, 4);
    for (int p = 0; p < 16; ++p) std::memcpy(rgba[p], palette[(bits >> (2 * p)) & 3], sizeof(rgba[p]));
}

}  // namespace

void DecodeDxtBlock(D3DFORMAT format, const uint8_t* block, float rgba[16][4]) {
    if (format == D3DFMT_DXT1) {
        DecodeColourBlock(block, true, rgba);
        return;
    }
    DecodeColourBlock(block + 8, false, rgba);
    if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
        for (int p = 0; p < 16; ++p) rgba[p][3] = ((block[p / 2] >> (4 * (p & 1))) & 15) / 15.0f;
    } else {
        float a0 = block[0] / 255.0f, a1 = block[1] / 255.0f;
        float alpha[8] = {a0, a1};
        if (block[0] > block[1]) {
            for (int i = 1; i < 7; ++i) alpha[i + 1] = ((7 - i) * a0 + i * a1) / 7;
        } else {
            for (int i = 1; i < 5; ++i) alpha[i + 1] = ((5 - i) * a0 + i * a1) / 5;
            alpha[6] = 0.0f;
            alpha[7] = 1.0f;
        }
        uint64_t bits = 0;
        for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
        for (int p = 0; p < 16; ++p) rgba[p][3] = alpha[(bits >> (3 * p)) & 7];
    }
}

void EncodeDxtBlock(D3DFORMAT format, const float rgba[16][4], uint8_t* block) {
    // Endpoints: the two (opaque) pixels farthest apart; exact for two-colour blocks.
    bool transparent = false;
    int first = -1, second = -1;
    float widest = -1.0f;
    for (int p = 0; p < 16; ++p) {
        if (format == D3DFMT_DXT1 && rgba[p][3] < 0.5f) {
            transparent = true;
            continue;
        }
        for (int q = p; q < 16; ++q) {
            if (format == D3DFMT_DXT1 && rgba[q][3] < 0.5f) continue;
            float d = 0;
            for (int i = 0; i < 3; ++i) d += (rgba[p][i] - rgba[q][i]) * (rgba[p][i] - rgba[q][i]);
            if (d > widest) widest = d, first = p, second = q;
        }
    }
    float hi[3] = {0, 0, 0}, lo[3] = {0, 0, 0};
    if (first >= 0)
        for (int i = 0; i < 3; ++i) hi[i] = rgba[first][i], lo[i] = rgba[second][i];
    uint16_t c0 = To565(hi), c1 = To565(lo);
    if (transparent) {
        if (c0 > c1) std::swap(c0, c1);  // c0 <= c1 selects the three-colour mode with transparency
    } else if (c0 < c1) {
        std::swap(c0, c1);
    } else if (c0 == c1 && c0 > 0) {
        c1 = static_cast<uint16_t>(c0 - 1);  // keep the four-colour mode
    } else if (c0 == c1) {
        c0 = 1;  // both black: c0 > c1 with index 1 everywhere
    }
    uint8_t* colour = format == D3DFMT_DXT1 ? block : block + 8;
    colour[0] = static_cast<uint8_t>(c0), colour[1] = static_cast<uint8_t>(c0 >> 8);
    colour[2] = static_cast<uint8_t>(c1), colour[3] = static_cast<uint8_t>(c1 >> 8);
    float entries[4][4];
    ColourEntries(c0, c1, format == D3DFMT_DXT1, entries);
    uint32_t bits = 0;
    for (int p = 0; p < 16; ++p) {
        int best = 0;
        float bestDistance = 1e30f;
        for (int e = 0; e < 4; ++e) {
            if (transparent && e == 3) continue;
            float d = 0;
            for (int i = 0; i < 3; ++i) d += (entries[e][i] - rgba[p][i]) * (entries[e][i] - rgba[p][i]);
            if (d < bestDistance) bestDistance = d, best = e;
        }
        if (format == D3DFMT_DXT1 && transparent && rgba[p][3] < 0.5f) best = 3;
        bits |= static_cast<uint32_t>(best) << (2 * p);
    }
    WritePacked(colour + 4, 4, bits);
    if (format == D3DFMT_DXT1) return;
    if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
        std::memset(block, 0, 8);
        for (int p = 0; p < 16; ++p) {
            uint8_t a = static_cast<uint8_t>(std::lround(Clamp01(rgba[p][3]) * 15));
            block[p / 2] |= static_cast<uint8_t>(a << (4 * (p & 1)));
        }
        return;
    }
    float amin = 1, amax = 0;
    for (int p = 0; p < 16; ++p) {
        amin = std::min(amin, Clamp01(rgba[p][3]));
        amax = std::max(amax, Clamp01(rgba[p][3]));
    }
    uint8_t a0 = static_cast<uint8_t>(std::lround(amax * 255)), a1 = static_cast<uint8_t>(std::lround(amin * 255));
    if (a0 == a1) {  // keep the eight-value mode (a0 > a1)
        if (a0 == 255) a1 = 254;
        else a0 = static_cast<uint8_t>(a1 + 1);
    }
    block[0] = a0;
    block[1] = a1;
    float alpha[8] = {a0 / 255.0f, a1 / 255.0f};
    for (int i = 1; i < 7; ++i) alpha[i + 1] = ((7 - i) * alpha[0] + i * alpha[1]) / 7;
    uint64_t abits = 0;
    for (int p = 0; p < 16; ++p) {
        int best = 0;
        for (int e = 1; e < 8; ++e)
            if (std::fabs(alpha[e] - rgba[p][3]) < std::fabs(alpha[best] - rgba[p][3])) best = e;
        abits |= static_cast<uint64_t>(best) << (3 * p);
    }
    for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<uint8_t>(abits >> (8 * i));
}

}  // namespace texfmt
