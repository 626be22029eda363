// GDI text services as the platform names them: memory device contexts, top-down 32-bit DIB
// sections, fonts and anti-aliased text output. Backed by fontconfig + FreeType; handles are ids.
#pragma once

#include "platform/win/WinTypes.h"

// [SECTION] Types
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // negative: top-down rows
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

// [SECTION] Constants
constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr int MM_TEXT = 1;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr DWORD ANSI_CHARSET = 0;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD OUT_DEFAULT_PRECIS = 0;
constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
constexpr DWORD DEFAULT_QUALITY = 0;
constexpr DWORD NONANTIALIASED_QUALITY = 3;
constexpr DWORD ANTIALIASED_QUALITY = 4;
constexpr DWORD DEFAULT_PITCH = 0;
constexpr DWORD FIXED_PITCH = 1;
constexpr DWORD VARIABLE_PITCH = 2;

constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

constexpr UINT TA_LEFT = 0;
constexpr UINT TA_TOP = 0;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr int GDI_ERROR_INT = 0;  // what the int-returning calls give back on a bad handle

inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}

// [SECTION] Calls
// A memory device context; the reference context may be null (the screen) or another DC.
HDC CreateCompatibleDC(HDC reference);
BOOL DeleteDC(HDC dc);

// Only 32-bit BI_RGB sections are supported (what the texture font asks for); others fail.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                         HANDLE section, DWORD offset);

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                  DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                  DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily,
                  LPCSTR faceName);

// Selects a bitmap or font into the context; returns the previously selected one of that kind
// (a stock object for a fresh context), or null on a bad handle.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Deleting an object still selected into a context detaches it from that context first.
BOOL DeleteObject(HGDIOBJ object);

int SetMapMode(HDC dc, int mode);
int GetDeviceCaps(HDC dc, int index);
int MulDiv(int number, int numerator, int denominator);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
UINT SetTextAlign(HDC dc, UINT align);

// Extents as GDI measures them: the sum of the advance widths, and the font's cell height.
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size);
// Draws anti-aliased text with the cell's top-left at (x, y); ETO_OPAQUE fills the rectangle
// (or, without one, the text's cells) with the background colour. Clipped to the bitmap.
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const INT* dx);
// The face name of the font selected into the context (the face fontconfig resolved).
int GetTextFaceA(HDC dc, int count, LPSTR faceName);
