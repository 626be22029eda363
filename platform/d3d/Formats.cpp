// Pixel-format table and the ARGB row converters used for back-buffer reads and cursor images.
// Memory layouts are the platform's: little-endian words with the first-named channel in the high bits.
#include "platform/d3d/Formats.h"

#include <cstring>

namespace d3dimpl {
namespace {

constexpr DWORD kColour = kUseTexture | kUseScratch;
#define SW(r, g, b, a) {GL_##r, GL_##g, GL_##b, GL_##a}

const FormatInfo kFormats[] = {
    // format, name, bytes, uses, internal, upload format, upload type, swizzle, depth, stencil, alpha
    {D3DFMT_A8R8G8B8, "A8R8G8B8", 4, kColour | kUseBackBuffer, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
     SW(RED, GREEN, BLUE, ALPHA), 0, 0, true},
    {D3DFMT_X8R8G8B8, "X8R8G8B8", 4, kColour | kUseBackBuffer | kUseDisplay, GL_RGBA8, GL_BGRA,
     GL_UNSIGNED_INT_8_8_8_8_REV, SW(RED, GREEN, BLUE, ONE), 0, 0, false},
    {D3DFMT_R8G8B8, "R8G8B8", 3, kColour, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, SW(RED, GREEN, BLUE, ONE), 0, 0,
     false},
    {D3DFMT_R5G6B5, "R5G6B5", 2, kColour | kUseBackBuffer | kUseDisplay, GL_RGB8, GL_RGB,
     GL_UNSIGNED_SHORT_5_6_5, SW(RED, GREEN, BLUE, ONE), 0, 0, false},
    {D3DFMT_X1R5G5B5, "X1R5G5B5", 2, kColour | kUseBackBuffer | kUseDisplay, GL_RGB5_A1, GL_BGRA,
     GL_UNSIGNED_SHORT_1_5_5_5_REV, SW(RED, GREEN, BLUE, ONE), 0, 0, false},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", 2, kColour | kUseBackBuffer, GL_RGB5_A1, GL_BGRA,
     GL_UNSIGNED_SHORT_1_5_5_5_REV, SW(RED, GREEN, BLUE, ALPHA), 0, 0, true},
    {D3DFMT_A4R4G4B4, "A4R4G4B4", 2, kColour, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV,
     SW(RED, GREEN, BLUE, ALPHA), 0, 0, true},
    {D3DFMT_X4R4G4B4, "X4R4G4B4", 2, kColour, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV,
     SW(RED, GREEN, BLUE, ONE), 0, 0, false},
    {D3DFMT_R3G3B2, "R3G3B2", 1, kColour, GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2, SW(RED, GREEN, BLUE, ONE),
     0, 0, false},
    {D3DFMT_A2B10G10R10, "A2B10G10R10", 4, kColour, GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV,
     SW(RED, GREEN, BLUE, ALPHA), 0, 0, true},
    {D3DFMT_G16R16, "G16R16", 4, kColour, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, SW(RED, GREEN, ONE, ONE), 0, 0,
     false},
    {D3DFMT_A8, "A8", 1, kColour, GL_R8, GL_RED, GL_UNSIGNED_BYTE, SW(ZERO, ZERO, ZERO, RED), 0, 0, true},
    {D3DFMT_L8, "L8", 1, kColour, GL_R8, GL_RED, GL_UNSIGNED_BYTE, SW(RED, RED, RED, ONE), 0, 0, false},
    {D3DFMT_A8L8, "A8L8", 2, kColour, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, SW(RED, RED, RED, GREEN), 0, 0, true},
    // Depth formats: renderbuffers only (not lockable, not textures).
    {D3DFMT_D16, "D16", 2, kUseDepth, GL_DEPTH_COMPONENT16, 0, 0, SW(RED, GREEN, BLUE, ALPHA), 16, 0, false},
    {D3DFMT_D24X8, "D24X8", 4, kUseDepth, GL_DEPTH24_STENCIL8, 0, 0, SW(RED, GREEN, BLUE, ALPHA), 24, 0, false},
    {D3DFMT_D24S8, "D24S8", 4, kUseDepth, GL_DEPTH24_STENCIL8, 0, 0, SW(RED, GREEN, BLUE, ALPHA), 24, 8, false},
    {D3DFMT_D32, "D32", 4, kUseDepth, GL_DEPTH_COMPONENT32F, 0, 0, SW(RED, GREEN, BLUE, ALPHA), 32, 0, false},
};
#undef SW

inline DWORD Expand(DWORD v, int bits) {
    // Replicates the high bits so that full scale maps to 255.
    v <<= (8 - bits);
    return v | (v >> bits);
}

}  // namespace

const FormatInfo* FindFormat(D3DFORMAT format) {
    for (const FormatInfo& f : kFormats) {
        if (f.format == format) return &f;
    }
    return nullptr;
}

bool RowToArgb(D3DFORMAT format, const BYTE* src, DWORD* dst, UINT width) {
    for (UINT x = 0; x < width; ++x) {
        DWORD a = 255, r, g, b;
        switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8: {
            DWORD v;
            std::memcpy(&v, src + x * 4, 4);
            dst[x] = format == D3DFMT_X8R8G8B8 ? (v | 0xFF000000u) : v;
            continue;
        }
        case D3DFMT_R5G6B5: {
            WORD v;
            std::memcpy(&v, src + x * 2, 2);
            r = Expand((v >> 11) & 31, 5), g = Expand((v >> 5) & 63, 6), b = Expand(v & 31, 5);
            break;
        }
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            WORD v;
            std::memcpy(&v, src + x * 2, 2);
            r = Expand((v >> 10) & 31, 5), g = Expand((v >> 5) & 31, 5), b = Expand(v & 31, 5);
            if (format == D3DFMT_A1R5G5B5) a = (v & 0x8000) ? 255 : 0;
            break;
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            WORD v;
            std::memcpy(&v, src + x * 2, 2);
            r = Expand((v >> 8) & 15, 4), g = Expand((v >> 4) & 15, 4), b = Expand(v & 15, 4);
            if (format == D3DFMT_A4R4G4B4) a = Expand(v >> 12, 4);
            break;
        }
        default:
            return false;
        }
        dst[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
    return true;
}

bool RowFromArgb(D3DFORMAT format, const DWORD* src, BYTE* dst, UINT width) {
    for (UINT x = 0; x < width; ++x) {
        DWORD v = src[x];
        DWORD a = v >> 24, r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
        WORD w;
        switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
            std::memcpy(dst + x * 4, &v, 4);
            continue;
        case D3DFMT_R5G6B5:
            w = static_cast<WORD>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
            break;
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
            w = static_cast<WORD>(((a >= 128 || format == D3DFMT_X1R5G5B5) ? 0x8000 : 0) | ((r >> 3) << 10) |
                                  ((g >> 3) << 5) | (b >> 3));
            break;
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
            w = static_cast<WORD>(((format == D3DFMT_X4R4G4B4 ? 15 : a >> 4) << 12) | ((r >> 4) << 8) |
                                  ((g >> 4) << 4) | (b >> 4));
            break;
        default:
            return false;
        }
        std::memcpy(dst + x * 2, &w, 2);
    }
    return true;
}

}  // namespace d3dimpl
