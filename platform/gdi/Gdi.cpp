// GDI stand-in: contexts, DIB sections and fonts live in one table keyed by handle id, so a stale
// or foreign handle is refused instead of dereferenced. Fonts: fontconfig match + FreeType.
//
// [SECTION] Object table
// [SECTION] Fonts (fontconfig, FreeType)
// [SECTION] Contexts and bitmaps
// [SECTION] Text
#include "platform/gdi/Gdi.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// [SECTION] Object table

enum class Kind { Context, Bitmap, Font };

struct FontObject {
    FT_Face face = nullptr;
    std::string family;    // the family fontconfig resolved
    int pixelHeight = 0;   // em height in pixels
    bool emboldenGlyphs = false;  // bold asked for, face is not bold
    bool slantGlyphs = false;     // italic asked for, face is upright
    int ascent = 0, descent = 0;  // in pixels; cell height = ascent + descent
    ~FontObject() {
        if (face) FT_Done_Face(face);
    }
};

struct BitmapObject {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // top-down, 0x00RRGGBB
};

struct ContextObject {
    uintptr_t bitmap = 0;  // 0: the stock 1 x 1 bitmap
    uintptr_t font = 0;    // 0: the stock font
    COLORREF textColour = 0x000000;
    COLORREF bkColour = 0xFFFFFF;
    UINT align = 0;
    int mapMode = MM_TEXT;
};

struct Object {
    Kind kind;
    std::unique_ptr<ContextObject> context;
    std::unique_ptr<BitmapObject> bitmap;
    std::unique_ptr<FontObject> font;
    int selections = 0;  // contexts this bitmap or font is selected into
};

// Stock objects returned by SelectObject for a fresh context; deleting them does nothing.
constexpr uintptr_t kStockBitmap = 0x100;
constexpr uintptr_t kStockFont = 0x101;
constexpr uintptr_t kFirstId = 0x1000;

struct Gdi {
    std::mutex lock;
    std::unordered_map<uintptr_t, Object> objects;
    uintptr_t nextId = kFirstId;
    FT_Library freetype = nullptr;
    bool freetypeFailed = false;

    uintptr_t Add(Object&& object) {
        uintptr_t id = nextId;
        nextId += 4;
        objects.emplace(id, std::move(object));
        return id;
    }
    Object* Find(uintptr_t id, Kind kind) {
        auto it = objects.find(id);
        if (it == objects.end() || it->second.kind != kind) return nullptr;
        return &it->second;
    }
    ContextObject* FindContext(HDC dc) {
        Object* o = Find(reinterpret_cast<uintptr_t>(dc), Kind::Context);
        return o ? o->context.get() : nullptr;
    }
    void Unselect(uintptr_t id) {
        auto it = objects.find(id);
        if (it != objects.end()) --it->second.selections;
    }
    FT_Library Freetype() {
        if (!freetype && !freetypeFailed && FT_Init_FreeType(&freetype) != 0) {
            freetype = nullptr;
            freetypeFailed = true;
        }
        return freetype;
    }
};

Gdi& State() {
    static Gdi gdi;
    return gdi;
}

template <typename T>
T ToHandle(uintptr_t id) {
    return reinterpret_cast<T>(id);
}

// [SECTION] Fonts (fontconfig, FreeType)

// Asks fontconfig for the best face for the request. Returns false when it knows no font file.
bool MatchFont(const char* family, int weight, bool italic, std::string* file, int* index,
               std::string* resolvedFamily) {
    if (!FcInit()) return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    if (family && family[0])
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* path = nullptr;
    FcChar8* fam = nullptr;
    int idx = 0;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (ok) {
        *file = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &idx) != FcResultMatch) idx = 0;
        *index = idx;
        if (FcPatternGetString(match, FC_FAMILY, 0, &fam) == FcResultMatch && fam)
            *resolvedFamily = reinterpret_cast<const char*>(fam);
    }
    FcPatternDestroy(match);
    return ok;
}

int RoundScaled(long fontUnits, int pixels, int unitsPerEm) {
    return static_cast<int>(std::lround(static_cast<double>(fontUnits) * pixels / unitsPerEm));
}

// Loads and renders one character into the glyph slot (8-bit coverage). False when the face
// has no usable glyph for it.
bool RenderGlyph(FontObject& font, unsigned char c) {
    FT_Face face = font.face;
    if (FT_Load_Char(face, c, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (font.emboldenGlyphs) FT_Outline_Embolden(&slot->outline, face->size->metrics.y_ppem * 2);
        if (font.slantGlyphs) {
            FT_Matrix shear = {0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees
            FT_Outline_Transform(&slot->outline, &shear);
        }
    }
    return FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0;
}

// Advance of one character in whole pixels, as GDI reports it.
int Advance(FontObject& font, unsigned char c) {
    if (FT_Load_Char(font.face, c, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return 0;
    int advance = static_cast<int>((font.face->glyph->advance.x + 32) >> 6);
    if (font.emboldenGlyphs) advance += 1;  // simulated bold widens each cell by a pixel
    return advance;
}

std::unique_ptr<FontObject> OpenFont(FT_Library library, int height, int weight, bool italic,
                                     const char* faceName) {
    std::string file, family;
    int index = 0;
    if (!MatchFont(faceName, weight, italic, &file, &index, &family)) {
        std::fprintf(stderr, "gdi: no font file matches \"%s\" (is fontconfig configured?)\n",
                     faceName ? faceName : "");
        return nullptr;
    }
    auto font = std::make_unique<FontObject>();
    if (FT_New_Face(library, file.c_str(), index, &font->face) != 0) {
        font->face = nullptr;
        std::fprintf(stderr, "gdi: cannot open font file %s\n", file.c_str());
        return nullptr;
    }
    FT_Face face = font->face;
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return nullptr;
    font->family = family.empty() ? (face->family_name ? face->family_name : "") : family;

    // Negative heights ask for the em height, positive ones for the cell height.
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    long winAscent = os2 && os2->usWinAscent ? os2->usWinAscent : face->ascender;
    long winDescent = os2 && os2->usWinAscent ? os2->usWinDescent : -face->descender;
    if (winAscent + winDescent <= 0) return nullptr;
    int em = height < 0 ? -height : height;
    if (height > 0)
        em = static_cast<int>(std::lround(static_cast<double>(height) * face->units_per_EM /
                                          (winAscent + winDescent)));
    if (em == 0) em = 16;  // GDI's default height for 0
    if (em > 2048) return nullptr;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) != 0) return nullptr;
    font->pixelHeight = em;
    font->ascent = RoundScaled(winAscent, em, face->units_per_EM);
    // The cell is rounded as a whole; the descent takes what the rounded ascent leaves.
    font->descent = RoundScaled(winAscent + winDescent, em, face->units_per_EM) - font->ascent;
    font->emboldenGlyphs = weight >= 600 && !(face->style_flags & FT_STYLE_FLAG_BOLD);
    font->slantGlyphs = italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
    return font;
}

// The stock font of a context: the default sans face at 16 pixels, made on first use.
FontObject* StockFont(Gdi& gdi) {
    static std::unique_ptr<FontObject> stock;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (FT_Library library = gdi.Freetype()) stock = OpenFont(library, -16, FW_NORMAL, false, "sans-serif");
    }
    return stock.get();
}

FontObject* SelectedFont(Gdi& gdi, const ContextObject& dc) {
    if (dc.font == 0) return StockFont(gdi);
    Object* o = gdi.Find(dc.font, Kind::Font);
    return o ? o->font.get() : nullptr;
}

BitmapObject* SelectedBitmap(Gdi& gdi, const ContextObject& dc) {
    if (dc.bitmap == 0) return nullptr;
    Object* o = gdi.Find(dc.bitmap, Kind::Bitmap);
    return o ? o->bitmap.get() : nullptr;
}

void FillRect(BitmapObject& bitmap, long left, long top, long right, long bottom, uint32_t colour) {
    left = std::max(left, 0L);
    top = std::max(top, 0L);
    right = std::min(right, static_cast<long>(bitmap.width));
    bottom = std::min(bottom, static_cast<long>(bitmap.height));
    for (long y = top; y < bottom; ++y)
        for (long x = left; x < right; ++x) bitmap.pixels[y * bitmap.width + x] = colour;
}

uint32_t ToPixel(COLORREF c) {  // COLORREF is 0x00BBGGRR, DIB pixels 0x00RRGGBB
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

uint32_t Blend(uint32_t under, uint32_t over, unsigned coverage) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        unsigned a = (under >> shift) & 0xFF, b = (over >> shift) & 0xFF;
        unsigned v = (a * (255 - coverage) + b * coverage + 127) / 255;
        out |= v << shift;
    }
    return out;
}

}  // namespace

// [SECTION] Contexts and bitmaps

HDC CreateCompatibleDC(HDC reference) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    if (reference && !gdi.FindContext(reference)) return nullptr;
    Object object{Kind::Context, std::make_unique<ContextObject>(), nullptr, nullptr};
    return ToHandle<HDC>(gdi.Add(std::move(object)));
}

BOOL DeleteDC(HDC dc) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context) return FALSE;
    uintptr_t bitmap = context->bitmap, font = context->font;
    gdi.objects.erase(reinterpret_cast<uintptr_t>(dc));
    if (bitmap) gdi.Unselect(bitmap);
    if (font) gdi.Unselect(font);
    return TRUE;
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset) {
    (void)offset;
    if (bits) *bits = nullptr;
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    if (dc && !gdi.FindContext(dc)) return nullptr;
    if (!info || usage != DIB_RGB_COLORS || section) return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biBitCount != 32 ||
        h.biCompression != BI_RGB)
        return nullptr;
    // Only top-down sections are asked for; bottom-up would need flipped row addressing.
    if (h.biWidth <= 0 || h.biHeight >= 0 || h.biHeight == INT32_MIN) return nullptr;
    long width = h.biWidth, height = -static_cast<long>(h.biHeight);
    if (width > 16384 || height > 16384) return nullptr;
    auto bitmap = std::make_unique<BitmapObject>();
    bitmap->width = static_cast<int>(width);
    bitmap->height = static_cast<int>(height);
    bitmap->pixels.assign(static_cast<size_t>(width) * height, 0);
    void* data = bitmap->pixels.data();
    Object object{Kind::Bitmap, nullptr, std::move(bitmap), nullptr};
    uintptr_t id = gdi.Add(std::move(object));
    if (bits) *bits = data;
    return ToHandle<HBITMAP>(id);
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR faceName) {
    // Width, rotation, decoration and matching hints do not change the glyphs we draw.
    (void)width, (void)escapement, (void)orientation, (void)underline, (void)strikeOut;
    (void)charSet, (void)outPrecision, (void)clipPrecision, (void)quality, (void)pitchAndFamily;
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    FT_Library library = gdi.Freetype();
    if (!library) return nullptr;
    char face[32] = {};
    if (faceName) std::strncpy(face, faceName, sizeof(face) - 1);  // LF_FACESIZE is 32
    std::unique_ptr<FontObject> font =
        OpenFont(library, height, weight == 0 ? FW_NORMAL : weight, italic != 0, face);
    if (!font) return nullptr;
    Object object{Kind::Font, nullptr, nullptr, std::move(font)};
    return ToHandle<HFONT>(gdi.Add(std::move(object)));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context) return nullptr;
    uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    uintptr_t* slot = nullptr;
    uintptr_t stock = 0;
    if (id == kStockBitmap || gdi.Find(id, Kind::Bitmap)) {
        slot = &context->bitmap;
        stock = kStockBitmap;
    } else if (id == kStockFont || gdi.Find(id, Kind::Font)) {
        slot = &context->font;
        stock = kStockFont;
    } else {
        return nullptr;
    }
    uintptr_t previous = *slot;
    if (id == stock) id = 0;
    if (id == previous) return ToHandle<HGDIOBJ>(previous ? previous : stock);
    if (id) ++gdi.objects.at(id).selections;
    *slot = id;
    if (previous) gdi.Unselect(previous);
    return ToHandle<HGDIOBJ>(previous ? previous : stock);
}

BOOL DeleteObject(HGDIOBJ handle) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    if (id == kStockBitmap || id == kStockFont) return TRUE;
    auto it = gdi.objects.find(id);
    if (it == gdi.objects.end() || it->second.kind == Kind::Context) return FALSE;
    if (it->second.selections == 0) {
        gdi.objects.erase(it);
        return TRUE;
    }
    // Still selected: detach it from every context, which then falls back to the stock object.
    for (auto& [key, object] : gdi.objects) {
        if (object.kind != Kind::Context) continue;
        if (object.context->bitmap == id) object.context->bitmap = 0;
        if (object.context->font == id) object.context->font = 0;
    }
    gdi.objects.erase(id);
    return TRUE;
}

int SetMapMode(HDC dc, int mode) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context || mode < 1 || mode > 8) return 0;
    int previous = context->mapMode;
    context->mapMode = mode;
    return previous;
}

int GetDeviceCaps(HDC dc, int index) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    if (dc && !gdi.FindContext(dc)) return 0;
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 96;
        case BITSPIXEL:
            return 32;
        case PLANES:
            return 1;
        case HORZRES:
            return 640;
        case VERTRES:
            return 480;
        default:
            return 0;
    }
}

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    int64_t product = static_cast<int64_t>(number) * numerator;
    // Rounds half away from zero, as the platform does.
    int64_t half = (denominator < 0 ? -static_cast<int64_t>(denominator) : denominator) / 2;
    bool negative = (product < 0) != (denominator < 0);
    int64_t magnitude = (product < 0 ? -product : product);
    int64_t d = denominator < 0 ? -static_cast<int64_t>(denominator) : denominator;
    int64_t q = (magnitude + half) / d;
    if (q > INT32_MAX) return -1;
    return static_cast<int>(negative ? -q : q);
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context) return CLR_INVALID;
    COLORREF previous = context->textColour;
    context->textColour = colour & 0x00FFFFFF;
    return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF colour) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context) return CLR_INVALID;
    COLORREF previous = context->bkColour;
    context->bkColour = colour & 0x00FFFFFF;
    return previous;
}

UINT SetTextAlign(HDC dc, UINT align) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context) return 0xFFFFFFFF;  // GDI_ERROR
    UINT previous = context->align;
    context->align = align;
    return previous;
}

// [SECTION] Text

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context || !size || count < 0 || (count > 0 && !text)) return FALSE;
    FontObject* font = SelectedFont(gdi, *context);
    if (!font) return FALSE;
    long width = 0;
    for (int i = 0; i < count; ++i) width += Advance(*font, static_cast<unsigned char>(text[i]));
    size->cx = static_cast<LONG>(width);
    size->cy = font->ascent + font->descent;
    return TRUE;
}

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const INT* dx) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context || (count > 0 && !text) || count > 8192) return FALSE;
    FontObject* font = SelectedFont(gdi, *context);
    if (!font) return FALSE;
    BitmapObject* bitmap = SelectedBitmap(gdi, *context);
    if (!bitmap) return TRUE;  // the stock 1 x 1 bitmap: nothing visible to draw into

    std::vector<int> advances(count);
    long total = 0;
    for (UINT i = 0; i < count; ++i) {
        advances[i] = dx ? dx[i] : Advance(*font, static_cast<unsigned char>(text[i]));
        total += advances[i];
    }
    uint32_t background = ToPixel(context->bkColour);
    uint32_t foreground = ToPixel(context->textColour);
    int cellHeight = font->ascent + font->descent;
    if (options & ETO_OPAQUE) {
        if (rect)
            FillRect(*bitmap, rect->left, rect->top, rect->right, rect->bottom, background);
    }
    // The default background mode is opaque: each text cell is filled before its glyph.
    if (!(options & ETO_OPAQUE) || !rect)
        FillRect(*bitmap, x, y, x + total, static_cast<long>(y) + cellHeight, background);

    long clipLeft = 0, clipTop = 0, clipRight = bitmap->width, clipBottom = bitmap->height;
    if ((options & ETO_CLIPPED) && rect) {
        clipLeft = std::max(clipLeft, static_cast<long>(rect->left));
        clipTop = std::max(clipTop, static_cast<long>(rect->top));
        clipRight = std::min(clipRight, static_cast<long>(rect->right));
        clipBottom = std::min(clipBottom, static_cast<long>(rect->bottom));
    }
    long penX = x;
    long baseline = static_cast<long>(y) + font->ascent;
    for (UINT i = 0; i < count; ++i) {
        if (RenderGlyph(*font, static_cast<unsigned char>(text[i]))) {
            const FT_GlyphSlot slot = font->face->glyph;
            const FT_Bitmap& glyph = slot->bitmap;
            if (glyph.pixel_mode == FT_PIXEL_MODE_GRAY && glyph.buffer) {
                long left = penX + slot->bitmap_left, top = baseline - slot->bitmap_top;
                for (unsigned row = 0; row < glyph.rows; ++row) {
                    long py = top + row;
                    if (py < clipTop || py >= clipBottom) continue;
                    const unsigned char* src = glyph.buffer + static_cast<long>(row) * glyph.pitch;
                    for (unsigned col = 0; col < glyph.width; ++col) {
                        long px = left + col;
                        if (px < clipLeft || px >= clipRight || src[col] == 0) continue;
                        uint32_t& pixel = bitmap->pixels[py * bitmap->width + px];
                        pixel = Blend(pixel, foreground, src[col]);
                    }
                }
            }
        }
        penX += advances[i];
    }
    return TRUE;
}

int GetTextFaceA(HDC dc, int count, LPSTR faceName) {
    Gdi& gdi = State();
    std::lock_guard<std::mutex> guard(gdi.lock);
    ContextObject* context = gdi.FindContext(dc);
    if (!context) return 0;
    FontObject* font = SelectedFont(gdi, *context);
    if (!font) return 0;
    int length = static_cast<int>(font->family.size());
    if (!faceName) return length + 1;
    if (count <= 0) return 0;
    int n = std::min(length, count - 1);
    std::memcpy(faceName, font->family.data(), n);
    faceName[n] = '\0';
    return n;
}
