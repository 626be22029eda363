// The fixed-function pipeline on the REF device: transforms and projection, lighting against hand-computed
// colours, reflection-vector texture coordinates, textures of each format, mip levels, stages working
// together, fog. Each state value on its own is StateTableTest's.
#include <cmath>

#include "tests/platform/d3d/D3DTestUtil.h"

namespace {

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// Left-handed perspective projection with a vertical field of view, as the platform's math library builds it.
D3DMATRIX PerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    D3DMATRIX m{};
    float yScale = 1.0f / std::tan(fovY / 2.0f);
    m._11 = yScale / aspect;
    m._22 = yScale;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

struct LitVertex {
    float x, y, z, nx, ny, nz;
};

struct TexVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};

bool Near(DWORD got, DWORD want, int tolerance = 3) {
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = static_cast<int>((got >> shift) & 255), b = static_cast<int>((want >> shift) & 255);
        if (std::abs(a - b) > tolerance) return false;
    }
    return true;
}

#define EXPECT_COLOUR(got, want) EXPECT_TRUE(Near(got, want)) << std::hex << "got " << (got) << " want " << (want)

class PipelineTest : public DeviceTest {
protected:
    void SetUpCamera() {
        D3DMATRIX id = Identity();
        device->SetTransform(D3DTS_WORLD, &id);
        device->SetTransform(D3DTS_VIEW, &id);
        D3DMATRIX proj = PerspectiveFovLH(3.14159265f / 2.0f, 1.0f, 1.0f, 100.0f);
        device->SetTransform(D3DTS_PROJECTION, &proj);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    // A square facing the viewer at depth z, with one normal for all corners.
    void DrawLitSquare(float z, float half, float nx, float ny, float nz) {
        LitVertex v[4] = {{-half, half, z, nx, ny, nz},
                          {half, half, z, nx, ny, nz},
                          {-half, -half, z, nx, ny, nz},
                          {half, -half, z, nx, ny, nz}};
        device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
    }

    void DrawTexturedScreen(D3DCOLOR diffuse = 0xFFFFFFFFu) {
        TexVertex v[4] = {{0, 0, 0.5f, 1, diffuse, 0, 0},
                          {64, 0, 0.5f, 1, diffuse, 1, 0},
                          {0, 64, 0.5f, 1, diffuse, 0, 1},
                          {64, 64, 0.5f, 1, diffuse, 1, 1}};
        device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexVertex)), D3D_OK);
    }

    IDirect3DTexture8* MakeTexture(D3DFORMAT format, UINT w, UINT h, const std::vector<DWORD>& argb) {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &t), D3D_OK);
        if (!t) return nullptr;
        D3DLOCKED_RECT lr;
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < h; ++y) {
            for (UINT x = 0; x < w; ++x) Store(format, argb[y * w + x], static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, x);
        }
        t->UnlockRect(0);
        return t;
    }

    // Writes one 0xAARRGGBB texel of a 32-bit format (each format's layout: StateTableTest).
    static void Store(D3DFORMAT f, DWORD c, BYTE* row, UINT x) {
        if (f != D3DFMT_A8R8G8B8 && f != D3DFMT_X8R8G8B8) ADD_FAILURE() << "format " << f;
        std::memcpy(row + x * 4, &c, 4);
    }
};

TEST_F(PipelineTest, ProjectionPlacesGeometryWithYUpAndRowVectors) {
    SetUpCamera();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    };
    // A square of half-size 5 at depth 10 covers a quarter of the 90-degree view in each direction.
    const D3DCOLOR c = 0xFFFFFF00u;
    V square[4] = {{-5, 5, 10, c}, {5, 5, 10, c}, {-5, -5, 10, c}, {5, -5, 10, c}};
    // Moving it with the world matrix (row vectors: translation in _41.._43) up by 5 puts it in the upper half.
    D3DMATRIX world = Identity();
    world._42 = 5.0f;
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(V)), D3D_OK);
    auto p = ReadBackBuffer();
    // x in [-0.5, 0.5] NDC -> pixels 16..47; y in [0, 1] NDC -> rows 0..31.
    EXPECT_EQ(Pixel(p, 16, 0), 0xFFFF00u);
    EXPECT_EQ(Pixel(p, 47, 31), 0xFFFF00u);
    EXPECT_EQ(Pixel(p, 15, 10), 0u);
    EXPECT_EQ(Pixel(p, 48, 10), 0u);
    EXPECT_EQ(Pixel(p, 32, 32), 0u);
    EXPECT_EQ(Count(p, 0xFFFF00), 32 * 32);
}

TEST_F(PipelineTest, DirectionalAndPointLightsMatchHandComputedColours) {
    SetUpCamera();
    D3DMATERIAL8 m{};
    m.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    m.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_AMBIENT, 0x00202020u);
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    l.Direction = {0.0f, 0.0f, 1.0f};
    ASSERT_EQ(device->SetLight(0, &l), D3D_OK);
    ASSERT_EQ(device->LightEnable(0, TRUE), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DrawLitSquare(10.0f, 20.0f, 0, 0, -1);
    // ambient 32/255 + 0.8 * material diffuse
    const float amb = 32.0f / 255.0f;
    auto expect = [](float r, float g, float b) {
        auto q = [](float v) { return static_cast<DWORD>(std::lround((v > 1 ? 1 : v) * 255.0f)); };
        return (q(r) << 16) | (q(g) << 8) | q(b);
    };
    EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), expect(amb + 0.8f, amb + 0.4f, amb + 0.2f));

    // Tilting the normal by 60 degrees halves the diffuse term.
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DrawLitSquare(10.0f, 20.0f, std::sin(1.0471976f), 0, -std::cos(1.0471976f));
    EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), expect(amb + 0.4f, amb + 0.2f, amb + 0.1f));

    // A point light at the eye with attenuation 1 / (1 + 0.03 d^2): at d = 10 it gives a quarter. Lighting is
    // per vertex, so the square is kept small (its corners are at d = 10.1).
    device->LightEnable(0, FALSE);
    device->SetRenderState(D3DRS_AMBIENT, 0);
    D3DLIGHT8 p{};
    p.Type = D3DLIGHT_POINT;
    p.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    p.Range = 100.0f;
    p.Attenuation0 = 1.0f;
    p.Attenuation2 = 0.03f;
    device->SetLight(1, &p);
    device->LightEnable(1, TRUE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DrawLitSquare(10.0f, 1.0f, 0, 0, -1);
    EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), expect(0.25f, 0.125f, 0.0625f));
    // Beyond the range the light contributes nothing.
    p.Range = 5.0f;
    device->SetLight(1, &p);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DrawLitSquare(10.0f, 20.0f, 0, 0, -1);
    EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), 0u);

    // Vertex colours as the diffuse source replace the material's diffuse.
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    p.Range = 100.0f;
    device->SetLight(1, &p);
    struct V {
        float x, y, z, nx, ny, nz;
        D3DCOLOR c;
    } v[4] = {{-1, 1, 10, 0, 0, -1, 0xFF00FF00u}, {1, 1, 10, 0, 0, -1, 0xFF00FF00u},
              {-1, -1, 10, 0, 0, -1, 0xFF00FF00u}, {1, -1, 10, 0, 0, -1, 0xFF00FF00u}};
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), expect(0.0f, 0.25f, 0.0f));
}

TEST_F(PipelineTest, SpecularHighlightAddsWhenEnabled) {
    SetUpCamera();
    D3DMATERIAL8 m{};
    m.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    m.Power = 10.0f;
    device->SetMaterial(&m);
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Specular = {0.5f, 0.5f, 0.5f, 1.0f};
    l.Direction = {0.0f, 0.0f, 1.0f};
    device->SetLight(0, &l);
    device->LightEnable(0, TRUE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DrawLitSquare(10.0f, 20.0f, 0, 0, -1);
    EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), 0u);  // SPECULARENABLE is off by default
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    DrawLitSquare(10.0f, 20.0f, 0, 0, -1);
    // Non-local viewer: H = normalize(L + (0,0,-1)) = N, so N.H = 1 everywhere.
    EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), 0x808080u);
}

TEST_F(PipelineTest, ReflectionVectorTexGenPointsAwayFromTheSurface) {
    SetUpCamera();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    // Left texel red, right texel green, clamped.
    IDirect3DTexture8* t = MakeTexture(D3DFMT_X8R8G8B8, 2, 1, {0xFFFF0000u, 0xFF00FF00u});
    ASSERT_NE(t, nullptr);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    // u = 0.5 * R.x + 0.25, v = 0.5
    D3DMATRIX tm{};
    tm._11 = 0.5f;
    tm._41 = 0.25f;
    tm._42 = 0.5f;
    device->SetTransform(D3DTS_TEXTURE0, &tm);
    for (BOOL local : {TRUE, FALSE}) {
        device->SetRenderState(D3DRS_LOCALVIEWER, local);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        // Facing the viewer: R = (0, 0, -1) -> u = 0.25 (red).
        DrawLitSquare(10.0f, 1.0f, 0, 0, -1);
        EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0xFF0000u) << "local " << local;
        // Normal turned 45 degrees to +x: R = (1, 0, 0) -> u = 0.75 (green); a wrong sign would clamp to red.
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        DrawLitSquare(10.0f, 1.0f, 0.70710678f, 0, -0.70710678f);
        EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0x00FF00u) << "local " << local;
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(PipelineTest, EveryTextureCoordinateSourceAndProjection) {
    // A square filling the view at eye depth 10 with the normal (0.6, 0, -0.8) and two coordinate
    // sets, u = 0.2 and 0.7 (v = 0 and 2). The texture's red channel is its texel index, so the
    // pixel at (48, 32), where the eye-space position is about (5, 0, 10), shows the u it used.
    SetUpCamera();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    std::vector<DWORD> ramp;
    for (DWORD i = 0; i < 256; ++i) ramp.push_back(0xFF000000u | i << 16);
    IDirect3DTexture8* t = MakeTexture(D3DFMT_X8R8G8B8, 256, 1, ramp);
    ASSERT_NE(t, nullptr);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    struct Vertex {
        float x, y, z, nx, ny, nz, u0, v0, u1, v1;
    };
    Vertex v[4] = {{-10, 10, 10, 0.6f, 0, -0.8f, 0.2f, 0, 0.7f, 2},
                   {10, 10, 10, 0.6f, 0, -0.8f, 0.2f, 0, 0.7f, 2},
                   {-10, -10, 10, 0.6f, 0, -0.8f, 0.2f, 0, 0.7f, 2},
                   {10, -10, 10, 0.6f, 0, -0.8f, 0.2f, 0, 0.7f, 2}};
    struct Row {
        const char* what;
        DWORD index, flags;
        float scale;  // u = scale * coordinate.x + 0.5 when the flags transform
        double u;
    };
    // Reflection without a local viewer: 2 (N.E) N - E with E = (0, 0, -1) gives x = 0.96.
    const Row rows[] = {
        {"set 0", 0, D3DTTFF_DISABLE, 0, 0.2},
        {"set 1", 1, D3DTTFF_DISABLE, 0, 0.7},
        {"set 1 projected", 1, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED, 1, 0.35},
        {"normal", D3DTSS_TCI_CAMERASPACENORMAL, D3DTTFF_COUNT2, 0.5f, 0.8},
        {"position", D3DTSS_TCI_CAMERASPACEPOSITION, D3DTTFF_COUNT2, 0.05f, 0.75},
        {"reflection", D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR, D3DTTFF_COUNT2, 0.25f, 0.74},
    };
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2);
    for (const Row& r : rows) {
        D3DMATRIX tm = Identity();
        if (r.flags & D3DTTFF_PROJECTED) {
            // A two-float set enters as (u, v, 1, 0), so the third row translates: this gives
            // (u, v / 2, 2), and the third divides: u / 2.
            tm._22 = 0.5f, tm._33 = 2;
        } else if (r.flags != D3DTTFF_DISABLE) {
            tm._11 = r.scale, tm._41 = 0.5f, tm._42 = 0.5f;
        }
        device->SetTransform(D3DTS_TEXTURE0, &tm);
        device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, r.index);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, r.flags);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
        EXPECT_NEAR(static_cast<int>(Pixel(ReadBackBuffer(), 48, 32) >> 16), r.u * 256, 5) << r.what;
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(PipelineTest, MipFilterPicksTheLevelForTheScreenSize) {
    // 128 x 128 level 0 red, 64 x 64 level 1 green: drawn at 64 x 64 pixels, level 1 is the match.
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device->CreateTexture(128, 128, 2, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    for (UINT level = 0; level < 2; ++level) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(t->LockRect(level, &lr, nullptr, 0), D3D_OK);
        UINT size = 128 >> level;
        for (UINT y = 0; y < size; ++y) {
            for (UINT x = 0; x < size; ++x)
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch)[x] = level ? 0xFF00FF00u : 0xFFFF0000u;
        }
        t->UnlockRect(level);
    }
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    DrawTexturedScreen();
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0xFF0000u);  // no mip filter: level 0
    device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_POINT);
    DrawTexturedScreen();
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0x00FF00u);
    // MAXMIPLEVEL limits the most detailed level used; LOD bias moves the choice.
    device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
    device->SetTextureStageState(0, D3DTSS_MAXMIPLEVEL, 1);
    DrawTexturedScreen();
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0x00FF00u);
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(PipelineTest, ATextureChangedBetweenDrawsShowsEachVersionWhereItWasDrawn) {
    // Two levels, the stage limited to level 1; the left half is drawn, the texture changed, the right
    // half drawn, all in one frame: each half shows the version it was drawn with, and the changed
    // texture keeps the level limit and the swizzle of its format (it gets new storage when it changes).
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 2, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    auto fill = [&](UINT level, UINT side, DWORD colour) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(t->LockRect(level, &lr, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < side; ++y)
            for (UINT x = 0; x < side; ++x) reinterpret_cast<DWORD*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch)[x] = colour;
        t->UnlockRect(level);
    };
    fill(0, 2, 0x00FF0000u);
    fill(1, 1, 0x000000FFu);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_MAXMIPLEVEL, 1);
    device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    auto drawHalf = [&](float x0) {
        TexVertex v[4] = {{x0, 0, 0.5f, 1, 0xFFFFFFFFu, 0, 0},
                          {x0 + 32, 0, 0.5f, 1, 0xFFFFFFFFu, 1, 0},
                          {x0, 64, 0.5f, 1, 0xFFFFFFFFu, 0, 1},
                          {x0 + 32, 64, 0.5f, 1, 0xFFFFFFFFu, 1, 1}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexVertex)), D3D_OK);
    };
    drawHalf(0);
    fill(1, 1, 0x0000FF00u);
    drawHalf(32);
    const std::vector<DWORD> picture = ReadBackBuffer();
    EXPECT_EQ(Pixel(picture, 16, 32), 0x0000FFu);  // level 1 as it was, not level 0's red
    EXPECT_EQ(Pixel(picture, 48, 32), 0x00FF00u);  // level 1 as changed
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(PipelineTest, TemporaryResultsAndOperationsTheDeviceRefuses) {
    // (Each operation and argument on its own: StateTableTest.)
    const D3DCOLOR diffuse = 0x804080C0u;
    const D3DCOLOR factor = 0x40206010u;
    device->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
    // RESULTARG TEMP keeps a value for a later stage: stage 0 writes the factor to temp, stage 1 adds it to
    // the diffuse colour that current still holds.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEMP);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    DrawTexturedScreen(diffuse);
    EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), 0x60E0D0u);
    DWORD passes = 0;
    EXPECT_EQ(device->ValidateDevice(&passes), D3D_OK);
    EXPECT_EQ(passes, 1u);
    // Operations the device does not implement are refused by ValidateDevice.
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    EXPECT_EQ(device->ValidateDevice(&passes), D3DERR_UNSUPPORTEDCOLOROPERATION);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    // So are states the device does not implement: cylindrical wrapping, w-buffering, tweening.
    struct Refused {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } refused[] = {{D3DRS_WRAP0, D3DWRAP_U}, {D3DRS_ZENABLE, D3DZB_USEW}, {D3DRS_VERTEXBLEND, D3DVBF_TWEENING},
                   {D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE}, {D3DRS_SHADEMODE, D3DSHADE_PHONG}};
    for (const Refused& r : refused) {
        DWORD old = 0;
        device->GetRenderState(r.state, &old);
        device->SetRenderState(r.state, r.value);
        EXPECT_EQ(device->ValidateDevice(&passes), D3DERR_CONFLICTINGRENDERSTATE) << r.state;
        device->SetRenderState(r.state, old);
    }
    EXPECT_EQ(device->ValidateDevice(&passes), D3D_OK);
}

TEST_F(PipelineTest, EachStageSamplesItsOwnTexture) {
    // Stage 0 red, stage 1 blue, added in stage 1: both units must hold their own texture.
    IDirect3DTexture8* red = MakeTexture(D3DFMT_X8R8G8B8, 1, 1, {0xFFFF0000u});
    IDirect3DTexture8* blue = MakeTexture(D3DFMT_X8R8G8B8, 1, 1, {0xFF0000FFu});
    device->SetTexture(0, red);
    device->SetTexture(1, blue);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    for (int frame = 0; frame < 2; ++frame) {
        DrawTexturedScreen();
        EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0xFF00FFu) << "frame " << frame;
    }
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    red->Release();
    blue->Release();
}

TEST_F(PipelineTest, EveryFogModeByVertexAndByPixel) {
    // A red square at eye depth 10 under green fog: linear from 0 to 20, density 0.05.
    SetUpCamera();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0x0000FF00u);
    auto bits = [](float f) {
        DWORD d;
        std::memcpy(&d, &f, 4);
        return d;
    };
    device->SetRenderState(D3DRS_FOGSTART, bits(0.0f));
    device->SetRenderState(D3DRS_FOGEND, bits(20.0f));
    device->SetRenderState(D3DRS_FOGDENSITY, bits(0.05f));
    struct V {
        float x, y, z;
        D3DCOLOR c;
    } v[4] = {{-20, 20, 10, 0xFFFF0000u}, {20, 20, 10, 0xFFFF0000u}, {-20, -20, 10, 0xFFFF0000u},
              {20, -20, 10, 0xFFFF0000u}};
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    const double depth = 10, density = 0.05;
    for (bool perPixel : {false, true}) {
        for (DWORD mode = D3DFOG_NONE; mode <= D3DFOG_LINEAR; ++mode) {
            device->SetRenderState(D3DRS_FOGVERTEXMODE, perPixel ? static_cast<DWORD>(D3DFOG_NONE) : mode);
            device->SetRenderState(D3DRS_FOGTABLEMODE, perPixel ? mode : static_cast<DWORD>(D3DFOG_NONE));
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
            // The share of the surface's own colour that stays (1: no fog).
            const double f = mode == D3DFOG_LINEAR ? (20 - depth) / 20
                             : mode == D3DFOG_EXP  ? std::exp(-density * depth)
                             : mode == D3DFOG_EXP2 ? std::exp(-(density * depth) * (density * depth))
                                                   : 1.0;
            const DWORD red = static_cast<DWORD>(std::lround(255 * f)), green = 255 - red;
            EXPECT_COLOUR(Pixel(ReadBackBuffer(), 32, 32), red << 16 | green << 8) << "mode " << mode << " per pixel " << perPixel;
        }
    }
}

}  // namespace
