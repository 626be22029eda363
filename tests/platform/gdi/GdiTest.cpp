// GDI stand-in: font matching, GDI extents, anti-aliased white-on-black cells, clipping and
// handle checking.
#include "platform/gdi/Gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    uint32_t* bits = nullptr;
    int width, height;
    Surface(int w, int h) : width(w), height(h) {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* p = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint32_t*>(p);
        SelectObject(dc, bitmap);
    }
    ~Surface() {
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    uint32_t At(int x, int y) const { return bits[y * width + x]; }
    int LitIn(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += (At(x, y) & 0xFF) != 0;
        return n;
    }
};

HFONT ArialBold(int pixels) {
    return CreateFontA(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                       VARIABLE_PITCH, "Arial");
}

}  // namespace

TEST(Gdi, ArialBoldResolvesToAMetricCompatibleFace) {
    Surface s(64, 32);
    HFONT font = ArialBold(16);
    ASSERT_NE(font, nullptr);
    SelectObject(s.dc, font);
    char face[64] = {};
    ASSERT_GT(GetTextFaceA(s.dc, sizeof(face), face), 0);
    EXPECT_STREQ(face, "Liberation Sans");
    // Arial's metrics at 16 pixels per em: a cell of 18 pixels, "W" wider than "i".
    SIZE w{}, i{}, two{};
    ASSERT_TRUE(GetTextExtentPoint32A(s.dc, "W", 1, &w));
    ASSERT_TRUE(GetTextExtentPoint32A(s.dc, "i", 1, &i));
    ASSERT_TRUE(GetTextExtentPoint32A(s.dc, "Wi", 2, &two));
    EXPECT_EQ(w.cy, 18);
    EXPECT_GT(w.cx, i.cx);
    EXPECT_EQ(two.cx, w.cx + i.cx);
    EXPECT_EQ(two.cy, w.cy);
    DeleteObject(font);
}

TEST(Gdi, TextIsWhiteOnBlackInsideItsCellAndClipped) {
    Surface s(64, 32);
    for (int i = 0; i < 64 * 32; ++i) s.bits[i] = 0x00123456;
    HFONT font = ArialBold(16);
    ASSERT_NE(font, nullptr);
    SelectObject(s.dc, font);
    SetTextColor(s.dc, 0x00FFFFFF);
    SetBkColor(s.dc, 0);
    SetTextAlign(s.dc, TA_LEFT | TA_TOP);
    SIZE cell{};
    ASSERT_TRUE(GetTextExtentPoint32A(s.dc, "H", 1, &cell));
    ASSERT_TRUE(ExtTextOutA(s.dc, 4, 2, ETO_OPAQUE, nullptr, "H", 1, nullptr));
    // Inside the cell: black background, some full white, every pixel grey (r = g = b).
    bool sawWhite = false;
    for (int y = 2; y < 2 + cell.cy; ++y)
        for (int x = 4; x < 4 + cell.cx; ++x) {
            uint32_t p = s.At(x, y);
            EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
            EXPECT_EQ(p & 0xFF, (p >> 16) & 0xFF);
            sawWhite |= p == 0x00FFFFFF;
        }
    EXPECT_TRUE(sawWhite);
    EXPECT_GT(s.LitIn(4, 2, 4 + cell.cx, 2 + cell.cy), 10);
    // Outside the cell nothing changed.
    EXPECT_EQ(s.At(2, 10), 0x00123456u);
    EXPECT_EQ(s.At(4 + cell.cx + 2, 10), 0x00123456u);
    EXPECT_EQ(s.At(10, 2 + cell.cy + 1), 0x00123456u);
    // Drawing past the edges is clipped, not an overrun.
    EXPECT_TRUE(ExtTextOutA(s.dc, 60, 25, ETO_OPAQUE, nullptr, "WWWW", 4, nullptr));
    EXPECT_TRUE(ExtTextOutA(s.dc, -30, -10, ETO_OPAQUE, nullptr, "WWWW", 4, nullptr));
    DeleteObject(font);
}

TEST(Gdi, BadHandlesAndArgumentsAreRefused) {
    EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(0x7777), nullptr), nullptr);
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(0x7777)));
    EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(0x9999)));
    EXPECT_EQ(MulDiv(12, 96, 72), 16);
    EXPECT_EQ(MulDiv(9, 96, 72), 12);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSY), 96);

    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;  // only 32-bit sections are made
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biWidth = 1 << 30;
    EXPECT_EQ(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);

    // A deleted handle is refused afterwards; deleting a selected bitmap detaches it.
    info.bmiHeader.biWidth = 16;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_NE(SelectObject(dc, bitmap), nullptr);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_TRUE(ExtTextOutA(dc, 0, 0, ETO_OPAQUE, nullptr, "x", 1, nullptr));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
}

TEST(Gdi, UnknownFaceFallsBackToADefaultFace) {
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, TRUE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             VARIABLE_PITCH, "No Such Face Anywhere");
    ASSERT_NE(font, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font);
    char face[64] = {};
    EXPECT_GT(GetTextFaceA(dc, sizeof(face), face), 0);
    SIZE size{};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, "A", 1, &size));
    EXPECT_GT(size.cx, 0);
    DeleteDC(dc);
    DeleteObject(font);
}
