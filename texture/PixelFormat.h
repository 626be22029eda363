// Pixel formats the texture loader knows: one table gives each format's kind, size, channel
// widths (for choosing a substitute) and bit layout (for converting to and from float RGBA).
#pragma once

#include "platform/d3d/d3d8types.h"

#include <cstddef>
#include <cstdint>

namespace texfmt {

enum FormatType : uint8_t { kColour = 0, kPalettized = 1, kLuminance = 2, kBumpMap = 3, kDepth = 4 };

// One channel of a packed pixel: which float component it carries and where its bits are.
struct Channel {
    char component;  // 'r', 'g', 'b', 'a', 'l' (luminance), 'x' (unused, written as ones), 0 = none
    uint8_t shift, bits;
    bool isSigned;  // bump-map channels: two's complement in -1..1
};

struct FormatInfo {
    D3DFORMAT format;
    FormatType type;
    uint8_t bitsPerPixel;
    uint8_t widths[5];  // the five channel widths compared when scoring substitutes
    bool substitute;    // may be chosen in place of another format
    uint8_t bytesPerPixel;  // 0 for block-compressed and video formats
    Channel channels[4];
};

// The formats in the table's order (the order substitutes are walked in). Null when unknown.
const FormatInfo* Find(D3DFORMAT format);
const FormatInfo* Table(size_t* count);

bool HasAlpha(const FormatInfo& info);
bool IsDxt(D3DFORMAT format);
bool IsPalettized(D3DFORMAT format);
// Bytes one row of `width` pixels takes (DXT: one row of 4 x 4 blocks). 0 when unknown.
size_t RowBytes(D3DFORMAT format, uint32_t width);
// Rows of storage for `height` pixel rows (DXT: block rows).
uint32_t StorageRows(D3DFORMAT format, uint32_t height);

// Scores `candidate` as a substitute for `wanted` (lower is closer). Returns false when the
// candidate may not stand in for it (wrong kind, not a substitute, or every channel lost).
bool ScoreSubstitute(const FormatInfo& wanted, const FormatInfo& candidate, uint32_t* score);
bool ScoreSubstitute(const uint8_t wantedWidths[5], FormatType wantedType,
                     const FormatInfo& candidate, uint32_t* score);

// Converts one packed pixel (bytesPerPixel bytes at `src`) to float RGBA in 0..1 (bump
// channels map -1..1 to 0..1). Palette indices are not handled here.
void Decode(const FormatInfo& info, const uint8_t* src, float rgba[4]);
// Packs float RGBA (clamped to 0..1) into `dst`. `dither` in [-0.5, 0.5) is added in units of
// each narrow channel's least significant bit (0 for none).
void Encode(const FormatInfo& info, const float rgba[4], float dither, uint8_t* dst);

// Decodes one 4 x 4 block of a DXT format into 16 RGBA pixels (row by row).
void DecodeDxtBlock(D3DFORMAT format, const uint8_t* block, float rgba[16][4]);
// Encodes 16 RGBA pixels into one DXT block (endpoints from the colour bounding box).
void EncodeDxtBlock(D3DFORMAT format, const float rgba[16][4], uint8_t* block);

}  // namespace texfmt
