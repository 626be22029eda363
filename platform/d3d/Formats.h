// Pixel formats the device knows: one table gives each D3DFORMAT's size, its OpenGL upload and sampling
// form, and what it may be used for; CheckDeviceFormat, resource creation and locks all read it.
#pragma once

#include "platform/d3d/Gl.h"
#include "platform/d3d/d3d8types.h"

namespace d3dimpl {

// What a format may be used for on this device.
enum FormatUse : DWORD {
    kUseTexture = 1,       // sampled texture (any pool)
    kUseBackBuffer = 2,    // back-buffer / render-target surface
    kUseDisplay = 4,       // adapter (display-mode) format
    kUseDepth = 8,         // depth/stencil surface
    kUseScratch = 16,      // lockable system-memory image only (SCRATCH pool, image surfaces)
};

struct FormatInfo {
    D3DFORMAT format;
    const char* name;
    UINT bytesPerPixel;
    DWORD uses;             // FormatUse bits
    GLenum internalFormat;  // texture / renderbuffer storage
    GLenum uploadFormat;    // glTexSubImage2D format and type for the D3D memory layout
    GLenum uploadType;
    GLint swizzle[4];       // sampling swizzle (GL_RED.., GL_ZERO, GL_ONE)
    UINT depthBits, stencilBits;
    bool hasAlpha;
};

// Null for formats the device does not know at all.
const FormatInfo* FindFormat(D3DFORMAT format);

// Converts one row of width pixels between a colour format and 0xAARRGGBB words (alpha forced to 0xFF for
// formats without alpha). Only for formats with kUseBackBuffer or kUseTexture in 8/16/32-bit ARGB layouts.
bool RowToArgb(D3DFORMAT format, const BYTE* src, DWORD* dst, UINT width);
bool RowFromArgb(D3DFORMAT format, const DWORD* src, BYTE* dst, UINT width);

}  // namespace d3dimpl
