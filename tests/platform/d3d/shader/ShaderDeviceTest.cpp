// Shaders through the device on REF: a declaration with constants and a ps.1.4 shader with
// constants set through the device; and one lit, textured square drawn by the fixed-function
// pipeline and by the equivalent shader pair, which must give the same pixels.
#include "tests/platform/d3d/D3DTestUtil.h"
#include "tests/platform/d3d/shader/ShaderTestTokens.h"

#include <array>
#include <cmath>
#include <cstdlib>

using namespace shadertest;

namespace {

struct LitTexVertex {
    float x, y, z, nx, ny, nz, u, v;
};

class ShaderDeviceTest : public DeviceTest {
protected:
    bool MakeVertexShader(const std::vector<DWORD>& decl, const std::vector<DWORD>& fn, DWORD* handle) {
        HRESULT hr = device->CreateVertexShader(decl.data(), fn.data(), handle, 0);
        EXPECT_EQ(hr, D3D_OK);
        return SUCCEEDED(hr);
    }

    static bool Near(DWORD a, DWORD b, int tolerance) {
        for (int shift = 0; shift < 24; shift += 8) {
            int x = static_cast<int>((a >> shift) & 255), y = static_cast<int>((b >> shift) & 255);
            if (std::abs(x - y) > tolerance) return false;
        }
        return true;
    }

    void DrawSquare() {
        const LitTexVertex v[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0},
                                   {1, 1, 0.5f, 0, 0, -1, 1, 0},
                                   {-1, -1, 0.5f, 0, 0, -1, 0, 1},
                                   {1, -1, 0.5f, 0, 0, -1, 1, 1}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitTexVertex)), D3D_OK);
    }
};

TEST_F(ShaderDeviceTest, DeclarationConstantsAndPixelShaderConstants) {
    // stream 0: v0 FLOAT3, v3 FLOAT3, v7 FLOAT2; c4 preloaded by the declaration.
    const std::vector<DWORD> decl = {0x20000000, 0x40020000, 0x40020003, 0x40010007,
                                     0x82000004, F(0.25f), F(0.5f), F(0.75f), F(1.0f), 0xFFFFFFFF};
    const std::vector<DWORD> vs = Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0),
                                                Opcode(Op::Mov), Dst(OD, 0), Src(C, 4)});
    DWORD vsHandle = 0;
    ASSERT_TRUE(MakeVertexShader(decl, vs, &vsHandle));
    const std::vector<DWORD> ps = Shader(PS14, {Opcode(Op::Def), Dst(C, 0), F(0), F(0), F(0.25f), F(0),
                                                Opcode(Op::Add), Dst(R, 0), Src(V, 0), Src(C, 1),
                                                Opcode(Op::Add), Dst(R, 0), Src(R, 0), Src(C, 0)});
    DWORD psHandle = 0;
    ASSERT_EQ(device->CreatePixelShader(ps.data(), &psHandle), D3D_OK);

    // The function reads back as given.
    DWORD bytes = 0;
    ASSERT_EQ(device->GetVertexShaderFunction(vsHandle, nullptr, &bytes), D3D_OK);
    std::vector<DWORD> back(bytes / 4);
    ASSERT_EQ(device->GetVertexShaderFunction(vsHandle, back.data(), &bytes), D3D_OK);
    EXPECT_EQ(back, vs);

    ASSERT_EQ(device->SetVertexShader(vsHandle), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(psHandle), D3D_OK);
    const float c1[4] = {0.25f, 0.25f, 0, 0};
    ASSERT_EQ(device->SetPixelShaderConstant(1, c1, 1), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DrawSquare();
    // (0.25, 0.5, 0.75) + (0.25, 0.25, 0) + (0, 0, 0.25)
    EXPECT_TRUE(Near(Pixel(ReadBackBuffer(), 32, 32), 0x80BFFF, 1)) << std::hex << Pixel(ReadBackBuffer(), 32, 32);

    // A changed constant reaches the next draw of the same (cached) program.
    const float c1b[4] = {0, 0, 0, 0};
    ASSERT_EQ(device->SetPixelShaderConstant(1, c1b, 1), D3D_OK);
    DrawSquare();
    EXPECT_TRUE(Near(Pixel(ReadBackBuffer(), 32, 32), 0x4080FF, 1)) << std::hex << Pixel(ReadBackBuffer(), 32, 32);

    // A shader that does not validate is refused.
    const std::vector<DWORD> bad = Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(T, 0)});
    DWORD badHandle = 0;
    EXPECT_EQ(device->CreatePixelShader(bad.data(), &badHandle), D3DERR_INVALIDCALL);
    device->SetVertexShader(0);
    device->SetPixelShader(0);
    device->DeleteVertexShader(vsHandle);
    device->DeletePixelShader(psHandle);
}

TEST_F(ShaderDeviceTest, ShaderPairMatchesFixedFunctionLitTexturedSquare) {
    // 2 x 2 texture: red, green / blue, white.
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const DWORD texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    for (int y = 0; y < 2; ++y) std::memcpy(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, texels + 2 * y, 8);
    texture->UnlockRect(0);
    device->SetTexture(0, texture);

    // Fixed function: one directional light along +z onto a square facing -z, ambient 0x202020.
    D3DMATERIAL8 m{};
    m.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    m.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_AMBIENT, 0x00202020u);
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    l.Direction = {0.0f, 0.0f, 1.0f};
    device->SetLight(0, &l);
    device->LightEnable(0, TRUE);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DrawSquare();
    std::vector<DWORD> fixed = ReadBackBuffer();

    // The same through shaders: c0..c3 the (identity) transform, c4 the light direction,
    // c6 light diffuse x material diffuse, c7 ambient.
    const std::vector<DWORD> decl = {0x20000000, 0x40020000, 0x40020003, 0x40010007, 0xFFFFFFFF};
    const std::vector<DWORD> vs = Shader(VS11, {
        Opcode(Op::M4x4), Dst(RAST, OPOS), Src(V, 0), Src(C, 0),
        Opcode(Op::Dp3), Dst(R, 0, 0x1), Src(V, 3), Src(C, 4, XYZW, 1),
        Opcode(Op::Max), Dst(R, 0, 0x1), Src(R, 0, XXXX), Src(C, 5, XXXX),
        Opcode(Op::Mul), Dst(R, 1), Src(R, 0, XXXX), Src(C, 6),
        Opcode(Op::Add), Dst(OD, 0), Src(R, 1), Src(C, 7),
        Opcode(Op::Mov), Dst(OT, 0), Src(V, 7)});
    DWORD vsHandle = 0;
    if (!MakeVertexShader(decl, vs, &vsHandle)) {
        texture->Release();
        return;
    }
    const std::vector<DWORD> ps = Shader(PS11, {Opcode(Op::Tex), Dst(T, 0),
                                                Opcode(Op::Mul), Dst(R, 0), Src(T, 0), Src(V, 0)});
    DWORD psHandle = 0;
    ASSERT_EQ(device->CreatePixelShader(ps.data(), &psHandle), D3D_OK);
    const float amb = 32.0f / 255.0f;
    const float constants[8][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 0, 1, 0},
                                   {0, 0, 0, 0}, {0.8f, 0.4f, 0.2f, 0}, {amb, amb, amb, 1}};
    device->SetVertexShaderConstant(0, constants, 8);
    device->SetVertexShader(vsHandle);
    device->SetPixelShader(psHandle);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DrawSquare();
    std::vector<DWORD> shaded = ReadBackBuffer();

    ASSERT_EQ(fixed.size(), shaded.size());
    int different = 0;
    for (size_t i = 0; i < fixed.size(); ++i) different += Near(fixed[i], shaded[i], 2) ? 0 : 1;
    EXPECT_EQ(different, 0);
    // Top-left quarter: the red texel times (amb + 0.8, amb + 0.4, amb + 0.2): 0.925 * 255 = 236.
    EXPECT_TRUE(Near(Pixel(shaded, 8, 8), 0xEC0000, 2)) << std::hex << Pixel(shaded, 8, 8);
    // Bottom-right: white texel, the colour itself.
    EXPECT_TRUE(Near(Pixel(shaded, 56, 56), 0xEC8653, 2)) << std::hex << Pixel(shaded, 56, 56);

    device->SetVertexShader(0);
    device->SetPixelShader(0);
    device->SetTexture(0, nullptr);
    device->DeleteVertexShader(vsHandle);
    device->DeletePixelShader(psHandle);
    texture->Release();
}

TEST_F(ShaderDeviceTest, AttributeFormatsRelativeAddressingAndBumpMapping) {
    struct Vertex {
        float x, y, z;
        D3DCOLOR colour;  // v5
        BYTE index[4];    // v2, UBYTE4
        float u, v;       // v7
    };
    const std::vector<DWORD> decl = {0x20000000, 0x40020000, 0x40040005, 0x40050002, 0x40010007, 0xFFFFFFFF};
    const std::vector<DWORD> vs = Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0),
                                                Opcode(Op::Mov), Dst(A, 0, 0x1), Src(V, 2, XXXX),
                                                Opcode(Op::Mov), Dst(OD, 0), Src(C, 10, XYZW, 0, true),
                                                Opcode(Op::Mov), Dst(OD, 1), Src(V, 5),
                                                Opcode(Op::Mov), Dst(OT, 0), Src(V, 7),
                                                Opcode(Op::Mov), Dst(OT, 1), Src(V, 7)});
    DWORD vsHandle = 0;
    ASSERT_TRUE(MakeVertexShader(decl, vs, &vsHandle));
    const float c13[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    device->SetVertexShaderConstant(13, c13, 1);
    device->SetVertexShader(vsHandle);

    auto draw = [&](const std::vector<DWORD>& ps) {
        DWORD handle = 0;
        EXPECT_EQ(device->CreatePixelShader(ps.data(), &handle), D3D_OK);
        device->SetPixelShader(handle);
        const Vertex v[4] = {{-1, 1, 0.5f, 0xFF336699, {3, 0, 0, 0}, 0.1f, 0.5f},
                             {1, 1, 0.5f, 0xFF336699, {3, 0, 0, 0}, 0.1f, 0.5f},
                             {-1, -1, 0.5f, 0xFF336699, {3, 0, 0, 0}, 0.1f, 0.5f},
                             {1, -1, 0.5f, 0xFF336699, {3, 0, 0, 0}, 0.1f, 0.5f}};
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
        DWORD pixel = Pixel(ReadBackBuffer(), 32, 32);
        device->SetPixelShader(0);
        device->DeletePixelShader(handle);
        return pixel;
    };
    // c[a0.x + 10] with a0.x = 3 from the UBYTE4 index.
    EXPECT_TRUE(Near(draw(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0)})), 0x336699, 1));
    // D3DCOLOR arrives as (r, g, b, a).
    EXPECT_TRUE(Near(draw(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(V, 1)})), 0x336699, 1));

    // texbem: stage 1 sampled at tc1 + BUMPENVMAT(stage 1) (t0.r, t0.g) with t0.r = 128/255 and
    // tc1.u = 0.1, over a red, green, blue, white strip: M00 = 0 -> u 0.1 (red), 0.5 -> 0.35
    // (green), 0.8 -> 0.5 (blue).
    IDirect3DTexture8* bump = nullptr;
    IDirect3DTexture8* strip = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bump), D3D_OK);
    ASSERT_EQ(device->CreateTexture(4, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &strip), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(bump->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const DWORD b = 0xFF800000;
    std::memcpy(lr.pBits, &b, 4);
    bump->UnlockRect(0);
    ASSERT_EQ(strip->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const DWORD texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    std::memcpy(lr.pBits, texels, 16);
    strip->UnlockRect(0);
    device->SetTexture(0, bump);
    device->SetTexture(1, strip);
    const std::vector<DWORD> bem = Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexBem), Dst(T, 1), Src(T, 0),
                                                 Opcode(Op::Mov), Dst(R, 0), Src(T, 1)});
    const std::pair<float, DWORD> cases[] = {{0.0f, 0xFF0000}, {0.5f, 0x00FF00}, {0.8f, 0x0000FF}};
    for (const auto& [m, expected] : cases) {
        device->SetTextureStageState(1, D3DTSS_BUMPENVMAT00, F(m));
        DWORD got = draw(bem);
        EXPECT_TRUE(Near(got, expected, 1)) << m << " " << std::hex << got;
    }
    // Both stages sampled in one program: t0 must come from stage 0.
    const std::vector<DWORD> both = Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::Tex), Dst(T, 1),
                                                  Opcode(Op::Mul), Dst(R, 0), Src(T, 0), Src(T, 1)});
    EXPECT_TRUE(Near(draw(both), 0x800000, 1));
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    bump->Release();
    strip->Release();

    device->SetVertexShader(0);
    device->DeleteVertexShader(vsHandle);
}

// Every declaration element type as a vertex shader reads it: the components the type holds, with
// the missing ones filled in as (0, 0, 0, 1), colours as (r, g, b, a) in 0..1, bytes and shorts as
// whole numbers. The shader maps each input into a colour: oD0 = v1 * c0 + c1.
TEST_F(ShaderDeviceTest, EveryDeclarationTypeReachesTheShaderWithItsDefaults) {
    struct Row {
        DWORD type;
        std::vector<BYTE> bytes;  // the element's data in the vertex
        float scale, offset;      // c0 and c1 (every component)
        std::array<float, 4> want;
    };
    auto floats = [](std::initializer_list<float> f) {
        std::vector<BYTE> b(f.size() * 4);
        std::memcpy(b.data(), std::data(f), b.size());
        return b;
    };
    auto shorts = [](std::initializer_list<int16_t> v) {
        std::vector<BYTE> b(v.size() * 2);
        std::memcpy(b.data(), std::data(v), b.size());
        return b;
    };
    const Row rows[] = {
        {D3DVSDT_FLOAT1, floats({0.25f}), 1, 0, {0.25f, 0, 0, 1}},
        {D3DVSDT_FLOAT2, floats({0.25f, 0.5f}), 1, 0, {0.25f, 0.5f, 0, 1}},
        {D3DVSDT_FLOAT3, floats({0.25f, 0.5f, 0.75f}), 1, 0, {0.25f, 0.5f, 0.75f, 1}},
        {D3DVSDT_FLOAT4, floats({0.25f, 0.5f, 0.75f, 0.125f}), 1, 0, {0.25f, 0.5f, 0.75f, 0.125f}},
        {D3DVSDT_D3DCOLOR, {0x99, 0x66, 0x33, 0xCC}, 1, 0, {0.2f, 0.4f, 0.6f, 0.8f}},  // 0xCC336699
        {D3DVSDT_UBYTE4, {3, 6, 9, 12}, 1.0f / 16, 0, {3 / 16.0f, 6 / 16.0f, 9 / 16.0f, 12 / 16.0f}},
        {D3DVSDT_SHORT2, shorts({100, -200}), 1.0f / 512, 0.5f, {0.5f + 100 / 512.0f, 0.5f - 200 / 512.0f, 0.5f, 0.5f + 1 / 512.0f}},
        {D3DVSDT_SHORT4, shorts({100, -200, 50, -25}), 1.0f / 512, 0.5f,
         {0.5f + 100 / 512.0f, 0.5f - 200 / 512.0f, 0.5f + 50 / 512.0f, 0.5f - 25 / 512.0f}},
    };
    params = Params(D3DFMT_A8R8G8B8);  // the fourth component shows in the alpha channel
    RefDeviceTest::CreateDevice();
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    for (const Row& row : rows) {
        const std::vector<DWORD> decl = {0x20000000, 0x40000000u | D3DVSDT_FLOAT3 << 16, 0x40000000u | row.type << 16 | 1,
                                         0xFFFFFFFF};
        // (One constant register per instruction: c1 goes through r0.)
        const std::vector<DWORD> fn =
            Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0), Opcode(Op::Mov), Dst(R, 0), Src(C, 1),
                          Opcode(Op::Mad), Dst(OD, 0), Src(V, 1), Src(C, 0), Src(R, 0)});
        DWORD handle = 0;
        ASSERT_TRUE(MakeVertexShader(decl, fn, &handle));
        const float c[8] = {row.scale, row.scale, row.scale, row.scale, row.offset, row.offset, row.offset, row.offset};
        device->SetVertexShaderConstant(0, c, 2);
        device->SetVertexShader(handle);
        const UINT stride = 12 + static_cast<UINT>(row.bytes.size());
        std::vector<BYTE> vertices(stride * 4);
        const float corners[4][3] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
        for (int i = 0; i < 4; ++i) {
            std::memcpy(&vertices[i * stride], corners[i], 12);
            std::memcpy(&vertices[i * stride + 12], row.bytes.data(), row.bytes.size());
        }
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices.data(), stride), D3D_OK);
        const DWORD got = ReadBackBuffer()[32 * kSize + 32];
        const int shifts[4] = {16, 8, 0, 24};  // x, y, z, w as red, green, blue, alpha
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(static_cast<int>((got >> shifts[k]) & 255), std::lround(row.want[k] * 255), 2)
                << "type " << row.type << " component " << "xyzw"[k];
        device->SetVertexShader(0);
        device->DeleteVertexShader(handle);
    }
}

}  // namespace
