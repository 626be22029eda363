// FontTexture: ASCII text drawn as textured quads from one A4R4G4B4 texture holding every
// printable character, rendered once with GDI; device state is switched with two state blocks.
#pragma once

#include "platform/d3d/d3d8.h"

class FontTexture {
public:
    // Font flags.
    static constexpr DWORD Bold = 1;
    static constexpr DWORD Italic = 2;
    // Draw flags of DrawText.
    static constexpr DWORD Filtered = 4;  // linear texture filtering instead of point

    FontTexture(const char* faceName, DWORD height, DWORD fontFlags);
    // Releases nothing: the owner calls LoseResources and ReleaseResources first.
    ~FontTexture() = default;
    FontTexture(const FontTexture&) = delete;
    FontTexture& operator=(const FontTexture&) = delete;

    HRESULT CreateResources(IDirect3DDevice8* device);  // glyph texture and table
    HRESULT RestoreResources();                         // vertex buffer and state blocks
    HRESULT LoseResources();
    HRESULT ReleaseResources();
    // Draws `text` with its first character's top-left at (x, y) in screen pixels; inside a scene.
    HRESULT DrawText(float x, float y, DWORD colour, const char* text, DWORD drawFlags);

    // For tests and layout: the texture's side in texels, the scale, and a glyph's cell as
    // texture coordinates (left, top, right, bottom) for codes 32..127.
    UINT TextureWidth() const { return textureWidth; }
    float TextScale() const { return textScale; }
    const float* GlyphCoords(unsigned char code) const {
        return code >= 32 && code < 128 ? glyphs[code - 32] : nullptr;
    }
    IDirect3DTexture8* Texture() const { return texture; }

private:
    char faceName[80];                     // at most 79 characters and a terminating zero
    DWORD height;                          // points
    DWORD fontFlags;                       // Bold, Italic
    IDirect3DDevice8* device = nullptr;    // not reference-counted
    IDirect3DTexture8* texture = nullptr;
    IDirect3DVertexBuffer8* vertexBuffer = nullptr;
    UINT textureWidth = 0, textureHeight = 0;  // texels; always equal
    float textScale = 1.0f;                // below 1 when the device cannot hold the preferred size
    float glyphs[96][4] = {};              // left, top, right, bottom per code 32..127
    DWORD savedState = 0;                  // state-block handles, 0 when none
    DWORD drawState = 0;
};
