// Every family of fixed-function state must produce a program that compiles and draws: blend weights, each
// light type, fog modes, texture-coordinate generation and projected transforms, point sprites, flat shading,
// clip planes and stencil. Where the result is easy to predict, the pixels are checked as well.
#include <cmath>

#include "tests/platform/d3d/D3DTestUtil.h"

namespace {

struct BlendVertex {
    float x, y, z, w0, w1, nx, ny, nz;
    D3DCOLOR c;
    float u, v, s, t, q;
};
constexpr DWORD kBlendFvf = D3DFVF_XYZB2 | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE2(0) |
                            D3DFVF_TEXCOORDSIZE3(1);

class GeneratorTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        D3DMATRIX id{};
        id._11 = id._22 = id._33 = id._44 = 1.0f;
        for (UINT i = 0; i < 4; ++i) device->SetTransform(D3DTS_WORLDMATRIX(i), &id);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    }
    void TearDown() override {
        device->SetTexture(0, nullptr);
        device->SetTexture(1, nullptr);
        texture->Release();
        DeviceTest::TearDown();
    }
    // A screen-covering triangle in clip space (identity transforms), weights 0.5/0.5.
    HRESULT Draw(D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST) {
        BlendVertex v[3] = {{-1, -1, 0.5f, 0.5f, 0.5f, 0, 0, -1, 0xFF808080u, 0, 0, 0, 0, 1},
                            {3, -1, 0.5f, 0.5f, 0.5f, 0, 0, -1, 0xFF808080u, 1, 0, 1, 0, 1},
                            {-1, 3, 0.5f, 0.5f, 0.5f, 0, 0, -1, 0xFF808080u, 0, 1, 0, 1, 1}};
        device->SetVertexShader(kBlendFvf);
        return device->DrawPrimitiveUP(type, type == D3DPT_POINTLIST ? 3 : 1, v, sizeof(BlendVertex));
    }
    IDirect3DTexture8* texture = nullptr;
};

TEST_F(GeneratorTest, EveryStateFamilyBuildsAProgramThatDraws) {
    // Program builds are slow on the software device, so each draw packs several variants into the stages.
    device->SetTexture(0, texture);
    device->SetTexture(1, texture);
    for (DWORD blend : {DWORD{D3DVBF_DISABLE}, DWORD{D3DVBF_2WEIGHTS}}) {
        device->SetRenderState(D3DRS_VERTEXBLEND, blend);
        EXPECT_EQ(Draw(), D3D_OK);
    }
    D3DLIGHT8 light{};
    light.Diffuse = light.Specular = light.Ambient = {1, 1, 1, 1};
    light.Position = {0, 0, -5};
    light.Direction = {0, 0, 1};
    light.Range = 100;
    light.Attenuation0 = 1;
    light.Theta = 0.5f;
    light.Phi = 1.0f;
    light.Falloff = 1.0f;
    for (D3DLIGHTTYPE type : {D3DLIGHT_POINT, D3DLIGHT_SPOT, D3DLIGHT_DIRECTIONAL}) {
        light.Type = type;
        device->SetLight(type, &light);
        device->LightEnable(type, TRUE);
    }
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR2);
    EXPECT_EQ(Draw(), D3D_OK);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    struct Fog {
        DWORD vertexMode, tableMode, range;
    } fogs[] = {{D3DFOG_NONE, D3DFOG_NONE, 0}, {D3DFOG_EXP, D3DFOG_NONE, 1}, {D3DFOG_EXP2, D3DFOG_NONE, 0},
                {D3DFOG_NONE, D3DFOG_EXP, 0}, {D3DFOG_NONE, D3DFOG_EXP2, 0}};
    for (const Fog& f : fogs) {
        device->SetRenderState(D3DRS_FOGVERTEXMODE, f.vertexMode);
        device->SetRenderState(D3DRS_FOGTABLEMODE, f.tableMode);
        device->SetRenderState(D3DRS_RANGEFOGENABLE, f.range);
        EXPECT_EQ(Draw(), D3D_OK);
    }
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    // Texture-coordinate generation and transforms: all sixteen combinations over two draws of eight stages.
    const DWORD gens[4] = {D3DTSS_TCI_PASSTHRU, D3DTSS_TCI_CAMERASPACENORMAL, D3DTSS_TCI_CAMERASPACEPOSITION,
                           D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR};
    const DWORD flags[4] = {D3DTTFF_DISABLE, D3DTTFF_COUNT2, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED,
                            D3DTTFF_COUNT4 | D3DTTFF_PROJECTED};
    for (int half = 0; half < 2; ++half) {
        for (DWORD s = 0; s < 8; ++s) {
            int combo = half * 8 + static_cast<int>(s);
            device->SetTexture(s, texture);
            device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_MODULATE);
            device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, gens[combo % 4] | (s & 1));
            device->SetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, flags[combo / 4]);
        }
        EXPECT_EQ(Draw(), D3D_OK) << "texture coordinates " << half;
    }
    // Every operation the caps claim, on colour and alpha, with argument modifiers and the temporary register.
    D3DCAPS8 caps;
    device->GetDeviceCaps(&caps);
    std::vector<DWORD> ops;
    for (DWORD op = D3DTOP_SELECTARG1; op <= D3DTOP_LERP; ++op) {
        if (caps.TextureOpCaps & (1u << (op - 1))) ops.push_back(op);
    }
    for (size_t first = 0; first < ops.size(); first += 8) {
        for (DWORD s = 0; s < 8; ++s) {
            DWORD op = ops[(first + s) % ops.size()];
            device->SetTextureStageState(s, D3DTSS_COLOROP, op);
            device->SetTextureStageState(s, D3DTSS_ALPHAOP, op);
            device->SetTextureStageState(s, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT);
            device->SetTextureStageState(s, D3DTSS_COLORARG2, s & 1 ? D3DTA_TEMP : D3DTA_CURRENT);
            device->SetTextureStageState(s, D3DTSS_ALPHAARG2, D3DTA_SPECULAR | D3DTA_ALPHAREPLICATE);
            device->SetTextureStageState(s, D3DTSS_RESULTARG, s & 1 ? D3DTA_CURRENT : D3DTA_TEMP);
        }
        EXPECT_EQ(Draw(), D3D_OK) << "ops from " << first;
        DWORD passes = 0;
        EXPECT_EQ(device->ValidateDevice(&passes), D3D_OK) << "ops from " << first;
    }
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    device->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    EXPECT_EQ(Draw(D3DPT_POINTLIST), D3D_OK);
    for (DWORD s = 0; s < 8; ++s) device->SetTexture(s, nullptr);
}

TEST_F(GeneratorTest, ClipPlanesCutAwayTheNegativeSide) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    // Keep x >= 0 (world space; identity transforms put it at the screen's middle column).
    const float plane[4] = {1, 0, 0, 0};
    ASSERT_EQ(device->SetClipPlane(0, plane), D3D_OK);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE0);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(Draw(), D3D_OK);
    auto p = ReadBackBuffer();
    EXPECT_EQ(Pixel(p, 16, 32), 0u);
    EXPECT_EQ(Pixel(p, 48, 32), 0x808080u);
}

TEST_F(GeneratorTest, StencilMasksLaterDrawing) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    // Stencil 1 in the left half only (a clear with a rectangle).
    D3DRECT left = {0, 0, 32, 64};
    device->Clear(1, &left, D3DCLEAR_STENCIL, 0, 1.0f, 1);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_STENCILREF, 1);
    ASSERT_EQ(Draw(), D3D_OK);
    auto p = ReadBackBuffer();
    EXPECT_EQ(Pixel(p, 16, 32), 0x808080u);
    EXPECT_EQ(Pixel(p, 48, 32), 0u);
}

TEST_F(GeneratorTest, BlendWeightsMixTheWorldMatrices) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    // World 0 moves right by 1, world 1 by -1: half and half stays put; world 0 alone moves it.
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    m._41 = 1.0f;
    device->SetTransform(D3DTS_WORLDMATRIX(0), &m);
    m._41 = -1.0f;
    device->SetTransform(D3DTS_WORLDMATRIX(1), &m);
    struct V {
        float x, y, z, w;
        D3DCOLOR c;
    } v[3] = {{-0.25f, -0.25f, 0.5f, 0.5f, 0xFFFFFFFFu}, {0.25f, -0.25f, 0.5f, 0.5f, 0xFFFFFFFFu},
              {0.0f, 0.25f, 0.5f, 0.5f, 0xFFFFFFFFu}};
    device->SetVertexShader(D3DFVF_XYZB1 | D3DFVF_DIFFUSE);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 34), 0xFFFFFFu);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    auto p = ReadBackBuffer();
    EXPECT_EQ(Pixel(p, 32, 34), 0u);
    EXPECT_EQ(Pixel(p, 63, 34), 0xFFFFFFu);
}

}  // namespace
