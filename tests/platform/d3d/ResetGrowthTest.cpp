// A thousand device resets with shaders deleted and made again each time, as the effects do: the device's
// program cache and the GL objects alive in its context must stay the same size.
#include "tests/platform/d3d/D3DTestUtil.h"
#include "tests/platform/d3d/shader/ShaderTestTokens.h"

namespace {

using namespace shadertest;

struct ShaderVertex {
    float x, y, z;
    D3DCOLOR colour;
};

class ResetGrowthTest : public DeviceTest {
protected:
    // What LoseDeviceObjects of an effect does: its shaders and default-pool buffers go.
    void Lose() {
        EXPECT_EQ(device->DeleteVertexShader(vertexShader), D3D_OK);
        EXPECT_EQ(device->DeletePixelShader(pixelShader), D3D_OK);
        EXPECT_EQ(device->DeleteStateBlock(stateBlock), D3D_OK);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->Release(), 0u);
        buffer = nullptr;
    }

    // What ResetDeviceObjects does: they are made again, and a frame draws with them.
    void Restore() {
        const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
                                     D3DVSD_END()};
        const std::vector<DWORD> vs =
            Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0), Opcode(Op::Mov), Dst(OD, 0), Src(V, 5)});
        const std::vector<DWORD> ps = Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0)});
        ASSERT_EQ(device->CreateVertexShader(declaration, vs.data(), &vertexShader, 0), D3D_OK);
        ASSERT_EQ(device->CreatePixelShader(ps.data(), &pixelShader), D3D_OK);
        ASSERT_EQ(device->CreateVertexBuffer(3 * sizeof(ShaderVertex), D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &buffer),
                  D3D_OK);
        BYTE* data = nullptr;
        ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
        const ShaderVertex triangle[3] = {{-1, -1, 0.5f, 0xFF00FF00u}, {1, -1, 0.5f, 0xFF00FF00u},
                                          {-1, 1, 0.5f, 0xFF00FF00u}};
        std::memcpy(data, triangle, sizeof triangle);
        buffer->Unlock();
        ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        ASSERT_EQ(device->EndStateBlock(&stateBlock), D3D_OK);

        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->ApplyStateBlock(stateBlock);
        device->SetVertexShader(vertexShader);
        device->SetPixelShader(pixelShader);
        device->SetStreamSource(0, buffer, sizeof(ShaderVertex));
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
        // The fixed-function pipeline draws in the same frame (text and the like).
        device->SetPixelShader(0);
        DrawTL({{40, 40, 0.5f, 1, 0xFFFFFFFFu}, {60, 40, 0.5f, 1, 0xFFFFFFFFu}, {40, 60, 0.5f, 1, 0xFFFFFFFFu}});
        device->EndScene();
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }

    void Cycle() {
        Lose();
        ASSERT_EQ(d3dhost::ForceDeviceLoss(device, 1), D3D_OK);
        EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
        D3DPRESENT_PARAMETERS pp = Params(D3DFMT_X8R8G8B8);
        ASSERT_EQ(device->Reset(&pp), D3D_OK);
        Restore();
    }

    d3dhost::DeviceObjectCounts Counts() {
        d3dhost::DeviceObjectCounts c{};
        EXPECT_EQ(d3dhost::GetDeviceObjectCounts(device, &c), D3D_OK);
        return c;
    }

    DWORD vertexShader = 0, pixelShader = 0, stateBlock = 0;
    IDirect3DVertexBuffer8* buffer = nullptr;
};

TEST_F(ResetGrowthTest, AThousandResetsLeaveTheCachesAndGlObjectsAsTheyWere) {
    Restore();
    // The drawing is real: the shader's green triangle covers the top-left half.
    EXPECT_EQ(Pixel(ReadBackBuffer(), 4, 60), 0x00FF00u);
    for (int i = 0; i < 3; ++i) Cycle();
    const d3dhost::DeviceObjectCounts before = Counts();
    EXPECT_GE(before.cachedPrograms, 2u);  // the shaders' program and the fixed-function one
    EXPECT_GT(before.glObjects, 0u);
    for (int i = 0; i < 1000 && !HasFatalFailure(); ++i) Cycle();
    const d3dhost::DeviceObjectCounts after = Counts();
    EXPECT_EQ(after.cachedPrograms, before.cachedPrograms);
    EXPECT_EQ(after.shaders, before.shaders);
    EXPECT_EQ(after.resources, before.resources);
    EXPECT_EQ(after.stateBlocks, before.stateBlocks);
    EXPECT_EQ(after.glObjects, before.glObjects);
    EXPECT_EQ(Pixel(ReadBackBuffer(), 4, 60), 0x00FF00u);
    Lose();

    // Deleting a shader that is bound, then drawing with the fixed-function pipeline, must not touch the evicted
    // program.
    Restore();
    Lose();
    device->SetVertexShader(kTLVertexFvf);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    DrawTL({{0, 0, 0.5f, 1, 0xFFFF0000u}, {64, 0, 0.5f, 1, 0xFFFF0000u}, {0, 64, 0.5f, 1, 0xFFFF0000u}});
    EXPECT_EQ(Pixel(ReadBackBuffer(), 4, 4), 0xFF0000u);

    d3dhost::DeviceObjectCounts c;
    EXPECT_EQ(d3dhost::GetDeviceObjectCounts(nullptr, &c), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3dhost::GetDeviceObjectCounts(device, nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
