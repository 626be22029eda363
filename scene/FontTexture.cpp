// FontTexture: glyphs rendered once through GDI into a DIB, converted to a 4-bit alpha
// texture; strings become batches of pre-transformed quads in a dynamic vertex buffer.
#include "scene/FontTexture.h"

#include "platform/gdi/Gdi.h"

#include <cstring>

namespace {

constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x144
constexpr UINT kVertexCount = 300;
constexpr DWORD kFlushAbove = 294;  // vertices: flush once more than 49 characters are queued

struct FontVertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};
static_assert(sizeof(FontVertex) == 28);

// The states text drawing sets (and the saved block records and puts back).
struct StateValue {
    D3DRENDERSTATETYPE state;
    DWORD value;
};
const StateValue kRenderStates[] = {
    {D3DRS_ALPHABLENDENABLE, TRUE},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {D3DRS_ALPHATESTENABLE, TRUE},
    {D3DRS_ALPHAREF, 0x08},
    {D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL},
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_CULLMODE, D3DCULL_CCW},
    {D3DRS_ZENABLE, FALSE},
    {D3DRS_STENCILENABLE, FALSE},
    {D3DRS_CLIPPING, TRUE},
    {D3DRS_EDGEANTIALIAS, FALSE},
    {D3DRS_CLIPPLANEENABLE, 0},
    {D3DRS_VERTEXBLEND, D3DVBF_DISABLE},
    {D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE},
    {D3DRS_FOGENABLE, FALSE},
};

struct StageValue {
    DWORD stage;
    D3DTEXTURESTAGESTATETYPE type;
    DWORD value;
};
const StageValue kStageStates[] = {
    {0, D3DTSS_COLOROP, D3DTOP_MODULATE},
    {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
    {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
    {0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_MINFILTER, D3DTEXF_POINT},
    {0, D3DTSS_MAGFILTER, D3DTEXF_POINT},
    {0, D3DTSS_MIPFILTER, D3DTEXF_NONE},
    {0, D3DTSS_TEXCOORDINDEX, 0},
    {0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
    {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
};

// The GDI objects of one glyph rendering, deleted in the order bitmap, context, font.
struct GdiSetup {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HFONT font = nullptr;
    ~GdiSetup() {
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        if (font) DeleteObject(font);
    }
};

}  // namespace

FontTexture::FontTexture(const char* name, DWORD heightPoints, DWORD flags)
    : height(heightPoints), fontFlags(flags) {
    std::memset(faceName, 0, sizeof(faceName));
    if (name) std::strncpy(faceName, name, sizeof(faceName) - 1);
}

HRESULT FontTexture::CreateResources(IDirect3DDevice8* d3dDevice) {
    device = d3dDevice;
    textScale = 1.0f;
    if (!device) return E_FAIL;
    if (texture) {  // a second create without a release would otherwise leak the old texture
        texture->Release();
        texture = nullptr;
    }
    UINT preferred = height > 40 ? 1024 : (height > 20 ? 512 : 256);
    textureWidth = textureHeight = preferred;
    D3DCAPS8 caps{};
    device->GetDeviceCaps(&caps);
    if (caps.MaxTextureWidth && preferred > caps.MaxTextureWidth) {
        textureWidth = textureHeight = caps.MaxTextureWidth;
        textScale = static_cast<float>(caps.MaxTextureWidth) / static_cast<float>(preferred);
    }
    HRESULT hr = device->CreateTexture(textureWidth, textureHeight, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED,
                                       &texture);
    if (FAILED(hr)) {
        texture = nullptr;
        return hr;
    }

    GdiSetup gdi;
    gdi.dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(textureWidth);
    info.bmiHeader.biHeight = -static_cast<LONG>(textureHeight);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    gdi.bitmap = CreateDIBSection(gdi.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!gdi.dc || !gdi.bitmap || !bits) return E_FAIL;
    SetMapMode(gdi.dc, MM_TEXT);

    int pixels = MulDiv(static_cast<int>(height),
                        static_cast<int>(GetDeviceCaps(gdi.dc, LOGPIXELSY) * textScale), 72);
    gdi.font = CreateFontA(-pixels, 0, 0, 0, (fontFlags & Bold) ? FW_BOLD : FW_NORMAL, (fontFlags & Italic) ? TRUE : FALSE,
                           FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           ANTIALIASED_QUALITY, VARIABLE_PITCH, faceName);
    if (!gdi.font) return E_FAIL;
    SelectObject(gdi.dc, gdi.bitmap);
    SelectObject(gdi.dc, gdi.font);
    SetTextColor(gdi.dc, RGB(255, 255, 255));
    SetBkColor(gdi.dc, 0x00000000);
    SetTextAlign(gdi.dc, TA_LEFT | TA_TOP);

    // Characters 32..126 in rows, one empty pixel column between cells.
    std::memset(glyphs, 0, sizeof(glyphs));
    LONG x = 0, y = 0;
    for (int c = 32; c < 127; ++c) {
        char text[2] = {static_cast<char>(c), 0};
        SIZE size{};
        GetTextExtentPoint32A(gdi.dc, text, 1, &size);
        if (x + size.cx + 1 > static_cast<LONG>(textureWidth)) {
            x = 0;
            y += size.cy + 1;
        }
        ExtTextOutA(gdi.dc, x, y, ETO_OPAQUE, nullptr, text, 1, nullptr);
        float* g = glyphs[c - 32];
        g[0] = static_cast<float>(x) / textureWidth;
        g[1] = static_cast<float>(y) / textureHeight;
        g[2] = static_cast<float>(x + size.cx) / textureWidth;
        g[3] = static_cast<float>(y + size.cy) / textureHeight;
        x += size.cx + 1;
    }

    // Blue channel's upper four bits become alpha of white texels.
    D3DLOCKED_RECT locked{};
    hr = texture->LockRect(0, &locked, nullptr, 0);
    if (FAILED(hr)) return hr;
    const uint32_t* dib = static_cast<const uint32_t*>(bits);
    for (UINT row = 0; row < textureHeight; ++row) {
        // Rows go at the level's pitch, which equals width x 2 bytes on a packed level.
        uint16_t* out = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(locked.pBits) + size_t(row) * locked.Pitch);
        for (UINT col = 0; col < textureWidth; ++col) {
            uint8_t a = static_cast<uint8_t>((dib[size_t(row) * textureWidth + col] >> 4) & 0x0F);
            out[col] = a > 0 ? static_cast<uint16_t>((a << 12) | 0x0FFF) : 0x0000;
        }
    }
    texture->UnlockRect(0);
    return S_OK;
}

HRESULT FontTexture::RestoreResources() {
    if (!device) return E_FAIL;
    HRESULT hr = device->CreateVertexBuffer(kVertexCount * sizeof(FontVertex), D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, 0,
                                            D3DPOOL_DEFAULT, &vertexBuffer);
    if (FAILED(hr)) {
        vertexBuffer = nullptr;
        return hr;
    }
    for (DWORD* block : {&savedState, &drawState}) {
        device->BeginStateBlock();
        device->SetTexture(0, texture);
        for (const StateValue& s : kRenderStates) device->SetRenderState(s.state, s.value);
        for (const StageValue& s : kStageStates) device->SetTextureStageState(s.stage, s.type, s.value);
        if (FAILED(device->EndStateBlock(block))) *block = 0;
    }
    return S_OK;
}

HRESULT FontTexture::LoseResources() {
    if (vertexBuffer) vertexBuffer->Release();
    vertexBuffer = nullptr;
    if (device) {
        if (savedState) device->DeleteStateBlock(savedState);
        if (drawState) device->DeleteStateBlock(drawState);
    }
    savedState = drawState = 0;
    return S_OK;
}

HRESULT FontTexture::ReleaseResources() {
    if (texture) texture->Release();
    texture = nullptr;
    device = nullptr;
    return S_OK;
}

HRESULT FontTexture::DrawText(float x, float y, DWORD colour, const char* text, DWORD drawFlags) {
    if (!device) return E_FAIL;
    // Without RestoreResources there is nothing to draw with (and nothing to lock).
    if (!vertexBuffer) return E_FAIL;
    if (!text) return D3DERR_INVALIDCALL;
    if (savedState) device->CaptureStateBlock(savedState);
    if (drawState) device->ApplyStateBlock(drawState);
    device->SetVertexShader(kFvf);
    device->SetStreamSource(0, vertexBuffer, sizeof(FontVertex));
    if (drawFlags & Filtered) {
        device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    }

    BYTE* locked = nullptr;
    HRESULT hr = vertexBuffer->Lock(0, 0, &locked, D3DLOCK_DISCARD);
    FontVertex* v = reinterpret_cast<FontVertex*>(locked);
    DWORD triangles = 0;
    float sx = x, sy = y;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p && SUCCEEDED(hr); ++p) {
        unsigned char c = *p;
        if (c == '\n') {
            sx = x;
            sy += (glyphs[0][3] - glyphs[0][1]) * textureHeight;
            continue;
        }
        if (c < 32 || c > 126) continue;
        const float* g = glyphs[c - 32];
        float w = (g[2] - g[0]) * textureWidth / textScale;
        float h = (g[3] - g[1]) * textureHeight / textScale;
        const FontVertex quad[6] = {
            {sx - 0.5f, sy + h - 0.5f, 0.9f, 1.0f, colour, g[0], g[3]},
            {sx - 0.5f, sy - 0.5f, 0.9f, 1.0f, colour, g[0], g[1]},
            {sx + w - 0.5f, sy + h - 0.5f, 0.9f, 1.0f, colour, g[2], g[3]},
            {sx + w - 0.5f, sy - 0.5f, 0.9f, 1.0f, colour, g[2], g[1]},
            {sx + w - 0.5f, sy + h - 0.5f, 0.9f, 1.0f, colour, g[2], g[3]},
            {sx - 0.5f, sy - 0.5f, 0.9f, 1.0f, colour, g[0], g[1]},
        };
        std::memcpy(v, quad, sizeof(quad));
        v += 6;
        triangles += 2;
        if (triangles * 3 > kFlushAbove) {
            vertexBuffer->Unlock();
            device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, triangles);
            hr = vertexBuffer->Lock(0, 0, &locked, D3DLOCK_DISCARD);
            v = reinterpret_cast<FontVertex*>(locked);
            triangles = 0;
        }
        sx += w;
    }
    if (SUCCEEDED(hr)) {
        vertexBuffer->Unlock();
        if (triangles > 0) device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, triangles);
    }
    if (savedState) device->ApplyStateBlock(savedState);
    // A failed lock stops the string; everything else drawing does is not examined.
    return FAILED(hr) ? hr : S_OK;
}
