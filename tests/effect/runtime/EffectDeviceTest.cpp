// The effect runtime on the REF device: drawing with a technique, saving and restoring states,
// parameters applied between Pass and End, shared light descriptions, shader constants, caps-based
// technique fallback, device loss, and the state blocks and shaders it leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "effect/DataBuffer.h"
#include "effect/runtime/CreateEffect.h"
#include "effect/runtime/EffectFile.h"
#include "effect/runtime/EffectValidation.h"
#include "effect/runtime/EffectValue.h"
#include "platform/d3d/d3d8.h"
#include "tests/effect/runtime/BlockWriter.h"
#include "tests/effect/runtime/CountingDevice.h"
#include "tests/support/RefDeviceTest.h"

using namespace blockwriter;

namespace {

constexpr DWORD kRender = 0x01000000;
constexpr DWORD kStage = 0x02000000;
constexpr DWORD kLightDiffuse = 0x03000001, kLightRange = 0x03000006, kLightEnable = 0x0300000D;
constexpr DWORD kTexture = 0x05000000;
constexpr DWORD kVertexShader = 0x06000000, kPixelShader = 0x06000001, kVertexConstant4 = 0x06000402;

Node Rs(D3DRENDERSTATETYPE state, DWORD value) { return Assignment(EFFECT_DWORD, kRender | state, 0, DwordValue(value)); }
Node Tss(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
    return Assignment(EFFECT_DWORD, kStage | state, stage, DwordValue(value));
}

// A pass that fills the screen with the texture factor, which comes from the VECTOR parameter "tint".
std::vector<Node> FactorPass() {
    return {Rs(D3DRS_CULLMODE, D3DCULL_NONE), Rs(D3DRS_LIGHTING, FALSE), Rs(D3DRS_ZENABLE, FALSE),
            Assignment(EFFECT_DWORD, kRender | D3DRS_TEXTUREFACTOR, 0, Reference(EFFECT_VECTOR, 0)),
            Tss(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), Tss(0, D3DTSS_COLORARG1, D3DTA_TFACTOR)};
}

// ps.1.1 "mov r0, v0" and vs.1.1 "mov oPos, v0" as token streams, with the declaration part of a
// compiled value in front.
std::vector<DWORD> PixelShaderPayload() { return {0, 0xFFFF0101, 0x00000001, 0x800F0000, 0x90E40000, 0x0000FFFF}; }
std::vector<DWORD> VertexShaderPayload(DWORD version) {
    return {3, D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END(),
            version, 0x00000001, 0xC00F0000, 0x90E40000, 0x0000FFFF};
}

struct Vertex {
    float x, y, z, rhw, u, v;
};

// Each test makes its device itself (CreateDevice), after any caps editor it needs.
class EffectDeviceTest : public RefDeviceTest {
protected:
    EffectDeviceTest() { createDeviceInSetUp = false; }

    EffectFile* Make(const Node& root, IDirect3DDevice8* on = nullptr) {
        std::vector<DWORD> words = Serialize(root);
        EffectFile* effect = nullptr;
        EXPECT_EQ(S_OK, CreateEffectFromCompiledBlock(on ? on : device, words.data(), words.size() * 4, &effect));
        return effect;
    }

    IDirect3DTexture8* SolidTexture(D3DCOLOR color, D3DPOOL pool = D3DPOOL_MANAGED) {
        IDirect3DTexture8* texture = nullptr;
        EXPECT_EQ(S_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, pool, &texture));
        if (!texture || pool == D3DPOOL_DEFAULT) return texture;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(S_OK, texture->LockRect(0, &locked, nullptr, 0));
        for (int y = 0; y < 4; ++y) {
            DWORD* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
            for (int x = 0; x < 4; ++x) row[x] = color;
        }
        texture->UnlockRect(0);
        return texture;
    }

    // Clears to blue and draws one screen-filling quad with the states as they are.
    void DrawQuad() {
        const float s = static_cast<float>(kSize);
        const Vertex quad[4] = {{0, 0, 0.5f, 1, 0, 0}, {s, 0, 0.5f, 1, 1, 0}, {0, s, 0.5f, 1, 0, 1}, {s, s, 0.5f, 1, 1, 1}};
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
        device->BeginScene();
        device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_TEX1);
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        device->EndScene();
    }

    // The centre pixel of the back buffer, without its (undefined) top byte.
    DWORD CentrePixel() {
        std::vector<DWORD> pixels = ReadBackBuffer();
        return pixels.empty() ? 0 : pixels[(kSize / 2) * kSize + kSize / 2] & 0xFFFFFF;
    }

    DWORD RenderState(D3DRENDERSTATETYPE state) {
        DWORD value = 0;
        device->GetRenderState(state, &value);
        return value;
    }
    DWORD StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state) {
        DWORD value = 0;
        device->GetTextureStageState(stage, state, &value);
        return value;
    }
};

TEST_F(EffectDeviceTest, DrawsWithATechniqueAndRestoresTheStatesItTouched) {
    CreateDevice();
    EffectFile* effect = Make(Root({Parameter(EFFECT_VECTOR, "tint", VectorValue(0, 1, 0, 1)),
                                    Technique("factor", {Pass("p", FactorPass())})}));
    ASSERT_TRUE(effect);
    const DWORD cull = RenderState(D3DRS_CULLMODE), lighting = RenderState(D3DRS_LIGHTING),
                factor = RenderState(D3DRS_TEXTUREFACTOR), colorOp = StageState(0, D3DTSS_COLOROP),
                colorArg = StageState(0, D3DTSS_COLORARG1);
    ASSERT_EQ(S_OK, effect->Validate());

    UINT passes = 0;
    ASSERT_EQ(S_OK, effect->Begin(&passes, 0));
    EXPECT_EQ(1u, passes);
    ASSERT_EQ(S_OK, effect->Pass(0));
    EXPECT_EQ(0xFF00FF00u, RenderState(D3DRS_TEXTUREFACTOR));  // the VECTOR parameter as a colour word
    DrawQuad();
    EXPECT_EQ(0x00FF00u, CentrePixel());
    ASSERT_EQ(S_OK, effect->End());
    EXPECT_EQ(cull, RenderState(D3DRS_CULLMODE));
    EXPECT_EQ(lighting, RenderState(D3DRS_LIGHTING));
    EXPECT_EQ(factor, RenderState(D3DRS_TEXTUREFACTOR));
    EXPECT_EQ(colorOp, StageState(0, D3DTSS_COLOROP));
    EXPECT_EQ(colorArg, StageState(0, D3DTSS_COLORARG1));

    // A changed parameter reaches the next Pass; with flag bit 0 the states stay changed after End.
    const float red[4] = {1, 0, 0, 1};
    ASSERT_EQ(S_OK, effect->SetVector("tint", red));
    ASSERT_EQ(S_OK, effect->Begin(nullptr, EFFECT_DONOTSAVESTATE));
    ASSERT_EQ(S_OK, effect->Pass(0));
    DrawQuad();
    EXPECT_EQ(0xFF0000u, CentrePixel());
    ASSERT_EQ(S_OK, effect->End());
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_NONE), RenderState(D3DRS_CULLMODE));
    EXPECT_EQ(0xFFFF0000u, RenderState(D3DRS_TEXTUREFACTOR));
    effect->Release();
}

TEST_F(EffectDeviceTest, TextureSetBetweenPassAndEndAppliesAtOnceButIsNotStored) {
    CreateDevice();
    EffectFile* effect = Make(Root({Parameter(EFFECT_TEXTURE, "texBase"),
                                    Technique("t", {Pass("p", {Rs(D3DRS_CULLMODE, D3DCULL_NONE), Rs(D3DRS_LIGHTING, FALSE),
                                                               Assignment(EFFECT_TEXTURE, kTexture, 0, Reference(EFFECT_TEXTURE, 0)),
                                                               Tss(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1),
                                                               Tss(0, D3DTSS_COLORARG1, D3DTA_TEXTURE)})})}));
    ASSERT_TRUE(effect);
    IDirect3DTexture8* green = SolidTexture(0xFF00FF00);
    IDirect3DTexture8* red = SolidTexture(0xFFFF0000);
    char name[] = "texBase";  // a different pointer with the same text
    ASSERT_EQ(S_OK, effect->SetTexture(name, green));
    ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(S_OK, effect->Pass(0));
    DrawQuad();
    EXPECT_EQ(0x00FF00u, CentrePixel());

    ASSERT_EQ(S_OK, effect->SetTexture("texBase", red));
    IDirect3DBaseTexture8* stage = nullptr;
    device->GetTexture(0, &stage);
    EXPECT_EQ(static_cast<IDirect3DBaseTexture8*>(red), stage);
    if (stage) stage->Release();
    DrawQuad();
    EXPECT_EQ(0xFF0000u, CentrePixel());
    IDirect3DBaseTexture8* stored = nullptr;
    ASSERT_EQ(S_OK, effect->GetTexture("texBase", &stored));
    EXPECT_EQ(static_cast<IDirect3DBaseTexture8*>(green), stored);
    if (stored) stored->Release();

    ASSERT_EQ(S_OK, effect->Pass(0));  // the stored texture again
    DrawQuad();
    EXPECT_EQ(0x00FF00u, CentrePixel());
    ASSERT_EQ(S_OK, effect->End());
    effect->Release();
    // The effect let go of both textures: ours are the last references.
    EXPECT_EQ(0u, green->Release());
    EXPECT_EQ(0u, red->Release());
}

TEST_F(EffectDeviceTest, LightAssignmentsOfOnePassShareOneDescription) {
    CreateDevice();
    EffectFile* effect = Make(Root({Technique("t", {Pass("p", {
        Assignment(EFFECT_VECTOR, kLightDiffuse, 0, VectorValue(1, 0, 0, 1)),
        Assignment(EFFECT_FLOAT, kLightRange, 3, FloatValue(50.0f)),
        Assignment(EFFECT_DWORD, kLightEnable, 3, DwordValue(TRUE))})})}));
    ASSERT_TRUE(effect);
    ASSERT_EQ(S_OK, effect->Begin(nullptr, EFFECT_DONOTSAVESTATE));
    ASSERT_EQ(S_OK, effect->Pass(0));
    D3DLIGHT8 light0{}, light3{};
    ASSERT_EQ(S_OK, device->GetLight(0, &light0));
    ASSERT_EQ(S_OK, device->GetLight(3, &light3));
    EXPECT_EQ(D3DLIGHT_DIRECTIONAL, light3.Type);
    EXPECT_EQ(1.0f, light3.Diffuse.r);  // set through light 0's assignment
    EXPECT_EQ(0.0f, light3.Diffuse.g);
    EXPECT_EQ(50.0f, light3.Range);
    EXPECT_EQ(1.0f, light0.Diffuse.r);
    EXPECT_EQ(1.0f, light0.Direction.z);
    BOOL enabled = FALSE;
    device->GetLightEnable(3, &enabled);
    EXPECT_TRUE(enabled);
    ASSERT_EQ(S_OK, effect->End());
    effect->Release();
}

TEST_F(EffectDeviceTest, MatrixParameterReachesVertexShaderConstantsTransposed) {
    CreateDevice();
    EffectFile* effect = Make(Root({Parameter(EFFECT_MATRIX, "world"),
                                    Technique("t", {Pass("p", {Assignment(EFFECT_CONSTANT, kVertexConstant4, 4,
                                                                          Reference(EFFECT_MATRIX, 0))})})}));
    ASSERT_TRUE(effect);
    D3DMATRIX m;
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = static_cast<float>(i + 1);
    ASSERT_EQ(S_OK, effect->SetMatrix("world", &m));
    ASSERT_EQ(S_OK, effect->Begin(nullptr, EFFECT_DONOTSAVESTATE));
    ASSERT_EQ(S_OK, effect->Pass(0));
    float registers[16] = {};
    ASSERT_EQ(S_OK, device->GetVertexShaderConstant(4, registers, 4));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[c][r], registers[r * 4 + c]) << r << "," << c;

    // Between Pass and End a transposed matrix goes to the registers as given.
    ASSERT_EQ(S_OK, effect->SetMatrixTranspose("world", &m));
    ASSERT_EQ(S_OK, device->GetVertexShaderConstant(4, registers, 4));
    EXPECT_EQ(0, std::memcmp(&m, registers, sizeof registers));
    ASSERT_EQ(S_OK, effect->End());
    effect->Release();
}

TEST_F(EffectDeviceTest, FindNextValidTechniqueSkipsWhatTheCapsRefuse) {
    d3dhost::SetCapsEditor(D3DDEVTYPE_REF, [](D3DCAPS8& caps) { caps.SrcBlendCaps &= ~D3DPBLENDCAPS_INVSRCALPHA; });
    CreateDevice();
    EffectFile* effect = Make(Root({
        Technique("plain", {Pass("p", {Rs(D3DRS_CULLMODE, D3DCULL_NONE)})}),
        Technique("blend", {Pass("p", {Rs(D3DRS_SRCBLEND, D3DBLEND_INVSRCALPHA)})}),
        Technique("plain2", {Pass("p", {Rs(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA)})}),
        // A pixel shader of a version no device here offers is never made, so it cannot validate.
        Technique("ps3", {Pass("p", {Assignment(EFFECT_PIXELSHADER, kPixelShader, 0,
                                                Value(EFFECT_PIXELSHADER, {0, 0xFFFF0300, 0x0000FFFF}))})}),
        Technique("zfunc0", {Pass("p", {Assignment(EFFECT_TEXTURE, kTexture, 0, DwordValue(0)),
                                        Rs(D3DRS_ZFUNC, 0)})}),
    }));
    ASSERT_TRUE(effect);
    EffectTechniqueDesc desc{};
    ASSERT_EQ(S_OK, effect->FindNextValidTechnique(nullptr, &desc));
    EXPECT_STREQ("plain", desc.Name);
    ASSERT_EQ(S_OK, effect->FindNextValidTechnique(1, &desc));
    EXPECT_EQ(2u, desc.Index);
    ASSERT_EQ(S_OK, effect->FindNextValidTechnique("blend", &desc));
    EXPECT_STREQ("plain2", desc.Name);
    EXPECT_EQ(E_FAIL, effect->FindNextValidTechnique(3, &desc));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->FindNextValidTechnique("missing", &desc));
    // The description is not optional: without it the call is refused and nothing changes.
    const char* before = nullptr;
    const char* after = nullptr;
    ASSERT_EQ(S_OK, effect->GetTechnique(&before));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->FindNextValidTechnique(nullptr, nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->FindNextValidTechnique(1, nullptr));
    ASSERT_EQ(S_OK, effect->GetTechnique(&after));
    EXPECT_STREQ(before, after);

    ASSERT_EQ(S_OK, effect->SetTechnique("blend"));
    EXPECT_EQ(E_FAIL, effect->Validate());
    ASSERT_EQ(S_OK, effect->SetTechnique("ps3"));
    EXPECT_EQ(E_FAIL, effect->Validate());
    ASSERT_EQ(S_OK, effect->SetTechnique(4));
    EXPECT_EQ(E_FAIL, effect->Validate());  // ZFUNC 0 has no capability bit
    effect->Release();
}

TEST_F(EffectDeviceTest, WrongStateCallsAreRefusedAndChangeNothing) {
    CreateDevice();
    EffectFile* empty = Make(Root({Parameter(EFFECT_DWORD, "d")}));
    ASSERT_TRUE(empty);
    UINT passes = 77;
    ASSERT_EQ(S_OK, empty->Begin(&passes, 0));
    EXPECT_EQ(77u, passes);  // no technique: the count is not written
    EXPECT_EQ(D3DERR_INVALIDCALL, empty->Pass(0));
    EXPECT_EQ(S_OK, empty->End());
    const char* name = nullptr;
    EXPECT_EQ(E_FAIL, empty->GetTechnique(&name));
    EXPECT_EQ(S_OK, empty->Validate());
    EffectTechniqueDesc none{};
    EXPECT_EQ(E_FAIL, empty->FindNextValidTechnique(nullptr, &none));
    empty->Release();

    EffectFile* effect = Make(Root({Parameter(EFFECT_VECTOR, "tint"), Technique("a", {Pass("p", FactorPass())}),
                                    Technique("b", {Pass("p", FactorPass()), Pass("q", {})})}));
    ASSERT_TRUE(effect);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->Pass(0));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->End());
    ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->Begin(nullptr, 0));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetTechnique(1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->Validate());
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->Pass(1));
    ASSERT_EQ(S_OK, effect->GetTechnique(&name));
    EXPECT_STREQ("a", name);
    EXPECT_EQ(S_OK, effect->End());
    ASSERT_EQ(S_OK, effect->SetTechnique(1));
    ASSERT_EQ(S_OK, effect->Begin(&passes, 0));
    EXPECT_EQ(2u, passes);
    EXPECT_EQ(S_OK, effect->Pass(1));
    EXPECT_EQ(S_OK, effect->End());
    effect->Release();
}

TEST_F(EffectDeviceTest, CloneCopiesValuesAndDrawsOnItsOwn) {
    CreateDevice();
    EffectFile* effect = Make(Root({Parameter(EFFECT_VECTOR, "tint", VectorValue(0, 1, 0, 1)),
                                    Technique("factor", {Pass("p", FactorPass())})}));
    ASSERT_TRUE(effect);
    const float red[4] = {1, 0, 0, 1};
    effect->SetVector("tint", red);
    EffectFile* clone = nullptr;
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->CloneEffect(nullptr, &clone));
    ASSERT_EQ(S_OK, effect->CloneEffect(device, &clone));
    const float blue[4] = {0, 0, 1, 1};
    effect->SetVector("tint", blue);
    float v[4];
    clone->GetVector("tint", v);
    EXPECT_EQ(1.0f, v[0]);
    effect->Release();  // the clone keeps what it shares
    ASSERT_EQ(S_OK, clone->Begin(nullptr, 0));
    ASSERT_EQ(S_OK, clone->Pass(0));
    DrawQuad();
    EXPECT_EQ(0xFF0000u, CentrePixel());
    ASSERT_EQ(S_OK, clone->End());
    clone->Release();
}

TEST_F(EffectDeviceTest, OnLostDeviceThenResetAndDrawAgain) {
    CreateDevice();
    EffectFile* effect = Make(Root({Parameter(EFFECT_VECTOR, "tint", VectorValue(0, 1, 0, 1)),
                                    Parameter(EFFECT_TEXTURE, "scratch"),
                                    Technique("factor", {Pass("p", FactorPass())})}));
    ASSERT_TRUE(effect);
    IDirect3DTexture8* target = SolidTexture(0, D3DPOOL_DEFAULT);
    ASSERT_EQ(S_OK, effect->SetTexture("scratch", target));
    target->Release();
    ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(S_OK, effect->Pass(0));
    DrawQuad();
    EXPECT_EQ(0x00FF00u, CentrePixel());

    ASSERT_EQ(S_OK, d3dhost::ForceDeviceLoss(device));
    ASSERT_EQ(S_OK, effect->OnLostDevice());  // also ends the Begin
    IDirect3DBaseTexture8* texture = reinterpret_cast<IDirect3DBaseTexture8*>(1);
    ASSERT_EQ(S_OK, effect->GetTexture("scratch", &texture));
    EXPECT_EQ(nullptr, texture);  // default-pool textures are let go
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->Pass(0));
    device->TestCooperativeLevel();
    ASSERT_EQ(S_OK, device->Reset(&params));
    ASSERT_EQ(S_OK, effect->OnResetDevice());

    const DWORD cull = RenderState(D3DRS_CULLMODE);
    ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(S_OK, effect->Pass(0));
    DrawQuad();
    EXPECT_EQ(0x00FF00u, CentrePixel());
    ASSERT_EQ(S_OK, effect->End());
    EXPECT_EQ(cull, RenderState(D3DRS_CULLMODE));
    effect->Release();
}

TEST_F(EffectDeviceTest, NoStateBlocksOrShadersLeakAcrossLoseResetCycles) {
    CreateDevice();
    CountingDevice* counting = new CountingDevice(device);
    const DWORD declaration[] = {3, D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    EffectFile* effect = Make(Root({Parameter(EFFECT_VECTOR, "tint"),
                                    Technique("t", {Pass("p", FactorPass()),
                                                    Pass("q", {Assignment(EFFECT_VERTEXSHADER, kVertexShader, 0,
                                                                          Value(EFFECT_VERTEXSHADER, std::vector<DWORD>(
                                                                              declaration, declaration + 4))),
                                                               Assignment(EFFECT_PIXELSHADER, kPixelShader, 0,
                                                                          Value(EFFECT_PIXELSHADER, PixelShaderPayload()))})})}),
                              counting);
    ASSERT_TRUE(effect);
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
        ASSERT_EQ(S_OK, effect->Pass(0));
        ASSERT_EQ(S_OK, effect->Pass(1));
        ASSERT_EQ(S_OK, effect->End());
        ASSERT_EQ(3, counting->stateBlocks);  // the technique's and one per pass
        ASSERT_EQ(1, counting->vertexShaders);  // made on first use, once
        ASSERT_EQ(1, counting->pixelShaders);
        effect->OnLostDevice();
        ASSERT_EQ(0, counting->stateBlocks);
        ASSERT_EQ(0, counting->vertexShaders);
        ASSERT_EQ(0, counting->pixelShaders);
        effect->OnResetDevice();
    }
    ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(S_OK, effect->Pass(1));
    ASSERT_EQ(S_OK, effect->End());
    effect->Release();
    EXPECT_EQ(0, counting->stateBlocks);
    EXPECT_EQ(0, counting->vertexShaders);
    EXPECT_EQ(0, counting->pixelShaders);
    counting->Release();
}

}  // namespace

namespace {

// The demo's effect files through the compiler's CreateEffectFromFile: each has a technique the
// REF device validates, and drawing with it restores what it changed.
TEST_F(EffectDeviceTest, DemoEffectsCreateValidateAndDraw) {
    CreateDevice();
    const char* source = std::getenv("SIMMERGLASS_SOURCE_DIR");
    ASSERT_TRUE(source);
    IDirect3DTexture8* texture = SolidTexture(0xFF808080);
    for (const char* file : {"Water.sha", "Particle.sha", "BaseTexEnvi.sha", "BlendEnvi.sha"}) {
        std::string path = std::string(source) + "/media/efx/" + file;
        EffectFile* effect = nullptr;
        DataBuffer* messages = nullptr;
        ASSERT_EQ(S_OK, CreateEffectFromFile(device, path.c_str(), &effect, &messages)) << path;
        messages->Release();
        EffectTechniqueDesc desc{};
        ASSERT_EQ(S_OK, effect->FindNextValidTechnique(nullptr, &desc)) << file;
        ASSERT_EQ(S_OK, effect->SetTechnique(desc.Name));
        for (const char* name : {"texParticle", "texBase", "texEnvi"}) {
            EffectParameterDesc parameter;
            if (SUCCEEDED(effect->GetParameterDesc(name, &parameter))) {
                EXPECT_EQ(S_OK, effect->SetTexture(name, texture)) << file << " " << name;
            }
        }
        const DWORD cull = RenderState(D3DRS_CULLMODE), blend = RenderState(D3DRS_ALPHABLENDENABLE),
                    zwrite = RenderState(D3DRS_ZWRITEENABLE);
        UINT passes = 0;
        ASSERT_EQ(S_OK, effect->Begin(&passes, 0));
        EXPECT_EQ(desc.Passes, passes);
        for (UINT p = 0; p < passes; ++p) {
            ASSERT_EQ(S_OK, effect->Pass(p)) << file;
            DrawQuad();
        }
        ASSERT_EQ(S_OK, effect->End());
        EXPECT_EQ(cull, RenderState(D3DRS_CULLMODE)) << file;
        EXPECT_EQ(blend, RenderState(D3DRS_ALPHABLENDENABLE)) << file;
        EXPECT_EQ(zwrite, RenderState(D3DRS_ZWRITEENABLE)) << file;
        effect->Release();
    }
    texture->Release();
}

// A created vertex shader given to a parameter is read back, so the value makes its own; a vertex
// format is kept as it is.
TEST_F(EffectDeviceTest, VertexShaderParameterTakesTheTokensOfACreatedShader) {
    CreateDevice();
    EffectFile* effect = Make(Root({Parameter(EFFECT_VERTEXSHADER, "vs")}));
    ASSERT_TRUE(effect);
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    DWORD created = 0;
    ASSERT_EQ(S_OK, device->CreateVertexShader(declaration, nullptr, &created, D3DUSAGE_SOFTWAREPROCESSING));
    ASSERT_EQ(S_OK, effect->SetVertexShader("vs", created));
    DWORD own = 0;
    ASSERT_EQ(S_OK, effect->GetVertexShader("vs", &own));
    EXPECT_NE(created, own);
    EXPECT_NE(kNoShaderHandle, own);
    DWORD tokens[8] = {};
    DWORD size = sizeof tokens;
    ASSERT_EQ(S_OK, device->GetVertexShaderDeclaration(own, tokens, &size));
    EXPECT_EQ(sizeof declaration, size);
    EXPECT_EQ(0, std::memcmp(declaration, tokens, sizeof declaration));
    device->DeleteVertexShader(created);

    ASSERT_EQ(S_OK, effect->SetVertexShader("vs", D3DFVF_XYZ | D3DFVF_DIFFUSE));
    ASSERT_EQ(S_OK, effect->GetVertexShader("vs", &own));
    EXPECT_EQ(D3DFVF_XYZ | D3DFVF_DIFFUSE, own);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetVertexShader("vs", 0x12345));  // odd, but no shader of ours
    effect->Release();
}

}  // namespace

namespace {

// A constant state with a fixed register count never sends more registers than its value holds,
// and such an assignment does not validate.
TEST_F(EffectDeviceTest, ConstantStateSendsNoMoreRegistersThanTheValueHolds) {
    CreateDevice();
    EffectFile* effect = Make(Root({Technique("t", {Pass("p", {Assignment(EFFECT_CONSTANT, kVertexConstant4, 0,
                                                                          VectorValue(1, 2, 3, 4))})})}));
    ASSERT_TRUE(effect);
    const float marker[4] = {9, 9, 9, 9};
    device->SetVertexShaderConstant(1, marker, 1);
    ASSERT_EQ(S_OK, effect->Begin(nullptr, EFFECT_DONOTSAVESTATE));
    ASSERT_EQ(S_OK, effect->Pass(0));
    float registers[8] = {};
    ASSERT_EQ(S_OK, device->GetVertexShaderConstant(0, registers, 2));
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4, 9, 9, 9, 9}), std::vector<float>(registers, registers + 8));
    ASSERT_EQ(S_OK, effect->End());
    EXPECT_EQ(E_FAIL, effect->Validate());
    effect->Release();
}

// A clone on another device shares neither state blocks nor shaders with its source: everything it
// uses is made on its own device, and let go with it.
TEST_F(EffectDeviceTest, CloneOnAnotherDeviceMakesItsOwnBlocksAndShaders) {
    CreateDevice();
    const DWORD declaration[] = {3, D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    EffectFile* effect = Make(Root({Technique("t", {Pass("p", {Rs(D3DRS_CULLMODE, D3DCULL_NONE),
        Assignment(EFFECT_VERTEXSHADER, kVertexShader, 0,
                   Value(EFFECT_VERTEXSHADER, std::vector<DWORD>(declaration, declaration + 4)))})})}));
    ASSERT_TRUE(effect);
    ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(S_OK, effect->Pass(0));
    ASSERT_EQ(S_OK, effect->End());

    CountingDevice* other = new CountingDevice(device);
    EffectFile* clone = nullptr;
    ASSERT_EQ(S_OK, effect->CloneEffect(other, &clone));
    effect->Release();
    ASSERT_EQ(S_OK, clone->Begin(nullptr, 0));
    ASSERT_EQ(S_OK, clone->Pass(0));
    ASSERT_EQ(S_OK, clone->End());
    EXPECT_EQ(2, other->stateBlocks);
    EXPECT_EQ(1, other->vertexShaders);
    clone->Release();
    EXPECT_EQ(0, other->stateBlocks);
    EXPECT_EQ(0, other->vertexShaders);
    other->Release();
}

}  // namespace

namespace {

// On a device that switches between software and hardware vertex processing, a vertex-shader
// value is applied on every Pass and makes one shader per mode, each on first use; a shader of a
// version above the device's is never made, so its technique does not validate.
TEST_F(EffectDeviceTest, MixedDeviceMakesOneShaderPerProcessingMode) {
    CreateDevice(D3DCREATE_MIXED_VERTEXPROCESSING);
    CountingDevice* counting = new CountingDevice(device);
    EffectFile* effect = Make(Root({
        Technique("vs11", {Pass("p", {Assignment(EFFECT_VERTEXSHADER, kVertexShader, 0,
                                                 Value(EFFECT_VERTEXSHADER, VertexShaderPayload(0xFFFE0101)))})}),
        Technique("vs20", {Pass("p", {Assignment(EFFECT_VERTEXSHADER, kVertexShader, 0,
                                                 Value(EFFECT_VERTEXSHADER, VertexShaderPayload(0xFFFE0200)))})}),
    }), counting);
    ASSERT_TRUE(effect);
    ASSERT_EQ(S_OK, effect->Validate());
    device->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, FALSE);
    ASSERT_EQ(S_OK, effect->Begin(nullptr, EFFECT_DONOTSAVESTATE));
    ASSERT_EQ(S_OK, effect->Pass(0));
    DWORD hardware = 0, software = 0;
    device->GetVertexShader(&hardware);
    EXPECT_EQ(1u, hardware & 1);
    device->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, TRUE);
    ASSERT_EQ(S_OK, effect->Pass(0));
    device->GetVertexShader(&software);
    EXPECT_EQ(1u, software & 1);
    EXPECT_NE(hardware, software);
    EXPECT_EQ(2, counting->vertexShaders);
    ASSERT_EQ(S_OK, effect->Pass(0));
    EXPECT_EQ(2, counting->vertexShaders);
    ASSERT_EQ(S_OK, effect->End());

    ASSERT_EQ(S_OK, effect->SetTechnique("vs20"));
    EXPECT_EQ(E_FAIL, effect->Validate());
    effect->OnLostDevice();
    EXPECT_EQ(0, counting->vertexShaders);
    effect->Release();
    counting->Release();
}

}  // namespace

namespace {

// A technique of a vertex and a pixel shader fed by a parameter through a shader constant.
TEST_F(EffectDeviceTest, DrawsWithShadersAndAConstantFromAParameter) {
    CreateDevice();
    const DWORD vertexShader[] = {3, D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END(),
                                  0xFFFE0101, 0x00000001, 0xC00F0000, 0x90E40000,   // mov oPos, v0
                                  0x00000001, 0xD00F0000, 0xA0E40000, 0x0000FFFF};  // mov oD0, c0
    EffectFile* effect = Make(Root({
        Parameter(EFFECT_VECTOR, "color", VectorValue(1, 0, 1, 1)),
        Technique("shaders", {Pass("p", {
            Rs(D3DRS_CULLMODE, D3DCULL_NONE), Rs(D3DRS_ZENABLE, FALSE),
            Assignment(EFFECT_CONSTANT, 0x06000102, 0, Reference(EFFECT_VECTOR, 0)),
            Assignment(EFFECT_VERTEXSHADER, kVertexShader, 0,
                       Value(EFFECT_VERTEXSHADER, std::vector<DWORD>(std::begin(vertexShader), std::end(vertexShader)))),
            Assignment(EFFECT_PIXELSHADER, kPixelShader, 0, Value(EFFECT_PIXELSHADER, PixelShaderPayload()))})}),
    }));
    ASSERT_TRUE(effect);
    ASSERT_EQ(S_OK, effect->Validate());
    const float quad[4][3] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(S_OK, effect->Pass(0));
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device->BeginScene();
    EXPECT_EQ(S_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]));
    device->EndScene();
    EXPECT_EQ(0xFF00FFu, CentrePixel());
    ASSERT_EQ(S_OK, effect->End());
    DWORD handle = 1;
    device->GetPixelShader(&handle);
    EXPECT_EQ(0u, handle);  // restored: no pixel shader before Begin
    effect->Release();
}

}  // namespace

// The reason for an invalid technique comes from the checks Validate runs: the same result for
// every technique, and the pass, state and value that were refused.
TEST_F(EffectDeviceTest, ExplainNamesWhatValidateRefused) {
    d3dhost::SetCapsEditor(D3DDEVTYPE_REF, [](D3DCAPS8& caps) {
        caps.SrcBlendCaps &= ~D3DPBLENDCAPS_INVSRCALPHA;
        caps.MaxVertexBlendMatrixIndex = 0;
    });
    CreateDevice();
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    constexpr DWORD kWorldTransform = 0x07000002;
    EffectFile* effect = Make(Root({
        Technique("plain", {Pass("p", {Rs(D3DRS_CULLMODE, D3DCULL_NONE)})}),
        Technique("blend", {Pass("first", {Rs(D3DRS_CULLMODE, D3DCULL_NONE)}),
                            Pass("second", {Rs(D3DRS_SRCBLEND, D3DBLEND_INVSRCALPHA)})}),
        Technique("world1", {Pass("p", {Assignment(EFFECT_MATRIX, kWorldTransform, 1, MatrixValue(identity))})}),
        Technique("ps3", {Pass("p", {Assignment(EFFECT_PIXELSHADER, kPixelShader, 0,
                                                Value(EFFECT_PIXELSHADER, {0, 0xFFFF0300, 0x0000FFFF}))})}),
        Technique("clip", {Pass("p", {Rs(D3DRS_CLIPPLANEENABLE, 0xFF)})}),
    }));
    ASSERT_TRUE(effect);
    for (UINT t = 0; t < 5; ++t) {
        ASSERT_EQ(S_OK, effect->SetTechnique(t));
        TechniqueFault fault;
        EXPECT_EQ(effect->Validate(), ExplainInvalidTechnique(effect, t, &fault)) << t;
        EXPECT_EQ(fault.found, FAILED(effect->Validate())) << t;
    }
    TechniqueFault fault;
    ASSERT_EQ(E_FAIL, ExplainInvalidTechnique(effect, "blend", &fault));
    EXPECT_EQ(1u, fault.pass);
    EXPECT_EQ("pass 1 \"second\": SRCBLEND = INVSRCALPHA: not in the device's SrcBlendCaps", DescribeFault(fault));
    ASSERT_EQ(E_FAIL, ExplainInvalidTechnique(effect, "world1", &fault));
    EXPECT_EQ("WORLDTRANSFORM[1]", fault.state);
    EXPECT_EQ("the index is beyond the device's MaxVertexBlendMatrixIndex", fault.reason);
    ASSERT_EQ(E_FAIL, ExplainInvalidTechnique(effect, "ps3", &fault));
    EXPECT_EQ("PIXELSHADER", fault.state);
    EXPECT_NE(std::string::npos, fault.reason.find("the shader validator refused it")) << fault.reason;
    EXPECT_FALSE(fault.shaderMessage.empty());
    ASSERT_TRUE(FAILED(ExplainInvalidTechnique(effect, "clip", &fault)));
    EXPECT_EQ("", fault.state);
    EXPECT_EQ(0u, fault.reason.find("the device cannot draw the pass: D3DERR_")) << fault.reason;
    // A valid technique leaves no reason; while begun, or for an unknown name, it is refused.
    ASSERT_EQ(S_OK, ExplainInvalidTechnique(effect, "plain", &fault));
    EXPECT_FALSE(fault.found);
    EXPECT_EQ(D3DERR_INVALIDCALL, ExplainInvalidTechnique(effect, "missing", &fault));
    EXPECT_EQ(D3DERR_INVALIDCALL, ExplainInvalidTechnique(effect, "plain", nullptr));
    ASSERT_EQ(S_OK, effect->Begin(nullptr, 0));
    EXPECT_EQ(D3DERR_INVALIDCALL, ExplainInvalidTechnique(effect, "plain", &fault));
    effect->End();
    // Explaining restores what it touched, as validation does.
    EXPECT_EQ(DWORD(D3DCULL_CCW), RenderState(D3DRS_CULLMODE));
    effect->Release();
}

// A shader message is placed back on its instruction through the shader's debug comments.
TEST_F(EffectDeviceTest, ExplainPlacesAShaderMessageOnItsLine) {
    CreateDevice();
    const char source[] =
        "technique t\n{\n    pass p\n    {\n        PixelShader = asm {\n            ps.1.1\n"
        "            tex t0\n            add r0, t0, r1\n        };\n    }\n}\n";
    EffectFile* effect = nullptr;
    ASSERT_EQ(S_OK, CreateEffect(device, source, sizeof source - 1, "r.sha", &effect, nullptr));
    TechniqueFault fault;
    ASSERT_EQ(E_FAIL, ExplainInvalidTechnique(effect, 0u, &fault));
    EXPECT_EQ("r.sha", fault.file);
    EXPECT_EQ("add", fault.mnemonic);
    // The assembler notes the line where the instruction was complete: here the next line.
    EXPECT_TRUE(fault.line == 8 || fault.line == 9) << fault.line;
    EXPECT_NE(std::string::npos, fault.shaderMessage.find("instruction 2 (add)")) << fault.shaderMessage;
    effect->Release();
}
