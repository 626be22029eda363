// Every value of the device's state tables by what it does to pixels: stencil operations in each of
// their three slots and at both ends of the stencil range, comparison functions for the stencil, depth
// and alpha tests exactly at their reference, blend factors as source and destination, blend
// operations, colour write masks, texture address modes on both axes, magnification filters, texture
// stage operations and their argument sources. Each table walk draws
// one small cell per row on the same 64 x 64 target and reads the picture back once.
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <sstream>
#include <tuple>

#include "tests/platform/d3d/D3DTestUtil.h"

namespace {

constexpr UINT kCell = 4;  // cells of 4 x 4 pixels, 16 to a row

struct TexVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u, v;
};
constexpr DWORD kTexVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

// The pixels [x0, x1) x [y0, y1) with pixel centres at integer coordinates.
struct Box {
    UINT x0, y0, x1, y1;
};


int Channel(DWORD c, int shift) { return static_cast<int>((c >> shift) & 255); }

// The expected 0..255 channel value of a factor-weighted colour, rounded as the blender does.
int Scaled(double value) { return static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0)); }

class StateTableTest : public DeviceTest {
protected:
    // The index-th cell of the target, row by row.
    static Box CellBox(UINT index, UINT size = kCell) {
        UINT perRow = kSize / size;
        UINT x = index % perRow * size, y = index / perRow * size;
        return {x, y, x + size, y + size};
    }

    void SetUp() override {
        DeviceTest::SetUp();
        if (HasFatalFailure()) return;
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    // A flat quad of one colour covering the box at depth z.
    void Quad(const Box& b, D3DCOLOR colour, float z = 0.5f) {
        float x0 = b.x0 - 0.5f, y0 = b.y0 - 0.5f, x1 = b.x1 - 0.5f, y1 = b.y1 - 0.5f;
        DrawTL({{x0, y0, z, 1, colour}, {x1, y0, z, 1, colour}, {x0, y1, z, 1, colour}, {x1, y1, z, 1, colour}},
               D3DPT_TRIANGLESTRIP);
    }

    // A textured quad over the box with texture coordinates from (u0, v0) at its top left corner to
    // (u1, v1) at its bottom right, and the vertex colours given.
    void TexturedQuad(const Box& b, float u0, float v0, float u1, float v1, D3DCOLOR diffuse = 0xFFFFFFFFu,
                      D3DCOLOR specular = 0) {
        float x0 = b.x0 - 0.5f, y0 = b.y0 - 0.5f, x1 = b.x1 - 0.5f, y1 = b.y1 - 0.5f;
        TexVertex v[4] = {{x0, y0, 0.5f, 1, diffuse, specular, u0, v0}, {x1, y0, 0.5f, 1, diffuse, specular, u1, v0},
                          {x0, y1, 0.5f, 1, diffuse, specular, u0, v1}, {x1, y1, 0.5f, 1, diffuse, specular, u1, v1}};
        device->SetVertexShader(kTexVertexFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexVertex)), D3D_OK);
    }

    void ClearBox(const Box& b, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
        D3DRECT r{static_cast<LONG>(b.x0), static_cast<LONG>(b.y0), static_cast<LONG>(b.x1),
                  static_cast<LONG>(b.y1)};
        ASSERT_EQ(device->Clear(1, &r, flags, colour, z, stencil), D3D_OK);
    }

    // Which cells hold exactly the stencil value each was expected to get: draws white where the
    // stencil equals the cell's value and reads the picture.
    std::vector<bool> StencilEquals(const std::vector<DWORD>& expected) {
        device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        for (UINT i = 0; i < expected.size(); ++i) {
            device->SetRenderState(D3DRS_STENCILREF, expected[i]);
            Quad(CellBox(i), 0xFFFFFFFFu);
        }
        auto p = ReadBackBuffer();
        std::vector<bool> out;
        for (UINT i = 0; i < expected.size(); ++i) out.push_back(Whole(p, CellBox(i), 0xFFFFFF));
        return out;
    }

    // Every pixel of the box is the colour (RGB).
    bool Whole(const std::vector<DWORD>& p, const Box& b, DWORD rgb) {
        for (UINT y = b.y0; y < b.y1; ++y)
            for (UINT x = b.x0; x < b.x1; ++x)
                if (Pixel(p, x, y) != rgb) return false;
        return true;
    }

    IDirect3DTexture8* MakeTexture(UINT width, UINT height, const std::function<DWORD(UINT, UINT)>& texel) {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
        if (!t) return nullptr;
        D3DLOCKED_RECT lr{};
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch)[x] = texel(x, y);
        t->UnlockRect(0);
        return t;
    }

    void UseTexture(IDirect3DTexture8* t) {
        device->SetTexture(0, t);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    }
};

// What each comparison says of (reference, value), the order the platform gives its operands.
bool Compare(DWORD func, double reference, double value) {
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return reference < value;
    case D3DCMP_EQUAL: return reference == value;
    case D3DCMP_LESSEQUAL: return reference <= value;
    case D3DCMP_GREATER: return reference > value;
    case D3DCMP_NOTEQUAL: return reference != value;
    case D3DCMP_GREATEREQUAL: return reference >= value;
    default: return true;
    }
}

// The 8-bit stencil value an operation leaves behind.
DWORD StencilResult(DWORD op, DWORD value, DWORD reference) {
    switch (op) {
    case D3DSTENCILOP_ZERO: return 0;
    case D3DSTENCILOP_REPLACE: return reference;
    case D3DSTENCILOP_INCRSAT: return value == 255 ? 255 : value + 1;
    case D3DSTENCILOP_DECRSAT: return value == 0 ? 0 : value - 1;
    case D3DSTENCILOP_INVERT: return ~value & 255;
    case D3DSTENCILOP_INCR: return (value + 1) & 255;
    case D3DSTENCILOP_DECR: return (value - 1) & 255;
    default: return value;
    }
}

TEST_F(StateTableTest, EveryStencilOperationInEverySlotAndAtBothEndsOfTheRange) {
    constexpr DWORD kReference = 9;
    const DWORD starts[] = {0, 5, 255};
    const D3DRENDERSTATETYPE slots[] = {D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS};
    for (D3DRENDERSTATETYPE slot : slots) {
        // The stencil test fails, the depth test fails, or both pass: only `slot` sees the operation.
        device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
        device->SetRenderState(D3DRS_STENCILFUNC, slot == D3DRS_STENCILFAIL ? D3DCMP_NEVER : D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_ZFUNC, slot == D3DRS_STENCILZFAIL ? D3DCMP_NEVER : D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_STENCILREF, kReference);
        std::vector<DWORD> expected;
        std::vector<std::string> names;
        for (DWORD op = D3DSTENCILOP_KEEP; op <= D3DSTENCILOP_DECR; ++op) {
            for (DWORD start : starts) {
                const UINT cell = static_cast<UINT>(expected.size());
                ClearBox(CellBox(cell), D3DCLEAR_STENCIL | D3DCLEAR_ZBUFFER, 0, 1.0f, start);
                for (D3DRENDERSTATETYPE s : slots)
                    device->SetRenderState(s, s == slot ? op : static_cast<DWORD>(D3DSTENCILOP_KEEP));
                Quad(CellBox(cell), 0xFFFFFFFFu);
                expected.push_back(StencilResult(op, start, kReference));
                std::ostringstream name;
                name << "slot " << slot << " op " << op << " from " << start << " want " << expected.back();
                names.push_back(name.str());
            }
        }
        std::vector<bool> matched = StencilEquals(expected);
        for (size_t i = 0; i < matched.size(); ++i) EXPECT_TRUE(matched[i]) << names[i];
    }
}

TEST_F(StateTableTest, EveryComparisonAtItsReferenceForStencilDepthAndAlpha) {
    // Stencil: the stored value is 5, the reference one below, equal and one above.
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0, 1.0f, 5);
    UINT cell = 0;
    std::vector<bool> want;
    for (DWORD func = D3DCMP_NEVER; func <= D3DCMP_ALWAYS; ++func) {
        for (DWORD reference : {4u, 5u, 6u}) {
            device->SetRenderState(D3DRS_STENCILFUNC, func);
            device->SetRenderState(D3DRS_STENCILREF, reference);
            Quad(CellBox(cell++), 0xFFFFFFFFu);
            want.push_back(Compare(func, reference, 5));
        }
    }
    auto p = ReadBackBuffer();
    for (UINT i = 0; i < want.size(); ++i)
        EXPECT_EQ(Whole(p, CellBox(i), 0xFFFFFF), want[i]) << "stencil func " << i / 3 + 1 << " reference " << 4 + i % 3;
    device->SetRenderState(D3DRS_STENCILENABLE, FALSE);

    // Depth: the stored depth is 0.5, the new depth nearer, equal and farther.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
    cell = 0;
    want.clear();
    for (DWORD func = D3DCMP_NEVER; func <= D3DCMP_ALWAYS; ++func) {
        for (float z : {0.25f, 0.5f, 0.75f}) {
            device->SetRenderState(D3DRS_ZFUNC, func);
            Quad(CellBox(cell++), 0xFFFFFFFFu, z);
            want.push_back(Compare(func, z, 0.5));
        }
    }
    p = ReadBackBuffer();
    for (UINT i = 0; i < want.size(); ++i)
        EXPECT_EQ(Whole(p, CellBox(i), 0xFFFFFF), want[i]) << "depth func " << i / 3 + 1 << " z case " << i % 3;
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);

    // Alpha: the drawn alpha is 0x80 against references 0x7F, 0x80 and 0x81.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    cell = 0;
    want.clear();
    for (DWORD func = D3DCMP_NEVER; func <= D3DCMP_ALWAYS; ++func) {
        for (DWORD reference : {0x7Fu, 0x80u, 0x81u}) {
            device->SetRenderState(D3DRS_ALPHAFUNC, func);
            device->SetRenderState(D3DRS_ALPHAREF, reference);
            Quad(CellBox(cell++), 0x80FFFFFFu);
            // The alpha test asks whether the pixel's alpha compares so with the reference.
            want.push_back(Compare(func, 0x80, reference));
        }
    }
    p = ReadBackBuffer();
    for (UINT i = 0; i < want.size(); ++i)
        EXPECT_EQ(Whole(p, CellBox(i), 0xFFFFFF), want[i]) << "alpha func " << i / 3 + 1 << " reference case " << i % 3;
}

TEST_F(StateTableTest, ClearedDepthIsClampedAtBothEnds) {
    // Depths beyond 0..1 clear to the nearest end: a draw at 0.999 passes LESS against a clear of
    // 2 (stored 1) and one at 0.001 passes GREATER against a clear of -1 (stored 0).
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    struct Row {
        float clear, z;
        DWORD func;
    };
    const Row rows[] = {{2.0f, 0.999f, D3DCMP_LESS}, {-1.0f, 0.001f, D3DCMP_GREATER}};
    for (UINT i = 0; i < 2; ++i) {
        ClearBox(CellBox(i), D3DCLEAR_ZBUFFER, 0, rows[i].clear, 0);
        device->SetRenderState(D3DRS_ZFUNC, rows[i].func);
        Quad(CellBox(i), 0xFFFFFFFFu, rows[i].z);
    }
    auto p = ReadBackBuffer();
    EXPECT_TRUE(Whole(p, CellBox(0), 0xFFFFFF));
    EXPECT_TRUE(Whole(p, CellBox(1), 0xFFFFFF));
}

// A blend factor's (r, g, b, a) for a source colour s and destination d, each in 0..1.
using Rgba = std::array<double, 4>;
Rgba Factor(DWORD blend, const Rgba& s, const Rgba& d) {
    switch (blend) {
    case D3DBLEND_ZERO: return {0, 0, 0, 0};
    case D3DBLEND_ONE: return {1, 1, 1, 1};
    case D3DBLEND_SRCCOLOR: return s;
    case D3DBLEND_INVSRCCOLOR: return {1 - s[0], 1 - s[1], 1 - s[2], 1 - s[3]};
    case D3DBLEND_SRCALPHA: return {s[3], s[3], s[3], s[3]};
    case D3DBLEND_INVSRCALPHA: return {1 - s[3], 1 - s[3], 1 - s[3], 1 - s[3]};
    case D3DBLEND_DESTALPHA: return {d[3], d[3], d[3], d[3]};
    case D3DBLEND_INVDESTALPHA: return {1 - d[3], 1 - d[3], 1 - d[3], 1 - d[3]};
    case D3DBLEND_DESTCOLOR: return d;
    case D3DBLEND_INVDESTCOLOR: return {1 - d[0], 1 - d[1], 1 - d[2], 1 - d[3]};
    default: {  // SRCALPHASAT
        double f = std::min(s[3], 1 - d[3]);
        return {f, f, f, 1};
    }
    }
}

Rgba Unpack(D3DCOLOR c) { return {Channel(c, 16) / 255.0, Channel(c, 8) / 255.0, Channel(c, 0) / 255.0, Channel(c, 24) / 255.0}; }

TEST_F(StateTableTest, EveryBlendFactorAsSourceAndDestinationAndEveryBlendOperation) {
    params = Params(D3DFMT_A8R8G8B8);  // destination alpha takes part
    RefDeviceTest::CreateDevice();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    const D3DCOLOR source = 0x99CC6633u, destination = 0x663399FFu;
    const Rgba s = Unpack(source), d = Unpack(destination);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, destination, 1.0f, 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);

    struct Row {
        DWORD src, dst, op;
        Rgba want;
    };
    std::vector<Row> rows;
    auto weighted = [&](DWORD srcBlend, DWORD dstBlend) {
        Rgba fs = Factor(srcBlend, s, d), fd = Factor(dstBlend, s, d), r;
        for (int c = 0; c < 4; ++c) r[c] = s[c] * fs[c] + d[c] * fd[c];
        return r;
    };
    for (DWORD b = D3DBLEND_ZERO; b <= D3DBLEND_SRCALPHASAT; ++b) {
        rows.push_back({b, D3DBLEND_ZERO, D3DBLENDOP_ADD, weighted(b, D3DBLEND_ZERO)});
        // The saturated source alpha is a source factor only.
        if (b != D3DBLEND_SRCALPHASAT) rows.push_back({D3DBLEND_ZERO, b, D3DBLENDOP_ADD, weighted(D3DBLEND_ZERO, b)});
    }
    // The two source-only shorthands set the destination factor too, whatever it says.
    rows.push_back({D3DBLEND_BOTHSRCALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD,
                    weighted(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA)});
    rows.push_back({D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD,
                    weighted(D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA)});
    for (DWORD op = D3DBLENDOP_ADD; op <= D3DBLENDOP_MAX; ++op) {
        Rgba r;
        for (int c = 0; c < 4; ++c) {
            r[c] = op == D3DBLENDOP_ADD           ? s[c] + d[c]
                   : op == D3DBLENDOP_SUBTRACT    ? s[c] - d[c]
                   : op == D3DBLENDOP_REVSUBTRACT ? d[c] - s[c]
                   : op == D3DBLENDOP_MIN         ? std::min(s[c], d[c])
                                                  : std::max(s[c], d[c]);
        }
        rows.push_back({D3DBLEND_ONE, D3DBLEND_ONE, op, r});
    }
    for (UINT i = 0; i < rows.size(); ++i) {
        device->SetRenderState(D3DRS_SRCBLEND, rows[i].src);
        device->SetRenderState(D3DRS_DESTBLEND, rows[i].dst);
        device->SetRenderState(D3DRS_BLENDOP, rows[i].op);
        Quad(CellBox(i), source);
    }
    auto p = ReadBackBuffer();
    const int shifts[4] = {16, 8, 0, 24};
    for (UINT i = 0; i < rows.size(); ++i) {
        const Box b = CellBox(i);
        DWORD got = p[(b.y0 + 1) * kSize + b.x0 + 1];
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(Channel(got, shifts[c]), Scaled(rows[i].want[c]), 2)
                << "src " << rows[i].src << " dst " << rows[i].dst << " op " << rows[i].op << " channel " << "rgba"[c];
    }
}

// The texel index an address mode reads for a texel coordinate t on an axis of n texels.
int Addressed(DWORD mode, int t, int n) {
    switch (mode) {
    case D3DTADDRESS_WRAP: return ((t % n) + n) % n;
    case D3DTADDRESS_MIRROR: {
        int m = ((t % (2 * n)) + 2 * n) % (2 * n);
        return m < n ? m : 2 * n - 1 - m;
    }
    case D3DTADDRESS_CLAMP: return std::clamp(t, 0, n - 1);
    case D3DTADDRESS_BORDER: return t < 0 || t >= n ? -1 : t;
    default: return std::min(t < 0 ? -1 - t : t, n - 1);  // MIRRORONCE: mirrored about 0, then clamped
    }
}

TEST_F(StateTableTest, EveryColourWriteMask) {
    params = Params(D3DFMT_A8R8G8B8);  // the alpha bit has a channel to mask
    RefDeviceTest::CreateDevice();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    const D3DCOLOR before = 0x80402010u;
    device->Clear(0, nullptr, D3DCLEAR_TARGET, before, 1.0f, 0);
    for (DWORD mask = 0; mask <= 0xF; ++mask) {
        device->SetRenderState(D3DRS_COLORWRITEENABLE, mask);
        Quad(CellBox(mask), 0xFFFFFFFFu);
    }
    auto p = ReadBackBuffer();
    // Bits 0 to 3 enable red, green, blue and alpha.
    const int shifts[4] = {16, 8, 0, 24};
    for (DWORD mask = 0; mask <= 0xF; ++mask) {
        const Box b = CellBox(mask);
        DWORD got = p[(b.y0 + 1) * kSize + b.x0 + 1];
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(Channel(got, shifts[c]), (mask & (1u << c)) ? 255 : Channel(before, shifts[c]))
                << "mask " << mask << " channel " << "rgba"[c];
    }
}

TEST_F(StateTableTest, EveryAddressModeOnBothAxesWithTheTextureTopRowAtTheTop) {
    // 4 x 4 texels, red telling the column and green the row; coordinates from -1 to 3 in a
    // 16 x 16 box put one texel centre on each pixel centre, four texels beyond each edge.
    constexpr int kTexels = 4;
    constexpr D3DCOLOR kBorder = 0xFFFF00FFu;
    IDirect3DTexture8* t =
        MakeTexture(kTexels, kTexels, [](UINT x, UINT y) { return 0xFF000000u | (x * 64 + 32) << 16 | (y * 64 + 32) << 8; });
    ASSERT_NE(t, nullptr);
    UseTexture(t);
    device->SetTextureStageState(0, D3DTSS_BORDERCOLOR, kBorder);
    constexpr DWORD kModes = D3DTADDRESS_MIRRORONCE - D3DTADDRESS_WRAP + 1;
    for (DWORD i = 0; i < kModes; ++i) {
        // U walks the table, V the same table one row later, so that the axes cannot be swapped unseen.
        DWORD u = D3DTADDRESS_WRAP + i, v = D3DTADDRESS_WRAP + (i + 1) % kModes;
        device->SetTextureStageState(0, D3DTSS_ADDRESSU, u);
        device->SetTextureStageState(0, D3DTSS_ADDRESSV, v);
        TexturedQuad(CellBox(i, 16), -1, -1, 3, 3);
    }
    auto p = ReadBackBuffer();
    for (DWORD i = 0; i < kModes; ++i) {
        DWORD u = D3DTADDRESS_WRAP + i, v = D3DTADDRESS_WRAP + (i + 1) % kModes;
        const Box b = CellBox(i, 16);
        int wrong = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                int tx = Addressed(u, x - kTexels, kTexels), ty = Addressed(v, y - kTexels, kTexels);
                DWORD want = tx < 0 || ty < 0 ? kBorder & 0xFFFFFF
                                              : static_cast<DWORD>(tx * 64 + 32) << 16 | static_cast<DWORD>(ty * 64 + 32) << 8;
                DWORD got = Pixel(p, b.x0 + x, b.y0 + y);
                if (got != want && wrong++ < 3)
                    ADD_FAILURE() << "address u " << u << " v " << v << " pixel " << x << "," << y << std::hex << " got "
                                  << got << " want " << want;
            }
        }
        EXPECT_EQ(wrong, 0) << "address u " << u << " v " << v;
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(StateTableTest, EveryMagnificationFilterWithTexelCentresAtHalfTexels) {
    // Two texels, black and white, magnified over 16 pixels with clamped addressing. Nearest picks
    // the texel under the pixel centre; the others blend linearly between texel centres, which lie
    // at pixels 3.5 and 11.5.
    IDirect3DTexture8* t = MakeTexture(2, 1, [](UINT x, UINT) { return x ? 0xFFFFFFFFu : 0xFF000000u; });
    ASSERT_NE(t, nullptr);
    UseTexture(t);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    for (DWORD filter = D3DTEXF_NONE; filter <= D3DTEXF_GAUSSIANCUBIC; ++filter) {
        device->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
        TexturedQuad({0, filter * 4, 16, filter * 4 + 4}, 0, 0, 1, 1);
    }
    auto p = ReadBackBuffer();
    for (DWORD filter = D3DTEXF_NONE; filter <= D3DTEXF_GAUSSIANCUBIC; ++filter) {
        const bool nearest = filter == D3DTEXF_NONE || filter == D3DTEXF_POINT;
        for (UINT x = 0; x < 16; ++x) {
            double texel = (x + 0.5) / 8.0 - 0.5;  // the texel coordinate under the pixel centre
            double grey = nearest ? (x >= 8 ? 1.0 : 0.0) : std::clamp(texel, 0.0, 1.0);
            EXPECT_NEAR(Channel(Pixel(p, x, filter * 4 + 1), 8), Scaled(grey), 2) << "filter " << filter << " pixel " << x;
        }
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(StateTableTest, EveryVertexComponentIsReadWhereTheFormatPutsIt) {
    // Vertices packed by hand in the documented order (position, point size, diffuse, specular,
    // then each texture coordinate set with 1 to 4 floats as its size bits say), for every count of
    // coordinate sets, with and without point size and specular. The diffuse and specular colours
    // are added; the last coordinate set picks the white texel of a black and white texture, any
    // other float picks the black one.
    IDirect3DTexture8* t = MakeTexture(2, 1, [](UINT x, UINT) { return x ? 0xFFFFFFFFu : 0xFF000000u; });
    ASSERT_NE(t, nullptr);
    UseTexture(t);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    const D3DCOLOR diffuse = 0xFF804020u, specular = 0xFF102040u;
    struct Row {
        DWORD fvf;
        D3DCOLOR want;
    };
    std::vector<Row> rows;
    for (DWORD extras : {0u, static_cast<DWORD>(D3DFVF_PSIZE), static_cast<DWORD>(D3DFVF_SPECULAR),
                         static_cast<DWORD>(D3DFVF_PSIZE | D3DFVF_SPECULAR)}) {
        for (int sets = 0; sets <= 8; ++sets) {
            DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | extras | (static_cast<DWORD>(sets) << D3DFVF_TEXCOUNT_SHIFT);
            std::vector<int> dims;
            for (int i = 0; i < sets; ++i) {
                int d = 1 + (i + sets) % 4;  // every size appears, in different places
                dims.push_back(d);
                const DWORD bits[5] = {0, 3, 0, 1, 2};  // size bits for 1, 2, 3 and 4 floats
                fvf |= bits[d] << (16 + 2 * i);
            }
            const UINT cell = static_cast<UINT>(rows.size());
            const Box b = CellBox(cell);
            const float x0 = b.x0 - 0.5f, y0 = b.y0 - 0.5f, x1 = b.x1 - 0.5f, y1 = b.y1 - 0.5f;
            const float corners[4][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}};
            std::vector<DWORD> words;
            auto f = [&](float v) {
                DWORD w;
                std::memcpy(&w, &v, 4);
                words.push_back(w);
            };
            for (const auto& c : corners) {
                f(c[0]), f(c[1]), f(0.5f), f(1.0f);
                if (extras & D3DFVF_PSIZE) f(1.0f);
                words.push_back(diffuse);
                if (extras & D3DFVF_SPECULAR) words.push_back(specular);
                for (int i = 0; i < sets; ++i)
                    for (int k = 0; k < dims[i]; ++k) f(i == sets - 1 && k == 0 ? 0.75f : 0.25f);
            }
            const UINT stride = static_cast<UINT>(words.size() / 4 * sizeof(DWORD));
            device->SetVertexShader(fvf);
            device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, sets ? sets - 1 : 0);
            device->SetTextureStageState(0, D3DTSS_COLOROP, sets ? D3DTOP_MODULATE : D3DTOP_SELECTARG2);
            device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, words.data(), stride), D3D_OK) << std::hex << fvf;
            rows.push_back({fvf, (extras & D3DFVF_SPECULAR) ? 0x906060u : 0x804020u});
        }
    }
    auto p = ReadBackBuffer();
    for (UINT i = 0; i < rows.size(); ++i) {
        const Box b = CellBox(i);
        EXPECT_EQ(Pixel(p, b.x0 + 1, b.y0 + 1), rows[i].want) << std::hex << "fvf " << rows[i].fvf;
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(StateTableTest, EveryPrimitiveTypeJoinsItsVerticesAsDocumented) {
    // The corners A (4, 4), B (28, 4), C (4, 28), D (28, 28) of a 32 x 32 cell, in that order, with
    // as many primitives as the four vertices make. Probes: where each type must and must not draw.
    struct Probe {
        int x, y;
        bool lit;
    };
    struct Row {
        D3DPRIMITIVETYPE type;
        UINT primitives;
        std::vector<Probe> probes;
    };
    const Row rows[] = {
        {D3DPT_POINTLIST, 4, {{4, 4, true}, {28, 28, true}, {16, 4, false}}},
        {D3DPT_LINELIST, 2, {{16, 4, true}, {16, 28, true}, {16, 16, false}, {4, 16, false}}},
        {D3DPT_LINESTRIP, 3, {{16, 4, true}, {16, 16, true}, {16, 28, true}, {4, 16, false}}},
        {D3DPT_TRIANGLELIST, 1, {{8, 8, true}, {24, 20, false}, {20, 24, false}}},      // A B C
        {D3DPT_TRIANGLESTRIP, 2, {{8, 8, true}, {24, 20, true}, {20, 24, true}}},       // A B C, B C D
        {D3DPT_TRIANGLEFAN, 2, {{8, 8, true}, {24, 20, false}, {20, 24, true}}},        // A B C, A C D
    };
    // Four cells of 32 fit the target: two rounds.
    for (UINT first = 0; first < std::size(rows); first += 4) {
        const UINT end = std::min<UINT>(first + 4, std::size(rows));
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        for (UINT i = first; i < end; ++i) {
            const Box b = CellBox(i - first, 32);
            auto at = [&](float x, float y) { return TLVertex{b.x0 + x, b.y0 + y, 0.5f, 1, 0xFFFFFFFFu}; };
            const TLVertex v[4] = {at(4, 4), at(28, 4), at(4, 28), at(28, 28)};
            device->SetVertexShader(kTLVertexFvf);
            EXPECT_EQ(device->DrawPrimitiveUP(rows[i].type, rows[i].primitives, v, sizeof(TLVertex)), D3D_OK)
                << rows[i].type;
        }
        auto p = ReadBackBuffer();
        for (UINT i = first; i < end; ++i) {
            const Box b = CellBox(i - first, 32);
            for (const Probe& probe : rows[i].probes)
                EXPECT_EQ(Pixel(p, b.x0 + probe.x, b.y0 + probe.y) != 0, probe.lit)
                    << "type " << rows[i].type << " at " << probe.x << "," << probe.y;
        }
    }
}

TEST_F(StateTableTest, EveryShadeModeWithFlatShadingTakingTheFirstVertex) {
    // A strip of two triangles with red, green, blue and white corners. Gouraud blends them; flat
    // gives each triangle the colour of its first vertex: red for the first, green for the second.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    for (DWORD mode : {static_cast<DWORD>(D3DSHADE_FLAT), static_cast<DWORD>(D3DSHADE_GOURAUD)}) {
        device->SetRenderState(D3DRS_SHADEMODE, mode);
        const float y0 = mode == D3DSHADE_FLAT ? -0.5f : 31.5f, y1 = y0 + 32;
        DrawTL({{-0.5f, y0, 0.5f, 1, 0xFFFF0000u}, {63.5f, y0, 0.5f, 1, 0xFF00FF00u}, {-0.5f, y1, 0.5f, 1, 0xFF0000FFu},
                {63.5f, y1, 0.5f, 1, 0xFFFFFFFFu}},
               D3DPT_TRIANGLESTRIP);
    }
    auto p = ReadBackBuffer();
    // Flat: the first triangle (top left) red, the second (bottom right) green.
    EXPECT_EQ(Pixel(p, 4, 4), 0xFF0000u);
    EXPECT_EQ(Pixel(p, 60, 28), 0x00FF00u);
    // Gouraud: next to a corner its colour, and the middle of the top edge half red, half green.
    EXPECT_NEAR(Channel(Pixel(p, 0, 32), 16), 255, 8);
    EXPECT_NEAR(Channel(Pixel(p, 0, 32), 8), 0, 8);
    EXPECT_NEAR(Channel(Pixel(p, 32, 32), 16), 128, 6);
    EXPECT_NEAR(Channel(Pixel(p, 32, 32), 8), 128, 6);
}

// A colour format's memory layout as documented: bytes per texel and, for each of alpha, red, green
// and blue, the bit count and the lowest bit in the little-endian texel (0 bits: absent). Luminance
// formats keep the luminance in the red field.
struct FormatLayout {
    D3DFORMAT format;
    UINT bytes;
    int bits[4], shift[4];  // a, r, g, b
    bool luminance;
    int missing;  // what an absent colour channel reads as: 0 or 255
};
const FormatLayout kFormatLayouts[] = {
    {D3DFMT_A8R8G8B8, 4, {8, 8, 8, 8}, {24, 16, 8, 0}, false, 0},
    {D3DFMT_X8R8G8B8, 4, {0, 8, 8, 8}, {0, 16, 8, 0}, false, 0},
    {D3DFMT_R8G8B8, 3, {0, 8, 8, 8}, {0, 16, 8, 0}, false, 0},
    {D3DFMT_R5G6B5, 2, {0, 5, 6, 5}, {0, 11, 5, 0}, false, 0},
    {D3DFMT_X1R5G5B5, 2, {0, 5, 5, 5}, {0, 10, 5, 0}, false, 0},
    {D3DFMT_A1R5G5B5, 2, {1, 5, 5, 5}, {15, 10, 5, 0}, false, 0},
    {D3DFMT_A4R4G4B4, 2, {4, 4, 4, 4}, {12, 8, 4, 0}, false, 0},
    {D3DFMT_X4R4G4B4, 2, {0, 4, 4, 4}, {0, 8, 4, 0}, false, 0},
    {D3DFMT_R3G3B2, 1, {0, 3, 3, 2}, {0, 5, 2, 0}, false, 0},
    {D3DFMT_A2B10G10R10, 4, {2, 10, 10, 10}, {30, 0, 10, 20}, false, 0},
    {D3DFMT_G16R16, 4, {0, 16, 16, 0}, {0, 0, 16, 0}, false, 255},
    {D3DFMT_A8, 1, {8, 0, 0, 0}, {0, 0, 0, 0}, false, 0},
    {D3DFMT_L8, 1, {0, 8, 0, 0}, {0, 0, 0, 0}, true, 0},
    {D3DFMT_A8L8, 2, {8, 8, 0, 0}, {8, 0, 0, 0}, true, 0},
};

TEST_F(StateTableTest, EveryTextureFormatSamplesEachChannelFromItsBits) {
    // One texel per format with red at full scale, green at about a third, blue at zero and alpha
    // at about a third (one for a one-bit alpha), read as colour and as replicated alpha.
    struct Row {
        const FormatLayout* layout;
        int want[4];  // a, r, g, b as 0..255
    };
    std::vector<Row> rows;
    for (const FormatLayout& f : kFormatLayouts) {
        if (FAILED(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, TestDeviceType(), D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE,
                                          f.format))) {
            ADD_FAILURE() << "format " << f.format << " is not offered";
            continue;
        }
        DWORD texel = 0;
        int want[4];
        for (int c = 0; c < 4; ++c) {
            const int bits = f.bits[c];
            if (bits == 0) {
                want[c] = c == 0 ? 255 : f.missing;
                continue;
            }
            const DWORD max = (1u << bits) - 1;
            const DWORD raw = c == 1 ? max : c == 3 ? 0 : (bits == 1 ? 1 : (max + 1) / 3);
            texel |= raw << f.shift[c];
            want[c] = Scaled(static_cast<double>(raw) / max);
        }
        if (f.luminance) want[2] = want[3] = want[1];
        if (f.format == D3DFMT_A8) want[1] = want[2] = want[3] = 0;
        // 3 x 2 texels, zero but for the last one: rows of odd length find a wrong row pitch.
        IDirect3DTexture8* t = nullptr;
        ASSERT_EQ(device->CreateTexture(3, 2, 1, 0, f.format, D3DPOOL_MANAGED, &t), D3D_OK) << f.format;
        D3DLOCKED_RECT lr{};
        ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (int y = 0; y < 2; ++y) std::memset(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, 0, 3 * f.bytes);
        std::memcpy(static_cast<BYTE*>(lr.pBits) + lr.Pitch + 2 * f.bytes, &texel, f.bytes);
        t->UnlockRect(0);
        UseTexture(t);
        const UINT cell = static_cast<UINT>(rows.size()) * 2;
        const float u = 2.5f / 3, v = 0.75f;  // the centre of texel (2, 1)
        TexturedQuad(CellBox(cell), u, v, u, v);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
        TexturedQuad(CellBox(cell + 1), u, v, u, v);
        device->SetTexture(0, nullptr);
        t->Release();
        rows.push_back({&f, {want[0], want[1], want[2], want[3]}});
    }
    auto p = ReadBackBuffer();
    for (UINT i = 0; i < rows.size(); ++i) {
        const Box colour = CellBox(i * 2), alpha = CellBox(i * 2 + 1);
        DWORD got = Pixel(p, colour.x0 + 1, colour.y0 + 1), gotAlpha = Pixel(p, alpha.x0 + 1, alpha.y0 + 1);
        for (int c = 1; c < 4; ++c)
            EXPECT_NEAR(Channel(got, 24 - 8 * c), rows[i].want[c], 2) << "format " << rows[i].layout->format << " channel " << "argb"[c];
        EXPECT_NEAR(Channel(gotAlpha, 8), rows[i].want[0], 2) << "format " << rows[i].layout->format << " alpha";
    }
}

// What a stage operation makes of its arguments (each channel on its own), for colour or alpha. The
// blend operations weigh with the diffuse, texture, factor or current alpha they name.
struct StageInputs {
    Rgba diffuse, texture, factor;
};
double Operation(DWORD op, double a0, double a1, double a2, double a1Alpha, const StageInputs& in) {
    auto blend = [&](double f) { return a1 * f + a2 * (1 - f); };
    switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 * a2;
    case D3DTOP_MODULATE2X: return 2 * a1 * a2;
    case D3DTOP_MODULATE4X: return 4 * a1 * a2;
    case D3DTOP_ADD: return a1 + a2;
    case D3DTOP_ADDSIGNED: return a1 + a2 - 0.5;
    case D3DTOP_ADDSIGNED2X: return 2 * (a1 + a2 - 0.5);
    case D3DTOP_SUBTRACT: return a1 - a2;
    case D3DTOP_ADDSMOOTH: return a1 + a2 - a1 * a2;
    case D3DTOP_BLENDDIFFUSEALPHA: return blend(in.diffuse[3]);
    case D3DTOP_BLENDTEXTUREALPHA: return blend(in.texture[3]);
    case D3DTOP_BLENDFACTORALPHA: return blend(in.factor[3]);
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + a2 * (1 - in.texture[3]);
    case D3DTOP_BLENDCURRENTALPHA: return blend(in.diffuse[3]);  // stage 0: current is the diffuse colour
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return a1 + a1Alpha * a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA: return a1 * a2 + a1Alpha;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return (1 - a1Alpha) * a2 + a1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return (1 - a1) * a2 + a1Alpha;
    case D3DTOP_MULTIPLYADD: return a0 + a1 * a2;
    case D3DTOP_LERP: return a0 * a1 + (1 - a0) * a2;
    default: return a1;
    }
}

bool ColourOnly(DWORD op) { return op >= D3DTOP_PREMODULATE && op <= D3DTOP_DOTPRODUCT3; }

TEST_F(StateTableTest, EveryStageOperationTheDeviceOffersOnColourAndAlpha) {
    // Stage 0 combines the texture (arg1), the diffuse colour (arg2) and the factor (arg0); for the
    // alpha rows stage 1 shows stage 0's alpha as grey.
    const D3DCOLOR texel = 0x99CC6633u, diffuse = 0x663399FFu, factor = 0x4D80BF40u;
    const StageInputs in{Unpack(diffuse), Unpack(texel), Unpack(factor)};
    IDirect3DTexture8* t = MakeTexture(1, 1, [&](UINT, UINT) { return texel; });
    ASSERT_NE(t, nullptr);
    UseTexture(t);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
    D3DCAPS8 caps{};
    device->GetDeviceCaps(&caps);
    struct Row {
        DWORD op;
        bool alpha;
        std::array<int, 3> want;  // RGB
    };
    std::vector<Row> rows;
    for (DWORD op = D3DTOP_SELECTARG1; op <= D3DTOP_LERP; ++op) {
        if (!(caps.TextureOpCaps & (1u << (op - 1)))) continue;  // refused by ValidateDevice instead
        for (bool alpha : {false, true}) {
            if (alpha && ColourOnly(op)) continue;
            std::array<int, 3> want;
            if (alpha) {
                int a = Scaled(Operation(op, in.factor[3], in.texture[3], in.diffuse[3], in.texture[3], in));
                want = {a, a, a};
            } else if (op == D3DTOP_DOTPRODUCT3) {
                double d = 0;
                for (int c = 0; c < 3; ++c) d += (in.texture[c] - 0.5) * (in.diffuse[c] - 0.5);
                int v = Scaled(4 * d);
                want = {v, v, v};
            } else {
                for (int c = 0; c < 3; ++c)
                    want[c] = Scaled(Operation(op, in.factor[c], in.texture[c], in.diffuse[c], in.texture[3], in));
            }
            rows.push_back({op, alpha, want});
        }
    }
    for (UINT i = 0; i < rows.size(); ++i) {
        const DWORD op = rows[i].op;
        device->SetTextureStageState(0, D3DTSS_COLOROP, rows[i].alpha ? static_cast<DWORD>(D3DTOP_SELECTARG1) : op);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, rows[i].alpha ? op : static_cast<DWORD>(D3DTOP_SELECTARG1));
        for (auto [arg0, arg1, arg2] : {std::tuple{D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2},
                                        std::tuple{D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2}}) {
            device->SetTextureStageState(0, arg0, D3DTA_TFACTOR);
            device->SetTextureStageState(0, arg1, D3DTA_TEXTURE);
            device->SetTextureStageState(0, arg2, D3DTA_DIFFUSE);
        }
        device->SetTextureStageState(1, D3DTSS_COLOROP, rows[i].alpha ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE);
        device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT | D3DTA_ALPHAREPLICATE);
        device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
        TexturedQuad(CellBox(i), 0, 0, 1, 1, diffuse);
    }
    auto p = ReadBackBuffer();
    for (UINT i = 0; i < rows.size(); ++i) {
        const Box b = CellBox(i);
        DWORD got = Pixel(p, b.x0 + 1, b.y0 + 1);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(Channel(got, 16 - 8 * c), rows[i].want[c], 2)
                << "op " << rows[i].op << (rows[i].alpha ? " alpha" : " colour") << " channel " << "rgb"[c];
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(StateTableTest, EveryArgumentSourceWithItsModifiers) {
    const D3DCOLOR texel = 0x99CC6633u, diffuse = 0x663399FFu, factor = 0x4D80BF40u, specular = 0x2040E010u;
    IDirect3DTexture8* t = MakeTexture(1, 1, [&](UINT, UINT) { return texel; });
    ASSERT_NE(t, nullptr);
    UseTexture(t);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
    struct Source {
        DWORD arg;
        D3DCOLOR value;
    };
    // Stage 0's current colour is the diffuse one; the temporary register starts as zero.
    const Source sources[] = {{D3DTA_DIFFUSE, diffuse}, {D3DTA_CURRENT, diffuse}, {D3DTA_TEXTURE, texel},
                              {D3DTA_TFACTOR, factor},  {D3DTA_SPECULAR, specular}, {D3DTA_TEMP, 0}};
    const DWORD modifiers[] = {0, D3DTA_COMPLEMENT, D3DTA_ALPHAREPLICATE, D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE};
    UINT cell = 0;
    for (const Source& s : sources) {
        for (DWORD m : modifiers) {
            device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            device->SetTextureStageState(0, D3DTSS_COLORARG1, s.arg | m);
            TexturedQuad(CellBox(cell++), 0, 0, 1, 1, diffuse, specular);
        }
    }
    auto p = ReadBackBuffer();
    cell = 0;
    for (const Source& s : sources) {
        for (DWORD m : modifiers) {
            const Box b = CellBox(cell++);
            DWORD got = Pixel(p, b.x0 + 1, b.y0 + 1);
            for (int c = 0; c < 3; ++c) {
                int v = Channel(s.value, (m & D3DTA_ALPHAREPLICATE) ? 24 : 16 - 8 * c);
                if (m & D3DTA_COMPLEMENT) v = 255 - v;
                EXPECT_NEAR(Channel(got, 16 - 8 * c), v, 1) << "argument " << s.arg << " modifiers " << m << " channel " << c;
            }
        }
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

}  // namespace
